#include "engine/progress.h"

#include "engine/scan.h"

int ProgressPosition(qint64 part, qint64 whole) {
  // Rounded to the nearest, half to even, in whole numbers.
  if (part <= 0 || whole <= 0) return part > 0 ? 100 : 0;
  if (part >= whole) return 100;
  const __int128 q = static_cast<__int128>(part) * 100;
  qint64 rounded = static_cast<qint64>(q / whole);
  const __int128 twice = (q % whole) * 2;
  if (twice > whole || (twice == whole && (rounded & 1))) ++rounded;
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
