// The comparison pass: goes down the sorted candidate list run by run (a run
// is the records of one size) and appends every group of identical files to
// the result list.
//
// The groups, their order and their first rows are those of comparing each
// free record with every later free record of its run. The work is not: each
// run is partitioned by content once, streaming the files in chunks side by
// side, so a file is read once (a duplicate twice at its beginning), no
// matter how many files share its size, and memory stays bounded.
#pragma once

#include "engine/candidates.h"

#include <QString>

#include <vector>

class ScanHost;

struct CompareStats {
  qint64 bytesRead = 0;
  qint64 filesOpened = 0;
  // Files not reported as copies that were read past their size in total
  // (read more than once); stays 0 unless something is wrong.
  qint64 nonDuplicatesReadTwice = 0;
};

// Files larger than this are compared by samples when fast comparison is on.
inline constexpr qint64 kFastLimit = 10485760;

class ComparePass {
 public:
  ComparePass(CandidateList& list, ScanHost& host, const bool& stopped);
  // Runs the pass; false when it ended on a stop request.
  bool run();
  const CompareStats& stats() const { return stats_; }

  // The progress position (0-100, as shown) of `part` / `whole`.
  static int Position(qint64 part, qint64 whole);

 private:
  struct Partition;
  struct Segment {
    qint64 offset;
    qint64 length;
  };
  using Classes = std::vector<std::vector<int>>;

  bool processRun(int first, int last);
  bool buildContent(int first, int last, Partition& out);
  // Groups `members` by a digest of their bytes in `segments`; a file alone
  // in its group is left out. With `firstLook` the files are opened for a
  // first look (fs::ReadFile::openListed), otherwise with open()'s checks.
  bool groupByDigest(const std::vector<int>& members, const std::vector<Segment>& segments, bool firstLook,
                     Classes& out);
  bool buildSamples(int first, int last, Partition& out);
  bool partition(const std::vector<int>& members, const std::vector<Segment>& segments, Classes& out);
  bool lockstep(const std::vector<int>& members, const std::vector<Segment>& segments, Classes& out);
  bool digestSplit(const std::vector<int>& members, const std::vector<Segment>& segments, Classes& out);
  void report(int r, int k, bool& firstOfGroup);
  void showProgress(qint64 part);
  bool pumpStopped();

  CandidateList& list_;
  ScanHost& host_;
  const bool& stopped_;
  CompareStats stats_;
  std::vector<qint64> readPerRecord_;
  std::vector<bool> reported_;
  std::vector<char> buffer_;
  QString title_;  // the title for titleShown_, made once per position
  int titleShown_ = -1;
  int n_ = 0;
};
