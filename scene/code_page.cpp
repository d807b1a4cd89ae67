// UTF-8 validation, and Windows-1252 to and from UTF-8.
#include <cstdint>
#include <string>
#include <string_view>

#include "scene/scene.h"

namespace tessaline {
namespace {

// The characters of bytes 0x80 to 0x9F; the five bytes the code page leaves undefined stand for the control
// characters of the same value.
constexpr char16_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

void AppendUtf8(std::string& out, uint32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// Decodes the well-formed sequence at text[i], advancing i; a malformed one gives UINT32_MAX and skips
// one byte.
uint32_t DecodeUtf8(std::string_view text, size_t& i) {
  const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  if (lead < 0x80) {
    ++i;
    return lead;
  }
  size_t length = 0;
  uint32_t c = 0, lowest = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, c = lead & 0x1F, lowest = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, c = lead & 0x0F, lowest = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, c = lead & 0x07, lowest = 0x10000;
  } else {
    ++i;
    return UINT32_MAX;
  }
  if (i + length > text.size()) {
    ++i;
    return UINT32_MAX;
  }
  for (size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) {
      ++i;
      return UINT32_MAX;
    }
    c = (c << 6) | (byte(i + k) & 0x3F);
  }
  if (c < lowest || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
    ++i;
    return UINT32_MAX;
  }
  i += length;
  return c;
}

class Windows1252CodePage final : public CodePage {
 public:
  std::string ToUtf8(std::string_view text) const override {
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    for (char ch : text) {
      const auto b = static_cast<unsigned char>(ch);
      if (b < 0x80) {
        out += ch;
      } else {
        AppendUtf8(out, b < 0xA0 ? kHighControls[b - 0x80] : b);
      }
    }
    return out;
  }

  std::string FromUtf8(std::string_view text) const override {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
      const uint32_t c = DecodeUtf8(text, i);
      out += static_cast<char>(Byte(c));
    }
    return out;
  }

 private:
  static unsigned char Byte(uint32_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<unsigned char>(c);
    for (unsigned b = 0; b < 32; ++b) {
      if (kHighControls[b] == c) return static_cast<unsigned char>(0x80 + b);
    }
    return '?';
  }
};

}  // namespace

const CodePage& Windows1252() {
  static const Windows1252CodePage codePage;
  return codePage;
}

bool IsValidUtf8(std::string_view text) {
  for (size_t i = 0; i < text.size();) {
    // Runs of ASCII, the bulk of every answer, are skipped eight bytes at a time.
    while (i + 8 <= text.size()) {
      uint64_t word = 0;
      for (int k = 0; k < 8; ++k)
        word |= static_cast<uint64_t>(static_cast<unsigned char>(text[i + k])) << (8 * k);
      if ((word & 0x8080808080808080ull) != 0) break;
      i += 8;
    }
    if (i >= text.size()) break;
    if (DecodeUtf8(text, i) == UINT32_MAX) return false;
  }
  return true;
}

}  // namespace tessaline
