// The comparison pass: goes down the sorted candidate list run by run (a run
// is the records of one size) and appends every group of identical files to
// the result list.
//
// The groups, their order and their first rows are those of comparing each
// free record with every later free record of its run. The work is not: each
// run is sorted into groups of equal content once, by a pipeline of stages
// (see compare.cpp), so a file is read about once no matter how many files
// share its size, and memory stays bounded.
#pragma once

#include "engine/candidates.h"
#include "engine/contentcache.h"
#include "engine/gaps.h"
#include "engine/progress.h"
#include "engine/readahead.h"
#include "engine/runtoken.h"

#include <QString>

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

class ScanHost;
namespace fs {
class ReadFile;
}

struct CompareStats {
  qint64 bytesRead = 0;
  qint64 filesOpened = 0;
  // Files not reported as copies that were read past their size in total
  // (read more than once); stays 0 unless something is wrong.
  qint64 nonDuplicatesReadTwice = 0;
  // Files whose digests from the content cache told them apart from others
  // (or stood in for their first look).
  qint64 cacheEntriesUsed = 0;
};

// Files larger than this are compared by samples when fast comparison is on.
inline constexpr qint64 kFastLimit = 10485760;
// Bytes read from the start of every file of a run, to sort it.
inline constexpr qint64 kFirstLook = 1024;

class ComparePass {
 public:
  // The pass of the run `run`, which it asks after every pump whether it
  // may go on. With a `cache`, files whose trusted entries prove them
  // different are not read to tell them apart, and the digests of what is
  // read are recorded in it (compare_cache.cpp).
  ComparePass(CandidateList& list, ScanHost& host, RunToken run, ContentCache* cache = nullptr);
  ComparePass(const ComparePass&) = delete;
  ComparePass& operator=(const ComparePass&) = delete;
  ~ComparePass();
  // Runs the pass; false when it ended because its run stopped.
  bool run();
  const CompareStats& stats() const { return stats_; }
  // The files the pass could not open or read, or that changed since the walk.
  const ScanGaps& gaps() const { return gaps_; }

 private:
  // Files read side by side at most (a larger group is a crowd): this, or a
  // share of the files the program may hold open when that is less.
  static constexpr size_t kMaxSideBySide = 256;
  // Record indices into the candidate list, ascending.
  using Records = std::vector<int>;
  // Files that may hold the same bytes. A stage never returns a group of
  // fewer than two files.
  using Groups = std::vector<Records>;
  struct Segment {
    qint64 offset;
    qint64 length;
  };
  using Segments = std::vector<Segment>;
  // How the files of one run are read.
  struct Reading {
    qint64 size = 0;
    qint64 firstLook = 0;  // bytes of the first look (0: none)
    Segments sorted;       // the bytes crowds are sorted by, by digest
    Segments proved;       // the bytes compared byte for byte, in reading order
    bool sampled = false;  // by the fast rule's samples
  };
  // A run sorted into groups: the group of each record.
  struct Partition {
    bool ready = false;
    std::vector<int> groupOf;  // by index within the run; -1: no copy
    Groups groups;             // ordered by first record
  };
  struct OpenedFile;
  struct Strand;
  struct Hash;
  using Digest = std::pair<std::uint64_t, std::uint64_t>;  // 128 bits of XXH3

  // Whether the first look of a planned record was taken by a reader.
  enum class Ahead { Taken, Missed, Stopped };

  // The records of each key that occurs at least twice, a group each.
  template <class Key>
  static Groups GroupsOfEqualKey(std::vector<std::pair<Key, int>> keyed);
  // The run that starts at `first`: its last record and where the search
  // for it stopped.
  std::pair<int, int> runAt(int first) const;
  bool reportRun(int first, int last);
  bool reportCopies(int r, const Records& group);
  void report(int r, int k, bool& firstOfGroup);
  bool partitionRun(int first, int last, bool fast, Partition& out);
  Records freeRecords(int first, int last) const;

  // The stages, in the order a run goes through them (compare.cpp tells
  // how): each takes groups and returns groups, or nothing when stopped.
  std::optional<Groups> contentGroups(const Groups& run, qint64 size);
  std::optional<Groups> sampleGroups(Groups run, qint64 size);
  Groups cacheSplit(Groups groups);
  std::optional<Groups> firstLook(const Groups& groups, const Reading& reading);
  std::optional<Groups> splitCrowds(Groups groups, const Reading& reading);
  std::optional<Groups> byteProof(Groups groups, const Reading& reading);

