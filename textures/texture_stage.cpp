// The texture stage: every texture that the main DBO file names is made to exist beside it. Image files
// are copied out of the editor's texture folder; colour layers become 8 x 8 PNG files. Names come from the
// scene, so a name that would lead outside the output directory is never placed.
#include <algorithm>
#include <cstdint>
#include <deque>
#include <string>
#include <unordered_set>
#include <vector>

#include "textures/textures.h"

namespace tessaline {

namespace {

constexpr double kPacingFactor = 0.05;
constexpr int kSkippedStageAdvance = 20;
constexpr uint32_t kColourTextureSize = 8;

// A component that a file system could read as the parent folder: "..", and, since Windows drops trailing
// dots and blanks from names, anything else made only of dots and blanks except ".".
bool IsParentLike(const std::string& component) {
  if (component.empty() || component == ".") return false;
  return component.find_first_not_of(". ") == std::string::npos && component.find('.') != std::string::npos;
}

}  // namespace

bool IsSafeTextureName(const std::string& name) {
  if (name.empty() || name.front() == '\\') return false;
  if (name.find('/') != std::string::npos || name.find(':') != std::string::npos) return false;
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = name.find('\\', start);
    if (end == std::string::npos) end = name.size();
    const std::string component = name.substr(start, end - start);
    if (IsParentLike(component) || IsReservedName(component)) return false;
    start = end + 1;
  }
  return true;
}

bool IsSafeTextureSource(const std::string& source) {
  if (source.empty() || source.front() == '\\' || source.front() == '/') return false;
  if (source.find(':') != std::string::npos) return false;
  size_t start = 0;
  while (start <= source.size()) {
    size_t end = source.find_first_of("\\/", start);
    if (end == std::string::npos) end = source.size();
    if (IsParentLike(source.substr(start, end - start))) return false;
    start = end + 1;
  }
  return true;
}

bool WriteColourTexture(std::string outputDirectory, std::string name, FileSystem& files) {
  if (!IsSafeTextureName(name)) return false;
  const std::deque<std::string> path = SplitString(name, "\\");
  if (path.empty()) return false;
  const std::deque<std::string> pieces = SplitString(path.back(), "_");
  if (pieces.size() < 6 || pieces[0] != "col" || pieces[1] != "rgba") return false;

  uint8_t colour[4];
  for (int c = 0; c < 4; ++c) {
    // Only the low 8 bits of each channel count: 256 gives 0, -1 gives 255.
    colour[c] = static_cast<uint8_t>(static_cast<uint32_t>(ParseInt(pieces[2 + c])) & 0xFFu);
  }
  std::vector<uint8_t> image;
  image.reserve(kColourTextureSize * kColourTextureSize * 4);
  for (uint32_t i = 0; i < kColourTextureSize * kColourTextureSize; ++i) {
    image.insert(image.end(), colour, colour + 4);
  }

  PngEncoder encoder;
  std::vector<uint8_t> png;
  encoder.encode(png, image.data(), kColourTextureSize, kColourTextureSize);
  if (encoder.error != PngOk) return false;
  return WriteFileSafely(files, outputDirectory + name, png);
}

TexturePlacement ExportTextures(bool exportTextures, const std::string& folder,
                                const std::string& outputDirectory, const std::string& installDirectory,
                                const std::vector<SceneMaterial>& materials, ProgressWindow& progress,
                                FileSystem& files, const std::vector<std::string>& keep) {
  TexturePlacement result;
  if (!exportTextures) {
    progress.AdvanceBar(kSkippedStageAdvance);
    return result;
  }
  progress.SetStageText("Please Wait....Saving Textures.");

  // The work list: the first slot that names a texture decides its source and kind.
  TextureEntry work;
  std::unordered_set<std::string> seen;
  for (const SceneMaterial& material : materials) {
    for (const TextureLayer& layer : material.layers) {
      if (!seen.insert(layer.name).second) continue;
      work.names.push_back(layer.name);
      work.sources.push_back(layer.source);
      work.isFile.push_back(layer.isFile);
    }
  }

  Pacing pacing = Pacing::For(work.names.size(), kPacingFactor);
  pacing.Begin(progress);

  // An existing folder is fine. A folder name that would lead out of the output directory is not made;
  // every name then carries it and is refused below.
  if (!folder.empty() && IsSafeTextureName(folder)) files.CreateFolder(outputDirectory + folder);

  // The files no texture may replace: those given, and every texture once it is placed (two names can
  // be one file where names ignore case).
  std::unordered_set<std::string> taken;
  for (const std::string& path : keep)
    taken.insert(files.FileIdentity(path));

  for (size_t i = 0; i < work.names.size(); ++i) {
    const std::string& name = work.names[i];
    const std::string target = outputDirectory + name;
    bool placed = false;
    if (IsSafeTextureName(name) && taken.count(files.FileIdentity(target)) == 0) {
      if (!work.isFile[i]) {
        placed = WriteColourTexture(outputDirectory, name, files);
      } else if (IsSafeTextureSource(work.sources[i])) {
        placed = CopyFileSafely(files, installDirectory + "\\" + "Textures\\" + work.sources[i], target);
      }
    }
    if (placed) taken.insert(files.FileIdentity(target));
    (placed ? result.placed : result.notPlaced).push_back(name);
    pacing.After(i, progress);
  }
  progress.StepBar();
  return result;
}

}  // namespace tessaline
