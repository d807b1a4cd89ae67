#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <utility>

#include "scene/scene.h"

namespace tessaline {
namespace {

// Backslash-separated, as texture paths are; names split at "." or "_" take the same code.
TEST(SplitString, CutsAtTheSeparatorIntoTrimmedPieces) {
  const std::pair<std::string, std::deque<std::string>> cases[] = {
      {"C:\\My Dir \\x.dbo", {"C:", "My Dir", "x.dbo"}},
      {"a\\\\b", {"a", "", "b"}},
      {"a\\", {"a"}},       // nothing after the last separator: no piece
      {"a\\ ", {"a", ""}},  // one character after it: one more piece
  };
  for (const auto& [text, pieces] : cases)
    EXPECT_EQ(SplitString(text, "\\"), pieces) << text;
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
