// Arbitrary bytes as a DBO file for the renderer: reading must answer without reading out of bounds, and
// whatever it accepts (positions and texture coordinates of any value) must draw without fault.
#include "render/render.h"

namespace {

class NoTextures final : public tessaline::TextureSource {
 public:
  std::string Load(const std::string&, tessaline::RgbaImage&) override { return "not in the fuzzer"; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<uint8_t> bytes(data, data + size);
  tessaline::RenderModel model;
  std::string error;
  if (!tessaline::ReadRenderModel(bytes, model, error)) {
    if (error.empty()) __builtin_trap();
    return 0;
  }
  tessaline::RenderOptions options;
  options.width = 40;
  options.height = 30;
  options.threads = 1;
  options.twoSided = size % 2 == 0;
  options.wireframe = size % 3 == 0;
  NoTextures textures;
  std::vector<tessaline::MissingTexture> missing;
  const tessaline::RgbaImage image = tessaline::RenderModelImage(model, options, textures, missing);
  if (image.pixels.size() != 40u * 30u * 4u) __builtin_trap();
  return 0;
}
