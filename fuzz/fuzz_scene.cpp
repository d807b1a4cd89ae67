// Arbitrary bytes as the host's scene answer: read, build in every mode, pack and write; every file
// written must pass the walker.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>

#include "dbo/dbo.h"
#include "scene/scene.h"

using namespace tessaline;

namespace {

std::vector<uint8_t> Write(const PackedModel& object, bool collision) {
  NoProgress progress;
  MemorySink sink;
  if (!WriteScene(sink, object, {1.0f, 2.0f, 0.5f}, progress, collision)) std::abort();
  return std::move(sink.bytes);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The export run hands the reader the declaration and the answer up to its first NUL.
  std::string text = "<?xml version=\"1.0\"?>\n";
  text.append(reinterpret_cast<const char*>(data), size);
  text.resize(text.find('\0') == std::string::npos ? text.size() : text.find('\0'));

  (void)ReadInstallDirectory(text, &Windows1252());
  SceneReading reading = ReadScene(std::move(text), &Windows1252());
  if (reading.status != ReadStatus::Read) return 0;
  Scene& scene = reading.scene;
  if (scene.polygonCount != scene.polygons.size()) std::abort();

  NoProgress progress;
  for (MeshRouting routing : {MeshRouting::ByMaterial, MeshRouting::OneRecord, MeshRouting::ByPrimitive}) {
    const bool collision = routing != MeshRouting::ByMaterial;
    std::vector<MeshRecord> meshes =
        collision ? BuildCollisionMeshList(routing, scene.polygonCount) : BuildMainMeshList(scene.materials);
    BuildGeometry(routing, scene.polygons, scene.vertices, meshes, progress, 1);
    const PackedModel object = PackMeshes(std::move(meshes), "fuzz");
    const DboReport report = WalkDbo(Write(object, collision));
    if (!report.ok) {
      std::fprintf(stderr, "walker rejects a written file (routing %d): %s\n", static_cast<int>(routing),
                   report.error.c_str());
      std::abort();
    }
  }
  return 0;
}
