// Whole export runs against the headless desktop and a scripted host.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "plugin/plugin.h"
#include "scripted_host.h"
#include "support.h"

namespace tessaline {
namespace {

namespace fs = std::filesystem;
using testing::HostScope;
using testing::ScriptedHost;

const char* kScene = R"(<scene version="1.6">
  <materials highestID="1">
    <material id="1" name="wall">
      <layer type="texture" blend="replace"><texture file="Bricks\wall.png" /></layer>
    </material>
  </materials>
  <primitives highestID="1">
    <primitive id="0" name="block">
      <vertices>
        <vertex id="0" x="0" y="0" z="0" /><vertex id="1" x="1" y="0" z="0" />
        <vertex id="2" x="1" y="1" z="0" /><vertex id="3" x="0" y="1" z="0" />
      </vertices>
      <polygons>
        <poly mid="1"><vertex vid="0" u0="0" v0="0" /><vertex vid="1" u0="1" v0="0" /><vertex vid="2" u0="1" v0="1" /></poly>
        <poly mid="1"><vertex vid="0" u0="0" v0="0" /><vertex vid="1" u0="1" v0="0" /><vertex vid="2" u0="1" v0="1" /><vertex vid="3" u0="0" v0="1" /></poly>
      </polygons>
    </primitive>
  </primitives>
</scene>)";

using testing::Backslashed;
using testing::ReadText;
using testing::WriteText;

// A fresh folder with an editor install (Textures\Bricks\wall.png) and an output folder.
class ExportRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() /
            ("tessaline-run-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(root_);
    fs::create_directories(root_ / "out");
    WriteText(root_ / "editor" / "Textures" / "Bricks" / "wall.png", "not really a png");
    host_.answers[kInstallDirectoryRequest] =
        "<installdirectory>" + Backslashed((root_ / "editor").string()) + "</installdirectory>";
    host_.answers[kSceneAllRequest] = kScene;
    host_.answers[kSceneSelectionRequest] = kScene;
    desktop_.savePath = Backslashed((root_ / "out" / "level.dbo").string());
  }
  void TearDown() override { fs::remove_all(root_); }

  void Run() {
    HostScope scope(host_);
    RunExport(desktop_, &ScriptedHost::Callback, settings_);
  }

  std::vector<std::string> CallsStartingWith(const std::vector<std::string>& prefixes) const {
    std::vector<std::string> out;
    for (const std::string& call : desktop_.calls) {
      for (const std::string& prefix : prefixes) {
        if (call.rfind(prefix, 0) == 0) {
          out.push_back(call);
          break;
        }
      }
    }
    return out;
  }
  std::vector<std::string> Messages() const { return CallsStartingWith({"message "}); }
  std::vector<std::string> ProgressCalls() const {
    return CallsStartingWith({"stage ", "range ", "step", "position ", "advance "});
  }

  fs::path root_;
  ScriptedHost host_;
  HeadlessDesktop desktop_;
  ExportSettings settings_;
};

TEST_F(ExportRunTest, CompleteRunFollowsTheBarScriptAndEndsWithTheSuccessMessage) {
  Run();
  const std::vector<std::string> expected = {
      "range 0 100",
      "step-size 15",
      "stage Please Wait....Getting Data from DeleD.",
      "step",  // scene fetched: 15
      "stage Please Wait....Parsing Data.",
      "step-size 5",
      "step",  // materials read: 20
      "step-size 10",
      "step",  // primitives read: 30
      "stage Please Wait....Creating Meshes.",
      "step-size 11",  // 2 polygons x 2/45 = 0.088..: step 11, threshold 1
      "step",          // after polygon 1
      "step",          // after both builder runs
      "position 0",
      "stage Please Wait....Writing Data to file.",
      "step-size 80",  // 1 mesh x 0.0125
      "stage Please Wait....Saving Textures.",
      "step-size 20",  // 1 texture x 0.05
      "step",          // once at the end
  };
  EXPECT_EQ(ProgressCalls(), expected);
  EXPECT_EQ(desktop_.barPosition, 20);
  EXPECT_EQ(Messages(),
            std::vector<std::string>{"message Tessaline|Scene correctly exported.\n|information"});
  EXPECT_EQ(desktop_.calls.front(), "load");
  EXPECT_EQ(desktop_.calls.back(), "release");

  ASSERT_EQ(host_.calls.size(), 4u);
  EXPECT_EQ(host_.calls[0].request, kInstallDirectoryRequest);
  EXPECT_EQ(host_.calls[0].reason, GetMem);
  EXPECT_EQ(host_.calls[1].reason, GetData);
  EXPECT_EQ(host_.calls[2].request, kSceneAllRequest);
  EXPECT_TRUE(fs::exists(root_ / "out" / "level.dbo"));
  EXPECT_EQ(ReadText(root_ / "out" / "Media" / "wall.png"), "not really a png");
  EXPECT_FALSE(fs::exists(root_ / "out" / "level_col.dbo"));
  // No temporary file is left behind.
  EXPECT_EQ(std::distance(fs::directory_iterator(root_ / "out"), fs::directory_iterator()), 2);
}

