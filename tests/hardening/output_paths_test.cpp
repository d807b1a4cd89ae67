// Output that must not or cannot be written: paths at an export's own files or the scene it reads, out of
// the output folder, at names Windows keeps for devices, at nodes that are not files; a disk that fills up,
// memory that runs out, exports that are interrupted. The user sees the error box and no success message,
// and every earlier file keeps its bytes.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <cstdlib>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "hardening_support.h"

namespace tessaline::hardening {
namespace {

using OutputPathRun = ExportHarness;

TEST_F(OutputPathRun, FilesOfTheExportAndTheSceneAreNeverWrittenOver) {
  WriteText(Out("scene.dxs"), "the scene");
  fs::create_hard_link(Out("scene.dxs"), Out("alias.dbo"));  // the same file under another name
  desktop_.sceneFile = Path(Out("scene.dxs"));
  const std::string refusedDbo = "The DBO file would replace the scene file it is exported from:\n";
  const struct {
    const char* output;
    const char* collisionFile;  // nullptr: no collision file
    std::string text;
  } cases[] = {
      {"alias.dbo", nullptr, refusedDbo + Path(Out("alias.dbo"))},
      {"level.dbo", "scene.dxs",
       "The collision file would replace the scene file it is exported from:\n" + Path(Out("scene.dxs"))},
      {"level.dbo", "level.dbo", "The collision file would replace the DBO file:\n" + Path(Out("level.dbo"))},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.output + std::string(" / ") + (c.collisionFile ? c.collisionFile : "-"));
    desktop_.savePath = Path(Out(c.output));
    desktop_.options.exportCollision = c.collisionFile != nullptr;
    if (c.collisionFile) desktop_.options.collisionFileName = c.collisionFile;
    const std::set<std::string> before = Tree(root_);
    Run();
    EXPECT_EQ(Messages(),
              std::vector<std::string>{"message Tessaline|" + c.text + "\nNothing was exported.\n|error"});
    EXPECT_EQ(Tree(root_), before);
    EXPECT_EQ(ReadText(Out("scene.dxs")), "the scene");
  }

