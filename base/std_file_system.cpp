// File operations over the standard library and the C library. Paths arrive with backslashes, as the
// editor writes them; on systems whose separator is another character every backslash becomes that
// character, so the folder part of a texture name is a subfolder there too.
#include <fcntl.h>
#include <sys/stat.h>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include <cctype>
#include <cerrno>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>

#include "base/base.h"

namespace tessaline {

namespace fs = std::filesystem;

namespace {

#ifdef _WIN32
int OpenExclusive(const std::string& path) {
  // _O_EXCL makes the open CREATE_NEW: nothing that exists under the name, a link included, is opened.
  return _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
}
int WriteSome(int fd, const char* data, size_t size) {
  return _write(fd, data, static_cast<unsigned>(size < (1u << 30) ? size : (1u << 30)));
}
int CloseDescriptor(int fd) {
  return _close(fd);
}
#else
int OpenExclusive(const std::string& path) {
  return open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
}
ssize_t WriteSome(int fd, const char* data, size_t size) {
  return write(fd, data, size);
}
int CloseDescriptor(int fd) {
  return close(fd);
}
#endif

// A temporary file by its descriptor.
class DescriptorFile : public OutputFile {
 public:
  explicit DescriptorFile(int fd) : fd_(fd) {}
  ~DescriptorFile() override { Close(); }

  bool Write(const void* data, size_t size) override {
    const char* bytes = static_cast<const char*>(data);
    while (ok_ && size > 0) {
      const auto written = WriteSome(fd_, bytes, size);
      if (written < 0 && errno == EINTR) continue;
      if (written <= 0) {
        ok_ = false;
        break;
      }
      bytes += written;
      size -= static_cast<size_t>(written);
    }
    return ok_;
  }

  bool Close() override {
    if (fd_ < 0) return ok_;
    if (CloseDescriptor(fd_) != 0) ok_ = false;
    fd_ = -1;
    return ok_;
  }

 private:
  int fd_;
  bool ok_ = true;
};

}  // namespace

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

PathKind StdFileSystem::KindOf(const std::string& path) {
  std::error_code error;
  switch (fs::symlink_status(fs::path(NativePath(path)), error).type()) {
    case fs::file_type::regular:
      return PathKind::File;
    case fs::file_type::symlink:
      return PathKind::Link;
    case fs::file_type::directory:
      return PathKind::Folder;
    case fs::file_type::not_found:
    case fs::file_type::none:  // unknown: whatever is written there fails on its own
      return PathKind::Missing;
    default:
      return PathKind::Other;
  }
}

std::string StdFileSystem::FileIdentity(const std::string& path) {
  const std::string native = NativePath(path);
#ifndef _WIN32
  struct stat status {};
  if (stat(native.c_str(), &status) == 0) {
    return "file " + std::to_string(status.st_dev) + ":" + std::to_string(status.st_ino);
  }
#endif
  // Windows' C library has no file numbers: there the full path stands for the file, in one case.
  std::error_code error;
  std::string full = fs::absolute(fs::path(native), error).lexically_normal().string();
  if (error) full = native;
#ifdef _WIN32
  for (char& c : full)
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
#endif
  return "path " + full;
}

std::unique_ptr<OutputFile> StdFileSystem::CreateTemporaryFile(const std::string& target,
                                                               std::string& temporary) {
  // A name taken by something else is passed over; anything but that ends the attempt.
  for (int attempt = 0; attempt < 16; ++attempt) {
    temporary = RandomTemporaryPathFor(target);
    const std::string native = NativePath(temporary);
    const int fd = OpenExclusive(native);
    if (fd >= 0) return std::make_unique<DescriptorFile>(fd);
    if (errno != EEXIST) break;
  }
  temporary.clear();
  return nullptr;
}

bool StdFileSystem::ReplaceFile(const std::string& from, const std::string& to) {
  std::error_code error;
  fs::rename(fs::path(NativePath(from)), fs::path(NativePath(to)), error);
  return !error;
}

void StdFileSystem::RemoveFile(const std::string& path) {
  std::error_code error;
  const fs::path file(NativePath(path));
  if (fs::is_directory(fs::symlink_status(file, error))) return;  // only files are ours to remove
  fs::remove(file, error);
}

}  // namespace tessaline
