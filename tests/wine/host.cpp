// A substitute for the editor: loads Tessaline.dll by its name from its own folder, checks its exports and
// version resource, answers the plug-in's requests from a scene file as the editor does, and drives the
// real dialogs from a second thread as a user would. Every event is one transcript line on stdout:
//
//   exports ok | request GetMem install (or GetData; install, scene-all, scene-selection)
//   options checked   (only with --check-dialog) | options ok | options cancel
//   progress <stage text> bar <position> of <low>..<high>   (only with --check-progress)
//   save Z:\...\level.dbo | box <caption>|<text>|<icon> | done
//
// Usage: tessaline_host.exe --scene FILE --install-dir DIR --output PATH [choices] [test controls]
//   choices: the tessaline command's flags for the options dialog (see ParseArguments)
//   test controls: --cancel, --error-code N --error-at REQUEST (answer that request line with the error
//     code instead, e.g. "GetMem install" or "GetData scene-all"), --check-dialog,
//     --check-progress, --lock-output (hold the existing output open, sharing it for reading only),
//     --time-limit SECONDS (default 120), --memory-report (the peak virtual size on stderr)
// Exit status: 0 when every check passed (the caller then compares the transcript), 1 otherwise, 2 on a
// bad argument.

#include <windows.h>

#include <commctrl.h>
#include <psapi.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "resources/resource.h"

