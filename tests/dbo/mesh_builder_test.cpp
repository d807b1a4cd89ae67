// Mesh building: triangulation, face normals, which record a polygon goes to, and frames of at most 65535
// vertices.
#include <gtest/gtest.h>

#include "dbo_test_support.h"

namespace tessaline::testing {
namespace {

TEST(Triangulation, ZigzagsFromBothEndsAndCountsFromEachPolygonsFirstVertex) {
  const std::pair<std::vector<uint32_t>, std::vector<uint16_t>> cases[] = {
      // the corner counts of the polygons, the indices built
      {{6}, {5, 0, 1, 5, 1, 4, 4, 1, 2, 4, 2, 3}},
      {{4, 3}, {3, 0, 1, 3, 1, 2, 6, 4, 5}},
      {{0, 1, 2, 3}, {2, 0, 1}},  // fewer than three corners: no vertices, no indices
  };
  for (const auto& [corners, indices] : cases) {
    Scene scene;
    scene.materials.push_back(Material(1, {}));
    for (uint32_t count : corners)
      AddPolygon(scene, RegularPolygon(count), 1);
    EXPECT_EQ(Build(scene).meshes.at(0).indices, indices) << corners.back();
  }
}

TEST(FaceNormal, IsTheUnitNormalOfTheFirstTurnOrZeroWhenCollinear) {
  EXPECT_EQ(faceNormal({0, 5, 0}, {0, 0, 0}, {0, 0, 7}), (std::array<float, 3>{-1, 0, 0}));
  EXPECT_EQ(faceNormal({0, 0, 0}, {0, 0, 1}, {1, 0, 0}), (std::array<float, 3>{0, 1, 0}));
  EXPECT_EQ(faceNormal({0, 0, 0}, {1, 1, 1}, {2, 2, 2}), (std::array<float, 3>{0, 0, 0}));
}

std::vector<size_t> VertexCounts(const Scene& scene, MeshRouting routing, std::vector<MeshRecord> meshes) {
  NoProgress progress;
  BuildGeometry(routing, scene.polygons, scene.vertices, meshes, progress, 1);
  std::vector<size_t> counts;
  for (const MeshRecord& mesh : meshes)
    counts.push_back(mesh.vertices.size());
  return counts;
}

TEST(BuildGeometry, RoutesPolygonsAndSkipsThoseWithoutARecord) {
  Scene scene;
  scene.materials = {Material(4, {}), Material(9, {}), Material(4, {"dup"}), Material(-1, {})};
  AddPolygon(scene, RegularPolygon(3), 4, 0);
  AddPolygon(scene, RegularPolygon(4), 9, 2);
  AddPolygon(scene, RegularPolygon(5), 4, 0);
  AddPolygon(scene, RegularPolygon(6), -1, -1);  // by primitive: negative primitive id
  AddPolygon(scene, RegularPolygon(7), 123, 6);  // no such material; not below 6 records
  AddPolygon(scene, RegularPolygon(2), 4, 5);    // two corners: skipped in every routing
  using C = std::vector<size_t>;
  EXPECT_EQ(VertexCounts(scene, MeshRouting::ByMaterial, BuildMainMeshList(scene.materials)),
            (C{8, 4, 0, 6}));
  EXPECT_EQ(VertexCounts(scene, MeshRouting::OneRecord, BuildCollisionMeshList(MeshRouting::OneRecord, 6)),
            (C{25}));
  EXPECT_EQ(
      VertexCounts(scene, MeshRouting::ByPrimitive, BuildCollisionMeshList(MeshRouting::ByPrimitive, 6)),
      (C{8, 0, 4, 0, 0, 0}));
}

// Material id and vertex count of every frame (packing leaves out records without vertices).
std::vector<std::pair<int32_t, size_t>> Frames(const PackedModel& object, float corners) {
  std::vector<std::pair<int32_t, size_t>> frames;
  float next = 0;
  for (const MeshRecord& mesh : object.meshes) {
    frames.emplace_back(mesh.material.id, mesh.vertices.size());
    for (const SceneVertex& vertex : mesh.vertices)
      EXPECT_EQ(vertex.x, next++);  // every corner once, in polygon order
  }
  EXPECT_EQ(next, corners);
  return frames;
}

TEST(FrameSplit, FillsFramesOf65535WithWholePolygonsInOrderAndInPlace) {
  Scene scene;
  scene.materials = {Material(0, {"before"}), Material(1, {"big.png"}), Material(2, {"after"})};
  float numbered = 0;
  const auto add = [&](uint32_t count, int32_t material) {  // each corner's x is its number
    std::vector<SceneVertex> run;
    for (uint32_t k = 0; k < count; ++k)
      run.push_back(Corner(numbered++, static_cast<float>(k), 0));
    AddPolygon(scene, run, material, material);
  };
  add(3, 0);
  for (int p = 0; p < 16383; ++p)  // quads and a triangle ending the first frame at exactly 65535
    add(4, 1);
  add(3, 1);
  AddPolygon(scene, std::vector<SceneVertex>(kMaxFrameVertices + 1, Corner(-1, 0, 0)), 1, 1);  // dropped
  add(kMaxFrameVertices, 1);       // kept, as a frame of its own
  for (int p = 0; p < 16382; ++p)  // 65533 vertices: a triangle would make 65536, so it starts a new frame
    add(4, 1);
  add(5, 1);
  add(3, 1);
  add(3, 2);

  using F = std::vector<std::pair<int32_t, size_t>>;
  const PackedModel main = Build(scene);
  EXPECT_EQ(Frames(main, numbered), (F{{0, 3}, {1, 65535}, {1, 65535}, {1, 65533}, {1, 3}, {2, 3}}));
  WriteAndWalk(main, false);
  WriteAndWalk(Build(scene, MeshRouting::ByPrimitive), true);  // the per-object collision file
}

}  // namespace
}  // namespace tessaline::testing
