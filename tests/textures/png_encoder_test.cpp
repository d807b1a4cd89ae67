#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "png_check.h"
#include "textures/textures.h"

namespace tessaline {
namespace {

using testing::Chunk;
using testing::DecodedPng;
using testing::DecodeWithLibpng;
using testing::RunPngcheck;
using testing::SplitChunks;

std::vector<uint8_t> Solid(uint32_t width, uint32_t height, std::vector<uint8_t> pixel) {
  std::vector<uint8_t> image;
  for (uint32_t i = 0; i < width * height; ++i)
    image.insert(image.end(), pixel.begin(), pixel.end());
  return image;
}

std::vector<uint8_t> Noise(size_t size, uint32_t seed) {
  std::vector<uint8_t> bytes(size);
  for (uint8_t& b : bytes) {
    seed = seed * 1664525u + 1013904223u;
    b = static_cast<uint8_t>(seed >> 24);
  }
  return bytes;
}

std::vector<std::string> ChunkTypes(const std::vector<Chunk>& chunks) {
  std::vector<std::string> types;
  for (const Chunk& chunk : chunks)
    types.push_back(chunk.type);
  return types;
}

// The filter-type byte of every row, read from the inflated IDAT data.
std::vector<uint8_t> FilterTypes(const std::vector<uint8_t>& file, size_t rowBytes, size_t rows) {
  std::vector<Chunk> chunks;
  if (!SplitChunks(file, chunks) || chunks.size() < 2) return {};
  std::vector<uint8_t> raw((rowBytes + 1) * rows);
  uLongf size = static_cast<uLongf>(raw.size());
  if (uncompress(raw.data(), &size, chunks[1].data.data(), static_cast<uLong>(chunks[1].data.size())) !=
      Z_OK) {
    return {};
  }
  std::vector<uint8_t> types;
  for (size_t y = 0; y < rows; ++y)
    types.push_back(raw[y * (rowBytes + 1)]);
  return types;
}

// Encodes an 8-bit RGBA image at the defaults and checks everything a reader sees: libpng returns the
// pixels, pngcheck accepts the file, the chunks are IHDR (13 bytes), one IDAT and IEND with good CRCs, and
// the colour type is 2 exactly when every alpha is 255.
void ExpectFaithfulRgbaFile(const std::vector<uint8_t>& image, uint32_t width, uint32_t height,
                            const std::string& label) {
  SCOPED_TRACE(label);
  PngEncoder encoder;
  std::vector<uint8_t> file;
  encoder.encode(file, image.data(), width, height);
  ASSERT_EQ(encoder.error, PngOk);

  bool opaque = true;
  for (size_t i = 3; i < image.size(); i += 4)
    opaque = opaque && image[i] == 255;

  std::vector<Chunk> chunks;
  ASSERT_TRUE(SplitChunks(file, chunks));
  ASSERT_EQ(ChunkTypes(chunks), (std::vector<std::string>{"IHDR", "IDAT", "IEND"}));
  EXPECT_EQ(chunks[0].data.size(), 13u);
  EXPECT_TRUE(chunks[2].data.empty());
  for (const Chunk& chunk : chunks)
    EXPECT_TRUE(chunk.crcOk) << chunk.type;

  DecodedPng decoded = DecodeWithLibpng(file);
  ASSERT_TRUE(decoded.ok) << decoded.error;
  EXPECT_EQ(decoded.width, width);
  EXPECT_EQ(decoded.height, height);
  EXPECT_EQ(decoded.bitDepth, 8);
  EXPECT_EQ(decoded.colorType, opaque ? 2 : 6);
  EXPECT_TRUE(decoded.rgba == image);

  EXPECT_EQ(RunPngcheck(file), "");
}

TEST(PngEncoder, EncodedImagesDecodeToTheirPixels) {
  const std::vector<std::pair<uint32_t, uint32_t>> sizes = {{1, 1}, {2, 3}, {8, 8}, {33, 17}, {130, 64}};
  for (auto [width, height] : sizes) {
    const std::string size = std::to_string(width) + "x" + std::to_string(height);
    std::vector<uint8_t> noise = Noise(width * height * 4, width * 31 + height);
    ExpectFaithfulRgbaFile(noise, width, height, "noise " + size);
    for (size_t i = 3; i < noise.size(); i += 4)
      noise[i] = 255;
    ExpectFaithfulRgbaFile(noise, width, height, "opaque noise " + size);
  }
  // The colour textures this program writes: every alpha, channels at their ends.
  for (std::vector<uint8_t> colour : std::vector<std::vector<uint8_t>>{{255, 0, 0, 255},
                                                                       {255, 0, 0, 128},
                                                                       {0, 0, 0, 0},
                                                                       {0, 0, 0, 255},
                                                                       {255, 255, 255, 255},
                                                                       {12, 200, 7, 1},
                                                                       {0, 50, 60, 254}}) {
    ExpectFaithfulRgbaFile(Solid(8, 8, colour), 8, 8,
                           "colour " + std::to_string(colour[0]) + "," + std::to_string(colour[1]) + "," +
                               std::to_string(colour[2]) + "," + std::to_string(colour[3]));
  }
}

TEST(PngEncoder, CheckersRejectACorruptedFile) {
  // Guards the checks above: a flipped bit in the image data must be noticed.
  PngEncoder encoder;
  std::vector<uint8_t> file;
  encoder.encode(file, Solid(8, 8, {1, 2, 3, 4}).data(), 8, 8);
  ASSERT_EQ(encoder.error, PngOk);
  file[45] ^= 0x10;  // inside IDAT
  EXPECT_NE(RunPngcheck(file), "");
  EXPECT_FALSE(DecodeWithLibpng(file).ok);
}

TEST(PngEncoder, OpaqueColourTextureIsRgbAndTranslucentIsRgba) {
  PngEncoder encoder;
  std::vector<uint8_t> file;
  encoder.encode(file, Solid(8, 8, {255, 0, 0, 255}).data(), 8, 8);
  ASSERT_EQ(encoder.error, PngOk);
  const std::vector<uint8_t> head = {
      0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A,  // signature
      0x00, 0x00, 0x00, 0x0D, 0x49, 0x48, 0x44, 0x52,  // IHDR, 13 bytes
      0x00, 0x00, 0x00, 0x08, 0x00, 0x00, 0x00, 0x08,  // 8 x 8
      0x08, 0x02, 0x00, 0x00, 0x00,                    // depth 8, RGB, deflate, adaptive, no interlace
  };
  ASSERT_GE(file.size(), head.size());
  EXPECT_TRUE(std::equal(head.begin(), head.end(), file.begin()));
  const std::vector<uint8_t> tail = {0, 0, 0, 0, 0x49, 0x45, 0x4E, 0x44, 0xAE, 0x42, 0x60, 0x82};  // IEND
  EXPECT_TRUE(std::equal(tail.begin(), tail.end(), file.end() - 12));

  PngEncoder translucent;
  std::vector<uint8_t> rgba;
  translucent.encode(rgba, Solid(8, 8, {255, 0, 0, 128}).data(), 8, 8);
  ASSERT_EQ(translucent.error, PngOk);
  EXPECT_EQ(rgba[25], 6);
  // The requested description is left as it was; the working copy says what was written.
  EXPECT_EQ(encoder.infoPng.colorType, 6u);
  EXPECT_EQ(encoder.workingInfo.colorType, 2u);
}

TEST(PngEncoder, FiltersByTheFirstFiveBytesWithLowerTypeWinningTies) {
  struct Case {
    std::vector<uint8_t> colour;
    size_t rowBytes;
    std::vector<uint8_t> types;
  };
  const std::vector<Case> cases = {
      // RGB 255 0 0: None sums 510, Sub 255 (and Paeth equals Sub): Sub. Lower rows: Up gives zeros.
      {{255, 0, 0, 255}, 24, {1, 2, 2, 2, 2, 2, 2, 2}},
      // All bytes zero: every filter scores 0, so None everywhere.
      {{0, 0, 0, 0}, 32, {0, 0, 0, 0, 0, 0, 0, 0}},
      // Red 0 in RGBA: the fifth byte is 0 under None and Sub alike, all five filters tie on row 0: None.
      {{0, 50, 60, 128}, 32, {0, 2, 2, 2, 2, 2, 2, 2}},
  };
  for (const Case& c : cases) {
    PngEncoder encoder;
    std::vector<uint8_t> file;
    encoder.encode(file, Solid(8, 8, c.colour).data(), 8, 8);
    ASSERT_EQ(encoder.error, PngOk);
    EXPECT_EQ(FilterTypes(file, c.rowBytes, 8), c.types) << int{c.colour[0]} << " " << int{c.colour[3]};
  }
}

TEST(PngEncoder, RejectsBadSettingsAndLeavesOutputAlone) {
  const std::vector<uint8_t> image = Solid(4, 4, {1, 2, 3, 4});
  const std::vector<uint8_t> before = {1, 2, 3};
  auto encodeWith = [&](auto change, uint32_t width = 4) {
    PngEncoder encoder;
    change(encoder);
    std::vector<uint8_t> out = before;
    encoder.encode(out, image.data(), width, 4);
    EXPECT_EQ(out.size() == before.size(), encoder.error != PngOk);
    return encoder.error;
  };
  EXPECT_EQ(PngEncoder().error, PngNothingEncoded);
  EXPECT_EQ(encodeWith([](PngEncoder& e) { e.settings.windowSize = 32768; }), PngOk);
  EXPECT_EQ(encodeWith([](PngEncoder& e) { e.settings.windowSize = 32769; }), PngWindowTooLarge);
  EXPECT_EQ(encodeWith([](PngEncoder& e) { e.settings.blockType = 3; }), PngBadBlockType);
  EXPECT_EQ(encodeWith([](PngEncoder& e) { e.infoPng.textKeys = {"Title"}; }), PngTextCountMismatch);
  EXPECT_EQ(encodeWith([](PngEncoder&) {}, 0), PngBadImageSize);
  EXPECT_EQ(encodeWith([](PngEncoder& e) { e.infoPng.colorType = 0; }), PngUnsupportedConversion);
  EXPECT_EQ(encodeWith([](PngEncoder& e) { e.infoPng.bitDepth = 4; }), PngUnsupportedConversion);
  EXPECT_EQ(encodeWith([](PngEncoder& e) { e.infoRaw.colorType = 5; }), PngUnsupportedConversion);
}

TEST(PngEncoder, WritesTextChunksAfterImageDataAndStopsAtBadKeywords) {
  const std::vector<uint8_t> image = Solid(2, 2, {9, 8, 7, 6});
  PngEncoder encoder;
  encoder.infoPng.textKeys = {"Title", "Comment"};
  encoder.infoPng.textStrings = {"Brick", "made here"};
  std::vector<uint8_t> file;
  encoder.encode(file, image.data(), 2, 2);
  ASSERT_EQ(encoder.error, PngOk);
  std::vector<Chunk> chunks;
  ASSERT_TRUE(SplitChunks(file, chunks));
  ASSERT_EQ(ChunkTypes(chunks), (std::vector<std::string>{"IHDR", "IDAT", "tEXt", "tEXt", "IEND"}));
  EXPECT_EQ(std::string(chunks[2].data.begin(), chunks[2].data.end()), std::string("Title\0Brick", 11));
  EXPECT_EQ(RunPngcheck(file), "");

  for (const auto& [key, code] :
       {std::pair{std::string(80, 'k'), PngTextKeyTooLong}, {"", PngTextKeyEmpty}}) {
    PngEncoder bad;
    bad.infoPng.textKeys = {"Title", key};
    bad.infoPng.textStrings = {"Brick", "x"};
    std::vector<uint8_t> partial;
    bad.encode(partial, image.data(), 2, 2);
    EXPECT_EQ(bad.error, code);
    std::vector<Chunk> partialChunks;
    ASSERT_TRUE(SplitChunks(partial, partialChunks));
    EXPECT_EQ(ChunkTypes(partialChunks), (std::vector<std::string>{"IHDR", "IDAT", "tEXt"}));
  }
  PngEncoder longest;
  longest.infoPng.textKeys = {std::string(79, 'k')};
  longest.infoPng.textStrings = {""};
  std::vector<uint8_t> out;
  longest.encode(out, image.data(), 2, 2);
  EXPECT_EQ(longest.error, PngOk);
}

TEST(PngEncoder, PassesThroughRawFormatsThatEqualTheFileFormat) {
  struct Case {
    std::string label;
    uint32_t colorType, bitDepth, width, height;
  };
  const std::vector<Case> cases = {
      {"rgb 8", 2, 8, 5, 4},    {"grey 8", 0, 8, 7, 3},  {"grey 1", 0, 1, 10, 3},
      {"grey 2", 0, 2, 5, 2},   {"grey 4", 0, 4, 3, 3},  {"grey 16", 0, 16, 4, 4},
      {"rgba 16", 6, 16, 3, 5}, {"rgb 16", 2, 16, 6, 2}, {"grey+alpha 8", 4, 8, 4, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const uint32_t channels = c.colorType == 2 ? 3 : c.colorType == 6 ? 4 : c.colorType == 4 ? 2 : 1;
    const size_t bits = size_t{c.width} * c.height * channels * c.bitDepth;
    std::vector<uint8_t> raw = Noise((bits + 7) / 8, c.width + 100 * c.bitDepth);
    PngEncoder encoder;
    encoder.infoRaw.colorType = encoder.infoPng.colorType = c.colorType;
    encoder.infoRaw.bitDepth = encoder.infoPng.bitDepth = c.bitDepth;
    std::vector<uint8_t> file;
    encoder.encode(file, raw.data(), c.width, c.height);
    ASSERT_EQ(encoder.error, PngOk);
    DecodedPng decoded = DecodeWithLibpng(file);
    ASSERT_TRUE(decoded.ok) << decoded.error;
    EXPECT_EQ(decoded.colorType, static_cast<int>(c.colorType));
    EXPECT_EQ(decoded.bitDepth, static_cast<int>(c.bitDepth));
    // Raw rows follow each other without padding; libpng hands back samples below 8 bits one per byte.
    std::vector<uint8_t> expected;
    if (c.bitDepth < 8) {
      for (size_t i = 0; i < bits / c.bitDepth; ++i) {
        const size_t bit = i * c.bitDepth;
        expected.push_back(
            static_cast<uint8_t>((raw[bit / 8] >> (8 - c.bitDepth - bit % 8)) & ((1 << c.bitDepth) - 1)));
      }
    } else {
      expected = raw;
    }
    EXPECT_TRUE(decoded.pixels == expected);
    EXPECT_EQ(RunPngcheck(file), "");
  }
}

TEST(PngEncoder, ConvertsOtherRawFormatsToRgbOrRgba) {
  // Palette image (2 bits per index, rows unpadded): translucent palette gives RGBA, opaque gives RGB.
  const std::vector<uint8_t> palette = {255, 0, 0, 255, 0, 255, 0, 128, 0, 0, 255, 255, 9, 9, 9, 0};
  const std::vector<uint8_t> indices = {0b00011011, 0b11100100, 0b01000000};  // 0 1 2 3 3 2 1 0 1 (3 x 3)
  PngEncoder encoder;
  encoder.infoRaw.colorType = 3;
  encoder.infoRaw.bitDepth = 2;
  encoder.infoRaw.palette = palette;
  std::vector<uint8_t> file;
  encoder.encode(file, indices.data(), 3, 3);
  ASSERT_EQ(encoder.error, PngOk);
  DecodedPng decoded = DecodeWithLibpng(file);
  ASSERT_TRUE(decoded.ok) << decoded.error;
  EXPECT_EQ(decoded.colorType, 6);
  std::vector<uint8_t> expected;
  for (int index : {0, 1, 2, 3, 3, 2, 1, 0, 1}) {
    expected.insert(expected.end(), palette.begin() + 4 * index, palette.begin() + 4 * index + 4);
  }
  EXPECT_TRUE(decoded.rgba == expected);

  PngEncoder opaque;
  opaque.infoRaw = encoder.infoRaw;
  opaque.infoRaw.palette[7] = opaque.infoRaw.palette[15] = 255;
  file.clear();
  opaque.encode(file, indices.data(), 3, 3);
  ASSERT_EQ(opaque.error, PngOk);
  EXPECT_EQ(DecodeWithLibpng(file).colorType, 2);

  // An index beyond the palette.
  PngEncoder small;
  small.infoRaw = encoder.infoRaw;
  small.infoRaw.palette.resize(8);  // two entries; index 2 and 3 are out of range
  file.clear();
  small.encode(file, indices.data(), 3, 3);
  EXPECT_EQ(small.error, PngPaletteIndexOutOfRangeSmall);
  EXPECT_TRUE(file.empty());
  PngEncoder eight;
  eight.infoRaw.colorType = 3;
  eight.infoRaw.palette = {1, 2, 3, 4};
  const std::vector<uint8_t> bytes = {0, 1};
  eight.encode(file, bytes.data(), 2, 1);
  EXPECT_EQ(eight.error, PngPaletteIndexOutOfRange8);

  // Grey + alpha, 16 bits, with alpha below the maximum: RGBA from the high bytes.
  PngEncoder grey;
  grey.infoRaw.colorType = 4;
  grey.infoRaw.bitDepth = 16;
  const std::vector<uint8_t> greyAlpha = {0x12, 0x34, 0xFF, 0xFE, 0xAB, 0xCD, 0x80, 0x00};
  file.clear();
  grey.encode(file, greyAlpha.data(), 2, 1);
  ASSERT_EQ(grey.error, PngOk);
  decoded = DecodeWithLibpng(file);
  EXPECT_EQ(decoded.rgba, (std::vector<uint8_t>{0x12, 0x12, 0x12, 0xFF, 0xAB, 0xAB, 0xAB, 0x80}));

  // RGB with a colour key, to RGBA: the key colour becomes transparent.
  PngEncoder keyed;
  keyed.infoRaw.colorType = 2;
  keyed.infoRaw.keyDefined = true;
  keyed.infoRaw.keyR = 1;
  keyed.infoRaw.keyG = 2;
  keyed.infoRaw.keyB = 3;
  const std::vector<uint8_t> rgb = {1, 2, 3, 4, 5, 6};
  file.clear();
  keyed.encode(file, rgb.data(), 2, 1);
  ASSERT_EQ(keyed.error, PngOk);
  EXPECT_EQ(DecodeWithLibpng(file).rgba, (std::vector<uint8_t>{1, 2, 3, 0, 4, 5, 6, 255}));
  EXPECT_EQ(RunPngcheck(file), "");

  // Alpha kept when asked to, even when every pixel is opaque.
  PngEncoder keepAlpha;
  keepAlpha.settings.dropOpaqueAlpha = false;
  file.clear();
  keepAlpha.encode(file, Solid(2, 2, {1, 2, 3, 255}).data(), 2, 2);
  EXPECT_EQ(DecodeWithLibpng(file).colorType, 6);
}

TEST(PngEncoder, WritesPaletteTransparencyKeyAndBackgroundChunks) {
  PngEncoder encoder;
  encoder.infoRaw.colorType = encoder.infoPng.colorType = 3;
  encoder.infoRaw.palette = encoder.infoPng.palette = {10, 20, 30, 255, 40, 50, 60, 100, 70, 80, 90, 255};
  encoder.infoPng.backgroundDefined = true;
  encoder.infoPng.backgroundR = 2;
  const std::vector<uint8_t> indices = {0, 1, 2, 1};
  std::vector<uint8_t> file;
  encoder.encode(file, indices.data(), 2, 2);
  ASSERT_EQ(encoder.error, PngOk);
  std::vector<Chunk> chunks;
  ASSERT_TRUE(SplitChunks(file, chunks));
  ASSERT_EQ(ChunkTypes(chunks), (std::vector<std::string>{"IHDR", "PLTE", "tRNS", "bKGD", "IDAT", "IEND"}));
  EXPECT_EQ(chunks[1].data, (std::vector<uint8_t>{10, 20, 30, 40, 50, 60, 70, 80, 90}));
  EXPECT_EQ(chunks[2].data, (std::vector<uint8_t>{255, 100}));  // up to the last translucent entry
  EXPECT_EQ(chunks[3].data, (std::vector<uint8_t>{2}));
  DecodedPng decoded = DecodeWithLibpng(file);
  ASSERT_TRUE(decoded.ok) << decoded.error;
  EXPECT_EQ(decoded.pixels, indices);
  EXPECT_EQ(RunPngcheck(file), "");

  PngEncoder keyed;
  keyed.infoRaw.colorType = keyed.infoPng.colorType = 2;
  keyed.infoPng.keyDefined = true;
  keyed.infoPng.keyR = 1;
  keyed.infoPng.keyG = 2;
  keyed.infoPng.keyB = 3;
  const std::vector<uint8_t> rgb = {1, 2, 3, 4, 5, 6};
  file.clear();
  keyed.encode(file, rgb.data(), 2, 1);
  chunks.clear();
  ASSERT_TRUE(SplitChunks(file, chunks));
  ASSERT_EQ(ChunkTypes(chunks), (std::vector<std::string>{"IHDR", "tRNS", "IDAT", "IEND"}));
  EXPECT_EQ(chunks[1].data, (std::vector<uint8_t>{0, 1, 0, 2, 0, 3}));
  EXPECT_EQ(DecodeWithLibpng(file).rgba, (std::vector<uint8_t>{1, 2, 3, 0, 4, 5, 6, 255}));

  // A palette file without a palette: no PLTE, and the code says so.
  PngEncoder empty;
  empty.infoRaw.colorType = empty.infoPng.colorType = 3;
  file.clear();
  empty.encode(file, indices.data(), 2, 2);
  EXPECT_EQ(empty.error, PngBadPaletteSize);
  chunks.clear();
  ASSERT_TRUE(SplitChunks(file, chunks));
  EXPECT_EQ(ChunkTypes(chunks), (std::vector<std::string>{"IHDR", "IDAT", "IEND"}));
}

TEST(PngEncoder, StoredAndFixedBlocksMakeValidFiles) {
  const std::vector<uint8_t> image = Noise(20 * 10 * 4, 77);
  for (uint32_t blockType : {0u, 1u}) {
    PngEncoder encoder;
    encoder.settings.blockType = blockType;
    std::vector<uint8_t> file;
    encoder.encode(file, image.data(), 20, 10);
    ASSERT_EQ(encoder.error, PngOk);
    DecodedPng decoded = DecodeWithLibpng(file);
    ASSERT_TRUE(decoded.ok) << decoded.error;
    EXPECT_TRUE(decoded.rgba == image);
    EXPECT_EQ(RunPngcheck(file), "");
  }
}

TEST(PngEncoder, SaveFileCreatesOrTruncates) {
  const std::filesystem::path path = std::filesystem::temp_directory_path() / "tessaline-save-file-test.bin";
  saveFile(std::vector<uint8_t>(100, 7), path.string());
  saveFile({1, 2, 3}, path.string());
  std::ifstream in(path, std::ios::binary);
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(bytes, (std::vector<uint8_t>{1, 2, 3}));
  std::filesystem::remove(path);
  saveFile({1}, (path / "no-such-folder" / "x.png").string());  // reports nothing, writes nothing
}

}  // namespace
}  // namespace tessaline
