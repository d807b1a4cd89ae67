// Texture names come from the scene (and the folder from the options): names that would lead outside the
// output folder are refused and listed in the closing warning, and nothing is written outside it.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "hardening_support.h"

namespace tessaline::hardening {
namespace {

std::string ImageLayer(const std::string& file) {
  return "<layer type=\"texture\"><texture file=\"" + file + "\" /></layer>";
}

class TextureNameRun : public ExportHarness {
 protected:
  // Paths below root that the run created, outside the output folder.
  std::set<std::string> CreatedOutsideOut(const std::set<std::string>& before) const {
    std::set<std::string> created;
    for (const std::string& path : Tree(root_)) {
      if (before.count(path) == 0 && path.rfind("out", 0) != 0) created.insert(path);
    }
    return created;
  }
};

TEST_F(TextureNameRun, NamesLeadingOutsideAreListedAndNotPlaced) {
  // Each refused name's source exists, so only the refusal keeps it from being copied: "x\.." is named
  // "..", "../../escape.png" keeps its slashes, "C:escape.png" has a drive colon, and "x\..." is another
  // spelling of the parent folder on Windows.
  WriteText(root_ / "escape.png", "outside, must stay");
  WriteText(root_ / "editor" / "Textures" / "C:escape.png", "colon image");
  WriteText(root_ / "editor" / "Textures" / "x" / "...", "dots image");
  SetScene(QuadScene(1, 2,
                     "<materials><material id=\"1\">" + ImageLayer("x\\..") + ImageLayer("../../escape.png") +
                         ImageLayer("C:escape.png") + ImageLayer("x\\...") + ImageLayer("Bricks\\wall.png") +
                         "</material><material id=\"2\"><layer type=\"color\"><color r=\"1\" g=\"2\" b=\"3\" "
                         "a=\"4\" /></layer></material></materials>"));
  const std::set<std::string> before = Tree(root_);
  Run();
  EXPECT_EQ(Messages(), std::vector<std::string>{NotPlaced(
                            {"Media\\..", "Media\\../../escape.png", "Media\\C:escape.png", "Media\\..."})});
  // The model still names them as read.
  const DboReport report = WalkFile(Out("level.dbo"));
  ASSERT_TRUE(report.ok) << report.error;
  ASSERT_EQ(report.frames.size(), 3u);
  EXPECT_EQ(report.frames[1].mesh.textureNames,
            (std::vector<std::string>{"Media\\..", "Media\\../../escape.png", "Media\\C:escape.png",
                                      "Media\\...", "Media\\wall.png"}));
  EXPECT_EQ(ReadText(root_ / "escape.png"), "outside, must stay");
  EXPECT_EQ(CreatedOutsideOut(before), std::set<std::string>{});
  EXPECT_EQ(Tree(root_ / "out"),
            (std::set<std::string>{"level.dbo", "Media", "Media/wall.png", "Media/col_rgba_1_2_3_4_.png"}));
}

TEST_F(TextureNameRun, SourcesLeavingTheTextureFolderAreListedAndNotCopied) {
  // Each source leads to root/escape.png, or would on Windows; only its last part names the texture.
  WriteText(root_ / "escape.png", "outside, must stay");
  const std::string absolute = Backslashed((root_ / "escape.png").string());
  for (const std::string& source :
       {std::string("..\\..\\escape.png"), std::string("Bricks\\..\\..\\..\\escape.png"),
        std::string("Bricks\\.. \\..\\..\\escape.png"), absolute, "\\" + absolute,
        std::string("C:..\\..\\escape.png"), std::string("C:\\escape.png")}) {
    SCOPED_TRACE(source);
    desktop_.calls.clear();
    SetScene(
        QuadScene(1, 1, "<materials><material id=\"1\">" + ImageLayer(source) + "</material></materials>"));
    Run();
    EXPECT_EQ(Messages(), std::vector<std::string>{NotPlaced({"Media\\escape.png"})});
    EXPECT_FALSE(fs::exists(Out("Media") / "escape.png"));
  }
}

TEST_F(TextureNameRun, NamesWindowsReservesAreListedAndNotPlaced) {
  std::string layers;
  for (const char* name : {"CON", "aux.png", "Lpt1.png", "nul .png", "wall.png."}) {
    WriteText(root_ / "editor" / "Textures" / "Bricks" / name, "an image");
    layers += ImageLayer("Bricks\\" + std::string(name));
  }
  SetScene(QuadScene(1, 1, "<materials><material id=\"1\">" + layers + "</material></materials>"));
  Run();
  EXPECT_EQ(Messages(), std::vector<std::string>{NotPlaced({"Media\\CON", "Media\\aux.png", "Media\\Lpt1.png",
                                                            "Media\\nul .png", "Media\\wall.png."})});
  EXPECT_EQ(Tree(Out("")), (std::set<std::string>{"level.dbo", "Media"}));
}

TEST_F(TextureNameRun, UnsafeTextureFolderRefusesEveryName) {
  // The folder comes from the options dialog; a folder that leads outside makes every name unsafe.
  const char* const folders[] = {"..", " .. ",      "..\\..", "\\abs",  "a/b",
                                 "C:", "x\\..\\..", "NUL",    "Media.", "com9 "};
  for (const char* folder : folders) {
    SCOPED_TRACE(folder);
    desktop_.calls.clear();
    desktop_.options.textureFolder = folder;
    const std::set<std::string> before = Tree(root_);
    Run();
    EXPECT_EQ(Messages(),
              std::vector<std::string>{NotPlaced(
                  {std::string(folder) + "\\wall.png", std::string(folder) + "\\col_rgba_1_2_3_255_.png"})});
    EXPECT_EQ(CreatedOutsideOut(before), std::set<std::string>{});
    EXPECT_FALSE(fs::exists(root_ / "wall.png"));
    EXPECT_FALSE(fs::exists(root_.parent_path() / "wall.png"));
  }
}

TEST_F(TextureNameRun, FolderLeadingOutsideIsNotCreated) {
  // "..\made" lies beside the output folder: no texture goes there, and the folder is not made either.
  desktop_.options.textureFolder = "..\\made";
  const std::set<std::string> before = Tree(root_);
  Run();
  EXPECT_EQ(Messages(),
            std::vector<std::string>{NotPlaced({"..\\made\\wall.png", "..\\made\\col_rgba_1_2_3_255_.png"})});
  EXPECT_EQ(CreatedOutsideOut(before), std::set<std::string>{});
}

TEST_F(TextureNameRun, NameOf300CharactersIsListedAsNotPlaced) {
  const std::string name = std::string(296, 'n') + ".png";
  WriteText(root_ / "editor" / "Textures" / "Bricks" / "long.png", "long image");
  SetScene(QuadScene(1, 2,
                     "<materials><material id=\"1\">" + ImageLayer("Bricks\\" + name) +
                         ImageLayer("Bricks\\long.png") + "</material></materials>"));
  Run();
  EXPECT_EQ(Messages(), std::vector<std::string>{NotPlaced({"Media\\" + name})});
  const DboReport report = WalkFile(Out("level.dbo"));
  ASSERT_TRUE(report.ok) << report.error;
  EXPECT_EQ(report.frames[1].mesh.textureNames,
            (std::vector<std::string>{"Media\\" + name, "Media\\long.png"}));
  EXPECT_EQ(Tree(Out("Media")), std::set<std::string>{"long.png"});
}

TEST_F(TextureNameRun, NameOf250CharactersIsPlaced) {
  // As long a name as the file system takes, copied through a temporary file of a shorter name.
  const std::string name = std::string(246, 'n') + ".png";
  WriteText(root_ / "editor" / "Textures" / "Bricks" / name, "long image");
  SetScene(QuadScene(
      1, 1, "<materials><material id=\"1\">" + ImageLayer("Bricks\\" + name) + "</material></materials>"));
  Run();
  EXPECT_EQ(Messages(), std::vector<std::string>{kSuccess});
  EXPECT_EQ(ReadText(Out("Media") / name), "long image");
  EXPECT_TRUE(NoTemporaryFiles());
}

TEST_F(TextureNameRun, EqualNamesFromDifferentFoldersArePlacedOnce) {
  // Two sources share the name wall.png: the first one wins, the second is not copied over it.
  WriteText(root_ / "editor" / "Textures" / "Other" / "wall.png", "other wall");
  SetScene(QuadScene(1, 2,
                     "<materials><material id=\"1\">" + ImageLayer("Bricks\\wall.png") + "</material>" +
                         "<material id=\"2\">" + ImageLayer("Other\\wall.png") + "</material></materials>"));
  Run();
  EXPECT_EQ(Messages(), std::vector<std::string>{kSuccess});
  EXPECT_EQ(ReadText(Out("Media/wall.png")), "wall image");
}

TEST_F(TextureNameRun, NamesInTheEditorsCodePageKeepTheirBytes) {
  // "B\xf6den" is Windows-1252 (the answer is no UTF-8): it reads, and the names keep their bytes in the
  // model and on disk; a character reference the code page lacks becomes "?". Without a code page the same
  // answer is unreadable.
  const std::string source =
      "B\xf6"
      "den\\wall\xff\xfe?.png";
  WriteText(root_ / "editor" / "Textures" /
                "B\xf6"
                "den" /
                "wall\xff\xfe?.png",
            "image");
  SetScene(Fixture("synthetic_windows1252_names.xml"));
  Run();
  EXPECT_EQ(Messages(), std::vector<std::string>{kSuccess});
  const DboReport report = WalkFile(Out("level.dbo"));
  ASSERT_TRUE(report.ok) << report.error;
  ASSERT_EQ(report.frames.size(), 3u);
  EXPECT_EQ(report.frames[1].mesh.textureNames, std::vector<std::string>{"Media\\wall\xff\xfe?.png"});
  EXPECT_EQ(ReadText(Out("Media/wall\xff\xfe?.png")), "image");
  EXPECT_EQ(ReadScene(kXmlDeclaration + Fixture("synthetic_windows1252_names.xml")).status,
            ReadStatus::Unparsable);
  EXPECT_EQ(ReadScene(kXmlDeclaration + Fixture("synthetic_windows1252_names.xml"), &Windows1252())
                .scene.materials.at(0)
                .layers.at(0)
                .source,
            source);
}

}  // namespace
}  // namespace tessaline::hardening
