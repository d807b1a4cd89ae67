// Whole files: written by the scene writer (against the fixtures and bytes built here from the format), and
// broken ones the walker rejects with the offset of the fault.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <set>
#include <tuple>

#include "dbo_test_support.h"

namespace tessaline::testing {
namespace {

std::vector<uint8_t> Fixture(const std::string& name) {
  return ReadFile(std::filesystem::path(TESSALINE_SOURCE_DIR) / "tests/fixtures/dbo" / name);
}

// The fixtures hold the files written for one triangle (material 7, layer wall.png, blend modulate) and for
// an empty scene.
TEST(SceneWriter, WritesTheFixturesByteForByte) {
  Scene scene;
  scene.materials.push_back(Material(7, {"wall.png"}, {BlendModulate}));
  EXPECT_EQ(WriteAndWalk(Build(scene), false).bytes, Fixture("synthetic_empty.dbo"));
  AddPolygon(scene, {Corner(0, 0, 0, 0, 1), Corner(1, 0, 0, 1, 1), Corner(1, 1, 0, 1, 0)}, 7);
  EXPECT_EQ(WriteAndWalk(Build(scene), false).bytes, Fixture("synthetic_triangle.dbo"));
  EXPECT_EQ(WriteAndWalk(Build(scene, MeshRouting::OneRecord), true).bytes,
            Fixture("synthetic_triangle_collision.dbo"));
}

TEST(SceneWriter, TwoMeshesGetSiblingSizesTextureEntriesAndScaleInEveryFrame) {
  Scene scene;
  scene.materials.push_back(Material(1, {"a.png"}, {BlendReplace}));  // texture list 169
  scene.materials.push_back(
      Material(2, {"bb.png", "c", "d"}, {BlendAdd, BlendAlphaBlend, BlendMode{99}}));  // 500
  AddPolygon(scene, RegularPolygon(3), 1);
  AddPolygon(scene, RegularPolygon(4), 2);
  const uint32_t m0 = 32 * 3 + 2 * 3 + 169 + 527, m1 = 32 * 4 + 2 * 6 + 500 + 527;
  const Written file = WriteAndWalk(Build(scene, MeshRouting::ByMaterial, "abc"), false, {2.0f, 1.0f, 0.5f});
  EXPECT_EQ(ItemsOf(file, 105), (std::vector<uint32_t>{m0 + m1 + 2 * (3 + 88) + 32, m1 + 3 + 88 + 32, 8}));
  std::vector<uint8_t> blendOps;
  for (uint32_t at : ItemsOf(file, 143, true))
    blendOps.push_back(file.bytes.at(at + 8));
  EXPECT_EQ(blendOps, (std::vector<uint8_t>{2, 11, 13, 1}));
  for (const DboFrameInfo& frame : file.report.frames)
    EXPECT_EQ(frame.scale, (std::array<float, 3>{2.0f, 1.0f, 0.5f}));
}

TEST(SceneWriter, VertexCarriesExactlyLayerCountPairs) {
  // Layers; the slots present in every corner (u = 10 x slot + corner, v = -u); the slot of each pair
  // written (-1: padding (0, 0)); meshSize, from the first vertex's size whatever is written.
  const std::tuple<uint32_t, std::vector<int>, std::vector<int>, uint32_t> cases[] = {
      {2, {0, 2}, {0, 2}, 40 * 3 + 6 + 330 + 527},    // the absent slot 1 skipped
      {3, {0}, {0, -1, -1}, 32 * 3 + 6 + 495 + 527},  // padded with (0, 0)
      {1, {1, 3}, {1}, 40 * 3 + 6 + 165 + 527},       // the first present slot only
      {0, {0, 1, 2}, {}, 48 * 3 + 6 + 527},           // 48-byte vertices written with 24 bytes
  };
  for (const auto& [layers, slots, written, meshSize] : cases) {
    Scene scene;
    scene.materials.push_back(Material(1, std::vector<std::string>(layers, "t")));
    std::vector<SceneVertex> corners;
    Bytes expected;
    for (float k = 0; k < 3; ++k) {
      SceneVertex& corner = corners.emplace_back(Corner(k, k * k, 0));
      corner.uvSets.Clear();
      corner.vertexSize = 24 + 8 * static_cast<uint32_t>(slots.size());
      for (int slot : slots)
        corner.uvSets.Set(slot, 10.0f * slot + k, -(10.0f * slot + k));
      expected.Floats({k, k * k, 0, 0, 0, 1});
      for (int slot : written)
        expected.Floats({slot < 0 ? 0.0f : 10.0f * slot + k, slot < 0 ? 0.0f : -(10.0f * slot + k)});
    }
    AddPolygon(scene, corners, 1);
    const Written file = WriteAndWalk(Build(scene), false);
    EXPECT_EQ(ItemsOf(file, 103), (std::vector<uint32_t>{8, meshSize})) << layers;
    const auto data = file.bytes.begin() + static_cast<std::ptrdiff_t>(ItemsOf(file, 115, true).at(0)) + 8;
    EXPECT_EQ(std::vector<uint8_t>(data, data + ItemsOf(file, 115).at(0)), expected.data) << layers;
  }
}

// The triangle fixture and its walk.
Written Triangle() {
  std::vector<uint8_t> bytes = Fixture("synthetic_triangle.dbo");
  return {bytes, WalkDbo(bytes)};
}

TEST(Walker, RejectsBrokenFilesWithTheOffsetOfTheFault) {
  // Two broken forms of the triangle are fixtures of their own.
  EXPECT_EQ(WalkDbo(Fixture("synthetic_triangle_fail_index_out_of_range.dbo")).error,
            "offset 450: index 3 is not below the vertex count 3");
  EXPECT_EQ(WalkDbo(Fixture("synthetic_triangle_fail_truncated.dbo")).error,
            "offset 342: file ends inside the vertex data");
  const Written file = Triangle();
  const uint64_t size = file.bytes.size(), root = file.report.items.at(0).size;
  const auto at = [&](uint32_t code) { return ItemsOf(file, code, true).at(0); };
  const auto setDword = [](uint64_t offset, uint32_t value) {
    return [=](std::vector<uint8_t>& b) { std::memcpy(b.data() + offset, &value, 4); };  // little-endian
  };
  const std::tuple<std::function<void(std::vector<uint8_t>&)>, uint64_t, std::string> cases[] = {
      {[](auto& b) { b.pop_back(); }, size - 8, "file ends where the terminator closing the file should be"},
      {[&](auto& b) { b.erase(b.begin() + at(166) + 12, b.begin() + at(166) + 20); },  // after the mesh
       at(166) + 12, "expected the terminator closing the mesh, found code 104 (FrameChild)"},
      {setDword(at(112) + 8, 40), at(112) + 8, "vertex size 40 does not match the format's 32 bytes"},
      {setDword(at(115) + 4, 80), at(115), "vertex data declares 80 bytes, 3 vertices of 32 bytes take 96"},
      {[](auto& b) { b.push_back(0); }, size, "1 trailing byte(s) after the final terminator"},
      {[](auto& b) { b[5] = 'X'; }, 5, "not a DBO header of this format (magic, version 1, two zeros)"},
      {setDword(28, root + 1), 24,
       "root frame declares size " + std::to_string(root + 1) + ", expected " + std::to_string(root)},
      {setDword(at(105) + 4, 8), at(105), "frame 0 sibling declares size 8, expected 934"},
      {setDword(at(127) + 8, 2), at(127) + 8,
       "texture count 2 differs from the 1 texture sets of the vertex format"},
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
  for (const DboItem& item : Triangle().report.items) {
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

TEST(Walker, RejectsEveryTruncation) {
  const std::vector<uint8_t> file = Triangle().bytes;
  for (size_t length = 0; length < file.size(); ++length)
    ASSERT_FALSE(WalkDbo(std::vector<uint8_t>(file.begin(), file.begin() + length)).ok) << length;
}

}  // namespace
}  // namespace tessaline::testing
