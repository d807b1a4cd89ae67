// The Windows side of the tessaline command: argument conversion and console set-up.
#include "plugin/win32/win32_command.h"

#include <windows.h>

#include <cstdlib>

namespace tessaline {

namespace {

UINT g_previousOutputCodePage = 0;

void RestoreConsole() {
  if (g_previousOutputCodePage != 0) SetConsoleOutputCP(g_previousOutputCodePage);
}

bool IsConsole(DWORD which) {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(which), &mode) != 0;
}

}  // namespace

unsigned AnsiCodePage() {
  return GetACP();
}

bool AnsiArguments(int argc, const wchar_t* const* argv, std::vector<std::string>& arguments,
                   size_t& badArgument) {
  const UINT codePage = GetACP();
  // With UTF-8 as the ANSI code page every character has a form, and the "default character used" report
  // is not allowed.
  const bool utf8 = codePage == CP_UTF8;
  const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
  bool allRepresented = true;
  arguments.clear();
  for (int i = 0; i < argc; ++i) {
    const wchar_t* wide = argv[i];
    BOOL usedDefault = FALSE;
    const int size =
        WideCharToMultiByte(codePage, flags, wide, -1, nullptr, 0, nullptr, utf8 ? nullptr : &usedDefault);
    std::string narrow(size > 0 ? static_cast<size_t>(size) : 1u, '\0');
    if (size > 0) {
      WideCharToMultiByte(codePage, flags, wide, -1, narrow.data(), size, nullptr,
                          utf8 ? nullptr : &usedDefault);
    }
    narrow.resize(narrow.size() - 1);  // the terminating NUL
    if ((size <= 0 && wide[0] != L'\0') || usedDefault) {
      if (allRepresented) badArgument = static_cast<size_t>(i);
      allRepresented = false;
    }
    arguments.push_back(std::move(narrow));
  }
  return allRepresented;
}

bool PrepareConsole() {
  const bool outputConsole = IsConsole(STD_OUTPUT_HANDLE);
  const bool errorConsole = IsConsole(STD_ERROR_HANDLE);
  if (!outputConsole && !errorConsole) return false;
  // Messages name files and textures in ANSI bytes; the console shows them in its output code page.
  const UINT previous = GetConsoleOutputCP();
  if (previous != GetACP() && SetConsoleOutputCP(GetACP())) {
    g_previousOutputCodePage = previous;
    std::atexit(RestoreConsole);
  }
  // The progress line redraws itself with a carriage return and spaces, which every console shows.
  return errorConsole;
}

}  // namespace tessaline
