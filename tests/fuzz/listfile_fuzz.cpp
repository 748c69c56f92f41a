// The list-file reader on any bytes: every encoding, line end and field count.
#include "results/listfile.h"

#include <QByteArray>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  const QString text = DecodeListBytes(bytes);
  const LoadedList list = ParseListText(text);
  int lines = 0;
  for (const ResultRow& row : list.rows) {
    // A row with a path always names a file whose name is its caption,
    // unless the line had at most four fields.
    if (!row.hasSubItems && !row.caption.isEmpty()) std::abort();
    ++lines;
  }
  if (list.unreadable > lines) std::abort();
  ResultModel model;
  model.appendRows(list.rows);
  if (model.count() != lines) std::abort();
  (void)ListFileBytes(model);
  return 0;
}
