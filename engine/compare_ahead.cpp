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
#include "engine/compare.h"
#include "engine/scan.h"

#include <algorithm>
#include <cerrno>

namespace {

constexpr size_t kLookWindow = 4096;  // records planned ahead at most
constexpr auto kLookWait = std::chrono::milliseconds(25);

}  // namespace

ComparePass::~ComparePass() = default;

void ComparePass::startReadAhead() {
  // A reader holds one file open: a sixteenth of the files the program may
  // hold open leaves the proof its share.
  const int readers = static_cast<int>(std::min<qint64>(host_.readsInFlight(), fs::OpenFileLimit() / 16));
  planned_.clear();
  planFrom_ = 0, planLast_ = -1, planRun_ = false;
  if (readers < 2 || n_ < 2) return;
  readAhead_ = std::make_unique<ReadAhead>(readers);
  if (readAhead_->readers() == 0) readAhead_.reset();
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
