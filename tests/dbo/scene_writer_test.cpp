// Whole files written by the scene writer, against bytes built here from the format, and the stream's
// behaviour when the file cannot be written.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "dbo/dbo.h"
#include "dbo_test_support.h"

namespace tessaline::testing {
namespace {

// One material with one layer wall.png (blend modulate), one triangle with its normal (0, 0, 1).
Scene TriangleScene() {
  Scene scene;
  scene.materials.push_back(Material(7, {"wall.png"}, {BlendModulate}));
  AddPolygon(scene, {Corner(0, 0, 0, 0.0f, 1.0f), Corner(1, 0, 0, 1.0f, 1.0f), Corner(1, 1, 0, 1.0f, 0.0f)},
             7);
  return scene;
}

Bytes& Header(Bytes& b) {
  return b.Dword(8).Text("MAGICDBO").Dword(1).Dword(0).Dword(0);
}

Bytes& FrameHead(Bytes& b, const std::string& name) {
  b.NameItem(101, name);
  b.Item(102, 64).Floats({1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1});
  return b;
}

Bytes& ClosingGroup(Bytes& b, float sx, float sy, float sz) {
  b.Item(106, 12).Floats({0, 0, 0});
  b.Item(107, 12).Floats({0, 0, 0});
  b.Item(108, 12).Floats({sx, sy, sz});
  return b.End();
}

// The items after the texture list, the same in every mesh but for flag 129.
Bytes& MeshTail(Bytes& b, bool collision) {
  b.FlagItem(123, 0).DwordItem(124, 0).EmptyItem(139).FlagItem(129, collision ? 1 : 0);
  b.FlagItem(130, 1).FlagItem(131, 1).FlagItem(132, 1).FlagItem(133, 1).FlagItem(134, 0).FlagItem(135, 0);
  b.DwordItem(136, 2).FlagItem(140, 1).FlagItem(137, 0).DwordItem(155, 0).FlagItem(156, 0);
  b.DwordItem(157, 0).DwordItem(158, 0).FlagItem(159, 1).FlagItem(160, 1).DwordItem(166, 0);
  return b.End();
}

// The one-triangle file of the worked example: meshSize 801 (637 collision), totalSize 926, root 1107,
// sibling 934.
std::vector<uint8_t> ExpectedTriangleFile(bool collision) {
  const uint32_t meshSize = collision ? 637 : 801;
  Bytes b;
  Header(b);
  b.Item(1, 13 + (112 + 13 + meshSize) + 168);
  FrameHead(b, "DeleDExported");
  b.EmptyItem(103);
  b.EmptyItem(104);
  b.Item(105, meshSize + 13 + 88 + 32);
  FrameHead(b, "DeleDExported");
  b.Item(103, meshSize);
  if (!collision) {
    b.DwordItem(111, 274).DwordItem(112, 32).DwordItem(113, 3).DwordItem(114, 3).DwordItem(138, 0);
    b.Item(115, 96);
    b.Floats({0, 0, 0, 0, 0, 1, 0, 1});
    b.Floats({1, 0, 0, 0, 0, 1, 1, 1});
    b.Floats({1, 1, 0, 0, 0, 1, 1, 0});
  } else {
    b.DwordItem(111, 18).DwordItem(112, 24).DwordItem(113, 3).DwordItem(114, 3).DwordItem(138, 0);
    b.Item(115, 72);
    b.Floats({0, 0, 0, 0, 0, 1});
    b.Floats({1, 0, 0, 0, 0, 1});
    b.Floats({1, 1, 0, 0, 0, 1});
  }
  b.Item(116, 6).Word(2).Word(0).Word(1);
  b.DwordItem(117, 4).DwordItem(118, 3).DwordItem(119, 1).DwordItem(121, 0).EmptyItem(122).FlagItem(125, 0);
  b.Item(126, 68).Floats({1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0});
  if (!collision) {
    b.DwordItem(127, 1);
    b.Item(128, 172);
    b.NameItem(141, "wall.png").DwordItem(142, 0).DwordItem(143, 4).DwordItem(144, 2).DwordItem(145, 1);
    b.DwordItem(146, 1).DwordItem(147, 1).DwordItem(148, 2).DwordItem(149, 2).DwordItem(150, 2);
    b.DwordItem(151, 0).DwordItem(152, 0).DwordItem(153, 0).End();
    b.End();
  } else {
    b.DwordItem(127, 0);
    b.EmptyItem(128);
  }
  MeshTail(b, collision);
  b.EmptyItem(104).EmptyItem(105);
  ClosingGroup(b, 1, 1, 1);
  ClosingGroup(b, 1, 1, 1);
  b.EmptyItem(2).DwordItem(406, 0).End();
  return b.data();
}

TEST(SceneWriter, WritesOneTriangleMainFileByteForByte) {
  const SceneObject object = BuildMain(TriangleScene());
  ASSERT_EQ(object.meshes.size(), 1u);
  EXPECT_EQ(object.meshes[0].meshSize, 801u);
  EXPECT_EQ(object.totalSize, 926u);
  EXPECT_EQ(WriteAndWalk(object, false), ExpectedTriangleFile(false));
}

TEST(SceneWriter, WritesOneTriangleCollisionFileByteForByte) {
  const SceneObject object = BuildCollision(TriangleScene(), 1);
  ASSERT_EQ(object.meshes.size(), 1u);
  EXPECT_EQ(object.meshes[0].meshSize, 637u);
  EXPECT_EQ(WriteAndWalk(object, true), ExpectedTriangleFile(true));
}

// The fixtures are the inspect command's and the fuzzer's examples; they must stay the files written today.
TEST(SceneWriter, TriangleFixturesAreTheWorkedExampleFiles) {
  const std::filesystem::path folder = std::filesystem::path(TESSALINE_SOURCE_DIR) / "tests/fixtures/dbo";
  EXPECT_EQ(ReadFile(folder / "synthetic_triangle.dbo"), ExpectedTriangleFile(false));
  EXPECT_EQ(ReadFile(folder / "synthetic_triangle_collision.dbo"), ExpectedTriangleFile(true));
  const DboReport empty = WalkDbo(ReadFile(folder / "synthetic_empty.dbo"));
  EXPECT_TRUE(empty.ok) << empty.error;
  EXPECT_EQ(empty.frames.size(), 1u);
}

TEST(SceneWriter, WritesEmptySceneAsRootFrameOnly) {
  static constexpr uint8_t kExpected[] = {
      // header
      0x08, 0x00, 0x00, 0x00, 0x4D, 0x41, 0x47, 0x49, 0x43, 0x44, 0x42, 0x4F, 0x01, 0x00, 0x00, 0x00, 0x00,
      0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
      // root frame, size L + 168 = 181
      0x01, 0x00, 0x00, 0x00, 0xB5, 0x00, 0x00, 0x00,
      // FrameName "DeleDExported"
      0x65, 0x00, 0x00, 0x00, 0x11, 0x00, 0x00, 0x00, 0x0D, 0x00, 0x00, 0x00, 0x44, 0x65, 0x6C, 0x65, 0x44,
      0x45, 0x78, 0x70, 0x6F, 0x72, 0x74, 0x65, 0x64,
      // FrameMatrix: identity
      0x66, 0x00, 0x00, 0x00, 0x40, 0x00, 0x00, 0x00, 0x00, 0x00, 0x80, 0x3F, 0x00, 0x00, 0x00, 0x00, 0x00,
      0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x80, 0x3F, 0x00, 0x00,
      0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x80,
      0x3F, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
      0x00, 0x00, 0x80, 0x3F,
      // FrameMesh, FrameChild, FrameSibling: each the terminator alone
      0x67, 0x00, 0x00, 0x00, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x68,
      0x00, 0x00, 0x00, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x69, 0x00,
      0x00, 0x00, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
      // 106, 107, 108 (scale 2, 1, 0.5), terminator
      0x6A, 0x00, 0x00, 0x00, 0x0C, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
      0x00, 0x00, 0x00, 0x6B, 0x00, 0x00, 0x00, 0x0C, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
      0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x6C, 0x00, 0x00, 0x00, 0x0C, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
      0x40, 0x00, 0x00, 0x80, 0x3F, 0x00, 0x00, 0x00, 0x3F, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
      // item 2 (empty list), item 406 (dword 0), final terminator
      0x02, 0x00, 0x00, 0x00, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x96,
      0x01, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
      0x00, 0x00};
  Scene scene;
  scene.materials.push_back(Material(1, {"unused.png"}));  // a material without polygons gives no frame
  const SceneObject object = BuildMain(scene);
  EXPECT_TRUE(object.meshes.empty());
  EXPECT_EQ(object.totalSize, 0u);
  EXPECT_EQ(WriteAndWalk(object, false, {2.0f, 1.0f, 0.5f}),
            std::vector<uint8_t>(std::begin(kExpected), std::end(kExpected)));
}

TEST(SceneWriter, EmptyNameGivesNameItemsOfSizeFour) {
  DboReport report;
  const std::vector<uint8_t> bytes = WriteAndWalk(BuildMain(TriangleScene(), ""), false, {1, 1, 1}, &report);
  ASSERT_EQ(report.frames.size(), 2u);
  for (const DboItem& item : report.items) {
    if (item.code == 101) {
      EXPECT_EQ(item.size, 4u);
      EXPECT_EQ(bytes[item.offset + 8], 0);  // the length dword 0 alone
    }
    if (item.code == 1) {
      EXPECT_EQ(item.size, 801u + 112 + 168);
    }
  }
}

// The declared sizes of every item with the given code, in file order.
std::vector<uint32_t> SizesOf(const DboReport& report, uint32_t code) {
  std::vector<uint32_t> sizes;
  for (const DboItem& item : report.items) {
    if (item.code == code) sizes.push_back(item.size);
  }
  return sizes;
}

TEST(SceneWriter, SiblingSizesSumTheFramesAfterThem) {
  Scene scene;
  scene.materials.push_back(Material(1, {"a.png"}));        // textureDataSize 169
  scene.materials.push_back(Material(2, {"bb.png", "c"}));  // 170 + 165 = 335
  AddPolygon(scene, RegularPolygon(3), 1);
  AddPolygon(scene, RegularPolygon(4), 2);
  const SceneObject object = BuildMain(scene, "abc");
  ASSERT_EQ(object.meshes.size(), 2u);
  const uint32_t m0 = 32 * 3 + 2 * 3 + 169 + 527;
  const uint32_t m1 = 32 * 4 + 2 * 6 + 335 + 527;
  EXPECT_EQ(object.meshes[0].meshSize, m0);
  EXPECT_EQ(object.meshes[1].meshSize, m1);
  EXPECT_EQ(object.totalSize, 2 * (112 + 3) + m0 + m1);

  DboReport report;
  WriteAndWalk(object, false, {1, 1, 1}, &report);
  EXPECT_EQ(SizesOf(report, 1), (std::vector<uint32_t>{3 + object.totalSize + 168}));
  EXPECT_EQ(SizesOf(report, 105), (std::vector<uint32_t>{m0 + m1 + 2 * (3 + 88) + 32, m1 + 3 + 88 + 32, 8}));
  EXPECT_EQ(SizesOf(report, 103), (std::vector<uint32_t>{8, m0, m1}));
  ASSERT_EQ(report.frames.size(), 3u);
  EXPECT_EQ(report.frames[2].mesh.textureNames, (std::vector<std::string>{"bb.png", "c"}));
}

TEST(SceneWriter, ScaleAppearsInEveryFrameAndPositionsStayUnscaled) {
  Scene scene;
  scene.materials.push_back(Material(1, {"a.png"}));
  scene.materials.push_back(Material(2, {"b.png"}));
  AddPolygon(scene, {Corner(3, 4, 5), Corner(6, 4, 5), Corner(6, 8, 5)}, 1);
  AddPolygon(scene, RegularPolygon(3), 2);
  DboReport report;
  const std::vector<uint8_t> bytes = WriteAndWalk(BuildMain(scene), false, {2.0f, 1.0f, 0.5f}, &report);
  ASSERT_EQ(report.frames.size(), 3u);
  for (const DboFrameInfo& frame : report.frames)
    EXPECT_EQ(frame.scale, (std::array<float, 3>{2.0f, 1.0f, 0.5f}));
  const DboItem* data = nullptr;
  for (const DboItem& item : report.items) {
    if (item.code == 115 && data == nullptr) data = &item;
  }
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + data->offset + 8, bytes.begin() + data->offset + 20),
            Bytes().Floats({3, 4, 5}).data());
}

