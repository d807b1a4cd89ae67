// The Win32 desktop: dialogs from this module's resources, the common save-file dialog, message boxes,
// and the file operations of the texture stage and the DBO writes.
#include "plugin/win32/win32_desktop.h"

#include <algorithm>

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
  return CreateDirectoryA(path.c_str(), nullptr) != 0;
}

namespace {

// A temporary file by its handle.
class HandleFile : public OutputFile {
 public:
  explicit HandleFile(HANDLE file) : file_(file) {}
  ~HandleFile() override { Close(); }

  bool Write(const void* data, size_t size) override {
    const char* bytes = static_cast<const char*>(data);
    while (ok_ && size > 0) {
      const DWORD chunk = static_cast<DWORD>(std::min<size_t>(size, 1u << 20));
      DWORD count = 0;
      ok_ = ::WriteFile(file_, bytes, chunk, &count, nullptr) != 0 && count == chunk;
      bytes += count;
      size -= count;
    }
    return ok_;
  }

  bool Close() override {
    if (file_ == INVALID_HANDLE_VALUE) return ok_;
    if (CloseHandle(file_) == 0) ok_ = false;
    file_ = INVALID_HANDLE_VALUE;
    return ok_;
  }

 private:
  HANDLE file_;
  bool ok_ = true;
};

}  // namespace

PathKind Win32Desktop::KindOf(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return PathKind::Missing;
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return PathKind::Link;
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return PathKind::Folder;
  if ((attributes & FILE_ATTRIBUTE_DEVICE) != 0) return PathKind::Other;
  return PathKind::File;
}

std::string Win32Desktop::FileIdentity(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    BY_HANDLE_FILE_INFORMATION information{};
    const bool known = GetFileInformationByHandle(file, &information) != 0;
    CloseHandle(file);
    if (known) {
      return "file " + std::to_string(information.dwVolumeSerialNumber) + ":" +
             std::to_string(information.nFileIndexHigh) + ":" + std::to_string(information.nFileIndexLow);
    }
  }
  // No such file yet: its full path, in one case, stands for it.
  char full[MAX_PATH * 4];
  const DWORD length = GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
  std::string text = length > 0 && length < sizeof full ? std::string(full, length) : path;
  CharUpperBuffA(text.data(), static_cast<DWORD>(text.size()));
  return "path " + text;
}

std::unique_ptr<OutputFile> Win32Desktop::CreateTemporaryFile(const std::string& target,
                                                              std::string& temporary) {
  // CREATE_NEW never opens what exists under the name, a link included; a name taken is passed over.
  for (int attempt = 0; attempt < 16; ++attempt) {
    temporary = RandomTemporaryPathFor(target);
    HANDLE file =
        CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) return std::make_unique<HandleFile>(file);
    if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) break;
  }
  temporary.clear();
  return nullptr;
}

bool Win32Desktop::ReplaceFile(const std::string& from, const std::string& to) {
  return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

void Win32Desktop::RemoveFile(const std::string& path) {
  DeleteFileA(path.c_str());
}

std::string Win32Desktop::NativePath(const std::string& path) {
  return path;
}

}  // namespace tessaline
