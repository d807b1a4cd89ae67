// Texture names come from the scene (and the folder from the options): names that would lead outside the
// output folder are refused and listed in the closing warning, and nothing is written outside it.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "hardening_support.h"

namespace tessaline::hardening {
namespace {

class TextureNameRun : public ExportHarness {
 protected:
  // Runs the export and checks that it created nothing below root outside the output folder.
  void RunInside() {
    const std::set<std::string> before = Tree(root_);
    Run();
    for (const std::string& path : Tree(root_))
      EXPECT_TRUE(before.count(path) == 1 || path.rfind("out", 0) == 0) << path << " created";
  }
};

TEST_F(TextureNameRun, NamesAndSourcesLeadingOutsideAreListedAndNotPlaced) {
  // Every source exists (or leads to root/escape.png), so only the refusal keeps it from being copied.
  // Which names are safe is the texture stage's own test; here the name a source gives: "x\.." is named
  // "..", "../../escape.png" keeps its slashes, and of the sources leaving the texture folder only the last
  // part names the texture (escape.png).
  WriteText(root_ / "escape.png", "outside, must stay");
  WriteText(root_ / "editor" / "Textures" / "Bricks" / "CON", "an image");
  const std::string absolute = Backslashed((root_ / "escape.png").string());
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"x\\..", ".."},
      {"../../escape.png", "../../escape.png"},
      {"Bricks\\CON", "CON"},
      {"Bricks\\" + std::string(296, 'n') + ".png", std::string(296, 'n') + ".png"},  // too long a name
      {"..\\..\\escape.png", "escape.png"},
      {"Bricks\\.. \\..\\..\\escape.png", "escape.png"},
      {absolute, "escape.png"},
      {"C:..\\..\\escape.png", "escape.png"},
  };
  for (const auto& [source, name] : cases) {
    SCOPED_TRACE(source);
    SetScene(QuadScene(1, 1, OneMaterial(ImageLayer(source) + ImageLayer("Bricks\\wall.png"))));
    RunInside();
    EXPECT_EQ(Messages(), std::vector<std::string>{NotPlaced({"Media\\" + name})});
    // The model still names it as read.
    EXPECT_EQ(Walk("level.dbo", 2).frames[1].mesh.textureNames,
              (std::vector<std::string>{"Media\\" + name, "Media\\wall.png"}));
    EXPECT_EQ(Tree(Out("Media")), std::set<std::string>{"wall.png"});
    EXPECT_EQ(ReadText(root_ / "escape.png"), "outside, must stay");
  }
}

TEST_F(TextureNameRun, UnsafeTextureFolderRefusesEveryNameAndIsNotCreated) {
  for (const char* folder : {"..", " .. ", "\\abs", "a/b", "C:", "x\\..\\..", "NUL", "Media.", "..\\made"}) {
    SCOPED_TRACE(folder);
    desktop_.options.textureFolder = folder;
    RunInside();
    EXPECT_EQ(Messages(),
              std::vector<std::string>{NotPlaced(
                  {std::string(folder) + "\\wall.png", std::string(folder) + "\\col_rgba_1_2_3_255_.png"})});
  }
}

TEST_F(TextureNameRun, NameAsLongAsTheFileSystemTakesIsPlaced) {
  // It is copied through a temporary file of a shorter name.
  const std::string name = std::string(246, 'n') + ".png";
  WriteText(root_ / "editor" / "Textures" / "Bricks" / name, "long image");
  SetScene(QuadScene(1, 1, OneMaterial(ImageLayer("Bricks\\" + name))));
  Run();
  EXPECT_EQ(Messages(), std::vector<std::string>{kSuccess});
  EXPECT_EQ(ReadText(Out("Media") / name), "long image");
  EXPECT_TRUE(NoTemporaryFiles());
}

TEST_F(TextureNameRun, NamesInTheEditorsCodePageKeepTheirBytes) {
  // "B\xf6den" is Windows-1252 (the answer is no UTF-8): it reads, and the names keep their bytes in the
  // model and on disk, the source too (\x80 to \xa0 included); a character reference the code page lacks
  // becomes "?". Without a code page the same answer is unreadable.
  const std::string name = "wall\x80\x9f\xa0\xff\xfe?.png";
  WriteText(root_ / "editor" / "Textures" / (std::string("B\xf6") + "den") / name, "image");
  SetScene(Fixture("synthetic_windows1252_names.xml"));
  Run();
  EXPECT_EQ(Messages(), std::vector<std::string>{kSuccess});
  EXPECT_EQ(ReadText(Out("Media") / name), "image");
  EXPECT_EQ(Walk("level.dbo", 3).frames[1].mesh.textureNames, std::vector<std::string>{"Media\\" + name});
  EXPECT_EQ(ReadScene(kXmlDeclaration + Fixture("synthetic_windows1252_names.xml")).status,
            ReadStatus::Unparsable);
}

}  // namespace
}  // namespace tessaline::hardening
