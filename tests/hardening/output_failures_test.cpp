// Output that cannot be written: a missing folder, a file or folder in the way, a disk that fills up
// mid-write, memory that runs out. The user sees the error box and no success message, and every file
// that existed before keeps its content.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "hardening_support.h"

namespace tessaline::hardening {
namespace {

using OutputFailureRun = ExportHarness;

// ---------------------------------------------------------------------------------------------------------
// Folders and files in the way

TEST_F(OutputFailureRun, OutputFolderThatIsMissingOrAFileIsAnErrorAndCreatesNothing) {
  WriteText(Out("blocker"), "a file, not a folder");
  desktop_.options.exportCollision = true;
  desktop_.options.collisionFileName = "";
  const std::set<std::string> before = Tree(root_);
  for (const fs::path& folder : {root_ / "nowhere", Out("blocker")}) {
    desktop_.calls.clear();
    desktop_.savePath = Path(folder / "level.dbo");
    Run();
    EXPECT_EQ(Messages(),
              std::vector<std::string>{NotWritten({desktop_.savePath, Path(folder / "level_col.dbo")})});
    EXPECT_EQ(Tree(root_), before);
  }
  EXPECT_EQ(ReadText(Out("blocker")), "a file, not a folder");
}

TEST_F(OutputFailureRun, CollisionFileThatCannotBeWrittenIsNamedAlone) {
  fs::create_directories(Out("level_col.dbo"));
  desktop_.options.exportCollision = true;
  desktop_.options.collisionFileName = "";
  Run();
  EXPECT_EQ(Messages(), std::vector<std::string>{NotWritten({Path(Out("level_col.dbo"))})});
  EXPECT_TRUE(WalkFile(Out("level.dbo")).ok);
  EXPECT_TRUE(fs::is_directory(Out("level_col.dbo")));
  EXPECT_TRUE(NoTemporaryFiles());
}

TEST_F(OutputFailureRun, TextureFolderThatIsAFileListsEveryTexture) {
  WriteText(Out("Media"), "a file named like the folder");
  Run();
  EXPECT_EQ(Messages(),
            std::vector<std::string>{NotPlaced({"Media\\wall.png", "Media\\col_rgba_1_2_3_255_.png"})});
  EXPECT_EQ(ReadText(Out("Media")), "a file named like the folder");
  EXPECT_TRUE(WalkFile(Out("level.dbo")).ok);
}

TEST_F(OutputFailureRun, ReadOnlyOutputFolderIsAnError) {
  if (geteuid() == 0) GTEST_SKIP() << "file permissions do not stop root";
  WriteText(Out("level.dbo"), "earlier export");
  fs::permissions(root_ / "out", fs::perms::owner_read | fs::perms::owner_exec);
  Run();
  fs::permissions(root_ / "out", fs::perms::owner_all);
  EXPECT_EQ(Messages(), std::vector<std::string>{NotWritten({desktop_.savePath})});
  EXPECT_EQ(ReadText(Out("level.dbo")), "earlier export");
}

// ---------------------------------------------------------------------------------------------------------
// A disk that fills up: a file-size limit in a child process, with SIGXFSZ ignored so that the write that
// crosses it fails with EFBIG instead of ending the process.

void LimitFileSize(rlim_t bytes) {
  signal(SIGXFSZ, SIG_IGN);
  const rlimit limit{bytes, bytes};
  setrlimit(RLIMIT_FSIZE, &limit);
}

// Collects the child's findings; the child exits 0 only when there are none, and prints them otherwise.
class ChildChecks {
 public:
  void Check(bool condition, const std::string& what) {
    if (!condition) failures_ += "FAILED: " + what + "\n";
  }
  [[noreturn]] void Exit() {
    std::fputs(failures_.c_str(), stderr);
    std::fflush(stderr);
    std::_Exit(failures_.empty() ? 0 : 1);
  }