namespace {

struct Run {
  // The flags with their defaults; a switch is "off" until given, and takes no value.
  std::map<std::string, std::string> values = {
      {"--scene", ""},          {"--install-dir", ""},     {"--output", ""},
      {"--error-code", "0"},    {"--error-at", ""},        {"--time-limit", "120"},
      {"--cancel", "off"},      {"--check-dialog", "off"}, {"--check-progress", "off"},
      {"--lock-output", "off"}, {"--memory-report", "off"}};
  std::vector<std::pair<int, const char*>> choices;  // a control and the text typed into it, or null: a click
  std::string sceneAnswer, installAnswer;
  DWORD mainThread = 0, startTicks = 0;
  volatile LONG executeDone = 0;
  bool failed = false;
  CRITICAL_SECTION lock;
} g;

const char* const kOptionsCaption = "Tessaline by Quorvin Vers. 2.0";
const char* const kProgressCaption = "Converting DeleD scene to DBO.............";
const char* const kSaveCaption = "Select a DBO file to export DeleD current scene";

void Log(const std::string& line) {
  EnterCriticalSection(&g.lock);
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
  LeaveCriticalSection(&g.lock);
}

void Fail(const std::string& what) {
  g.failed = true;
  Log("FAIL " + what);
}

std::string Escaped(const std::string& text) {
  std::string out;
  for (char c : text)
    out += c == '\n' ? "\\n" : c == '\r' ? "\\r" : std::string(1, c);
  return out;
}

const std::string& Value(const char* flag) {
  return g.values.at(flag);
}
bool Switch(const char* flag) {
  return g.values.at(flag) == "on";
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

const std::pair<const char*, const char*> kRequests[] = {
    {"install", "<request>\n   <installdirectory />\n</request>"},
    {"scene-all",
     "<request>\n   <materials subset=\"all\" retrieveID=\"false\" />\n"
     "   <primitives subset=\"all\" retrieveID=\"false\" />\n</request>"},
    {"scene-selection",
     "<request>\n   <materials subset=\"all\" retrieveID=\"false\" />\n"
     "   <primitives subset=\"selection\" retrieveID=\"false\" />\n</request>"},
};

// The progress window's text and bar while the scene is asked for.
void LogProgress() {
  HWND progress = FindWindowA(nullptr, kProgressCaption);
  if (progress == nullptr) return Fail("no progress window during the scene request");
  char text[256] = "";
  GetDlgItemTextA(progress, IDC_PROGRESS_TEXT, text, sizeof text);
  PBRANGE range = {};
  SendDlgItemMessageA(progress, IDC_PROGRESS_BAR, PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
  const LRESULT position = SendDlgItemMessageA(progress, IDC_PROGRESS_BAR, PBM_GETPOS, 0, 0);
  Log(std::string("progress ") + text + " bar " + std::to_string(position) + " of " +
      std::to_string(range.iLow) + ".." + std::to_string(range.iHigh));
}

uint32_t __stdcall Callback(Record* record) {
  const auto* known = std::find_if(std::begin(kRequests), std::end(kRequests), [&](const auto& r) {
    return std::strcmp(record->request, r.second) == 0;
  });
  if (known == std::end(kRequests)) {
    Fail("unknown request " + Escaped(record->request));
    return 7;
  }
  const std::string& answer = known->first == std::string("install") ? g.installAnswer : g.sceneAnswer;
  if (GetCurrentThreadId() != g.mainThread) Fail("callback called from another thread");
  const std::string call = (record->reason == 0 ? "GetMem " : "GetData ") + std::string(known->first);
  Log("request " + call);
  if (Value("--error-at") == call) return static_cast<uint32_t>(std::stoul(Value("--error-code")));
  if (record->reason == 0) {
    if (record->size != 0) Fail("GetMem record arrived with size " + std::to_string(record->size));
    record->size = static_cast<uint32_t>(answer.size() + 1);
    return 0;
  }
  if (record->reason != 1) return 98;
  if (record->buffer == nullptr || record->size != answer.size() + 1) {
    Fail("GetData with a buffer that does not match GetMem");
    return 4;
  }
  if (&answer == &g.sceneAnswer && Switch("--check-progress")) LogProgress();
  std::memcpy(record->buffer, answer.c_str(), answer.size() + 1);
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

// Presses a button without waiting: what it starts may show a modal window (the overwrite prompt) that
// this thread must then answer.
void Press(HWND dialog, int id) {
  PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

std::string Text(HWND dialog, int id) {
  char text[512] = "";
  GetDlgItemTextA(dialog, id, text, sizeof text);
  return text;
}

// Clicks a check box or radio button (waiting until the dialog has handled it), or types a text.
void Apply(HWND dialog, int id, const char* text) {
  if (text == nullptr) SendMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
  if (text != nullptr) SetDlgItemTextA(dialog, id, text);
}

// The controls the enabling rules govern: each name, "*" after it when checked, "~" before it when disabled.
std::string State(HWND dialog) {
  const std::pair<int, const char*> controls[] = {
      {IDC_ALL_OBJECTS, "All"},       {IDC_SELECTED_OBJECTS, "Selected"},  {IDC_EXPORT_TEXTURES, "Textures"},
      {IDC_TEXTURE_FOLDER, "Folder"}, {IDC_EXPORT_COLLISION, "Collision"}, {IDC_COLLISION_FILE, "File"},
      {IDC_ONE_BIG_OBJECT, "One"},    {IDC_PER_OBJECT, "PerObject"}};
  std::string state;
  for (const auto& [id, name] : controls) {
    const bool checked = SendDlgItemMessageA(dialog, id, BM_GETCHECK, 0, 0) == BST_CHECKED;
    state += std::string(state.empty() ? "" : " ") + (IsWindowEnabled(GetDlgItem(dialog, id)) ? "" : "~") +
             name + (checked ? "*" : "");
  }
  return state;
}

// The start state and texts, then the enabling rules as clicks on the live controls and the state each
// leaves, ending where it started.
void CheckOptionsDialog(HWND dialog) {
  const std::pair<int, const char*> texts[] = {{IDC_SCENE_NAME, "DeleDExported"},
                                               {IDC_SCALE_X, "1.0"},
                                               {IDC_SCALE_Y, "1.0"},
                                               {IDC_SCALE_Z, "1.0"},
                                               {IDC_TEXTURE_FOLDER, "Media"},
                                               {IDC_COLLISION_FILE, "collision.dbo"}};
  auto expect = [](const std::string& found, const std::string& expected) {
    if (found != expected) Fail("dialog shows '" + Escaped(found) + "', not '" + Escaped(expected) + "'");
  };
  const char* const start = "All* Selected Textures* Folder Collision ~File ~One* ~PerObject";
  expect(State(dialog), start);
  for (const auto& [id, text] : texts)
    expect(Text(dialog, id), text);
  expect(Text(dialog, IDC_HEADER_TEXT),
         "Tessaline Plugin for DeleD\nVersion: 2.0\r\nAuthor: Quorvin\nInfo: quorvin@tessaline.example");
  const std::pair<int, const char*> clicks[] = {
      {IDC_EXPORT_TEXTURES, "All* Selected Textures ~Folder Collision ~File ~One* ~PerObject"},
      {IDC_EXPORT_TEXTURES, "All* Selected Textures* Folder Collision ~File ~One* ~PerObject"},
      {IDC_EXPORT_COLLISION, "All* Selected Textures* Folder Collision* File One* PerObject"},
      {IDC_PER_OBJECT, "All* Selected Textures* Folder Collision* File One PerObject*"},
      {IDC_ONE_BIG_OBJECT, "All* Selected Textures* Folder Collision* File One* PerObject"},
      {IDC_EXPORT_COLLISION, "All* Selected Textures* Folder Collision ~File ~One* ~PerObject"},
      {IDC_SELECTED_OBJECTS, "All Selected* Textures* Folder Collision ~File ~One* ~PerObject"},
      {IDC_ALL_OBJECTS, start}};
  for (const auto& [id, state] : clicks) {
    Apply(dialog, id, nullptr);
    expect(State(dialog), state);
  }
  Log("options checked");
}

void AnswerOptions(HWND dialog) {
  if (Switch("--check-dialog")) CheckOptionsDialog(dialog);
  for (const auto& [id, text] : g.choices)
    Apply(dialog, id, text);
  Log(Switch("--cancel") ? "options cancel" : "options ok");
  Press(dialog, Switch("--cancel") ? IDCANCEL : IDOK);
}

// The save dialog's file name box: the combo box of the explorer-style dialog that the plug-in opens.
HWND FileNameBox(HWND dialog) {
  HWND box = GetDlgItem(dialog, 0x47c);
  return IsWindowVisible(box) ? box : nullptr;
}

// Types the path and presses Save. A dialog still busy starting may not take it: the user then tries again
// (without a second transcript line).
void AnswerSaveDialog(HWND dialog, bool first) {
  if (first) Log("save " + Escaped(Value("--output")));
  HWND box = FileNameBox(dialog);
  if (box == nullptr) return;  // the dialog is closing
  SendMessageA(box, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(Value("--output").c_str()));
  Press(dialog, IDOK);
}

void AnswerMessageBox(HWND box) {
  std::string icon = "none";
  HICON shown = reinterpret_cast<HICON>(SendDlgItemMessageA(box, 0x0440, STM_GETICON, 0, 0));
  for (auto [id, name] :
       {std::pair{IDI_INFORMATION, "information"}, {IDI_WARNING, "warning"}, {IDI_ERROR, "error"}})
    if (shown != nullptr && shown == LoadIconA(nullptr, id)) icon = name;
  Log("box " + Escaped(WindowText(box)) + "|" + Escaped(WindowText(GetDlgItem(box, 0xFFFF))) + "|" + icon);
  // A question (the save dialog's overwrite prompt) is answered yes.
  PostMessageA(box, WM_COMMAND, GetDlgItem(box, IDYES) != nullptr ? IDYES : IDOK, 0);
}

BOOL CALLBACK CollectWindow(HWND window, LPARAM list) {
  if (IsWindowVisible(window)) reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
  return TRUE;
}

void Answer(HWND window, HWND& saveDialog) {
  const std::string caption = WindowText(window);
  if (caption == kOptionsCaption) {
    AnswerOptions(window);
  } else if (caption == kSaveCaption && FileNameBox(window) != nullptr) {
    saveDialog = window;
    AnswerSaveDialog(window, true);
  } else if (GetDlgItem(window, 0xFFFF) != nullptr) {  // a message box's text
    AnswerMessageBox(window);
  } else {
    Fail("unexpected window '" + Escaped(caption) + "'");
    PostMessageA(window, WM_CLOSE, 0, 0);
  }
}

bool ExecuteDone() {
  return InterlockedCompareExchange(&g.executeDone, 0, 0) != 0;
}

DWORD WINAPI User(LPVOID) {
  std::set<HWND> answered;
  DWORD savedAt = 0;
  HWND saveDialog = nullptr;
  while (!ExecuteDone()) {
    // A save dialog that a prompt has disabled is waiting for that prompt, not for the user.
    if (saveDialog != nullptr && IsWindow(saveDialog) && IsWindowVisible(saveDialog) &&
        IsWindowEnabled(saveDialog) && GetTickCount() - savedAt > 3000) {
      savedAt = GetTickCount();
      AnswerSaveDialog(saveDialog, false);
    }
    std::vector<HWND> windows;
    EnumThreadWindows(g.mainThread, CollectWindow, reinterpret_cast<LPARAM>(&windows));
    for (HWND window : windows) {
      if (answered.count(window) != 0 || WindowText(window) == kProgressCaption) continue;
      answered.insert(window);
      Sleep(100);                                                   // let the window finish its start
      if (!IsWindow(window) || !IsWindowVisible(window)) continue;  // a passing window of the system's
      Answer(window, saveDialog);
      if (window == saveDialog) savedAt = GetTickCount();
    }
    Sleep(50);
  }
  return 0;
}

// Ends a run that hangs (in the plug-in, or a user blocked on one of its windows).
DWORD WINAPI Watchdog(LPVOID) {
  for (const DWORD limit = std::stoul(Value("--time-limit")) * 1000; !ExecuteDone(); Sleep(200))
    if (GetTickCount() - g.startTicks > limit) {
      Fail("the export has not ended after " + Value("--time-limit") + " s; giving up");
      TerminateProcess(GetCurrentProcess(), 2);
    }
  return 0;
}

// ---------------------------------------------------------------------------------------------------------
// The plug-in's exports and version resource

using TextExport = const char*(__stdcall*)();

// GetProcAddress hands out a generic function pointer; the export's real type is known here.
template <typename Function>
Function Export(HMODULE module, const std::string& name, int argumentBytes) {
  FARPROC plain = GetProcAddress(module, name.c_str());
  const std::string decorated = "_" + name + "@" + std::to_string(argumentBytes);
  FARPROC other = GetProcAddress(module, decorated.c_str());
  if (plain == nullptr || other == nullptr) Fail("missing export " + name + " or " + decorated);
  if (plain != other) Fail(name + " and " + decorated + " are different functions");
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(plain));
}

const std::pair<const char*, const char*> kTexts[] = {
    {"PluginName", "DeleD Tessaline Plugin"},
    {"PluginDescription", "This is Tessaline plugin that exports a DBO file to be used with DarkBasic Pro."},
    {"PluginDeleDVersion", "1.6"},
    {"PluginVersion", "2.0"},
    {"PluginAuthor", "Quorvin"},
    {"PluginEmail", "quorvin@tessaline.example"}};

// Every text export returns its text.
void CheckTexts(HMODULE module) {
  for (const auto& [name, expected] : kTexts) {
    const auto text = Export<TextExport>(module, name, 0);
    if (text != nullptr && std::strcmp(text(), expected) != 0) Fail(std::string(name) + " text");
  }
}

const std::pair<const char*, const char*> kVersionFields[] = {
    {"FileVersion", "2.0.0.0"},    {"ProductVersion", "2.0.0.0"}, {"FileDescription", "Tessaline"},
    {"InternalName", "Tessaline"}, {"ProductName", "Tessaline"},  {"OriginalFilename", "Tessaline.dll"}};

// The version resource as Windows reads it.
void CheckVersion() {
  DWORD ignored = 0;
  std::vector<char> data(GetFileVersionInfoSizeA("Tessaline.dll", &ignored));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (data.empty() || !GetFileVersionInfoA("Tessaline.dll", 0, data.size(), data.data()) ||
      !VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&fixed), &length))
    return Fail("no version resource");
  if (fixed->dwFileVersionMS != 0x00020000 || fixed->dwFileVersionLS != 0 ||
      fixed->dwProductVersionMS != 0x00020000 || fixed->dwProductVersionLS != 0)
    Fail("file and product version are not 2.0.0.0");
  for (const auto& [field, expected] : kVersionFields) {
    char* value = nullptr;
    const std::string key = std::string("\\StringFileInfo\\040904B0\\") + field;
    if (!VerQueryValueA(data.data(), key.c_str(), reinterpret_cast<void**>(&value), &length) ||
        std::strcmp(value, expected) != 0)
      Fail(std::string("version field ") + field);
  }
}

// ---------------------------------------------------------------------------------------------------------

bool ParseArguments(int argc, char** argv) {
  // The command's flags for the dialog's choices: the buttons each clicks, or the edits its values go into.
  const std::map<std::string, std::pair<std::vector<int>, std::vector<int>>> choices = {
      {"--selected", {{IDC_SELECTED_OBJECTS}, {}}},
      {"--no-textures", {{IDC_EXPORT_TEXTURES}, {}}},
      {"--collision one", {{IDC_EXPORT_COLLISION, IDC_ONE_BIG_OBJECT}, {}}},
      {"--collision per-object", {{IDC_EXPORT_COLLISION, IDC_PER_OBJECT}, {}}},
      {"--scene-name", {{}, {IDC_SCENE_NAME}}},
      {"--scale", {{}, {IDC_SCALE_X, IDC_SCALE_Y, IDC_SCALE_Z}}},
      {"--texture-folder", {{}, {IDC_TEXTURE_FOLDER}}},
      {"--collision-file", {{}, {IDC_COLLISION_FILE}}}};
  for (int i = 1; i < argc; ++i) {
    std::string flag = argv[i];
    if (flag == "--collision" && i + 1 < argc) flag += std::string(" ") + argv[++i];
    const auto choice = choices.find(flag);
    const auto value = g.values.find(flag);
    if (choice != choices.end() && i + choice->second.second.size() < static_cast<size_t>(argc)) {
      for (int id : choice->second.first)
        g.choices.emplace_back(id, nullptr);
      for (int id : choice->second.second)
        g.choices.emplace_back(id, argv[++i]);
    } else if (value != g.values.end() && (value->second == "off" || i + 1 < argc)) {
      value->second = value->second == "off" ? "on" : argv[++i];
    } else {
      std::fprintf(stderr, "tessaline_host: bad argument %s\n", flag.c_str());
      return false;
    }
  }
  return true;
}

// Read straight into the answer, so that a large scene is held once, as the editor holds it.
bool ReadScene() {
  std::ifstream in(Value("--scene"), std::ios::binary | std::ios::ate);
  if (!in) return false;
  g.sceneAnswer.resize(static_cast<size_t>(in.tellg()));
  in.seekg(0);
  return static_cast<bool>(in.read(g.sceneAnswer.data(), static_cast<std::streamsize>(g.sceneAnswer.size())));
}

}  // namespace

int main(int argc, char** argv) {
  g.startTicks = GetTickCount();
  InitializeCriticalSection(&g.lock);
  if (!ParseArguments(argc, argv)) return 2;
  if (!ReadScene()) {
    std::fprintf(stderr, "tessaline_host: cannot read %s\n", Value("--scene").c_str());
    return 2;
  }
  g.installAnswer = "<installdirectory>" + Value("--install-dir") + "</installdirectory>";
  g.mainThread = GetCurrentThreadId();

  HMODULE module = LoadLibraryA("Tessaline.dll");
  if (module == nullptr) {
    Fail("Tessaline.dll does not load (error " + std::to_string(GetLastError()) + ")");
    return 1;
  }
  auto setCallback = Export<void(__stdcall*)(uint32_t(__stdcall*)(Record*))>(module, "PluginSetCallback", 4);
  auto execute = Export<void(__stdcall*)()>(module, "PluginExecute", 0);
  if (setCallback == nullptr || execute == nullptr) return 1;
  setCallback(Callback);
  CheckTexts(module);
  CheckVersion();
  if (!g.failed) Log("exports ok");

  // Another program holding the previous output open: it can be read, but not replaced or deleted.
  HANDLE locked = INVALID_HANDLE_VALUE;
  if (Switch("--lock-output")) {
    locked = CreateFileA(Value("--output").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
    if (locked == INVALID_HANDLE_VALUE) Fail("cannot open the previous output");
  }
  HANDLE user = CreateThread(nullptr, 0, User, nullptr, 0, nullptr);
  CloseHandle(CreateThread(nullptr, 0, Watchdog, nullptr, 0, nullptr));
  execute();
  InterlockedExchange(&g.executeDone, 1);
  WaitForSingleObject(user, INFINITE);
  CloseHandle(user);
  if (locked != INVALID_HANDLE_VALUE) CloseHandle(locked);
  Log("done");
  // What runs out in the editor is its 2 GB of address space: the peak of committed private memory.
  PROCESS_MEMORY_COUNTERS counters = {};
  counters.cb = sizeof counters;
  if (Switch("--memory-report") && GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters))
    std::fprintf(stderr, "peak virtual size: %lu bytes\n",
                 static_cast<unsigned long>(counters.PeakPagefileUsage));
  FreeLibrary(module);
  return g.failed ? 1 : 0;
}
