#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <tuple>
#include <vector>

#include <unistd.h>

#include "png_check.h"
#include "textures/textures.h"

namespace tessaline {
namespace {

namespace fs = std::filesystem;
using testing::DecodedPng;
using testing::DecodeWithLibpng;

// Every call the stage makes, in order, in one log shared by the bar and the files.
struct Log {
  std::vector<std::string> lines;
};

class RecordingProgress : public ProgressWindow {
 public:
  explicit RecordingProgress(Log& log) : log_(log) {}
  void SetStageText(const std::string& text) override { log_.lines.push_back("stage " + text); }
  void SetBarRange(int low, int high) override {
    log_.lines.push_back("range " + std::to_string(low) + " " + std::to_string(high));
  }
  void SetBarStep(int step) override { log_.lines.push_back("setstep " + std::to_string(step)); }
  void StepBar() override { log_.lines.push_back("step"); }
  void SetBarPosition(int position) override { log_.lines.push_back("position " + std::to_string(position)); }
  void AdvanceBar(int delta) override { log_.lines.push_back("advance " + std::to_string(delta)); }

 private:
  Log& log_;
};

// The real files underneath, every operation logged.
class RecordingFiles : public StdFileSystem {
 public:
  explicit RecordingFiles(Log& log) : log_(log) {}
  bool CreateFolder(const std::string& path) override {
    log_.lines.push_back("folder " + path);
    return StdFileSystem::CreateFolder(path);
  }
  bool CopyFile(const std::string& from, const std::string& to) override {
    log_.lines.push_back("copy " + from + " -> " + to);
    return StdFileSystem::CopyFile(from, to);
  }
  bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) override {
    log_.lines.push_back("write " + path);
    return StdFileSystem::WriteFile(path, bytes);
  }

 private:
  Log& log_;
};

// Files that exist nowhere: every operation succeeds and is logged.
class NoFiles : public FileSystem {
 public:
  explicit NoFiles(Log& log) : log_(log) {}
  bool CreateFolder(const std::string& path) override {
    log_.lines.push_back("folder " + path);
    return true;
  }
  bool CopyFile(const std::string&, const std::string& to) override {
    log_.lines.push_back("copy " + to);
    return true;
  }
  bool WriteFile(const std::string& path, const std::vector<uint8_t>&) override {
    log_.lines.push_back("write " + path);
    return true;
  }
  bool ReplaceFile(const std::string&, const std::string&) override { return true; }
  void RemoveFile(const std::string&) override {}
  std::string NativePath(const std::string& path) override { return path; }

