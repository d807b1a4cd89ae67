// kernel32's ANSI file calls: the plug-in and the tessaline command create their files through these, so
// a name made of bytes in the ANSI code page (from a scene or from a dialog) names the same file in both.
#include "plugin/win32/win32_desktop.h"

#include <windows.h>

#include <algorithm>

// windows.h maps this name to its ANSI or Unicode variant; here it is our own member function.
#undef ReplaceFile

namespace tessaline {

bool Win32FileSystem::CreateFolder(const std::string& path) {
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

PathKind Win32FileSystem::KindOf(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return PathKind::Missing;
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return PathKind::Link;
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return PathKind::Folder;
  if ((attributes & FILE_ATTRIBUTE_DEVICE) != 0) return PathKind::Other;
  return PathKind::File;
}

std::string Win32FileSystem::FileIdentity(const std::string& path) {
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

std::unique_ptr<OutputFile> Win32FileSystem::CreateTemporaryFile(const std::string& target,
                                                                 std::string& temporary) {
  // CREATE_NEW never opens what exists under the name, a link included; a name taken is passed over.
  for (int attempt = 0; attempt < 16; ++attempt) {
    temporary = RandomTemporaryPathFor(target);
    HANDLE file = CreateFileA(temporary.c_str(), GENERIC_WRITE, FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) return std::make_unique<HandleFile>(file);
    if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) break;
  }
  temporary.clear();
  return nullptr;
}

bool Win32FileSystem::ReplaceFile(const std::string& from, const std::string& to) {
  return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

void Win32FileSystem::RemoveFile(const std::string& path) {
  DeleteFileA(path.c_str());
}

std::string Win32FileSystem::NativePath(const std::string& path) {
  return path;
}

}  // namespace tessaline
