#include <gtest/gtest.h>
#include <zlib.h>

#include "textures/textures.h"

namespace tessaline {
namespace {

// Deterministic pseudo-random bytes; mask keeps the alphabet small.
std::vector<uint8_t> Random(size_t size, uint32_t seed, uint8_t mask = 0xFF) {
  std::vector<uint8_t> bytes(size);
  for (uint8_t& b : bytes) {
    seed = seed * 1664525u + 1013904223u;
    b = static_cast<uint8_t>(seed >> 24) & mask;
  }
  return bytes;
}

std::vector<uint8_t> Text(size_t size) {
  std::string text;
  for (uint32_t i = 0; text.size() < size; ++i)
    text += "level " + std::to_string(i * i % 997) + ": the brick wall texture of stone\n";
  return {text.begin(), text.begin() + static_cast<std::ptrdiff_t>(size)};
}

// Runs of random bytes, 64 long on average.
std::vector<uint8_t> Runs(size_t size) {
  std::vector<uint8_t> bytes = Random(size, 1), starts = Random(size, 5);
  for (size_t i = 1; i < size; ++i)
    bytes[i] = starts[i] % 64 == 0 ? bytes[i] : bytes[i - 1];
  return bytes;
}

// Compresses data and checks that zlib's inflate gives the data back (Adler-32 included). Returns the
// stream.
std::vector<uint8_t> RoundTrip(const std::vector<uint8_t>& data, const EncoderSettings& settings = {}) {
  std::vector<uint8_t> stream;
  compress(stream, data, settings);
  std::vector<uint8_t> inflated(data.size() + 1);
  uLongf size = static_cast<uLongf>(inflated.size());
  const int result = uncompress(inflated.data(), &size, stream.data(), static_cast<uLong>(stream.size()));
  inflated.resize(size);
  EXPECT_TRUE(result == Z_OK && inflated == data) << "zlib result " << result;
  return stream;
}

// The streams are fixed to the byte (as their size and zlib's CRC-32), for inputs where a compressor that is
// still correct could choose otherwise: every texture file written must stay the same.
TEST(Deflate, StreamsStayTheSameByteForByte) {
  const std::string letters = "abcdefXabcdefYabcdefZ";
  std::vector<uint8_t> twice = Random(3000, 9);  // no repeats inside, so only the second copy matches
  twice.insert(twice.end(), twice.begin(), twice.end());
  std::vector<uint8_t> rows = {1, 5, 17, 51, 254};  // a colour texture's filtered rows: Sub, then Up
  rows.resize(33, 0);
  for (int y = 1; y < 8; ++y) {
    rows.push_back(2);
    rows.resize(rows.size() + 32, 0);
  }
  const struct {
    const char* what;
    std::vector<uint8_t> data;
    EncoderSettings settings;
    size_t size;
    uint32_t crc;
  } cases[] = {
      // Zeros: literal 0, then <258, 1> and <5, 1>; one-bit distance code, four two-bit literal codes.
      {"zeros", std::vector<uint8_t>(264, 0), {}, 23, 1066723651u},
      // Nothing, and one byte: a single code in use.
      {"empty", {}, {}, 19, 615514365u},
      {"empty, stored", {}, {.blockType = 0}, 11, 2390237681u},
      {"one byte, fixed codes", {0x5A}, {.blockType = 1}, 9, 978396115u},
      {"one byte", {0x5A}, {}, 20, 2590293968u},
      // Of two equally long matches the nearer one.
      {"letters", {letters.begin(), letters.end()}, {}, 32, 2185398609u},
      // A window of exactly the distance reaches the copy, one byte less does not.
      {"window reaching", twice, {.windowSize = 3000}, 3093, 2505960364u},
      {"window short", twice, {.windowSize = 2999}, 6040, 450199674u},
      // Sixteen symbols used once each: code-length runs of 16, 17 and 18 by the repeat rules.
      {"repeats", {0, 2, 4, 6, 8, 10, 100, 101, 102, 103, 104, 105, 106, 107, 108}, {}, 29, 3786716924u},
      // Code lengths from single-precision weights, and the comb sort's order of equal weights.
      {"colour texture", rows, {}, 37, 1380289131u},
      {"text", Text(20000), {}, 1298, 2119062383u},
      {"runs", Runs(50000), {}, 2070, 3072823584u},
      {"runs, widest window", Runs(50000), {.windowSize = 32768}, 2523, 1150524180u},
      {"runs, window of one byte", Runs(50000), {.windowSize = 1}, 1999, 234998987u},
      {"small alphabet, small window", Random(20000, 4, 3), {.windowSize = 100}, 5531, 1838035597u},
      {"fixed codes", Text(20000), {.blockType = 1}, 1945, 3516345830u},
      {"literals only", Text(20000), {.useLZ77 = false}, 10842, 4012581981u},
      {"stored blocks of at most 65535 bytes", Random(1 << 20, 7), {.blockType = 0}, 1048667, 377980922u},
  };
  for (const auto& c : cases) {
    const std::vector<uint8_t> stream = RoundTrip(c.data, c.settings);
    EXPECT_EQ(stream.size(), c.size) << c.what;
    EXPECT_EQ(crc32(0, stream.data(), static_cast<uInt>(stream.size())), c.crc) << c.what;
  }
}

}  // namespace
}  // namespace tessaline
