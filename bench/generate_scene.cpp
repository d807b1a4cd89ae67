// generate-scene: writes a generated editor scene file.
//   generate-scene --quads N [--primitives P] [--materials M] -o FILE
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "scene_generator.h"

int main(int argc, char** argv) {
  tessaline::bench::SceneShape shape;
  std::string output;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--quads" && hasValue) {
      shape.quads = std::strtoull(argv[++i], nullptr, 10);
    } else if (arg == "--primitives" && hasValue) {
      shape.primitives = std::strtoull(argv[++i], nullptr, 10);
    } else if (arg == "--materials" && hasValue) {
      shape.materials = static_cast<uint32_t>(std::strtoul(argv[++i], nullptr, 10));
    } else if (arg == "-o" && hasValue) {
      output = argv[++i];
    } else {
      std::fprintf(stderr, "usage: generate-scene --quads N [--primitives P] [--materials M] -o FILE\n");
      return 2;
    }
  }
  if (output.empty() || shape.materials == 0 || shape.primitives == 0) {
    std::fprintf(stderr, "usage: generate-scene --quads N [--primitives P] [--materials M] -o FILE\n");
    return 2;
  }
  const std::string text = tessaline::bench::GenerateScene(shape);
  std::ofstream out(output, std::ios::binary);
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
  out.close();
  if (!out) {
    std::fprintf(stderr, "generate-scene: cannot write %s\n", output.c_str());
    return 1;
  }
  return 0;
}
