#include <gtest/gtest.h>
#include <mxml.h>

#include <cmath>
#include <string>
#include <vector>

#include "reference_reader.h"
#include "scene/scene.h"

namespace tessaline {
namespace {

using testing::Document;
using testing::ExpectReadsLikeLibrary;

bool IsNegativeZero(float value) {
  return value == 0.0f && std::signbit(value);
}

std::vector<SceneMaterial> Materials(const std::string& body) {
  std::vector<SceneMaterial> materials;
  EXPECT_TRUE(ReadMaterials(Document(body), materials));
  return materials;
}

struct Primitives {
  bool result = false;
  uint32_t count = 0;
  std::vector<ScenePolygon> polygons;
  std::vector<SceneVertex> vertices;
};

Primitives Read(const std::string& body) {
  Primitives read;
  read.result = ReadPrimitives(Document(body), read.polygons, read.vertices, read.count);
  return read;
}

// ------------------------------------------------------------------------------------------------------
// Install directory

TEST(ReadInstallDirectory, KeepsTextExactly) {
  EXPECT_EQ(
      ReadInstallDirectory(Document("<installdirectory> C:\\Program Files\\DeleD\\\r\n</installdirectory>")),
      " C:\\Program Files\\DeleD\\\r\n");
  EXPECT_EQ(ReadInstallDirectory(Document("<installdirectory>a&amp;b</installdirectory>")), "a&b");
}

TEST(ReadInstallDirectory, TakesFirstInDocumentOrder) {
  EXPECT_EQ(ReadInstallDirectory(Document("<r><x><installdirectory>first</installdirectory></"
                                          "x><installdirectory>second</installdirectory></r>")),
            "first");
}

TEST(ReadInstallDirectory, MissingOrNonTextGivesEmpty) {
  EXPECT_EQ(ReadInstallDirectory(Document("<r/>")), "");
  EXPECT_EQ(ReadInstallDirectory(Document("<installdirectory/>")), "");
  EXPECT_EQ(ReadInstallDirectory(Document("<installdirectory><x/>text</installdirectory>")), "");
  EXPECT_EQ(ReadInstallDirectory(Document("<installdirectory>text")), "");  // malformed: no tree
  EXPECT_EQ(ReadInstallDirectory(""), "");
}

// ------------------------------------------------------------------------------------------------------
// Materials

TEST(ReadMaterials, LightmapLayerReadsTheTextureChild) {
  auto materials = Materials(
      R"(<material id="3"><layer type="lightmap" blend="modulate"><lightmap file="wrong.png"/><texture file="maps\lm1.png"/></layer></material>)");
  ASSERT_EQ(materials.size(), 1u);
  const SceneMaterial& m = materials[0];
  EXPECT_EQ(m.id, 3);
  ASSERT_EQ(m.layerCount, 1u);
  EXPECT_EQ(m.textureNames[0], "lm1.png");
  EXPECT_EQ(m.textureSources[0], "maps\\lm1.png");
  EXPECT_TRUE(m.textureIsFile[0]);
  EXPECT_EQ(m.blendModes[0], BlendModulate);
  EXPECT_EQ(m.textureDataSize, 164u + 7u);
}

TEST(ReadMaterials, ColourLayerGetsGeneratedName) {
  auto materials = Materials(
      R"(<material id="1"><layer type="color" blend="replace"><color r="0" g="0" b="0" a="255"/></layer>
         <layer type="color" blend="add"><color r="-1" g="12.7" b="+5" a="4294967297"/></layer>
         <layer type="color"><color g="7"/></layer><layer type="color"/></material>)");
  ASSERT_EQ(materials.size(), 1u);
  const SceneMaterial& m = materials[0];
  ASSERT_EQ(m.layerCount, 4u);
  EXPECT_EQ(m.textureNames[0], "col_rgba_0_0_0_255_.png");
  EXPECT_EQ(m.textureSources[0], "col_rgba_0_0_0_255_.png");
  EXPECT_FALSE(m.textureIsFile[0]);
  EXPECT_EQ(m.blendModes[0], BlendReplace);
  EXPECT_EQ(m.textureNames[1], "col_rgba_-1_12_5_1_.png");
  EXPECT_EQ(m.blendModes[1], BlendAdd);
  EXPECT_EQ(m.textureNames[2], "col_rgba_0_7_0_0_.png");  // absent components read as 0
  EXPECT_EQ(m.textureNames[3], "col_rgba_0_0_0_0_.png");  // no color child
  EXPECT_EQ(m.blendModes[3], BlendNone);
  EXPECT_EQ(m.textureDataSize, 4 * 164u + 23u + 23u + 21u + 21u);
}

TEST(ReadMaterials, BlendMustMatchExactly) {
  auto materials = Materials(
      R"(<material><layer blend="replace"/><layer blend="add"/><layer blend="modulate"/><layer blend="alphablend"/>
         <layer blend="Replace"/><layer blend=" replace"/><layer blend="replace "/><layer blend=""/><layer/></material>)");
  ASSERT_EQ(materials.size(), 1u);
  EXPECT_EQ(materials[0].blendModes, (std::vector<int32_t>{1, 2, 3, 4, 0, 0, 0, 0, 0}));
}

TEST(ReadMaterials, FileNameIsTheTrimmedLastPiece) {
  auto materials = Materials(
      R"(<material><layer type="texture"><texture file="wood\ oak.jpg "/></layer><layer type="texture"><texture file="oak.jpg"/></layer>
         <layer type="texture"><texture file="dir\"/></layer><layer type="texture"><texture file=""/></layer>
         <layer type="texture"><texture file="a\\b\&#9;c.png&#10;"/></layer></material>)");
  ASSERT_EQ(materials.size(), 1u);
  const SceneMaterial& m = materials[0];
  EXPECT_EQ(m.textureNames, (std::vector<std::string>{"oak.jpg", "oak.jpg", "dir", "", "c.png"}));
  EXPECT_EQ(m.textureSources,
            (std::vector<std::string>{"wood\\ oak.jpg ", "oak.jpg", "dir\\", "", "a\\\\b\\\tc.png\n"}));
  EXPECT_EQ(m.textureDataSize, 5 * 164u + 7 + 7 + 3 + 0 + 5);
}

TEST(ReadMaterials, MissingTypeFileOrChildGivesEmptyFileLayer) {
  auto materials = Materials(
      R"(<material><layer><texture file="x.png"/></layer><layer type="texture"/><layer type="texture"><texture/></layer>
         <layer type="bump"><bump file="b\bump.png"/><texture file="no.png"/></layer></material>)");
  ASSERT_EQ(materials.size(), 1u);
  const SceneMaterial& m = materials[0];
  ASSERT_EQ(m.layerCount, 4u);
  EXPECT_EQ(m.textureNames, (std::vector<std::string>{"", "", "", "bump.png"}));
  EXPECT_EQ(m.textureSources, (std::vector<std::string>{"", "", "", "b\\bump.png"}));
  EXPECT_EQ(m.textureIsFile, (std::vector<bool>{true, true, true, true}));
}

TEST(ReadMaterials, MaterialWithoutLayersAndAbsentIdReadAsEmptyAndZero) {
  auto materials = Materials(R"(<materials><material id="12abc"/><material><x/></material></materials>)");
  ASSERT_EQ(materials.size(), 2u);
  EXPECT_EQ(materials[0].id, 12);
  EXPECT_EQ(materials[1].id, 0);
  for (const SceneMaterial& m : materials) {
    EXPECT_EQ(m.layerCount, 0u);
    EXPECT_TRUE(m.textureNames.empty());
    EXPECT_EQ(m.textureDataSize, 0u);
  }
}

TEST(ReadMaterials, LayerSearchClimbsPastLastChildLikeLibrary) {
  // The last layer has no next sibling: the search goes on among the material's following siblings.
  auto compact = Materials(
      R"(<category><material id="1"><layer type="color"><color r="1"/></layer></material><layer type="color"><color r="2"/></layer></category>)");
  ASSERT_EQ(compact.size(), 1u);
  EXPECT_EQ(compact[0].layerCount, 2u);
  // With text after the last layer, the search ends within the material.
  auto indented = Materials(
      "<category><material id=\"1\"><layer type=\"color\"><color "
      "r=\"1\"/></layer>\n</material><layer/></category>");
  ASSERT_EQ(indented.size(), 1u);
  EXPECT_EQ(indented[0].layerCount, 1u);
}

TEST(ReadMaterials, NestedMaterialsAreEachRead) {
  // The first layer is searched in the whole subtree, so the outer material also takes the inner one's.
  auto materials = Materials(
      R"(<material id="1"><x><material id="2"><layer type="color"><color r="9"/></layer></material></x></material>)");
  ASSERT_EQ(materials.size(), 2u);
  EXPECT_EQ(materials[0].id, 1);
  EXPECT_EQ(materials[0].textureNames, (std::vector<std::string>{"col_rgba_9_0_0_0_.png"}));
  EXPECT_EQ(materials[1].id, 2);
  EXPECT_EQ(materials[1].textureNames, (std::vector<std::string>{"col_rgba_9_0_0_0_.png"}));
}

TEST(ReadMaterials, UnparsableTextAppendsNothing) {
  std::vector<SceneMaterial> materials(1);
  EXPECT_TRUE(ReadMaterials(Document("<material id=\"1\">"), materials));
  EXPECT_TRUE(ReadMaterials("", materials));
  EXPECT_TRUE(ReadMaterials(Document("<a></b>"), materials));
  EXPECT_EQ(materials.size(), 1u);
  EXPECT_TRUE(ReadMaterials(Document("<material id=\"5\"/>"), materials));
  ASSERT_EQ(materials.size(), 2u);  // appended, the earlier record kept
  EXPECT_EQ(materials[1].id, 5);
}

// ------------------------------------------------------------------------------------------------------
// Primitives

const char* const kTwoPrimitives = R"(<scene><primitives>
  <primitive id="4"><vertices><vertex id="0" x="1" y="2" z="2.5"/><vertex id="1" x="3" y="4" z="-1"/></vertices>
    <polygons><poly mid="7"><vertex vid="0" u0="0.5" v0="0.25"/><vertex vid="1" u0="1" v0="0"/></poly>
      <poly mid="8"><vertex vid="1"/></poly></polygons></primitive>
  <primitive id="-2"><polygons><poly mid="1"/><poly mid="2"/><poly mid="3"><vertex vid="0"/></poly></polygons>
    <vertices><vertex id="0" x="5"/></vertices></primitive>
</primitives></scene>)";

TEST(ReadPrimitives, ReadsPolygonsOfEveryPrimitiveInOrder) {
  Primitives read = Read(kTwoPrimitives);
  EXPECT_TRUE(read.result);
  EXPECT_EQ(read.count, 5u);
  ASSERT_EQ(read.polygons.size(), 5u);
  const uint32_t first[] = {0, 2, 3, 3, 3};
  const uint32_t counts[] = {2, 1, 0, 0, 1};
  const int32_t mids[] = {7, 8, 1, 2, 3};
  const int32_t primitives[] = {4, 4, -2, -2, -2};
  for (size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(read.polygons[i].firstVertex, first[i]) << i;
    EXPECT_EQ(read.polygons[i].vertexCount, counts[i]) << i;
    EXPECT_EQ(read.polygons[i].materialId, mids[i]) << i;
    EXPECT_EQ(read.polygons[i].primitiveId, primitives[i]) << i;
  }
  ASSERT_EQ(read.vertices.size(), 4u);
  EXPECT_EQ(read.vertices[0].x, 1.0f);
  EXPECT_EQ(read.vertices[0].y, 2.0f);
  EXPECT_EQ(read.vertices[0].z, -2.5f);
  EXPECT_EQ(read.vertices[0].uvSets[0].u, 0.5f);
  EXPECT_EQ(read.vertices[0].uvSets[0].v, 0.25f);
  EXPECT_EQ(read.vertices[1].z, 1.0f);
  EXPECT_EQ(read.vertices[3].x, 5.0f);              // the second primitive's own position 0
  EXPECT_TRUE(IsNegativeZero(read.vertices[3].z));  // absent z
  ExpectReadsLikeLibrary(Document(kTwoPrimitives));
}

TEST(ReadPrimitives, AppendsToExistingRecords) {
  Primitives read;
  read.polygons.resize(2);
  read.vertices.resize(3);
  EXPECT_TRUE(ReadPrimitives(Document(kTwoPrimitives), read.polygons, read.vertices, read.count));
  EXPECT_EQ(read.count, 5u);
  ASSERT_EQ(read.polygons.size(), 7u);
  EXPECT_EQ(read.polygons[2].firstVertex, 3u);
  EXPECT_EQ(read.vertices.size(), 7u);
}

TEST(ReadPrimitives, PositionSearchRunsForwardAcrossPrimitives) {
  // Primitive 1 has no position "5"; the search goes on into primitive 2's positions. Primitive 2's corner
  // with vid "1" does not see primitive 1's position 1, which lies before its own vertices element.
  const std::string body = R"(<primitives>
    <primitive id="1"><vertices><vertex id="1" x="1"/><vertex id="1" x="100"/></vertices>
      <polygons><poly><vertex vid="5"/><vertex vid="1"/></poly></polygons></primitive>
    <primitive id="2"><vertices><vertex id="5" x="55"/></vertices>
      <polygons><poly><vertex vid="1"/><vertex vid="5"/></poly></polygons></primitive></primitives>)";
  Primitives read = Read(body);
  ASSERT_EQ(read.vertices.size(), 4u);
  EXPECT_EQ(read.vertices[0].x, 55.0f);
  EXPECT_EQ(read.vertices[1].x, 1.0f);  // the first of two equal ids
  EXPECT_EQ(read.vertices[2].x, 0.0f);  // not found
  EXPECT_TRUE(IsNegativeZero(read.vertices[2].z));
  EXPECT_EQ(read.vertices[3].x, 55.0f);
  ExpectReadsLikeLibrary(Document(body));
}

