// Generates editor scene texts of any size for benchmarks and scale tests.
#pragma once

#include <cstdint>
#include <string>

namespace tessaline::bench {

struct SceneShape {
  uint64_t quads = 100000;  // quads in all
  uint64_t primitives = 1;  // the quads are spread evenly over this many primitives
  uint32_t materials = 4;   // quads cycle through the materials; odd ids use an image, even ids a colour
};

// A scene in the editor's own file form: a "scene" root holding "materials" and "primitives". Each
// primitive is a grid of quads over shared positions, with one texture-coordinate set per corner.
std::string GenerateScene(const SceneShape& shape);

}  // namespace tessaline::bench
