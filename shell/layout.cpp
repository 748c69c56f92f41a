#include "shell/layout.h"

#include <algorithm>
#include <utility>
#include <vector>

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

QRect Place(const Box& box, QSize designed, QSize actual) {
  QRect r = Anchored(box.design, box.anchors, designed, actual);
  if (r.y() + r.height() > box.limit) r.moveTop(box.limit - r.height());
  return r;
}

bool Clean(std::span<const Box> boxes, QSize designed, QSize actual) {
  std::vector<QRect> placed;
  placed.reserve(boxes.size());
  for (const Box& box : boxes) {
    placed.push_back(Place(box, designed, actual));
    if (placed.back().width() < box.leastWidth) return false;
  }
  for (size_t i = 0; i < placed.size(); ++i) {
    const QRect around = placed[i].adjusted(-kGap, -kGap, kGap, kGap);
    for (size_t k = i + 1; k < placed.size(); ++k)
      if (around.intersects(placed[k])) return false;
  }
  return true;
}

QSize SmallestClean(std::span<const Box> boxes, QSize designed) {
  // One axis: up from the designed length until clean, then down while
  // clean. Boxes that meet at every length (two texts at the same side
  // too long for the room between them) leave the designed length.
  auto smallest = [&](int designedLength, auto cleanAt) {
    int length = designedLength;
    while (!cleanAt(length))
      if (++length > 4 * designedLength) return designedLength;
    while (length > 1 && cleanAt(length - 1)) --length;
    return length;
  };
  const int width =
      smallest(designed.width(), [&](int w) { return Clean(boxes, designed, QSize(w, designed.height())); });
  const int height = smallest(designed.height(), [&](int h) { return Clean(boxes, designed, QSize(width, h)); });
  return {width, height};
}

std::pair<Span, Span> StatusRow(int left, int right, int statusText, int detailText, int detailMost) {
  const int room = std::max(0, right - left);
  const int detail = std::clamp(std::min(detailText, room - statusText - kStatusSpacing), 0, detailMost);
  const int statusEnd = detail > 0 ? right - detail - kStatusSpacing : right;
  return {Span{left, std::max(0, statusEnd - left)}, Span{right - detail, detail}};
}

std::array<int, 3> SharedColumnWidths(int clientWidth, int pathWidth) {
  std::array<int, 3> width = {0, 0, 0};
  std::array<bool, 3> dropped = {false, false, false};
  while (ShareOnce(clientWidth - pathWidth, width, dropped)) {
  }
  return width;
}

}  // namespace layout