  // Textures named like the export's files or the scene are not placed.
  std::string layers;
  for (const char* name : {"level.dbo", "collision.dbo", "scene.dxs"}) {
    WriteText(root_ / "editor" / "Textures" / "Bricks" / name, "an image");
    layers += ImageLayer("Bricks\\" + std::string(name));
  }
  SetScene(QuadScene(1, 2, OneMaterial(layers)));
  desktop_.savePath = Path(Out("level.dbo"));
  desktop_.options.textureFolder = "";
  Collision("collision.dbo");
  Run();
  EXPECT_EQ(Messages(), std::vector<std::string>{NotPlaced({"level.dbo", "collision.dbo", "scene.dxs"})});
  EXPECT_TRUE(WalkFile(Out("level.dbo")).ok);
  EXPECT_TRUE(WalkFile(Out("collision.dbo")).ok);
  EXPECT_EQ(ReadText(Out("scene.dxs")), "the scene");
}

TEST_F(OutputPathRun, CollisionFileNamesOutsideTheFolderOrReservedAreNotWritten) {
  const std::set<std::string> outside = Tree(root_);
  for (const char* name : {"../escaped.dbo", "..\\..\\esc2.dbo", "sub\\c.dbo", "C:c.dbo", "c:\\c.dbo", "CON",
                           "nul.dbo", "Com1.dbo", "lpt9", "c.dbo.", "c.dbo ", "..", ". ."}) {
    SCOPED_TRACE(name);
    fs::remove_all(root_ / "out");
    fs::create_directories(root_ / "out");
    Collision(name);
    Run();
    EXPECT_EQ(Messages(), std::vector<std::string>{NotWritten({Path(root_ / "out") + "\\" + name})});
    EXPECT_EQ(Tree(root_ / "out"), (std::set<std::string>{"level.dbo", "Media", "Media/wall.png",
                                                          "Media/col_rgba_1_2_3_255_.png"}));
    std::set<std::string> now = Tree(root_);
    std::erase_if(now, [](const std::string& path) { return path.rfind("out/", 0) == 0; });
    EXPECT_EQ(now, outside);
  }
}

TEST_F(OutputPathRun, WhatStandsInTheWayStaysWhatItIs) {
  // A folder and a pipe where the files go, a link in place of a file, a file where the texture folder goes.
  WriteText(root_ / "target.txt", "kept");
  WriteText(Out("level.dbo") / "inside.txt", "kept");
  fs::create_directories(Out("Media"));
  ASSERT_EQ(mkfifo(Out("collision.dbo").c_str(), 0600), 0);
  fs::create_symlink(root_ / "target.txt", Out("Media/wall.png"));
  Collision("collision.dbo");
  Run();
  EXPECT_EQ(Messages(),
            std::vector<std::string>{NotWritten({desktop_.savePath, Path(Out("collision.dbo"))})});
  EXPECT_EQ(ReadText(Out("level.dbo") / "inside.txt"), "kept");
  EXPECT_TRUE(fs::is_fifo(fs::symlink_status(Out("collision.dbo"))));
  EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(Out("Media/wall.png"))));  // the link is replaced
  EXPECT_EQ(ReadText(root_ / "target.txt"), "kept");

  // A file named like the texture folder: every texture is listed.
  fs::remove_all(Out(""));
  WriteText(Out("Media"), "a file named like the folder");
  desktop_.options.exportCollision = false;
  Run();
  EXPECT_EQ(Messages(),
            std::vector<std::string>{NotPlaced({"Media\\wall.png", "Media\\col_rgba_1_2_3_255_.png"})});
  EXPECT_EQ(ReadText(Out("Media")), "a file named like the folder");
}

TEST_F(OutputPathRun, EveryTemporaryFileHasAFreshNameInItsTargetsFolder) {
  Run();
  const std::vector<std::string> temporaries = Calls("temporary");
  EXPECT_EQ(std::set<std::string>(temporaries.begin(), temporaries.end()).size(), 3u);  // DBO, two textures
  for (const std::string& call : temporaries)
    EXPECT_EQ(call.rfind(Path(root_ / "out") + "\\", 0), 0u) << call;
}

// A desktop on which something happens in a stage: a full disk once the stage begins, or a signal at its
// first step of the bar (while the DBO file is written).
struct StageEvent : HeadlessDesktop {
  std::string stage;
  std::function<void()> atStage;
  int signal = 0;
  bool inStage = false;
  void SetStageText(const std::string& text) override {
    HeadlessDesktop::SetStageText(text);
    inStage = text == stage;
    if (inStage && atStage) atStage();
  }
  void StepBar() override {
    HeadlessDesktop::StepBar();
    if (inStage && signal != 0) std::raise(signal);
  }
};

// A file-size limit, with SIGXFSZ ignored so that the write that crosses it fails with EFBIG instead of
// ending the process.
void LimitFileSize(rlim_t bytes) {
  std::signal(SIGXFSZ, SIG_IGN);
  const rlimit limit{bytes, bytes};
  setrlimit(RLIMIT_FSIZE, &limit);
}

TEST_F(OutputPathRun, InterruptedExportRemovesItsTemporaryFileAndEndsBySignal) {
  WriteText(Out("level.dbo"), "earlier export");
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(signal);
    auto child = [&] {
      std::signal(signal, SIG_DFL);  // a shell starting the tests in the background ignores SIGINT
      RemoveTemporaryFilesOnInterrupt();
      StageEvent desktop;
      desktop.savePath = desktop_.savePath;
      desktop.stage = "Please Wait....Writing Data to file.";
      desktop.signal = signal;
      RunExport(desktop, host_, settings_);
      std::_Exit(0);
    };
    EXPECT_EXIT(child(), ::testing::KilledBySignal(signal), "");
    EXPECT_EQ(ReadText(Out("level.dbo")), "earlier export");
    EXPECT_TRUE(NoTemporaryFiles());
  }
}

