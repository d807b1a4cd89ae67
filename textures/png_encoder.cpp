// PNG files: the pixel buffer as the raw colour mode describes it, converted when the file is to have
// another colour type, filtered row by row, compressed into one IDAT chunk, framed by IHDR and IEND.
#include <algorithm>
#include <array>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "textures/textures.h"

namespace tessaline {

namespace {

constexpr std::array<uint8_t, 8> kSignature = {137, 80, 78, 71, 13, 10, 26, 10};
constexpr uint32_t kLargestDimension = 0x7FFFFFFF;

uint32_t ChannelCount(uint32_t colorType) {
  switch (colorType) {
    case 0:
    case 3:
      return 1;
    case 2:
      return 3;
    case 4:
      return 2;
    case 6:
      return 4;
    default:
      return 0;
  }
}

// The colour type and bit depth pairs that a PNG file may have.
bool IsValidMode(uint32_t colorType, uint32_t bitDepth) {
  switch (colorType) {
    case 0:
      return bitDepth == 1 || bitDepth == 2 || bitDepth == 4 || bitDepth == 8 || bitDepth == 16;
    case 3:
      return bitDepth == 1 || bitDepth == 2 || bitDepth == 4 || bitDepth == 8;
    case 2:
    case 4:
    case 6:
      return bitDepth == 8 || bitDepth == 16;
    default:
      return false;
  }
}

uint32_t BitsPerPixel(uint32_t colorType, uint32_t bitDepth) {
  return ChannelCount(colorType) * bitDepth;
}

void AppendBigEndian(std::vector<uint8_t>& out, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8)
    out.push_back(static_cast<uint8_t>(value >> shift));
}

void AppendBigEndian16(std::vector<uint8_t>& out, uint32_t value) {
  out.push_back(static_cast<uint8_t>(value >> 8));
  out.push_back(static_cast<uint8_t>(value));
}

void WriteChunk(std::vector<uint8_t>& out, const char (&type)[5], const std::vector<uint8_t>& data) {
  AppendBigEndian(out, static_cast<uint32_t>(data.size()));
  size_t start = out.size();
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), data.begin(), data.end());
  AppendBigEndian(out, Crc32(out.data() + start, out.size() - start));
}

// A reader of the raw pixel buffer: rows follow each other without gaps, so a pixel of fewer than eight
// bits may start anywhere in a byte. Samples of 16 bits are big-endian.
class RawPixels {
 public:
  RawPixels(const uint8_t* image, const RawColorMode& mode) : image_(image), mode_(mode) {}

  // The sample-th sample of the pixel-th pixel at the raw bit depth.
  uint32_t Sample(uint64_t pixel, uint32_t sample) const {
    const uint32_t depth = mode_.bitDepth;
    const uint64_t bit = (pixel * ChannelCount(mode_.colorType) + sample) * depth;
    if (depth == 16) return (static_cast<uint32_t>(image_[bit / 8]) << 8) | image_[bit / 8 + 1];
    if (depth == 8) return image_[bit / 8];
    const uint32_t shift = 8 - depth - static_cast<uint32_t>(bit % 8);
    return (image_[bit / 8] >> shift) & ((1u << depth) - 1);
  }

  // A sample scaled to 8 bits: the high byte of 16-bit samples, low depths stretched over 0..255.
  uint8_t Sample8(uint64_t pixel, uint32_t sample) const {
    const uint32_t value = Sample(pixel, sample);
    if (mode_.bitDepth == 16) return static_cast<uint8_t>(value >> 8);
    if (mode_.bitDepth == 8) return static_cast<uint8_t>(value);
    return static_cast<uint8_t>(value * 255 / ((1u << mode_.bitDepth) - 1));
  }

 private:
  const uint8_t* image_;
  const RawColorMode& mode_;
};

// True when the raw image carries alpha and every pixel is fully opaque.
bool IsOpaque(const RawColorMode& raw, const uint8_t* image, uint64_t pixels) {
  if (raw.colorType == 3) {
    for (size_t i = 3; i < raw.palette.size(); i += 4) {
      if (raw.palette[i] != 255) return false;
    }
    return true;
  }
  if ((raw.colorType != 4 && raw.colorType != 6) || (raw.bitDepth != 8 && raw.bitDepth != 16)) return false;
  const RawPixels reader(image, raw);
  const uint32_t alphaSample = ChannelCount(raw.colorType) - 1;
  const uint32_t opaque = (1u << raw.bitDepth) - 1;
  for (uint64_t pixel = 0; pixel < pixels; ++pixel) {
    if (reader.Sample(pixel, alphaSample) != opaque) return false;
  }
  return true;
}

