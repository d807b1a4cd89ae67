// Reading, mesh building and writing of generated scenes, against the bare parsing the design needs
// (the scene answer is parsed twice: once for the materials, once for the primitives).
#include <benchmark/benchmark.h>
#include <mxml.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "dbo/dbo.h"
#include "scene/scene.h"
#include "scene_generator.h"

namespace {

using namespace tessaline;
using Clock = std::chrono::steady_clock;

const std::string& SceneText(int64_t primitives) {
  static std::string one, many;
  std::string& text = primitives == 1 ? one : many;
  if (text.empty()) {
    text = "<?xml version=\"1.0\"?>\n" +
           bench::GenerateScene(
               {.quads = 100000, .primitives = static_cast<uint64_t>(primitives), .materials = 4});
  }
  return text;
}

double Seconds(Clock::time_point from) {
  return std::chrono::duration<double>(Clock::now() - from).count();
}

void ReadBuildWrite(const std::string& text, const std::string& path) {
  Scene scene = ReadScene(std::string(text)).scene;
  NoProgress progress;
  std::vector<MeshRecord> meshes = BuildMainMeshList(scene.materials);
  Pacing pacing = Pacing::For(scene.polygons.size(), 2.0 / 45.0);
  BuildGeometry(MeshRouting::ByMaterial, scene.polygons, scene.vertices, meshes, progress, pacing.threshold);
  scene = Scene{};
  PackedModel object = PackMeshes(std::move(meshes), "DeleDExported");
  dbofstream out;
  out.open(path, std::ios::binary | std::ios::out | std::ios::trunc);
  WriteScene(out, object, {1.0f, 1.0f, 1.0f}, progress, false);
  out.close();
}

// Each iteration times the export core and two bare parses of the same text; the reported time is the
// core's, and "ratio" is core / (two parses).
void BM_CoreAgainstTwoParses(benchmark::State& state) {
  const std::string& text = SceneText(state.range(0));
  const std::string path = "/tmp/tessaline-bench.dbo";
  double core = 0, parses = 0;
  for (auto _ : state) {
    auto start = Clock::now();
    for (int i = 0; i < 2; ++i) {
      mxml_node_t* tree = mxmlLoadString(nullptr, text.c_str(), MXML_OPAQUE_CALLBACK);
      mxmlDelete(tree);
    }
    const double parseTime = Seconds(start);
    start = Clock::now();
    ReadBuildWrite(text, path);
    const double coreTime = Seconds(start);
    state.SetIterationTime(coreTime);
    core += coreTime;
    parses += parseTime;
  }
  std::remove(path.c_str());
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  state.counters["ratio"] = core / parses;
  state.counters["bare_parses_s"] = parses / static_cast<double>(state.iterations());
  state.counters["peak_rss_MiB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
  state.counters["answer_MiB"] = static_cast<double>(text.size()) / (1024.0 * 1024.0);
}

BENCHMARK(BM_CoreAgainstTwoParses)
    ->Arg(1)
    ->Arg(1000)
    ->ArgName("primitives")
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
