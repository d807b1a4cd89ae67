// Every real scene file saved by the editor is read as the export run reads it (declaration in front),
// checked against facts counted independently, and compared with the plain library searches.
#include <gtest/gtest.h>
#include <mxml.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "reference_reader.h"
#include "scene/scene.h"

namespace tessaline {
namespace {

using testing::Document;

std::string SceneText(const std::string& file) {
  std::ifstream stream(std::string(TESSALINE_REAL_SCENES) + "/" + file, std::ios::binary);
  std::ostringstream content;
  content << stream.rdbuf();
  EXPECT_TRUE(stream.good() || stream.eof()) << file;
  EXPECT_FALSE(content.str().empty()) << file;
  return Document(content.str());
}

struct Facts {
  const char* file;
  uint32_t polygons;
  uint32_t corners;
  size_t materials;
};

const Facts kScenes[] = {
    {"KralienSlingShotFocusAntenna.dxs", 444, 1332, 1},
    {"NeutralGate1.dxs", 2220, 8568, 25},
    {"PirateLongbow.dxs", 3511, 13898, 16},
    {"Stalker.dxs", 471, 1413, 17},
    {"U1.dxs", 188, 564, 26},
    {"artemis-frigate.dxs", 4369, 13107, 1},
    {"asteroid.dxs", 80, 240, 18},
    {"kestrel.dxs", 1609, 4827, 16},
    {"marker.dxs", 400, 1560, 17},
    {"patrol-boat.dxs", 1704, 6692, 26},
};

TEST(RealScenes, EveryFileIsListed) {
  size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(TESSALINE_REAL_SCENES)) {
    if (entry.path().extension() != ".dxs") continue;
    ++files;
    const std::string name = entry.path().filename().string();
    EXPECT_TRUE(
        std::any_of(std::begin(kScenes), std::end(kScenes), [&](const Facts& f) { return name == f.file; }))
        << name << " has no facts here";
  }
  EXPECT_EQ(files, std::size(kScenes));
}

TEST(RealScenes, ReadCountsAndMatchLibrary) {
  for (const Facts& facts : kScenes) {
    SCOPED_TRACE(facts.file);
    const std::string text = SceneText(facts.file);
    std::vector<SceneMaterial> materials;
    EXPECT_TRUE(ReadMaterials(text, materials));
    EXPECT_EQ(materials.size(), facts.materials);
    for (const SceneMaterial& m : materials) {
      uint32_t size = 0;
      for (const std::string& name : m.textureNames)
        size += 164 + static_cast<uint32_t>(name.size());
      EXPECT_EQ(m.textureDataSize, size);
      EXPECT_EQ(m.blendModes.size(), m.layerCount);
      EXPECT_EQ(m.textureSources.size(), m.layerCount);
      EXPECT_EQ(m.textureIsFile.size(), m.layerCount);
    }
    std::vector<ScenePolygon> polygons;
    std::vector<SceneVertex> vertices;
    uint32_t count = 0;
    EXPECT_TRUE(ReadPrimitives(text, polygons, vertices, count));
    EXPECT_EQ(count, facts.polygons);
    EXPECT_EQ(polygons.size(), facts.polygons);
    EXPECT_EQ(vertices.size(), facts.corners);
    uint32_t next = 0;
    for (const ScenePolygon& polygon : polygons) {
      EXPECT_EQ(polygon.firstVertex, next);
      next += polygon.vertexCount;
    }
    testing::ExpectReadsLikeLibrary(text);
  }
}

// Every corner's vid names a position of its own primitive; counted here with a set per primitive.
TEST(RealScenes, EveryCornerPositionExists) {
  for (const Facts& facts : kScenes) {
    SCOPED_TRACE(facts.file);
    const std::string text = SceneText(facts.file);
    mxml_node_t* top = mxmlLoadString(nullptr, text.c_str(), MXML_OPAQUE_CALLBACK);
    ASSERT_NE(top, nullptr);
    size_t corners = 0, missing = 0;
    for (mxml_node_t* primitive = mxmlFindElement(top, top, "primitive", nullptr, nullptr, MXML_DESCEND);
         primitive != nullptr;
         primitive = mxmlFindElement(primitive, top, "primitive", nullptr, nullptr, MXML_DESCEND)) {
      std::set<std::string> ids;
      mxml_node_t* positions =
          mxmlFindElement(primitive, primitive, "vertices", nullptr, nullptr, MXML_DESCEND);
      mxml_node_t* list = mxmlFindElement(primitive, primitive, "polygons", nullptr, nullptr, MXML_DESCEND);
      ASSERT_NE(positions, nullptr);
      ASSERT_NE(list, nullptr);
      for (mxml_node_t* v = mxmlFindElement(positions, positions, "vertex", nullptr, nullptr, MXML_DESCEND);
           v != nullptr; v = mxmlFindElement(v, positions, "vertex", nullptr, nullptr, MXML_DESCEND)) {
        ids.insert(mxmlElementGetAttr(v, "id"));
      }
      for (mxml_node_t* c = mxmlFindElement(list, list, "vertex", nullptr, nullptr, MXML_DESCEND);
           c != nullptr; c = mxmlFindElement(c, list, "vertex", nullptr, nullptr, MXML_DESCEND)) {
        ++corners;
        const char* vid = mxmlElementGetAttr(c, "vid");
        if (vid == nullptr || ids.count(vid) == 0) ++missing;
      }
    }
    mxmlDelete(top);
    EXPECT_EQ(corners, facts.corners);
    EXPECT_EQ(missing, 0u);
  }
}

TEST(RealScenes, AsteroidUsesAGreyColourLayer) {
  std::vector<SceneMaterial> materials;
  ReadMaterials(SceneText("asteroid.dxs"), materials);
  size_t colourLayers = 0, alphaBlendColours = 0, grey = 0;
  for (const SceneMaterial& m : materials) {
    for (uint32_t i = 0; i < m.layerCount; ++i) {
      if (m.textureIsFile[i]) continue;
      ++colourLayers;
      if (m.blendModes[i] == BlendAlphaBlend) ++alphaBlendColours;
      if (m.textureNames[i] == "col_rgba_101_101_101_255_.png") ++grey;
      EXPECT_EQ(m.textureSources[i], m.textureNames[i]);
    }
  }
  EXPECT_EQ(colourLayers, 2u);
  EXPECT_EQ(alphaBlendColours, 1u);
  EXPECT_EQ(grey, 1u);
}

TEST(RealScenes, KralienHasOneAlphaBlendedColourMaterial) {
  std::vector<SceneMaterial> materials;
  ReadMaterials(SceneText("KralienSlingShotFocusAntenna.dxs"), materials);
  ASSERT_EQ(materials.size(), 1u);
  EXPECT_EQ(materials[0].id, 20);
  ASSERT_EQ(materials[0].layerCount, 1u);
  EXPECT_EQ(materials[0].textureNames[0], "col_rgba_142_142_142_255_.png");
  EXPECT_EQ(materials[0].blendModes[0], BlendAlphaBlend);
  EXPECT_FALSE(materials[0].textureIsFile[0]);
  EXPECT_EQ(materials[0].textureDataSize, 164u + 29u);
}

TEST(RealScenes, NeutralGateHasLightmapLayersAndTwoTextureSets) {
  const std::string text = SceneText("NeutralGate1.dxs");
  std::vector<SceneMaterial> materials;
  ReadMaterials(text, materials);
  size_t lightmaps = 0;
  for (const SceneMaterial& m : materials) {
    if (m.id < 16 || m.id > 24) continue;
    ASSERT_EQ(m.layerCount, 2u) << m.id;
    EXPECT_EQ(m.blendModes[0], BlendReplace);
    EXPECT_EQ(m.blendModes[1], BlendModulate);
    EXPECT_TRUE(m.textureIsFile[1]);
    if (m.textureSources[1].rfind("LightMaps\\NeutralGate1\\", 0) == 0) ++lightmaps;
    EXPECT_EQ(m.textureNames[1].find('\\'), std::string::npos);
  }
  EXPECT_EQ(lightmaps, 9u);

  std::vector<ScenePolygon> polygons;
  std::vector<SceneVertex> vertices;
  uint32_t count = 0;
  ASSERT_TRUE(ReadPrimitives(text, polygons, vertices, count));
  for (const SceneVertex& v : vertices) {
    ASSERT_TRUE(v.uvSets[0].present && v.uvSets[1].present);
    ASSERT_FALSE(v.uvSets[2].present || v.uvSets[3].present);
    ASSERT_EQ(v.vertexSize, 40u);
  }
  uint32_t largest = 0;
  for (const ScenePolygon& p : polygons)
    largest = std::max(largest, p.vertexCount);
  EXPECT_EQ(largest, 16u);
}

TEST(RealScenes, PatrolBoatHasTwoCornerPolygons) {
  std::vector<ScenePolygon> polygons;
  std::vector<SceneVertex> vertices;
  uint32_t count = 0;
  ASSERT_TRUE(ReadPrimitives(SceneText("patrol-boat.dxs"), polygons, vertices, count));
  size_t byCorners[5] = {};
  for (const ScenePolygon& p : polygons) {
    ASSERT_LT(p.vertexCount, 5u);
    ++byCorners[p.vertexCount];
  }
  EXPECT_EQ(byCorners[2], 2u);
  EXPECT_EQ(byCorners[3], 120u);
  EXPECT_EQ(byCorners[4], 1582u);
  for (const ScenePolygon& p : polygons)
    EXPECT_EQ(p.materialId, 25);
}

}  // namespace
}  // namespace tessaline
