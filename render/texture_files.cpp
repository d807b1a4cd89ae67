// Texture images for the renderer: found beside the DBO file by the names it stores, decoded by stb_image.
#include <stb_image.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "render/render.h"

namespace tessaline {

std::string DecodeImage(const std::vector<uint8_t>& bytes, RgbaImage& image) {
  if (bytes.size() > static_cast<size_t>(INT32_MAX)) return "the file is too large";
  int width = 0, height = 0, channels = 0;
  stbi_uc* pixels =
      stbi_load_from_memory(bytes.data(), static_cast<int>(bytes.size()), &width, &height, &channels, 4);
  if (pixels == nullptr) {
    const char* reason = stbi_failure_reason();
    return std::string("it cannot be decoded: ") + (reason != nullptr ? reason : "unknown format");
  }
  if (width <= 0 || height <= 0 || static_cast<uint32_t>(width) > kMaxTextureSide ||
      static_cast<uint32_t>(height) > kMaxTextureSide) {
    stbi_image_free(pixels);
    return "the image is larger than " + std::to_string(kMaxTextureSide) + " pixels on a side";
  }
  image.width = static_cast<uint32_t>(width);
  image.height = static_cast<uint32_t>(height);
  image.pixels.assign(pixels, pixels + size_t{image.width} * image.height * 4);
  stbi_image_free(pixels);
  return "";
}

std::string FolderTextures::Load(const std::string& name, RgbaImage& image) {
  if (name.empty()) return "the file names no image";
  if (!IsSafeTextureName(name)) return "its name leaves the model's folder";
  StdFileSystem files;
  std::ifstream in(files.NativePath(folder_ + name), std::ios::binary);
  if (!in) return "it is not found";
  const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return "it cannot be read";
  return DecodeImage(bytes, image);
}

}  // namespace tessaline
