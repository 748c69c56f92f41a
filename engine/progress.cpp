#include "engine/progress.h"

#include "engine/scan.h"

#include <cmath>

int ProgressPosition(qint64 part, qint64 whole) {
  // The quotient first, then times 100, both in extended precision, rounded
  // to the nearest with a half going to the even neighbour: 59/200 is a hair
  // below 0.295 there and shows 29.
  long double q = static_cast<long double>(part) / static_cast<long double>(whole);
  q *= 100;
  const long double rounded = std::nearbyint(q);
  if (!(rounded > 0)) return 0;  // NaN too (0 of 0)
  if (rounded >= 100) return 100;
  return static_cast<int>(rounded);
}

void CompareProgress::show(const Phase& phase) {
  // The position of the run step is that of the record after the run; a
  // record step stands two records on.
  if (phase.step == Phase::Step::Run) {
    host_.report(ScanEvent::step(ProgressPosition(phase.index + 1, count_ - 1), -1, count_));
    return;
  }
  host_.report(ScanEvent::step(ProgressPosition(phase.index + 2, count_ - 1), phase.runFirst, count_));
}
