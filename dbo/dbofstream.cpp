#include <iterator>
#include <streambuf>
#include <string>

#include "dbo/dbo.h"
#include "dbo/dbo_items.h"

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
  return Put(*this, std::string(std::begin(dbo_items::kHeader), std::end(dbo_items::kHeader)));
}

}  // namespace tessaline