TEST(ReadPrimitives, IdsCompareAsText) {
  const std::string body =
      R"(<primitive><vertices><vertex id="07" x="7"/><vertex id="7" x="70"/><vertex id=" 7" x="700"/></vertices>
    <polygons><poly><vertex vid="7"/><vertex vid="07"/><vertex vid=" 7"/><vertex vid="7.0"/><vertex vid="&#55;"/></poly></polygons></primitive>)";
  Primitives read = Read(body);
  ASSERT_EQ(read.vertices.size(), 5u);
  EXPECT_EQ(read.vertices[0].x, 70.0f);
  EXPECT_EQ(read.vertices[1].x, 7.0f);
  EXPECT_EQ(read.vertices[2].x, 700.0f);
  EXPECT_EQ(read.vertices[3].x, 0.0f);
  EXPECT_EQ(read.vertices[4].x, 70.0f);  // the entity decodes to "7"
}

TEST(ReadPrimitives, CornerWithoutVidMatchesOnlyAnEmptyId) {
  const std::string body = R"(<primitive><vertices><vertex x="1"/><vertex id="" x="2"/></vertices>
    <polygons><poly><vertex/><vertex vid=""/></poly></polygons></primitive>
    <primitive><vertices><vertex x="3"/></vertices><polygons><poly><vertex/></poly></polygons></primitive>)";
  Primitives read = Read(body);
  ASSERT_EQ(read.vertices.size(), 3u);
  EXPECT_EQ(read.vertices[0].x, 2.0f);
  EXPECT_EQ(read.vertices[1].x, 2.0f);
  EXPECT_EQ(read.vertices[2].x, 0.0f);  // an element without "id" never matches
  ExpectReadsLikeLibrary(Document(body));
}

