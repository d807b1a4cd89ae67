// Whole export runs in tests: a host that answers requests from given texts, fails on demand and records
// every call, and a fixture that runs the export in a fresh folder against it and the headless desktop.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "plugin/plugin.h"
#include "support.h"

namespace tessaline::testing {

namespace fs = std::filesystem;

// AddressSanitizer reserves a huge shadow mapping, so address-space limits cannot be tested under it.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kUnderAddressSanitizer = true;
#elif defined(__has_feature)
inline constexpr bool kUnderAddressSanitizer = __has_feature(address_sanitizer);
#else
inline constexpr bool kUnderAddressSanitizer = false;
#endif

struct ScriptedHost final : Host {
  std::map<std::string, std::string> answers;                   // by request text
  std::map<std::pair<std::string, uint32_t>, uint32_t> errors;  // (request, reason) -> result code
  std::map<std::string, uint32_t> announcedSizes;               // GetMem size overrides
  std::string calls;  // per call: i, a or s (install directory, all objects, selection), then the reason

  uint32_t Answer(CallbackRecord& record) override {
    const std::string request = record.request;
    calls += (request == kInstallDirectoryRequest ? "i"
              : request == kSceneAllRequest       ? "a"
                                                  : "s") +
             std::to_string(record.reason);
    auto error = errors.find({record.request, record.reason});
    if (error != errors.end()) return error->second;
    auto answer = answers.find(record.request);
    if (answer == answers.end()) return 1;
    if (record.reason == GetMem) {
      auto size = announcedSizes.find(record.request);
      record.size =
          size != announcedSizes.end() ? size->second : static_cast<uint32_t>(answer->second.size() + 1);
      return 0;
    }
    std::memcpy(record.buffer, answer->second.c_str(),
                std::min<size_t>(record.size, answer->second.size() + 1));
    return 0;
  }
};

// The closing message of a run that exported everything.
inline const std::string kSuccess = "message Tessaline|Scene correctly exported.\n|information";

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
    std::string vertices, polygons;
    for (uint32_t q = 0; q < quads; ++q) {
      std::snprintf(buffer, sizeof buffer, "<poly mid=\"%u\">", 1 + q % 2);
      polygons += buffer;
      for (uint32_t k = 0; k < 4; ++k) {
        const bool right = k == 1 || k == 2, top = k >= 2;
        std::snprintf(buffer, sizeof buffer, "<vertex id=\"%u\" x=\"%u\" y=\"%u\" z=\"%u.5\" />", q * 4 + k,
                      q + right, p + top, q);
        vertices += buffer;
        std::snprintf(buffer, sizeof buffer, "<vertex vid=\"%u\" u0=\"%u\" v0=\"%u\" />", q * 4 + k, right,
                      top);
        polygons += buffer;
      }
      polygons += "</poly>";
    }
    xml += "<primitive id=\"" + std::to_string(p) + "\"><vertices>" + vertices + "</vertices><polygons>" +
           polygons + "</polygons></primitive>";
  }
  return xml + "</primitives></scene>";
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

// Walks a DBO file; a missing file gives a report that is not ok.
inline DboReport WalkFile(const fs::path& path) {
  return WalkDbo(ReadFile(path));
}

// One whole export in a fresh folder: root/editor is the editor's install directory (with
// Textures\Bricks\wall.png), root/out receives level.dbo.
class ExportHarness : public ::testing::Test {
 protected:
  void SetUp() override {
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    // The process id keeps runs of several builds at the same time apart.
    root_ = fs::temp_directory_path() / ("tessaline-run-" + std::to_string(getpid()) + "-" +
                                         test->test_suite_name() + "-" + test->name());
    fs::remove_all(root_);
    fs::create_directories(root_ / "out");
    WriteText(root_ / "editor" / "Textures" / "Bricks" / "wall.png", "wall image");
    host_ = {};
    host_.answers[kInstallDirectoryRequest] =
        "<installdirectory>" + Backslashed((root_ / "editor").string()) + "</installdirectory>";
    SetScene(QuadScene(1, 2));
    desktop_ = {};
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
    outcome_ = RunExport(desktop_, host_, settings_);
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

  // The calls of a kind ("message", "remark", ...): messages whole, the others without their kind.
  std::vector<std::string> Calls(const std::string& kind) const {
    std::vector<std::string> found;
    for (const std::string& call : desktop_.calls) {
      if (call.rfind(kind + " ", 0) == 0)
        found.push_back(kind == "message" ? call : call.substr(kind.size() + 1));
    }
    return found;
  }
  std::vector<std::string> Messages() const { return Calls("message"); }
  // No temporary file of the run's own left over anywhere below the test's folder.
  bool NoTemporaryFiles() const {
    for (const std::string& path : Tree(root_)) {
      const std::string name = fs::path(path).filename().string();
      if (name.rfind("~tessaline-", 0) == 0 || name.find(".tessaline-tmp") != std::string::npos) return false;
    }
    return true;
  }

  fs::path root_;
  ScriptedHost host_;
  HeadlessDesktop desktop_;
  ExportSettings settings_;
  ExportOutcome outcome_;
};

}  // namespace tessaline::testing
