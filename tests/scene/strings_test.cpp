#include <gtest/gtest.h>

#include <deque>
#include <string>

#include "scene/scene.h"

namespace tessaline {
namespace {

using Pieces = std::deque<std::string>;

TEST(SplitString, CutsPathIntoTrimmedPieces) {
  EXPECT_EQ(SplitString("C:\\Games\\level.dbo", "\\"), (Pieces{"C:", "Games", "level.dbo"}));
  EXPECT_EQ(SplitString("C:\\My Dir \\x.dbo", "\\"), (Pieces{"C:", "My Dir", "x.dbo"}));
  EXPECT_EQ(SplitString("wood\\ oak.jpg ", "\\"), (Pieces{"wood", "oak.jpg"}));
}

TEST(SplitString, LeadingAndDoubledSeparatorsGiveEmptyPieces) {
  EXPECT_EQ(SplitString("\\a", "\\"), (Pieces{"", "a"}));
  EXPECT_EQ(SplitString("a\\\\b", "\\"), (Pieces{"a", "", "b"}));
  EXPECT_EQ(SplitString("\\", "\\"), (Pieces{""}));
}

TEST(SplitString, TrailingSeparatorGivesNoEmptyPiece) {
  EXPECT_EQ(SplitString("a\\", "\\"), (Pieces{"a"}));
  EXPECT_EQ(SplitString("a\\ ", "\\"), (Pieces{"a", ""}));  // one character follows: one more piece
}

TEST(SplitString, EmptyTextGivesNoPieces) {
  EXPECT_TRUE(SplitString("", "\\").empty());
  EXPECT_TRUE(SplitString("", "").empty());
}

TEST(SplitString, OnlyTheFirstSeparatorCharacterCounts) {
  EXPECT_EQ(SplitString("a_b.c_d", "_."), (Pieces{"a", "b.c", "d"}));
  EXPECT_EQ(SplitString("col_rgba_1_2_3_4_.png", "_"), (Pieces{"col", "rgba", "1", "2", "3", "4", ".png"}));
}

TEST(SplitString, EmptySeparatorOrAbsentSeparatorGivesWholeTrimmedText) {
  EXPECT_EQ(SplitString(" a\\b ", ""), (Pieces{"a\\b"}));
  EXPECT_EQ(SplitString(" level.dbo\t", "\\"), (Pieces{"level.dbo"}));
  EXPECT_EQ(SplitString("   ", "\\"), (Pieces{""}));
}

TEST(SplitString, NulCharacterIsAnOrdinarySeparator) {
  EXPECT_EQ(SplitString(std::string("a\0b", 3), std::string(1, '\0')), (Pieces{"a", "b"}));
}

TEST(TrimWhitespace, RemovesSpacesTabsAndLineFeedsOnly) {
  std::string text = "  x\t\n";
  TrimWhitespace(text);
  EXPECT_EQ(text, "x");
  text = "\n\t x y \t";
  TrimWhitespace(text);
  EXPECT_EQ(text, "x y");
  text = "x\r";
  TrimWhitespace(text);
  EXPECT_EQ(text, "x\r");
  text = "\v\fx";
  TrimWhitespace(text);
  EXPECT_EQ(text, "\v\fx");
  text = " \t\n ";
  TrimWhitespace(text);
  EXPECT_EQ(text, "");
  text = "";
  TrimWhitespace(text);
  EXPECT_EQ(text, "");
}

}  // namespace
}  // namespace tessaline
