// The candidate record of one accepted file and the candidate list that
// keeps the records of one size together.
#pragma once

#include "platform/fs.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

// One file the walk accepted: its size, last-write time and identity, and
// where its name and folder are kept in the list. Its text form is
// size*path*date; the list orders records as that text, but keeps the
// fields apart, since '*' may occur in a name here. A million of them are
// held at once, so the record is small: the path is the folder's text,
// kept once per folder, and the name in UTF-8 in the list's name store.
struct CandidateRecord {
  qint64 size = 0;
  qint64 mtime = 0;  // seconds since the epoch
  std::uint64_t inode = 0;
  std::uint64_t name : 47 = 0;  // where the name starts in the name store
  std::uint64_t nameLength : 16 = 0;
  std::uint64_t taken : 1 = 0;
  std::uint32_t folder = 0;  // index in the folder table
  int cacheEntry = -1;       // its trusted entry in the content cache, or -1
};

// A file as a row of the result list shows it.
struct FoundFile {
  qint64 size = 0;
  QString path;
  qint64 mtime = 0;     // seconds since the epoch
  fs::FileId folder{};  // the folder the walk found it in
};

// A line break cannot stand in the list file, which has one row a line, so
// no candidate's path holds one.
inline bool HasLineBreak(const QString& text) {
  return text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r'));
}

// Field `index` (from 0) of `text` split at `separator`; a field of exactly
// one space reads as empty.
QString RecordField(const QString& text, QChar separator, int index);

// The candidate list. Records are appended during the walk and sorted once
// before the comparison. The order of records is that of their texts
// size*path*date, ascending, letter case ignored: all records of one size
// stand together, and runs follow the character order of their size texts
// (1048576 before 20480 before 3).
class CandidateList {
 public:
  CandidateList();
  ~CandidateList();
  CandidateList(const CandidateList&) = delete;
  CandidateList& operator=(const CandidateList&) = delete;

  void clear();
  // A folder the walk lists files of: its path ends with the separator.
  // The files added after it are in it.
  void beginFolder(const QString& path, fs::FileId id);
  void add(qint64 size, qint64 mtime, std::uint64_t inode, const QString& name, int cacheEntry = -1);
  template <class Predicate>
  void eraseIf(Predicate drop) {  // drop(int i)
    size_t kept = 0;
    for (size_t i = 0; i < records_.size(); ++i)
      if (!drop(static_cast<int>(i))) records_[kept++] = records_[i];
    records_.resize(kept);
  }
  void sort();

  int count() const { return static_cast<int>(records_.size()); }
  const CandidateRecord& at(int i) const { return records_[static_cast<size_t>(i)]; }
  bool isTaken(int i) const { return at(i).taken; }
  // Blanks entry i: it keeps its position and is never compared again.
  void blank(int i) { records_[static_cast<size_t>(i)].taken = 1; }

  // What a record says, as text. Safe from several threads at once while
  // the list is not changed.
  QString path(int i) const;  // even for a taken record
  std::uint64_t inode(int i) const { return at(i).inode; }
  fs::FileId folderId(int i) const;
  FoundFile file(int i) const;
  QString text(int i) const;  // size*path*date, empty when taken
  QString date(int i) const;  // empty when taken

  // Whether record a comes before record b.
  bool before(const CandidateRecord& a, const CandidateRecord& b) const;

 private:
  struct Folder {
    QString path;
    fs::FileId id;
  };
  struct Names;
  std::vector<CandidateRecord> records_;
  std::vector<Folder> folders_;
  std::unique_ptr<Names> names_;
};