// The raw image as 8-bit RGB or RGBA rows. Returns a result code (0 when converted).
uint32_t ConvertToRgb8(std::vector<uint8_t>& rows, const RawColorMode& raw, const uint8_t* image,
                       uint64_t pixels, bool withAlpha) {
  const RawPixels reader(image, raw);
  const size_t paletteEntries = raw.palette.size() / 4;
  rows.reserve(pixels * (withAlpha ? 4 : 3));
  for (uint64_t pixel = 0; pixel < pixels; ++pixel) {
    std::array<uint8_t, 4> rgba = {0, 0, 0, 255};
    switch (raw.colorType) {
      case 0: {
        rgba[0] = rgba[1] = rgba[2] = reader.Sample8(pixel, 0);
        if (raw.keyDefined && reader.Sample(pixel, 0) == raw.keyR) rgba[3] = 0;
        break;
      }
      case 2: {
        for (uint32_t c = 0; c < 3; ++c)
          rgba[c] = reader.Sample8(pixel, c);
        if (raw.keyDefined && reader.Sample(pixel, 0) == raw.keyR && reader.Sample(pixel, 1) == raw.keyG &&
            reader.Sample(pixel, 2) == raw.keyB) {
          rgba[3] = 0;
        }
        break;
      }
      case 3: {
        const uint32_t index = reader.Sample(pixel, 0);
        if (index >= paletteEntries) {
          return raw.bitDepth == 8 ? PngPaletteIndexOutOfRange8 : PngPaletteIndexOutOfRangeSmall;
        }
        std::copy_n(raw.palette.begin() + 4 * index, 4, rgba.begin());
        break;
      }
      case 4: {
        rgba[0] = rgba[1] = rgba[2] = reader.Sample8(pixel, 0);
        rgba[3] = reader.Sample8(pixel, 1);
        break;
      }
      default: {  // 6
        for (uint32_t c = 0; c < 4; ++c)
          rgba[c] = reader.Sample8(pixel, c);
        break;
      }
    }
    rows.insert(rows.end(), rgba.begin(), rgba.begin() + (withAlpha ? 4 : 3));
  }
  return PngOk;
}

// The raw image in the same colour mode, with every row starting on a byte boundary (rows of fewer than
// eight bits per pixel are padded with zero bits at their end).
std::vector<uint8_t> AlignRows(const RawColorMode& raw, const uint8_t* image, uint32_t width,
                               uint32_t height) {
  const uint64_t rowBits = static_cast<uint64_t>(width) * BitsPerPixel(raw.colorType, raw.bitDepth);
  const uint64_t rowBytes = (rowBits + 7) / 8;
  if (rowBits % 8 == 0) return std::vector<uint8_t>(image, image + rowBytes * height);
  std::vector<uint8_t> rows(rowBytes * height, 0);
  for (uint64_t y = 0; y < height; ++y) {
    for (uint64_t i = 0; i < rowBits; ++i) {
      const uint64_t from = y * rowBits + i;
      const uint32_t bit = (image[from / 8] >> (7 - from % 8)) & 1u;
      rows[y * rowBytes + i / 8] = static_cast<uint8_t>(rows[y * rowBytes + i / 8] | (bit << (7 - i % 8)));
    }
  }
  return rows;
}

uint8_t Paeth(int a, int b, int c) {
  const int p = a + b - c;
  const int pa = p > a ? p - a : a - p;
  const int pb = p > b ? p - b : b - p;
  const int pc = p > c ? p - c : c - p;
  if (pa <= pb && pa <= pc) return static_cast<uint8_t>(a);
  if (pb <= pc) return static_cast<uint8_t>(b);
  return static_cast<uint8_t>(c);
}