TEST(ReadPrimitives, CornerElementsWithAnIdAreFoundByLaterSearches) {
  // Primitive 1 has no position "9"; the next vertex element with id "9" in document order is a corner of
  // primitive 2, which lists its polygons before its positions.
  const std::string body = R"(<primitive id="1"><vertices><vertex id="1" x="1"/></vertices>
      <polygons><poly><vertex vid="9"/></poly></polygons></primitive>
    <primitive id="2"><polygons><poly><vertex vid="1" id="9" x="42" y="43" z="44"/></poly></polygons>
      <vertices><vertex id="9" x="9"/><vertex id="1" x="10"/></vertices></primitive>)";
  Primitives read = Read(body);
  ASSERT_EQ(read.vertices.size(), 2u);
  EXPECT_EQ(read.vertices[0].x, 42.0f);
  EXPECT_EQ(read.vertices[0].z, -44.0f);
  EXPECT_EQ(read.vertices[1].x, 10.0f);
  ExpectReadsLikeLibrary(Document(body));
}

TEST(ReadPrimitives, TextureSlotsFollowTheUAttributes) {
  const std::string body = R"(<primitive><vertices><vertex id="0"/></vertices><polygons><poly>
    <vertex vid="0" u0="1" v0="2" u1="3" v1="4"/><vertex vid="0" u0="1" v0="2"/><vertex vid="0"/>
    <vertex vid="0" u0="1" v0="2" u2="5" v2="6"/><vertex vid="0" v1="9" u3="7"/>
    <vertex vid="0" u0="1" v0="2" u1="3" v1="4" u2="5" v2="6" u3="7" v3="8"/></poly></polygons></primitive>)";
  Primitives read = Read(body);
  ASSERT_EQ(read.vertices.size(), 6u);
  const uint32_t sizes[] = {40, 32, 32, 40, 40, 56};
  for (size_t i = 0; i < 6; ++i)
    EXPECT_EQ(read.vertices[i].vertexSize, sizes[i]) << i;
  EXPECT_TRUE(read.vertices[0].uvSets[1].present);
  EXPECT_EQ(read.vertices[0].uvSets[1].u, 3.0f);
  EXPECT_EQ(read.vertices[0].uvSets[1].v, 4.0f);
  EXPECT_TRUE(read.vertices[2].uvSets[0].present);  // slot 0 even without attributes
  EXPECT_EQ(read.vertices[2].uvSets[0].u, 0.0f);
  EXPECT_FALSE(read.vertices[3].uvSets[1].present);
  EXPECT_TRUE(read.vertices[3].uvSets[2].present);
  EXPECT_FALSE(read.vertices[4].uvSets[1].present);  // v1 without u1 does not count
  EXPECT_TRUE(read.vertices[4].uvSets[3].present);
  EXPECT_EQ(read.vertices[4].uvSets[3].u, 7.0f);
  EXPECT_EQ(read.vertices[4].uvSets[3].v, 0.0f);  // absent v3
  EXPECT_EQ(read.vertices[5].uvSets[3].v, 8.0f);
}

