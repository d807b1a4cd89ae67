// Arbitrary bytes as the host's scene answer: read, build in every mode, pack and write; every file
// written must pass the walker.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "dbo/dbo.h"
#include "scene/scene.h"

using namespace tessaline;

namespace {

std::vector<uint8_t> WriteAndReadBack(const SceneObject& object, bool collision) {
  static const std::string path = "/tmp/tessaline-fuzz-scene-" + std::to_string(getpid()) + ".dbo";
  NoProgress progress;
  {
    dbofstream out;
    out.open(path, std::ios::binary | std::ios::out | std::ios::trunc);
    WriteScene(out, object, {1.0f, 2.0f, 0.5f}, progress, collision);
  }
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
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
    const SceneObject object = PackMeshes(std::move(meshes), "fuzz");
    const DboReport report = WalkDbo(WriteAndReadBack(object, collision));
    if (!report.ok) {
      std::fprintf(stderr, "walker rejects a written file (routing %d): %s\n", static_cast<int>(routing),
                   report.error.c_str());
      std::abort();
    }
  }
  return 0;
}
