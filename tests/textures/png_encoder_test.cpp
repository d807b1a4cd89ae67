#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "textures/textures.h"

namespace tessaline {
namespace {

struct Written {
  std::vector<uint8_t> file, rgba, filterTypes;
};

// Encodes the RGBA image and checks the frame of the file: the signature, IHDR of 13 bytes (the size first, 0
// 0 0 last), one IDAT, IEND and nothing else. Returns the file, the pixels libpng
// reads from it as 8-bit RGBA (alpha 255 where the file has none), and the filter type of every row.
Written Encode(const std::vector<uint8_t>& image, uint32_t width, uint32_t height) {
  PngEncoder encoder;
  Written out;
  const std::vector<uint8_t>& file = out.file;
  encoder.encode(out.file, image.data(), width, height);
  EXPECT_EQ(encoder.error, PngOk);
  const size_t idat =
      file.size() < 57 ? 0 : size_t{file[33]} << 24 | file[34] << 16 | file[35] << 8 | file[36];
  if (file.size() < 57 || file.size() != 57 + idat) {
    ADD_FAILURE() << "not IHDR, one IDAT and IEND: " << file.size() << " bytes";
    return out;
  }
  const std::vector<uint8_t> head = {
      0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A,           0, 0, 0, 13,
      'I',  'H', 'D', 'R', 0,    0,    0,    uint8_t(width), 0, 0, 0, uint8_t(height)};  // sizes below 256
  EXPECT_EQ(std::vector<uint8_t>(file.begin(), file.begin() + 24), head);
  EXPECT_EQ(std::vector<uint8_t>(file.begin() + 26, file.begin() + 29), std::vector<uint8_t>(3, 0));
  EXPECT_EQ(std::string(file.begin() + 37, file.begin() + 41), "IDAT");
  const std::vector<uint8_t> iend = {0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82};
  EXPECT_EQ(std::vector<uint8_t>(file.end() - 12, file.end()), iend);

  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  if (png_image_begin_read_from_memory(&png, file.data(), file.size()) != 0) {
    png.format = PNG_FORMAT_RGBA;
    out.rgba.resize(PNG_IMAGE_SIZE(png));
    if (png_image_finish_read(&png, nullptr, out.rgba.data(), 0, nullptr) == 0) out.rgba.clear();
  }
  EXPECT_EQ(png.warning_or_error & PNG_IMAGE_ERROR, 0) << png.message;
  png_image_free(&png);

  std::vector<uint8_t> rows(height * (8 * width + 1));
  uLongf inflated = static_cast<uLongf>(rows.size());
  EXPECT_EQ(uncompress(rows.data(), &inflated, file.data() + 41, idat), Z_OK);
  for (size_t y = 0; y < height; ++y)
    out.filterTypes.push_back(rows[y * (inflated / height)]);
  return out;
}

TEST(PngEncoder, EncodedImagesDecodeToTheirPixelsAsRgbWhenOpaque) {
  for (auto [width, height] :
       std::vector<std::pair<uint32_t, uint32_t>>{{1, 1}, {2, 3}, {33, 17}, {130, 64}}) {
    std::vector<uint8_t> image(width * height * 4);  // noise
    for (size_t i = 0; i < image.size(); ++i)
      image[i] = static_cast<uint8_t>((i + width) * 2654435761u >> 13);
    for (bool opaque : {false, true}) {
      SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height) + (opaque ? " opaque" : ""));
      for (size_t i = 3; opaque && i < image.size(); i += 4)
        image[i] = 255;
      const Written written = Encode(image, width, height);
      EXPECT_EQ(written.rgba, image);
      EXPECT_EQ(written.file.at(24), 8);
      EXPECT_EQ(written.file.at(25), opaque ? 2 : 6);
      if (!opaque) continue;
      std::vector<uint8_t> rgb;  // the same pixels handed over as RGB give the same file
      for (size_t i = 0; i < image.size(); i += 4)
        rgb.insert(rgb.end(), image.begin() + i, image.begin() + i + 3);
      PngEncoder encoder;
      encoder.channels = 3;
      std::vector<uint8_t> file;
      encoder.encode(file, rgb.data(), width, height);
      EXPECT_EQ(file, written.file);
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
      {{12, 200, 7, 1}, {1, 2, 2, 2, 2, 2, 2, 2}},
  };
  for (const auto& [colour, types] : cases) {
    std::vector<uint8_t> image;
    for (int i = 0; i < 64; ++i)
      image.insert(image.end(), colour.begin(), colour.end());
    const Written written = Encode(image, 8, 8);
    EXPECT_EQ(written.filterTypes, types) << ::testing::PrintToString(colour);
    EXPECT_EQ(written.rgba, image);
  }
}

TEST(PngEncoder, RefusesWhatItCannotWrite) {
  PngEncoder encoder;
  std::vector<uint8_t> file;
  const std::vector<uint8_t> indices = {0, 1, 2, 3};
  encoder.channels = 2;
  encoder.encode(file, indices.data(), 1, 1);
  EXPECT_EQ(encoder.error, PngUnsupportedConversion);
  encoder.channels = 4;
  encoder.encode(file, indices.data(), 0, 1);
  EXPECT_EQ(encoder.error, PngBadImageSize);
  encoder.settings.windowSize = 32769;
  encoder.encode(file, indices.data(), 1, 1);
  EXPECT_EQ(encoder.error, PngWindowTooLarge);
  EXPECT_TRUE(file.empty());
}

}  // namespace
}  // namespace tessaline
