// RecordField on any text, separator and index.
#include "engine/candidates.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const QChar separator = QLatin1Char(static_cast<char>(data[0]));
  const int index = data[1] % 8;
  const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data + 2), static_cast<qsizetype>(size - 2));
  const QString field = RecordField(text, separator, index);
  // A field never holds the separator and is never longer than the text.
  if (field.contains(separator) || field.size() > text.size()) std::abort();
  // Joining every field back gives the text (bar single-space fields).
  QStringList fields = text.split(separator);
  if (index < fields.size() && fields[index] != QLatin1String(" ") && fields[index] != field) std::abort();
  if (index >= fields.size() && !field.isEmpty()) std::abort();
  return 0;
}
