// Shared pieces of the bad-input tests: a whole export run in a fresh folder (scripted host, headless
// desktop), scene generators, file helpers, checks made in a child process, and a way to silence
// Mini-XML's parse reports.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "plugin/plugin.h"
#include "plugin/scripted_host.h"
#include "support.h"

namespace tessaline::hardening {

namespace fs = std::filesystem;
using testing::Backslashed;
using testing::ReadText;
using testing::WriteText;

// AddressSanitizer reserves a huge shadow mapping, so address-space limits cannot be tested under it.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kUnderAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool kUnderAddressSanitizer = true;
#else
inline constexpr bool kUnderAddressSanitizer = false;
#endif
#else
inline constexpr bool kUnderAddressSanitizer = false;
#endif

// The address space this process holds now, for address-space limits set in child processes.
inline size_t AddressSpaceInUse() {
  unsigned long pages = 0;
  std::FILE* statm = std::fopen("/proc/self/statm", "r");
  if (statm != nullptr) {
    if (std::fscanf(statm, "%lu", &pages) != 1) pages = 0;
    std::fclose(statm);
  }
  return pages * static_cast<size_t>(sysconf(_SC_PAGESIZE));
}

inline const std::string kSuccess = "message Tessaline|Scene correctly exported.\n|information";
// An answer the parser rejects (or cannot finish for lack of memory).
inline const std::string kUnreadable =
    "message Tessaline|The scene from the editor could not be read: its XML text could not be parsed (it is "
    "malformed, or too large for the memory left). Nothing was exported.\n|error";

// The closing message that lists files not written, and the one that lists textures not placed.
inline std::string Listed(std::string text, const std::vector<std::string>& lines, const std::string& icon) {
  for (const std::string& line : lines)
    text += line + "\n";
  return "message Tessaline|" + text + "|" + icon;
}
inline std::string NotWritten(const std::vector<std::string>& paths) {
  return Listed(paths.size() == 1 ? "The export did not finish: this file could not be written:\n"
                                  : "The export did not finish: these files could not be written:\n",
                paths, "error");
}
inline std::string NotPlaced(const std::vector<std::string>& names) {
  return Listed(std::string("Scene correctly exported.\n") +
                    (names.size() == 1 ? "This texture could not be placed beside it:\n"
                                       : "These textures could not be placed beside it:\n"),
                names, "warning");
}

inline std::string Fixture(const std::string& name) {
  return ReadText(fs::path(TESSALINE_SOURCE_DIR) / "tests" / "fixtures" / "hardening" / name);
}

// Walks a DBO file; a missing file gives a report that is not ok.
inline DboReport WalkFile(const fs::path& path) {
  return WalkDbo(testing::ReadFile(path));
}

// Every path below root, relative to it.
inline std::set<std::string> Tree(const fs::path& root) {
  std::set<std::string> paths;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root))
    paths.insert(fs::relative(entry.path(), root).string());
  return paths;
}

// Runs work with stderr captured and dropped: Mini-XML reports every parse error there.
template <class Work>
void Quietly(Work work) {
  ::testing::internal::CaptureStderr();
  work();
  ::testing::internal::GetCapturedStderr();
}

// Ends a child process: status 0 when every check holds, otherwise 1 with the failing checks on stderr.
[[noreturn]] inline void ExitChild(const std::vector<std::pair<bool, std::string>>& checks) {
  bool ok = true;
  for (const auto& [holds, what] : checks) {
    if (!holds) std::fprintf(stderr, "FAILED: %s\n", what.c_str());
    ok = ok && holds;
  }
  std::fflush(stderr);
  std::_Exit(ok ? 0 : 1);
}

inline std::string ImageLayer(const std::string& file) {
  return "<layer type=\"texture\"><texture file=\"" + file + "\" /></layer>";
}
// A material section of one material (id 1) with the given layers.
inline std::string OneMaterial(const std::string& layers) {
  return "<materials><material id=\"1\">" + layers + "</material></materials>";
}

// The material section of the generated scenes: one image layer named Bricks\wall.png (id 1) and one
// colour layer (id 2).
inline const char* const kMaterials =
    "<materials>"
    "<material id=\"1\"><layer type=\"texture\" blend=\"replace\"><texture file=\"Bricks\\wall.png\" />"
    "</layer></material>"
    "<material id=\"2\"><layer type=\"color\" blend=\"add\"><color r=\"1\" g=\"2\" b=\"3\" a=\"255\" />"
    "</layer></material>"
    "</materials>";

