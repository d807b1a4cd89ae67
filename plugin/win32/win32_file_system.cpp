// kernel32's ANSI file calls: the plug-in and the tessaline command create their files through these, so
// a name made of bytes in the ANSI code page (from a scene or from a dialog) names the same file in both.
#include "plugin/win32/win32_desktop.h"

#include <windows.h>

#include <algorithm>

// windows.h maps these names to their ANSI/Unicode variants; here they are our own member functions.
#undef CopyFile
#undef ReplaceFile

namespace tessaline {

bool Win32FileSystem::CreateFolder(const std::string& path) {
  return CreateDirectoryA(path.c_str(), nullptr) != 0;
}

bool Win32FileSystem::CopyFile(const std::string& from, const std::string& to) {
  return CopyFileA(from.c_str(), to.c_str(), FALSE) != 0;
}

bool Win32FileSystem::WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  const std::string temporary = TemporaryPathFor(path);
  HANDLE file = CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  size_t done = 0;
  bool written = true;
  while (written && done < bytes.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 20));
    DWORD count = 0;
    written = ::WriteFile(file, bytes.data() + done, chunk, &count, nullptr) != 0 && count == chunk;
    done += count;
  }
  const bool closed = CloseHandle(file) != 0;
  if (!written || !closed) {
    DeleteFileA(temporary.c_str());
    return false;
  }
  if (ReplaceFile(temporary, path)) return true;
  DeleteFileA(temporary.c_str());
  return false;
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
