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

QString ComparingTitle(int position) {
  return QStringLiteral("Comparing - ") + QString::number(position) + QLatin1Char('%');
}

void CompareProgress::show(const Phase& phase) {
  if (phase.step == Phase::Step::Run) {
    // The position of the run step is that of the record after the run.
    showPosition(phase.index + 1);
    return;
  }
  host_.setDetail(QString::number(phase.runFirst) + QStringLiteral(" / ") + QString::number(count_));
  showPosition(phase.index + 2);
}

void CompareProgress::showPosition(qint64 part) {
  const int shown = ProgressPosition(part, count_ - 1);
  if (shown != titleShown_ || title_.isEmpty()) {
    titleShown_ = shown;
    title_ = ComparingTitle(shown);
  }
  host_.setProgress(shown);
  host_.setTitle(title_);
}
