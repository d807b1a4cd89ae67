// bare-parse FILE: the parsing an export cannot avoid, as a yardstick: the time of two mxmlLoadString
// calls (each tree released) on the file's text with the XML declaration in front. Prints seconds.
#include <mxml.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: bare-parse FILE\n");
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  std::ostringstream buffer;
  buffer << in.rdbuf();
  const std::string text = "<?xml version=\"1.0\"?>\n" + std::move(buffer).str();
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 2; ++i)
    mxmlDelete(mxmlLoadString(nullptr, text.c_str(), MXML_OPAQUE_CALLBACK));
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%.3f\n", seconds);
  return 0;
}
