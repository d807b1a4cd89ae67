// The process's ANSI code page, through Windows' own conversions.
#include <windows.h>

#include <string>
#include <string_view>

#include "plugin/win32/win32_desktop.h"

namespace tessaline {
namespace {

// text in code page from, as UTF-16.
std::wstring Widen(UINT from, std::string_view text) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  const int length = MultiByteToWideChar(from, 0, text.data(), size, nullptr, 0);
  if (length <= 0) return {};
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(from, 0, text.data(), size, wide.data(), length);
  return wide;
}

// UTF-16 text in code page to; characters it lacks become the code page's default character ("?").
std::string Narrow(UINT to, const std::wstring& wide) {
  if (wide.empty()) return {};
  const int size = static_cast<int>(wide.size());
  const int length = WideCharToMultiByte(to, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
  if (length <= 0) return {};
  std::string text(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(to, 0, wide.data(), size, text.data(), length, nullptr, nullptr);
  return text;
}

class AnsiCodePageConversions final : public CodePage {
 public:
  std::string ToUtf8(std::string_view text) const override { return Narrow(CP_UTF8, Widen(CP_ACP, text)); }
  std::string FromUtf8(std::string_view text) const override { return Narrow(CP_ACP, Widen(CP_UTF8, text)); }
};

}  // namespace

const CodePage& ProcessCodePage() {
  static const AnsiCodePageConversions codePage;
  return codePage;
}

}  // namespace tessaline
