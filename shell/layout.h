// The main window's layout arithmetic, in plain numbers: where an anchored
// control lies once its parent has been resized, and how the result list's
// shared columns divide the width the path column leaves.
#pragma once

#include <QRect>
#include <QSize>

#include <array>
#include <limits>
#include <span>
#include <utility>

namespace layout {

// The edges of its parent a control keeps its distance to.
enum Anchor { L = 1, T = 2, R = 4, B = 8 };

// The place of a control designed at `design` in a parent of `designed`
// size, once that parent is `actual` in size. Anchored to both edges of an
// axis it stretches (never below 0); to the far edge only it moves with
// it; to neither it keeps its centre at the same fraction of the parent.
QRect Anchored(const QRect& design, int anchors, QSize designed, QSize actual);

// Between two controls of the window at least this many pixels stay free.
inline constexpr int kGap = 2;

// A control as the window was designed: its place, its anchors, the least
// width it may be stretched down to, and the y its bottom edge never passes
// (the top of the row below it, less kGap), so one that keeps its centre at
// a fraction of a tall window stops above that row.
struct Box {
  QRect design;
  int anchors = 0;
  int leastWidth = 0;
  int limit = std::numeric_limits<int>::max();
};

// The place of `box` once its parent of `designed` size is `actual`.
QRect Place(const Box& box, QSize designed, QSize actual);

// Whether at `actual` every two boxes keep kGap pixels apart and every box
// has at least its least width.
bool Clean(std::span<const Box> boxes, QSize designed, QSize actual);

// The smallest parent at which the boxes are clean, at that width and every
// width up to the designed one, then at that height and every height up to
// the designed one. When texts make the boxes wider than designed, it is
// larger than the designed size; boxes that meet at any size leave it.
QSize SmallestClean(std::span<const Box> boxes, QSize designed);

// The status row from `left` to `right`: the status text on the left, the
// progress detail right-aligned at the right end, at most `detailMost` wide.
// The status keeps the room its text needs, the detail takes what is left of
// it, and the status stretches up to the detail (to `right` when there is
// none). Returns the left edge and width of each.
inline constexpr int kStatusSpacing = 8;  // between the status and the detail
struct Span {
  int x;
  int width;
  friend bool operator==(const Span&, const Span&) = default;
};
std::pair<Span, Span> StatusRow(int left, int right, int statusText, int detailText, int detailMost);

// The shared columns of the result list: name, size and date.
inline constexpr std::array<int, 3> kSharedColumns = {0, 2, 3};
inline constexpr std::array<int, 3> kSharedMinimum = {100, 50, 50};

// The widths of the shared columns in a list `clientWidth` wide whose path
// column is `pathWidth` wide. They divide the rest equally, the name column
// also taking the remainder; a column whose minimum is above its share keeps
// its minimum and drops out, and the others divide what is then left,
// until the shares settle.
std::array<int, 3> SharedColumnWidths(int clientWidth, int pathWidth);

}  // namespace layout
