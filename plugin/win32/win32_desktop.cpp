// The Win32 desktop: dialogs from this module's resources, the common save-file dialog and message boxes;
// its file operations are those of Win32FileSystem.
#include "plugin/win32/win32_desktop.h"

// clang-format off
#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>
// clang-format on

#include "resources/resource.h"

// windows.h maps this name to its ANSI or Unicode variant; here it is our own member function.
#undef ReplaceFile

namespace tessaline {

namespace {

// The options dialog writes through this pointer from its start message on, and reads edit texts through
// one 256-byte buffer (255 characters and the terminating NUL).
ExportSettings* g_optionsSettings = nullptr;
char g_editText[256];

std::string ReadEdit(HWND dialog, int id) {
  g_editText[0] = '\0';
  GetDlgItemTextA(dialog, id, g_editText, sizeof g_editText);
  return g_editText;
}

bool Checked(HWND dialog, int id) {
  return IsDlgButtonChecked(dialog, id) == BST_CHECKED;
}

void Enable(HWND dialog, int id, bool enabled) {
  EnableWindow(GetDlgItem(dialog, id), enabled ? TRUE : FALSE);
}

void StartOptions(HWND dialog, ExportSettings* settings) {
  CheckDlgButton(dialog, IDC_ALL_OBJECTS, BST_CHECKED);
  CheckDlgButton(dialog, IDC_EXPORT_TEXTURES, BST_CHECKED);
  CheckDlgButton(dialog, IDC_EXPORT_COLLISION, BST_UNCHECKED);
  Enable(dialog, IDC_COLLISION_FILE, false);
  CheckDlgButton(dialog, IDC_ONE_BIG_OBJECT, BST_CHECKED);
  Enable(dialog, IDC_ONE_BIG_OBJECT, false);
  Enable(dialog, IDC_PER_OBJECT, false);
  g_optionsSettings = settings;
  if (g_optionsSettings != nullptr) *g_optionsSettings = StartSettings();
}

void AcceptOptions(HWND dialog) {
  OptionsControls controls;
  controls.exportTextures = Checked(dialog, IDC_EXPORT_TEXTURES);
  controls.textureFolder = ReadEdit(dialog, IDC_TEXTURE_FOLDER);
  controls.allObjects = Checked(dialog, IDC_ALL_OBJECTS);
  controls.sceneName = ReadEdit(dialog, IDC_SCENE_NAME);
  controls.scaleX = ReadEdit(dialog, IDC_SCALE_X);
  controls.scaleY = ReadEdit(dialog, IDC_SCALE_Y);
  controls.scaleZ = ReadEdit(dialog, IDC_SCALE_Z);
  controls.exportCollision = Checked(dialog, IDC_EXPORT_COLLISION);
  controls.oneBigObject = Checked(dialog, IDC_ONE_BIG_OBJECT);
  controls.collisionFileName = ReadEdit(dialog, IDC_COLLISION_FILE);
  if (g_optionsSettings != nullptr) *g_optionsSettings = SettingsFromControls(controls);
  EndDialog(dialog, IDOK);
}

INT_PTR CALLBACK OptionsProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      StartOptions(dialog, reinterpret_cast<ExportSettings*>(lParam));
      return TRUE;  // the system puts the focus on the first tab stop
    case WM_COMMAND:
      if (HIWORD(wParam) != BN_CLICKED) return FALSE;
      switch (LOWORD(wParam)) {
        case IDC_EXPORT_TEXTURES:
          Enable(dialog, IDC_TEXTURE_FOLDER, FolderEditEnabled(Checked(dialog, IDC_EXPORT_TEXTURES)));
          return TRUE;
        case IDC_EXPORT_COLLISION: {
          const bool enabled = CollisionControlsEnabled(Checked(dialog, IDC_EXPORT_COLLISION));
          Enable(dialog, IDC_COLLISION_FILE, enabled);
          Enable(dialog, IDC_ONE_BIG_OBJECT, enabled);
          Enable(dialog, IDC_PER_OBJECT, enabled);
          return TRUE;
        }
        case IDOK:
          AcceptOptions(dialog);
          return TRUE;
        case IDCANCEL:
          EndDialog(dialog, IDCANCEL);
          return TRUE;
      }
      return FALSE;
  }
  return FALSE;
}

// The progress window has no cancel path: it only swallows its start and command messages.
INT_PTR CALLBACK ProgressProc(HWND, UINT message, WPARAM, LPARAM) {
  return message == WM_INITDIALOG || message == WM_COMMAND ? TRUE : FALSE;
}

HWND AsWindow(void* handle) {
  return static_cast<HWND>(handle);
}

}  // namespace

bool Win32Desktop::LoadModule() {
  module_ = LoadLibraryA("Tessaline.dll");
  return module_ != nullptr;
}

void Win32Desktop::ReleaseModule() {
  if (module_ == nullptr) return;
  FreeLibrary(static_cast<HMODULE>(module_));
  module_ = nullptr;
}

