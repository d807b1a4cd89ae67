// From a DBO file to a PNG file: read, draw with the textures beside the model, encode, and write through
// a temporary file so that a failed write leaves an earlier image whole.
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "render/render.h"

namespace tessaline {

namespace {

std::string Backslashed(std::string path) {
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

}  // namespace

RenderResult RenderDboFile(const std::string& dboPath, const std::string& pngPath,
                           const RenderOptions& options, FileSystem& files) {
  RenderResult result;
  RenderModel model;
  {
    std::ifstream in(dboPath, std::ios::binary);
    std::vector<uint8_t> bytes;
    if (in) bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (!in.is_open() || in.bad()) {
      result.status = RenderUnreadable;
      result.error = "cannot read '" + dboPath + "'";
      return result;
    }
    std::string error;
    if (!ReadRenderModel(bytes, model, error)) {
      result.status = RenderUnreadable;
      result.error = "'" + dboPath + "' is not a sound DBO file: " + error;
      return result;
    }
  }

  // Texture names are relative to the model's folder.
  const std::string modelPath = Backslashed(dboPath);
  const size_t slash = modelPath.find_last_of('\\');
  FolderTextures textures(slash == std::string::npos ? std::string() : modelPath.substr(0, slash + 1));
  const RgbaImage image = RenderModelImage(model, options, textures, result.missing);

  PngEncoder encoder;
  std::vector<uint8_t> png;
  encoder.encode(png, image.pixels.data(), image.width, image.height);
  if (encoder.error != PngOk || !WriteFileSafely(files, Backslashed(pngPath), png)) {
    result.status = RenderUnwritable;
    result.error = "cannot write '" + pngPath + "'";
    return result;
  }
  if (!result.missing.empty()) result.status = RenderMissingTextures;
  return result;
}

}  // namespace tessaline
