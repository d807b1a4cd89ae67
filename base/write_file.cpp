// Writing a file through a temporary file, removing temporary files on an interrupt, and the rules for
// the names of exported files.
#ifndef _WIN32
#include <unistd.h>
#endif

#include <array>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "base/base.h"

namespace tessaline {

namespace {

// ---------------------------------------------------------------------------------------------------------
// The temporary files an interrupt removes: fixed storage only, since the signal handler reads it without
// allocating or locking. More temporary files at once than slots are not removed on an interrupt.

constexpr size_t kSlots = 8;
constexpr size_t kPathBytes = 4096;

struct Slot {
  volatile std::sig_atomic_t used = 0;
  char path[kPathBytes] = {};
};
std::array<Slot, kSlots> g_slots;

extern "C" void RemoveTemporaryFilesAndReraise(int signal) {
  for (Slot& slot : g_slots) {
    if (slot.used == 0) continue;
#ifdef _WIN32
    // The writer shares its file for deleting: it goes once the process has ended.
    std::remove(slot.path);
#else
    unlink(slot.path);
#endif
  }
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

void ListTemporaryFile(const std::string& nativePath) {
  if (nativePath.size() >= kPathBytes) return;
  for (Slot& slot : g_slots) {
    if (slot.used != 0) continue;
    std::memcpy(slot.path, nativePath.c_str(), nativePath.size() + 1);
    slot.used = 1;
    return;
  }
}

void UnlistTemporaryFile(const std::string& nativePath) {
  for (Slot& slot : g_slots) {
    if (slot.used != 0 && nativePath == slot.path) slot.used = 0;
  }
}

uint64_t RandomBits() {
  static uint64_t counter = 0;
  uint64_t bits = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  bits ^= ++counter * 0x9E3779B97F4A7C15ull;
  try {
    std::random_device device;
    bits ^= (static_cast<uint64_t>(device()) << 32) ^ device();
  } catch (const std::exception&) {
    // No random device: the clock and the counter still keep names apart, and creation is exclusive.
  }
  return bits;
}

}  // namespace

void RemoveTemporaryFilesOnInterrupt() {
#ifdef _WIN32
  const int signals[] = {SIGINT, SIGTERM, SIGBREAK};
#else
  const int signals[] = {SIGINT, SIGTERM, SIGHUP};
#endif
  for (int signal : signals) {
    // A signal the caller chose to ignore (nohup) stays ignored.
    if (std::signal(signal, RemoveTemporaryFilesAndReraise) == SIG_IGN) std::signal(signal, SIG_IGN);
  }
}

// ---------------------------------------------------------------------------------------------------------
// Writing

std::string RandomTemporaryPathFor(const std::string& target) {
  // A short name of its own in the target's folder, so that a target whose name is as long as the file
  // system allows still has a temporary file.
  const uint64_t bits = RandomBits();
  static const char kHex[] = "0123456789abcdef";
  std::string name = "~tessaline-";
  for (int shift = 60; shift >= 0; shift -= 4)
    name += kHex[(bits >> shift) & 15];
  return FolderOf(target) + name + ".tmp";
}

bool WriteThroughTemporary(FileSystem& files, const std::string& path,
                           const std::function<bool(OutputFile&)>& produce) {
  // A device, a pipe or a folder is never replaced by a file.
  const PathKind kind = files.KindOf(path);
  if (kind != PathKind::Missing && kind != PathKind::File && kind != PathKind::Link) return false;
  std::string temporary;
  std::unique_ptr<OutputFile> file = files.CreateTemporaryFile(path, temporary);
  if (file == nullptr) return false;
  const std::string native = files.NativePath(temporary);
  ListTemporaryFile(native);
  bool complete = false;
  try {
    complete = produce(*file);
  } catch (const std::exception&) {
    complete = false;  // out of memory while producing: the file is incomplete
  }
  complete = file->Close() && complete;
  file.reset();
  if (complete && files.ReplaceFile(temporary, path)) {
    UnlistTemporaryFile(native);
    return true;
  }
  files.RemoveFile(temporary);
  UnlistTemporaryFile(native);
  return false;
}

bool WriteFileSafely(FileSystem& files, const std::string& path, const std::vector<uint8_t>& bytes) {
  return WriteThroughTemporary(files, path,
                               [&](OutputFile& file) { return file.Write(bytes.data(), bytes.size()); });
}

bool CopyFileSafely(FileSystem& files, const std::string& from, const std::string& to) {
  const PathKind kind = files.KindOf(from);
  if (kind != PathKind::File && kind != PathKind::Link) return false;
  std::ifstream in(files.NativePath(from), std::ios::binary);
  if (!in) return false;
  return WriteThroughTemporary(files, to, [&](OutputFile& file) {
    std::vector<char> buffer(size_t{1} << 16);
    while (in) {
      in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
      const std::streamsize count = in.gcount();
      if (count > 0 && !file.Write(buffer.data(), static_cast<size_t>(count))) return false;
    }
    return !in.bad();
  });
}

OutputFileBuffer::int_type OutputFileBuffer::overflow(int_type c) {
  if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
  const char byte = traits_type::to_char_type(c);
  return file_.Write(&byte, 1) ? c : traits_type::eof();
}

std::streamsize OutputFileBuffer::xsputn(const char* data, std::streamsize size) {
  return file_.Write(data, static_cast<size_t>(size)) ? size : 0;
}

// ---------------------------------------------------------------------------------------------------------
// Names

bool IsReservedName(const std::string& name) {
  if (name.empty() || name == ".") return false;
  if (name.back() == '.' || name.back() == ' ') return true;
  // The device names hold with any extension, and Windows drops blanks before it.
  std::string stem = name.substr(0, name.find('.'));
  while (!stem.empty() && stem.back() == ' ')
    stem.pop_back();
  for (char& c : stem) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  if (stem == "CON" || stem == "PRN" || stem == "AUX" || stem == "NUL") return true;
  return stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0) &&
         stem[3] >= '1' && stem[3] <= '9';
}

bool IsPlainFileName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  if (name.find_first_of("\\/:") != std::string::npos) return false;
  return !IsReservedName(name);
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of('\\');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace tessaline
