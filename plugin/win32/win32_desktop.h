// The desktop of the real plug-in (the module's own dialogs, the common save-file dialog, message boxes)
// and the kernel32 file calls that the plug-in and the Windows tessaline command share. Windows headers stay
// in the .cpp, so handles are kept as opaque pointers here.
#pragma once

#include <memory>
#include <string>

#include "plugin/plugin.h"

namespace tessaline {

// Conversions between UTF-8 and the process's ANSI code page (CP_ACP), by MultiByteToWideChar and
// WideCharToMultiByte.
const CodePage& ProcessCodePage();

// Files through kernel32's ANSI calls (CreateFileA, MoveFileExA ...): path bytes are read in the
// system's ANSI code page, as everywhere in the plug-in.
class Win32FileSystem final : public FileSystem {
 public:
  bool CreateFolder(const std::string& path) override;
  PathKind KindOf(const std::string& path) override;
  std::string FileIdentity(const std::string& path) override;
  // CREATE_NEW, shared for deleting, so that an interrupted command can delete it while it is open.
  std::unique_ptr<OutputFile> CreateTemporaryFile(const std::string& target, std::string& temporary) override;
  bool ReplaceFile(const std::string& from, const std::string& to) override;
  void RemoveFile(const std::string& path) override;
  std::string NativePath(const std::string& path) override;
};

class Win32Desktop final : public Desktop {
 public:
  // Loads "Tessaline.dll" by that name, which reaches this module's resources.
  bool LoadModule() override;
  void ReleaseModule() override;
  // Dialog 1000, modal, with no owner: 1 for OK, 2 for cancel, 0 when it could not be shown.
  int ShowOptionsDialog(ExportSettings& settings) override;
  // Dialog 1013, modeless; without it stage texts and bar commands go nowhere.
  void OpenProgressWindow() override;
  void CloseProgressWindow() override;
  bool ShowSaveDialog(std::string& path) override;
  void ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon) override;
  const CodePage& AnswerCodePage() override;  // the process's ANSI code page

  void SetStageText(const std::string& text) override;
  void SetBarRange(int low, int high) override;
  void SetBarStep(int step) override;
  void StepBar() override;
  void SetBarPosition(int position) override;
  void AdvanceBar(int delta) override;

  bool CreateFolder(const std::string& path) override;
  PathKind KindOf(const std::string& path) override;
  std::string FileIdentity(const std::string& path) override;
  std::unique_ptr<OutputFile> CreateTemporaryFile(const std::string& target, std::string& temporary) override;
  bool ReplaceFile(const std::string& from, const std::string& to) override;
  void RemoveFile(const std::string& path) override;
  std::string NativePath(const std::string& path) override;

 private:
  void* module_ = nullptr;    // HMODULE of the loaded library
  void* progress_ = nullptr;  // HWND of the progress window
  void* bar_ = nullptr;       // HWND of its bar
  Win32FileSystem files_;
  void Repaint();
};

}  // namespace tessaline
