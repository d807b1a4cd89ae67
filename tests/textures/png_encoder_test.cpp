#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <utility>

#include "textures/textures.h"

namespace tessaline {
namespace {

struct Written {
  std::vector<uint8_t> file, rgba, filterTypes;
};

// Encodes the image (RGBA, or RGB with channels 3) and reads the file back: the pixels libpng decodes from it
// as 8-bit RGBA (alpha 255 where the file has none), and the filter type of every row (its IDAT inflated by
// zlib, which stops at the stream's end, before the chunk's CRC and the IEND chunk).
Written Encode(const std::vector<uint8_t>& image, uint32_t width, uint32_t height, uint32_t channels = 4) {
  PngEncoder encoder;
  encoder.channels = channels;
  Written out;
  encoder.encode(out.file, image.data(), width, height);
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  if (png_image_begin_read_from_memory(&png, out.file.data(), out.file.size()) != 0) {
    png.format = PNG_FORMAT_RGBA;
    out.rgba.resize(PNG_IMAGE_SIZE(png));
    if (png_image_finish_read(&png, nullptr, out.rgba.data(), 0, nullptr) == 0) out.rgba.clear();
  }
  EXPECT_EQ(png.warning_or_error & PNG_IMAGE_ERROR, 0) << png.message;
  png_image_free(&png);
  std::vector<uint8_t> rows(height * (8 * width + 1));
  uLongf inflated = static_cast<uLongf>(rows.size());
  EXPECT_EQ(uncompress(rows.data(), &inflated, out.file.data() + 41, out.file.size() - 41), Z_OK);
  for (size_t y = 0; y < height; ++y)
    out.filterTypes.push_back(rows[y * (inflated / height)]);
  return out;
}

TEST(PngEncoder, EncodedImagesDecodeToTheirPixelsAsRgbWhenOpaque) {
  for (auto [width, height] : std::vector<std::pair<uint32_t, uint32_t>>{{1, 1}, {33, 17}, {130, 64}}) {
    std::vector<uint8_t> image(width * height * 4);  // noise
    for (size_t i = 0; i < image.size(); ++i)
      image[i] = static_cast<uint8_t>((i + width) * 2654435761u >> 13);
    for (bool opaque : {false, true}) {
      SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height) + (opaque ? " opaque" : ""));
      for (size_t i = 3; opaque && i < image.size(); i += 4)
        image[i] = 255;
      const Written written = Encode(image, width, height);
      EXPECT_EQ(written.rgba, image);
      EXPECT_EQ(written.file.at(25), opaque ? 2 : 6);  // the header's colour type: RGB or RGBA
      if (!opaque) continue;
      std::vector<uint8_t> rgb;  // the same pixels handed over as RGB give the same file
      for (size_t i = 0; i < image.size(); i += 4)
        rgb.insert(rgb.end(), image.begin() + i, image.begin() + i + 3);
      EXPECT_EQ(Encode(rgb, width, height, 3).file, written.file);
    }
  }
}

TEST(PngEncoder, ColourTexturesFilterByTheFirstFiveBytesWithLowerTypeWinningTies) {
  const std::vector<std::pair<std::vector<uint8_t>, std::vector<uint8_t>>> cases = {
      // RGB 255 0 0: None sums 510, Sub 255 (and Paeth equals Sub): Sub. Lower rows: Up gives zeros.
      {{255, 0, 0, 255}, {1, 2, 2, 2, 2, 2, 2, 2}},
      // All bytes zero: every filter scores 0, so None everywhere.
      {{0, 0, 0, 0}, {0, 0, 0, 0, 0, 0, 0, 0}},
      // Red 0 in RGBA: the fifth byte is 0 under None and Sub alike, all five filters tie on row 0: None.
      {{0, 50, 60, 128}, {0, 2, 2, 2, 2, 2, 2, 2}},
  };
  for (const auto& [colour, types] : cases) {
    std::vector<uint8_t> image;
    for (int i = 0; i < 64; ++i)
      image.insert(image.end(), colour.begin(), colour.end());
    EXPECT_EQ(Encode(image, 8, 8).filterTypes, types) << ::testing::PrintToString(colour);
  }
}

}  // namespace
}  // namespace tessaline
