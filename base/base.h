// base: the file operations and the progress every export shares, below the scene, DBO and texture folders.
//
// This folder owns the small FileSystem interface (so that the same code runs against Windows calls and
// against the standard library), its standard-library implementation, and the one way a file is written:
// into a fresh temporary file of an unpredictable name, created exclusively beside the target, which
// replaces the target only once it is complete. It also owns the progress interface that every long loop
// of an export steps (with the one pacing rule those loops share), and the rules for names that the
// exported files may carry, which are Windows' rules, since the files are meant for Windows.
//
// Typical use:
//   StdFileSystem files;
//   bool ok = WriteThroughTemporary(files, "C:\\out\\level.dbo", [&](OutputFile& file) {
//     return file.Write(bytes.data(), bytes.size());
//   });
//
// Paths given to this folder use backslashes, as the editor does.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <streambuf>
#include <string>
#include <vector>

namespace tessaline {

// ---------------------------------------------------------------------------------------------------------
// Progress

// The progress window as the export's stages see it: a stage text and a bar with range, step and position.
// Implementations keep the position within the range, as a progress bar control does.
class ProgressWindow {
 public:
  virtual ~ProgressWindow() = default;
  virtual void SetStageText(const std::string& text) = 0;
  virtual void SetBarRange(int low, int high) = 0;
  virtual void SetBarStep(int step) = 0;
  virtual void StepBar() = 0;  // position + step
  virtual void SetBarPosition(int position) = 0;
  virtual void AdvanceBar(int delta) = 0;  // position + delta
};

// A ProgressWindow that ignores everything (for callers that show no progress).
class NoProgress final : public ProgressWindow {
 public:
  void SetStageText(const std::string&) override {}
  void SetBarRange(int, int) override {}
  void SetBarStep(int) override {}
  void StepBar() override {}
  void SetBarPosition(int) override {}
  void AdvanceBar(int) override {}
};

// How a loop over n items spreads its bar steps: x = n * factor; if x < 1 the threshold is 1 and the step
// 1/x (truncated); otherwise the threshold is x (truncated) and the step 1. After item i, if i >= threshold,
// the bar steps once and the threshold doubles. For n = 0 the step is 0 (the bar never moves).
struct Pacing {
  uint64_t threshold = 1;
  int step = 0;

  static Pacing For(uint64_t n, double factor);
  void Begin(ProgressWindow& progress) const { progress.SetBarStep(step); }
  void After(uint64_t i, ProgressWindow& progress) {
    if (i >= threshold) {
      progress.StepBar();
      threshold *= 2;
    }
  }
};

// ---------------------------------------------------------------------------------------------------------
// File operations (backslash paths)

// What a path names, the entry itself (a symbolic link is not followed).
enum class PathKind { Missing, File, Link, Folder, Other };

// A file open for writing. Write returns false once anything failed; Close reports whether everything
// written reached the file.
class OutputFile {
 public:
  virtual ~OutputFile() = default;
  virtual bool Write(const void* data, size_t size) = 0;
  virtual bool Close() = 0;
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // Makes one folder level. False when it could not be made (an existing folder also gives false).
  virtual bool CreateFolder(const std::string& path) = 0;
  virtual PathKind KindOf(const std::string& path) = 0;
  // What tells files apart: the device and file number (on Windows the volume and file ID) of an existing
  // file, links followed; otherwise its full path after normalisation. Equal for the same file.
  virtual std::string FileIdentity(const std::string& path) = 0;
  // Creates a new file of a fresh, unpredictable name in the folder of target, exclusively (never opening
  // anything that exists, links included), and sets temporary to its path. Null on failure. On Windows
  // implementations share the file for deleting, so that an interrupt can remove it while it is open.
  virtual std::unique_ptr<OutputFile> CreateTemporaryFile(const std::string& target,
                                                          std::string& temporary) = 0;
  // Moves a finished file over another one (replacing it; a link is replaced as a link). False on failure.
  virtual bool ReplaceFile(const std::string& from, const std::string& to) = 0;
  // Removes a file; missing files are no error.
  virtual void RemoveFile(const std::string& path) = 0;
  // The form of a path that the standard file streams accept on this system.
  virtual std::string NativePath(const std::string& path) = 0;
};

// FileSystem over std::filesystem and the C library; backslashes become the system's separator.
class StdFileSystem : public FileSystem {
 public:
  bool CreateFolder(const std::string& path) override;
  PathKind KindOf(const std::string& path) override;
  std::string FileIdentity(const std::string& path) override;
  std::unique_ptr<OutputFile> CreateTemporaryFile(const std::string& target, std::string& temporary) override;
  bool ReplaceFile(const std::string& from, const std::string& to) override;
  void RemoveFile(const std::string& path) override;
  std::string NativePath(const std::string& path) override;
};

// ---------------------------------------------------------------------------------------------------------
// Writing a file

// A path in the folder of target with a fresh random name "~tessaline-<16 hex digits>.tmp".
std::string RandomTemporaryPathFor(const std::string& target);

// The one way a file is written. Refuses a target that exists and is neither a regular file nor a link;
// otherwise creates a temporary file (FileSystem::CreateTemporaryFile), lets produce write it, and moves
// it over the target only when produce returned true and the file closed cleanly. On any failure the
// temporary file is removed and the target is left as it was. While the temporary file exists it is
// listed for RemoveTemporaryFilesOnInterrupt.
bool WriteThroughTemporary(FileSystem& files, const std::string& path,
                           const std::function<bool(OutputFile&)>& produce);

// Writes bytes to path through WriteThroughTemporary.
bool WriteFileSafely(FileSystem& files, const std::string& path, const std::vector<uint8_t>& bytes);

// Copies a regular file (or a link to one) to path through WriteThroughTemporary. False when from is
// anything else or cannot be read.
bool CopyFileSafely(FileSystem& files, const std::string& from, const std::string& to);

// A stream buffer that hands everything written to it to an OutputFile; a failed write fails the stream.
class OutputFileBuffer : public std::streambuf {
 public:
  explicit OutputFileBuffer(OutputFile& file) : file_(file) {}

 protected:
  int_type overflow(int_type c) override;
  std::streamsize xsputn(const char* data, std::streamsize size) override;

 private:
  OutputFile& file_;
};

// Makes SIGINT, SIGTERM and SIGHUP (on Windows SIGINT, SIGTERM and SIGBREAK, which Ctrl+C and Ctrl+Break
// raise) remove the temporary files being written, then end the process by the same signal as before.
// For a program of its own (the command); a plug-in leaves the host's signals alone.
void RemoveTemporaryFilesOnInterrupt();

// ---------------------------------------------------------------------------------------------------------
// Names

// True for a name Windows keeps for a device (CON, PRN, AUX, NUL, COM1 to COM9, LPT1 to LPT9, in any
// case, with or without an extension) and for a name ending in a dot or a space ("." excepted).
bool IsReservedName(const std::string& name);

// True when name may be a file's name inside a folder: not empty, no separator ("\" or "/"), no colon,
// not "." or "..", and not reserved.
bool IsPlainFileName(const std::string& name);

// The folder part of a backslash path, ending in its last backslash; "" when there is none. Nothing is
// trimmed.
std::string FolderOf(const std::string& path);

}  // namespace tessaline
