#include "engine/roots.h"

#include "engine/candidates.h"
#include "platform/fs.h"

namespace {

// A folder text without its trailing separators ("/" stays "/").
QString Trimmed(const QString& folder) {
  qsizetype end = folder.size();
  while (end > 1 && folder[end - 1] == fs::kSeparator) --end;
  return folder.left(end);
}

// Whether `inner` is the folder `outer` or lies inside it, by whole path
// components: "/a" holds "/a/b" but not "/ab". An empty entry (two ';' in
// a row) names no folder, so it holds none and lies in none.
bool Within(const QString& inner, const QString& outer) {
  if (inner.isEmpty() || outer.isEmpty()) return false;
  const QString in = Trimmed(inner), out = Trimmed(outer);
  if (in == out) return true;
  if (!in.startsWith(out)) return false;
  return out.endsWith(fs::kSeparator) || in[out.size()] == fs::kSeparator;
}

// Leaves out every entry that is another entry's folder or lies inside it;
// of equal entries the first stays. The others keep their order.
QStringList LeaveOutNested(const QStringList& roots) {
  QStringList kept;
  for (qsizetype q = 0; q < roots.size(); ++q) {
    bool nested = false;
    for (qsizetype p = 0; p < roots.size() && !nested; ++p) {
      if (p == q || !Within(roots[q], roots[p])) continue;
      // Two entries for one folder: the first one stays.
      nested = !Within(roots[p], roots[q]) || p < q;
    }
    if (!nested) kept.append(roots[q]);
  }
  return kept;
}

}  // namespace

QStringList SplitFoldersText(const QString& foldersText) {
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
  return roots;
}

QString JoinFoldersText(const QStringList& folders) {
  if (folders.size() == 1) return folders.front();
  QString text;
  for (const QString& folder : folders) text += folder + QLatin1Char(';');
  return text;
}

QStringList BuildRootList(const QString& foldersText) {
  const QStringList roots = SplitFoldersText(foldersText);
  return roots.size() > 1 ? LeaveOutNested(roots) : roots;
}

QStringList ResolveRoots(const QStringList& roots, std::vector<RefusedPath>* refused) {
  QStringList real;
  for (const QString& root : roots) {
    int error = 0;
    const QString path = root.isEmpty() ? QString() : fs::RealFolderPath(root, &error);
    if (fs::IsRefusal(error) && refused) refused->push_back({root, error});
    if (path.isEmpty() || HasLineBreak(path)) continue;
    real.append(path == QString(fs::kSeparator) ? path : path + fs::kSeparator);
  }
  return LeaveOutNested(real);
}

ProtectedFolder ResolveProtected(const QString& text) {
  ProtectedFolder folder{text, QString(), 0};
  if (text.isEmpty()) return folder;
  int error = 0;
  folder.real = fs::RealFolderPath(text, &error);
  if (fs::IsRefusal(error)) folder.error = error;
  return folder;
}
