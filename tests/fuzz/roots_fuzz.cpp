// The folders-text parser with nested-root removal by whole path components.
#include "engine/roots.h"

#include <cstdint>
#include <cstdlib>

namespace {

// A folder text without its trailing separators ("/" stays "/").
QString Trimmed(QString folder) {
  while (folder.size() > 1 && folder.endsWith(QLatin1Char('/'))) folder.chop(1);
  return folder;
}

// Whether `inner` is the folder `outer` or lies inside it, by whole components.
bool Within(const QString& inner, const QString& outer) {
  const QString in = Trimmed(inner), out = Trimmed(outer);
  if (in == out) return true;
  return in.startsWith(out.endsWith(QLatin1Char('/')) ? out : out + QLatin1Char('/'));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  const QStringList roots = BuildRootList(text);
  if (text.isEmpty() != roots.isEmpty()) std::abort();
  if (roots.size() > 1) {
    // No root left is the folder of another or lies inside it (an empty
    // piece names no folder and is left alone).
    for (qsizetype a = 0; a < roots.size(); ++a)
      for (qsizetype b = 0; b < roots.size(); ++b)
        if (a != b && !roots[a].isEmpty() && !roots[b].isEmpty() && Within(roots[a], roots[b])) std::abort();
  }
  return 0;
}
