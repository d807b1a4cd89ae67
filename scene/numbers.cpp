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
  const size_t start = SkipBlanks(text);
  size_t i = start;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  // While checking the grammar, collect up to 19 significant digits for the exact fast path below.
  uint64_t significand = 0;
  int64_t significantDigits = 0;
  auto collect = [&](size_t from, size_t to) {
    for (size_t k = from; k < to; ++k) {
      if (significantDigits == 0 && text[k] == '0') continue;
      if (significantDigits < 19) significand = significand * 10 + static_cast<uint64_t>(text[k] - '0');
      ++significantDigits;
    }
  };
  const size_t integerBegin = i;
  const size_t integerEnd = SkipDigits(text, i);
  collect(integerBegin, integerEnd);
  size_t fractionBegin = integerEnd;
  size_t fractionEnd = integerEnd;
  if (integerEnd < text.size() && text[integerEnd] == '.') {
    fractionBegin = integerEnd + 1;
    fractionEnd = SkipDigits(text, fractionBegin);
    collect(fractionBegin, fractionEnd);
  }
  if (integerEnd == integerBegin && fractionEnd == fractionBegin) return 0.0;  // no mantissa digit
  i = fractionEnd;

  // The exponent belongs to the number only when at least one digit follows the letter and its sign.
  int64_t exponent = 0;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    size_t j = i + 1;
    bool negativeExponent = false;
    if (j < text.size() && (text[j] == '+' || text[j] == '-')) {
      negativeExponent = text[j] == '-';
      ++j;
    }
    if (j < text.size() && IsDigit(text[j])) {
      for (; j < text.size() && IsDigit(text[j]); ++j) {
        if (exponent < 1000000000) exponent = exponent * 10 + (text[j] - '0');  // saturates far out of range
      }
      if (negativeExponent) exponent = -exponent;
      i = j;
    }
  }

#if defined(FLT_EVAL_METHOD) && FLT_EVAL_METHOD == 0
  // Exact fast path: a significand below 2^53 and a power of ten up to 10^22 are both exact doubles, so one
  // multiplication or division rounds correctly. (Needs arithmetic without excess precision.)
  const int64_t scale = exponent - static_cast<int64_t>(fractionEnd - fractionBegin);
  if (significantDigits <= 19 && significand <= (uint64_t{1} << 53) && scale >= -22 && scale <= 22) {
    static constexpr double kPowers[23] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                           1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                           1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    const double value = static_cast<double>(significand);
    const double scaled = scale >= 0 ? value * kPowers[scale] : value / kPowers[-scale];
    return negative ? -scaled : scaled;
  }
#endif

  // std::from_chars takes a leading minus but no plus.
  const char* first = text.data() + (negative ? start : integerBegin);
  const char* last = text.data() + i;
  double value = 0.0;
  const std::from_chars_result result = std::from_chars(first, last, value, std::chars_format::general);
  if (result.ec == std::errc() && result.ptr == last) return value;

  // Out of range: overflow and underflow lie hundreds of decades apart, so the position of the first
  // significant digit tells which one happened.
  int64_t magnitude = 0;
  size_t k = integerBegin;
  while (k < integerEnd && text[k] == '0')
    ++k;
  if (k < integerEnd) {
    magnitude = static_cast<int64_t>(integerEnd - k);
  } else {
    k = fractionBegin;
    while (k < fractionEnd && text[k] == '0')
      ++k;
    if (k == fractionEnd) return negative ? -0.0 : 0.0;  // every digit is zero
    magnitude = -static_cast<int64_t>(k - fractionBegin);
  }
  const double limit = magnitude + exponent > 0 ? std::numeric_limits<double>::infinity() : 0.0;
  return negative ? -limit : limit;
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
