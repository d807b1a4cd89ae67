// Output paths that point where an export must not write: at its own files or the scene it reads, out of
// the output folder, at names Windows keeps for devices, at nodes that are not files; and exports that
// meet each other or are interrupted on their way.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "hardening_support.h"

namespace tessaline::hardening {
namespace {

const std::set<std::string> kWholeExport = {"level.dbo", "collision.dbo", "Media", "Media/wall.png",
                                            "Media/col_rgba_1_2_3_255_.png"};

class OutputPathRun : public ExportHarness {
 protected:
  void Collision(const std::string& name) {
    desktop_.options.exportCollision = true;
    desktop_.options.collisionFileName = name;
  }
};

// ---------------------------------------------------------------------------------------------------------
// One export's own files and its scene

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
      {"scene.dxs", nullptr, refusedDbo + Path(Out("scene.dxs"))},
      {"alias.dbo", nullptr, refusedDbo + Path(Out("alias.dbo"))},
      {"level.dbo", "scene.dxs",
       "The collision file would replace the scene file it is exported from:\n" + Path(Out("scene.dxs"))},
      {"level.dbo", "level.dbo", "The collision file would replace the DBO file:\n" + Path(Out("level.dbo"))},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.output + std::string(" / ") + (c.collisionFile ? c.collisionFile : "-"));
    desktop_.calls.clear();
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
}

TEST_F(OutputPathRun, TexturesNamedLikeTheExportsFilesOrTheSceneAreNotPlaced) {
  WriteText(Out("scene.dxs"), "the scene");
  desktop_.sceneFile = Path(Out("scene.dxs"));
  std::string layers;
  for (const char* name : {"level.dbo", "collision.dbo", "scene.dxs"}) {
    WriteText(root_ / "editor" / "Textures" / "Bricks" / name, "an image");
    layers += "<layer type=\"texture\"><texture file=\"Bricks\\" + std::string(name) + "\" /></layer>";
  }
  SetScene(QuadScene(1, 2, "<materials><material id=\"1\">" + layers + "</material></materials>"));
  desktop_.options.textureFolder = "";
  Collision("collision.dbo");
  Run();
  EXPECT_EQ(Messages(), std::vector<std::string>{NotPlaced({"level.dbo", "collision.dbo", "scene.dxs"})});
  EXPECT_TRUE(WalkFile(Out("level.dbo")).ok);
  EXPECT_TRUE(WalkFile(Out("collision.dbo")).ok);
  EXPECT_EQ(ReadText(Out("scene.dxs")), "the scene");
}

// ---------------------------------------------------------------------------------------------------------
// The output folder and the names in it

TEST_F(OutputPathRun, FolderEndingInBlanksIsTheOutputFolderAsItIs) {
  for (const char* folder : {"dir ", "dir\t", " dir"}) {
    SCOPED_TRACE(std::string("'") + folder + "'");
    desktop_.calls.clear();
    fs::create_directories(Out(folder));
    desktop_.savePath = Path(Out(folder) / "level.dbo");
    Collision("collision.dbo");
    Run();
    EXPECT_EQ(Messages(), std::vector<std::string>{kSuccess});
    EXPECT_EQ(Tree(Out(folder)), kWholeExport);
  }
  EXPECT_FALSE(fs::exists(Out("dir")));
}

TEST_F(OutputPathRun, CollisionFileNamesOutsideTheFolderOrReservedAreNotWritten) {
  const std::set<std::string> outside = Tree(root_);
  for (const char* name : {"../escaped.dbo", "..\\..\\esc2.dbo", "sub\\c.dbo", "C:c.dbo", "c:\\c.dbo", "CON",
                           "nul.dbo", "Com1.dbo", "lpt9", "c.dbo.", "c.dbo ", "..", ". ."}) {
    SCOPED_TRACE(name);
    desktop_.calls.clear();
    fs::remove_all(root_ / "out");
    fs::create_directories(root_ / "out");
    Collision(name);
    Run();
    EXPECT_EQ(Messages(), std::vector<std::string>{NotWritten({Path(root_ / "out") + "\\" + name})});
    std::set<std::string> written = kWholeExport;
    written.erase("collision.dbo");
    EXPECT_EQ(Tree(root_ / "out"), written);
    std::set<std::string> now = Tree(root_);
    for (const std::string& path : Tree(root_ / "out"))
      now.erase("out/" + path);
    EXPECT_EQ(now, outside);
  }
}