TEST_F(ExportRunTest, DefaultOptionsAreTheDialogsStartValues) {
  Run();
  EXPECT_TRUE(settings_.allObjects);
  EXPECT_EQ(settings_.sceneName, "DeleDExported");
  EXPECT_TRUE(settings_.exportTextures);
  EXPECT_EQ(settings_.textureFolder, "Media");
  EXPECT_EQ(settings_.collisionMode, CollisionMode::None);
  EXPECT_EQ(settings_.collisionFileName, "");
  EXPECT_EQ(settings_.scaleX, 1.0f);
}

TEST_F(ExportRunTest, CancelSendsNoRequestWritesNothingAndSaysNothing) {
  desktop_.optionsAccepted = false;
  Run();
  EXPECT_TRUE(host_.calls.empty());
  EXPECT_EQ(desktop_.calls,
            (std::vector<std::string>{"load", "options", "progress open", "progress close", "release"}));
  EXPECT_TRUE(fs::is_empty(root_ / "out"));
}

TEST_F(ExportRunTest, NoCallbackEndsAtOnce) {
  RunExport(desktop_, nullptr, settings_);
  EXPECT_TRUE(desktop_.calls.empty());
}

TEST_F(ExportRunTest, ModuleThatCannotLoadEndsWithoutWindowOrMessage) {
  desktop_.moduleLoads = false;
  Run();
  EXPECT_EQ(desktop_.calls, std::vector<std::string>{"load"});
  EXPECT_TRUE(host_.calls.empty());
}

TEST_F(ExportRunTest, SelectedObjectsSendTheSelectionRequest) {
  desktop_.options.allObjects = false;
  Run();
  ASSERT_GE(host_.calls.size(), 3u);
  EXPECT_EQ(host_.calls[2].request, kSceneSelectionRequest);
}

TEST_F(ExportRunTest, InstallDirectoryErrorIsShownAndTheExportGoesOn) {
  host_.errors[{kInstallDirectoryRequest, GetMem}] = 13;
  Run();
  const std::vector<std::string> expected = {
      "message Error in Callback|Error Code 13: Error in Material Data.|error",
      // The image is then looked for in \Textures\ of the current drive, which does not have it.
      "message Tessaline|Scene correctly exported.\nThis texture could not be placed beside "
      "it:\nMedia\\wall.png\n|"
      "warning",
  };
  EXPECT_EQ(Messages(), expected);
  EXPECT_TRUE(fs::exists(root_ / "out" / "level.dbo"));
}

TEST_F(ExportRunTest, SceneErrorShowsTheCodeAndEndsWithoutOutput) {
  host_.errors[{kSceneAllRequest, GetData}] = 4294967295u;
  Run();
  EXPECT_EQ(Messages(), std::vector<std::string>{
                            "message Error in Callback|Error Code 4294967295: Unknown Error Code.|error"});
  const std::vector<std::string> progress = ProgressCalls();
  // The stage jumps from getting data straight to writing, and the bar to 0.
  const std::vector<std::string> tail(progress.end() - 3, progress.end());
  EXPECT_EQ(tail,
            (std::vector<std::string>{"step", "position 0", "stage Please Wait....Writing Data to file."}));
  EXPECT_TRUE(fs::is_empty(root_ / "out"));
  EXPECT_EQ(CallsStartingWith({"save"}).size(), 0u);
}

TEST_F(ExportRunTest, EmptyAnswerSendsNoGetDataAndEndsSilently) {
  host_.announcedSizes[kSceneAllRequest] = 0;
  Run();
  ASSERT_EQ(host_.calls.size(), 3u);
  EXPECT_EQ(host_.calls[2].reason, GetMem);
  EXPECT_TRUE(Messages().empty());
  EXPECT_TRUE(fs::is_empty(root_ / "out"));
}

TEST_F(ExportRunTest, AnswerEndsAtItsFirstNul) {
  host_.answers[kSceneAllRequest] = std::string(kScene) + std::string(1, '\0') + "<garbage";
  host_.announcedSizes[kSceneAllRequest] = static_cast<uint32_t>(host_.answers[kSceneAllRequest].size() + 1);
  Run();
  EXPECT_EQ(Messages(),
            std::vector<std::string>{"message Tessaline|Scene correctly exported.\n|information"});
}

TEST_F(ExportRunTest, SaveDialogCancelledWritesNothing) {
  desktop_.saveAccepted = false;
  Run();
  EXPECT_TRUE(Messages().empty());
  EXPECT_TRUE(fs::is_empty(root_ / "out"));
}

