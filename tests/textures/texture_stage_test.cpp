#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include <unistd.h>

#include "support.h"
#include "textures/textures.h"

namespace tessaline {
namespace {

namespace fs = std::filesystem;
using testing::ReadText;
using testing::WriteText;
using Names = std::vector<std::string>;

using Layer = std::tuple<std::string, std::string, bool>;  // texture name, source, copied from a file

SceneMaterial Material(const std::vector<Layer>& layers) {
  SceneMaterial material;
  for (const auto& [name, source, isFile] : layers)
    material.layers.push_back({.name = name, .source = source, .isFile = isFile});
  return material;
}

// The PNG file of an 8 x 8 texture of one colour, as the encoder writes it.
std::string Png8x8(const std::vector<uint8_t>& rgba) {
  std::vector<uint8_t> image, file;
  for (int i = 0; i < 64; ++i)
    image.insert(image.end(), rgba.begin(), rgba.end());
  PngEncoder().encode(file, image.data(), 8, 8);
  return {file.begin(), file.end()};
}

// A colour layer as the scene reader makes it, channels written as "R_G_B_A".
Layer Colour(const std::string& channels) {
  const std::string name = "col_rgba_" + channels + "_.png";
  return {"Media\\" + name, name, false};
}

// A scratch folder with an editor installation (its Textures folder) and an empty output folder. The
// fixture is the stage's progress window and file system (real files) too, and logs the calls to them.
class TextureStage : public ::testing::Test, public ProgressWindow, public StdFileSystem {
 protected:
  void SetUp() override {
    root_ = ::testing::TempDir() + "tessaline-stage-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name() + "/";
    fs::remove_all(root_);
    fs::create_directories(root_ + "out");
    WriteText(root_ + "editor/Textures/Bricks/wall.jpg", "brick wall");
    WriteText(root_ + "editor/Textures/Stone/wall.jpg", "stone wall");
    log_.clear();
  }
  void TearDown() override { fs::remove_all(root_); }

  void SetStageText(const std::string& text) override { log_.push_back("stage " + text); }
  void SetBarRange(int, int) override { log_.push_back("range"); }
  void SetBarStep(int step) override { log_.push_back("setstep " + std::to_string(step)); }
  void StepBar() override { log_.push_back("step at " + std::to_string(FilesBelow().size()) + " files"); }
  void SetBarPosition(int) override { log_.push_back("position"); }
  void AdvanceBar(int delta) override { log_.push_back("advance " + std::to_string(delta)); }

  Names Run(const std::vector<SceneMaterial>& materials, bool on = true) {
    return ExportTextures(on, "Media", root_ + "out\\", root_ + "editor", materials, *this, *this).notPlaced;
  }
  // Every file below a folder of the scratch folder, sorted.
  Names FilesBelow(const std::string& folder = "out") const {
    Names files;
    for (const auto& entry : fs::recursive_directory_iterator(root_ + folder))
      if (entry.is_regular_file()) files.push_back(fs::relative(entry.path(), root_ + folder).string());
    std::sort(files.begin(), files.end());
    return files;
  }

  std::string root_;
  Names log_;
};

// Older files are replaced and colour channels keep their low eight bits; names that cannot be placed are
// listed, and nothing is written outside the output folder.
TEST_F(TextureStage, PlacesEachNameOnceFromItsFirstSlotAndListsTheRest) {
  WriteText(root_ + "out/Media/wall.jpg", "an older wall image that is longer");
  WriteText(root_ + "out/Media/col_rgba_256_-1_300_255_.png", "not a png");
  EXPECT_EQ(
      Run({
          Material({{"Media\\wall.jpg", "Bricks\\wall.jpg", true}, Colour("256_-1_300_255")}),
          Material({{"Media\\wall.jpg", "Stone\\wall.jpg", true}, Colour("-128_511_7_1000")}),
          Material({{"Media\\wall.jpg", "Media\\wall.jpg", false}, Colour("256_-1_300_255")}),
          Material({
              {"Media\\gone.jpg", "Bricks\\gone.jpg", true},  // no such source image
              {"Media\\plain.png", "plain.png", false},       // generated, but not a colour name
              {"Media\\col_rgba_1_2_.png", "col_rgba_1_2_.png", false},
              {"..\\col_rgba_1_1_1_1_.png", "col_rgba_1_1_1_1_.png", false},  // would leave the output folder
          }),
      }),
      (Names{"Media\\gone.jpg", "Media\\plain.png", "Media\\col_rgba_1_2_.png",
             "..\\col_rgba_1_1_1_1_.png"}));
  EXPECT_EQ(FilesBelow(""), (Names{"editor/Textures/Bricks/wall.jpg", "editor/Textures/Stone/wall.jpg",
                                   "out/Media/col_rgba_-128_511_7_1000_.png",
                                   "out/Media/col_rgba_256_-1_300_255_.png", "out/Media/wall.jpg"}));
  EXPECT_EQ(ReadText(root_ + "out/Media/wall.jpg"), "brick wall");
  EXPECT_EQ(ReadText(root_ + "out/Media/col_rgba_256_-1_300_255_.png"), Png8x8({0, 255, 44, 255}));
  EXPECT_EQ(ReadText(root_ + "out/Media/col_rgba_-128_511_7_1000_.png"), Png8x8({128, 255, 7, 232}));
}

// With n textures the step is 1 / (n x 0.05) truncated from threshold 1, or 1 from threshold n x 0.05
// truncated; the bar steps after placing the entry at the threshold, which then doubles, and once at the end.
TEST_F(TextureStage, StepsTheBarAtDoublingThresholds) {
  const std::pair<int, Names> cases[] = {
      {0, {"setstep 0", "step at 0 files"}},
      {3, {"setstep 6", "step at 2 files", "step at 3 files", "step at 3 files"}},
      {45,
       {"setstep 1", "step at 3 files", "step at 5 files", "step at 9 files", "step at 17 files",
        "step at 33 files", "step at 45 files"}},
  };
  for (const auto& [count, steps] : cases) {
    SetUp();
    std::vector<Layer> layers;
    for (int k = 0; k < count; ++k)
      layers.push_back(Colour(std::to_string(k) + "_0_0_0"));
    Run({Material(layers)});
    EXPECT_EQ(log_.at(0), "stage Please Wait....Saving Textures.");
    EXPECT_EQ(Names(log_.begin() + 1, log_.end()), steps) << count;
  }
}

TEST_F(TextureStage, TexturesOffOnlyAdvancesTheBarByTwenty) {
  EXPECT_EQ(Run({Material({Colour("1_2_3_4")})}, false), Names{});
  EXPECT_EQ(log_, Names{"advance 20"});
  EXPECT_EQ(FilesBelow(), Names{});
}

TEST(TextureNames, SafeNamesStayBelowTheOutputDirectory) {
  for (const char* name : {"brick.jpg", "Media\\Sub\\a..b.jpg", "Media\\.\\brick.jpg", "..brick.jpg"}) {
    EXPECT_TRUE(IsSafeTextureName(name)) << name;
  }
  for (const char* name : {"", "..", "..\\brick.jpg", "Media\\..", "\\brick.jpg", "C:\\brick.jpg",
                           "C:brick.jpg", "Media/brick.jpg", "Media\\...\\brick.jpg", "Media\\.. \\brick.jpg",
                           "Media\\CON", "Media\\com1.tar.gz", "Media\\brick.jpg."}) {
    EXPECT_FALSE(IsSafeTextureName(name)) << name;
  }
}

}  // namespace
}  // namespace tessaline
