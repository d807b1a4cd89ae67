// Splitting and trimming of paths and generated names.
#include <deque>
#include <string>

#include "scene/scene.h"

namespace tessaline {
namespace {

bool IsTrimmed(char c) {
  return c == ' ' || c == '\t' || c == '\n';
}

}  // namespace

void TrimWhitespace(std::string& text) {
  size_t end = text.size();
  while (end > 0 && IsTrimmed(text[end - 1]))
    --end;
  text.erase(end);
  size_t begin = 0;
  while (begin < text.size() && IsTrimmed(text[begin]))
    ++begin;
  text.erase(0, begin);
}

std::deque<std::string> SplitString(std::string text, std::string separator) {
  std::deque<std::string> pieces;
  const bool separates = !separator.empty();
  const char mark = separates ? separator[0] : '\0';
  size_t position = 0;
  while (position < text.size()) {
    size_t end = separates ? text.find(mark, position) : std::string::npos;
    if (end == std::string::npos) end = text.size();
    std::string piece = text.substr(position, end - position);
    TrimWhitespace(piece);
    pieces.push_back(std::move(piece));
    position = end + 1;
  }
  return pieces;
}

}  // namespace tessaline