int Win32Desktop::ShowOptionsDialog(ExportSettings& settings) {
  const INT_PTR result = DialogBoxParamA(static_cast<HMODULE>(module_), MAKEINTRESOURCEA(IDD_OPTIONS),
                                         nullptr, OptionsProc, reinterpret_cast<LPARAM>(&settings));
  g_optionsSettings = nullptr;
  // -1: the template could not be found or loaded.
  if (result == -1) return 0;
  return static_cast<int>(result);
}

void Win32Desktop::OpenProgressWindow() {
  HWND window = CreateDialogParamA(static_cast<HMODULE>(module_), MAKEINTRESOURCEA(IDD_PROGRESS), nullptr,
                                   ProgressProc, 0);
  if (window == nullptr) return;
  progress_ = window;
  bar_ = GetDlgItem(window, IDC_PROGRESS_BAR);
  Repaint();
}

void Win32Desktop::CloseProgressWindow() {
  if (progress_ != nullptr) DestroyWindow(AsWindow(progress_));
  progress_ = nullptr;
  bar_ = nullptr;
}

bool Win32Desktop::ShowSaveDialog(std::string& path) {
  char file[512] = "";
  OPENFILENAMEA dialog = {};
  dialog.lStructSize = OPENFILENAME_SIZE_VERSION_400A;  // the form without the later extension fields
  dialog.hwndOwner = nullptr;
  dialog.lpstrFilter = "DBO Files(*.dbo)\0*.dbo\0";
  dialog.nFilterIndex = 1;
  dialog.lpstrFile = file;
  dialog.nMaxFile = sizeof file;
  dialog.lpstrTitle = "Select a DBO file to export DeleD current scene";
  dialog.Flags = OFN_OVERWRITEPROMPT;
  dialog.lpstrDefExt = "dbo";
  if (!GetSaveFileNameA(&dialog)) return false;
  path = file;
  return true;
}

void Win32Desktop::ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon) {
  UINT type = MB_OK;
  switch (icon) {
    case MessageIcon::Information:
      type |= MB_ICONINFORMATION;
      break;
    case MessageIcon::Warning:
      type |= MB_ICONWARNING;
      break;
    case MessageIcon::Error:
      type |= MB_ICONERROR;
      break;
  }
  MessageBoxA(nullptr, text.c_str(), caption.c_str(), type);
}

// Nothing pumps messages while the export works, so the window is painted right after each change.
void Win32Desktop::Repaint() {
  if (progress_ == nullptr) return;
  RedrawWindow(AsWindow(progress_), nullptr, nullptr,
               RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

void Win32Desktop::SetStageText(const std::string& text) {
  if (progress_ == nullptr) return;
  SetDlgItemTextA(AsWindow(progress_), IDC_PROGRESS_TEXT, text.c_str());
  Repaint();
}

void Win32Desktop::SetBarRange(int low, int high) {
  if (bar_ == nullptr) return;
  SendMessageA(AsWindow(bar_), PBM_SETRANGE, 0, MAKELPARAM(low, high));
  Repaint();
}

void Win32Desktop::SetBarStep(int step) {
  if (bar_ == nullptr) return;
  SendMessageA(AsWindow(bar_), PBM_SETSTEP, static_cast<WPARAM>(step), 0);
}

void Win32Desktop::StepBar() {
  if (bar_ == nullptr) return;
  SendMessageA(AsWindow(bar_), PBM_STEPIT, 0, 0);
  Repaint();
}

void Win32Desktop::SetBarPosition(int position) {
  if (bar_ == nullptr) return;
  SendMessageA(AsWindow(bar_), PBM_SETPOS, static_cast<WPARAM>(position), 0);
  Repaint();
}

void Win32Desktop::AdvanceBar(int delta) {
  if (bar_ == nullptr) return;
  SendMessageA(AsWindow(bar_), PBM_DELTAPOS, static_cast<WPARAM>(delta), 0);
  Repaint();
}

bool Win32Desktop::CreateFolder(const std::string& path) {
  return files_.CreateFolder(path);
}

PathKind Win32Desktop::KindOf(const std::string& path) {
  return files_.KindOf(path);
}

std::string Win32Desktop::FileIdentity(const std::string& path) {
  return files_.FileIdentity(path);
}

std::unique_ptr<OutputFile> Win32Desktop::CreateTemporaryFile(const std::string& target,
                                                              std::string& temporary) {
  return files_.CreateTemporaryFile(target, temporary);
}

bool Win32Desktop::ReplaceFile(const std::string& from, const std::string& to) {
  return files_.ReplaceFile(from, to);
}

void Win32Desktop::RemoveFile(const std::string& path) {
  files_.RemoveFile(path);
}

const CodePage& Win32Desktop::AnswerCodePage() {
  return ProcessCodePage();
}

std::string Win32Desktop::NativePath(const std::string& path) {
  return files_.NativePath(path);
}

}  // namespace tessaline
