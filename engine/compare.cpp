// How the comparison goes.
//
// The walk has left the candidate list sorted so that the records of one
// size stand together: a size run. ComparePass::run goes down the list run
// by run; a size that occurs once is never opened. Within a run the result
// must be that of comparing each free record with every later free record:
// groups in the order of their first records, each headed by its earliest
// record, copies in list order. reportRun gets there without pairwise reads:
// the first time it meets a free record it sorts the whole run into groups of
// equal content (partitionRun), then walks the records in order and reports
// each one's later group members as its copies.
//
// The sorting is a pipeline. Each stage takes groups of record indices and
// returns the groups that may still hold copies (a file left alone in its
// group is done), or nothing when the scan was stopped:
//
//   size runs   runAt, freeRecords: the free records of one size, one group.
//   first look  firstLook: a digest of the first kFirstLook bytes of each
//               file; what is read here sorts files and never proves
//               anything. Empty files end here: they are only opened. With
//               the content cache, a file's trusted digest of these bytes
//               stands in for reading them: it only sorts too.
//   cache       cacheSplit: files whose trusted cache entries hold different
//               digests of the same bytes are parted without a read
//               (compare_cache.cpp); this stage only ever splits.
//   first page  splitCrowds: a crowd, a group too large to be read side by
//               side (over maxSideBySide_ files), is split by a digest of the
//   and rest    rest of its first page (up to kProbe) and, for a file whose
//               first page an earlier file had, of the rest of the file, in
//               the same opening (groupByPageAndRest); the rest is hashed
//               by its content alone (DigestOfRange), so its holes are not
//               read. A file whose first page occurs once costs no long read.
//               Smaller groups pass: the proof reads their first page and
//               rest side by side.
//   byte proof  byteProof: the files of each group are opened again and read
//               side by side in chunks (sideBySide): the first page, then
//               the rest, then the bytes of the first look once more; a
//               stretch where every file of a group has a hole is skipped.
//               A group splits at the first chunk where its files differ;
//               files that agree to the end and still have their size are
//               copies. A group still too large (many copies of one content)
//               is proved file by file against its first file (SameBytes).
//
// Every file is opened the same way (open): through its folder without
// following a link in any component of the path, without waiting on a FIFO,
// and it must still be the regular file of the size the walk saw. A file
// that cannot be opened or read, or that changed, leaves the comparison and
// is counted (gaps). maxSideBySide_ is kMaxSideBySide or, when the program
// may hold fewer files open, a quarter of that limit; a read side by side
// that still runs short of descriptors is done again with fewer files, so
// no file is left out for the program's own limits.
//
// So a file whose beginning occurs once in its run is opened once; a file
// that shares its beginning is opened once more for the proof (in a crowd,
// once more for the digests), and two files are only ever called equal
// after every byte of both was compared, the bytes of the first look
// included. With fast comparison on, files over kFastLimit skip the first
// look: the other stages (the cache's first) run on eight sampled blocks
// instead of the whole content.
//
// The pass lets pending events run (pumpStopped) after each file a digest
// opens and after each chunk of a long digest, after the files of a
// side-by-side read are opened and after each chunk, and before each later
// record it reports. A scan may start anew
// inside a pump, so after each one the run is asked whether it still runs
// and no reference into the candidate list is held across it: the stages
// carry indices. CompareProgress reports where the pass stands, from the
// Phase it is in.
//
// This file holds the pass and the stages; how they read files (digests,
// side-by-side reads, opening and counting) is in compare_reads.cpp.
#include "engine/compare.h"

#include "engine/bytes.h"
#include "engine/scan.h"

#include <algorithm>
#include <chrono>
#include <utility>

namespace {

constexpr qint64 kSampleBlock = 65536;  // one sample of the fast rule

}  // namespace

ComparePass::ComparePass(CandidateList& list, ScanHost& host, RunToken run, ContentCache* cache)
    : list_(list), host_(host), run_(std::move(run)), progress_(host), cache_(cache) {}

bool ComparePass::pumpStopped() {
  host_.pump();
  return !run_.running();
}

