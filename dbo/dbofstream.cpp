#include <cstddef>
#include <ios>

#include "dbo/dbo.h"
namespace tessaline {

dbofstream::~dbofstream() {
  if (is_open()) close();
}

bool dbofstream::Append(const char* data, size_t size) {
  write(data, static_cast<std::streamsize>(size));
  return !fail();
}

}  // namespace tessaline
