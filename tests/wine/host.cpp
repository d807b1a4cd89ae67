// A substitute for the editor: loads Tessaline.dll by its name, checks its descriptive exports and its
// version resource, answers the plug-in's requests from a scene file like the editor does, and drives the
// real dialogs from a second thread as a user would. Everything it sees is written as a transcript, one
// line per event, on stdout:
//
//   exports ok                        (both names of every export, the texts, the version resource)
//   request GetMem install            (install, scene-all, scene-selection)
//   options start ok                  (the dialog's start state; only with --check-enabling)
//   options enabling ok
//   options ok | options cancel
//   progress <stage text> bar <position> of <low>..<high>   (only with --progress-shot)
//   save Z:\...\level.dbo
//   box Tessaline|Scene correctly exported.\n|information
//   done
//
// Usage: tessaline_host.exe --scene FILE --install-dir DIR --output PATH [choices] [test controls]
//   choices: --selected --scene-name N --scale X Y Z --no-textures --texture-folder N
//            --collision one|per-object --collision-file N
//   test controls: --cancel, --error-code N --error-at install|scene-getmem|scene-getdata,
//            --check-enabling, --options-shot FILE.png, --progress-shot FILE.png,
//            --lock-output (keep the existing output file open, without sharing it for writing or deleting)
//            --time-limit SECONDS (default 120), --memory-report (the peak virtual size on stderr)
// Exit status: 0 when every check passed (the transcript is then compared by the caller), 1 otherwise.

#include <windows.h>

#include <commctrl.h>
#include <psapi.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "resources/resource.h"

namespace {

// ---------------------------------------------------------------------------------------------------------
// The options of one run

struct Options {
  std::string scene, installDir, output;
  bool selected = false;
  bool setSceneName = false;
  std::string sceneName;
  bool setScale = false;
  std::string scale[3];
  bool noTextures = false;
  bool setTextureFolder = false;
  std::string textureFolder;
  std::string collision;  // "", "one" or "per-object"
  bool setCollisionFile = false;
  std::string collisionFile;
  bool cancel = false;
  uint32_t errorCode = 0;
  std::string errorAt;
  bool checkEnabling = false;
  bool lockOutput = false;
  std::string optionsShot, progressShot;
  DWORD timeLimitSeconds = 120;  // the watchdog's limit for the whole export
  bool memoryReport = false;     // the peak virtual size on stderr at the end
};

Options g_options;
std::string g_sceneAnswer;
std::string g_installAnswer;
DWORD g_mainThread = 0;
volatile LONG g_executeDone = 0;
bool g_failed = false;
CRITICAL_SECTION g_lock;
DWORD g_startTicks = 0;

void Log(const std::string& line) {
  EnterCriticalSection(&g_lock);
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
  // The same line with the time since the start on stderr, for finding where a slow run spends it.
  std::fprintf(stderr, "%6lu ms  %s\n", GetTickCount() - g_startTicks, line.c_str());
  LeaveCriticalSection(&g_lock);
}

void Fail(const std::string& what) {
  g_failed = true;
  Log("FAIL " + what);
}

std::string Escaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else {
      out += c;
    }
  }
  return out;
}

// ---------------------------------------------------------------------------------------------------------
// Screenshots: a window's picture as an uncompressed PNG (stored deflate blocks)

