// The list file: one line per row of the result list, fields separated by
// ';', every line ended by CR LF, an empty line for a separator row.
#pragma once

#include "results/model.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <vector>

// The bytes Save list writes for the rows of `model`, handed to `put` a
// piece at a time (until it returns false), or whole.
void WriteListFile(const ResultModel& model, const std::function<bool(QByteArrayView)>& put);
QByteArray ListFileBytes(const ResultModel& model);

// Writes the list to `file` as fs::WriteOutput does: replacing it only once
// the new content is complete, through no link or folder of another user
// that the path rules refuse, never into another user's file. On failure
// returns false with the file and the reason in *error.
bool SaveListFile(const ResultModel& model, const QString& file, QString* error);

// The text of a list file: a byte-order mark decides the encoding (UTF-8,
// UTF-16 LE or BE); without one, valid UTF-8 is read as such and anything
// else as Windows-1251. A U+0000 stays in the text (its line is unreadable).
QString DecodeListBytes(const QByteArray& bytes);

struct LoadedList {
  std::vector<ResultRow> rows;
  // Lines whose fields could not be told apart (a ';' in a name that
  // cannot be placed, a NUL); their rows are unmarked and have no path.
  int unreadable = 0;
};

// Splits the text into lines (CR LF, lone CR or lone LF) and rows: a row
// for each line, one separator row for a run of empty lines.
LoadedList ParseListText(const QString& text);

// Why a list file could not be read.
struct ListLoadError {
  enum class Kind {
    None,
    Unreadable,   // the file could not be opened or read: `reason` holds the system's words
    TooLarge,     // longer than `bound` bytes, or without end
    TooManyRows,  // more than `bound` rows
  };
  Kind kind = Kind::None;
  QString reason;
  qint64 bound = 0;
};

// Reads a list file. On failure returns false with the reason in *error.
// A list longer than `largest` bytes (a device, a pipe that never ends) or
// of more than `mostRows` rows is refused, so that what is loaded fits in
// memory. While it loads, a list takes about 4 bytes for each of its bytes
// (its text, then the texts of its rows) and about 190 bytes for each row
// besides (the row of the result list with its size and mark); the largest
// list both bounds let pass, 256 MiB in 3,000,000 rows, takes about 1.9 GB.
inline constexpr qint64 kLargestList = qint64(256) << 20;
inline constexpr qsizetype kMostListRows = 3000000;
bool LoadListFile(const QString& file, LoadedList* out, ListLoadError* error, qint64 largest = kLargestList,
                  qsizetype mostRows = kMostListRows);
