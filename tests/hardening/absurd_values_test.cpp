// Values no editor would send: 60-digit ids, numbers that are not finite, empty names, polygons no mesh
// takes, more texture layers than a vertex holds, sizes past 32 bits. Integers wrap modulo 2^32, vids are
// compared as text, "nan" and "inf" are not numbers, and every file still walks.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <set>
#include <string>
#include <vector>

#include "hardening_support.h"

namespace tessaline::hardening {
namespace {

constexpr const char* k60Digits = "123456789012345678901234567890123456789012345678901234567890";
constexpr int32_t k60DigitsWrapped = -834729262;  // 123...890 mod 2^32, as a signed 32-bit value
// 123...890 + 12345 x 2^32: other digits, the same value once wrapped.
constexpr const char* k60DigitsSameResidue = "123456789012345678901234567890123456789012345731922605837010";
constexpr const char* k60Nines =
    "999999999999999999999999999999999999999999999999999999999999";  // wraps to -1
constexpr const char* k60DigitsOne =
    "100000000000000000000000000000000000000000000000000000000001";  // wraps to 1

struct Read {
  std::vector<SceneMaterial> materials;
  std::vector<ScenePolygon> polygons;
  std::vector<SceneVertex> vertices;
  uint32_t polygonCount = 0;
  bool ok = false;
};

Read ReadAnswer(const std::string& answer) {
  SceneReading reading = ReadScene(kXmlDeclaration + answer);
  auto& [materials, polygons, vertices, polygonCount] = reading.scene;
  return {std::move(materials), std::move(polygons), std::move(vertices), polygonCount,
          reading.status == ReadStatus::Read};
}

std::string Attribute(const std::string& name, const std::string& value) {
  return " " + name + "=\"" + value + "\"";
}

// A primitive with one position per given coordinate triple and one polygon over all of them.
std::string PrimitiveWithPositions(const std::string& id, const std::vector<std::vector<std::string>>& xyz,
                                   const std::string& mid = "1") {
  std::string xml = "<primitive" + Attribute("id", id) + "><vertices>";
  for (size_t i = 0; i < xyz.size(); ++i) {
    xml += "<vertex" + Attribute("id", std::to_string(i)) + Attribute("x", xyz[i][0]) +
           Attribute("y", xyz[i][1]) + Attribute("z", xyz[i][2]) + " />";
  }
  xml += "</vertices><polygons><poly" + Attribute("mid", mid) + ">";
  for (size_t i = 0; i < xyz.size(); ++i) {
    xml += "<vertex" + Attribute("vid", std::to_string(i)) + " u0=\"0\" v0=\"0\" />";
  }
  return xml + "</poly></polygons></primitive>";
}

// The floats of the first vertex of the first mesh in a DBO file.
std::vector<float> FirstVertex(const fs::path& path, size_t count) {
  const std::string bytes = ReadText(path);
  const DboReport report = WalkDbo(std::vector<uint8_t>(bytes.begin(), bytes.end()));
  std::vector<float> floats;
  for (const DboItem& item : report.items) {
    if (item.code != 115) continue;  // the mesh's vertex data
    for (size_t i = 0; i < count; ++i) {
      uint32_t word = 0;
      for (int b = 3; b >= 0; --b)
        word = word << 8 | static_cast<uint8_t>(bytes[item.offset + 8 + i * 4 + b]);
      floats.push_back(std::bit_cast<float>(word));
    }
    break;
  }
  return floats;
}

// ---------------------------------------------------------------------------------------------------------
// Long integers

TEST(LongIds, IntegersWrapModulo2To32) {
  const Read read =
      ReadAnswer(std::string("<materials>") + "<material" + Attribute("id", k60Digits) + " />" + "<material" +
                 Attribute("id", std::string("-") + k60Digits) + " />" + "<material" +
                 Attribute("id", k60Nines) + " />" + "<material id=\"4294967297\" />" + "<material" +
                 Attribute("id", std::string(1000, '9')) + " />" + "</materials>");
  ASSERT_EQ(read.materials.size(), 5u);
  EXPECT_EQ(read.materials[0].id, k60DigitsWrapped);
  EXPECT_EQ(read.materials[1].id, -k60DigitsWrapped);
  EXPECT_EQ(read.materials[2].id, -1);
  EXPECT_EQ(read.materials[3].id, 1);
  EXPECT_EQ(read.materials[4].id, -1);  // 10^1000 - 1 is -1 modulo 2^32
}

TEST(LongIds, ColourChannelsWrapIntoTheName) {
  const Read read = ReadAnswer(std::string("<material id=\"1\"><layer type=\"color\"><color") +
                               Attribute("r", k60Digits) + Attribute("g", k60Nines) +
                               Attribute("b", k60DigitsOne) + " a=\"4294967296\" /></layer></material>");
  ASSERT_EQ(read.materials.size(), 1u);
  EXPECT_EQ(read.materials[0].layers, (std::vector<TextureLayer>{{.name = "col_rgba_-834729262_-1_1_0_.png",
                                                                  .source = "col_rgba_-834729262_-1_1_0_.png",
                                                                  .isFile = false}}));
}

TEST(LongIds, VidsAreComparedAsText) {
  // Position ids: the 60-digit number, and 1 written with leading zeros up to 60 digits.
  const std::string paddedOne = std::string(59, '0') + "1";
  const std::string answer =
      std::string("<primitive id=\"0\"><vertices>") + "<vertex" + Attribute("id", k60Digits) +
      " x=\"1\" y=\"2\" z=\"3\" />" + "<vertex" + Attribute("id", paddedOne) + " x=\"4\" y=\"5\" z=\"6\" />" +
      "</vertices><polygons><poly mid=\"1\">" + "<vertex" + Attribute("vid", k60Digits) + " />" + "<vertex" +
      Attribute("vid", k60DigitsSameResidue) + " />" + "<vertex vid=\"1\" />" + "<vertex" +
      Attribute("vid", paddedOne) + " />" + "</poly></polygons></primitive>";
  const Read read = ReadAnswer(answer);
  ASSERT_TRUE(read.ok);
  ASSERT_EQ(read.vertices.size(), 4u);
  EXPECT_EQ(read.vertices[0].x, 1.0f);  // the same text
  EXPECT_EQ(read.vertices[0].z, -3.0f);
  EXPECT_EQ(read.vertices[1].x, 0.0f);  // the same number once wrapped, but other text: not found
  EXPECT_TRUE(std::signbit(read.vertices[1].z));
  EXPECT_EQ(read.vertices[2].x, 0.0f);  // "1" is not "000...01"
  EXPECT_EQ(read.vertices[3].x, 4.0f);
}

class LongIdRun : public ExportHarness {};

TEST_F(LongIdRun, PolygonsFindTheirMaterialByTheWrappedId) {
  // Material ids 123...890 and 10^59 + 1; polygons name them with other digits of the same residue, with
  // the residue itself, and with an id no material has.
  const std::string materials =
      std::string("<materials><material") + Attribute("id", k60Digits) +
      "><layer type=\"color\"><color r=\"9\" g=\"9\" b=\"9\" a=\"255\" /></layer></material>" + "<material" +
      Attribute("id", k60DigitsOne) +
      "><layer type=\"color\"><color r=\"1\" g=\"1\" b=\"1\" a=\"255\" /></layer>" +
      "</material></materials>";
  const std::vector<std::vector<std::string>> triangle = {{"0", "0", "0"}, {"1", "0", "0"}, {"1", "1", "0"}};
  SetScene("<scene>" + materials + "<primitives>" +
           PrimitiveWithPositions("0", triangle, k60DigitsSameResidue) +
           PrimitiveWithPositions("1", triangle, std::to_string(k60DigitsWrapped)) +
           PrimitiveWithPositions("2", triangle, "4294967297") +
           PrimitiveWithPositions("3", triangle, k60Nines) + "</primitives></scene>");
  Run();
  EXPECT_EQ(Messages(), std::vector<std::string>{kSuccess});
  const DboReport report = WalkFile(Out("level.dbo"));
  ASSERT_TRUE(report.ok) << report.error;
  ASSERT_EQ(report.frames.size(), 3u);
  EXPECT_EQ(report.frames[1].mesh.vertexCount, 6u);  // primitives 0 and 1
  EXPECT_EQ(report.frames[1].mesh.textureNames, std::vector<std::string>{"Media\\col_rgba_9_9_9_255_.png"});
  EXPECT_EQ(report.frames[2].mesh.vertexCount, 3u);  // primitive 2; primitive 3 (id -1) has no material
}

TEST_F(LongIdRun, PerObjectCollisionSkipsPrimitivesWhoseWrappedIdIsOutOfRange) {
  // Two primitives give two collision records: a primitive id that wraps to 1 fills the second, ids that
  // wrap to -1 or to a large value are skipped.
  const std::vector<std::vector<std::string>> triangle = {{"0", "0", "0"}, {"1", "0", "0"}, {"1", "1", "0"}};
  SetScene(std::string("<scene>") + kMaterials + "<primitives>" +
           PrimitiveWithPositions(k60DigitsOne, triangle) + PrimitiveWithPositions(k60Nines, triangle) +
           PrimitiveWithPositions(k60Digits, triangle) + "</primitives></scene>");
  desktop_.options.exportCollision = true;
  desktop_.options.oneBigObject = false;
  desktop_.options.collisionFileName = "";
  Run();
  EXPECT_EQ(Messages().size(), 1u);
  const DboReport report = WalkFile(Out("level_col.dbo"));
  ASSERT_TRUE(report.ok) << report.error;
  // Three polygons give three records; only record 1 receives geometry.
  ASSERT_EQ(report.frames.size(), 2u);
  EXPECT_EQ(report.frames[1].mesh.vertexCount, 3u);
}

// ---------------------------------------------------------------------------------------------------------
// Numbers that are not finite

TEST(NonFiniteCoordinates, NanAndInfAreNotNumbersButOverflowIsInfinite) {
  const float inf = std::numeric_limits<float>::infinity();
  struct Case {
    const char* text;
    float x;
  };
  const Case cases[] = {
      {"nan", 0.0f},    {"NaN", 0.0f},      {"inf", 0.0f},   {"-infinity", 0.0f}, {"1e999", inf},
      {"-1e999", -inf}, {"1e-999", 0.0f},   {"3.5e38", inf}, {"-3.5e38", -inf},   {"3.4e38", 3.4e38f},
      {"0x10", 0.0f},   {"  12abc", 12.0f}, {".5", 0.5f},    {"5.", 5.0f},        {"1e", 1.0f},
      {"1e+", 1.0f},    {"+-1", 0.0f},      {"", 0.0f},      {"-", 0.0f},         {".", 0.0f},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const Read read =
        ReadAnswer(std::string("<primitive id=\"0\"><vertices><vertex id=\"0\"") + Attribute("x", c.text) +
                   " /></vertices><polygons><poly mid=\"1\"><vertex vid=\"0\"" + Attribute("u0", c.text) +
                   " /></poly></polygons></primitive>");
    ASSERT_EQ(read.vertices.size(), 1u);
    EXPECT_EQ(std::bit_cast<uint32_t>(read.vertices[0].x), std::bit_cast<uint32_t>(c.x));
    EXPECT_EQ(std::bit_cast<uint32_t>(read.vertices[0].uvSets.Get(0).u), std::bit_cast<uint32_t>(c.x));
  }
}

TEST(NonFiniteCoordinates, NegativeZeroKeepsItsSign) {
  const Read read = ReadAnswer(
      "<primitive id=\"0\"><vertices><vertex id=\"0\" x=\"-0\" y=\"-0.0e5\" z=\"-0\" /></vertices>"
      "<polygons><poly mid=\"1\"><vertex vid=\"0\" /></poly></polygons></primitive>");
  ASSERT_EQ(read.vertices.size(), 1u);
  EXPECT_TRUE(std::signbit(read.vertices[0].x));
  EXPECT_TRUE(std::signbit(read.vertices[0].y));
  EXPECT_FALSE(std::signbit(read.vertices[0].z));  // negated
}

class NonFiniteRun : public ExportHarness {};

TEST_F(NonFiniteRun, InfiniteCoordinatesAreWrittenAndTheFileWalks) {
  const std::vector<std::vector<std::string>> triangle = {
      {"1e999", "nan", "-1e999"}, {"1", "inf", "0"}, {"1", "1", "1e-999"}};
  SetScene(std::string("<scene>") + kMaterials + "<primitives>" + PrimitiveWithPositions("0", triangle) +
           "</primitives></scene>");
  desktop_.options.exportCollision = true;
  Run();
  EXPECT_EQ(Messages().size(), 1u);
  for (const char* file : {"level.dbo", "collision.dbo"}) {
    SCOPED_TRACE(file);
    const DboReport report = WalkFile(Out(file));
    ASSERT_TRUE(report.ok) << report.error;
    ASSERT_EQ(report.frames.size(), 2u);
    const std::vector<float> vertex = FirstVertex(Out(file), 6);
    ASSERT_EQ(vertex.size(), 6u);
    EXPECT_EQ(vertex[0], std::numeric_limits<float>::infinity());
    EXPECT_EQ(vertex[1], 0.0f);                                    // "nan" reads as 0
    EXPECT_EQ(vertex[2], std::numeric_limits<float>::infinity());  // -(-inf)
    // A face with an infinite corner has no direction: the normal is not a number, and is written as such.
    EXPECT_TRUE(std::isnan(vertex[3]) || std::isnan(vertex[4]) || std::isnan(vertex[5]));
  }
}

TEST_F(NonFiniteRun, ScaleTextsThatAreNotPositiveFiniteNumbersGiveOne) {
  struct Case {
    const char* x;
    const char* y;
    const char* z;
    std::array<float, 3> scale;
  };
  const Case cases[] = {
      {"nan", "inf", "1e999", {1.0f, 1.0f, 1.0f}},
      {"1e-50", "-0", "-1e999", {1.0f, 1.0f, 1.0f}},
      {"3.4e38", "1e39", "2,5", {3.4e38f, 1.0f, 2.0f}},
      {"", "   7", "0x10", {1.0f, 7.0f, 1.0f}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.x) + " " + c.y + " " + c.z);
    desktop_.calls.clear();
    desktop_.options.scaleX = c.x;
    desktop_.options.scaleY = c.y;
    desktop_.options.scaleZ = c.z;
    Run();
    const DboReport report = WalkFile(Out("level.dbo"));
    ASSERT_TRUE(report.ok) << report.error;
    for (const DboFrameInfo& frame : report.frames)
      EXPECT_EQ(frame.scale, c.scale);
  }
}

// ---------------------------------------------------------------------------------------------------------
// Empty names

class EmptyNameRun : public ExportHarness {};

TEST_F(EmptyNameRun, EmptySceneNameNamesEveryFrameWithTheEmptyText) {
  desktop_.options.sceneName = "";
  Run();
  EXPECT_EQ(Messages(), std::vector<std::string>{kSuccess});
  const DboReport report = WalkFile(Out("level.dbo"));
  ASSERT_TRUE(report.ok) << report.error;
  ASSERT_EQ(report.frames.size(), 3u);
  for (const DboFrameInfo& frame : report.frames)
    EXPECT_EQ(frame.name, "");
}

TEST_F(EmptyNameRun, EmptyTextureFileIsNamedInTheFileAndReportedAsNotPlaced) {
  // An empty "file", a layer without a type (whose texture child is then never found), and a layer whose
  // type names no child: all three read as an image file with an empty name.
  const std::string materials =
      "<materials><material id=\"1\">"
      "<layer type=\"texture\"><texture file=\"\" /></layer>"
      "<layer><texture file=\"Bricks\\wall.png\" /></layer>"
      "<layer type=\"bump\" />"
      "</material></materials>";
  SetScene(QuadScene(1, 1, materials));
  Run();
  const DboReport report = WalkFile(Out("level.dbo"));
  ASSERT_TRUE(report.ok) << report.error;
  ASSERT_EQ(report.frames.size(), 2u);
  EXPECT_EQ(report.frames[1].mesh.textureNames, (std::vector<std::string>{"Media\\", "Media\\", "Media\\"}));
  // "Media\" names the folder itself: nothing is copied over it, and the user is told.
  EXPECT_EQ(Messages(),
            std::vector<std::string>{"message Tessaline|Scene correctly exported.\nThis texture could "
                                     "not be placed beside it:\nMedia\\\n|warning"});
  EXPECT_TRUE(fs::is_directory(Out("Media")));
  EXPECT_TRUE(fs::is_empty(Out("Media")));
}

TEST_F(EmptyNameRun, EmptyTextureNameWithoutFolderIsReportedAsNotPlaced) {
  desktop_.options.textureFolder = "";
  SetScene(
      QuadScene(1, 1, "<materials><material id=\"1\"><layer type=\"texture\" /></material></materials>"));
  Run();
  EXPECT_EQ(Messages(),
            std::vector<std::string>{"message Tessaline|Scene correctly exported.\nThis texture could "
                                     "not be placed beside it:\n\n|warning"});
  const DboReport report = WalkFile(Out("level.dbo"));
  ASSERT_TRUE(report.ok) << report.error;
  EXPECT_EQ(report.frames[1].mesh.textureNames, std::vector<std::string>{""});
  EXPECT_EQ(Tree(root_ / "out"), std::set<std::string>{"level.dbo"});
}

TEST_F(EmptyNameRun, MaterialWithoutLayersWritesMeshesWithoutTextureCoordinates) {
  SetScene(QuadScene(1, 2, "<materials><material id=\"1\" /><material id=\"2\"></material></materials>"));
  Run();
  EXPECT_EQ(Messages(), std::vector<std::string>{kSuccess});
  const DboReport report = WalkFile(Out("level.dbo"));
  ASSERT_TRUE(report.ok) << report.error;
  ASSERT_EQ(report.frames.size(), 3u);
  for (size_t i = 1; i < 3; ++i) {
    EXPECT_EQ(report.frames[i].mesh.vertexSize, 24u);
    EXPECT_EQ(report.frames[i].mesh.textureCount, 0u);
  }
  EXPECT_TRUE(fs::is_empty(Out("Media")));
}

TEST_F(EmptyNameRun, EmptyIdsAndMidsReadAsZero) {
  // id="" is 0, and so is a mid of "": the polygon lands in material 0.
  SetScene(
      "<scene><materials><material id=\"\"><layer type=\"color\"><color r=\"\" g=\"\" b=\"\" a=\"\" />"
      "</layer></material></materials><primitives>" +
      PrimitiveWithPositions("", {{"0", "0", "0"}, {"1", "0", "0"}, {"1", "1", "0"}}, "") +
      "</primitives></scene>");
  Run();
  EXPECT_EQ(Messages(), std::vector<std::string>{kSuccess});
  const DboReport report = WalkFile(Out("level.dbo"));
  ASSERT_TRUE(report.ok) << report.error;
  ASSERT_EQ(report.frames.size(), 2u);
  EXPECT_EQ(report.frames[1].mesh.textureNames, std::vector<std::string>{"Media\\col_rgba_0_0_0_0_.png"});
  EXPECT_TRUE(fs::exists(Out("Media/col_rgba_0_0_0_0_.png")));
}

// ---------------------------------------------------------------------------------------------------------
// Polygons no mesh takes, and materials of more than 8 layers

std::vector<std::string> Remarks(const std::vector<std::string>& calls) {
  std::vector<std::string> remarks;
  for (const std::string& call : calls) {
    if (call.rfind("remark ", 0) == 0) remarks.push_back(call.substr(7));
  }
  return remarks;
}

class LeftOutRun : public ExportHarness {};

TEST_F(LeftOutRun, PolygonsLeftOutAreCountedByCauseAndTheMessageStays) {
  const std::vector<std::string> corner = {"0", "0", "0"};
  const std::vector<std::vector<std::string>> triangle = {corner, {"1", "0", "0"}, {"1", "1", "0"}};
  SetScene(std::string("<scene>") + kMaterials + "<primitives>" + PrimitiveWithPositions("0", triangle) +
           PrimitiveWithPositions("1", {corner, corner}) + PrimitiveWithPositions("2", {corner}) +
           PrimitiveWithPositions("3", triangle, "9") + PrimitiveWithPositions("-1", triangle) +
           PrimitiveWithPositions("4", std::vector<std::vector<std::string>>(kMaxFrameVertices + 1, corner)) +
           "</primitives></scene>");
  desktop_.options.exportCollision = true;
  desktop_.options.oneBigObject = false;
  Run();
  EXPECT_EQ(Messages(), std::vector<std::string>{kSuccess});
  EXPECT_EQ(
      Remarks(desktop_.calls),
      (std::vector<std::string>{"2 polygons left out: fewer than 3 corners",
                                "1 polygon left out: too large for one mesh frame (more than " +
                                    std::to_string(kMaxFrameVertices) + " corners)",
                                "1 polygon left out of the model: no material of that id",
                                "1 polygon left out of the collision file: no primitive record of that id"}));
}

TEST_F(LeftOutRun, MaterialsOfMoreThanEightLayersKeepTheirFirstEight) {
  std::string layers;
  for (int k = 0; k < 10; ++k)
    layers +=
        "<layer type=\"color\"><color r=\"" + std::to_string(k) + "\" g=\"0\" b=\"0\" a=\"255\" /></layer>";
  SetScene(QuadScene(1, 1, "<materials><material id=\"1\">" + layers + "</material></materials>"));
  Run();
  const std::string warning =
      "This material has more than 8 texture layers; only the first 8 were exported: 1";
  EXPECT_EQ(Messages(), std::vector<std::string>{"message Tessaline|Scene correctly exported.\n" + warning +
                                                 "\n|warning"});
  EXPECT_EQ(Remarks(desktop_.calls), std::vector<std::string>{warning});
  const DboReport report = WalkFile(Out("level.dbo"));
  ASSERT_TRUE(report.ok) << report.error;
  ASSERT_EQ(report.frames.size(), 2u);
  EXPECT_EQ(report.frames[1].mesh.vertexFormat, 8u * 256 + 18);
  EXPECT_EQ(report.frames[1].mesh.vertexSize, 88u);
  std::set<std::string> placed;
  for (int k = 0; k < 8; ++k) {
    const std::string name = "col_rgba_" + std::to_string(k) + "_0_0_255_.png";
    EXPECT_EQ(report.frames[1].mesh.textureNames[k], "Media\\" + name);
    placed.insert(name);
  }
  EXPECT_EQ(report.frames[1].mesh.textureNames.size(), 8u);
  EXPECT_EQ(Tree(Out("Media")), placed);
}

// ---------------------------------------------------------------------------------------------------------
// Sizes past 32 bits

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
