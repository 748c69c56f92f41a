// The comparison and the content cache: the stage that parts files by the
// digests earlier scans recorded, and the recording of what this scan reads.
//
// The stage only ever splits. Two files whose trusted digests of the same
// bytes differ hold different bytes, so the groups of equal content, the
// only groups the byte proof ever calls copies, lie within the parts; files
// that the cache cannot part (an entry missing, not trusted, or equal
// digests) go on to the byte proof as before. So the result list, its order
// and its first rows are those of a scan without the cache, whatever the
// cache file holds: a digest collision or a forged equal digest costs a
// read, a forged different digest can only keep two copies apart.
//
// An entry is trusted when the walk sees the stamp it was recorded with; what
// it says of the file is then what the file held when the walk saw it, as
// what a read says of a file is what it held when it was read. A file
// rewritten after the walk (or after its read, without the cache) is seen
// as it was.
//
// What is recorded of a file is recorded under the stamp its descriptor gave
// when it was opened (open), never the walk's: the next scan trusts it only
// if its walk sees that same stamp. Processing's links and clones need
// nothing more: a hard link made in place of a copy is a name of the kept
// file, whose change time moves with its link count (its entry is no longer
// trusted and is recorded anew when read); a symbolic link is no candidate;
// a clone gets a new change time too.
#include "engine/compare.h"

#include <algorithm>

ComparePass::Groups ComparePass::cacheSplit(Groups groups) {
  if (!cache_) return groups;
  Groups out;
  while (!groups.empty()) {
    Records group = std::move(groups.back());
    groups.pop_back();
    std::optional<Groups> parts = splitByCache(group);
    if (!parts) {
      out.push_back(std::move(group));
      continue;
    }
    for (Records& part : *parts)
      if (part.size() >= 2) groups.push_back(std::move(part));
  }
  return out;
}

std::optional<ComparePass::Groups> ComparePass::splitByCache(const Records& group) {
  for (const int k : group)
    if (list_.at(k).cacheEntry < 0) return std::nullopt;
  std::vector<std::pair<std::uint64_t, int>> keyed;
  keyed.reserve(group.size());
  for (const CachedRange& range : cache_->ranges(list_.at(group.front()).cacheEntry)) {
    keyed.clear();
    for (const int k : group) {
      const std::span<const CachedRange> ranges = cache_->ranges(list_.at(k).cacheEntry);
      const auto found =
          std::find_if(ranges.begin(), ranges.end(), [&](const CachedRange& r) { return r.sameBytes(range); });
      if (found == ranges.end()) break;
      keyed.emplace_back(found->digest, k);
    }
    if (keyed.size() < group.size()) continue;
    if (std::all_of(keyed.begin(), keyed.end(), [&](const auto& d) { return d.first == keyed.front().first; }))
      continue;
    for (const int k : group) cacheUsed_[static_cast<size_t>(k)] = true;
    std::sort(keyed.begin(), keyed.end());
    Groups parts;
    for (size_t a = 0; a < keyed.size();) {
      Records& part = parts.emplace_back();
      for (const std::uint64_t digest = keyed[a].first; a < keyed.size() && keyed[a].first == digest; ++a)
        part.push_back(keyed[a].second);
    }
    return parts;
  }
  return std::nullopt;
}

bool ComparePass::provedBefore(const Records& records, const Reading& reading) const {
  // Files the cache could not part whose entries all hold the digest of
  // everything the proof reads hold the same digest there: the proof finds
  // them equal, and what it would record is recorded already.
  qint64 length = 0;
  for (const Segment& seg : reading.proved) length += seg.length;
  const CachedRange whole{0, 0, length, reading.sampled ? RangeKind::SampleStream : RangeKind::ProofStream};
  return std::all_of(records.begin(), records.end(), [&](int k) {
    const std::span<const CachedRange> ranges = cache_->ranges(list_.at(k).cacheEntry);
    return std::any_of(ranges.begin(), ranges.end(), [&](const CachedRange& r) { return r.sameBytes(whole); });
  });
}

std::optional<std::uint64_t> ComparePass::cachedDigest(int record, const CachedRange& range) {
  const std::span<const CachedRange> ranges = cache_->ranges(list_.at(record).cacheEntry);
  const auto found =
      std::find_if(ranges.begin(), ranges.end(), [&](const CachedRange& r) { return r.sameBytes(range); });
  if (found == ranges.end()) return std::nullopt;
  cacheUsed_[static_cast<size_t>(record)] = true;
  return found->digest;
}

void ComparePass::recordDigest(int record, RangeKind kind, qint64 offset, qint64 length, std::uint64_t digest) {
  if (!cache_) return;
  const auto stamp = stamps_.find(record);
  if (stamp != stamps_.end()) cache_->record(stamp->second, CachedRange{digest, offset, length, kind}, now_);
}
