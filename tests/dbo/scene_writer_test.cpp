// Whole files written by the scene writer, against bytes built here from the format.
#include <gtest/gtest.h>

#include <filesystem>
#include <tuple>

#include "dbo/dbo.h"
#include "dbo_test_support.h"

namespace tessaline::testing {
namespace {

// One material with one layer wall.png (blend modulate), one triangle with its normal (0, 0, 1).
Scene TriangleScene() {
  Scene scene;
  scene.materials.push_back(Material(7, {"wall.png"}, {BlendModulate}));
  AddPolygon(scene, {Corner(0, 0, 0, 0, 1), Corner(1, 0, 0, 1, 1), Corner(1, 1, 0, 1, 0)}, 7);
  return scene;
}

Bytes& FrameHead(Bytes& b) {
  return b.NameItem(101, "DeleDExported")
      .Item(102, 64)
      .Floats({1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1});
}

Bytes& ClosingGroup(Bytes& b, std::initializer_list<float> scale = {1, 1, 1}) {
  return b.Item(106, 12).Floats({0, 0, 0}).Item(107, 12).Floats({0, 0, 0}).Item(108, 12).Floats(scale).End();
}

// The one-triangle file: meshSize 801, totalSize 926, root 1107, sibling 934 (collision: 637, 762, 943, 770).
std::vector<uint8_t> ExpectedTriangleFile(bool collision) {
  const uint32_t n = collision ? 0 : 1;
  Bytes b;
  b.String("MAGICDBO").Dword(1).Dword(0).Dword(0).Item(1, collision ? 943 : 1107);
  FrameHead(b).EmptyItem(103).EmptyItem(104).Item(105, collision ? 770 : 934);
  FrameHead(b).Item(103, collision ? 637 : 801).DwordItem(111, n * 256 + 18).DwordItem(112, 24 + 8 * n);
  b.DwordItem(113, 3).DwordItem(114, 3).DwordItem(138, 0).Item(115, 3 * (24 + 8 * n));
  for (const auto& c : {std::array<float, 4>{0, 0, 0, 1}, {1, 0, 1, 1}, {1, 1, 1, 0}}) {  // x, y, u, v
    b.Floats({c[0], c[1], 0, 0, 0, 1});
    if (!collision) b.Floats({c[2], c[3]});
  }
  b.Item(116, 6).Word(2).Word(0).Word(1).DwordItem(117, 4).DwordItem(118, 3).DwordItem(119, 1).DwordItem(121,
                                                                                                         0);
  b.EmptyItem(122).FlagItem(125, 0).Item(126, 68).Floats({1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0});
  b.DwordItem(127, n);
  if (collision) {
    b.EmptyItem(128);
  } else {
    b.Item(128, 172).NameItem(141, "wall.png").DwordItem(142, 0).DwordItem(143, 4).DwordItem(144, 2);
    b.DwordItem(145, 1).DwordItem(146, 1).DwordItem(147, 1).DwordItem(148, 2).DwordItem(149, 2);
    b.DwordItem(150, 2).DwordItem(151, 0).DwordItem(152, 0).DwordItem(153, 0).End().End();
  }
  b.FlagItem(123, 0).DwordItem(124, 0).EmptyItem(139).FlagItem(129, collision ? 1 : 0);
  b.FlagItem(130, 1).FlagItem(131, 1).FlagItem(132, 1).FlagItem(133, 1).FlagItem(134, 0).FlagItem(135, 0);
  b.DwordItem(136, 2).FlagItem(140, 1).FlagItem(137, 0).DwordItem(155, 0).FlagItem(156, 0);
  b.DwordItem(157, 0).DwordItem(158, 0).FlagItem(159, 1).FlagItem(160, 1).DwordItem(166, 0).End();
  ClosingGroup(ClosingGroup(b.EmptyItem(104).EmptyItem(105)));
  return b.EmptyItem(2).DwordItem(406, 0).End().data;
}

TEST(SceneWriter, WritesTheOneTriangleExampleByteForByte) {
  for (const bool collision : {false, true}) {
    const PackedModel object =
        Build(TriangleScene(), collision ? MeshRouting::OneRecord : MeshRouting::ByMaterial);
    ASSERT_EQ(object.meshes.size(), 1u);
    EXPECT_EQ(WriteAndWalk(object, collision).bytes, ExpectedTriangleFile(collision)) << collision;
  }
}

TEST(SceneWriter, WritesEmptySceneAsRootFrameOnly) {
  Scene scene;
  scene.materials.push_back(Material(1, {"unused.png"}));  // a material without polygons gives no frame
  Bytes b;
  b.String("MAGICDBO").Dword(1).Dword(0).Dword(0).Item(1, 13 + 168);
  FrameHead(b).EmptyItem(103).EmptyItem(104).EmptyItem(105);
  ClosingGroup(b, {2.0f, 1.0f, 0.5f}).EmptyItem(2).DwordItem(406, 0).End();
  EXPECT_EQ(WriteAndWalk(Build(scene), false, {2.0f, 1.0f, 0.5f}).bytes, b.data);
}

// The fixtures are examples for the inspect command and the fuzzer: the files written today, and two
// broken forms of the triangle that the walker must reject.
TEST(SceneWriter, FixturesAreTheTriangleExampleAndItsBrokenForms) {
  const std::filesystem::path folder = std::filesystem::path(TESSALINE_SOURCE_DIR) / "tests/fixtures/dbo";
  EXPECT_EQ(ReadFile(folder / "synthetic_triangle.dbo"), ExpectedTriangleFile(false));
  EXPECT_EQ(ReadFile(folder / "synthetic_triangle_collision.dbo"), ExpectedTriangleFile(true));
  EXPECT_TRUE(WalkDbo(ReadFile(folder / "synthetic_empty.dbo")).ok);
  EXPECT_EQ(WalkDbo(ReadFile(folder / "synthetic_triangle_fail_index_out_of_range.dbo")).error,
            "offset 450: index 3 is not below the vertex count 3");
  EXPECT_EQ(WalkDbo(ReadFile(folder / "synthetic_triangle_fail_truncated.dbo")).error,
            "offset 342: file ends inside the vertex data");
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
  EXPECT_EQ(ItemsOf(file, 1), (std::vector<uint32_t>{3 + 2 * (112 + 3) + m0 + m1 + 168}));
  EXPECT_EQ(ItemsOf(file, 105), (std::vector<uint32_t>{m0 + m1 + 2 * (3 + 88) + 32, m1 + 3 + 88 + 32, 8}));
  EXPECT_EQ(ItemsOf(file, 103), (std::vector<uint32_t>{8, m0, m1}));
  EXPECT_EQ(ItemsOf(file, 143, Field::Value), (std::vector<uint32_t>{2, 11, 13, 1}));  // blend operations
  for (const DboFrameInfo& frame : file.report.frames)
    EXPECT_EQ(frame.scale, (std::array<float, 3>{2.0f, 1.0f, 0.5f}));
}

TEST(SceneWriter, VertexCarriesExactlyLayerCountPairs) {
  // Layers; the slots present in every corner (u = 10 x slot + corner, v = -u); the slot of each pair
  // written (-1: padding (0, 0)); meshSize, from the first vertex's size whatever is written.
  const std::tuple<uint32_t, std::vector<int>, std::vector<int>, uint32_t> cases[] = {
      {2, {0, 2}, {0, 2}, 40 * 3 + 6 + 330 + 527},    // the absent slot 1 skipped
      {0, {0}, {}, 32 * 3 + 6 + 527},                 // no layers: slot 0 cut
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
    const auto data =
        file.bytes.begin() + static_cast<std::ptrdiff_t>(ItemsOf(file, 115, Field::Offset).at(0)) + 8;
    EXPECT_EQ(std::vector<uint8_t>(data, data + ItemsOf(file, 115).at(0)), expected.data) << layers;
  }
}

}  // namespace
}  // namespace tessaline::testing