TEST_F(ExportRunTest, TexturesOffAdvanceTheBarBy20AndPlaceNothing) {
  desktop_.options.exportTextures = false;
  Run();
  const std::vector<std::string> progress = ProgressCalls();
  EXPECT_EQ(progress.back(), "advance 20");
  EXPECT_TRUE(CallsStartingWith({"stage Please Wait....Saving Textures."}).empty());
  EXPECT_FALSE(fs::exists(root_ / "out" / "Media"));
  EXPECT_EQ(Messages(),
            std::vector<std::string>{"message Tessaline|Scene correctly exported.\n|information"});
}

struct CollisionCase {
  const char* chosen;
  const char* collisionFileName;
  const char* expected;
};

TEST_F(ExportRunTest, CollisionFileNamesFollowTheChosenPath) {
  const CollisionCase cases[] = {
      {"level.dbo", "", "level_col.dbo"},
      {"level", "", "level_col.dbo"},
      {"my.level.dbo", "", "my_col.dbo"},
      {"level.dbo", "coll.dbo", "coll.dbo"},
  };
  for (const CollisionCase& c : cases) {
    SCOPED_TRACE(c.chosen);
    fs::remove_all(root_ / "out");
    fs::create_directories(root_ / "out");
    desktop_.calls.clear();
    desktop_.savePath = Backslashed((root_ / "out" / c.chosen).string());
    desktop_.options.exportCollision = true;
    desktop_.options.collisionFileName = c.collisionFileName;
    Run();
    EXPECT_TRUE(fs::exists(root_ / "out" / c.chosen));
    EXPECT_TRUE(fs::exists(root_ / "out" / c.expected));
  }
}

TEST_F(ExportRunTest, MissingOutputFolderIsReportedNotCelebrated) {
  desktop_.savePath = Backslashed((root_ / "nowhere" / "level.dbo").string());
  desktop_.options.exportCollision = true;
  desktop_.options.collisionFileName = "";
  Run();
  const std::vector<std::string> messages = Messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_NE(messages[0].find("these files could not be written"), std::string::npos);
  EXPECT_NE(messages[0].find("level_col.dbo"), std::string::npos);
  EXPECT_EQ(messages[0].substr(messages[0].size() - 6), "|error");
  EXPECT_FALSE(fs::exists(root_ / "nowhere"));
}

TEST_F(ExportRunTest, AbsurdAnswerSizeIsAFailedExchangeNotACrash) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer needs more address space than the limit this test sets";
#endif
  // Limit the address space in a child process so that the 4 GiB buffer cannot be had.
  auto run = [this] {
    rlimit limit{1u << 30, 1u << 30};
    setrlimit(RLIMIT_AS, &limit);
    host_.announcedSizes[kSceneAllRequest] = 0xFFFFFFFFu;
    Run();
    const std::vector<std::string> messages = Messages();
    const bool reported =
        messages.size() == 1 && messages[0].find("does not fit in memory") != std::string::npos;
    const bool noGetData = host_.calls.size() == 3;
    std::exit(reported && noGetData && fs::is_empty(root_ / "out") ? 0 : 1);
  };
  EXPECT_EXIT(run(), ::testing::ExitedWithCode(0), "");
}

TEST(PluginExports, DescribeThePlugin) {
  EXPECT_STREQ(PluginName(), "DeleD Tessaline Plugin");
  EXPECT_STREQ(PluginDescription(),
               "This is Tessaline plugin that exports a DBO file to be used with DarkBasic Pro.");
  EXPECT_STREQ(PluginDeleDVersion(), "1.6");
  EXPECT_STREQ(PluginVersion(), "2.0");
  EXPECT_EQ(PluginName(), PluginName());
}

TEST(PluginExports, ExecuteWithoutCallbackOrDesktopDoesNothing) {
  HeadlessDesktop desktop;
  SetDesktop(&desktop);
  PluginSetCallback(nullptr);
  PluginExecute();
  EXPECT_TRUE(desktop.calls.empty());
  SetDesktop(nullptr);
}

int g_firstCalls = 0;
int g_secondCalls = 0;
uint32_t TESSALINE_STDCALL FirstCallback(CallbackRecord*) {
  return ++g_firstCalls, 1;
}
uint32_t TESSALINE_STDCALL SecondCallback(CallbackRecord*) {
  return ++g_secondCalls, 1;
}

TEST(PluginExports, SecondCallbackReplacesTheFirst) {
  HeadlessDesktop desktop;
  SetDesktop(&desktop);
  PluginSetCallback(&FirstCallback);
  PluginSetCallback(&SecondCallback);
  PluginExecute();
  SetDesktop(nullptr);
  PluginSetCallback(nullptr);
  EXPECT_EQ(g_firstCalls, 0);
  EXPECT_EQ(g_secondCalls, 2);  // install directory and scene, both refused
}

}  // namespace
}  // namespace tessaline
