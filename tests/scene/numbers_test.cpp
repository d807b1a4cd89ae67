#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <clocale>
#include <cmath>
#include <fstream>
#include <limits>
#include <random>
#include <sstream>
#include <string>

#include "scene/scene.h"

namespace tessaline {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

bool IsNegativeZero(double value) {
  return value == 0.0 && std::signbit(value);
}
bool IsPositiveZero(double value) {
  return value == 0.0 && !std::signbit(value);
}

TEST(ParseInt, ReadsLeadingDecimalDigitsOnly) {
  EXPECT_EQ(ParseInt("12.7"), 12);
  EXPECT_EQ(ParseInt("0x10"), 0);
  EXPECT_EQ(ParseInt("+7"), 7);
  EXPECT_EQ(ParseInt("-42abc"), -42);
  EXPECT_EQ(ParseInt("007"), 7);
  EXPECT_EQ(ParseInt(" \t\n\v\f\r5"), 5);
}

TEST(ParseInt, TextWithoutDigitsGivesZero) {
  EXPECT_EQ(ParseInt(""), 0);
  EXPECT_EQ(ParseInt("-"), 0);
  EXPECT_EQ(ParseInt("- 5"), 0);
  EXPECT_EQ(ParseInt("--5"), 0);
  EXPECT_EQ(ParseInt("abc"), 0);
  EXPECT_EQ(ParseInt("\xA0"
                     "5"),
            0);  // no-break space is not white space here
}

TEST(ParseInt, WrapsModulo2To32) {
  EXPECT_EQ(ParseInt("2147483647"), 2147483647);
  EXPECT_EQ(ParseInt("2147483648"), std::numeric_limits<int32_t>::min());
  EXPECT_EQ(ParseInt("-2147483648"), std::numeric_limits<int32_t>::min());
  EXPECT_EQ(ParseInt("4294967295"), -1);
  EXPECT_EQ(ParseInt("4294967296"), 0);
  EXPECT_EQ(ParseInt("-4294967297"), -1);
  EXPECT_EQ(ParseInt("123456789012345678901234567890123456789012345678901234567890"), -834729262);
  EXPECT_EQ(ParseInt("-123456789012345678901234567890123456789012345678901234567890"), 834729262);
  EXPECT_EQ(ParseInt(std::string(1000, '9')), -1);
}

TEST(ParseDouble, ReadsTheLongestDecimalPrefix) {
  EXPECT_EQ(ParseDouble("1.5"), 1.5);
  EXPECT_EQ(ParseDouble("  -2.5e3x"), -2500.0);
  EXPECT_EQ(ParseDouble("+1.25"), 1.25);
  EXPECT_EQ(ParseDouble("1E2"), 100.0);
  EXPECT_EQ(ParseDouble("2E-6"), 2e-6);
  EXPECT_EQ(ParseDouble("-6.367314E-14"), -6.367314e-14);
  EXPECT_EQ(ParseDouble(".5"), 0.5);
  EXPECT_EQ(ParseDouble("5."), 5.0);
  EXPECT_EQ(ParseDouble("-.5"), -0.5);
  EXPECT_EQ(ParseDouble("1.5.5"), 1.5);
  EXPECT_EQ(ParseDouble("1,5"), 1.0);
  EXPECT_EQ(ParseDouble("\r\n\t 3"), 3.0);
}

TEST(ParseDouble, IncompleteExponentIsNotPartOfTheNumber) {
  EXPECT_EQ(ParseDouble("1e"), 1.0);
  EXPECT_EQ(ParseDouble("1e+"), 1.0);
  EXPECT_EQ(ParseDouble("1E-x"), 1.0);
  EXPECT_EQ(ParseDouble("1e 5"), 1.0);
  EXPECT_EQ(ParseDouble("2.5e+1"), 25.0);
}

TEST(ParseDouble, TextWithoutNumberGivesPositiveZero) {
  EXPECT_TRUE(IsPositiveZero(ParseDouble("")));
  EXPECT_TRUE(IsPositiveZero(ParseDouble("-")));
  EXPECT_TRUE(IsPositiveZero(ParseDouble(".")));
  EXPECT_TRUE(IsPositiveZero(ParseDouble("-.e5")));
  EXPECT_TRUE(IsPositiveZero(ParseDouble("e5")));
  // The C library would read these; the attribute grammar does not.
  EXPECT_TRUE(IsPositiveZero(ParseDouble("inf")));
  EXPECT_TRUE(IsPositiveZero(ParseDouble("nan")));
  EXPECT_TRUE(IsPositiveZero(ParseDouble("-infinity")));
  EXPECT_EQ(ParseDouble("0x1p3"), 0.0);
}

TEST(ParseDouble, KeepsTheSignOfZero) {
  EXPECT_TRUE(IsNegativeZero(ParseDouble("-0")));
  EXPECT_TRUE(IsNegativeZero(ParseDouble("-0.000e7")));
  EXPECT_TRUE(IsPositiveZero(ParseDouble("0")));
}

TEST(ParseDouble, OutOfRangeGivesInfinityOrZeroByMagnitude) {
  EXPECT_EQ(ParseDouble("1e999"), kInf);
  EXPECT_EQ(ParseDouble("-1e999"), -kInf);
  EXPECT_EQ(ParseDouble("1.7976931348623159e308"), kInf);
  EXPECT_EQ(ParseDouble("1" + std::string(400, '0')), kInf);
  EXPECT_EQ(ParseDouble("0.0001e99999999999999999999"), kInf);
  EXPECT_TRUE(IsPositiveZero(ParseDouble("1e-999")));
  EXPECT_TRUE(IsNegativeZero(ParseDouble("-1e-999")));
  EXPECT_TRUE(IsPositiveZero(ParseDouble("0." + std::string(400, '0') + "1")));
  EXPECT_TRUE(IsPositiveZero(ParseDouble("100000e-99999999999999999999")));
  EXPECT_TRUE(IsPositiveZero(ParseDouble("0e99999999999999999999")));
  EXPECT_EQ(ParseDouble("4.9406564584124654e-324"), std::numeric_limits<double>::denorm_min());
}

TEST(ParseDouble, RoundsCorrectly) {
  EXPECT_EQ(ParseDouble("0.1"), 0.1);
  EXPECT_EQ(ParseDouble("9007199254740993"), 9007199254740992.0);  // halfway: ties to even
  EXPECT_EQ(ParseDouble("9007199254740993.0000000000000000000001"), 9007199254740994.0);
  EXPECT_EQ(ParseDouble("2.2250738585072011e-308"), 2.2250738585072011e-308);
  EXPECT_EQ(ParseDouble("0.1000000000000000055511151231257827021181583404541015625"), 0.1);
  EXPECT_EQ(ParseDouble("1" + std::string(300, '0') + "e-300"), 1.0);
}

// Short decimals take an exact arithmetic path; compare it and the general path with the standard
// library's correctly rounded conversion over many texts of every length and exponent.
TEST(ParseDouble, AgreesWithCorrectlyRoundedConversion) {
  std::mt19937_64 random(12345);
  for (int i = 0; i < 200000; ++i) {
    std::string text = random() % 2 ? "-" : "";
    const int digits = 1 + static_cast<int>(random() % 24);
    const int point = static_cast<int>(random() % (digits + 1));
    for (int d = 0; d < digits; ++d) {
      if (d == point && d > 0) text += '.';
      text += static_cast<char>('0' + random() % 10);
    }
    if (random() % 3 == 0) text += "e" + std::to_string(static_cast<int>(random() % 80) - 40);
    double expected = 0.0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), expected);
    ASSERT_EQ(result.ec, std::errc()) << text;
    ASSERT_EQ(std::bit_cast<uint64_t>(ParseDouble(text)), std::bit_cast<uint64_t>(expected)) << text;
  }
}