 private:
  std::string failures_;
};

std::string Listed(const std::vector<std::string>& calls) {
  std::string text;
  for (const std::string& call : calls)
    text += "  " + call + "\n";
  return text;
}

TEST_F(OutputFailureRun, FullDiskKeepsTheEarlierFileAndShowsTheErrorBox) {
  // Four primitives of 500 quads make a main file of about 340 KB; 200 primitives of one quad a main file
  // of about 35 KB and a per-object collision file (200 meshes) of about 150 KB.
  desktop_.options.oneBigObject = false;
  for (const bool collision : {false, true}) {
    const fs::path failing = Out(collision ? "collision.dbo" : "level.dbo");
    WriteText(failing, "earlier export");
    SetScene(collision ? QuadScene(200, 1) : QuadScene(4, 500));
    desktop_.options.exportCollision = collision;
    auto child = [&] {
      LimitFileSize(64 * 1024);
      Run();
      ChildChecks checks;
      checks.Check(Messages() == std::vector<std::string>{NotWritten({Path(failing)})},
                   "messages:\n" + Listed(Messages()));
      checks.Check(ReadText(failing) == "earlier export", failing.string() + " was changed");
      checks.Check(!collision || WalkFile(Out("level.dbo")).ok, "level.dbo does not walk");
      checks.Check(NoTemporaryFiles(), "a temporary file was left");
      checks.Exit();
    };
    EXPECT_EXIT(child(), ::testing::ExitedWithCode(0), "") << failing;
  }
}

// A desktop on which the disk fills up once the texture stage begins.
class DiskFullAtTextures : public HeadlessDesktop {
 public:
  void SetStageText(const std::string& text) override {
    HeadlessDesktop::SetStageText(text);
    if (text == "Please Wait....Saving Textures.") LimitFileSize(0);
  }
};

TEST_F(OutputFailureRun, FullDiskAtTheTexturesKeepsEarlierTexturesAndListsThem) {
  WriteText(Out("Media") / "wall.png", "earlier wall");
  WriteText(Out("Media") / "col_rgba_1_2_3_255_.png", "earlier colour");
  auto child = [this] {
    DiskFullAtTextures desktop;
    desktop.savePath = desktop_.savePath;
    RunExport(desktop, host_, settings_);
    desktop_.calls = desktop.calls;
    ChildChecks checks;
    checks.Check(Messages() == std::vector<std::string>{NotPlaced(
                                   {"Media\\wall.png", "Media\\col_rgba_1_2_3_255_.png"})},
                 "messages:\n" + Listed(Messages()));
    checks.Check(WalkFile(Out("level.dbo")).ok, "level.dbo does not walk");
    checks.Check(ReadText(Out("Media") / "wall.png") == "earlier wall", "wall.png was changed");
    checks.Check(ReadText(Out("Media") / "col_rgba_1_2_3_255_.png") == "earlier colour",
                 "the PNG was changed");
    checks.Check(NoTemporaryFiles(), "a temporary file was left");
    checks.Exit();
  };
  EXPECT_EXIT(child(), ::testing::ExitedWithCode(0), "");
}

// ---------------------------------------------------------------------------------------------------------
// Memory that runs out while the answer is read: an address-space limit in a child process.

TEST_F(OutputFailureRun, RunningOutOfMemoryNeverCrashesNorClaimsSuccess) {
  if (kUnderAddressSanitizer) GTEST_SKIP() << "AddressSanitizer needs an unlimited address space";
  // About 1 MB of geometry (3,000 polygons). The address-space limit grows from one answer's size above
  // what the process holds to sixteen, so that memory runs out in turn while the answer is fetched,
  // parsed, indexed and read, while meshes are built and files written, and finally not at all. Whatever
  // the point, the run must end normally, and either export the whole scene or leave the earlier file and
  // not claim success.
  // Each child is a fresh run of this program, so that its memory holds nothing left over from earlier
  // tests (a heap with free room would make the limits meaningless).
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const std::string answer = QuadScene(10, 300);
  host_.answers.erase(kSceneSelectionRequest);
  host_.answers[kSceneAllRequest] = answer;
  for (size_t answers = 1; answers <= 16; ++answers) {
    SCOPED_TRACE("limit: " + std::to_string(answers) + " answers above the memory in use");
    WriteText(Out("level.dbo"), "earlier export");
    desktop_.calls.clear();
    auto child = [&] {
      const size_t limit = AddressSpaceInUse() + answers * answer.size();
      const rlimit rl{limit, limit};
      setrlimit(RLIMIT_AS, &rl);
      ChildChecks checks;
      try {
        RunQuietly();
      } catch (const std::exception& e) {
        // Inside the editor an exception leaving PluginExecute ends the editor.
        checks.Check(false, std::string("an exception left the export run: ") + e.what());
        fs::remove_all(root_);
        checks.Exit();
      }
      bool success = false;
      for (const std::string& message : Messages()) {
        if (message.find("Scene correctly exported.") != std::string::npos) success = true;
      }
      const DboReport report = WalkFile(Out("level.dbo"));
      if (success) {
        checks.Check(report.ok && report.frames.size() == 3,
                     "success reported for a file of " + std::to_string(report.frames.size()) + " frame(s)");
      } else {
        checks.Check(ReadText(Out("level.dbo")) == "earlier export", "level.dbo replaced without success");
      }
      fs::remove_all(root_);  // the child's own folder: it ends without tearing down
      checks.Exit();
    };
    EXPECT_EXIT(child(), ::testing::ExitedWithCode(0), "");
  }
}

}  // namespace
}  // namespace tessaline::hardening
