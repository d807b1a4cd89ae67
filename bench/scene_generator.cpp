#include "scene_generator.h"

#include <cmath>
#include <cstdio>

namespace tessaline::bench {

namespace {

void Append(std::string& out, const char* format, auto... values) {
  char line[256];
  const int n = std::snprintf(line, sizeof line, format, values...);
  out.append(line, static_cast<size_t>(n));
}

}  // namespace

std::string GenerateScene(const SceneShape& shape) {
  std::string out;
  // About 330 bytes per quad; reserving avoids regrowth copies of a large text.
  out.reserve(static_cast<size_t>(shape.quads) * 340 + 4096);
  out += "<scene version=\"1.6\">\n  <materials highestID=\"";
  out += std::to_string(shape.materials) + "\">\n    <category name=\"Generated\">\n";
  for (uint32_t m = 1; m <= shape.materials; ++m) {
    Append(out, "      <material id=\"%u\" name=\"m%u\" used=\"true\">\n", m, m);
    if (m % 2 == 1) {
      Append(out,
             "        <layer type=\"texture\" blend=\"replace\">\n"
             "          <texture file=\"Generated\\tex%u.png\" />\n        </layer>\n",
             m);
    } else {
      Append(out,
             "        <layer type=\"color\" blend=\"modulate\">\n"
             "          <color r=\"%u\" g=\"%u\" b=\"%u\" a=\"255\" />\n        </layer>\n",
             (m * 40) % 256, (m * 90) % 256, (m * 150) % 256);
    }
    out += "      </material>\n";
  }
  out += "    </category>\n  </materials>\n  <primitives highestID=\"";
  out += std::to_string(shape.primitives) + "\">\n";

  const uint64_t primitives = shape.primitives == 0 ? 1 : shape.primitives;
  uint64_t quad = 0;
  for (uint64_t p = 0; p < primitives; ++p) {
    const uint64_t count = shape.quads / primitives + (p < shape.quads % primitives ? 1 : 0);
    const uint64_t width = count == 0 ? 1 : static_cast<uint64_t>(std::ceil(std::sqrt(double(count))));
    const uint64_t rows = count == 0 ? 0 : (count + width - 1) / width;
    Append(
        out,
        "    <primitive id=\"%llu\" name=\"grid%llu\" type=\"plane\" visible=\"true\">\n      <vertices>\n",
        static_cast<unsigned long long>(p), static_cast<unsigned long long>(p));
    for (uint64_t r = 0; r <= rows; ++r) {
      for (uint64_t c = 0; c <= width; ++c) {
        Append(out, "        <vertex id=\"%llu\" x=\"%.3f\" y=\"%.3f\" z=\"%.3f\" />\n",
               static_cast<unsigned long long>(r * (width + 1) + c), double(c) * 16.0, double(p) * 8.0,
               double(r) * 16.0);
      }
    }
    out += "      </vertices>\n      <polygons>\n";
    for (uint64_t i = 0; i < count; ++i, ++quad) {
      const uint64_t r = i / width, c = i % width;
      const uint64_t a = r * (width + 1) + c, b = a + 1, d = a + width + 1, e = d + 1;
      Append(out, "        <poly mid=\"%u\">\n", static_cast<unsigned>(quad % shape.materials + 1));
      const uint64_t ids[4] = {a, d, e, b};
      const char* uvs[4] = {"u0=\"0\" v0=\"0\"", "u0=\"0\" v0=\"1\"", "u0=\"1\" v0=\"1\"",
                            "u0=\"1\" v0=\"0\""};
      for (int k = 0; k < 4; ++k) {
        Append(out, "          <vertex vid=\"%llu\" %s />\n", static_cast<unsigned long long>(ids[k]),
               uvs[k]);
      }
      out += "        </poly>\n";
    }
    out += "      </polygons>\n    </primitive>\n";
  }
  out += "  </primitives>\n</scene>\n";
  return out;
}

}  // namespace tessaline::bench
