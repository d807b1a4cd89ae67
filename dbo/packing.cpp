#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <utility>

#include "dbo/dbo.h"

namespace tessaline {

namespace {

// The declared size of a mesh's FrameMesh item: a fixed formula over the first vertex's size, the counts
// and the texture entries; 527 stands for every other mesh item. Computed modulo 2^32 like the dword it
// is written as.
uint32_t MeshSize(const MeshRecord& mesh) {
  const uint32_t vertexCount = static_cast<uint32_t>(mesh.vertices.size());
  const uint32_t indexCount = static_cast<uint32_t>(mesh.indices.size());
  return mesh.vertices.front().vertexSize * vertexCount + 2 * indexCount + mesh.material.textureDataSize +
         527;
}

}  // namespace

SceneObject PackMeshes(std::vector<MeshRecord> meshes, const std::string& sceneName) {
  SceneObject object;
  object.name = sceneName;
  const uint32_t nameLength = static_cast<uint32_t>(sceneName.size());

  auto append = [&](MeshRecord&& mesh) {
    mesh.meshSize = MeshSize(mesh);
    object.totalSize += 112 + nameLength + mesh.meshSize;
    object.meshes.push_back(std::move(mesh));
  };

  for (MeshRecord& mesh : meshes) {
    if (mesh.vertices.empty() || mesh.indices.empty()) continue;
    if (mesh.frameBreaks.empty()) {
      append(std::move(mesh));
      continue;
    }
    // One record per frame, in the record's place, each with the same material.
    const size_t frameCount = mesh.frameBreaks.size() + 1;
    for (size_t f = 0; f < frameCount; ++f) {
      const size_t firstVertex = f == 0 ? 0 : mesh.frameBreaks[f - 1].firstVertex;
      const size_t firstIndex = f == 0 ? 0 : mesh.frameBreaks[f - 1].firstIndex;
      size_t endVertex = f + 1 < frameCount ? mesh.frameBreaks[f].firstVertex : mesh.vertices.size();
      size_t endIndex = f + 1 < frameCount ? mesh.frameBreaks[f].firstIndex : mesh.indices.size();
      // Breaks come in increasing order from the builder; anything else yields no frame, not a bad range.
      endVertex = std::min(endVertex, mesh.vertices.size());
      endIndex = std::min(endIndex, mesh.indices.size());
      if (firstVertex >= endVertex || firstIndex >= endIndex) continue;
      MeshRecord frame;
      frame.material = mesh.material;
      frame.vertices.assign(mesh.vertices.begin() + static_cast<std::ptrdiff_t>(firstVertex),
                            mesh.vertices.begin() + static_cast<std::ptrdiff_t>(endVertex));
      frame.indices.assign(mesh.indices.begin() + static_cast<std::ptrdiff_t>(firstIndex),
                           mesh.indices.begin() + static_cast<std::ptrdiff_t>(endIndex));
      append(std::move(frame));
    }
    // The split copies replace the record; release it now rather than with the whole list.
    mesh = MeshRecord();
  }
  return object;
}

bool FitsDboSizes(const SceneObject& object, bool collision) {
  const uint64_t nameLength = object.name.size();
  uint64_t total = 0;
  for (const MeshRecord& mesh : object.meshes) {
    const uint64_t vertexCount = mesh.vertices.size();
    const uint64_t layers = collision ? 0 : mesh.material.layerCount;
    const uint64_t firstVertexSize = mesh.vertices.empty() ? 0 : mesh.vertices.front().vertexSize;
    const uint64_t meshSize = firstVertexSize * vertexCount + 2 * uint64_t{mesh.indices.size()} +
                              mesh.material.textureDataSize + 527;
    // The vertex data item is sized by the vertex format, which may be wider than the first vertex.
    if ((layers + 3) * 8 * vertexCount > UINT32_MAX) return false;
    total += 112 + nameLength + meshSize;
  }
  return nameLength + total + 168 <= UINT32_MAX;
}

}  // namespace tessaline