TEST(ReadPrimitives, AbsurdNumbersAreConverted) {
  const std::string body = R"(<primitive id="123456789012345678901234567890123456789012345678901234567890">
    <vertices><vertex id="0" x="1e999" y="-0" z="-1e999"/><vertex id="1" x="1e-999" y="0x10" z="junk"/></vertices>
    <polygons><poly mid="-4294967297"><vertex vid="0" u0="3.4028236e38" v0="-1e39"/><vertex vid="1"/></poly></polygons></primitive>)";
  Primitives read = Read(body);
  ASSERT_EQ(read.polygons.size(), 1u);
  EXPECT_EQ(read.polygons[0].primitiveId, -834729262);
  EXPECT_EQ(read.polygons[0].materialId, -1);
  ASSERT_EQ(read.vertices.size(), 2u);
  EXPECT_EQ(read.vertices[0].x, INFINITY);
  EXPECT_TRUE(IsNegativeZero(read.vertices[0].y));
  EXPECT_EQ(read.vertices[0].z, INFINITY);
  EXPECT_EQ(read.vertices[0].uvSets[0].u, INFINITY);
  EXPECT_EQ(read.vertices[0].uvSets[0].v, -INFINITY);
  EXPECT_EQ(read.vertices[1].x, 0.0f);
  EXPECT_EQ(read.vertices[1].y, 0.0f);
  EXPECT_TRUE(IsNegativeZero(read.vertices[1].z));
}

