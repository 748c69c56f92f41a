// The folder walk: every root is walked recursively and every accepted file
// becomes a candidate record.
#pragma once

#include "engine/candidates.h"
#include "engine/contentcache.h"
#include "engine/gaps.h"
#include "engine/runtoken.h"
#include "platform/fs.h"

#include <QString>
#include <QStringList>

#include <unordered_set>

class ScanHost;

class Walker {
 public:
  // Walks for the run `run` into `list`: a stop ends the walk, and once a
  // newer run supersedes it the walk adds nothing more to the list. Each
  // file's entry in `cache` (when given) is looked up with the stamp the
  // listing saw.
  Walker(ScanHost& host, RunToken run, CandidateList& list, ContentCache* cache = nullptr);

  // Walks every root in order, each with the mask as it stands when the
  // root is begun.
  void ScanRoots(const QStringList& roots);
  // Walks one folder (ending with the separator) and its subfolders.
  void ScanFolder(const QString& folder, const QString& mask);
  // What the walk could not look at.
  const ScanGaps& gaps() const { return gaps_; }

 private:
  // Whether a listed file becomes a candidate: a regular file matching the
  // mask and the size options, not listed before under another name.
  bool accepts(const fs::DirEntry& entry, const QString& mask);
  // Counts an entry that the walk could not look at; false for every other.
  bool countedAsGap(const fs::DirEntry& entry, const QString& mask);

  ScanHost& host_;
  const RunToken run_;
  CandidateList& list_;
  ContentCache* cache_;
  ScanGaps gaps_;
  // Physical folders already walked in this scan: each is walked once, so
  // a folder mounted twice is listed once.
  std::unordered_set<fs::FileId, fs::FileIdHash> visited_;
  // Files with more than one hard link already listed: a file is listed
  // under its first name only, so it is never taken for a copy of itself.
  std::unordered_set<fs::FileId, fs::FileIdHash> linkedFiles_;
  // Files mounted over a name: their other name may come earlier or later
  // in the walk, so they are sorted out once the walk is complete.
  std::unordered_set<fs::FileId, fs::FileIdHash> mountedFiles_;
  void dropSecondNamesOfMountedFiles();
};