TEST(ParseFloat, RoundsThroughDoublePrecision) {
  EXPECT_EQ(ParseFloat("0.1"), 0.1f);
  EXPECT_EQ(ParseFloat("-2.5"), -2.5f);
  // 1 + 2^-24 + 1e-30 rounds to 1 + 2^-24 in double, a tie that goes to 1.0 in float; rounding the decimal
  // text straight to float would give 1 + 2^-23.
  EXPECT_EQ(ParseFloat("1.000000059604644775390625000001"), 1.0f);
}

TEST(ParseFloat, BeyondFloatRangeRoundsToMaxOrInfinity) {
  constexpr float kFloatMax = std::numeric_limits<float>::max();
  constexpr float kFloatInf = std::numeric_limits<float>::infinity();
  EXPECT_EQ(ParseFloat("1e39"), kFloatInf);
  EXPECT_EQ(ParseFloat("-1e39"), -kFloatInf);
  EXPECT_EQ(ParseFloat("1e999"), kFloatInf);
  EXPECT_EQ(ParseFloat("3.4028235e38"), kFloatMax);
  EXPECT_EQ(ParseFloat("3.40282356779733e38"), kFloatMax);  // just below the halfway point
  EXPECT_EQ(ParseFloat("-3.40282356779733e38"), -kFloatMax);
  EXPECT_EQ(ParseFloat("340282356779733661637539395458142568448"), kFloatInf);  // halfway: to even
  EXPECT_EQ(ParseFloat("1e-50"), 0.0f);
  EXPECT_TRUE(std::signbit(ParseFloat("-1e-50")));
}

// The conversions must read "." as the decimal point whatever locale the host process has set.
TEST(ParseDouble, IgnoresCommaDecimalLocale) {
  const char* candidates[] = {"de_DE.UTF-8", "de_DE.utf8", "de_DE",       "fr_FR.UTF-8",
                              "fr_FR.utf8",  "fr_FR",      "nl_NL.UTF-8", "ru_RU.UTF-8"};
  const char* active = nullptr;
  for (const char* name : candidates) {
    if (std::setlocale(LC_ALL, name) != nullptr && std::localeconv()->decimal_point[0] == ',') {
      active = name;
      break;
    }
  }
  if (active == nullptr) {
    std::setlocale(LC_ALL, "C");
    GTEST_SKIP() << "no locale with a decimal comma is installed";
  }
  EXPECT_EQ(ParseDouble("1.5"), 1.5);
  EXPECT_EQ(ParseDouble("1,5"), 1.0);
  EXPECT_EQ(ParseFloat("-2.25e1"), -22.5f);
  EXPECT_EQ(ParseInt("1.234"), 1);
  std::setlocale(LC_ALL, "C");
}

// Where no such locale is installed, at least make sure the conversions do not use the C library's
// locale-dependent readers.
TEST(ParseDouble, SourceUsesNoLocaleDependentReaders) {
  std::ifstream file(std::string(TESSALINE_SOURCE_DIR) + "/scene/numbers.cpp");
  ASSERT_TRUE(file.is_open());
  std::stringstream content;
  content << file.rdbuf();
  const std::string source = content.str();
  for (const char* name : {"strtod", "strtof", "strtold", "atof", "sscanf", "stringstream", "stod", "stof",
                           "strtol", "atoi", "setlocale", "localeconv", "scanf"}) {
    EXPECT_EQ(source.find(name), std::string::npos) << name;
  }
}

}  // namespace
}  // namespace tessaline