// The vertex data bytes of the first mesh of a main file.
std::vector<uint8_t> FirstVertexData(const Scene& scene) {
  DboReport report;
  const std::vector<uint8_t> bytes = WriteAndWalk(BuildMain(scene), false, {1, 1, 1}, &report);
  for (const DboItem& item : report.items) {
    if (item.code == 115) {
      const auto begin = bytes.begin() + static_cast<std::ptrdiff_t>(item.offset + 8);
      return std::vector<uint8_t>(begin, begin + item.size);
    }
  }
  ADD_FAILURE() << "no vertex data";
  return {};
}

// A triangle of corners at x = 0, 1, 2 whose slots are set by `slots` (u = 10 x slot + corner, v = -u).
Scene SlotScene(uint32_t layers, std::vector<int> slots) {
  Scene scene;
  std::vector<std::string> names;
  for (uint32_t i = 0; i < layers; ++i)
    names.push_back("t" + std::to_string(i));
  scene.materials.push_back(Material(1, names));
  std::vector<SceneVertex> corners;
  for (int k = 0; k < 3; ++k) {
    SceneVertex corner = Corner(static_cast<float>(k), static_cast<float>(k * k), 0);
    corner.uvSets = {};
    for (int slot : slots) {
      const float u = static_cast<float>(10 * slot + k);
      corner.uvSets[slot] = {true, u, -u};
    }
    corner.vertexSize = 24 + 8 * static_cast<uint32_t>(slots.size());
    corners.push_back(corner);
  }
  AddPolygon(scene, corners, 1);
  return scene;
}

