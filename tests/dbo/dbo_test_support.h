// Helpers for the dbo tests: a byte builder that knows nothing of the writer, scene builders, and a
// round trip that writes a packed model into memory and walks it.
#pragma once

#include <gtest/gtest.h>

#include <bit>
#include <initializer_list>

#include "dbo/dbo.h"
#include "support.h"

namespace tessaline::testing {

// Little-endian bytes, built field by field.
struct Bytes {
  std::vector<uint8_t> data;

  Bytes& Raw(std::initializer_list<uint8_t> bytes) {
    data.insert(data.end(), bytes);
    return *this;
  }
  Bytes& Dword(uint32_t value) {
    return Raw({uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16), uint8_t(value >> 24)});
  }
  Bytes& Floats(std::initializer_list<float> values) {
    for (float value : values)
      Dword(std::bit_cast<uint32_t>(value));
    return *this;
  }
  Bytes& Item(uint32_t code, uint32_t size) { return Dword(code).Dword(size); }
  Bytes& DwordItem(uint32_t code, uint32_t value) { return Item(code, 4).Dword(value); }
  Bytes& EmptyItem(uint32_t code) { return Item(code, 8).Dword(0).Dword(0); }
  Bytes& NameItem(uint32_t code, const std::string& name) {
    Item(code, static_cast<uint32_t>(name.size()) + 4).Dword(static_cast<uint32_t>(name.size()));
    data.insert(data.end(), name.begin(), name.end());
    return *this;
  }
};

inline SceneMaterial Material(int32_t id, const std::vector<std::string>& names,
                              std::vector<BlendMode> blends = {}) {
  SceneMaterial material{.id = id, .layers = {}};
  blends.resize(names.size(), BlendNone);
  for (size_t k = 0; k < names.size(); ++k)
    material.layers.push_back({.blend = blends[k], .name = names[k], .source = names[k]});
  return material;
}

// A corner with slot 0 present (as the reader always makes it).
inline SceneVertex Corner(float x, float y, float z, float u = 0.0f, float v = 0.0f) {
  SceneVertex corner{.x = x, .y = y, .z = z, .uvSets = {}};
  corner.uvSets.Set(0, u, v);
  return corner;
}

inline void AddPolygon(Scene& scene, const std::vector<SceneVertex>& corners, int32_t materialId,
                       int32_t primitiveId = 0) {
  scene.polygons.push_back({.firstVertex = static_cast<uint32_t>(scene.vertices.size()),
                            .vertexCount = static_cast<uint32_t>(corners.size()),
                            .materialId = materialId,
                            .primitiveId = primitiveId});
  scene.vertices.insert(scene.vertices.end(), corners.begin(), corners.end());
  scene.polygonCount = static_cast<uint32_t>(scene.polygons.size());
}

// A polygon of `count` corners that all differ.
inline std::vector<SceneVertex> RegularPolygon(uint32_t count) {
  std::vector<SceneVertex> corners;
  for (uint32_t k = 0; k < count; ++k)
    corners.push_back(Corner(static_cast<float>(k), static_cast<float>(k * k % 7), 0));
  return corners;
}

// Builds and packs a scene the way an export does: by material the main meshes, otherwise the collision
// meshes.
inline PackedModel Build(const Scene& scene, MeshRouting routing = MeshRouting::ByMaterial,
                         const std::string& name = "DeleDExported") {
  std::vector<MeshRecord> meshes = routing == MeshRouting::ByMaterial
                                       ? BuildMainMeshList(scene.materials)
                                       : BuildCollisionMeshList(routing, scene.polygonCount);
  NoProgress progress;
  BuildGeometry(routing, scene.polygons, scene.vertices, meshes, progress, 1);
  return PackMeshes(std::move(meshes), name);
}

struct Written {
  std::vector<uint8_t> bytes;
  DboReport report;
};

// Writes the object into memory and checks it with the walker.
inline Written WriteAndWalk(const PackedModel& object, bool collision,
                            const std::array<float, 3>& scale = {1, 1, 1}) {
  MemorySink sink;
  NoProgress progress;
  EXPECT_TRUE(WriteScene(sink, object, scale, progress, collision));
  Written written{sink.bytes, WalkDbo(sink.bytes)};
  EXPECT_TRUE(written.report.ok) << written.report.error;
  return written;
}

// The declared size (or the offset) of every item with this code.
inline std::vector<uint32_t> ItemsOf(const Written& file, uint32_t code, bool offsets = false) {
  std::vector<uint32_t> found;
  for (const DboItem& item : file.report.items)
    if (item.code == code) found.push_back(offsets ? static_cast<uint32_t>(item.offset) : item.size);
  return found;
}

}  // namespace tessaline::testing