// ---------------------------------------------------------------------------------------------------------
// Nodes that are not regular files

TEST_F(OutputPathRun, PipesAndFoldersInTheWayStayWhatTheyAre) {
  WriteText(Out("level.dbo") / "inside.txt", "kept");
  fs::create_directories(Out("Media"));
  for (const char* name : {"collision.dbo", "Media/wall.png"})
    ASSERT_EQ(mkfifo(Out(name).c_str(), 0600), 0);
  Collision("collision.dbo");
  Run();
  EXPECT_EQ(Messages(),
            std::vector<std::string>{NotWritten({desktop_.savePath, Path(Out("collision.dbo"))})});
  EXPECT_EQ(ReadText(Out("level.dbo") / "inside.txt"), "kept");
  for (const char* name : {"collision.dbo", "Media/wall.png"})
    EXPECT_TRUE(fs::is_fifo(fs::symlink_status(Out(name)))) << name;
  EXPECT_TRUE(NoTemporaryFiles());
}

TEST_F(OutputPathRun, LinksAreReplacedAsLinksAndWhatTheyPointAtIsKept) {
  WriteText(root_ / "target.txt", "kept");
  fs::create_directories(Out("Media"));
  fs::create_symlink(root_ / "target.txt", Out("level.dbo"));
  fs::create_symlink(root_ / "target.txt", Out("Media") / "wall.png");
  Run();
  EXPECT_EQ(Messages(), std::vector<std::string>{kSuccess});
  EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(Out("level.dbo"))));
  EXPECT_TRUE(WalkFile(Out("level.dbo")).ok);
  EXPECT_EQ(ReadText(Out("Media") / "wall.png"), "wall image");
  EXPECT_EQ(ReadText(root_ / "target.txt"), "kept");
}

// ---------------------------------------------------------------------------------------------------------
// Temporary files

TEST_F(OutputPathRun, ExportsToTheSameFileAtOnceEachWriteAWholeFile) {
  SetScene(QuadScene(8, 1000));  // a DBO file of about 1.4 MB
  pid_t children[2];
  for (pid_t& child : children) {
    child = fork();
    if (child == 0) {
      Run();
      std::_Exit(Messages() == std::vector<std::string>{kSuccess} ? 0 : 1);
    }
  }
  for (pid_t child : children) {
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  const DboReport report = WalkFile(Out("level.dbo"));
  EXPECT_TRUE(report.ok) << report.error;
  EXPECT_TRUE(NoTemporaryFiles());

  // Every temporary file has a fresh name of its own in the target's folder.
  desktop_.calls.clear();
  Run();
  Run();
  std::set<std::string> names;
  for (const std::string& call : desktop_.calls) {
    if (call.rfind("temporary ", 0) != 0) continue;
    EXPECT_EQ(call.rfind("temporary " + Path(root_ / "out") + "\\", 0), 0u) << call;
    EXPECT_EQ(call.size() - call.rfind("\\~tessaline-"), 32u) << call;
    names.insert(call);
  }
  EXPECT_EQ(names.size(), 6u);  // the DBO file and two textures, twice
}

// A desktop on which a signal arrives while the DBO file is being written.
class InterruptedWhileWriting : public HeadlessDesktop {
 public:
  int signal = 0;
  void SetStageText(const std::string& text) override {
    HeadlessDesktop::SetStageText(text);
    writing_ = text == "Please Wait....Writing Data to file.";
  }
  void StepBar() override {
    HeadlessDesktop::StepBar();
    if (writing_) std::raise(signal);
  }

 private:
  bool writing_ = false;
};

TEST_F(OutputPathRun, InterruptedExportRemovesItsTemporaryFileAndEndsBySignal) {
  WriteText(Out("level.dbo"), "earlier export");
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(signal);
    auto child = [&] {
      RemoveTemporaryFilesOnInterrupt();
      InterruptedWhileWriting desktop;
      desktop.signal = signal;
      desktop.savePath = desktop_.savePath;
      RunExport(desktop, host_, settings_);
      std::_Exit(0);
    };
    EXPECT_EXIT(child(), ::testing::KilledBySignal(signal), "");
    EXPECT_EQ(ReadText(Out("level.dbo")), "earlier export");
    EXPECT_TRUE(NoTemporaryFiles());
  }
}

}  // namespace
}  // namespace tessaline::hardening
