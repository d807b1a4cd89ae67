#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <utility>

#include "scene/scene.h"

namespace tessaline {
namespace {

using Pieces = std::deque<std::string>;

TEST(SplitString, CutsAtTheFirstSeparatorCharacterIntoTrimmedPieces) {
  struct Case {
    std::string text, separator;
    Pieces pieces;
  } const cases[] = {
      {"C:\\My Dir \\x.dbo", "\\", {"C:", "My Dir", "x.dbo"}},
      {"a\\\\b", "\\", {"a", "", "b"}},
      {"a\\", "\\", {"a"}},                  // nothing after the last separator: no piece
      {"a\\ ", "\\", {"a", ""}},             // one character after it: one more piece
      {"a_b.c_d", "_.", {"a", "b.c", "d"}},  // only the first separator character counts
      {" a\\b ", "", {"a\\b"}},              // an empty separator never matches
      {std::string("a\0b", 3), std::string(1, '\0'), {"a", "b"}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(SplitString(c.text, c.separator), c.pieces)
        << '"' << c.text << "\" by \"" << c.separator << '"';
}

TEST(TrimWhitespace, RemovesSpacesTabsAndLineFeedsOnly) {
  const std::pair<std::string, std::string> cases[] = {
      {"  x\t\n", "x"}, {"\n\t x y \t", "x y"}, {"x\r", "x\r"}, {"\v\fx", "\v\fx"}, {" \t\n ", ""}, {"", ""},
  };
  for (auto [text, expected] : cases) {
    TrimWhitespace(text);
    EXPECT_EQ(text, expected);
  }
}

}  // namespace
}  // namespace tessaline
