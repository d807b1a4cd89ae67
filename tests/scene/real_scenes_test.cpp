// Every real scene file saved by the editor is read as the export run reads it (declaration in front) and
// checked against facts counted independently.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "scene/scene.h"
#include "support.h"

namespace tessaline {
namespace {

// Polygons, corners, materials, colour layers, bytes of all texture entries, two-corner polygons, largest
// polygon, corners with two texture-coordinate sets, and the position of the last corner (z negated).
const std::pair<const char*, const char*> kScenes[] = {
    {"KralienSlingShotFocusAntenna.dxs", "444 1332 1 1 193 0 3 0 84.8432 92.5533 -16.3938"},
    {"NeutralGate1.dxs", "2220 8568 25 0 6065 0 16 8568 -211.485 102.222 10.2987"},
    {"PirateLongbow.dxs", "3511 13898 16 0 2797 0 5 0 49.2595 103.456 173.239"},
    {"Stalker.dxs", "471 1413 17 1 2982 0 3 0 89.9262 17.6744 9.92133"},
    {"U1.dxs", "188 564 26 1 4637 0 3 0 2.35781 -4.48156 2.35781"},
    {"artemis-frigate.dxs", "4369 13107 1 0 183 0 3 0 -91.3759 4.82164 40.3251"},
    {"asteroid.dxs", "80 240 18 2 3175 0 3 0 -296.545 -112.07 185.275"},
    {"kestrel.dxs", "1609 4827 16 0 2789 0 3 0 0.104203 -81.7479 -440.888"},
    {"marker.dxs", "400 1560 17 1 2982 0 4 0 15.6434 98.7688 -0"},
    {"patrol-boat.dxs", "1704 6692 26 0 4624 2 4 0 -26.3951 -15.6499 -15.1728"},
};

// Reads one scene file and describes it in the terms of kScenes.
std::string FactsOf(const std::filesystem::path& file) {
  SceneReading reading = ReadScene("<?xml version=\"1.0\"?>\n" + testing::ReadText(file), &Windows1252());
  EXPECT_EQ(reading.status, ReadStatus::Read);
  const auto& [materials, polygons, vertices, count] = reading.scene;
  size_t colourLayers = 0, textureBytes = 0, twoCorners = 0, largest = 0, twoSets = 0;
  for (const SceneMaterial& m : materials) {
    for (const TextureLayer& layer : m.layers) {
      colourLayers += !layer.isFile;
      textureBytes += 164 + layer.name.size();  // the bytes of the layer's texture entry
    }
  }
  for (const ScenePolygon& p : polygons) {
    twoCorners += p.vertexCount == 2;
    largest = std::max<size_t>(largest, p.vertexCount);
  }
  for (const SceneVertex& v : vertices)
    twoSets += v.uvSets.Get(1).present && v.vertexSize == 40;
  std::ostringstream found;
  found << polygons.size() << " " << vertices.size() << " " << materials.size() << " " << colourLayers << " "
        << textureBytes << " " << twoCorners << " " << largest << " " << twoSets;
  if (!vertices.empty())
    found << " " << vertices.back().x << " " << vertices.back().y << " " << vertices.back().z;
  return found.str();
}

// The committed files must all be there; the others are checked when the optional folder beside the
// checkout holds them.
TEST(RealScenes, ReadWithTheirFacts) {
  size_t committed = 0;
  for (const auto& [name, facts] : kScenes) {
    std::filesystem::path file = std::filesystem::path(TESSALINE_REAL_SCENES) / name;
    committed += std::filesystem::exists(file);
    if (!std::filesystem::exists(file)) file = std::filesystem::path(TESSALINE_EXTRA_SCENES) / name;
    if (!std::filesystem::exists(file)) continue;
    EXPECT_EQ(FactsOf(file), facts) << file;
  }
  EXPECT_EQ(committed, 7u);
}

}  // namespace
}  // namespace tessaline
