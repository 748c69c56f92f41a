// The main window's layout arithmetic without a window: anchored places in a
// resized client area, and the division of the list's width among its
// shared columns.
#include "shell/layout.h"

#include <gtest/gtest.h>

namespace {

using layout::Anchored;
using layout::B;
using layout::Box;
using layout::L;
using layout::Place;
using layout::R;
using layout::SharedColumnWidths;
using layout::SmallestClean;
using layout::Span;
using layout::StatusRow;
using layout::T;

const QSize kClient(905, 546);
const QSize kGrown(905 + 200, 546 + 150);

TEST(Layout, AnchoredControlsStretchMoveOrKeepTheirPlace) {
  // The folders field stretches with the width, keeping its left edge.
  EXPECT_EQ(Anchored(QRect(9, 29, 647, 24), L | T | R, kClient, kGrown), QRect(9, 29, 847, 24));
  // Scan keeps its distance to the right edge and its size.
  EXPECT_EQ(Anchored(QRect(786, 29, 110, 26), T | R, kClient, kGrown), QRect(986, 29, 110, 26));
  // The list panel grows both ways.
  EXPECT_EQ(Anchored(QRect(8, 192, 889, 346), L | T | R | B, kClient, kGrown), QRect(8, 192, 1089, 496));
  // The hint under the preview keeps its distance to the right and bottom.
  EXPECT_EQ(Anchored(QRect(150, 316, 339, 16), R | B, QSize(390, 346), QSize(300, 400)), QRect(60, 370, 339, 16));
  // Anchored to neither top nor bottom, Do it keeps its centre at the same
  // fraction of the height: (60 + 17.5) / 546 of 696, less half its height.
  EXPECT_EQ(Anchored(QRect(786, 60, 110, 35), R, kClient, kGrown), QRect(986, 81, 110, 35));
  // In a tall window it stops above the row below it.
  EXPECT_EQ(Place({QRect(786, 60, 110, 35), R, 0, 142}, kClient, QSize(905, 1600)), QRect(786, 107, 110, 35));
  // A stretching control never gets a negative width.
  EXPECT_EQ(Anchored(QRect(9, 167, 888, 13), L | T | R, kClient, QSize(10, 546)).width(), 0);
}

TEST(Layout, SharedColumnsDivideWhatThePathLeaves) {
  // Equal shares, the name column taking the remainder.
  EXPECT_EQ(SharedColumnWidths(192 + 300, 192), (std::array<int, 3>{100, 100, 100}));
  EXPECT_EQ(SharedColumnWidths(192 + 302, 192), (std::array<int, 3>{102, 100, 100}));
  // The name column's share is below its 100: it keeps 100, and size and
  // date divide the rest.
  EXPECT_EQ(SharedColumnWidths(192 + 208, 192), (std::array<int, 3>{100, 54, 54}));
  // Too narrow for any share: every column keeps its minimum.
  EXPECT_EQ(SharedColumnWidths(192 + 150, 192), (std::array<int, 3>{100, 50, 50}));
  EXPECT_EQ(SharedColumnWidths(100, 192), (std::array<int, 3>{100, 50, 50}));
}

TEST(Layout, TheSmallestSizeKeepsEveryTwoControlsApart) {
  // A label at the left and a check box at the right come within kGap of
  // each other once the window is 190 narrower; nothing limits the height.
  const Box apart[] = {{QRect(8, 10, 100, 16), L | T}, {QRect(300, 8, 100, 18), T | R}};
  EXPECT_EQ(SmallestClean(apart, kClient), QSize(905 - 190, 1));
  // Two labels at the same side that meet at any width leave the designed size.
  const Box meeting[] = {{QRect(8, 10, 100, 16), L | T}, {QRect(100, 10, 100, 16), L | T}};
  EXPECT_EQ(SmallestClean(meeting, kClient), kClient);
}

TEST(Layout, TheStatusLineTakesTheRowUpToTheProgressDetail) {
  using Row = std::pair<Span, Span>;
  // No detail: the status line runs to the right end.
  EXPECT_EQ(StatusRow(168, 897, 300, 0, 265), (Row{{168, 729}, {897, 0}}));
  // A detail stands right-aligned at the right end, the status up to it,
  // and never wider than designed.
  EXPECT_EQ(StatusRow(168, 897, 300, 100, 265), (Row{{168, 621}, {797, 100}}));
  EXPECT_EQ(StatusRow(168, 897, 300, 400, 265), (Row{{168, 456}, {632, 265}}));
  // A narrow row: the status keeps its text's room, the detail takes what
  // is left, or nothing.
  EXPECT_EQ(StatusRow(168, 400, 200, 100, 265), (Row{{168, 200}, {376, 24}}));
  EXPECT_EQ(StatusRow(168, 400, 300, 100, 265), (Row{{168, 232}, {400, 0}}));
  EXPECT_EQ(StatusRow(168, 100, 300, 100, 265), (Row{{168, 0}, {100, 0}}));
}

}  // namespace