// Position and normal of corner k of SlotScene (normal (0, 0, 1): the corners turn anticlockwise).
Bytes& SlotCorner(Bytes& b, int k) {
  return b.Floats({static_cast<float>(k), static_cast<float>(k * k), 0, 0, 0, 1});
}

TEST(SceneWriter, VertexCarriesExactlyLayerCountPairs) {
  // Slots 0 and 2 present, two layers: pairs 0 and 2, the absent slot 1 skipped.
  {
    Bytes b;
    for (int k = 0; k < 3; ++k)
      SlotCorner(b, k).Floats({float(k), -float(k), float(20 + k), -float(20 + k)});
    EXPECT_EQ(FirstVertexData(SlotScene(2, {0, 2})), b.data());
  }
  // No layers: slot 0 is cut, 24 bytes per vertex.
  {
    Bytes b;
    for (int k = 0; k < 3; ++k)
      SlotCorner(b, k);
    EXPECT_EQ(FirstVertexData(SlotScene(0, {0})), b.data());
  }
  // Three layers, only slot 0 present: padded with (0, 0) twice.
  {
    Bytes b;
    for (int k = 0; k < 3; ++k)
      SlotCorner(b, k).Floats({float(k), -float(k), 0, 0, 0, 0});
    EXPECT_EQ(FirstVertexData(SlotScene(3, {0})), b.data());
  }
  // One layer, slots 1 and 3 present: the first present slot only.
  {
    Bytes b;
    for (int k = 0; k < 3; ++k)
      SlotCorner(b, k).Floats({float(10 + k), -float(10 + k)});
    EXPECT_EQ(FirstVertexData(SlotScene(1, {1, 3})), b.data());
  }
}

