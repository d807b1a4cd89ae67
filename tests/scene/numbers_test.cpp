#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <charconv>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "scene/scene.h"
#include "support.h"

namespace tessaline {
namespace {

constexpr float kFloatInf = std::numeric_limits<float>::infinity();

// Each expected value with the texts that must give it, compared by bits (so that the sign of zero counts).
template <typename Value>
using Cases = std::vector<std::pair<Value, std::vector<std::string>>>;

template <typename Value>
void ExpectParses(Value (*parse)(std::string_view), const Cases<Value>& cases) {
  for (const auto& [expected, texts] : cases) {
    for (const std::string& text : texts) {
      const Value value = parse(text);
      using Bits = std::array<unsigned char, sizeof(Value)>;
      EXPECT_EQ(std::bit_cast<Bits>(value), std::bit_cast<Bits>(expected)) << text << " gives " << value;
    }
  }
}

TEST(ParseInt, ReadsLeadingDigitsAndWrapsModulo2To32) {
  const Cases<int32_t> cases = {
      {7, {"+7", "007", " \t\n\v\f\r7", "7.9"}},
      {0, {"", "--5", "0x10", "\2405" /* no-break space is not white space */, "4294967296"}},
      {-1, {"-4294967297", "4294967295", std::string(1000, '9')}},
      {INT32_MIN, {"2147483648", "-2147483648"}},
  };
  ExpectParses(ParseInt, cases);
}

TEST(ParseDouble, ReadsTheLongestDecimalPrefix) {
  const Cases<double> cases = {
      {-2500.0, {"  -2.5e3x", "-2500.", "-25E+2"}},
      {0.5, {".5", "+0.5", "5e-1"}},
      // The exponent needs a digit after the letter and its sign.
      {1.0, {"1,5", "1e+", "1e 5", "1" + std::string(300, '0') + "e-300"}},
      // No number at all gives +0.
      {0.0,
       {"", "-.e5", "inf", "nan", "0x1p3", "0." + std::string(400, '0') + "1", "100000e-99999999999999999999",
        "0e99999999999999999999"}},
      {-0.0, {"-0", "-0.000e7", "-1e-999"}},
      {std::numeric_limits<double>::infinity(),
       {"1e999", "1.7976931348623159e308", "1" + std::string(400, '0'), "0.0001e99999999999999999999"}},
      {std::numeric_limits<double>::denorm_min(), {"4.9406564584124654e-324"}},
      {9007199254740992.0, {"9007199254740993"}},  // halfway: ties to even
      {9007199254740994.0, {"9007199254740993.0000000000000000000001"}},
  };
  ExpectParses(ParseDouble, cases);
}

// Short decimals take an exact arithmetic path, longer ones the general one: both must agree with the
// standard library's correctly rounded conversion.
TEST(ParseDouble, AgreesWithCorrectlyRoundedConversion) {
  std::mt19937_64 random(12345);
  for (int i = 0; i < 20000; ++i) {
    std::string text = random() % 2 ? "-" : "";
    const int digits = 1 + static_cast<int>(random() % 24);
    const int point = static_cast<int>(random() % (digits + 1));
    for (int d = 0; d < digits; ++d) {
      if (d == point && d > 0) text += '.';
      text += static_cast<char>('0' + random() % 10);
    }
    if (random() % 3 == 0) text += "e" + std::to_string(static_cast<int>(random() % 80) - 40);
    double expected = 0.0;
    std::from_chars(text.data(), text.data() + text.size(), expected);
    ASSERT_EQ(std::bit_cast<uint64_t>(ParseDouble(text)), std::bit_cast<uint64_t>(expected)) << text;
  }
}

TEST(ParseFloat, RoundsThroughDoubleAndClampsBeyondFloatRange) {
  // 1 + 2^-24 + 1e-30 rounds to 1 + 2^-24 in double, a tie that goes to 1.0 in float; rounding the decimal
  // text straight to float would give 1 + 2^-23. Beyond the float range, values below the halfway point to
  // 2^128 give the largest float, the rest infinity (the halfway point itself rounds to even).
  const Cases<float> cases = {
      {1.0f, {"1.000000059604644775390625000001"}},
      {std::numeric_limits<float>::max(), {"3.4028235e38", "3.40282356779733e38"}},
      {kFloatInf, {"1e39", "1e999", "340282356779733661637539395458142568448"}},
      {-kFloatInf, {"-1e999"}},
      {-0.0f, {"-1e-50"}},
  };
  ExpectParses(ParseFloat, cases);
}

// "." is the decimal point whatever locale the host process has set: the parser leaves the C library's
// locale-dependent readers alone.
TEST(ParseDouble, UsesNoLocaleDependentReader) {
  const std::string source = testing::ReadText(std::string(TESSALINE_SOURCE_DIR) + "/scene/numbers.cpp");
  ASSERT_FALSE(source.empty());
  for (const char* name : {"strtod", "strtof", "strtol", "atof", "atoi", "scanf", "stringstream", "stod",
                           "stof", "setlocale", "localeconv"})
    EXPECT_EQ(source.find(name), std::string::npos) << name;
}

}  // namespace
}  // namespace tessaline
