// The folders-text parser with nested-root removal.
#include "engine/roots.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  const QStringList roots = BuildRootList(text);
  if (text.isEmpty() != roots.isEmpty()) std::abort();
  if (roots.size() > 1) {
    // No root left contains the text of another (an empty piece names no
    // folder and is left alone).
    for (qsizetype a = 0; a < roots.size(); ++a)
      for (qsizetype b = 0; b < roots.size(); ++b)
        if (a != b && !roots[b].isEmpty() && roots[a].contains(roots[b])) std::abort();
  }
  return 0;
}
