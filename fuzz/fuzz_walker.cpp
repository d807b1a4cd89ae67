// Arbitrary bytes as a DBO file: the walker must answer without reading out of bounds.
#include "dbo/dbo.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<uint8_t> bytes(data, data + size);
  const tessaline::DboReport report = tessaline::WalkDbo(bytes);
  if (!report.ok && report.error.empty()) __builtin_trap();
  return 0;
}