uint32_t Crc(const uint8_t* data, size_t size, uint32_t crc = 0) {
  crc = ~crc;
  for (size_t i = 0; i < size; ++i) {
    crc ^= data[i];
    for (int k = 0; k < 8; ++k)
      crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

void Put32(std::vector<uint8_t>& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8)
    out.push_back(static_cast<uint8_t>(v >> shift));
}

void Chunk(std::vector<uint8_t>& png, const char* type, const std::vector<uint8_t>& data) {
  Put32(png, static_cast<uint32_t>(data.size()));
  const size_t start = png.size();
  png.insert(png.end(), type, type + 4);
  png.insert(png.end(), data.begin(), data.end());
  Put32(png, Crc(png.data() + start, png.size() - start));
}

bool WritePng(const std::string& path, int width, int height, const std::vector<uint8_t>& rgb) {
  std::vector<uint8_t> raw;
  for (int y = 0; y < height; ++y) {
    raw.push_back(0);
    raw.insert(raw.end(), rgb.begin() + static_cast<size_t>(y) * width * 3,
               rgb.begin() + static_cast<size_t>(y + 1) * width * 3);
  }
  std::vector<uint8_t> z = {0x78, 0x01};
  for (size_t at = 0; at < raw.size() || at == 0;) {
    const size_t n = std::min<size_t>(65535, raw.size() - at);
    const bool last = at + n == raw.size();
    z.push_back(last ? 1 : 0);
    z.push_back(static_cast<uint8_t>(n));
    z.push_back(static_cast<uint8_t>(n >> 8));
    z.push_back(static_cast<uint8_t>(~n));
    z.push_back(static_cast<uint8_t>(~n >> 8));
    z.insert(z.end(), raw.begin() + at, raw.begin() + at + n);
    at += n;
    if (last) break;
  }
  uint32_t a = 1, b = 0;
  for (uint8_t byte : raw) {
    a = (a + byte) % 65521;
    b = (b + a) % 65521;
  }
  Put32(z, (b << 16) | a);
  std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<uint8_t> header;
  Put32(header, static_cast<uint32_t>(width));
  Put32(header, static_cast<uint32_t>(height));
  header.insert(header.end(), {8, 2, 0, 0, 0});
  Chunk(png, "IHDR", header);
  Chunk(png, "IDAT", z);
  Chunk(png, "IEND", {});
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
  return static_cast<bool>(out);
}

// Copies the window's area of the screen, frame and caption included.
void Screenshot(HWND window, const std::string& path) {
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
  RECT rect;
  GetWindowRect(window, &rect);
  const int width = rect.right - rect.left, height = rect.bottom - rect.top;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top-down rows
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
  GdiFlush();
  std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
  const uint8_t* bgra = static_cast<const uint8_t*>(bits);
  for (size_t i = 0; i < static_cast<size_t>(width) * height; ++i) {
    rgb[i * 3] = bgra[i * 4 + 2];
    rgb[i * 3 + 1] = bgra[i * 4 + 1];
    rgb[i * 3 + 2] = bgra[i * 4];
  }
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  if (!WritePng(path, width, height, rgb)) Fail("cannot write " + path);
}

// ---------------------------------------------------------------------------------------------------------
// The editor's side of the callback protocol

struct Record {  // four 32-bit fields, as the editor hands them over
  uint32_t reason;
  const char* request;
  uint8_t* buffer;
  uint32_t size;
};
static_assert(sizeof(Record) == 16, "the record is four 32-bit fields");

const char* const kInstallRequest = "<request>\n   <installdirectory />\n</request>";
const char* const kSceneAllRequest =
    "<request>\n   <materials subset=\"all\" retrieveID=\"false\" />\n"
    "   <primitives subset=\"all\" retrieveID=\"false\" />\n</request>";
const char* const kSceneSelectionRequest =
    "<request>\n   <materials subset=\"all\" retrieveID=\"false\" />\n"
    "   <primitives subset=\"selection\" retrieveID=\"false\" />\n</request>";

uint32_t __stdcall Callback(Record* record) {
  std::string which;
  const std::string* answer = nullptr;
  if (std::strcmp(record->request, kInstallRequest) == 0) {
    which = "install";
    answer = &g_installAnswer;
  } else if (std::strcmp(record->request, kSceneAllRequest) == 0) {
    which = "scene-all";
    answer = &g_sceneAnswer;
  } else if (std::strcmp(record->request, kSceneSelectionRequest) == 0) {
    which = "scene-selection";
    answer = &g_sceneAnswer;
  } else {
    Fail("unknown request " + Escaped(record->request));
    return 7;
  }
  if (GetCurrentThreadId() != g_mainThread) Fail("callback called from another thread");
  const char* reason = record->reason == 0 ? "GetMem" : record->reason == 1 ? "GetData" : "?";
  Log(std::string("request ") + reason + " " + which);

  const std::string step = which == "install"    ? "install"
                           : record->reason == 0 ? "scene-getmem"
                                                 : "scene-getdata";
  if (g_options.errorCode != 0 && g_options.errorAt == step) return g_options.errorCode;

  if (record->reason == 0) {
    if (record->size != 0) Fail("GetMem record arrived with size " + std::to_string(record->size));
    record->size = static_cast<uint32_t>(answer->size() + 1);
    return 0;
  }
  if (record->reason != 1) return 98;
  if (record->buffer == nullptr || record->size != answer->size() + 1) {
    Fail("GetData with a buffer that does not match GetMem");
    return 4;
  }
  if (which != "install" && !g_options.progressShot.empty()) {
    HWND progress = FindWindowA(nullptr, "Converting DeleD scene to DBO.............");
    if (progress == nullptr) {
      Fail("no progress window during the scene request");
    } else {
      Screenshot(progress, g_options.progressShot);
      char text[256] = "";
      GetDlgItemTextA(progress, IDC_PROGRESS_TEXT, text, sizeof text);
      PBRANGE range = {};
      SendDlgItemMessageA(progress, IDC_PROGRESS_BAR, PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
      const LRESULT position = SendDlgItemMessageA(progress, IDC_PROGRESS_BAR, PBM_GETPOS, 0, 0);
      Log(std::string("progress ") + text + " bar " + std::to_string(position) + " of " +
          std::to_string(range.iLow) + ".." + std::to_string(range.iHigh));
    }
  }
  std::memcpy(record->buffer, answer->c_str(), answer->size() + 1);
  return 0;
}

// ---------------------------------------------------------------------------------------------------------
// The user: finds the windows of the plug-in's thread and answers them

// A window's text without sending it a message, so that a busy plug-in thread cannot block the user.
std::string WindowText(HWND window) {
  wchar_t wide[1024] = L"";
  InternalGetWindowText(window, wide, 1024);
  char text[2048] = "";
  WideCharToMultiByte(CP_ACP, 0, wide, -1, text, sizeof text, nullptr, nullptr);
  return text;
}

std::string ClassOf(HWND window) {
  char name[256] = "";
  GetClassNameA(window, name, sizeof name);
  return name;
}

BOOL CALLBACK CollectWindow(HWND window, LPARAM list) {
  if (IsWindowVisible(window)) reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
  return TRUE;
}

std::vector<HWND> TopWindows() {
  std::vector<HWND> windows;
  EnumThreadWindows(g_mainThread, CollectWindow, reinterpret_cast<LPARAM>(&windows));
  return windows;
}

// Clicks a check box or radio button and waits until the dialog has handled it.
void Click(HWND dialog, int id) {
  SendMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}
// Presses a push button without waiting: what it starts may show a modal window (the overwrite prompt)
// that this thread must then answer.
void Press(HWND dialog, int id) {
  PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}
bool Checked(HWND dialog, int id) {
  return SendDlgItemMessageA(dialog, id, BM_GETCHECK, 0, 0) == BST_CHECKED;
}
bool Enabled(HWND dialog, int id) {
  return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE;
}
void SetText(HWND dialog, int id, const std::string& text) {
  SendDlgItemMessageA(dialog, id, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}
std::string Text(HWND dialog, int id) {
  char text[512] = "";
  SendDlgItemMessageA(dialog, id, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
  return text;
}

void Expect(bool condition, const std::string& what, bool& ok) {
  if (condition) return;
  ok = false;
  Fail(what);
}

// The start state and the enabling rules, on the live controls.
void CheckOptionsDialog(HWND dialog) {
  bool ok = true;
  Expect(Checked(dialog, IDC_ALL_OBJECTS) && !Checked(dialog, IDC_SELECTED_OBJECTS), "All Objects checked",
         ok);
  Expect(Checked(dialog, IDC_EXPORT_TEXTURES), "Export All Needed Textures checked", ok);
  Expect(!Checked(dialog, IDC_EXPORT_COLLISION), "Export Collision Data unchecked", ok);
  Expect(Checked(dialog, IDC_ONE_BIG_OBJECT) && !Checked(dialog, IDC_PER_OBJECT), "One Big Object checked",
         ok);
  Expect(Enabled(dialog, IDC_TEXTURE_FOLDER), "folder edit enabled at start", ok);
  Expect(!Enabled(dialog, IDC_COLLISION_FILE), "collision file edit disabled at start", ok);
  Expect(!Enabled(dialog, IDC_ONE_BIG_OBJECT) && !Enabled(dialog, IDC_PER_OBJECT), "mesh radios disabled",
         ok);
  Expect(Text(dialog, IDC_SCENE_NAME) == "DeleDExported", "scene name text", ok);
  Expect(Text(dialog, IDC_SCALE_X) == "1.0" && Text(dialog, IDC_SCALE_Y) == "1.0" &&
             Text(dialog, IDC_SCALE_Z) == "1.0",
         "scale texts", ok);
  Expect(Text(dialog, IDC_TEXTURE_FOLDER) == "Media", "folder text", ok);
  Expect(Text(dialog, IDC_COLLISION_FILE) == "collision.dbo", "collision file text", ok);
  Expect(Text(dialog, IDC_HEADER_TEXT) ==
             "Tessaline Plugin for DeleD\nVersion: 2.0\r\nAuthor: Quorvin\nInfo: quorvin@tessaline.example",
         "header text", ok);
  Expect(WindowText(dialog) == "Tessaline by Quorvin Vers. 2.0", "caption", ok);
  Log(ok ? "options start ok" : "options start wrong");

  ok = true;
  Click(dialog, IDC_EXPORT_TEXTURES);
  Expect(!Checked(dialog, IDC_EXPORT_TEXTURES) && !Enabled(dialog, IDC_TEXTURE_FOLDER),
         "unchecking textures disables the folder edit", ok);
  Click(dialog, IDC_EXPORT_TEXTURES);
  Expect(Checked(dialog, IDC_EXPORT_TEXTURES) && Enabled(dialog, IDC_TEXTURE_FOLDER),
         "checking textures enables the folder edit", ok);
  Click(dialog, IDC_EXPORT_COLLISION);
  Expect(Enabled(dialog, IDC_COLLISION_FILE) && Enabled(dialog, IDC_ONE_BIG_OBJECT) &&
             Enabled(dialog, IDC_PER_OBJECT),
         "checking collision enables its three controls", ok);
  Click(dialog, IDC_PER_OBJECT);
  Expect(Checked(dialog, IDC_PER_OBJECT) && !Checked(dialog, IDC_ONE_BIG_OBJECT),
         "the mesh radios form a group", ok);
  Expect(Checked(dialog, IDC_ALL_OBJECTS), "the object radios are a group of their own", ok);
  Click(dialog, IDC_ONE_BIG_OBJECT);
  Click(dialog, IDC_EXPORT_COLLISION);
  Expect(!Enabled(dialog, IDC_COLLISION_FILE) && !Enabled(dialog, IDC_ONE_BIG_OBJECT) &&
             !Enabled(dialog, IDC_PER_OBJECT),
         "unchecking collision disables its three controls", ok);
  Click(dialog, IDC_SELECTED_OBJECTS);
  Expect(Checked(dialog, IDC_SELECTED_OBJECTS) && !Checked(dialog, IDC_ALL_OBJECTS), "Selected Objects radio",
         ok);
  Click(dialog, IDC_ALL_OBJECTS);
  Log(ok ? "options enabling ok" : "options enabling wrong");
}

void AnswerOptions(HWND dialog) {
  if (g_options.checkEnabling) CheckOptionsDialog(dialog);
  const Options& o = g_options;
  if (o.selected) Click(dialog, IDC_SELECTED_OBJECTS);
  if (o.setSceneName) SetText(dialog, IDC_SCENE_NAME, o.sceneName);
  if (o.setScale) {
    SetText(dialog, IDC_SCALE_X, o.scale[0]);
    SetText(dialog, IDC_SCALE_Y, o.scale[1]);
    SetText(dialog, IDC_SCALE_Z, o.scale[2]);
  }
  if (o.noTextures) Click(dialog, IDC_EXPORT_TEXTURES);
  if (o.setTextureFolder) SetText(dialog, IDC_TEXTURE_FOLDER, o.textureFolder);
  if (!o.collision.empty()) {
    Click(dialog, IDC_EXPORT_COLLISION);
    Click(dialog, o.collision == "one" ? IDC_ONE_BIG_OBJECT : IDC_PER_OBJECT);
  }
  if (o.setCollisionFile) SetText(dialog, IDC_COLLISION_FILE, o.collisionFile);
  if (!o.optionsShot.empty()) Screenshot(dialog, o.optionsShot);
  Log(o.cancel ? "options cancel" : "options ok");
  Press(dialog, o.cancel ? IDCANCEL : IDOK);
}

// The save dialog's file name box: the combo box of the newer dialog, or the edit of the older one.
HWND FileNameBox(HWND dialog) {
  for (int id : {0x47c, 0x480}) {
    HWND box = GetDlgItem(dialog, id);
    if (box != nullptr && IsWindowVisible(box)) return box;
  }
  return nullptr;
}

// Types the path and presses Save. A dialog that is still busy starting may not take it: the user then
// tries again (without a second transcript line).
void AnswerSaveDialog(HWND dialog, bool first) {
  if (first) Log("save " + Escaped(g_options.output));
  HWND box = FileNameBox(dialog);
  if (box == nullptr) {
    Fail("no file name box in the save dialog");
    PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    return;
  }
  SendMessageA(box, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(g_options.output.c_str()));
  char typed[512] = "";
  SendMessageA(box, WM_GETTEXT, sizeof typed, reinterpret_cast<LPARAM>(typed));
  if (g_options.output != typed) Fail("the save dialog's file name box did not take the path");
  Press(dialog, IDOK);
}

void AnswerMessageBox(HWND box) {
  std::string text;
  HWND item = GetDlgItem(box, 0xFFFF);
  if (item != nullptr) text = WindowText(item);
  std::string icon = "none";
  HICON shown = reinterpret_cast<HICON>(SendDlgItemMessageA(box, 0x0440, STM_GETICON, 0, 0));
  if (shown != nullptr) {
    if (shown == LoadIconA(nullptr, IDI_INFORMATION)) icon = "information";
    if (shown == LoadIconA(nullptr, IDI_WARNING)) icon = "warning";
    if (shown == LoadIconA(nullptr, IDI_ERROR)) icon = "error";
  }
  Log("box " + Escaped(WindowText(box)) + "|" + Escaped(text) + "|" + icon);
  // A question (the save dialog's overwrite prompt) is answered yes.
  PostMessageA(box, WM_COMMAND, GetDlgItem(box, IDYES) != nullptr ? IDYES : IDOK, 0);
}

DWORD WINAPI User(LPVOID) {
  std::set<HWND> answered;
  DWORD lastEvent = GetTickCount();
  int optionsSeen = 0;
  HWND saveDialog = nullptr;
  DWORD savedAt = 0;
  while (InterlockedCompareExchange(&g_executeDone, 0, 0) == 0) {
    // A save dialog that a prompt has disabled is waiting for that prompt, not for the user.
    if (saveDialog != nullptr && IsWindow(saveDialog) && IsWindowVisible(saveDialog) &&
        IsWindowEnabled(saveDialog) && GetTickCount() - savedAt > 3000) {
      savedAt = GetTickCount();
      AnswerSaveDialog(saveDialog, false);
    }
    for (HWND window : TopWindows()) {
      if (answered.count(window) != 0) continue;
      const std::string caption = WindowText(window);
      if (caption == "Converting DeleD scene to DBO.............") continue;
      answered.insert(window);
      lastEvent = GetTickCount();
      Sleep(100);                                                   // let the window finish its start
      if (!IsWindow(window) || !IsWindowVisible(window)) continue;  // a passing window of the system's
      if (caption == "Tessaline by Quorvin Vers. 2.0") {
        if (++optionsSeen > 1) Fail("options dialog shown twice");
        AnswerOptions(window);
      } else if (caption == "Select a DBO file to export DeleD current scene" &&
                 FileNameBox(window) != nullptr) {
        saveDialog = window;
        savedAt = GetTickCount();
        AnswerSaveDialog(window, true);
      } else if (ClassOf(window) == "#32770" && GetDlgItem(window, 0xFFFF) != nullptr) {
        AnswerMessageBox(window);
      } else {
        Fail("unexpected window '" + Escaped(caption) + "' of class " + ClassOf(window));
        PostMessageA(window, WM_CLOSE, 0, 0);
      }
    }
    if (GetTickCount() - lastEvent > 60000) {
      Fail("nothing happened for a minute; giving up");
      std::fflush(stdout);
      TerminateProcess(GetCurrentProcess(), 2);
    }
    Sleep(50);
  }
  return 0;
}

// Ends a run that hangs (in the plug-in, or a user blocked on one of its windows).
DWORD WINAPI Watchdog(LPVOID) {
  while (InterlockedCompareExchange(&g_executeDone, 0, 0) == 0) {
    if (GetTickCount() - g_startTicks > g_options.timeLimitSeconds * 1000) {
      Fail("the export has not ended after " + std::to_string(g_options.timeLimitSeconds) + " s; giving up");
      std::fflush(stdout);
      TerminateProcess(GetCurrentProcess(), 2);
    }
    Sleep(200);
  }
  return 0;
}

// ---------------------------------------------------------------------------------------------------------
// The descriptive exports

using TextExport = const char*(__stdcall*)();
using SetCallbackExport = void(__stdcall*)(uint32_t(__stdcall*)(Record*));
using ExecuteExport = void(__stdcall*)();

// GetProcAddress hands out a generic function pointer; the export's real type is known here.
template <typename Function>
Function As(FARPROC address) {
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(address));
}

struct Exports {
  TextExport text[6] = {};
  FARPROC setCallback = nullptr;
  FARPROC execute = nullptr;
};

const char* const kTextNames[6] = {"PluginName",    "PluginDescription", "PluginDeleDVersion",
                                   "PluginVersion", "PluginAuthor",      "PluginEmail"};
const char* const kTexts[6] = {
    "DeleD Tessaline Plugin",
    "This is Tessaline plugin that exports a DBO file to be used with DarkBasic Pro.",
    "1.6",
    "2.0",
    "Quorvin",
    "quorvin@tessaline.example"};

FARPROC Both(HMODULE module, const std::string& name, int argumentBytes) {
  FARPROC plain = GetProcAddress(module, name.c_str());
  const std::string decorated = "_" + name + "@" + std::to_string(argumentBytes);
  FARPROC other = GetProcAddress(module, decorated.c_str());
  if (plain == nullptr || other == nullptr) {
    Fail("missing export " + name + " or " + decorated);
    return nullptr;
  }
  if (plain != other) Fail(name + " and " + decorated + " are different functions");
  return plain;
}

// Every text export returns the same text at the same address on every call.
void CheckTexts(const Exports& exports, const char* const (&seen)[6], const char* when) {
  for (int i = 0; i < 6; ++i) {
    if (exports.text[i] == nullptr) continue;
    for (int call = 0; call < 2; ++call) {
      const char* text = exports.text[i]();
      if (text != seen[i]) Fail(std::string(kTextNames[i]) + " returned another pointer " + when);
      if (text == nullptr || std::strcmp(text, kTexts[i]) != 0)
        Fail(std::string(kTextNames[i]) + " text " + when);
    }
  }
}

// ---------------------------------------------------------------------------------------------------------

// The version resource as Windows reads it.
void CheckVersion() {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA("Tessaline.dll", &ignored);
  std::vector<char> data(size);
  if (size == 0 || !GetFileVersionInfoA("Tessaline.dll", 0, size, data.data())) {
    Fail("no version resource");
    return;
  }
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (!VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&fixed), &length) ||
      fixed->dwFileVersionMS != 0x00020000 || fixed->dwFileVersionLS != 0 ||
      fixed->dwProductVersionMS != 0x00020000 || fixed->dwProductVersionLS != 0) {
    Fail("file and product version are not 2.0.0.0");
  }
  const char* const fields[][2] = {{"FileVersion", "2.0.0.0"},       {"ProductVersion", "2.0.0.0"},
                                   {"FileDescription", "Tessaline"}, {"InternalName", "Tessaline"},
                                   {"ProductName", "Tessaline"},     {"OriginalFilename", "Tessaline.dll"}};
  for (const auto& field : fields) {
    const std::string key = std::string("\\StringFileInfo\\040904B0\\") + field[0];
    char* value = nullptr;
    if (!VerQueryValueA(data.data(), key.c_str(), reinterpret_cast<void**>(&value), &length) ||
        std::strcmp(value, field[1]) != 0) {
      Fail(std::string("version field ") + field[0]);
    }
  }
}

// Read straight into the answer, so that a large scene is held once, as the editor holds it.
bool ReadFile(const std::string& path, std::string& content) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) return false;
  content.resize(static_cast<size_t>(in.tellg()));
  in.seekg(0);
  return static_cast<bool>(in.read(content.data(), static_cast<std::streamsize>(content.size())));
}

