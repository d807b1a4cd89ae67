// Reading back the PNG files the encoder writes: with libpng, with pngcheck, and chunk by chunk.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tessaline::testing {

struct DecodedPng {
  bool ok = false;
  std::string error;
  uint32_t width = 0, height = 0;
  int colorType = -1;
  int bitDepth = 0;
  std::vector<uint8_t> pixels;  // rows as stored (samples unpacked to one byte each below 8 bits)
  std::vector<uint8_t> rgba;    // 8-bit RGBA, via libpng's expansions (valid for 8-bit files)
};

// Decodes with libpng: once without transformations, once expanded to 8-bit RGBA.
DecodedPng DecodeWithLibpng(const std::vector<uint8_t>& file);

struct Chunk {
  std::string type;
  std::vector<uint8_t> data;
  bool crcOk = false;
};

// Splits a file into its chunks after the signature; false when the signature or the framing is wrong.
bool SplitChunks(const std::vector<uint8_t>& file, std::vector<Chunk>& chunks);

// Runs pngcheck over the bytes (through a temporary file). Returns "" when it accepts them, otherwise what
// went wrong, including pngcheck being missing.
std::string RunPngcheck(const std::vector<uint8_t>& file);

}  // namespace tessaline::testing