  // What the stages are made of.
  std::optional<Groups> groupByPageAndRest(const Records& records, const Segments& page, const Segments& later,
                                           qint64 size);
  std::optional<Groups> groupByDigest(const Records& records, const Segments& segments, qint64 size);
  // A digest of the bytes of `later` that depends on them alone, not on
  // where the file has holes; nothing on failure, or (its run stopped) on a stop.
  std::optional<Digest> restDigest(fs::ReadFile& file, int record, const Segments& later, qint64 size);
  std::optional<Digest> digestOf(const fs::ReadFile& file, int record, const Segments& segments, Hash& hash);
  std::optional<Groups> sideBySide(const Records& records, const Reading& reading);
  // Moves `strand` past the segments it has read; true when none is left.
  static bool AtEnd(Strand& strand, const Segments& segments);
  bool follow(Strand strand, const std::vector<OpenedFile>& files, const Reading& reading, std::vector<Strand>& pending,
              Groups& out);
  std::optional<std::vector<std::vector<size_t>>> readChunk(Strand& strand, const std::vector<OpenedFile>& files,
                                                            const Segments& segments);
  std::optional<Groups> provedAgainstFirst(Records records, const Reading& reading);
  std::optional<bool> sameAsFirst(const fs::ReadFile& first, int head, int record, const Reading& reading);
  // Opens the file of `record`, which must still be the regular file of
  // `size` bytes that the walk listed. A failure is counted as a gap, or,
  // given `outOfDescriptors`, set there when the program holds too many
  // files open, for the caller to try again with fewer.
  bool open(fs::ReadFile& file, int record, qint64 size, bool* outOfDescriptors = nullptr);
  // Counts the opening of `record` that gave `error` (0: opened, with the
  // descriptor's `stamp` where it had one) as open() does; true when opened.
  bool countOpen(int record, int error, const fs::FileStamp* stamp, bool* outOfDescriptors);
  bool readCounted(const fs::ReadFile& file, int record, qint64 offset, char* data, qint64 length);
  void countRead(int record, qint64 length);
  // The pass's buffer, of `bytes` at least.
  char* bufferOf(qint64 bytes);
  // The content cache: the parts of `group` by the first range that all its
  // files have a trusted digest of and not all the same; none when there is
  // no such range. The digest of a range read from `record`, or
  // recorded for it.
  std::optional<Groups> splitByCache(const Records& group);
  std::optional<std::uint64_t> cachedDigest(int record, const CachedRange& range);
  void recordDigest(int record, RangeKind kind, qint64 offset, qint64 length, std::uint64_t digest);
  void recordStream(const OpenedFile& file, const Reading& reading, qint64 position);
  void recordParts(const std::vector<std::vector<size_t>>& parts, const std::vector<OpenedFile>& files,
                   const Reading& reading, qint64 position);
  // Whether every file of `records` has a trusted digest of all it would be
  // proved by: reading them again records nothing new.
  bool provedBefore(const Records& records, const Reading& reading) const;
  static qint64 StreamPosition(const Strand& strand, const Segments& segments);
  // The reads ahead (compare_ahead.cpp): the readers started and the first
  // window planned, or none with one read in flight; the readers joined.
  void startReadAhead();
  void stopReadAhead();
  // Plans the first looks of the records ahead, up to a window.
  void planLooks();
  bool looksAhead(int first, int last) const;
  // Has the readers preload the files of the runs after the one of `at`
  // that the byte proof will read (their first look shared in their run),
  // up to a budget of bytes ahead of the pass.
  void preloadAhead(int at);
  // Adds the preloads of the run [first, last] to `jobs`: their bytes, or
  // nothing when a first look of it is not in yet.
  std::optional<qint64> preloadRun(int first, int last, std::vector<ReadAhead::Job>& jobs);
  bool lookCached(int record, qint64 size) const;
  // The first look of `record` as a reader took it, counted, its digest in
  // `out` when read; Missed when it must be read here.
  Ahead takeLook(int record, const Segments& segments, qint64 size, std::optional<Digest>& out);
  // Counts `record` as a gap, once whatever stage meets it.
  void leftOut(int record, Gap gap, int error = 0);
  bool pumpStopped();

  CandidateList& list_;
  ScanHost& host_;
  const RunToken run_;
  CompareProgress progress_;
  CompareStats stats_;
  std::vector<qint64> readPerRecord_;
  std::vector<bool> reported_;
  std::vector<bool> leftOut_;
  std::vector<char> buffer_;
  ScanGaps gaps_;
  ContentCache* cache_;
  std::vector<bool> cacheUsed_;
  // The stamp of each file of the run opened last, as its descriptor gave it.
  std::unordered_map<int, fs::FileStamp> stamps_;
  qint64 now_ = 0;  // when the run began, ns since the epoch
  size_t maxSideBySide_ = kMaxSideBySide;
  int n_ = 0;
  std::unique_ptr<ReadAhead> readAhead_;
  std::deque<int> planned_;                       // records whose looks were asked for, in list order
  int planFrom_ = 0;                              // the next record to plan
  int planLast_ = -1;                             // the last record of the run being planned
  bool planRun_ = false;                          // whether that run's first looks are planned
  int preloadFrom_ = 0;                           // the next run to preload
  std::deque<std::pair<int, qint64>> preloaded_;  // bytes preloaded of each run ahead, by its first record
  qint64 preloadedAhead_ = 0;                     // their sum
  int preloadMissing_ = -1;                       // the first look that was not in yet when asked
};
