#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <utility>

#include "dbo/dbo.h"
#include "dbo/dbo_items.h"

namespace tessaline {

PackedModel PackMeshes(std::vector<MeshRecord> meshes, const std::string& sceneName) {
  PackedModel model;
  model.name = sceneName;

  for (MeshRecord& mesh : meshes) {
    if (mesh.vertices.empty() || mesh.indices.empty()) continue;
    if (mesh.frameBreaks.empty()) {
      model.meshes.push_back(std::move(mesh));
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
      model.meshes.push_back(std::move(frame));
    }
    // The split copies replace the record; release it now rather than with the whole list.
    mesh = MeshRecord();
  }
  return model;
}

bool FitsDboSizes(const PackedModel& model, bool collision) {
  const uint64_t nameLength = model.name.size();
  uint64_t total = 0;
  for (const MeshRecord& mesh : model.meshes) {
    const uint64_t vertexCount = mesh.vertices.size();
    const uint64_t layers = dbo_items::TextureSetCount(mesh.material, collision);
    // The vertex data item is sized by the vertex format, which may be wider than the first vertex.
    if ((layers + 3) * 8 * vertexCount > UINT32_MAX) return false;
    total += 112 + nameLength + dbo_items::MeshItemSize(mesh, collision);
  }
  return nameLength + total + 168 <= UINT32_MAX;
}

}  // namespace tessaline
