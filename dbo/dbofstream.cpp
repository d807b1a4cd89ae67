#include <streambuf>
#include <string>

#include "dbo/byte_encoding.h"
#include "dbo/dbo.h"

namespace tessaline {

namespace {

bool Put(dbofstream& out, const std::string& bytes) {
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return !out.fail();
}

}  // namespace

dbofstream::~dbofstream() {
  if (is_open()) close();
}

bool dbofstream::WriteHeader() {
  std::string bytes;
  dbo_bytes::AppendString(bytes, "MAGICDBO");
  dbo_bytes::AppendDword(bytes, 1);  // version
  dbo_bytes::AppendDword(bytes, 0);
  dbo_bytes::AppendDword(bytes, 0);
  return Put(*this, bytes);
}

}  // namespace tessaline