// A scene of `primitives` primitives holding `quads` quads each, every quad with four positions of its
// own; quads alternate between materials 1 and 2.
inline std::string QuadScene(uint32_t primitives, uint32_t quads, const std::string& materials = kMaterials) {
  std::string xml = "<scene>" + materials + "<primitives>";
  char buffer[160];
  for (uint32_t p = 0; p < primitives; ++p) {
    xml += "<primitive id=\"" + std::to_string(p) + "\"><vertices>";
    for (uint32_t q = 0; q < quads; ++q) {
      for (uint32_t k = 0; k < 4; ++k) {
        std::snprintf(buffer, sizeof buffer, "<vertex id=\"%u\" x=\"%u\" y=\"%u\" z=\"%u.5\" />", q * 4 + k,
                      q + (k == 1 || k == 2), p + (k >= 2), q);
        xml += buffer;
      }
    }
    xml += "</vertices><polygons>";
    for (uint32_t q = 0; q < quads; ++q) {
      std::snprintf(buffer, sizeof buffer, "<poly mid=\"%u\">", 1 + q % 2);
      xml += buffer;
      for (uint32_t k = 0; k < 4; ++k) {
        std::snprintf(buffer, sizeof buffer, "<vertex vid=\"%u\" u0=\"%u\" v0=\"%u\" />", q * 4 + k,
                      k == 1 || k == 2, k >= 2);
        xml += buffer;
      }
      xml += "</poly>";
    }
    xml += "</polygons></primitive>";
  }
  return xml + "</primitives></scene>";
}

// One whole export in a fresh folder: root/editor is the editor's install directory (with
// Textures\Bricks\wall.png), root/out receives level.dbo.
class ExportHarness : public ::testing::Test {
 protected:
  void SetUp() override {
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    // The process id keeps runs of several builds at the same time apart.
    root_ = fs::temp_directory_path() / ("tessaline-hardening-" + std::to_string(getpid()) + "-" +
                                         test->test_suite_name() + "-" + test->name());
    fs::remove_all(root_);
    fs::create_directories(root_ / "out");
    WriteText(root_ / "editor" / "Textures" / "Bricks" / "wall.png", "wall image");
    host_.answers[kInstallDirectoryRequest] =
        "<installdirectory>" + Backslashed((root_ / "editor").string()) + "</installdirectory>";
    SetScene(QuadScene(1, 2));
    desktop_.savePath = Path(Out("level.dbo"));
  }
  void TearDown() override { fs::remove_all(root_); }

  void SetScene(const std::string& answer) {
    host_.answers[kSceneAllRequest] = answer;
    host_.answers[kSceneSelectionRequest] = answer;
  }
  void Collision(const std::string& name, bool oneBigObject = true) {
    desktop_.options.exportCollision = true;
    desktop_.options.oneBigObject = oneBigObject;
    desktop_.options.collisionFileName = name;
  }

  // Runs the export with the calls of earlier runs forgotten.
  void Run() {
    desktop_.calls.clear();
    RunExport(desktop_, host_, settings_);
  }
  void RunQuietly() {
    Quietly([this] { Run(); });
  }

  fs::path Out(const std::string& name) const { return root_ / "out" / name; }
  // The walk of the DBO file out/name, which must be sound and hold `frames` frames (padded to that many
  // when it does not, so that checks of its frames stay in range).
  DboReport Walk(const std::string& name, size_t frames) const {
    DboReport report = WalkFile(Out(name));
    EXPECT_TRUE(report.ok) << name << ": " << report.error;
    EXPECT_EQ(report.frames.size(), frames) << name;
    report.frames.resize(std::max(report.frames.size(), frames));
    return report;
  }
  // A path as the run names it in its messages.
  static std::string Path(const fs::path& path) { return Backslashed(path.string()); }

  std::vector<std::string> Calls(const std::string& kind) const {
    std::vector<std::string> found;
    for (const std::string& call : desktop_.calls) {
      if (call.rfind(kind + " ", 0) == 0)
        found.push_back(kind == "message" ? call : call.substr(kind.size() + 1));
    }
    return found;
  }
  std::vector<std::string> Messages() const { return Calls("message"); }
  bool Saved() const {
    return std::find(desktop_.calls.begin(), desktop_.calls.end(), "save") != desktop_.calls.end();
  }
  // No temporary file of the run's own left over anywhere below the test's folder.
  bool NoTemporaryFiles() const {
    for (const std::string& path : Tree(root_)) {
      const std::string name = fs::path(path).filename().string();
      if (name.rfind("~tessaline-", 0) == 0 || name.find(".tessaline-tmp") != std::string::npos) return false;
    }
    return true;
  }

  fs::path root_;
  testing::ScriptedHost host_;
  HeadlessDesktop desktop_;
  ExportSettings settings_;
};

}  // namespace tessaline::hardening
