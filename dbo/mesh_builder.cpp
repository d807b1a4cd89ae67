#include <cmath>
#include <cstddef>
#include <unordered_map>

#include "dbo/dbo.h"

namespace tessaline {

MeshRecord MeshFromMaterial(const SceneMaterial& material) {
  MeshRecord mesh;
  mesh.material = material;
  return mesh;
}

SceneMaterial CollisionMaterial() {
  return SceneMaterial{};
}

std::vector<int32_t> LimitTextureLayers(std::vector<SceneMaterial>& materials) {
  std::vector<int32_t> cut;
  for (SceneMaterial& material : materials) {
    if (material.layers.size() <= kMaxTextureLayers) continue;
    material.layers.resize(kMaxTextureLayers);
    cut.push_back(material.id);
  }
  return cut;
}

std::vector<MeshRecord> BuildMainMeshList(const std::vector<SceneMaterial>& materials) {
  std::vector<MeshRecord> meshes;
  meshes.reserve(materials.size());
  for (const SceneMaterial& material : materials)
    meshes.push_back(MeshFromMaterial(material));
  return meshes;
}

std::vector<MeshRecord> BuildCollisionMeshList(MeshRouting routing, uint32_t recordCount) {
  std::vector<MeshRecord> meshes;
  if (routing == MeshRouting::ByMaterial) return meshes;
  const uint32_t count = routing == MeshRouting::OneRecord ? 1 : recordCount;
  meshes.assign(count, MeshFromMaterial(CollisionMaterial()));
  return meshes;
}

std::array<float, 3> faceNormal(const std::array<float, 3>& p0, const std::array<float, 3>& p1,
                                const std::array<float, 3>& p2) {
  const float ux = p0[0] - p1[0], uy = p0[1] - p1[1], uz = p0[2] - p1[2];
  const float wx = p1[0] - p2[0], wy = p1[1] - p2[1], wz = p1[2] - p2[2];
  const float nx = uy * wz - uz * wy;
  const float ny = uz * wx - ux * wz;
  const float nz = ux * wy - uy * wx;
  float length = std::sqrt(nx * nx + ny * ny + nz * nz);
  if (length == 0.0f) length = 0.001f;
  const float scale = 1.0f / length;
  return {nx * scale, ny * scale, nz * scale};
}

namespace {

constexpr uint32_t kNoRecord = UINT32_MAX;

// Finds each polygon's record by the routing's rule. By material it keeps, per material id, the first
// record in list order that carries it, which is what a scan of the list from the front would find.
class RecordFinder {
 public:
  RecordFinder(MeshRouting routing, const std::vector<MeshRecord>& meshes)
      : routing_(routing), count_(meshes.size()) {
    if (routing_ != MeshRouting::ByMaterial) return;
    firstById_.reserve(meshes.size());
    for (size_t i = 0; i < meshes.size(); ++i)
      firstById_.emplace(meshes[i].material.id, static_cast<uint32_t>(i));
  }

  uint32_t Find(const ScenePolygon& polygon) const {
    switch (routing_) {
      case MeshRouting::ByMaterial: {
        const auto found = firstById_.find(polygon.materialId);
        return found == firstById_.end() ? kNoRecord : found->second;
      }
      case MeshRouting::OneRecord:
        return count_ > 0 ? 0 : kNoRecord;
      case MeshRouting::ByPrimitive:
        return polygon.primitiveId >= 0 && static_cast<uint64_t>(polygon.primitiveId) < count_
                   ? static_cast<uint32_t>(polygon.primitiveId)
                   : kNoRecord;
    }
    return kNoRecord;
  }