 private:
  Log& log_;
};

struct Layer {
  std::string name;
  std::string source;
  bool isFile;
};

MeshRecord Mesh(const std::vector<Layer>& layers) {
  MeshRecord mesh;
  for (const Layer& layer : layers) {
    mesh.material.textureNames.push_back(layer.name);
    mesh.material.textureSources.push_back(layer.source);
    mesh.material.textureIsFile.push_back(layer.isFile);
    mesh.material.blendModes.push_back(BlendNone);
  }
  mesh.material.layerCount = static_cast<uint32_t>(layers.size());
  return mesh;
}

// A colour layer as the scene reader and the export run make it.
Layer Colour(int r, int g, int b, int a, const std::string& folder = "Media") {
  std::string name = "col_rgba_" + std::to_string(r) + "_" + std::to_string(g) + "_" + std::to_string(b) +
                     "_" + std::to_string(a) + "_.png";
  return {folder.empty() ? name : folder + "\\" + name, name, false};
}

std::string Backslashed(const fs::path& path) {
  std::string text = path.string();
  for (char& c : text) {
    if (c == '/') c = '\\';
  }
  return text;
}

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::vector<uint8_t> ReadBytes(const fs::path& path) {
  std::string text = ReadText(path);
  return std::vector<uint8_t>(text.begin(), text.end());
}

void WriteText(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

// Every file below a folder, relative to it, sorted.
std::vector<std::string> FilesBelow(const fs::path& root) {
  std::vector<std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (entry.is_regular_file()) files.push_back(fs::relative(entry.path(), root).string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

// A scratch folder with an editor installation (its Textures folder) and an empty output folder.
class TextureStage : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("tessaline-stage-" + std::to_string(::getpid()) + "-" +
                                         ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
    fs::create_directories(root_ / "out");
    WriteText(root_ / "editor" / "Textures" / "Bricks" / "brick01.jpg", "brick image");
    WriteText(root_ / "editor" / "Textures" / "Bricks" / "wall.jpg", "brick wall");
    WriteText(root_ / "editor" / "Textures" / "Stone" / "wall.jpg", "stone wall");
    install_ = Backslashed(root_ / "editor");
    output_ = Backslashed(root_ / "out") + "\\";
  }
  void TearDown() override { fs::remove_all(root_); }

  std::vector<std::string> Run(const std::vector<MeshRecord>& meshes, const std::string& folder = "Media") {
    RecordingProgress progress(log_);
    RecordingFiles files(log_);
    return ExportTextures(true, folder, output_, install_, meshes, progress, files);
  }

  fs::path Out() const { return root_ / "out"; }

  fs::path root_;
  std::string install_;
  std::string output_;
  Log log_;
};

TEST_F(TextureStage, CopiesImagesAndWritesColoursIntoTheFolder) {
  std::vector<std::string> missed =
      Run({Mesh({{"Media\\brick01.jpg", "Bricks\\brick01.jpg", true}, Colour(255, 0, 0, 255)})});
  EXPECT_TRUE(missed.empty());
  EXPECT_EQ(FilesBelow(Out()),
            (std::vector<std::string>{"Media/brick01.jpg", "Media/col_rgba_255_0_0_255_.png"}));
  EXPECT_EQ(ReadText(Out() / "Media" / "brick01.jpg"), "brick image");
  DecodedPng red = DecodeWithLibpng(ReadBytes(Out() / "Media" / "col_rgba_255_0_0_255_.png"));
  ASSERT_TRUE(red.ok) << red.error;
  EXPECT_EQ(red.colorType, 2);
  EXPECT_EQ(red.width, 8u);
  EXPECT_EQ(red.height, 8u);
  for (size_t i = 0; i < red.rgba.size(); i += 4) {
    ASSERT_EQ(std::vector<uint8_t>(red.rgba.begin() + i, red.rgba.begin() + i + 4),
              (std::vector<uint8_t>{255, 0, 0, 255}));
  }
  // The source path is the install directory, a backslash, "Textures\" and the source as given.
  EXPECT_EQ(log_.lines[2], "folder " + output_ + "Media");
  EXPECT_EQ(log_.lines[3],
            "copy " + install_ + "\\Textures\\Bricks\\brick01.jpg -> " + output_ + "Media\\brick01.jpg");
}

TEST_F(TextureStage, WithoutFolderNamePlacesFilesInTheOutputDirectory) {
  std::vector<std::string> missed =
      Run({Mesh({{"brick01.jpg", "Bricks\\brick01.jpg", true}, Colour(1, 2, 3, 4, "")})}, "");
  EXPECT_TRUE(missed.empty());
  EXPECT_EQ(FilesBelow(Out()), (std::vector<std::string>{"brick01.jpg", "col_rgba_1_2_3_4_.png"}));
  for (const std::string& line : log_.lines)
    EXPECT_NE(line.rfind("folder", 0), 0u) << line;
}

TEST_F(TextureStage, FirstSlotOfANameWinsAndEachNameIsPlacedOnce) {
  std::vector<std::string> missed = Run({
      Mesh({{"Media\\wall.jpg", "Bricks\\wall.jpg", true}, Colour(9, 9, 9, 255)}),
      Mesh({{"Media\\wall.jpg", "Stone\\wall.jpg", true}, Colour(9, 9, 9, 255)}),
      Mesh({{"Media\\wall.jpg", "Media\\wall.jpg", false}}),
  });
  EXPECT_TRUE(missed.empty());
  EXPECT_EQ(ReadText(Out() / "Media" / "wall.jpg"), "brick wall");
  EXPECT_EQ(log_.lines,
            (std::vector<std::string>{
                "stage Please Wait....Saving Textures.",
                "setstep 10",  // two entries: 20 / 2
                "folder " + output_ + "Media",
                "copy " + install_ + "\\Textures\\Bricks\\wall.jpg -> " + output_ + "Media\\wall.jpg",
                "write " + output_ + "Media\\col_rgba_9_9_9_255_.png",
                "step",  // after entry 1
                "step",  // at the end
            }));
}

TEST_F(TextureStage, ColourChannelsKeepTheirLowEightBits) {
  std::vector<std::string> missed = Run({Mesh({
      {"Media\\col_rgba_256_-1_300_255_.png", "col_rgba_256_-1_300_255_.png", false},
      {"Media\\col_rgba_-128_511_7_1000_.png", "col_rgba_-128_511_7_1000_.png", false},
  })});
  EXPECT_TRUE(missed.empty());
  DecodedPng opaque = DecodeWithLibpng(ReadBytes(Out() / "Media" / "col_rgba_256_-1_300_255_.png"));
  ASSERT_TRUE(opaque.ok) << opaque.error;
  EXPECT_EQ(opaque.colorType, 2);
  EXPECT_EQ(std::vector<uint8_t>(opaque.rgba.begin(), opaque.rgba.begin() + 4),
            (std::vector<uint8_t>{0, 255, 44, 255}));
  DecodedPng translucent = DecodeWithLibpng(ReadBytes(Out() / "Media" / "col_rgba_-128_511_7_1000_.png"));
  ASSERT_TRUE(translucent.ok) << translucent.error;
  EXPECT_EQ(translucent.colorType, 6);
  EXPECT_EQ(std::vector<uint8_t>(translucent.rgba.end() - 4, translucent.rgba.end()),
            (std::vector<uint8_t>{128, 255, 7, 232}));
}

TEST_F(TextureStage, MissingInstallDirectoryLeavesCopiesUnplaced) {
  install_ = Backslashed(root_ / "no-such-editor");
  std::vector<std::string> missed = Run({Mesh({{"Media\\brick01.jpg", "Bricks\\brick01.jpg", true},
                                               Colour(0, 0, 0, 0),
                                               {"Media\\gone.jpg", "Bricks\\gone.jpg", true}})});
  EXPECT_EQ(missed, (std::vector<std::string>{"Media\\brick01.jpg", "Media\\gone.jpg"}));
  EXPECT_EQ(FilesBelow(Out()), (std::vector<std::string>{"Media/col_rgba_0_0_0_0_.png"}));
}

TEST_F(TextureStage, ReExportOverwritesEveryFile) {
  WriteText(Out() / "Media" / "brick01.jpg", "an older brick image that is longer");
  WriteText(Out() / "Media" / "col_rgba_5_6_7_8_.png", "not a png");
  std::vector<std::string> missed =
      Run({Mesh({{"Media\\brick01.jpg", "Bricks\\brick01.jpg", true}, Colour(5, 6, 7, 8)})});
  EXPECT_TRUE(missed.empty());
  EXPECT_EQ(ReadText(Out() / "Media" / "brick01.jpg"), "brick image");
  DecodedPng colour = DecodeWithLibpng(ReadBytes(Out() / "Media" / "col_rgba_5_6_7_8_.png"));
  ASSERT_TRUE(colour.ok) << colour.error;
  EXPECT_EQ(std::vector<uint8_t>(colour.rgba.begin(), colour.rgba.begin() + 4),
            (std::vector<uint8_t>{5, 6, 7, 8}));
  EXPECT_EQ(FilesBelow(Out()),
            (std::vector<std::string>{"Media/brick01.jpg", "Media/col_rgba_5_6_7_8_.png"}));
}

TEST_F(TextureStage, RefusesNamesThatLeaveTheOutputDirectory) {
  const std::string absolute = Backslashed(root_ / "escaped.jpg");
  std::vector<std::string> missed = Run({Mesh({
      {"Media\\..\\..\\escaped.jpg", "Bricks\\brick01.jpg", true},
      {"..\\col_rgba_1_1_1_1_.png", "col_rgba_1_1_1_1_.png", false},
      {absolute, "Bricks\\brick01.jpg", true},
      {"Media/../../escaped2.jpg", "Bricks\\brick01.jpg", true},
      {"C:escaped3.jpg", "Bricks\\brick01.jpg", true},
      {"Media\\brick01.jpg", "Bricks\\brick01.jpg", true},
  })});
  EXPECT_EQ(missed, (std::vector<std::string>{"Media\\..\\..\\escaped.jpg", "..\\col_rgba_1_1_1_1_.png",
                                              absolute, "Media/../../escaped2.jpg", "C:escaped3.jpg"}));
  // Only the safe name was placed, and nothing appeared outside the output folder.
  EXPECT_EQ(FilesBelow(Out()), (std::vector<std::string>{"Media/brick01.jpg"}));
  std::vector<std::string> all = FilesBelow(root_);
  EXPECT_EQ(
      std::count_if(all.begin(), all.end(), [](const std::string& f) { return f.rfind("editor", 0) != 0; }),
      1);
}

TEST_F(TextureStage, UnplacedNamesIncludeNonColourGeneratedNames) {
  std::vector<std::string> missed = Run({Mesh({{"Media\\plain.png", "plain.png", false},
                                               {"Media\\col_rgba_1_2_.png", "col_rgba_1_2_.png", false},
                                               {"Media\\colour_rgba_1_2_3_4_.png", "x", false}})});
  EXPECT_EQ(missed, (std::vector<std::string>{"Media\\plain.png", "Media\\col_rgba_1_2_.png",
                                              "Media\\colour_rgba_1_2_3_4_.png"}));
  EXPECT_TRUE(FilesBelow(Out()).empty());
}

TEST(TextureNames, SafeNamesStayBelowTheOutputDirectory) {
  for (const char* name : {"brick.jpg", "Media\\brick.jpg", "Media\\Sub\\a..b.jpg", "Media\\.\\brick.jpg",
                           "..brick.jpg", "Media\\col_rgba_-1_0_0_255_.png"}) {
    EXPECT_TRUE(IsSafeTextureName(name)) << name;
  }
  for (const char* name :
       {"", "..", "..\\brick.jpg", "Media\\..\\..\\brick.jpg", "Media\\..", "\\brick.jpg",
        "\\\\server\\share\\brick.jpg", "C:\\brick.jpg", "C:brick.jpg", "Media/brick.jpg", "/etc/passwd",
        "Media\\...\\brick.jpg", "Media\\.. \\brick.jpg", "brick.jpg:stream"}) {
    EXPECT_FALSE(IsSafeTextureName(name)) << name;
  }
}

// The bar calls and the file operations of one run over n colour entries, without touching the disk.
std::vector<std::string> BarAndFiles(size_t n, bool exportTextures = true) {
  std::vector<Layer> layers;
  for (size_t i = 0; i < n; ++i)
    layers.push_back(Colour(static_cast<int>(i), 0, 0, 255, ""));
  Log log;
  RecordingProgress progress(log);
  NoFiles files(log);
  std::vector<std::string> missed =
      ExportTextures(exportTextures, "", "out\\", "editor", {Mesh(layers)}, progress, files);
  EXPECT_TRUE(missed.empty());
  return log.lines;
}

// The step size set, the entry indices after which the bar stepped during the loop, and the number of
// steps at the end.
std::tuple<std::string, std::vector<size_t>, size_t> BarSteps(std::vector<std::string> lines) {
  size_t finalSteps = 0;
  if (!lines.empty() && lines.back() == "step") {
    lines.pop_back();
    finalSteps = 1;
  }
  std::string step;
  std::vector<size_t> after;
  size_t written = 0;
  for (const std::string& line : lines) {
    if (line.rfind("setstep ", 0) == 0) step = line.substr(8);
    if (line.rfind("write ", 0) == 0) ++written;
    if (line == "step") after.push_back(written - 1);
  }
  return {step, after, finalSteps};
}

TEST(TextureStagePacing, StepsTheBarAfterDoublingThresholdsAndOnceAtTheEnd) {
  using Steps = std::tuple<std::string, std::vector<size_t>, size_t>;
  // 1 entry: x = 0.05, step 20, threshold 1; entry 0 never reaches it; the final step moves by 20.
  EXPECT_EQ(BarSteps(BarAndFiles(1)), (Steps{"20", {}, 1}));
  // 10 entries: x = 0.5, step 2, after entries 1, 2, 4 and 8.
  EXPECT_EQ(BarSteps(BarAndFiles(10)), (Steps{"2", {1, 2, 4, 8}, 1}));
  // 100 entries: x = 5, step 1, after entries 5, 10, 20, 40 and 80.
  EXPECT_EQ(BarSteps(BarAndFiles(100)), (Steps{"1", {5, 10, 20, 40, 80}, 1}));
  // No entries: the bar does not move during the loop; the final step still comes.
  EXPECT_EQ(BarAndFiles(0),
            (std::vector<std::string>{"stage Please Wait....Saving Textures.", "setstep 0", "step"}));
}

TEST(TextureStagePacing, TexturesOffOnlyAdvancesTheBarByTwenty) {
  EXPECT_EQ(BarAndFiles(0, false), (std::vector<std::string>{"advance 20"}));
  std::vector<Layer> layers = {Colour(1, 2, 3, 4)};
  Log log;
  RecordingProgress progress(log);
  NoFiles files(log);
  EXPECT_TRUE(ExportTextures(false, "Media", "out\\", "editor", {Mesh(layers)}, progress, files).empty());
  EXPECT_EQ(log.lines, (std::vector<std::string>{"advance 20"}));
}

TEST(TextureStagePacing, CreatesTheFolderEvenWithoutLayers) {
  Log log;
  RecordingProgress progress(log);
  NoFiles files(log);
  ExportTextures(true, "Media", "C:\\Games\\Level1\\", "C:\\Editor", {Mesh({}), Mesh({})}, progress, files);
  EXPECT_EQ(log.lines, (std::vector<std::string>{"stage Please Wait....Saving Textures.", "setstep 0",
                                                 "folder C:\\Games\\Level1\\Media", "step"}));
}

// ---------------------------------------------------------------------------------------------------------
// StdFileSystem

class StdFiles : public TextureStage {};

TEST_F(StdFiles, MapsBackslashesToTheSystemSeparator) {
  StdFileSystem files;
  EXPECT_EQ(files.NativePath("out\\Media\\a.png"), "out/Media/a.png");
  EXPECT_TRUE(files.CreateFolder(output_ + "Media"));
  EXPECT_FALSE(files.CreateFolder(output_ + "Media"));  // exists already
  EXPECT_FALSE(files.CreateFolder(output_ + "A\\B"));   // one level only
  EXPECT_TRUE(fs::is_directory(Out() / "Media"));
}

TEST_F(StdFiles, WriteReplacesTheFileOnlyWhenComplete) {
  StdFileSystem files;
  const std::string path = output_ + "a.png";
  ASSERT_TRUE(files.WriteFile(path, {1, 2, 3}));
  EXPECT_EQ(ReadText(Out() / "a.png"), std::string("\1\2\3"));
  ASSERT_TRUE(files.WriteFile(path, {4}));
  EXPECT_EQ(ReadText(Out() / "a.png"), std::string("\4"));

  // The temporary file cannot be made: the old file survives.
  fs::create_directory(files.NativePath(TemporaryPathFor(path)));
  EXPECT_FALSE(files.WriteFile(path, {5, 6}));
  EXPECT_EQ(ReadText(Out() / "a.png"), std::string("\4"));
  fs::remove(files.NativePath(TemporaryPathFor(path)));

  // The finished file cannot replace the target (a folder): the temporary file is gone afterwards.
  fs::create_directories(Out() / "folder.png" / "inside");
  EXPECT_FALSE(files.WriteFile(output_ + "folder.png", {7}));
  EXPECT_FALSE(fs::exists(files.NativePath(TemporaryPathFor(output_ + "folder.png"))));

  // No such folder.
  EXPECT_FALSE(files.WriteFile(output_ + "missing\\a.png", {1}));
  EXPECT_EQ(FilesBelow(Out()), (std::vector<std::string>{"a.png"}));
}

TEST_F(StdFiles, CopyOverwritesAndFailsOnMissingSource) {
  StdFileSystem files;
  WriteText(Out() / "b.jpg", "old and longer");
  EXPECT_TRUE(files.CopyFile(install_ + "\\Textures\\Stone\\wall.jpg", output_ + "b.jpg"));
  EXPECT_EQ(ReadText(Out() / "b.jpg"), "stone wall");
  EXPECT_FALSE(files.CopyFile(install_ + "\\Textures\\none.jpg", output_ + "b.jpg"));
  EXPECT_FALSE(files.CopyFile(install_ + "\\Textures", output_ + "c.jpg"));  // a folder is no image
  EXPECT_EQ(ReadText(Out() / "b.jpg"), "stone wall");
  EXPECT_EQ(FilesBelow(Out()), (std::vector<std::string>{"b.jpg"}));
}

}  // namespace
}  // namespace tessaline
