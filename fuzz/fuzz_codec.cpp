// Arbitrary bytes through deflate and the PNG encoder; zlib and libpng must give the input back.
#include <png.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "textures/textures.h"

using namespace tessaline;

namespace {

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "%s\n", what);
  std::abort();
}

void CheckDeflate(const std::vector<uint8_t>& input, uint8_t knobs) {
  EncoderSettings settings;
  settings.blockType = knobs % 3;
  settings.useLZ77 = (knobs & 4) == 0;
  settings.windowSize = (knobs & 8) ? 32768 : ((knobs & 16) ? 1 : 2048);
  std::vector<uint8_t> stream;
  compress(stream, input, settings);
  std::vector<uint8_t> back(input.size() + 1);
  uLongf length = back.size();
  if (uncompress(back.data(), &length, stream.data(), stream.size()) != Z_OK) Fail("zlib rejects our stream");
  if (length != input.size() || std::memcmp(back.data(), input.data(), input.size()) != 0) {
    Fail("zlib gives back other bytes");
  }
}

struct PngReader {
  const std::vector<uint8_t>* file;
  size_t at = 0;
};

void ReadData(png_structp png, png_bytep out, png_size_t length) {
  auto* reader = static_cast<PngReader*>(png_get_io_ptr(png));
  if (reader->at + length > reader->file->size()) png_error(png, "short file");
  std::memcpy(out, reader->file->data() + reader->at, length);
  reader->at += length;
}

void CheckPng(const std::vector<uint8_t>& pixels, uint32_t width, uint32_t height) {
  PngEncoder encoder;
  std::vector<uint8_t> file;
  encoder.encode(file, pixels.data(), width, height);
  if (encoder.error != 0) Fail("encoder fails on RGBA input");

  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  PngReader reader{&file};
  std::vector<uint8_t> decoded(static_cast<size_t>(width) * height * 4);
  if (setjmp(png_jmpbuf(png))) Fail("libpng rejects our file");
  png_set_read_fn(png, &reader, ReadData);
  png_read_info(png, info);
  if (png_get_image_width(png, info) != width || png_get_image_height(png, info) != height) Fail("size");
  png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
  png_read_update_info(png, info);
  std::vector<png_bytep> rows(height);
  for (uint32_t y = 0; y < height; ++y)
    rows[y] = decoded.data() + static_cast<size_t>(y) * width * 4;
  png_read_image(png, rows.data());
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  if (decoded != pixels) Fail("libpng gives back other pixels");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const uint8_t knobs = data[0];
  const uint32_t width = 1 + data[1] % 16;
  const uint32_t height = 1 + data[2] % 16;
  const std::vector<uint8_t> rest(data + 3, data + size);
  CheckDeflate(rest, knobs);

  std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 4);
  for (size_t i = 0; i < pixels.size(); ++i)
    pixels[i] = rest.empty() ? 0 : rest[i % rest.size()];
  if (knobs & 32) {
    for (size_t i = 3; i < pixels.size(); i += 4)
      pixels[i] = 255;  // opaque: written as RGB
  }
  CheckPng(pixels, width, height);
  return 0;
}
