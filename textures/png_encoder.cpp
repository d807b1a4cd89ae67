// PNG files of 8-bit RGB or RGBA images: filtered row by row, compressed into one IDAT chunk, framed by
// IHDR and IEND.
#include <algorithm>
#include <array>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "textures/textures.h"

namespace tessaline {

namespace {

constexpr std::array<uint8_t, 8> kSignature = {137, 80, 78, 71, 13, 10, 26, 10};
constexpr uint32_t kLargestDimension = 0x7FFFFFFF;

void AppendBigEndian(std::vector<uint8_t>& out, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8)
    out.push_back(static_cast<uint8_t>(value >> shift));
}

void WriteChunk(std::vector<uint8_t>& out, const char (&type)[5], const std::vector<uint8_t>& data) {
  AppendBigEndian(out, static_cast<uint32_t>(data.size()));
  size_t start = out.size();
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), data.begin(), data.end());
  AppendBigEndian(out, Crc32(out.data() + start, out.size() - start));
}

// True when every pixel of an RGBA image is fully opaque.
bool IsOpaque(const uint8_t* image, uint64_t pixels) {
  for (uint64_t pixel = 0; pixel < pixels; ++pixel) {
    if (image[4 * pixel + 3] != 255) return false;
  }
  return true;
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
  error = PngOk;
  const uint64_t pixels = static_cast<uint64_t>(width) * height;
  assert(image != nullptr || pixels == 0);

  if (channels != 3 && channels != 4) {
    error = PngUnsupportedConversion;
    return;
  }
  if (settings.windowSize > 32768) {
    error = PngWindowTooLarge;
    return;
  }
  if (settings.blockType > 2) {
    error = PngBadBlockType;
    return;
  }
  // Every buffer below must be addressable on this system.
  const uint64_t widestRow = static_cast<uint64_t>(width) * 4 + 1;
  if (width == 0 || height == 0 || width > kLargestDimension || height > kLargestDimension ||
      height > SIZE_MAX / widestRow) {
    error = PngBadImageSize;
    return;
  }

  // The file's pixels: RGBA as given, or RGB when the image has no alpha or (by the setting) all of it is
  // opaque.
  const bool dropAlpha = channels == 4 && settings.dropOpaqueAlpha && IsOpaque(image, pixels);
  const uint32_t fileChannels = dropAlpha ? 3 : channels;
  std::vector<uint8_t> rows;
  if (dropAlpha) {
    rows.reserve(pixels * 3);
    for (uint64_t pixel = 0; pixel < pixels; ++pixel)
      rows.insert(rows.end(), image + 4 * pixel, image + 4 * pixel + 3);
  } else {
    rows.assign(image, image + pixels * channels);
  }
  const size_t rowBytes = static_cast<size_t>(width) * fileChannels;
  std::vector<uint8_t> filtered = FilterRows(rows, rowBytes, height, fileChannels);

  out.insert(out.end(), kSignature.begin(), kSignature.end());

  std::vector<uint8_t> header;
  AppendBigEndian(header, width);
  AppendBigEndian(header, height);
  header.push_back(8);                          // bit depth
  header.push_back(fileChannels == 4 ? 6 : 2);  // colour type: RGBA or RGB
  header.push_back(0);                          // compression method
  header.push_back(0);                          // filter method
  header.push_back(0);                          // no interlacing
  WriteChunk(out, "IHDR", header);

  std::vector<uint8_t> compressed;
  compress(compressed, filtered, settings);
  WriteChunk(out, "IDAT", compressed);
  WriteChunk(out, "IEND", {});
}

}  // namespace tessaline
