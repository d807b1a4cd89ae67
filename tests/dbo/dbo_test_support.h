// Helpers for the dbo tests: a byte builder that knows nothing of the writer, scene builders, and a
// round trip that writes a scene object to a file, reads it back and walks it.
#pragma once

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <string>
#include <vector>

#include "dbo/dbo.h"

namespace tessaline::testing {

// Little-endian bytes, built field by field.
class Bytes {
 public:
  Bytes& Dword(uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8)
      bytes_.push_back(static_cast<uint8_t>(value >> shift));
    return *this;
  }
  Bytes& Float(float value) { return Dword(std::bit_cast<uint32_t>(value)); }
  Bytes& Floats(std::initializer_list<float> values) {
    for (float value : values)
      Float(value);
    return *this;
  }
  Bytes& Word(uint16_t value) {
    bytes_.push_back(static_cast<uint8_t>(value));
    bytes_.push_back(static_cast<uint8_t>(value >> 8));
    return *this;
  }
  Bytes& Byte(uint8_t value) {
    bytes_.push_back(value);
    return *this;
  }
  Bytes& Text(const std::string& text) {
    bytes_.insert(bytes_.end(), text.begin(), text.end());
    return *this;
  }
  // code, size
  Bytes& Item(uint32_t code, uint32_t size) { return Dword(code).Dword(size); }
  Bytes& End() { return Dword(0).Dword(0); }
  Bytes& DwordItem(uint32_t code, uint32_t value) { return Item(code, 4).Dword(value); }
  Bytes& FlagItem(uint32_t code, uint8_t value) { return Item(code, 1).Byte(value); }
  Bytes& EmptyItem(uint32_t code) { return Item(code, 8).End(); }
  Bytes& NameItem(uint32_t code, const std::string& name) {
    return Item(code, static_cast<uint32_t>(name.size()) + 4)
        .Dword(static_cast<uint32_t>(name.size()))
        .Text(name);
  }

  const std::vector<uint8_t>& data() const { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
};

// A progress window that counts what it is told.
class RecordingProgress final : public ProgressWindow {
 public:
  void SetStageText(const std::string&) override {}
  void SetBarRange(int, int) override {}
  void SetBarStep(int step) override { steps.push_back(step); }
  void StepBar() override { ++stepCount; }
  void SetBarPosition(int) override {}
  void AdvanceBar(int) override {}

  std::vector<int> steps;  // every SetBarStep
  int stepCount = 0;
};

inline SceneMaterial Material(int32_t id, std::vector<std::string> names, std::vector<int32_t> blends = {}) {
  SceneMaterial material;
  material.id = id;
  material.layerCount = static_cast<uint32_t>(names.size());
  blends.resize(names.size(), BlendNone);
  material.blendModes = blends;
  for (const std::string& name : names) {
    material.textureDataSize += 164 + static_cast<uint32_t>(name.size());
    material.textureSources.push_back(name);
    material.textureIsFile.push_back(true);
  }
  material.textureNames = std::move(names);
  return material;
}

// A corner with slot 0 present (as the reader always makes it).
inline SceneVertex Corner(float x, float y, float z, float u = 0.0f, float v = 0.0f) {
  SceneVertex vertex;
  vertex.x = x;
  vertex.y = y;
  vertex.z = z;
  vertex.uvSets[0] = {true, u, v};
  vertex.vertexSize = 32;
  return vertex;
}

// Appends a polygon whose corners are the given vertices.
inline void AddPolygon(Scene& scene, std::vector<SceneVertex> corners, int32_t materialId,
                       int32_t primitiveId = 0) {
  ScenePolygon polygon;
  polygon.firstVertex = static_cast<uint32_t>(scene.vertices.size());
  polygon.vertexCount = static_cast<uint32_t>(corners.size());
  polygon.materialId = materialId;
  polygon.primitiveId = primitiveId;
  scene.vertices.insert(scene.vertices.end(), corners.begin(), corners.end());
  scene.polygons.push_back(polygon);
  scene.polygonCount = static_cast<uint32_t>(scene.polygons.size());
}

// A polygon of `count` corners on a circle (so that every corner differs).
inline std::vector<SceneVertex> RegularPolygon(uint32_t count, float z = 0.0f) {
  std::vector<SceneVertex> corners;
  for (uint32_t k = 0; k < count; ++k)
    corners.push_back(Corner(static_cast<float>(k), static_cast<float>(k * k % 7), z));
  return corners;
}

inline std::vector<uint8_t> ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::filesystem::path TempPath(const std::string& name) {
  const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
  return std::filesystem::path(::testing::TempDir()) /
         (std::string(test->test_suite_name()) + "_" + test->name() + "_" + name);
}

// Writes the object as a file through dbofstream, reads the file back and checks it with the walker.
inline std::vector<uint8_t> WriteAndWalk(const SceneObject& object, bool collision,
                                         std::array<float, 3> scale = {1.0f, 1.0f, 1.0f},
                                         DboReport* report = nullptr) {
  const std::filesystem::path path = TempPath(collision ? "collision.dbo" : "main.dbo");
  dbofstream out;
  out.open(path, std::ios::binary | std::ios::out | std::ios::trunc);
  NoProgress progress;
  WriteScene(out, object, scale, progress, collision);
  out.close();
  EXPECT_FALSE(out.fail());
  std::vector<uint8_t> bytes = ReadFile(path);
  std::filesystem::remove(path);
  DboReport walked = WalkDbo(bytes);
  EXPECT_TRUE(walked.ok) << walked.error;
  if (report != nullptr) *report = std::move(walked);
  return bytes;
}

// Builds, packs and writes a scene the way an export does.
inline SceneObject BuildMain(const Scene& scene, const std::string& name = "DeleDExported") {
  std::vector<MeshRecord> meshes = BuildMainMeshList(scene.materials);
  NoProgress progress;
  BuildGeometry(0, scene.polygons, scene.vertices, meshes, progress, 1);
  return PackMeshes(std::move(meshes), name);
}

inline SceneObject BuildCollision(const Scene& scene, uint32_t mode,
                                  const std::string& name = "DeleDExported") {
  std::vector<MeshRecord> meshes = BuildCollisionMeshList(mode, scene.polygonCount);
  NoProgress progress;
  BuildGeometry(mode, scene.polygons, scene.vertices, meshes, progress, 1);
  return PackMeshes(std::move(meshes), name);
}

}  // namespace tessaline::testing