TEST(ReadPrimitives, PolygonsWithZeroToTwoCornersAreKept) {
  const std::string body = R"(<primitive><vertices><vertex id="0" x="1"/></vertices><polygons>
    <poly mid="1"></poly><poly mid="2"><vertex vid="0"/></poly><poly mid="3"><vertex vid="0"/><vertex vid="0"/></poly><poly/>
    </polygons></primitive>)";
  Primitives read = Read(body);
  EXPECT_TRUE(read.result);
  ASSERT_EQ(read.polygons.size(), 4u);
  EXPECT_EQ(read.polygons[0].vertexCount, 0u);
  EXPECT_EQ(read.polygons[0].firstVertex, read.polygons[1].firstVertex);
  EXPECT_EQ(read.polygons[1].vertexCount, 1u);
  EXPECT_EQ(read.polygons[2].vertexCount, 2u);
  EXPECT_EQ(read.polygons[3].vertexCount, 0u);
  EXPECT_EQ(read.polygons[3].materialId, 0);  // absent mid
  EXPECT_EQ(read.vertices.size(), 3u);
}

TEST(ReadPrimitives, StrayElementsAfterTheLastChildCountLikeLibrary) {
  // Nothing between the elements: the last corner, poly and primitive have no next sibling, so each search
  // climbs and finds the stray element placed after its parent.
  const std::string body =
      R"(<scene><primitives><primitive id="1"><vertices><vertex id="0" x="1"/></vertices><polygons><poly mid="1"><vertex vid="0"/></poly><vertex vid="0" u0="9"/><poly mid="2"><vertex vid="0"/></poly></polygons><poly mid="3"><vertex vid="0"/></poly></primitive><x/><primitive id="2"><vertices/><polygons><poly mid="4"/></polygons></primitive></primitives></scene>)";
  Primitives read = Read(body);
  EXPECT_TRUE(read.result);
  ASSERT_EQ(read.polygons.size(), 4u);
  // Poly 1: its corner, then the stray vertex after it among the polys.
  EXPECT_EQ(read.polygons[0].vertexCount, 2u);
  EXPECT_EQ(read.vertices[1].uvSets[0].u, 9.0f);
  EXPECT_EQ(read.polygons[1].materialId, 2);
  EXPECT_EQ(read.polygons[2].materialId, 3);  // the stray poly after polygons
  EXPECT_EQ(read.polygons[3].materialId, 4);  // primitive 2 found past the stray x
  EXPECT_EQ(read.polygons[3].primitiveId, 2);
  ExpectReadsLikeLibrary(Document(body));
}