TEST(SceneWriter, MeshSizeUsesTheFirstVertexSizeWhateverIsWritten) {
  const SceneObject object = BuildMain(SlotScene(0, {0, 1, 2}));  // vertexSize 48, written with 24 bytes
  ASSERT_EQ(object.meshes.size(), 1u);
  EXPECT_EQ(object.meshes[0].meshSize, 48u * 3 + 6 + 0 + 527);
  DboReport report;
  WriteAndWalk(object, false, {1, 1, 1}, &report);
  EXPECT_EQ(SizesOf(report, 115), (std::vector<uint32_t>{72}));
  EXPECT_EQ(SizesOf(report, 128), (std::vector<uint32_t>{0}));
  EXPECT_EQ(report.frames[1].mesh.vertexFormat, 18u);
}

TEST(SceneWriter, TextureEntriesCarryStageBlendAndLayerNumbers) {
  Scene scene;
  scene.materials.push_back(Material(1, {"Media\\brick.bmp", "col_rgba_255_128_0_255_.png", "x", "y", "z"},
                                     {BlendReplace, BlendAdd, BlendAlphaBlend, 99, BlendModulate}));
  AddPolygon(scene, RegularPolygon(3), 1);
  SceneObject object = BuildMain(scene);
  DboReport report;
  const std::vector<uint8_t> bytes = WriteAndWalk(object, false, {1, 1, 1}, &report);
  ASSERT_EQ(report.frames.size(), 2u);
  EXPECT_EQ(report.frames[1].mesh.textureNames, scene.materials[0].textureNames);
  EXPECT_EQ(report.frames[1].mesh.vertexFormat, 5u * 256 + 18);
  auto valuesOf = [&](uint32_t code) {
    std::vector<uint32_t> values;
    for (const DboItem& item : report.items) {
      if (item.code != code) continue;
      uint32_t value = 0;
      std::memcpy(&value, bytes.data() + item.offset + 8, 4);
      values.push_back(value);
    }
    return values;
  };
  EXPECT_EQ(valuesOf(142), (std::vector<uint32_t>{0, 1, 2, 3, 4}));
  EXPECT_EQ(valuesOf(143), (std::vector<uint32_t>{2, 11, 13, 1, 4}));
  EXPECT_EQ(valuesOf(151), (std::vector<uint32_t>{0, 11, 12, 13, 14}));
  EXPECT_EQ(SizesOf(report, 141), (std::vector<uint32_t>{19, 31, 5, 5, 5}));
}

