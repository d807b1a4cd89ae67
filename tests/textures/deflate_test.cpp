#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "textures/textures.h"

namespace tessaline {
namespace {

using Matches = std::vector<std::pair<uint32_t, uint32_t>>;  // length, distance

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
  const std::vector<uint8_t> starts = Random(size, 5);
  std::vector<uint8_t> bytes = Random(size, 1);
  for (size_t i = 1; i < size; ++i)
    bytes[i] = starts[i] % 64 == 0 ? bytes[i] : bytes[i - 1];
  return bytes;
}

// What the first block of a valid zlib stream says beyond its bytes: the block type and, for a block of
// type 2, the code lengths of the code-length and distance codes (by symbol), the code-length symbols as sent
// (each 16, 17 and 18 followed by its extra value) and every match.
struct BlockWalk {
  uint32_t type = 0;
  std::vector<uint32_t> codeLengthLengths, distanceLengths, tokens;
  Matches matches;
};

// A canonical code: codes of one length are consecutive, shorter lengths first, in symbol order.
struct Code {
  explicit Code(const std::vector<uint32_t>& lengths) {
    for (uint32_t symbol = 0; symbol < lengths.size(); ++symbol) {
      ++count.at(lengths[symbol]);
      if (lengths[symbol] > 0) symbols.push_back(symbol);
    }
    std::stable_sort(symbols.begin(), symbols.end(),
                     [&](uint32_t a, uint32_t b) { return lengths[a] < lengths[b]; });
  }
  std::array<uint32_t, 16> count{};
  std::vector<uint32_t> symbols;
};

BlockWalk Walk(const std::vector<uint8_t>& stream) {
  size_t at = 16;  // the bit after the zlib header
  auto get = [&](uint32_t bitCount) {
    uint32_t value = 0;
    for (uint32_t i = 0; i < bitCount; ++i, ++at)
      value |= ((stream.at(at / 8) >> (at % 8)) & 1u) << i;
    return value;
  };
  auto decode = [&](const Code& code) {
    uint32_t value = get(1), first = 0, index = 0;
    for (uint32_t length = 1; value - first >= code.count.at(length); ++length) {
      index += code.count[length];
      first = (first + code.count[length]) << 1;
      value = value << 1 | get(1);
    }
    return code.symbols.at(index + value - first);
  };
  // Length codes 257..285 and distance codes 0..29: extra bits as RFC 1951 lists them, bases summed up.
  std::array<uint32_t, 30> lengthExtra{}, lengthBase{}, distanceExtra{}, distanceBase{};
  for (uint32_t i = 0; i < 30; ++i) {
    lengthExtra[i] = i < 8 || i >= 28 ? 0 : (i - 4) / 4;
    distanceExtra[i] = i < 4 ? 0 : (i - 2) / 2;
    lengthBase[i] = i == 0 ? 3 : lengthBase[i - 1] + (1u << lengthExtra[i - 1]);
    distanceBase[i] = i == 0 ? 1 : distanceBase[i - 1] + (1u << distanceExtra[i - 1]);
  }
  lengthBase[28] = 258;
  const std::array<uint32_t, 19> order = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

  BlockWalk walk;
  walk.type = get(3) >> 1;
  if (walk.type != 2) return walk;
  const uint32_t literals = get(5) + 257, distances = get(5) + 1, sent = get(4) + 4;
  walk.codeLengthLengths.assign(19, 0);
  for (uint32_t i = 0; i < sent; ++i)
    walk.codeLengthLengths[order[i]] = get(3);
  const Code lengthCode(walk.codeLengthLengths);
  std::vector<uint32_t> lengths;
  while (lengths.size() < literals + distances) {
    const uint32_t symbol = decode(lengthCode);
    walk.tokens.push_back(symbol);
    if (symbol < 16) {
      lengths.push_back(symbol);
    } else {  // repeats of the previous length (16) or of zeros (17, 18)
      walk.tokens.push_back(get(symbol == 16 ? 2 : symbol == 17 ? 3 : 7));
      const uint32_t repeated = symbol == 16 ? lengths.at(lengths.size() - 1) : 0;
      lengths.insert(lengths.end(), walk.tokens.back() + (symbol == 18 ? 11 : 3), repeated);
    }
  }
  const Code literalCode({lengths.begin(), lengths.begin() + literals});
  walk.distanceLengths.assign(lengths.begin() + literals, lengths.end());
  const Code distanceCode(walk.distanceLengths);
  for (uint32_t symbol = decode(literalCode); symbol != 256; symbol = decode(literalCode)) {
    if (symbol < 256) continue;
    const uint32_t length = lengthBase.at(symbol - 257) + get(lengthExtra.at(symbol - 257));
    const uint32_t code = decode(distanceCode);
    walk.matches.emplace_back(length, distanceBase.at(code) + get(distanceExtra.at(code)));
  }
  return walk;
}

// Compresses data and checks what every reader relies on: the header 0x78 0x01, zlib's inflate giving the
// data back (Adler-32 included), the block type asked for, and no match reaching beyond the window.
BlockWalk RoundTrip(const std::vector<uint8_t>& data, const EncoderSettings& settings = {}) {
  std::vector<uint8_t> stream;
  compress(stream, data, settings);
  EXPECT_EQ(stream.at(0) << 8 | stream.at(1), 0x7801);  // deflate, 32 KiB window, no dictionary, check bits
  std::vector<uint8_t> inflated(data.size() + 1);
  uLongf size = static_cast<uLongf>(inflated.size());
  const int result = uncompress(inflated.data(), &size, stream.data(), static_cast<uLong>(stream.size()));
  inflated.resize(size);
  if (result != Z_OK || inflated != data) {
    ADD_FAILURE() << "zlib result " << result << ", " << size << " of " << data.size() << " bytes";
    return {};
  }
  BlockWalk walk = Walk(stream);
  EXPECT_EQ(walk.type, settings.blockType);
  uint32_t farthest = 0;
  for (const auto& [length, distance] : walk.matches)
    farthest = std::max(farthest, distance);
  EXPECT_LE(farthest, settings.windowSize);
  EXPECT_TRUE(settings.useLZ77 || walk.matches.empty());
  return walk;
}

TEST(Deflate, RoundTripsVariedInputsThroughZlib) {
  // Empty, one byte, zeros, runs, text, random bytes and random bytes of a four-letter alphabet.
  const std::vector<std::vector<uint8_t>> inputs = {
      {},          {0x5A},           std::vector<uint8_t>(264, 0), Runs(50000),
      Text(20000), Random(20000, 3), Random(20000, 4, 3)};
  for (uint32_t blockType : {0u, 1u, 2u}) {
    for (uint32_t windowSize : {1u, 100u, 2048u, 32768u}) {
      for (bool useLZ77 : {true, false}) {
        for (size_t i = 0; i < inputs.size(); ++i) {
          SCOPED_TRACE("input " + std::to_string(i) + " block " + std::to_string(blockType) + " window " +
                       std::to_string(windowSize) + (useLZ77 ? "" : " literals"));
          RoundTrip(inputs[i], {.blockType = blockType, .useLZ77 = useLZ77, .windowSize = windowSize});
        }
      }
    }
  }
  constexpr size_t kMebibyte = 1 << 20;
  for (const std::vector<uint8_t>& data :
       {std::vector<uint8_t>(kMebibyte, 0), Text(kMebibyte), Random(kMebibyte, 6), Runs(kMebibyte)}) {
    RoundTrip(data);
  }
  RoundTrip(Random(kMebibyte, 7), {.blockType = 0});  // stored blocks of at most 65535 bytes
}

TEST(Deflate, TakesTheLongestNearestMatchWithinTheWindow) {
  const std::string letters = "abcdefXabcdefYabcdefZ";
  std::vector<uint8_t> twice = Random(3000, 9);  // no repeats inside, so only the second copy matches
  twice.insert(twice.end(), twice.begin(), twice.end());
  Matches far(11, {258, 3000});
  far.emplace_back(162, 3000);
  const std::vector<std::tuple<std::vector<uint8_t>, uint32_t, Matches>> cases = {
      {{letters.begin(), letters.end()}, 2048, {{6, 7}, {6, 7}}},  // the nearer of two equally long
      {twice, 3000, far},  // a window of exactly the distance reaches it
      {twice, 2999, {}},
  };
  for (const auto& [data, windowSize, expected] : cases)
    EXPECT_EQ(RoundTrip(data, {.windowSize = windowSize}).matches, expected) << windowSize;
}

TEST(Deflate, ZeroImageStreamMatchesHandMadeBits) {
  // 264 zero bytes: literal 0, then <258, 1> and <5, 1>. The literal/length alphabet uses 0, 256, 259 and
  // 285 once each (2-bit codes 00, 01, 10, 11); the distance alphabet uses code 0 alone (one bit, 0).
  // Code lengths: 0:2, 255 zeros, 256:2, 0, 0, 259:2, 25 zeros, 285:2, distance 0:1, 29 zeros; coded as
  // 2, 18(127), 18(106), 2, 0, 0, 2, 18(14), 2, 1, 18(18). Code-length frequencies 0:2 1:1 2:4 18:4 give
  // lengths 3, 3, 2, 1, so the codes are 0 -> 110, 1 -> 111, 2 -> 10, 18 -> 0. Bits in the order they are
  // sent; values of fixed width go low bit first, Huffman codes high bit first.
  const std::string bits =
      "1 01 10111 10111 0111"  // final block, type 2, HLIT 29, HDIST 29, HCLEN 14
      "000 000 100 110"        // code-length code lengths of 16 17 18 0: 0 0 1 3
      "000 000 000 000 000 000 000 000 000 000 000 010 000 110"  // of 8 7 9 6 10 5 11 4 12 3 13 2 14 1
      "10 0 1111111 0 0101011 10 110 110 10"                     // 2, 18 (138 zeros), 18 (117 zeros), 2 0 0 2
      "0 0111000 10 111 0 0100100"                               // 18 (25 zeros), 2 1, 18 (29 zeros)
      "00 11 0 10 0 01";                                         // literal 0, <258, 1>, <5, 1>, end of block
  std::vector<uint8_t> expected = {0x78, 0x01};
  size_t sent = 0;
  for (char c : bits) {
    if (c == ' ') continue;
    if (sent % 8 == 0) expected.push_back(0);
    expected.back() = static_cast<uint8_t>(expected.back() | (c == '1' ? 1u << (sent % 8) : 0u));
    ++sent;
  }
  expected.insert(expected.end(), {0x01, 0x08, 0x00, 0x01});  // Adler-32: b = 264, a = 1
  std::vector<uint8_t> stream;
  compress(stream, std::vector<uint8_t>(264, 0), {});
  EXPECT_EQ(stream, expected);
}

TEST(Deflate, CodeLengthRunsFollowTheRepeatRules) {
  // Sixteen symbols used once each (bytes 0 2 4 6 8 10, 100..108, and the end code) all get 4-bit codes.
  // Nine equal lengths in a row: the length, one 16 for six repeats, then the last two sent plainly.
  // 147 zeros: 18 for 138, then 17 for the remaining 9.
  std::vector<uint8_t> data = {0, 2, 4, 6, 8, 10, 100, 101, 102, 103, 104, 105, 106, 107, 108};
  const std::vector<uint32_t> expected = {
      4,  0,   4,  0, 4, 0, 4, 0, 4, 0, 4,  // bytes 0..10
      18, 78,                               // 11..99
      4,  16,  3,  4, 4,                    // 100..108
      18, 127, 17, 6,                       // 109..255
      4,                                    // end code
      18, 48,                               // 257..285 and all 30 distances
  };
  EXPECT_EQ(RoundTrip(data).tokens, expected);
}

TEST(Deflate, CodeLengthsFollowSinglePrecisionWeightsAndTheCombSortOrder) {
  // The filtered rows of the colour texture (5, 17, 51, 254): Sub on the first row, Up below.
  std::vector<uint8_t> rows = {1, 5, 17, 51, 254};
  rows.resize(33, 0);
  for (int y = 1; y < 8; ++y) {
    rows.push_back(2);
    rows.resize(rows.size() + 32, 0);
  }
  const BlockWalk walk = RoundTrip(rows);
  // Its code-length symbols have frequencies 0:5 1:1 2:3 3:3 4:6 17:1 18:7, so T = 26. As f x (1/T) in
  // single precision the symbol 4 (6/26) weighs one unit in the last place more than the package of 5/26
  // and 1/26, and sorts after it; computed as f / T the two weigh the same and the sort order gives the
  // equally short but different lengths 0:2 1:5 2:4 17:5, and other bytes.
  EXPECT_EQ(walk.codeLengthLengths,
            (std::vector<uint32_t>{3, 4, 3, 3, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 4, 2}));
  // Distance codes 0, 9 and 10 are used once each (distances 1, 29 and 33). Every level's row is a package
  // of two or three leaves followed by the three leaves; the comb sort's first gap moves the last leaves
  // ahead of the packages, and its order of the equal leaves gives code 0 the one-bit code (a stable sort
  // would give it to code 10).
  std::vector<uint32_t> distances(30, 0);
  distances[0] = 1;
  distances[9] = distances[10] = 2;
  EXPECT_EQ(walk.distanceLengths, distances);
  EXPECT_EQ(walk.matches, (Matches{{27, 1}, {28, 29}, {202, 33}}));
}

}  // namespace
}  // namespace tessaline
