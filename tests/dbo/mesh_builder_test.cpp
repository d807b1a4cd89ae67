// Mesh building: triangulation, face normals, which record a polygon goes to, and frames of at most
// 65536 vertices.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>

#include "dbo/dbo.h"
#include "dbo_test_support.h"

namespace tessaline::testing {
namespace {

std::vector<uint16_t> IndicesOf(std::vector<uint32_t> cornerCounts) {
  Scene scene;
  scene.materials.push_back(Material(1, {}));
  for (uint32_t count : cornerCounts)
    AddPolygon(scene, RegularPolygon(count), 1);
  std::vector<MeshRecord> meshes = BuildMainMeshList(scene.materials);
  NoProgress progress;
  BuildGeometry(0, scene.polygons, scene.vertices, meshes, progress, 1);
  return meshes[0].indices;
}

TEST(Triangulation, ZigzagsFromBothEndsOfTheCornerRun) {
  using I = std::vector<uint16_t>;
  EXPECT_EQ(IndicesOf({3}), (I{2, 0, 1}));
  EXPECT_EQ(IndicesOf({4}), (I{3, 0, 1, 3, 1, 2}));
  EXPECT_EQ(IndicesOf({5}), (I{4, 0, 1, 4, 1, 3, 3, 1, 2}));
  EXPECT_EQ(IndicesOf({6}), (I{5, 0, 1, 5, 1, 4, 4, 1, 2, 4, 2, 3}));
}

TEST(Triangulation, LaterPolygonsCountFromTheVerticesAlreadyThere) {
  EXPECT_EQ(IndicesOf({4, 3}), (std::vector<uint16_t>{3, 0, 1, 3, 1, 2, 6, 4, 5}));
}

TEST(Triangulation, PolygonsWithFewerThanThreeCornersAddNothing) {
  EXPECT_TRUE(IndicesOf({0, 1, 2}).empty());
  EXPECT_EQ(IndicesOf({2, 3}), (std::vector<uint16_t>{2, 0, 1}));
}

TEST(FaceNormal, FollowsTheTurnOfTheFirstThreeCorners) {
  using N = std::array<float, 3>;
  EXPECT_EQ(faceNormal({0, 0, 0}, {1, 0, 0}, {1, 1, 0}), (N{0, 0, 1}));
  EXPECT_EQ(faceNormal({1, 1, 0}, {1, 0, 0}, {0, 0, 0}), (N{0, 0, -1}));
  EXPECT_EQ(faceNormal({0, 0, 0}, {2, 0, 0}, {0, 3, 0}), (N{0, 0, 1}));  // unit length whatever the size
  EXPECT_EQ(faceNormal({0, 5, 0}, {0, 0, 0}, {0, 0, 7}), (N{-1, 0, 0}));
  const N tilted = faceNormal({0, 0, 0}, {1, 0, 0}, {1, 1, 1});
  EXPECT_FLOAT_EQ(tilted[0], 0.0f);
  EXPECT_FLOAT_EQ(tilted[1], -1.0f / std::sqrt(2.0f));
  EXPECT_FLOAT_EQ(tilted[2], 1.0f / std::sqrt(2.0f));
}

TEST(FaceNormal, CollinearOrCoincidentCornersGiveZero) {
  using N = std::array<float, 3>;
  EXPECT_EQ(faceNormal({0, 0, 0}, {1, 1, 1}, {2, 2, 2}), (N{0, 0, 0}));
  EXPECT_EQ(faceNormal({3, 3, 3}, {3, 3, 3}, {3, 3, 3}), (N{0, 0, 0}));
}

TEST(BuildGeometry, EveryCornerBecomesAVertexWithItsPolygonsNormal) {
  Scene scene;
  scene.materials.push_back(Material(1, {"a"}));
  // A quad and a triangle sharing the edge (1, 0, 0)-(1, 1, 0); the triangle is collinear.
  AddPolygon(scene, {Corner(0, 0, 0, 0.5f, 0.25f), Corner(1, 0, 0), Corner(1, 1, 0), Corner(0, 1, 0)}, 1);
  AddPolygon(scene, {Corner(1, 0, 0, 9, 9), Corner(1, 1, 0), Corner(1, 2, 0)}, 1);
  const std::vector<SceneVertex> original = scene.vertices;
  std::vector<MeshRecord> meshes = BuildMainMeshList(scene.materials);
  NoProgress progress;
  BuildGeometry(0, scene.polygons, scene.vertices, meshes, progress, 1);
  ASSERT_EQ(meshes[0].vertices.size(), 7u);
  for (size_t k = 0; k < 7; ++k) {
    const SceneVertex& v = meshes[0].vertices[k];
    EXPECT_EQ(v.x, original[k].x);
    EXPECT_EQ(v.y, original[k].y);
    EXPECT_EQ(v.uvSets[0].u, original[k].uvSets[0].u);
    const float nz = k < 4 ? 1.0f : 0.0f;
    EXPECT_EQ((std::array<float, 3>{v.nx, v.ny, v.nz}), (std::array<float, 3>{0, 0, nz})) << k;
  }
  EXPECT_TRUE(meshes[0].frameBreaks.empty());
}

// Vertex counts of the records after building `scene` in `mode`.
std::vector<size_t> VertexCounts(const Scene& scene, uint32_t mode, std::vector<MeshRecord> meshes) {
  NoProgress progress;
  BuildGeometry(mode, scene.polygons, scene.vertices, meshes, progress, 1);
  std::vector<size_t> counts;
  for (const MeshRecord& mesh : meshes)
    counts.push_back(mesh.vertices.size());
  return counts;
}

TEST(BuildGeometry, ModeZeroFindsTheFirstMaterialWithThePolygonsId) {
  Scene scene;
  scene.materials = {Material(4, {}), Material(9, {}), Material(4, {"dup"}), Material(-1, {})};
  AddPolygon(scene, RegularPolygon(3), 4);
  AddPolygon(scene, RegularPolygon(4), 9);
  AddPolygon(scene, RegularPolygon(5), 4);
  AddPolygon(scene, RegularPolygon(6), -1);
  AddPolygon(scene, RegularPolygon(7), 123);  // no such material: skipped
  using C = std::vector<size_t>;
  EXPECT_EQ(VertexCounts(scene, 0, BuildMainMeshList(scene.materials)), (C{8, 4, 0, 6}));
  // The later duplicate stays empty and produces no frame.
  std::vector<MeshRecord> meshes = BuildMainMeshList(scene.materials);
  NoProgress progress;
  BuildGeometry(0, scene.polygons, scene.vertices, meshes, progress, 1);
  const SceneObject object = PackMeshes(std::move(meshes), "s");
  ASSERT_EQ(object.meshes.size(), 3u);
  EXPECT_EQ(object.meshes[0].material.textureNames, std::vector<std::string>{});
  EXPECT_EQ(object.meshes[1].material.id, 9);
  EXPECT_EQ(object.meshes[2].material.id, -1);
}

TEST(BuildGeometry, ModeOnePutsEverythingIntoOneCollisionMesh) {
  Scene scene;
  AddPolygon(scene, RegularPolygon(3), 1, 0);
  AddPolygon(scene, RegularPolygon(4), 2, 5);
  std::vector<MeshRecord> meshes = BuildCollisionMeshList(1, scene.polygonCount);
  ASSERT_EQ(meshes.size(), 1u);
  EXPECT_EQ(meshes[0].material.layerCount, 0u);
  EXPECT_EQ(meshes[0].material.textureDataSize, 8u);
  EXPECT_EQ(meshes[0].material.textureNames, std::vector<std::string>{""});
  EXPECT_EQ(VertexCounts(scene, 1, meshes), (std::vector<size_t>{7}));
  EXPECT_TRUE(BuildCollisionMeshList(0, 5).empty());
}

TEST(BuildGeometry, ModeTwoPutsPolygonsIntoTheRecordOfTheirPrimitiveId) {
  Scene scene;
  for (int32_t primitive = 0; primitive < 3; ++primitive) {
    for (int p = 0; p < 4; ++p)
      AddPolygon(scene, RegularPolygon(3), 1, primitive);
  }
  std::vector<MeshRecord> meshes = BuildCollisionMeshList(2, scene.polygonCount);
  ASSERT_EQ(meshes.size(), 12u);
  using C = std::vector<size_t>;
  EXPECT_EQ(VertexCounts(scene, 2, meshes), (C{12, 12, 12, 0, 0, 0, 0, 0, 0, 0, 0, 0}));

  // Ids that are negative or not below the record count are skipped.
  AddPolygon(scene, RegularPolygon(4), 1, -1);
  AddPolygon(scene, RegularPolygon(4), 1, 15);
  AddPolygon(scene, RegularPolygon(4), 1, 13);
  meshes = BuildCollisionMeshList(2, scene.polygonCount);  // 15 records
  const std::vector<size_t> counts = VertexCounts(scene, 2, meshes);
  EXPECT_EQ(counts[13], 4u);
  EXPECT_EQ(counts[14], 0u);
  EXPECT_EQ(std::accumulate(counts.begin(), counts.end(), size_t{0}), 36u + 4u);

  NoProgress progress;
  BuildGeometry(2, scene.polygons, scene.vertices, meshes, progress, 1);
  const SceneObject object = PackMeshes(std::move(meshes), "s");
  EXPECT_EQ(object.meshes.size(), 4u);
  DboReport report;
  WriteAndWalk(object, true, {1, 1, 1}, &report);
  EXPECT_EQ(report.frames.size(), 5u);
}

TEST(BuildGeometry, StepsTheBarFromTheGivenThreshold) {
  Scene scene;
  scene.materials.push_back(Material(1, {}));
  for (int p = 0; p < 450; ++p)
    AddPolygon(scene, RegularPolygon(p == 40 ? 2 : 3), 1);
  std::vector<MeshRecord> meshes = BuildMainMeshList(scene.materials);
  RecordingProgress progress;
  const Pacing pacing = Pacing::For(scene.polygons.size(), 2.0 / 45.0);
  pacing.Begin(progress);
  BuildGeometry(0, scene.polygons, scene.vertices, meshes, progress, pacing.threshold);
  EXPECT_EQ(progress.steps, (std::vector<int>{1}));
  // After polygons 20, 41 (40 has two corners: no check), 80, 160 and 320.
  EXPECT_EQ(progress.stepCount, 5);
}

// ---------------------------------------------------------------------------------------------------------
// Frames of at most 65536 vertices

// Polygons of 3 to 9 corners, in one material, until more than `corners` corners; each corner's x is its
// number in the whole scene, so every built vertex tells which corner it came from.
Scene ManyCornerScene(uint32_t corners) {
  Scene scene;
  scene.materials.push_back(Material(1, {"big.png"}));
  uint32_t next = 0;
  for (uint32_t p = 0; next <= corners; ++p) {
    const uint32_t count = 3 + (p * 5) % 7;
    std::vector<SceneVertex> run;
    for (uint32_t k = 0; k < count; ++k, ++next) {
      run.push_back(Corner(static_cast<float>(next), static_cast<float>(k), static_cast<float>(k * k)));
    }
    AddPolygon(scene, run, 1);
  }
  return scene;
}

TEST(FrameSplit, KeepsEveryFrameAddressableAndEveryPolygonOnce) {
  const Scene scene = ManyCornerScene(150000);
  std::vector<MeshRecord> meshes = BuildMainMeshList(scene.materials);
  NoProgress progress;
  BuildGeometry(0, scene.polygons, scene.vertices, meshes, progress, 1);
  ASSERT_EQ(meshes[0].frameBreaks.size(), 2u);
  EXPECT_EQ(meshes[0].vertices.size(), scene.vertices.size());

  const SceneObject object = PackMeshes(std::move(meshes), "split");
  ASSERT_EQ(object.meshes.size(), 3u);

  // Which frame each corner landed in, by its x.
  std::vector<int> frameOfCorner(scene.vertices.size(), -1);
  uint32_t totalSize = 0;
  for (size_t f = 0; f < object.meshes.size(); ++f) {
    const MeshRecord& mesh = object.meshes[f];
    EXPECT_LE(mesh.vertices.size(), kMaxFrameVertices);
    EXPECT_TRUE(mesh.frameBreaks.empty());
    EXPECT_EQ(mesh.material.textureNames, std::vector<std::string>{"big.png"});
    EXPECT_EQ(mesh.meshSize, 32 * mesh.vertices.size() + 2 * mesh.indices.size() + 171 + 527);
    totalSize += 112 + 5 + mesh.meshSize;
    for (uint16_t index : mesh.indices)
      ASSERT_LT(index, mesh.vertices.size());
    for (const SceneVertex& vertex : mesh.vertices) {
      const size_t corner = static_cast<size_t>(vertex.x);
      ASSERT_EQ(frameOfCorner[corner], -1) << "corner " << corner << " twice";
      frameOfCorner[corner] = static_cast<int>(f);
    }
  }
  EXPECT_EQ(object.totalSize, totalSize);
  // Every corner once, each polygon whole within one frame, frames in polygon order, and a frame ends
  // only when the next polygon would not fit.
  std::vector<size_t> frameVertices(object.meshes.size(), 0);
  int lastFrame = 0;
  for (const ScenePolygon& polygon : scene.polygons) {
    const int frame = frameOfCorner[polygon.firstVertex];
    ASSERT_GE(frame, lastFrame);
    if (frame != lastFrame) {
      EXPECT_GT(frameVertices[lastFrame] + polygon.vertexCount, kMaxFrameVertices);
    }
    lastFrame = frame;
    for (uint32_t k = 0; k < polygon.vertexCount; ++k)
      ASSERT_EQ(frameOfCorner[polygon.firstVertex + k], frame);
    frameVertices[frame] += polygon.vertexCount;
  }

  DboReport report;
  WriteAndWalk(object, false, {1, 1, 1}, &report);
  ASSERT_EQ(report.frames.size(), 4u);
  EXPECT_EQ(report.frames[1].mesh.vertexCount + report.frames[2].mesh.vertexCount +
                report.frames[3].mesh.vertexCount,
            scene.vertices.size());
}

TEST(FrameSplit, SplitRecordTakesItsPlaceBetweenItsNeighbours) {
  Scene scene = ManyCornerScene(70000);
  scene.materials.insert(scene.materials.begin(), Material(0, {"before"}));
  scene.materials.push_back(Material(2, {"after"}));
  AddPolygon(scene, RegularPolygon(3), 0);
  AddPolygon(scene, RegularPolygon(3), 2);
  const SceneObject object = BuildMain(scene);
  std::vector<int32_t> ids;
  for (const MeshRecord& mesh : object.meshes)
    ids.push_back(mesh.material.id);
  EXPECT_EQ(ids, (std::vector<int32_t>{0, 1, 1, 2}));
  WriteAndWalk(object, false);
  WriteAndWalk(BuildCollision(scene, 1), true);
}

TEST(FrameSplit, PolygonOfExactlyOneFrameFitsAndLargerIsDropped) {
  Scene scene;
  scene.materials.push_back(Material(1, {}));
  AddPolygon(scene, RegularPolygon(3), 1);
  AddPolygon(scene, std::vector<SceneVertex>(kMaxFrameVertices + 1, Corner(0, 0, 0)), 1);
  AddPolygon(scene, std::vector<SceneVertex>(kMaxFrameVertices, Corner(0, 0, 0)), 1);
  const SceneObject object = BuildMain(scene);
  ASSERT_EQ(object.meshes.size(), 2u);
  EXPECT_EQ(object.meshes[0].vertices.size(), 3u);
  ASSERT_EQ(object.meshes[1].vertices.size(), kMaxFrameVertices);
  EXPECT_EQ(object.meshes[1].indices.size(), 3u * (kMaxFrameVertices - 2));
  EXPECT_EQ(*std::max_element(object.meshes[1].indices.begin(), object.meshes[1].indices.end()), 65535);
  WriteAndWalk(object, false);
}

}  // namespace
}  // namespace tessaline::testing