TEST(ReadPrimitives, MissingListStopsWithEarlierRecordsKept) {
  const std::string body =
      R"(<primitive id="1"><vertices><vertex id="0"/></vertices><polygons><poly><vertex vid="0"/></poly></polygons></primitive>
    <primitive id="2"><vertices><vertex id="0"/></vertices></primitive>
    <primitive id="3"><vertices/></primitive>)";
  Primitives read = Read(body);
  EXPECT_FALSE(read.result);
  EXPECT_EQ(read.count, 1u);
  EXPECT_EQ(read.polygons.size(), 1u);
  EXPECT_EQ(read.vertices.size(), 1u);
  // A primitive whose lists come only after it uses the next ones in the document.
  const std::string borrowed =
      R"(<primitive id="1"/><primitive id="2"><vertices/><polygons><poly/><poly/></polygons></primitive>)";
  read = Read(borrowed);
  EXPECT_TRUE(read.result);
  EXPECT_EQ(read.count, 4u);
  EXPECT_EQ(read.polygons[0].primitiveId, 1);
  EXPECT_EQ(read.polygons[2].primitiveId, 2);
  // No vertices element anywhere after the primitive.
  read = Read(R"(<vertices/><primitive><polygons><poly/></polygons></primitive>)");
  EXPECT_FALSE(read.result);
  EXPECT_EQ(read.count, 0u);
}

TEST(ReadPrimitives, UnparsableOrEmptyTextReadsNothing) {
  for (const std::string& text :
       {Document("<primitive><vertices></primitive>"), std::string(), std::string("x"),
        Document("<primitive id=\"1\"><vertices/><polygons><poly/></polygons>")}) {
    Primitives read;
    read.count = 99;
    EXPECT_TRUE(ReadPrimitives(text, read.polygons, read.vertices, read.count)) << text;
    EXPECT_EQ(read.count, 0u);
    EXPECT_TRUE(read.polygons.empty());
  }
  Primitives read = Read("<scene/>");
  EXPECT_TRUE(read.result);
  EXPECT_EQ(read.count, 0u);
}

// ------------------------------------------------------------------------------------------------------
// Attribute helpers

TEST(AttributeHelpers, SetValueOnlyWhenElementAndAttributeExist) {
  mxml_node_t* top = mxmlLoadString(nullptr, Document("<e i=\" -12x\" f=\"2.5e1\" empty=\"\"/>").c_str(),
                                    MXML_OPAQUE_CALLBACK);
  ASSERT_NE(top, nullptr);
  mxml_node_t* e = mxmlFindElement(top, top, "e", nullptr, nullptr, MXML_DESCEND);
  int32_t i = 5;
  float f = 5.0f;
  EXPECT_TRUE(GetIntAttribute(e, "i", i));
  EXPECT_EQ(i, -12);
  EXPECT_TRUE(GetFloatAttribute(e, "f", f));
  EXPECT_EQ(f, 25.0f);
  EXPECT_TRUE(GetIntAttribute(e, "empty", i));
  EXPECT_EQ(i, 0);
  i = 5;
  f = 5.0f;
  EXPECT_FALSE(GetIntAttribute(e, "missing", i));
  EXPECT_FALSE(GetFloatAttribute(e, "missing", f));
  EXPECT_FALSE(GetIntAttribute(nullptr, "i", i));
  EXPECT_FALSE(GetFloatAttribute(nullptr, "f", f));
  EXPECT_FALSE(GetIntAttribute(top, "i", i));  // the declaration has no attributes
  EXPECT_EQ(i, 5);
  EXPECT_EQ(f, 5.0f);
  mxmlDelete(top);
}

}  // namespace
}  // namespace tessaline
