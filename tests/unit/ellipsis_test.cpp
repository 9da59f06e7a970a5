// Shortening texts with "..." measured with a stand-in font: every character is
// 5 pixels wide, so widths are easy to follow.
#include "model/ellipsis.h"

#include <gtest/gtest.h>

namespace kestrelon {
namespace {

int five_per_character(std::string_view s) { return 5 * static_cast<int>(utf8_length(s)); }

TEST(LabelEllipsis, FittingOrEmptyTextIsKept) {
  EXPECT_EQ(label_ellipsis("", 0, five_per_character), "");
  EXPECT_EQ(label_ellipsis("/srv/images", 55, five_per_character), "/srv/images");
}

TEST(LabelEllipsis, LongPathShowsLongestFittingPrefixWithDots) {
  // 60 pixels hold 12 characters: 9 of the path and "...".
  EXPECT_EQ(label_ellipsis("/srv/images/lab-a/windows", 60, five_per_character), "/srv/imag...");
  EXPECT_EQ(label_ellipsis("/srv/images/lab-a/windows", 64, five_per_character), "/srv/imag...");
  EXPECT_EQ(label_ellipsis("/srv/images/lab-a/windows", 65, five_per_character), "/srv/image...");
}

TEST(LabelEllipsis, NothingFitsGivesDotsAlone) {
  EXPECT_EQ(label_ellipsis("abcdef", 15, five_per_character), "...");
  EXPECT_EQ(label_ellipsis("abcdef", 3, five_per_character), "...");
}

TEST(LabelEllipsis, NeverSplitsACharacter) {
  // "é" is two bytes; five characters must not become a broken byte sequence.
  EXPECT_EQ(label_ellipsis("\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9", 20, five_per_character), "\xC3\xA9...");
}

TEST(LabelEllipsis, ProportionalWidthsPickTheLongestPrefix) {
  // Wide 'W' (10 px), everything else 4 px.
  auto measure = [](std::string_view s) {
    int w = 0;
    for (char c : s) w += c == 'W' ? 10 : 4;
    return w;
  };
  // "aWa..." = 4+10+4+12 = 30 fits 31; "aWaW..." = 40 does not.
  EXPECT_EQ(label_ellipsis("aWaWaWaW", 31, measure), "aWa...");
}

TEST(ListCellEllipsis, KeepsTheMarginFree) {
  EXPECT_EQ(list_cell_ellipsis("PC-01", 29, 4, five_per_character), "PC-01");  // 25 + 4 <= 29
  EXPECT_EQ(list_cell_ellipsis("PC-01", 28, 4, five_per_character), "P...");   // 20 + 4 <= 28
  EXPECT_EQ(list_cell_ellipsis("", 0, 4, five_per_character), "");
}

TEST(ListCellEllipsis, LongNameBecomesLongestPrefixWithDots) {
  EXPECT_EQ(list_cell_ellipsis("LABORATORY-WORKSTATION-17", 70, 4, five_per_character), "LABORATORY...");
}

TEST(ListCellEllipsis, NarrowColumnFallsBackToFewerDots) {
  // One character and "..." need 20 + margin; below that "...", "..", "." or nothing.
  EXPECT_EQ(list_cell_ellipsis("ABCDEF", 23, 4, five_per_character), "...");
  EXPECT_EQ(list_cell_ellipsis("ABCDEF", 18, 4, five_per_character), "..");
  EXPECT_EQ(list_cell_ellipsis("ABCDEF", 10, 4, five_per_character), ".");
  EXPECT_EQ(list_cell_ellipsis("ABCDEF", 8, 4, five_per_character), "");
}

TEST(ListCellEllipsis, SingleCharacterKeptWholeBeforeDots) {
  EXPECT_EQ(list_cell_ellipsis("X", 4, 0, five_per_character), "");
  EXPECT_EQ(list_cell_ellipsis("XY", 20, 0, five_per_character), "XY");
  EXPECT_EQ(list_cell_ellipsis("XYZ", 14, 0, five_per_character), "..");
}

}  // namespace
}  // namespace kestrelon
