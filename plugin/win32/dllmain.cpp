// The DLL's entry point: common controls for the progress bar, and the Win32 desktop for the exports.
#include "plugin/win32/win32_desktop.h"

// clang-format off
#include <windows.h>
#include <commctrl.h>
// clang-format on

namespace {
tessaline::Win32Desktop g_desktop;
}

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  InitCommonControls();
  if (reason == DLL_PROCESS_ATTACH) tessaline::SetDesktop(&g_desktop);
  return TRUE;
}
