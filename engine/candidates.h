// The candidate record of one accepted file and the candidate list that
// keeps the records of one size together.
#pragma once

#include "platform/fs.h"

#include <QString>

#include <cstdint>
#include <vector>

// One file the walk accepted: its size, full path and last-write time. Its
// text form is size*path*date; the list orders records as that text, but
// the record keeps the fields apart, since '*' may occur in a name here.
struct CandidateRecord {
  qint64 size = 0;
  QString path;
  qint64 mtime = 0;  // seconds since the epoch
  bool taken = false;
  int cacheEntry = -1;      // its trusted entry in the content cache, or -1
  fs::FileId folder{};      // the folder the walk found it in
  std::uint64_t inode = 0;  // its own inode, as the walk saw it
};

// A line break cannot stand in the list file, which has one row a line, so
// no candidate's path holds one.
inline bool HasLineBreak(const QString& text) {
  return text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r'));
}

// Field `index` (from 0) of `text` split at `separator`; a field of exactly
// one space reads as empty.
QString RecordField(const QString& text, QChar separator, int index);

qint64 RecordSize(const CandidateRecord& record);
QString RecordPath(const CandidateRecord& record);  // empty for a taken record
QString RecordDate(const CandidateRecord& record);  // empty for a taken record
QString RecordText(const CandidateRecord& record);  // size*path*date, empty when taken

// The order of records: as the texts size*path*date, ascending, letter case
// ignored. All records of one size stand together; runs follow the character
// order of their size texts (1048576 before 20480 before 3).
bool CandidateBefore(const CandidateRecord& a, const CandidateRecord& b);

// The candidate list. Records are appended during the walk and sorted once
// before the comparison.
class CandidateList {
 public:
  void clear() { records_.clear(); }
  void add(CandidateRecord record) { records_.push_back(std::move(record)); }
  template <class Predicate>
  void eraseIf(Predicate drop) {
    std::erase_if(records_, drop);
  }
  void sort();
  int count() const { return static_cast<int>(records_.size()); }
  const CandidateRecord& at(int i) const { return records_[static_cast<size_t>(i)]; }
  bool isTaken(int i) const { return records_[static_cast<size_t>(i)].taken; }
  QString path(int i) const { return records_[static_cast<size_t>(i)].path; }
  std::uint64_t inode(int i) const { return records_[static_cast<size_t>(i)].inode; }
  // Blanks entry i: it keeps its position and is never compared again.
  void blank(int i) { records_[static_cast<size_t>(i)].taken = true; }

 private:
  std::vector<CandidateRecord> records_;
};
