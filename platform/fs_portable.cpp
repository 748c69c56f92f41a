// The parts of the file-system interface that call no operating-system
// service, the same on every platform.
#include "platform/fs.h"

#include <QDateTime>
#include <QLocale>

namespace fs {

bool WildcardMatch(const QString& pattern, const QString& name) {
  if (pattern == QLatin1String("*.*")) return true;
  const qsizetype pn = pattern.size(), nn = name.size();
  qsizetype p = 0, n = 0, star = -1, mark = 0;
  while (n < nn) {
    if (p < pn && pattern[p] == QLatin1Char('*')) {
      star = p++;
      mark = n;
    } else if (p < pn && (pattern[p] == QLatin1Char('?') || pattern[p].toCaseFolded() == name[n].toCaseFolded())) {
      ++p;
      ++n;
    } else if (star >= 0) {
      p = star + 1;
      n = ++mark;
    } else {
      return false;
    }
  }
  while (p < pn && pattern[p] == QLatin1Char('*')) ++p;
  return p == pn;
}

QString ShortDateText(qint64 mtime) {
  static const QLocale locale = QLocale::system();
  return locale.toString(QDateTime::fromSecsSinceEpoch(mtime).date(), QLocale::ShortFormat);
}

}  // namespace fs
