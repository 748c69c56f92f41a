// The comparison's reads ahead: the first looks of the records ahead of the
// pass are taken by a pool of readers (ReadAhead), several in flight, while
// the pass works on the runs before them.
//
// The pass plans a window of records in list order: the free records of the
// runs of two or more whose first look it will read itself (not under the
// fast rule, not standing in by a cache digest), a run split across windows
// where it is long. Each batch goes to the readers in inode order, which
// keeps a disk's head moving one way. Paths are resolved here, on the
// pass's thread: the readers never touch the list.
//
// When groupByDigest comes to a planned record it takes its look (waiting
// for it, with pumps between short waits) and counts it exactly as a read
// of its own: the open, its stamp, the bytes, or the gap its failure makes.
// A record it was not planned for, or whose reader could not try it, it
// reads itself as before. A look depends on its own file alone and the
// groups are sorted by digest and record afterwards, so the result is the
// same whatever order the reads complete in, and with one read in flight
// (no readers at all).
//
// The byte proof reads one file after another. So that the disk works on
// the next files meanwhile, the readers preload the files the proof will
// read in the runs ahead: once every first look of a run is in, each file
// whose look another file of the run shares (the rest of it, from its first
// look on, up to kPreloadOfAFile) is asked into the system's cache, up to
// kPreloadAhead bytes ahead of the pass. A preload returns nothing: the
// pass still reads and compares every byte, so it changes no result.
#include "engine/compare.h"
#include "engine/scan.h"

#include <algorithm>
#include <cerrno>

namespace {

constexpr size_t kLookWindow = 4096;  // records planned ahead at most
constexpr auto kLookWait = std::chrono::milliseconds(25);
constexpr qint64 kPreloadAhead = 128 << 20;   // bytes preloaded ahead of the pass at most
constexpr qint64 kPreloadOfAFile = 16 << 20;  // bytes of one file preloaded at most
// Smaller files were read whole by the system around their first look.
constexpr qint64 kPreloadFrom = 16 << 10;

}  // namespace

ComparePass::~ComparePass() = default;

void ComparePass::startReadAhead() {
  planned_.clear();
  planFrom_ = 0, planLast_ = -1, planRun_ = false;
  preloadFrom_ = 0, preloadedAhead_ = 0, preloadMissing_ = -1;
  preloaded_.clear();
  if (n_ < 2) return;
  readAhead_ = ReadAhead::Start(host_.readsInFlight(), run_);
  planLooks();
}

void ComparePass::stopReadAhead() {
  readAhead_.reset();  // joins every reader
  planned_.clear();
}

bool ComparePass::looksAhead(int first, int last) const {
  const qint64 size = list_.at(first).size;
  if (host_.fastCompare() && size > kFastLimit) return false;
  int free = 0;
  for (int k = first; k <= last && free < 2; ++k) free += list_.isTaken(k) ? 0 : 1;
  return free >= 2;
}

bool ComparePass::lookCached(int record, qint64 size) const {
  if (!cache_ || size <= 0 || list_.at(record).cacheEntry < 0) return false;
  const CachedRange range{0, 0, std::min(size, kFirstLook), RangeKind::Bytes};
  const std::span<const CachedRange> ranges = cache_->ranges(list_.at(record).cacheEntry);
  return std::any_of(ranges.begin(), ranges.end(), [&](const CachedRange& r) { return r.sameBytes(range); });
}

void ComparePass::planLooks() {
  if (!readAhead_ || planned_.size() > kLookWindow / 2) return;
  std::vector<ReadAhead::Job> jobs;
  while (planned_.size() < kLookWindow && planFrom_ < n_) {
    if (planFrom_ > planLast_) {       // a run starts here
      if (planFrom_ == n_ - 1) break;  // the last record alone is never a run
      planLast_ = runAt(planFrom_).first;
      planRun_ = looksAhead(planFrom_, planLast_);
    }
    const qint64 size = list_.at(planFrom_).size;
    for (; planFrom_ <= planLast_ && planned_.size() < kLookWindow; ++planFrom_) {
      if (!planRun_ || list_.isTaken(planFrom_) || lookCached(planFrom_, size)) continue;
      jobs.push_back({planFrom_, list_.path(planFrom_), size, std::min(size, kFirstLook), list_.inode(planFrom_)});
      planned_.push_back(planFrom_);
    }
  }
  std::sort(jobs.begin(), jobs.end(), [](const auto& a, const auto& b) { return a.inode < b.inode; });
  readAhead_->add(std::move(jobs));
}