TEST(SceneWriter, StepsTheBarByPacingOverMeshes) {
  Scene scene;
  for (int32_t id = 0; id < 100; ++id) {
    scene.materials.push_back(Material(id, {}));
    AddPolygon(scene, RegularPolygon(3), id);
  }
  const SceneObject object = BuildMain(scene);
  ASSERT_EQ(object.meshes.size(), 100u);
  const std::filesystem::path path = TempPath("paced.dbo");
  dbofstream out;
  out.open(path, std::ios::binary | std::ios::out | std::ios::trunc);
  RecordingProgress progress;
  WriteScene(out, object, {1, 1, 1}, progress, false);
  out.close();
  EXPECT_EQ(progress.steps, (std::vector<int>{1}));
  EXPECT_EQ(progress.stepCount, 7);  // after meshes 1, 2, 4, 8, 16, 32 and 64
  const DboReport report = WalkDbo(ReadFile(path));
  EXPECT_TRUE(report.ok) << report.error;
  EXPECT_EQ(report.frames.size(), 101u);
  std::filesystem::remove(path);
}

TEST(DboStream, FailedOpenGetsNoHeaderAndStaysFailed) {
  const std::filesystem::path path = std::filesystem::path(::testing::TempDir()) / "no-such-folder" / "x.dbo";
  dbofstream out;
  out.open(path, std::ios::binary | std::ios::out | std::ios::trunc);
  ASSERT_TRUE(out.fail());
  NoProgress progress;
  WriteScene(out, BuildMain(TriangleScene()), {1, 1, 1}, progress, false);
  EXPECT_TRUE(out.fail());
  out.close();
  EXPECT_TRUE(out.fail());
  EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(DboStream, StreamThatFailsWhileWritingReportsFailureAfterClose) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  dbofstream out;
  out.open("/dev/full", std::ios::binary | std::ios::out | std::ios::trunc);
  ASSERT_FALSE(out.fail());
  NoProgress progress;
  WriteScene(out, BuildMain(TriangleScene()), {1, 1, 1}, progress, false);
  out.close();
  EXPECT_TRUE(out.fail());
}

TEST(DboStream, EncodesHeaderStringsVertexAndScalars) {
  const std::filesystem::path path = TempPath("fields.dbo");
  SceneVertex vertex = Corner(1, 2, 3, 4, 5);
  vertex.nx = 6;
  vertex.uvSets[2] = {true, 7, 8};
  {
    dbofstream out;
    out.open(path, std::ios::binary | std::ios::out | std::ios::trunc);
    EXPECT_TRUE(out.WriteHeader());
    EXPECT_TRUE(out.WriteString(""));
    EXPECT_TRUE(out.WriteString("ab"));
    EXPECT_TRUE(out.WriteVertex(vertex, 2));
    EXPECT_TRUE(out.WriteDword(0x01020304));
    EXPECT_TRUE(out.WriteFloat(-2.0f));
    EXPECT_TRUE(out.WriteFlag(true));
    EXPECT_TRUE(out.WriteWord(0xBEEF));
  }  // the destructor closes the file
  static constexpr uint8_t kHeader[] = {0x08, 0x00, 0x00, 0x00, 'M',  'A',  'G',  'I',
                                        'C',  'D',  'B',  'O',  0x01, 0x00, 0x00, 0x00,
                                        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
  Bytes expected;
  for (uint8_t byte : kHeader)
    expected.Byte(byte);
  expected.Dword(0).Dword(2).Text("ab");
  expected.Floats({1, 2, 3, 6, 0, 0, 4, 5, 7, 8});
  expected.Byte(0x04).Byte(0x03).Byte(0x02).Byte(0x01);
  expected.Byte(0x00).Byte(0x00).Byte(0x00).Byte(0xC0);
  expected.Byte(1).Byte(0xEF).Byte(0xBE);
  EXPECT_EQ(ReadFile(path), expected.data());
  std::filesystem::remove(path);
}

}  // namespace
}  // namespace tessaline::testing
