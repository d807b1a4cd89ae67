// Values no editor would send: 60-digit ids, empty names, polygons no mesh takes, more texture layers than
// a vertex holds, sizes past 32 bits. Integers wrap modulo 2^32, vids are compared as text, and every file
// still walks.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "hardening_support.h"

namespace tessaline::hardening {
namespace {

const std::string k60Digits = "123456789012345678901234567890123456789012345678901234567890";
constexpr int32_t k60DigitsWrapped = -834729262;  // 123...890 mod 2^32, as a signed 32-bit value
// 123...890 + 12345 x 2^32: other digits, the same value once wrapped.
const std::string k60DigitsSameResidue = "123456789012345678901234567890123456789012345731922605837010";
const std::string k60Nines(60, '9');                                // wraps to -1
const std::string k60DigitsOne = "1" + std::string(58, '0') + "1";  // wraps to 1

// A primitive with one position per coordinate triple and one polygon over all of them.
std::string Primitive(const std::string& id, const std::vector<std::vector<std::string>>& xyz,
                      const std::string& mid = "1") {
  std::string xml = "<primitive id=\"" + id + "\"><vertices>";
  for (size_t i = 0; i < xyz.size(); ++i) {
    xml += "<vertex id=\"" + std::to_string(i) + "\" x=\"" + xyz[i][0] + "\" y=\"" + xyz[i][1] + "\" z=\"" +
           xyz[i][2] + "\" />";
  }
  xml += "</vertices><polygons><poly mid=\"" + mid + "\">";
  for (size_t i = 0; i < xyz.size(); ++i)
    xml += "<vertex vid=\"" + std::to_string(i) + "\" u0=\"0\" v0=\"0\" />";
  return xml + "</poly></polygons></primitive>";
}
const std::vector<std::vector<std::string>> kTriangle = {{"0", "0", "0"}, {"1", "0", "0"}, {"1", "1", "0"}};

std::string Colour(const std::string& r, const std::string& g, const std::string& b, const std::string& a) {
  return "<layer type=\"color\"><color r=\"" + r + "\" g=\"" + g + "\" b=\"" + b + "\" a=\"" + a +
         "\" /></layer>";
}

using AbsurdValueRun = ExportHarness;

TEST_F(AbsurdValueRun, LongIdsWrapModulo2To32) {
  // Material ids 123...890 (its colour channels 60 digits long too) and 10^59 + 1; polygons name them with
  // other digits of the same residue, with the residue itself, with 2^32 + 1, and with an id no material
  // has. Per object, collision records exist up to the highest wrapped primitive id (1): ids that wrap to
  // -1 or far below are skipped. Polygons of too few or too many corners are left out and counted too.
  const std::vector<std::string> corner = {"0", "0", "0"};
  const std::string materials = "<materials><material id=\"" + k60Digits + "\">" +
                                Colour(k60Digits, k60Nines, k60DigitsOne, "4294967296") +
                                "</material><material id=\"" + k60DigitsOne + "\">" +
                                Colour("1", "1", "1", "255") + "</material></materials>";
  SetScene("<scene>" + materials + "<primitives>" + Primitive(k60DigitsOne, kTriangle, k60DigitsSameResidue) +
           Primitive(k60Nines, kTriangle, std::to_string(k60DigitsWrapped)) +
           Primitive(k60Digits, kTriangle, "4294967297") + Primitive("0", kTriangle, k60Nines) +
           Primitive("0", {corner, corner}) + Primitive("0", {corner}) +
           Primitive("0", std::vector<std::vector<std::string>>(kMaxFrameVertices + 1, corner)) +
           "</primitives></scene>");
  Collision("", false);
  Run();
  EXPECT_EQ(Messages(), std::vector<std::string>{kSuccess});
  EXPECT_EQ(Calls("remark"),
            (std::vector<std::string>{
                "2 polygons left out: fewer than 3 corners",
                "1 polygon left out: too large for one mesh frame (more than 65535 corners)",
                "1 polygon left out of the model: no material of that id",
                "2 polygons left out of the collision file: no primitive record of that id"}));
  const DboReport report = Walk("level.dbo", 3u);
  EXPECT_EQ(report.frames[1].mesh.vertexCount, 6u);
  EXPECT_EQ(report.frames[1].mesh.textureNames,
            std::vector<std::string>{"Media\\col_rgba_-834729262_-1_1_0_.png"});
  EXPECT_EQ(report.frames[2].mesh.vertexCount, 3u);
  const DboReport collision = Walk("level_col.dbo", 3u);
  EXPECT_EQ(collision.frames[2].mesh.vertexCount, 3u);
}

TEST_F(AbsurdValueRun, EmptyNamesAndIdsExportAndLayersPastEightAreCut) {
  // An empty scene name names every frame. id="" and mid="" are 0, empty colour channels too. An empty
  // "file", a layer without a type and a layer whose type names no child all read as an image file with
  // an empty name: "Media\" names the folder itself, so nothing is copied over it. A material without
  // layers makes a mesh without texture coordinates; one of ten layers keeps its first eight.
  std::string layers;
  std::vector<std::string> eight;
  for (int k = 0; k < 10; ++k) {
    layers += Colour(std::to_string(k), "0", "0", "255");
    if (k < 8) eight.push_back("Media\\col_rgba_" + std::to_string(k) + "_0_0_255_.png");
  }
  desktop_.options.sceneName = "";
  SetScene("<scene><materials><material id=\"\">" + Colour("", "", "", "") +
           "</material><material id=\"1\"><layer type=\"texture\"><texture file=\"\" /></layer>"
           "<layer><texture file=\"Bricks\\wall.png\" /></layer><layer type=\"bump\" /></material>"
           "<material id=\"2\" /><material id=\"3\">" +
           layers + "</material></materials><primitives>" + Primitive("", kTriangle, "") +
           Primitive("1", kTriangle, "1") + Primitive("2", kTriangle, "2") + Primitive("3", kTriangle, "3") +
           "</primitives></scene>");
  Run();
  EXPECT_EQ(Messages(), std::vector<std::string>{"message Tessaline|Scene correctly exported.\nThis texture "
                                                 "could not be placed beside it:\nMedia\\\nThis material has "
                                                 "more than 8 texture layers; only the first 8 were "
                                                 "exported: 3\n|warning"});
  const DboReport report = Walk("level.dbo", 5u);
  for (const DboFrameInfo& frame : report.frames)
    EXPECT_EQ(frame.name, "");
  EXPECT_EQ(report.frames[1].mesh.textureNames, std::vector<std::string>{"Media\\col_rgba_0_0_0_0_.png"});
  EXPECT_EQ(report.frames[2].mesh.textureNames, (std::vector<std::string>{"Media\\", "Media\\", "Media\\"}));
  EXPECT_EQ(report.frames[3].mesh.vertexSize, 24u);
  EXPECT_EQ(report.frames[4].mesh.textureNames, eight);
  EXPECT_EQ(Tree(Out("Media")).size(), 9u);
}

TEST(DboSizes, ObjectWhoseRootFrameSizePasses32BitsIsRefused) {
  // One triangle whose first vertex declares 1,431,655,439 bytes, with one texture layer: the root frame's
  // size is 3 x that + 977 + the texture name's length = 2^32 - 2 + the name's length.
  PackedModel object;
  object.meshes.emplace_back();
  object.meshes[0].vertices.resize(3);
  object.meshes[0].vertices[0].vertexSize = 1431655439;
  object.meshes[0].indices = {0, 1, 2};
  object.meshes[0].material.layers.resize(1);
  object.meshes[0].material.layers[0].name = "a";
  EXPECT_TRUE(FitsDboSizes(object, false));
  object.meshes[0].material.layers[0].name = "ab";
  EXPECT_FALSE(FitsDboSizes(object, false));
  object.name = "x";  // counted twice: the root frame's own name and the mesh frame's
  object.meshes[0].material.layers[0].name = "";
  EXPECT_FALSE(FitsDboSizes(object, false));
}

}  // namespace
}  // namespace tessaline::hardening
