// Internal to dbo/: the sizes a DBO file declares, computed from the records they describe, shared by the
// writer and the size check so that both use one formula.
#pragma once

#include <cstdint>

#include "dbo/dbo.h"

namespace tessaline::dbo_items {

// The texture list a mesh declares: the terminator alone (8 bytes) in the collision form; otherwise one
// entry per layer of 164 bytes plus the name's length (a layerless main mesh declares 0).
inline uint64_t TextureListSize(const SceneMaterial& material, bool collision) {
  if (collision) return 8;
  uint64_t size = 0;
  for (const TextureLayer& layer : material.layers)
    size += 164 + uint64_t{layer.name.size()};
  return size;
}

// The texture sets a mesh's vertices carry: one per layer in the main form, none in the collision form.
inline uint32_t TextureSetCount(const SceneMaterial& material, bool collision) {
  return collision ? 0 : static_cast<uint32_t>(material.layers.size());
}

// The declared size of a mesh's FrameMesh item: the first vertex's size x V + 2 x I + the texture list's
// size + 527 for every other mesh item.
inline uint64_t MeshItemSize(const MeshRecord& mesh, bool collision) {
  const uint64_t firstVertexSize = mesh.vertices.empty() ? 0 : mesh.vertices.front().vertexSize;
  return firstVertexSize * mesh.vertices.size() + 2 * uint64_t{mesh.indices.size()} +
         TextureListSize(mesh.material, collision) + 527;
}

}  // namespace tessaline::dbo_items
