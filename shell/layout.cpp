#include "shell/layout.h"

#include <algorithm>
#include <utility>

namespace layout {
namespace {

// One axis: `start` and `length` as designed in a parent of `designed`
// length, placed in a parent of `actual` length.
std::pair<int, int> Axis(int start, int length, bool nearEdge, bool farEdge, int designed, int actual) {
  if (nearEdge && farEdge) return {start, std::max(0, length + actual - designed)};
  if (farEdge) return {start + actual - designed, length};
  if (nearEdge) return {start, length};
  const double centre = (start + length / 2.0) / designed;  // keeps its centre's place
  return {static_cast<int>(centre * actual - length / 2.0), length};
}

// One round of the division: the open columns share what the dropped ones
// leave. Returns whether a column dropped out in this round.
bool ShareOnce(int room, std::array<int, 3>& width, std::array<bool, 3>& dropped) {
  int open = 0;
  for (size_t k = 0; k < width.size(); ++k) {
    if (dropped[k])
      room -= kSharedMinimum[k];
    else
      ++open;
  }
  if (open == 0) return false;
  room = std::max(0, room);
  bool changed = false;
  for (size_t k = 0; k < width.size(); ++k) {
    if (dropped[k]) continue;
    width[k] = room / open + (k == 0 ? room % open : 0);  // the name column takes the remainder
    if (width[k] < kSharedMinimum[k]) {
      width[k] = kSharedMinimum[k];
      dropped[k] = true;
      changed = true;
    }
  }
  return changed;
}

}  // namespace

QRect Anchored(const QRect& design, int anchors, QSize designed, QSize actual) {
  const auto [x, w] = Axis(design.left(), design.width(), anchors & L, anchors & R, designed.width(), actual.width());
  const auto [y, h] = Axis(design.top(), design.height(), anchors & T, anchors & B, designed.height(), actual.height());
  return QRect(x, y, w, h);
}

std::array<int, 3> SharedColumnWidths(int clientWidth, int pathWidth) {
  std::array<int, 3> width = {0, 0, 0};
  std::array<bool, 3> dropped = {false, false, false};
  while (ShareOnce(clientWidth - pathWidth, width, dropped)) {
  }
  return width;
}

}  // namespace layout
