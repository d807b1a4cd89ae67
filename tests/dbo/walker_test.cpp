// The walker rejects broken files with the offset of the fault, and survives any corruption.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <random>
#include <set>
#include <tuple>

#include "dbo/dbo.h"
#include "dbo_test_support.h"

namespace tessaline::testing {
namespace {

// A two-layer triangle named "Level": meshSize 40 x 3 + 6 + 345 + 527 = 998.
Written TwoLayerFile() {
  Scene scene;
  scene.materials.push_back(Material(3, {"wall.png", "light.png"}, {BlendReplace, BlendModulate}));
  std::vector<SceneVertex> corners = {Corner(0, 0, 0), Corner(1, 0, 0), Corner(1, 1, 0)};
  for (SceneVertex& corner : corners) {
    corner.uvSets.Set(1, 0.5f, 0.5f);
    corner.vertexSize = 40;
  }
  AddPolygon(scene, corners, 3);
  return WriteAndWalk(Build(scene, MeshRouting::ByMaterial, "Level"), false);
}

TEST(Walker, RejectsBrokenFilesWithTheOffsetOfTheFault) {
  const Written file = TwoLayerFile();
  const uint64_t size = file.bytes.size(), root = file.report.items.at(0).size;
  const auto at = [&](uint32_t code) { return ItemsOf(file, code, Field::Offset).at(0); };
  const auto setDword = [](uint64_t offset, uint32_t value) {
    return [=](std::vector<uint8_t>& b) { std::memcpy(b.data() + offset, &value, 4); };  // little-endian
  };
  const std::tuple<std::function<void(std::vector<uint8_t>&)>, uint64_t, std::string> cases[] = {
      {[](auto& b) { b.pop_back(); }, size - 8, "file ends where the terminator closing the file should be"},
      {[&](auto& b) { b.resize(at(115) + 8 + 100); }, at(115) + 8, "file ends inside the vertex data"},
      {[&](auto& b) { b.erase(b.begin() + at(166) + 12, b.begin() + at(166) + 20); },  // after the mesh
       at(166) + 12, "expected the terminator closing the mesh, found code 104 (FrameChild)"},
      {setDword(at(112) + 8, 32), at(112) + 8, "vertex size 32 does not match the format's 40 bytes"},
      {setDword(at(115) + 4, 96), at(115), "vertex data declares 96 bytes, 3 vertices of 40 bytes take 120"},
      {[&](auto& b) { b[at(116) + 10] = 3; }, at(116) + 10, "index 3 is not below the vertex count 3"},
      {[](auto& b) { b.push_back(0); }, size, "1 trailing byte(s) after the final terminator"},
      {[](auto& b) { b[5] = 'X'; }, 5, "not a DBO header of this format (magic, version 1, two zeros)"},
      {setDword(28, root + 1), 24,
       "root frame declares size " + std::to_string(root + 1) + ", expected " + std::to_string(root)},
      {setDword(at(105) + 4, 8), at(105), "frame 0 sibling declares size 8, expected 1123"},
      {setDword(at(127) + 8, 1), at(127) + 8,
       "texture count 1 differs from the 2 texture sets of the vertex format"},
  };
  for (const auto& [edit, offset, error] : cases) {
    std::vector<uint8_t> bytes = file.bytes;
    edit(bytes);
    EXPECT_EQ(WalkDbo(bytes).error, "offset " + std::to_string(offset) + ": " + error);
  }
}

// The names inspect prints, each at the item's first appearance.
TEST(Walker, NamesEveryItemTheWriterUses) {
  std::string names;
  std::set<uint32_t> seen;
  for (const DboItem& item : TwoLayerFile().report.items) {
    if (seen.insert(item.code).second) names += std::string(DboItemName(item.code)) + " ";
  }
  EXPECT_EQ(
      names,
      "RootFrame FrameName FrameMatrix FrameMesh FrameChild FrameSibling MeshVertexFormat MeshVertexSize "
      "MeshVertexCount MeshIndexCount MeshDword138 MeshVertexData MeshIndexData MeshPrimitiveType "
      "MeshDrawVertexCount MeshTriangleCount MeshDword121 MeshList122 MeshFlag125 MeshMaterial "
      "MeshTextureCount MeshTextures TextureName TextureStage TextureBlendOp TextureArg1 TextureArg2 "
      "TextureAddressU TextureAddressV TextureMagFilter TextureMinFilter TextureMipFilter TextureDword151 "
      "TextureDword152 TextureDword153 MeshFlag123 MeshDword124 MeshList139 MeshFlag129 MeshFlag130 "
      "MeshFlag131 MeshFlag132 MeshFlag133 MeshFlag134 MeshFlag135 MeshDword136 MeshFlag140 MeshFlag137 "
      "MeshDword155 MeshFlag156 MeshDword157 MeshDword158 MeshFlag159 MeshFlag160 MeshDword166 "
      "FrameVector106 FrameVector107 FrameScale List2 Dword406 ");
  EXPECT_STREQ(DboItemName(0), "Terminator");
  EXPECT_STREQ(DboItemName(120), "");
}

TEST(Walker, RejectsEveryTruncationAndSurvivesCorruptedBytes) {
  const std::vector<uint8_t> file = TwoLayerFile().bytes;
  for (size_t length = 0; length < file.size(); ++length)
    ASSERT_FALSE(WalkDbo(std::vector<uint8_t>(file.begin(), file.begin() + length)).ok) << length;
  std::mt19937 random(12345);
  for (int round = 0; round < 300; ++round) {
    std::vector<uint8_t> bytes = file;
    for (int c = 0; c <= round % 4; ++c)
      bytes[random() % bytes.size()] = static_cast<uint8_t>(round % 3 == 0 ? 0xFF : random());
    const DboReport report = WalkDbo(bytes);
    ASSERT_TRUE(report.ok || report.error.rfind("offset ", 0) == 0) << report.error;
  }
}

}  // namespace
}  // namespace tessaline::testing