// ---------------------------------------------------------------- the pass --

bool ComparePass::run() {
  n_ = list_.count();
  progress_.start(n_);
  readPerRecord_.assign(static_cast<size_t>(n_), 0);
  reported_.assign(static_cast<size_t>(n_), false);
  leftOut_.assign(static_cast<size_t>(n_), false);
  if (cache_) cacheUsed_.assign(static_cast<size_t>(n_), false);
  // A quarter of the files the program may hold open leaves room for the
  // rest of the program and for a digest's two files.
  maxSideBySide_ = static_cast<size_t>(std::clamp<qint64>(fs::OpenFileLimit() / 4, 2, qint64{kMaxSideBySide}));
  // Whatever way the pass ends, no reader outlives it.
  struct Joined {
    ComparePass& pass;
    ~Joined() { pass.stopReadAhead(); }
  } joined{*this};
  startReadAhead();
  int first = 0;
  while (first < n_ - 1) {
    if (!run_.running()) return false;
    const auto [last, next] = runAt(first);
    if (last > first && !reportRun(first, last)) return false;
    first = next;
    progress_.show(Phase::run(first));
  }
  for (int k = 0; k < n_; ++k) {
    const size_t at = static_cast<size_t>(k);
    if (!reported_[at] && readPerRecord_[at] > list_.at(k).size) ++stats_.nonDuplicatesReadTwice;
  }
  stats_.cacheEntriesUsed = std::count(cacheUsed_.begin(), cacheUsed_.end(), true);
  return true;
}

std::pair<int, int> ComparePass::runAt(int first) const {
  // The search stops at the first record of another size, or at the list's
  // last record whatever its size: the last record alone is never a run.
  const qint64 size = list_.at(first).size;
  int last = first, j = first + 1;
  while (list_.at(j).size == size) {
    last = j;
    if (j == n_ - 1) break;
    ++j;
  }
  return {last, j};
}

bool ComparePass::reportRun(int first, int last) {
  // Sorted once per kind of comparison; the option is read for every record.
  Partition content, samples;
  const qint64 size = list_.at(first).size;
  for (int r = first; r <= last; ++r) {
    progress_.show(Phase::record(first, r));
    if (list_.isTaken(r)) continue;
    const bool fast = host_.fastCompare() && size > kFastLimit;
    Partition& p = fast ? samples : content;
    if (!p.ready && !partitionRun(first, last, fast, p)) return false;
    const int g = p.groupOf[static_cast<size_t>(r - first)];
    if (g >= 0 && !reportCopies(r, p.groups[static_cast<size_t>(g)])) return false;
  }
  return true;
}

bool ComparePass::reportCopies(int r, const Records& group) {
  bool firstOfGroup = true;
  for (const int k : group) {
    if (k <= r) continue;
    if (pumpStopped()) return false;
    if (list_.isTaken(k)) continue;
    report(r, k, firstOfGroup);
  }
  return true;
}

void ComparePass::report(int r, int k, bool& firstOfGroup) {
  if (firstOfGroup && host_.resultRowCount() > 0) host_.appendSeparator();
  if (firstOfGroup) {
    host_.appendFileRow(list_.file(r));
    reported_[static_cast<size_t>(r)] = true;
  }
  host_.appendFileRow(list_.file(k));
  reported_[static_cast<size_t>(k)] = true;
  list_.blank(k);
  firstOfGroup = false;
}

ComparePass::Records ComparePass::freeRecords(int first, int last) const {
  Records records;
  for (int k = first; k <= last; ++k)
    if (!list_.isTaken(k)) records.push_back(k);
  return records;
}

