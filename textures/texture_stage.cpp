// The texture stage: every texture that the main DBO file names is made to exist beside it. Image files
// are copied out of the editor's texture folder; colour layers become 8 x 8 PNG files. Names come from the
// scene, so a name that would lead outside the output directory is never placed.
#include <algorithm>
#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

#include "textures/textures.h"

namespace tessaline {

namespace {

constexpr double kPacingFactor = 0.05;
constexpr int kSkippedStageAdvance = 20;
constexpr uint32_t kColourTextureSize = 8;

void TrimBlanks(std::string& text) {
  const char* blanks = " \t\n";
  text.erase(text.find_last_not_of(blanks) + 1);
  text.erase(0, text.find_first_not_of(blanks));
}

// The trimmed pieces of text cut at every separator: one before each separator and one after the last
// when anything follows it.
std::vector<std::string> SplitAt(const std::string& text, char separator) {
  std::vector<std::string> pieces;
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != separator) continue;
    pieces.push_back(text.substr(start, i - start));
    start = i + 1;
  }
  if (start < text.size()) pieces.push_back(text.substr(start));
  for (std::string& piece : pieces)
    TrimBlanks(piece);
  return pieces;
}

// Leading white space, an optional sign, decimal digits up to the first other character (none give 0);
// the value wraps modulo 2^32.
uint32_t ParseWrappedInt(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r')))
    ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  uint32_t value = 0;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9')
    value = value * 10 + static_cast<uint32_t>(text[i++] - '0');
  return negative ? 0u - value : value;
}

// Bar pacing over the work list, by the rule every long loop of an export shares.
Pacing PacingFor(uint64_t n) {
  Pacing pacing;
  const double x = static_cast<double>(n) * kPacingFactor;
  if (x < 1.0) {
    pacing.threshold = 1;
    pacing.step = x > 0.0 ? static_cast<int>(1.0 / x) : 0;
  } else {
    pacing.threshold = static_cast<uint64_t>(x);
    pacing.step = 1;
  }
  return pacing;
}

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
    if (IsParentLike(name.substr(start, end - start))) return false;
    start = end + 1;
  }
  return true;
}

bool WriteColourTexture(std::string outputDirectory, std::string name, FileSystem& files) {
  if (!IsSafeTextureName(name)) return false;
  const std::vector<std::string> path = SplitAt(name, '\\');
  if (path.empty()) return false;
  const std::vector<std::string> pieces = SplitAt(path.back(), '_');
  if (pieces.size() < 6 || pieces[0] != "col" || pieces[1] != "rgba") return false;

  uint8_t colour[4];
  for (int c = 0; c < 4; ++c)
    colour[c] = static_cast<uint8_t>(ParseWrappedInt(pieces[2 + c]) & 0xFFu);
  std::vector<uint8_t> image;
  image.reserve(kColourTextureSize * kColourTextureSize * 4);
  for (uint32_t i = 0; i < kColourTextureSize * kColourTextureSize; ++i)
    image.insert(image.end(), colour, colour + 4);

  PngEncoder encoder;
  std::vector<uint8_t> png;
  encoder.encode(png, image.data(), kColourTextureSize, kColourTextureSize);
  if (encoder.error != PngOk) return false;
  return files.WriteFile(outputDirectory + name, png);
}

std::vector<std::string> ExportTextures(bool exportTextures, const std::string& folder,
                                        const std::string& outputDirectory,
                                        const std::string& installDirectory,
                                        const std::vector<MeshRecord>& meshes, ProgressWindow& progress,
                                        FileSystem& files) {
  std::vector<std::string> notPlaced;
  if (!exportTextures) {
    progress.AdvanceBar(kSkippedStageAdvance);
    return notPlaced;
  }
  progress.SetStageText("Please Wait....Saving Textures.");

  // The work list: the first slot that names a texture decides its source and kind.
  TextureEntry work;
  std::unordered_set<std::string> seen;
  for (const MeshRecord& mesh : meshes) {
    const SceneMaterial& material = mesh.material;
    const size_t slots = std::min(
        {material.textureNames.size(), material.textureSources.size(), material.textureIsFile.size()});
    for (size_t slot = 0; slot < slots; ++slot) {
      if (!seen.insert(material.textureNames[slot]).second) continue;
      work.names.push_back(material.textureNames[slot]);
      work.sources.push_back(material.textureSources[slot]);
      work.isFile.push_back(material.textureIsFile[slot]);
    }
  }

  Pacing pacing = PacingFor(work.names.size());
  pacing.Begin(progress);

  if (!folder.empty()) files.CreateFolder(outputDirectory + folder);  // an existing folder is fine

  for (size_t i = 0; i < work.names.size(); ++i) {
    const std::string& name = work.names[i];
    bool placed = false;
    if (IsSafeTextureName(name)) {
      if (work.isFile[i]) {
        placed =
            files.CopyFile(installDirectory + "\\" + "Textures\\" + work.sources[i], outputDirectory + name);
      } else {
        placed = WriteColourTexture(outputDirectory, name, files);
      }
    }
    if (!placed) notPlaced.push_back(name);
    pacing.After(i, progress);
  }
  progress.StepBar();
  return notPlaced;
}

}  // namespace tessaline
