// Decimal conversions for attribute texts and edit texts. They never consult the process locale: the
// grammar is checked here character by character, and the final rounding of a validated decimal text is
// left to std::from_chars, which is locale-independent and correctly rounded.
#include <cfloat>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string_view>
#include <system_error>

#include "scene/scene.h"

namespace tessaline {
namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

size_t SkipBlanks(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && IsBlank(text[i]))
    ++i;
  return i;
}

size_t SkipDigits(std::string_view text, size_t i) {
  while (i < text.size() && IsDigit(text[i]))
    ++i;
  return i;
}

// A decimal text split into its parts: positions of the sign, integer digits, fraction digits and the end,
// the exponent's value, and up to 19 significant digits collected for the exact fast path.
struct DecimalText {
  bool negative = false;
  size_t signBegin = 0;
  size_t integerBegin = 0;
  size_t integerEnd = 0;
  size_t fractionBegin = 0;
  size_t fractionEnd = 0;
  size_t end = 0;
  int64_t exponent = 0;
  uint64_t significand = 0;
  int64_t significantDigits = 0;
};

void CollectSignificant(std::string_view text, size_t from, size_t to, DecimalText& decimal) {
  for (size_t k = from; k < to; ++k) {
    if (decimal.significantDigits == 0 && text[k] == '0') continue;
    if (decimal.significantDigits < 19) {
      decimal.significand = decimal.significand * 10 + static_cast<uint64_t>(text[k] - '0');
    }
    ++decimal.significantDigits;
  }
}

// The exponent belongs to the number only when at least one digit follows the letter and its sign.
// Returns the position after the exponent, or `i` when there is none.
size_t ReadExponent(std::string_view text, size_t i, int64_t& exponent) {
  if (i >= text.size() || (text[i] != 'e' && text[i] != 'E')) return i;
  size_t j = i + 1;
  bool negative = false;
  if (j < text.size() && (text[j] == '+' || text[j] == '-')) {
    negative = text[j] == '-';
    ++j;
  }
  if (j >= text.size() || !IsDigit(text[j])) return i;
  for (; j < text.size() && IsDigit(text[j]); ++j) {
    if (exponent < 1000000000) exponent = exponent * 10 + (text[j] - '0');  // saturates far out of range
  }
  if (negative) exponent = -exponent;
  return j;
}

// Splits the longest decimal prefix of `text`. False when it has no mantissa digit.
bool ScanDecimal(std::string_view text, DecimalText& decimal) {
  decimal.signBegin = SkipBlanks(text);
  size_t i = decimal.signBegin;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    decimal.negative = text[i] == '-';
    ++i;
  }
  decimal.integerBegin = i;
  decimal.integerEnd = SkipDigits(text, i);
  CollectSignificant(text, decimal.integerBegin, decimal.integerEnd, decimal);
  decimal.fractionBegin = decimal.fractionEnd = decimal.integerEnd;
  if (decimal.integerEnd < text.size() && text[decimal.integerEnd] == '.') {
    decimal.fractionBegin = decimal.integerEnd + 1;
    decimal.fractionEnd = SkipDigits(text, decimal.fractionBegin);
    CollectSignificant(text, decimal.fractionBegin, decimal.fractionEnd, decimal);
  }
  if (decimal.integerEnd == decimal.integerBegin && decimal.fractionEnd == decimal.fractionBegin)
    return false;
  decimal.end = ReadExponent(text, decimal.fractionEnd, decimal.exponent);
  return true;
}

// Exact fast path: a significand below 2^53 and a power of ten up to 10^22 are both exact doubles, so one
// multiplication or division rounds correctly. (Needs arithmetic without excess precision.) False when the
// number needs the general conversion.
bool ExactValue(const DecimalText& decimal, double& value) {
#if defined(FLT_EVAL_METHOD) && FLT_EVAL_METHOD == 0
  const int64_t scale = decimal.exponent - static_cast<int64_t>(decimal.fractionEnd - decimal.fractionBegin);
  if (decimal.significantDigits > 19 || decimal.significand > (uint64_t{1} << 53) || scale < -22 ||
      scale > 22) {
    return false;
  }
  static constexpr double kPowers[23] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                         1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                         1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
  const double significand = static_cast<double>(decimal.significand);
  const double scaled = scale >= 0 ? significand * kPowers[scale] : significand / kPowers[-scale];
  value = decimal.negative ? -scaled : scaled;
  return true;
#else
  (void)decimal;
  (void)value;
  return false;
#endif
}

// The value of a decimal too large or too small for a double. Overflow and underflow lie hundreds of
// decades apart, so the position of the first significant digit tells which one happened.
double OutOfRangeValue(std::string_view text, const DecimalText& decimal) {
  int64_t magnitude = 0;
  size_t k = decimal.integerBegin;
  while (k < decimal.integerEnd && text[k] == '0')
    ++k;
  if (k < decimal.integerEnd) {
    magnitude = static_cast<int64_t>(decimal.integerEnd - k);
  } else {
    k = decimal.fractionBegin;
    while (k < decimal.fractionEnd && text[k] == '0')
      ++k;
    if (k == decimal.fractionEnd) return decimal.negative ? -0.0 : 0.0;  // every digit is zero
    magnitude = -static_cast<int64_t>(k - decimal.fractionBegin);
  }
  const double limit = magnitude + decimal.exponent > 0 ? std::numeric_limits<double>::infinity() : 0.0;
  return decimal.negative ? -limit : limit;
}

}  // namespace

int32_t ParseInt(std::string_view text) {
  size_t i = SkipBlanks(text);
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  // Unsigned arithmetic wraps modulo 2^32 by definition; the final conversion to int32_t is modular too.
  uint32_t magnitude = 0;
  for (; i < text.size() && IsDigit(text[i]); ++i) {
    magnitude = magnitude * 10u + static_cast<uint32_t>(text[i] - '0');
  }
  return static_cast<int32_t>(negative ? 0u - magnitude : magnitude);
}

double ParseDouble(std::string_view text) {
  DecimalText decimal;
  if (!ScanDecimal(text, decimal)) return 0.0;  // no mantissa digit
  double value = 0.0;
  if (ExactValue(decimal, value)) return value;
  // std::from_chars takes a leading minus but no plus.
  const char* first = text.data() + (decimal.negative ? decimal.signBegin : decimal.integerBegin);
  const char* last = text.data() + decimal.end;
  const std::from_chars_result result = std::from_chars(first, last, value, std::chars_format::general);
  if (result.ec == std::errc() && result.ptr == last) return value;
  return OutOfRangeValue(text, decimal);
}

float ParseFloat(std::string_view text) {
  const double value = ParseDouble(text);
  // Values beyond the float range are rounded by hand: converting them is undefined in C++. Halfway
  // between FLT_MAX and 2^128 and above rounds to infinity (ties to even), below that to FLT_MAX.
  constexpr double kFloatMax = std::numeric_limits<float>::max();
  constexpr double kOverflowStart = 0x1.ffffffp+127;
  if (value >= kOverflowStart) return std::numeric_limits<float>::infinity();
  if (value <= -kOverflowStart) return -std::numeric_limits<float>::infinity();
  if (value > kFloatMax) return std::numeric_limits<float>::max();
  if (value < -kFloatMax) return -std::numeric_limits<float>::max();
  return static_cast<float>(value);
}

}  // namespace tessaline