 private:
  MeshRouting routing_;
  uint64_t count_;
  std::unordered_map<int32_t, uint32_t> firstById_;  // emplace keeps the first record of each id
};

// The first vertex of the frame that a record's next polygon would join.
uint32_t CurrentFrameStart(const MeshRecord& mesh) {
  return mesh.frameBreaks.empty() ? 0 : mesh.frameBreaks.back().firstVertex;
}

}  // namespace

void BuildGeometry(MeshRouting routing, const std::vector<ScenePolygon>& polygons,
                   const std::vector<SceneVertex>& vertices, std::vector<MeshRecord>& meshes,
                   ProgressWindow& progress, uint64_t threshold) {
  const RecordFinder finder(routing, meshes);

  // First pass: the record of every polygon that will be built, and how much each record grows, so that
  // every record's sequences are allocated once.
  std::vector<uint32_t> targets(polygons.size(), kNoRecord);
  std::vector<uint64_t> addedVertices(meshes.size(), 0);
  std::vector<uint64_t> addedIndices(meshes.size(), 0);
  for (size_t i = 0; i < polygons.size(); ++i) {
    const ScenePolygon& polygon = polygons[i];
    const uint64_t corners = polygon.vertexCount;
    if (corners < 3 || corners > kMaxFrameVertices) continue;
    if (polygon.firstVertex + corners > vertices.size()) continue;  // not a run of this vertex sequence
    const uint32_t target = finder.Find(polygon);
    if (target == kNoRecord) continue;
    targets[i] = target;
    addedVertices[target] += corners;
    addedIndices[target] += 3 * (corners - 2);
  }
  for (size_t r = 0; r < meshes.size(); ++r) {
    if (addedVertices[r] == 0) continue;
    meshes[r].vertices.reserve(meshes[r].vertices.size() + addedVertices[r]);
    meshes[r].indices.reserve(meshes[r].indices.size() + addedIndices[r]);
  }

  for (size_t i = 0; i < polygons.size(); ++i) {
    const ScenePolygon& polygon = polygons[i];
    if (polygon.vertexCount < 3) continue;  // dropped without a progress check

    const uint32_t target = targets[i];
    if (target != kNoRecord) {
      MeshRecord& mesh = meshes[target];
      const uint32_t corners = polygon.vertexCount;
      const SceneVertex* corner = vertices.data() + polygon.firstVertex;

      // Indices are 16 bits wide: start a new frame when this polygon would take the current one past
      // the vertices they can address.
      uint32_t frameStart = CurrentFrameStart(mesh);
      const uint64_t inFrame = mesh.vertices.size() - frameStart;
      if (inFrame + corners > kMaxFrameVertices) {
        mesh.frameBreaks.push_back(
            {static_cast<uint32_t>(mesh.vertices.size()), static_cast<uint32_t>(mesh.indices.size())});
        frameStart = static_cast<uint32_t>(mesh.vertices.size());
      }
      const uint32_t base = static_cast<uint32_t>(mesh.vertices.size()) - frameStart;

      const std::array<float, 3> normal =
          faceNormal({corner[0].x, corner[0].y, corner[0].z}, {corner[1].x, corner[1].y, corner[1].z},
                     {corner[2].x, corner[2].y, corner[2].z});
      for (uint32_t k = 0; k < corners; ++k) {
        SceneVertex& added = mesh.vertices.emplace_back(corner[k]);
        added.nx = normal[0];
        added.ny = normal[1];
        added.nz = normal[2];
      }

      // Zigzag: triangles fan alternately from both ends of the corner run towards the middle, each
      // keeping the polygon's turn.
      uint32_t a = 0;
      uint32_t b = corners - 1;
      for (uint32_t t = 0; t + 2 < corners; ++t) {
        const bool even = (t % 2) == 0;
        const uint32_t d = even ? a + 1 : b - 1;
        mesh.indices.push_back(static_cast<uint16_t>(base + b));
        mesh.indices.push_back(static_cast<uint16_t>(base + a));
        mesh.indices.push_back(static_cast<uint16_t>(base + d));
        if (even) {
          ++a;
        } else {
          --b;
        }
      }
    }

    if (i >= threshold) {
      progress.StepBar();
      threshold *= 2;
    }
  }
}

}  // namespace tessaline
