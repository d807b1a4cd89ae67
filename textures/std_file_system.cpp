// File operations over the standard library. Paths arrive with backslashes, as the editor writes them; on
// systems whose separator is another character every backslash becomes that character, so the folder
// part of a texture name is a subfolder there too.
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include "textures/textures.h"

namespace tessaline {

namespace fs = std::filesystem;

std::string TemporaryPathFor(const std::string& path) {
  // A short name of its own in the target's folder, so that a target whose name is as long as the file
  // system allows still has a temporary file; the hash keeps the names of different targets apart.
  uint64_t hash = 14695981039346656037ull;
  for (unsigned char c : path)
    hash = (hash ^ c) * 1099511628211ull;
  static const char kHex[] = "0123456789abcdef";
  std::string name = "~tessaline-";
  for (int shift = 60; shift >= 0; shift -= 4)
    name += kHex[(hash >> shift) & 15];
  name += ".tmp";
  const size_t slash = path.find_last_of('\\');
  return slash == std::string::npos ? name : path.substr(0, slash + 1) + name;
}

std::string StdFileSystem::NativePath(const std::string& path) {
  std::string native = path;
  constexpr auto kSeparator = static_cast<char>(fs::path::preferred_separator);
  if (kSeparator != '\\') {
    for (char& c : native) {
      if (c == '\\') c = kSeparator;
    }
  }
  return native;
}

bool StdFileSystem::CreateFolder(const std::string& path) {
  std::error_code error;
  return fs::create_directory(fs::path(NativePath(path)), error) && !error;
}

bool StdFileSystem::CopyFile(const std::string& from, const std::string& to) {
  // The copy goes to a temporary file first, so that a copy that breaks off leaves the old file whole.
  const std::string temporary = TemporaryPathFor(to);
  std::error_code error;
  if (!fs::is_regular_file(fs::path(NativePath(from)), error)) return false;
  if (!fs::copy_file(fs::path(NativePath(from)), fs::path(NativePath(temporary)),
                     fs::copy_options::overwrite_existing, error) ||
      error) {
    RemoveFile(temporary);
    return false;
  }
  if (!ReplaceFile(temporary, to)) {
    RemoveFile(temporary);
    return false;
  }
  return true;
}

bool StdFileSystem::WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  const std::string temporary = TemporaryPathFor(path);
  {
    std::ofstream file(NativePath(temporary), std::ios::binary | std::ios::out | std::ios::trunc);
    if (file)
      file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (file) file.close();
    if (!file) {
      RemoveFile(temporary);
      return false;
    }
  }
  if (!ReplaceFile(temporary, path)) {
    RemoveFile(temporary);
    return false;
  }
  return true;
}

bool StdFileSystem::ReplaceFile(const std::string& from, const std::string& to) {
  std::error_code error;
  fs::rename(fs::path(NativePath(from)), fs::path(NativePath(to)), error);
  return !error;
}

void StdFileSystem::RemoveFile(const std::string& path) {
  std::error_code error;
  const fs::path native(NativePath(path));
  if (fs::is_directory(fs::symlink_status(native, error))) return;  // only files are ours to remove
  fs::remove(native, error);
}

}  // namespace tessaline
