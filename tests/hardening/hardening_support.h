// Shared pieces of the bad-input tests: the closing messages they expect, scene pieces, the memory in use
// for limits set in child processes, and the whole-run fixture.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "plugin/export_harness.h"

namespace tessaline::hardening {

using namespace tessaline::testing;  // NOLINT(google-build-using-namespace): the fixture and its helpers

// The address space this process holds now, for address-space limits set in child processes.
inline size_t AddressSpaceInUse() {
  size_t pages = 0;
  std::ifstream("/proc/self/statm") >> pages;
  return pages * static_cast<size_t>(sysconf(_SC_PAGESIZE));
}

// An answer the parser rejects (or cannot finish for lack of memory).
inline const std::string kUnreadable =
    "message Tessaline|The scene from the editor could not be read: its XML text could not be parsed (it is "
    "malformed, or too large for the memory left). Nothing was exported.\n|error";

// The closing message that lists files not written, and the one that lists textures not placed.
inline std::string Listed(std::string text, const std::vector<std::string>& lines, const std::string& icon) {
  for (const std::string& line : lines)
    text += line + "\n";
  return "message Tessaline|" + text + "|" + icon;
}
inline std::string NotWritten(const std::vector<std::string>& paths) {
  return Listed(paths.size() == 1 ? "The export did not finish: this file could not be written:\n"
                                  : "The export did not finish: these files could not be written:\n",
                paths, "error");
}
inline std::string NotPlaced(const std::vector<std::string>& names) {
  return Listed(std::string("Scene correctly exported.\n") +
                    (names.size() == 1 ? "This texture could not be placed beside it:\n"
                                       : "These textures could not be placed beside it:\n"),
                names, "warning");
}

inline std::string Fixture(const std::string& name) {
  return ReadText(fs::path(TESSALINE_SOURCE_DIR) / "tests" / "fixtures" / "hardening" / name);
}

inline std::string ImageLayer(const std::string& file) {
  return "<layer type=\"texture\"><texture file=\"" + file + "\" /></layer>";
}
// A material section of one material (id 1) with the given layers.
inline std::string OneMaterial(const std::string& layers) {
  return "<materials><material id=\"1\">" + layers + "</material></materials>";
}

}  // namespace tessaline::hardening