// Every row as one filter-type byte and the row filtered by that type. The type is the one whose first
// five filtered bytes have the smallest sum; on equal sums the lower type wins.
std::vector<uint8_t> FilterRows(const std::vector<uint8_t>& rows, size_t rowBytes, size_t height,
                                size_t stride) {
  std::vector<uint8_t> filtered;
  filtered.reserve((rowBytes + 1) * height);
  const std::vector<uint8_t> zeros(rowBytes, 0);
  std::array<std::vector<uint8_t>, 5> candidates;
  for (std::vector<uint8_t>& candidate : candidates)
    candidate.resize(rowBytes);
  for (size_t y = 0; y < height; ++y) {
    const uint8_t* row = rows.data() + y * rowBytes;
    const uint8_t* above = y == 0 ? zeros.data() : row - rowBytes;
    for (size_t i = 0; i < rowBytes; ++i) {
      const int left = i >= stride ? row[i - stride] : 0;
      const int up = above[i];
      const int upLeft = i >= stride ? above[i - stride] : 0;
      candidates[0][i] = row[i];
      candidates[1][i] = static_cast<uint8_t>(row[i] - left);
      candidates[2][i] = static_cast<uint8_t>(row[i] - up);
      candidates[3][i] = static_cast<uint8_t>(row[i] - (left + up) / 2);
      candidates[4][i] = static_cast<uint8_t>(row[i] - Paeth(left, up, upLeft));
    }
    uint32_t best = 0;
    uint32_t bestScore = UINT32_MAX;
    for (uint32_t type = 0; type < 5; ++type) {
      uint32_t score = 0;
      for (size_t i = 0; i < std::min<size_t>(5, rowBytes); ++i)
        score += candidates[type][i];
      if (score < bestScore) {
        bestScore = score;
        best = type;
      }
    }
    filtered.push_back(static_cast<uint8_t>(best));
    filtered.insert(filtered.end(), candidates[best].begin(), candidates[best].end());
  }
  return filtered;
}

}  // namespace

uint32_t Crc32(const uint8_t* data, size_t size) {
  static const std::array<uint32_t, 256> table = [] {
    std::array<uint32_t, 256> entries{};
    for (uint32_t n = 0; n < 256; ++n) {
      uint32_t c = n;
      for (int k = 0; k < 8; ++k)
        c = (c & 1u) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      entries[n] = c;
    }
    return entries;
  }();
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t i = 0; i < size; ++i)
    crc = table[(crc ^ data[i]) & 0xFFu] ^ (crc >> 8);
  return crc ^ 0xFFFFFFFFu;
}