bool ComparePass::partitionRun(int first, int last, bool fast, Partition& out) {
  const qint64 size = list_.at(first).size;
  Groups run{freeRecords(first, last)};
  stamps_.clear();
  now_ =
      std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch()).count();
  std::optional<Groups> groups = fast ? sampleGroups(std::move(run), size) : contentGroups(run, size);
  stamps_.clear();
  if (!groups) return false;
  out.groups = std::move(*groups);
  for (auto& g : out.groups) std::sort(g.begin(), g.end());
  std::sort(out.groups.begin(), out.groups.end(), [](const auto& a, const auto& b) { return a.front() < b.front(); });
  out.groupOf.assign(static_cast<size_t>(last - first) + 1, -1);
  for (size_t g = 0; g < out.groups.size(); ++g)
    for (const int k : out.groups[g]) out.groupOf[static_cast<size_t>(k - first)] = static_cast<int>(g);
  out.ready = true;
  return true;
}

// -------------------------------------------------------------- the stages --

std::optional<ComparePass::Groups> ComparePass::contentGroups(const Groups& run, qint64 size) {
  Reading reading;
  reading.size = size;
  reading.firstLook = std::min(size, kFirstLook);
  const Segment start{0, reading.firstLook}, rest{reading.firstLook, size - reading.firstLook};
  if (rest.length > 0) reading.sorted.push_back(rest), reading.proved.push_back(rest);
  if (start.length > 0) reading.proved.push_back(start);  // after the first look, proved too

  std::optional<Groups> groups = firstLook(run, reading);
  if (groups) groups = cacheSplit(std::move(*groups));
  if (groups) groups = splitCrowds(std::move(*groups), reading);
  if (groups) groups = byteProof(std::move(*groups), reading);
  return groups;
}

std::optional<ComparePass::Groups> ComparePass::sampleGroups(Groups run, qint64 size) {
  // The first and the last block and six evenly spaced between them.
  Reading reading;
  reading.size = size;
  reading.sorted.push_back({0, kSampleBlock});
  for (int s = 1; s <= 6; ++s) reading.sorted.push_back({(size - kSampleBlock) * s / 7, kSampleBlock});
  reading.sorted.push_back({size - kSampleBlock, kSampleBlock});
  reading.proved = reading.sorted;
  reading.sampled = true;

  std::optional<Groups> groups = splitCrowds(cacheSplit(std::move(run)), reading);
  if (groups) groups = byteProof(std::move(*groups), reading);
  return groups;
}

std::optional<ComparePass::Groups> ComparePass::firstLook(const Groups& groups, const Reading& reading) {
  Groups out;
  for (const Records& group : groups) {
    std::optional<Groups> looked = groupByDigest(group, {{0, reading.firstLook}}, reading.size);
    if (!looked) return std::nullopt;
    std::move(looked->begin(), looked->end(), std::back_inserter(out));
  }
  return out;
}

std::optional<ComparePass::Groups> ComparePass::splitCrowds(Groups groups, const Reading& reading) {
  Segments page, later;
  for (const Segment& seg : reading.sorted) {
    const qint64 inPage = std::clamp<qint64>(kProbe - seg.offset, 0, seg.length);
    if (inPage > 0) page.push_back({seg.offset, inPage});
    if (inPage < seg.length) later.push_back({seg.offset + inPage, seg.length - inPage});
  }
  if (page.empty() && later.empty()) return groups;
  Groups out;
  for (Records& group : groups) {
    if (group.size() <= maxSideBySide_) {
      out.push_back(std::move(group));
      continue;
    }
    std::optional<Groups> split = groupByPageAndRest(group, page, later, reading.size);
    if (!split) return std::nullopt;
    std::move(split->begin(), split->end(), std::back_inserter(out));
  }
  return out;
}

std::optional<ComparePass::Groups> ComparePass::byteProof(Groups groups, const Reading& reading) {
  if (reading.proved.empty()) return groups;  // empty files: nothing to compare
  Groups out;
  for (Records& group : groups) {
    // Before each group, not each record: the proof is what preloads serve.
    preloadAhead(group.front());
    std::optional<Groups> proved =
        group.size() <= maxSideBySide_ ? sideBySide(group, reading) : provedAgainstFirst(std::move(group), reading);
    if (!proved) return std::nullopt;
    std::move(proved->begin(), proved->end(), std::back_inserter(out));
  }
  return out;
}
