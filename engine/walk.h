// The folder walk: every root is walked recursively and every accepted file
// becomes a candidate record.
#pragma once

#include "engine/candidates.h"
#include "platform/fs.h"

#include <QString>
#include <QStringList>

#include <unordered_set>

class ScanHost;
class ScanDriver;

class Walker {
 public:
  Walker(ScanHost& host, ScanDriver& driver, CandidateList& list);

  // Walks every root in order, each with the mask as it stands when the
  // root is begun.
  void ScanRoots(const QStringList& roots);
  // Walks one folder (ending with the separator) and its subfolders.
  void ScanFolder(const QString& folder, const QString& mask);

 private:
  bool ownsList() const;

  struct IdHash {
    size_t operator()(const fs::FolderId& id) const { return std::hash<std::uint64_t>()(id.device * 1000003u ^ id.inode); }
  };

  ScanHost& host_;
  ScanDriver& driver_;
  CandidateList& list_;
  unsigned generation_;
  // Physical folders already walked in this scan: each is walked once, so
  // link loops end and no file is listed twice.
  std::unordered_set<fs::FolderId, IdHash> visited_;
};