void PngEncoder::encode(std::vector<uint8_t>& out, const uint8_t* image, uint32_t width, uint32_t height) {
  workingInfo = infoPng;
  error = PngOk;
  const uint64_t pixels = static_cast<uint64_t>(width) * height;
  assert(image != nullptr || pixels == 0);

  const bool rawValid = IsValidMode(infoRaw.colorType, infoRaw.bitDepth);
  if (settings.dropOpaqueAlpha && rawValid && IsOpaque(infoRaw, image, pixels)) {
    if (workingInfo.colorType == 6) workingInfo.colorType = 2;
    if (workingInfo.colorType == 4) workingInfo.colorType = 0;
  }

  if (settings.windowSize > 32768) {
    error = PngWindowTooLarge;
    return;
  }
  if (settings.blockType > 2) {
    error = PngBadBlockType;
    return;
  }
  if (workingInfo.textKeys.size() != workingInfo.textStrings.size()) {
    error = PngTextCountMismatch;
    return;
  }
  // The widest pixels have 64 bits; every buffer below must be addressable on this system.
  const uint64_t widestRow = static_cast<uint64_t>(width) * 8 + 1;
  if (width == 0 || height == 0 || width > kLargestDimension || height > kLargestDimension ||
      height > SIZE_MAX / widestRow) {
    error = PngBadImageSize;
    return;
  }

  // The image rows in the file's colour mode, each starting on a byte boundary.
  std::vector<uint8_t> rows;
  const bool sameMode =
      workingInfo.colorType == infoRaw.colorType && workingInfo.bitDepth == infoRaw.bitDepth;
  if (!rawValid || !IsValidMode(workingInfo.colorType, workingInfo.bitDepth)) {
    error = PngUnsupportedConversion;
    return;
  }
  if (sameMode) {
    rows = AlignRows(infoRaw, image, width, height);
  } else {
    const bool toRgb = workingInfo.colorType == 2 && workingInfo.bitDepth == 8;
    const bool toRgba = workingInfo.colorType == 6 && workingInfo.bitDepth == 8;
    if (!toRgb && !toRgba) {
      error = PngUnsupportedConversion;
      return;
    }
    uint32_t result = ConvertToRgb8(rows, infoRaw, image, pixels, toRgba);
    if (result != PngOk) {
      error = result;
      return;
    }
  }

  const uint32_t bitsPerPixel = BitsPerPixel(workingInfo.colorType, workingInfo.bitDepth);
  const size_t rowBytes = (static_cast<uint64_t>(width) * bitsPerPixel + 7) / 8;
  const size_t stride = (bitsPerPixel + 7) / 8;
  std::vector<uint8_t> filtered = FilterRows(rows, rowBytes, height, stride);

  out.insert(out.end(), kSignature.begin(), kSignature.end());

  std::vector<uint8_t> header;
  AppendBigEndian(header, width);
  AppendBigEndian(header, height);
  header.push_back(static_cast<uint8_t>(workingInfo.bitDepth));
  header.push_back(static_cast<uint8_t>(workingInfo.colorType));
  header.push_back(0);  // compression method
  header.push_back(0);  // filter method
  header.push_back(0);  // no interlacing
  WriteChunk(out, "IHDR", header);

  if (workingInfo.colorType == 3) {
    const std::vector<uint8_t>& palette = workingInfo.palette;
    const size_t entries = palette.size() / 4;
    if (entries == 0 || entries > 256 || palette.size() % 4 != 0) {
      error = PngBadPaletteSize;
    } else {
      std::vector<uint8_t> colours;
      size_t alphaEntries = 0;
      for (size_t i = 0; i < entries; ++i) {
        colours.insert(colours.end(), palette.begin() + 4 * i, palette.begin() + 4 * i + 3);
        if (palette[4 * i + 3] != 255) alphaEntries = i + 1;
      }
      WriteChunk(out, "PLTE", colours);
      if (alphaEntries > 0) {
        std::vector<uint8_t> alphas;
        for (size_t i = 0; i < alphaEntries; ++i)
          alphas.push_back(palette[4 * i + 3]);
        WriteChunk(out, "tRNS", alphas);
      }
    }
  }
  if (workingInfo.keyDefined && (workingInfo.colorType == 0 || workingInfo.colorType == 2)) {
    std::vector<uint8_t> key;
    AppendBigEndian16(key, workingInfo.keyR);
    if (workingInfo.colorType == 2) {
      AppendBigEndian16(key, workingInfo.keyG);
      AppendBigEndian16(key, workingInfo.keyB);
    }
    WriteChunk(out, "tRNS", key);
  }
  if (workingInfo.backgroundDefined) {
    std::vector<uint8_t> background;
    if (workingInfo.colorType == 3) {
      background.push_back(static_cast<uint8_t>(workingInfo.backgroundR));
    } else {
      AppendBigEndian16(background, workingInfo.backgroundR);
      if (workingInfo.colorType == 2 || workingInfo.colorType == 6) {
        AppendBigEndian16(background, workingInfo.backgroundG);
        AppendBigEndian16(background, workingInfo.backgroundB);
      }
    }
    WriteChunk(out, "bKGD", background);
  }

  std::vector<uint8_t> compressed;
  compress(compressed, filtered, settings);
  WriteChunk(out, "IDAT", compressed);

  for (size_t i = 0; i < workingInfo.textKeys.size(); ++i) {
    const std::string& key = workingInfo.textKeys[i];
    if (key.size() > 79) {
      error = PngTextKeyTooLong;
      return;
    }
    if (key.empty()) {
      error = PngTextKeyEmpty;
      return;
    }
    std::vector<uint8_t> text(key.begin(), key.end());
    text.push_back(0);
    text.insert(text.end(), workingInfo.textStrings[i].begin(), workingInfo.textStrings[i].end());
    WriteChunk(out, "tEXt", text);
  }

  WriteChunk(out, "IEND", {});
}

void saveFile(const std::vector<uint8_t>& buffer, const std::string& filename) {
  std::ofstream file(filename, std::ios::binary | std::ios::out | std::ios::trunc);
  if (!file) return;
  file.write(reinterpret_cast<const char*>(buffer.data()), static_cast<std::streamsize>(buffer.size()));
}

}  // namespace tessaline
