#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <string>
#include <vector>

#include "inflate_trace.h"
#include "textures/textures.h"

namespace tessaline {
namespace {

using testing::CodeLengthToken;
using testing::InflateTrace;
using testing::TraceInflate;

// Deterministic pseudo-random bytes.
class Lcg {
 public:
  explicit Lcg(uint32_t seed) : state_(seed) {}
  uint32_t Next() {
    state_ = state_ * 1664525u + 1013904223u;
    return state_ >> 8;
  }

 private:
  uint32_t state_;
};

std::vector<uint8_t> RandomBytes(size_t size, uint32_t seed) {
  Lcg lcg(seed);
  std::vector<uint8_t> bytes(size);
  for (uint8_t& b : bytes)
    b = static_cast<uint8_t>(lcg.Next());
  return bytes;
}

std::vector<uint8_t> Text(size_t size, uint32_t seed) {
  static const char* const kWords[] = {"the ",   "brick ", "wall ",    "texture ", "level ", "of ",
                                       "stone ", "and ",   "light\n",  "mesh ",    "a ",     "door, ",
                                       "floor ", "to ",    "window. ", "ceiling "};
  Lcg lcg(seed);
  std::string text;
  while (text.size() < size)
    text += kWords[lcg.Next() % 16];
  text.resize(size);
  return std::vector<uint8_t>(text.begin(), text.end());
}

std::vector<uint8_t> Runs(size_t size, uint32_t seed) {
  Lcg lcg(seed);
  std::vector<uint8_t> bytes;
  while (bytes.size() < size)
    bytes.insert(bytes.end(), 1 + lcg.Next() % 600, static_cast<uint8_t>(lcg.Next()));
  bytes.resize(size);
  return bytes;
}

std::vector<uint8_t> Compress(const std::vector<uint8_t>& data, const EncoderSettings& settings = {}) {
  std::vector<uint8_t> out;
  compress(out, data, settings);
  return out;
}

std::vector<uint8_t> ZlibInflate(const std::vector<uint8_t>& stream, size_t expectedSize, int& result) {
  std::vector<uint8_t> output(expectedSize + 1);
  uLongf size = static_cast<uLongf>(output.size());
  result = uncompress(output.data(), &size, stream.data(), static_cast<uLong>(stream.size()));
  output.resize(size);
  return output;
}

// Checks one compressed input every way the tests know: zlib inflates it to the input, the header is
// 0x78 0x01, and no match reaches further back than the window.
void ExpectRoundTrip(const std::vector<uint8_t>& data, const EncoderSettings& settings,
                     const std::string& label) {
  SCOPED_TRACE(label);
  std::vector<uint8_t> stream = Compress(data, settings);
  ASSERT_GE(stream.size(), 2u);
  EXPECT_EQ(stream[0], 0x78);
  EXPECT_EQ(stream[1], 0x01);
  int result = Z_OK;
  std::vector<uint8_t> inflated = ZlibInflate(stream, data.size(), result);
  ASSERT_EQ(result, Z_OK);
  EXPECT_TRUE(inflated == data);

  InflateTrace trace = TraceInflate(stream);
  ASSERT_TRUE(trace.ok) << trace.error;
  EXPECT_TRUE(trace.output == data);
  EXPECT_LE(trace.maxDistance, settings.windowSize);
  if (settings.blockType != 0) {
    ASSERT_EQ(trace.blockTypes.size(), 1u);
    EXPECT_EQ(trace.blockTypes[0], settings.blockType);
  }
  if (settings.blockType == 2) {
    EXPECT_EQ(trace.literalCodes[0], 286u);
    EXPECT_EQ(trace.distanceCodes[0], 30u);
  }
}

TEST(Deflate, RoundTripsVariedInputsThroughZlib) {
  const std::vector<std::pair<std::string, std::vector<uint8_t>>> inputs = {
      {"empty", {}},
      {"one byte", {0x5A}},
      {"two bytes", {0, 0}},
      {"zeros 264", std::vector<uint8_t>(264, 0)},
      {"zeros 4000", std::vector<uint8_t>(4000, 0)},
      {"255 x 300", std::vector<uint8_t>(300, 255)},
      {"runs", Runs(50000, 1)},
      {"text", Text(20000, 2)},
      {"random", RandomBytes(20000, 3)},
      {"random small alphabet",
       [] {
         std::vector<uint8_t> bytes = RandomBytes(20000, 4);
         for (uint8_t& b : bytes)
           b &= 3;
         return bytes;
       }()},
  };
  for (uint32_t blockType : {0u, 1u, 2u}) {
    for (uint32_t windowSize : {1u, 100u, 2048u, 32768u}) {
      for (bool useLZ77 : {true, false}) {
        EncoderSettings settings;
        settings.blockType = blockType;
        settings.windowSize = windowSize;
        settings.useLZ77 = useLZ77;
        for (const auto& [name, data] : inputs) {
          ExpectRoundTrip(data, settings,
                          name + " block " + std::to_string(blockType) + " window " +
                              std::to_string(windowSize) + (useLZ77 ? " lz77" : " literals"));
        }
      }
    }
  }
}

TEST(Deflate, RoundTripsOneMebibyteInputs) {
  constexpr size_t kSize = 1 << 20;
  EncoderSettings settings;
  ExpectRoundTrip(std::vector<uint8_t>(kSize, 0), settings, "zeros");
  ExpectRoundTrip(Text(kSize, 5), settings, "text");
  ExpectRoundTrip(RandomBytes(kSize, 6), settings, "random");
  ExpectRoundTrip(Runs(kSize, 7), settings, "runs");
}

TEST(Deflate, StoredBlocksHoldAtMost65535Bytes) {
  EncoderSettings settings;
  settings.blockType = 0;
  std::vector<uint8_t> data = RandomBytes(65535 * 2 + 10, 8);
  InflateTrace trace = TraceInflate(Compress(data, settings));
  ASSERT_TRUE(trace.ok) << trace.error;
  EXPECT_EQ(trace.blockTypes, (std::vector<uint32_t>{0, 0, 0}));
  EXPECT_TRUE(trace.output == data);

  InflateTrace empty = TraceInflate(Compress({}, settings));
  ASSERT_TRUE(empty.ok) << empty.error;
  EXPECT_EQ(empty.blockTypes, (std::vector<uint32_t>{0}));
}

TEST(Deflate, MatchesNeverReachBeyondTheWindow) {
  // A random block repeated 3000 bytes later: out of reach of the default window, in reach of a larger.
  std::vector<uint8_t> block = RandomBytes(3000, 9);
  std::vector<uint8_t> data = block;
  data.insert(data.end(), block.begin(), block.end());

  InflateTrace narrow = TraceInflate(Compress(data));
  ASSERT_TRUE(narrow.ok) << narrow.error;
  EXPECT_LE(narrow.maxDistance, 2048u);

  EncoderSettings wide;
  wide.windowSize = 32768;
  InflateTrace trace = TraceInflate(Compress(data, wide));
  ASSERT_TRUE(trace.ok) << trace.error;
  EXPECT_EQ(trace.maxDistance, 3000u);
  ASSERT_EQ(trace.events.size(), 3000u + 12u);  // 3000 literals, then 3000 = 11 x 258 + 162
  EXPECT_EQ(trace.events[3000].length, 258u);
  EXPECT_EQ(trace.events.back().length, 162u);

  // A window of exactly the distance still reaches it.
  EncoderSettings exact;
  exact.windowSize = 3000;
  EXPECT_EQ(TraceInflate(Compress(data, exact)).maxDistance, 3000u);
}

TEST(Deflate, PrefersTheNearestOfEquallyLongMatches) {
  // At the third "abcdef" both earlier copies match six bytes; the nearer one (distance 7) is taken.
  const std::string text = "abcdefXabcdefYabcdefZ";
  InflateTrace trace = TraceInflate(Compress(std::vector<uint8_t>(text.begin(), text.end())));
  ASSERT_TRUE(trace.ok) << trace.error;
  ASSERT_EQ(trace.events.size(), 11u);  // a b c d e f X <6,7> Y <6,7> Z
  EXPECT_EQ(trace.events[7].length, 6u);
  EXPECT_EQ(trace.events[7].distance, 7u);
  EXPECT_EQ(trace.events[9].length, 6u);
  EXPECT_EQ(trace.events[9].distance, 7u);
}

// Bits in the order they are sent, from a string of '0' and '1' (spaces ignored).
void AppendBits(std::vector<bool>& bits, const std::string& text) {
  for (char c : text) {
    if (c == '0' || c == '1') bits.push_back(c == '1');
  }
}

TEST(Deflate, ZeroImageStreamMatchesHandMadeBits) {
  // 264 zero bytes: literal 0, then <258, 1> and <5, 1>. The literal/length alphabet uses 0, 256, 259 and
  // 285 once each (2-bit codes 00, 01, 10, 11); the distance alphabet uses code 0 alone (one bit, 0).
  // Code lengths: 0:2, 255 zeros, 256:2, 0, 0, 259:2, 25 zeros, 285:2, distance 0:1, 29 zeros; coded as
  // 2, 18(127), 18(106), 2, 0, 0, 2, 18(14), 2, 1, 18(18). Code-length frequencies 0:2 1:1 2:4 18:4 give
  // lengths 3, 3, 2, 1, so the codes are 0 -> 110, 1 -> 111, 2 -> 10, 18 -> 0.
  std::vector<bool> bits;
  AppendBits(bits, "1 01");              // final block, type 2 (sent low bit first)
  AppendBits(bits, "10111 10111 0111");  // HLIT 29, HDIST 29, HCLEN 14
  AppendBits(bits, "000 000 100 110");   // lengths of 16, 17, 18, 0: 0, 0, 1, 3
  for (int i = 0; i < 11; ++i)
    AppendBits(bits, "000");          // 8 7 9 6 10 5 11 4 12 3 13
  AppendBits(bits, "010 000 110");    // 2: 2, 14: 0, 1: 3
  AppendBits(bits, "10");             // 2
  AppendBits(bits, "0 1111111");      // 18, 138 zeros (extra 127)
  AppendBits(bits, "0 0101011");      // 18, 117 zeros (extra 106)
  AppendBits(bits, "10 110 110 10");  // 2 0 0 2
  AppendBits(bits, "0 0111000");      // 18, 25 zeros (extra 14)
  AppendBits(bits, "10 111");         // 2 1
  AppendBits(bits, "0 0100100");      // 18, 29 zeros (extra 18)
  AppendBits(bits, "00");             // literal 0
  AppendBits(bits, "11 0");           // length 258 (code 285), distance 1
  AppendBits(bits, "10 0");           // length 5 (code 259), distance 1
  AppendBits(bits, "01");             // end of block

  std::vector<uint8_t> expected = {0x78, 0x01};
  for (size_t i = 0; i < bits.size(); ++i) {
    if (i % 8 == 0) expected.push_back(0);
    if (bits[i]) expected.back() = static_cast<uint8_t>(expected.back() | (1u << (i % 8)));
  }
  expected.insert(expected.end(), {0x01, 0x08, 0x00, 0x01});  // Adler-32: b = 264, a = 1

  std::vector<uint8_t> actual = Compress(std::vector<uint8_t>(264, 0));
  ASSERT_EQ(actual.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i)
    EXPECT_EQ(actual[i], expected[i]) << "byte " << i;
}

TEST(Deflate, CodeLengthRunsFollowTheRepeatRules) {
  // Sixteen symbols used once each (bytes 0 2 4 6 8 10, 100..108, and the end code) all get 4-bit codes.
  // Nine equal lengths in a row: the length, one 16 for six repeats, then the last two sent plainly.
  // 147 zeros: 18 for 138, then 17 for the remaining 9.
  std::vector<uint8_t> data = {0, 2, 4, 6, 8, 10};
  for (uint8_t b = 100; b <= 108; ++b)
    data.push_back(b);
  InflateTrace trace = TraceInflate(Compress(data));
  ASSERT_TRUE(trace.ok) << trace.error;
  const std::vector<CodeLengthToken> expected = {
      {4, 0},    {0, 0},  {4, 0}, {0, 0}, {4, 0}, {0, 0},
      {4, 0},    {0, 0},  {4, 0}, {0, 0}, {4, 0},  // bytes 0..10
      {18, 78},                                    // 11..99
      {4, 0},    {16, 3}, {4, 0}, {4, 0},          // 100..108
      {18, 127}, {17, 6},                          // 109..255
      {4, 0},                                      // end code
      {18, 48},                                    // 257..285 and all 30 distances
  };
  EXPECT_EQ(trace.tokens, expected);
}

TEST(Deflate, WeightsAreSinglePrecisionFractionsOfTheTotal) {
  // The filtered rows of the colour texture (5, 17, 51, 254): Sub on the first row, Up below.
  std::vector<uint8_t> rows = {1, 5, 17, 51, 254};
  rows.resize(33, 0);
  for (int y = 1; y < 8; ++y) {
    rows.push_back(2);
    rows.resize(rows.size() + 32, 0);
  }
  // Its code-length symbols have frequencies 0:5 1:1 2:3 3:3 4:6 17:1 18:7, so T = 26. As f x (1/T) in
  // single precision the symbol 4 (6/26) weighs one unit in the last place more than the package of 5/26
  // and 1/26, and sorts after it; computed as f / T the two weigh the same and the sort order gives the
  // equally short but different lengths 0:2 1:5 2:4 17:5, and other bytes.
  InflateTrace trace = TraceInflate(Compress(rows));
  ASSERT_TRUE(trace.ok) << trace.error;
  std::vector<uint32_t> expected(19, 0);
  expected[0] = 3;
  expected[1] = 4;
  expected[2] = 3;
  expected[3] = 3;
  expected[4] = 2;
  expected[17] = 4;
  expected[18] = 2;
  EXPECT_EQ(trace.codeLengthLengths, expected);
}

TEST(Deflate, ChecksumsAgreeWithZlib) {
  for (size_t size : {0u, 1u, 5551u, 5552u, 5553u, 100000u}) {
    std::vector<uint8_t> data = RandomBytes(size, static_cast<uint32_t>(size));
    data.insert(data.end(), size / 2, 0xFF);  // long runs of the largest byte stress the sums
    EXPECT_EQ(Adler32(data.data(), data.size()), adler32(1, data.data(), static_cast<uInt>(data.size())))
        << size;
    EXPECT_EQ(Crc32(data.data(), data.size()), crc32(0, data.data(), static_cast<uInt>(data.size()))) << size;
  }
}

}  // namespace
}  // namespace tessaline