ComparePass::Ahead ComparePass::takeLook(int record, const Segments& segments, qint64 size,
                                         std::optional<Digest>& out) {
  if (!readAhead_) return Ahead::Missed;
  // Records planned before this one were not asked for (an option changed,
  // say): their looks are dropped.
  if (!planned_.empty() && planned_.front() < record) {
    while (!planned_.empty() && planned_.front() < record) planned_.pop_front();
    readAhead_->dropBefore(record);
  }
  if (planned_.empty() || planned_.front() != record) return Ahead::Missed;
  planned_.pop_front();
  planLooks();
  std::optional<ReadAhead::Look> look;
  while (!(look = readAhead_->take(record, kLookWait)))
    if (pumpStopped()) return Ahead::Stopped;
  const bool asPlanned =
      segments.size() == 1 && segments.front().offset == 0 && segments.front().length == std::min(size, kFirstLook);
  if (!look->tried || !asPlanned || look->openError == EMFILE || look->openError == ENFILE) return Ahead::Missed;
  if (!countOpen(record, look->openError, look->stamped ? &look->stamp : nullptr, nullptr)) return Ahead::Taken;
  if (!look->read) {
    leftOut(record, look->readError == 0 ? Gap::FileChanged : Gap::FileUnreadable, look->readError);
    return Ahead::Taken;
  }
  countRead(record, segments.front().length);
  out = Digest{look->high, look->low};
  return Ahead::Taken;
}

void ComparePass::preloadAhead(int at) {
  if (!readAhead_) return;
  // Runs the pass has come to no longer count as ahead of it.
  while (!preloaded_.empty() && preloaded_.front().first <= at) {
    preloadedAhead_ -= preloaded_.front().second;
    preloaded_.pop_front();
  }
  while (preloadFrom_ <= at && preloadFrom_ < n_ - 1) preloadFrom_ = runAt(preloadFrom_).second;
  std::vector<ReadAhead::Job> jobs;
  while (preloadedAhead_ < kPreloadAhead && preloadFrom_ < n_ - 1) {
    const auto [last, next] = runAt(preloadFrom_);
    if (last >= planFrom_) break;  // not every first look of it is planned yet
    const std::optional<qint64> bytes = preloadRun(preloadFrom_, last, jobs);
    if (!bytes) break;
    if (*bytes > 0) preloaded_.emplace_back(preloadFrom_, *bytes), preloadedAhead_ += *bytes;
    preloadFrom_ = next;
  }
  std::sort(jobs.begin(), jobs.end(), [](const auto& a, const auto& b) { return a.record < b.record; });
  readAhead_->preload(std::move(jobs));
}

std::optional<qint64> ComparePass::preloadRun(int first, int last, std::vector<ReadAhead::Job>& jobs) {
  const qint64 size = list_.at(first).size;
  const Records records = freeRecords(first, last);
  const auto planned = [&](int k) { return std::binary_search(planned_.begin(), planned_.end(), k); };
  if (size < kPreloadFrom || records.size() < 2 || !std::all_of(records.begin(), records.end(), planned)) return 0;
  std::vector<ReadAhead::Look> looks;
  if (!readAhead_->peek(records, looks, preloadMissing_)) return std::nullopt;
  std::vector<std::pair<Digest, int>> keyed;  // by the look's index
  for (size_t t = 0; t < looks.size(); ++t)
    if (looks[t].read) keyed.push_back({{looks[t].high, looks[t].low}, static_cast<int>(t)});
  qint64 bytes = 0;
  for (const Records& group : GroupsOfEqualKey(std::move(keyed))) {
    for (const int t : group) {
      // A file whose first look was in the system's cache likely is whole.
      const ReadAhead::Look& look = looks[static_cast<size_t>(t)];
      if (look.cached) continue;
      const qint64 length = std::min(size - kFirstLook, kPreloadOfAFile);
      jobs.push_back({look.record, list_.path(look.record), size, length, list_.inode(look.record), kFirstLook});
      bytes += length;
    }
  }
  return bytes;
}
