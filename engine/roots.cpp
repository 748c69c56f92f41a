#include "engine/roots.h"

namespace {

// Whether entry `outer` contains the text of entry `inner`. An empty entry
// (two ';' in a row) names no folder, so no other entry lies inside it.
bool Contains(const QString& outer, const QString& inner) { return !inner.isEmpty() && outer.contains(inner); }

// One sweep in the given direction; returns whether it removed an entry.
bool RemoveContaining(QStringList& roots, bool forward) {
  bool removed = false;
  if (forward) {
    for (qsizetype p = 0; p < roots.size(); ++p) {
      for (qsizetype q = p + 1; q < roots.size(); ++q) {
        if (Contains(roots[q], roots[p])) {
          roots.removeAt(q);
          removed = true;
          break;
        }
      }
    }
  } else {
    for (qsizetype p = roots.size() - 1; p >= 0; --p) {
      if (p >= roots.size()) continue;
      for (qsizetype q = p - 1; q >= 0; --q) {
        if (Contains(roots[q], roots[p])) {
          roots.removeAt(q);
          --p;  // entry p moved down by one
          removed = true;
          break;
        }
      }
    }
  }
  return removed;
}

}  // namespace

QStringList BuildRootList(const QString& foldersText) {
  QStringList roots;
  if (foldersText.isEmpty()) return roots;
  if (!foldersText.contains(QLatin1Char(';'))) {
    roots.append(foldersText);
    return roots;
  }
  QString piece;
  for (const QChar c : foldersText) {
    if (c == QLatin1Char(';')) {
      roots.append(piece);
      piece.clear();
    } else {
      piece.append(c);
    }
  }
  if (!foldersText.endsWith(QLatin1Char(';'))) roots.append(piece);
  while (roots.size() > 1 && RemoveContaining(roots, true)) {
  }
  while (roots.size() > 1 && RemoveContaining(roots, false)) {
  }
  return roots;
}
