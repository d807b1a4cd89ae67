// The DLL's entry point.
#include <commctrl.h>
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) {
  InitCommonControls();
  return TRUE;
}
