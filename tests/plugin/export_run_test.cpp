// Whole export runs against the headless desktop and a scripted host, and the closing message of every
// outcome.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <functional>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "export_harness.h"
#include "plugin/plugin.h"

namespace tessaline {
namespace {

using Texts = std::vector<std::string>;
using Files = std::set<std::string>;

using testing::kSuccess;

std::string Joined(const Texts& texts) {
  std::string out;
  for (const std::string& text : texts)
    out += (out.empty() ? "" : ", ") + text;
  return out;
}

class ExportRunTest : public testing::ExportHarness {
 protected:
  std::string ProgressCalls() const {
    Texts out;
    for (const std::string& call : desktop_.calls) {
      for (const char* prefix : {"stage ", "range ", "step", "position ", "advance "})
        if (call.rfind(prefix, 0) == 0) out.push_back(call);
    }
    return Joined(out);
  }
};

struct RunCase {
  const char* name;
  std::function<void(HeadlessDesktop&, testing::ScriptedHost&)> setUp;
  ExportStatus status;
  std::string hostCalls;
  Texts messages;
  Files files;
  std::string progressTail = {}, calls = {};  // not checked when empty
};

TEST_F(ExportRunTest, EveryWayARunEnds) {
  // clang-format off
  const RunCase cases[] = {
      {"options cancelled", [](auto& d, auto&) { d.optionsAccepted = false; }, ExportStatus::Stopped, "", {}, {}, "",
       "load, options, progress open, progress close, release"},
      {"module not loaded", [](auto& d, auto&) { d.moduleLoads = false; }, ExportStatus::Stopped, "", {}, {}, "",
       "load"},
      // The stage jumps from getting data straight to writing, and the bar to 0; no save dialog.
      {"scene error", [](auto&, auto& h) { h.errors[{kSceneAllRequest, GetData}] = 4294967295u; },
       ExportStatus::Stopped, "i0i1a0a1",
       {"message Error in Callback|Error Code 4294967295: Unknown Error Code.|error"}, {},
       "step, position 0, stage Please Wait....Writing Data to file."},
      {"empty answer", [](auto&, auto& h) { h.announcedSizes[kSceneAllRequest] = 0; }, ExportStatus::Stopped,
       "i0i1a0", {}, {}},
      {"save cancelled", [](auto& d, auto&) { d.saveAccepted = false; }, ExportStatus::Stopped, "i0i1a0a1", {}, {}},
      // With textures off the bar skips the texture stage's share in one advance.
      {"textures off", [](auto& d, auto&) { d.options.exportTextures = false; }, ExportStatus::Exported, "i0i1a0a1",
       {kSuccess}, {"level.dbo"}, "step-size 40, step, advance 20"},
      // Steps of 15 after fetching, 20 and 30 after reading, 11 for 2 polygons x 2/45 (once after polygon 1,
      // once after both builder runs), 40 for 2 meshes x 0.0125 (once between them), 10 for 2 textures x 0.05.
      {"complete run", [](auto&, auto&) {}, ExportStatus::Exported, "i0i1a0a1", {kSuccess},
       {"Media", "Media/col_rgba_1_2_3_255_.png", "Media/wall.png", "level.dbo"}, "range 0 100, step-size 15, stage "
       "Please Wait....Getting Data from DeleD., step, stage Please Wait....Parsing Data., step-size 5, step, "
       "step-size 10, step, stage Please Wait....Creating Meshes., step-size 11, step, step, position 0, stage Please "
       "Wait....Writing Data to file., step-size 40, step, stage Please Wait....Saving Textures., step-size 10, step, "
       "step"},
  };
  // clang-format on
  for (const RunCase& c : cases) {
    SCOPED_TRACE(c.name);
    TearDown();
    SetUp();
    c.setUp(desktop_, host_);
    Run();
    EXPECT_EQ(outcome_.status, c.status);
    EXPECT_EQ(host_.calls, c.hostCalls);
    EXPECT_EQ(Messages(), c.messages);
    EXPECT_EQ(testing::Tree(root_ / "out"), c.files);  // a temporary file left behind shows here
    const std::string progress = ProgressCalls();
    EXPECT_EQ(progress.substr(progress.size() - std::min(progress.size(), c.progressTail.size())),
              c.progressTail);
    if (!c.calls.empty()) {
      EXPECT_EQ(Joined(desktop_.calls), c.calls);
    }
  }
  // The files the complete run, the last one, reports written.
  EXPECT_EQ(outcome_.written, (Texts{desktop_.savePath, FolderOf(desktop_.savePath) + "Media\\wall.png",
                                     FolderOf(desktop_.savePath) + "Media\\col_rgba_1_2_3_255_.png"}));
}

TEST(CollisionPathFor, FollowsTheChosenPathOrTheGivenName) {
  const char* cases[][3] = {{"level.dbo", "", "level_col.dbo"},
                            {"level", "", "level_col.dbo"},
                            {"my.level.dbo", "", "my_col.dbo"},
                            {"dir \\level.dbo", "", "dir \\level_col.dbo"},  // the folder as it is
                            {"level.dbo", "coll.dbo", "coll.dbo"}};
  for (const auto& [chosen, name, expected] : cases)
    EXPECT_EQ(CollisionPathFor(std::string("C:\\o\\") + chosen, name), std::string("C:\\o\\") + expected);
}

TEST_F(ExportRunTest, AbsurdAnswerSizeIsAFailedExchangeNotACrash) {
  if (testing::kUnderAddressSanitizer)
    GTEST_SKIP() << "AddressSanitizer needs more address space than the limit this test sets";
  // Limit the address space in a child process so that the 4 GiB buffer cannot be had.
  auto run = [this] {
    rlimit limit{1u << 30, 1u << 30};
    setrlimit(RLIMIT_AS, &limit);
    host_.announcedSizes[kSceneAllRequest] = 0xFFFFFFFFu;
    Run();
    const std::string expected =
        "message Tessaline|The editor's answer (4294967295 bytes) does not fit in "
        "memory; nothing was exported.\n|error";
    std::exit(Messages() == Texts{expected} && host_.calls == "i0i1a0" && testing::Tree(root_ / "out").empty()
                  ? 0
                  : 1);
  };
  EXPECT_EXIT(run(), ::testing::ExitedWithCode(0), "");
}

TEST(ClosingMessage, SaysHowTheExportEnded) {
  const auto shown = [](ExportStatus status, ExportFailure failure, const Texts& files = {}) {
    ExportOutcome outcome;
    outcome.status = status;
    outcome.failure = failure;
    outcome.notPlaced = files;
    if (!files.empty()) outcome.cutLayers = {3, 9};
    const DesktopMessage message = ClosingMessage(outcome).value();
    const char* icons[] = {"information", "warning", "error"};
    return message.caption + "|" + message.text + icons[static_cast<int>(message.icon)];
  };
  using enum ExportStatus;
  using enum ExportFailure;
  const std::string nothing = "Nothing was exported.\nerror";
  // clang-format off
  const std::pair<std::string, std::string> cases[] = {
      {shown(Warning, None, {"M\\a.png", "M\\b.png"}), "Tessaline|Scene correctly exported.\nThese textures could "
       "not be placed beside it:\nM\\a.png\nM\\b.png\nThese materials have more than 8 texture layers; only the "
       "first 8 were exported: 3 9\nwarning"},
      {shown(Failed, NoScene), "Tessaline|The scene file holds no scene: it has no material, materials, primitive or "
       "primitives element. " + nothing},
      {shown(Failed, TooLarge), "Tessaline|The model is too large for a DBO file: its sizes do not fit in the "
       "file's 32-bit fields. " + nothing},
      {shown(Failed, OutOfMemory), "Tessaline|The export ran out of memory and did not finish.\nerror"},
  };
  // clang-format on
  for (const auto& [actual, expected] : cases)
    EXPECT_EQ(actual, expected);
}

}  // namespace
}  // namespace tessaline