TEST_F(OutputPathRun, FullDiskKeepsEarlierFilesAndShowsTheErrorBox) {
  // Four primitives of 500 quads make a DBO file of about 340 KB, and files are limited to 64 KB; or the
  // disk is full once the textures are placed: earlier textures stay, and are listed.
  WriteText(Out("Media") / "wall.png", "earlier wall");
  SetScene(QuadScene(4, 500));
  for (const bool texturesFail : {false, true}) {
    SCOPED_TRACE(texturesFail ? "textures" : "DBO file");
    WriteText(Out("level.dbo"), "earlier export");
    auto child = [&] {
      StageEvent desktop;
      desktop.savePath = desktop_.savePath;
      desktop.stage = "Please Wait....Saving Textures.";
      desktop.atStage = [] { LimitFileSize(0); };
      if (!texturesFail) LimitFileSize(64 * 1024);
      RunExport(desktop, host_, settings_);
      desktop_.calls = desktop.calls;
      const std::string expected = texturesFail
                                       ? NotPlaced({"Media\\wall.png", "Media\\col_rgba_1_2_3_255_.png"})
                                       : NotWritten({desktop_.savePath});
      const bool mainKept =
          texturesFail ? WalkFile(Out("level.dbo")).ok : ReadText(Out("level.dbo")) == "earlier export";
      std::_Exit(Messages() == std::vector<std::string>{expected} && mainKept &&
                         ReadText(Out("Media") / "wall.png") == "earlier wall" && NoTemporaryFiles()
                     ? 0
                     : 1);
    };
    EXPECT_EXIT(child(), ::testing::ExitedWithCode(0), "");
  }
}

TEST_F(OutputPathRun, RunningOutOfMemoryNeverCrashesNorClaimsSuccess) {
  if (kUnderAddressSanitizer) GTEST_SKIP() << "AddressSanitizer needs an unlimited address space";
  // About 1 MB of geometry (3,000 polygons). The address-space limit grows from one answer's size above
  // what the process holds to sixteen, so that memory runs out in turn while the answer is fetched,
  // parsed, indexed and read, while meshes are built and files written, and finally not at all. Whatever
  // the point, the run must end normally, and either export the whole scene or leave the earlier file and
  // not claim success. Each child is a fresh run of this program, so that its memory holds nothing left
  // over from earlier tests (a heap with free room would make the limits meaningless).
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const std::string answer = QuadScene(10, 300);
  host_.answers.erase(kSceneSelectionRequest);
  host_.answers[kSceneAllRequest] = answer;
  for (size_t answers = 1; answers <= 16; ++answers) {
    SCOPED_TRACE("limit: " + std::to_string(answers) + " answers above the memory in use");
    WriteText(Out("level.dbo"), "earlier export");
    auto child = [&] {
      const size_t limit = AddressSpaceInUse() + answers * answer.size();
      const rlimit rl{limit, limit};
      setrlimit(RLIMIT_AS, &rl);
      // An exception leaving the run ends the child by a signal (inside the editor, it ends the editor).
      Run();
      const bool success =
          Messages().size() == 1 && Messages()[0].find("Scene correctly exported.") != std::string::npos;
      const DboReport report = WalkFile(Out("level.dbo"));
      const bool kept = ReadText(Out("level.dbo")) == "earlier export";
      fs::remove_all(root_);  // the child's own folder: it ends without tearing down
      std::_Exit((success ? report.ok && report.frames.size() == 3 : kept) ? 0 : 1);
    };
    EXPECT_EXIT(child(), ::testing::ExitedWithCode(0), "");
  }
}

}  // namespace
}  // namespace tessaline::hardening
