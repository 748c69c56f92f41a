// The main window's layout arithmetic, in plain numbers: where an anchored
// control lies once its parent has been resized, and how the result list's
// shared columns divide the width the path column leaves.
#pragma once

#include <QRect>
#include <QSize>

#include <array>

namespace layout {

// The edges of its parent a control keeps its distance to.
enum Anchor { L = 1, T = 2, R = 4, B = 8 };

// The place of a control designed at `design` in a parent of `designed`
// size, once that parent is `actual` in size. Anchored to both edges of an
// axis it stretches (never below 0); to the far edge only it moves with
// it; to neither it keeps its centre at the same fraction of the parent.
QRect Anchored(const QRect& design, int anchors, QSize designed, QSize actual);

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
