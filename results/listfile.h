// The list file: one line per row of the result list, fields separated by
// ';', every line ended by CR LF, an empty line for a separator row.
#pragma once

#include "results/model.h"

#include <QByteArray>
#include <QString>

#include <vector>

// The bytes Save list writes for the rows of `model`.
QByteArray ListFileBytes(const ResultModel& model);

// Writes the list to `file` as fs::WriteOutput does: replacing it only once
// the new content is complete, through no link or folder of another user
// that the path rules refuse, never into another user's file. On failure
// returns false with the file and the reason in *error.
bool SaveListFile(const ResultModel& model, const QString& file, QString* error);

// The text of a list file: a byte-order mark decides the encoding (UTF-8,
// UTF-16 LE or BE); without one, valid UTF-8 is read as such and anything
// else as Windows-1251. The text ends at the first U+0000.
QString DecodeListBytes(const QByteArray& bytes);

struct LoadedList {
  std::vector<ResultRow> rows;
  // Lines whose fields could not be told apart (a ';' in a name that
  // cannot be placed); their rows are unmarked and have no path.
  int unreadable = 0;
};

// Splits the text into lines (CR LF, lone CR or lone LF) and rows.
LoadedList ParseListText(const QString& text);

// Reads a list file. On failure returns false with the reason in *error;
// a file longer than `largest` bytes (a device, a pipe that never ends) is
// refused.
inline constexpr qint64 kLargestList = qint64(1) << 30;
bool LoadListFile(const QString& file, LoadedList* out, QString* error, qint64 largest = kLargestList);