bool ParseArguments(int argc, char** argv) {
  Options& o = g_options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&](std::string& into) {
      if (i + 1 >= argc) return false;
      into = argv[++i];
      return true;
    };
    bool ok = true;
    if (arg == "--scene") {
      ok = value(o.scene);
    } else if (arg == "--install-dir") {
      ok = value(o.installDir);
    } else if (arg == "--output") {
      ok = value(o.output);
    } else if (arg == "--selected") {
      o.selected = true;
    } else if (arg == "--scene-name") {
      o.setSceneName = ok = value(o.sceneName);
    } else if (arg == "--scale") {
      o.setScale = ok = value(o.scale[0]) && value(o.scale[1]) && value(o.scale[2]);
    } else if (arg == "--no-textures") {
      o.noTextures = true;
    } else if (arg == "--texture-folder") {
      o.setTextureFolder = ok = value(o.textureFolder);
    } else if (arg == "--collision") {
      ok = value(o.collision) && (o.collision == "one" || o.collision == "per-object");
    } else if (arg == "--collision-file") {
      o.setCollisionFile = ok = value(o.collisionFile);
    } else if (arg == "--cancel") {
      o.cancel = true;
    } else if (arg == "--error-code") {
      std::string code;
      ok = value(code);
      o.errorCode = static_cast<uint32_t>(std::strtoul(code.c_str(), nullptr, 10));
    } else if (arg == "--error-at") {
      ok = value(o.errorAt);
    } else if (arg == "--lock-output") {
      o.lockOutput = true;
    } else if (arg == "--check-enabling") {
      o.checkEnabling = true;
    } else if (arg == "--options-shot") {
      ok = value(o.optionsShot);
    } else if (arg == "--progress-shot") {
      ok = value(o.progressShot);
    } else if (arg == "--time-limit") {
      std::string seconds;
      ok = value(seconds);
      o.timeLimitSeconds = static_cast<DWORD>(std::strtoul(seconds.c_str(), nullptr, 10));
    } else if (arg == "--memory-report") {
      o.memoryReport = true;
    } else {
      ok = false;
    }
    if (!ok) {
      std::fprintf(stderr, "tessaline_host: bad argument %s\n", arg.c_str());
      return false;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  g_startTicks = GetTickCount();
  InitializeCriticalSection(&g_lock);
  if (!ParseArguments(argc, argv)) return 2;
  if (!ReadFile(g_options.scene, g_sceneAnswer)) {
    std::fprintf(stderr, "tessaline_host: cannot read %s\n", g_options.scene.c_str());
    return 2;
  }
  g_installAnswer = "<installdirectory>" + g_options.installDir + "</installdirectory>";
  g_mainThread = GetCurrentThreadId();

  HMODULE module = LoadLibraryA("Tessaline.dll");
  if (module == nullptr) {
    Fail("Tessaline.dll does not load (error " + std::to_string(GetLastError()) + ")");
    return 1;
  }
  Exports exports;
  const char* seen[6] = {};
  for (int i = 0; i < 6; ++i) {
    exports.text[i] = As<TextExport>(Both(module, kTextNames[i], 0));
    if (exports.text[i] != nullptr) seen[i] = exports.text[i]();
  }
  exports.setCallback = Both(module, "PluginSetCallback", 4);
  exports.execute = Both(module, "PluginExecute", 0);
  CheckTexts(exports, seen, "before PluginSetCallback");
  if (exports.setCallback == nullptr || exports.execute == nullptr) return 1;
  As<SetCallbackExport>(exports.setCallback)(Callback);
  CheckTexts(exports, seen, "after PluginSetCallback");
  CheckVersion();
  if (!g_failed) Log("exports ok");

  // Another program holding the previous output open: it can be read, but not replaced or deleted.
  HANDLE locked = INVALID_HANDLE_VALUE;
  if (g_options.lockOutput) {
    locked = CreateFileA(g_options.output.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
    if (locked == INVALID_HANDLE_VALUE) Fail("cannot open the previous output");
  }

  HANDLE user = CreateThread(nullptr, 0, User, nullptr, 0, nullptr);
  HANDLE watchdog = CreateThread(nullptr, 0, Watchdog, nullptr, 0, nullptr);
  CloseHandle(watchdog);
  As<ExecuteExport>(exports.execute)();
  InterlockedExchange(&g_executeDone, 1);
  WaitForSingleObject(user, INFINITE);
  CloseHandle(user);
  if (locked != INVALID_HANDLE_VALUE) CloseHandle(locked);
  CheckTexts(exports, seen, "after PluginExecute");
  Log("done");
  if (g_options.memoryReport) {
    // What runs out in the editor is its 2 GB of address space: the peak of committed private memory.
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    if (GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) {
      std::fprintf(stderr, "peak virtual size: %lu bytes\n",
                   static_cast<unsigned long>(counters.PeakPagefileUsage));
    }
  }
  FreeLibrary(module);
  return g_failed ? 1 : 0;
}
