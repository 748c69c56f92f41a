// The wildcard matcher on any pattern and name, checked against a plain
// recursive matcher on short ASCII inputs.
#include "platform/fs.h"

#include <cstdint>
#include <cstdlib>

namespace {

bool Reference(const QString& p, qsizetype i, const QString& n, qsizetype j) {
  if (i == p.size()) return j == n.size();
  if (p[i] == QLatin1Char('*')) return Reference(p, i + 1, n, j) || (j < n.size() && Reference(p, i, n, j + 1));
  if (j == n.size()) return false;
  if (p[i] == QLatin1Char('?') || p[i].toLower() == n[j].toLower()) return Reference(p, i + 1, n, j + 1);
  return false;
}

bool Ascii(const QString& s) {
  for (const QChar c : s)
    if (c.unicode() >= 0x80) return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QString all = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  const qsizetype cut = all.indexOf(QChar(0));
  const QString pattern = cut < 0 ? all : all.left(cut);
  const QString name = cut < 0 ? QString() : all.mid(cut + 1);
  const bool match = fs::WildcardMatch(pattern, name);
  if (!fs::WildcardMatch(QStringLiteral("*"), name) || !fs::WildcardMatch(QStringLiteral("*.*"), name)) std::abort();
  if (pattern != QLatin1String("*.*") && Ascii(pattern) && Ascii(name) && pattern.size() <= 12 && name.size() <= 16 &&
      match != Reference(pattern, 0, name, 0))
    std::abort();
  return 0;
}
