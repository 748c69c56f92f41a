// The cache file: a header, the entries sorted by device and inode, then the
// ranges of every entry, all numbers little-endian:
//
//   header  "ZRVKCACH", version (u32), scans written (u32), entries (u64),
//           ranges (u64)                                         32 bytes
//   entry   device, inode (u64), size, last write, last change, birth
//           (i64, ns), last scan used, first range, ranges (u32), 0   64 bytes
//   range   digest (u64), offset, length (i64), kind (u32), 0       32 bytes
//
// Everything is checked before anything is used: the sizes add up to the
// file's, every entry's ranges lie in the range area, entries are in
// strictly ascending order, ranges lie within their file. Anything else and
// the whole file is ignored.
#include "engine/contentcache.h"

#include <QFileInfo>
#include <QStandardPaths>
#include <QtEndian>

#include <cerrno>

#include <algorithm>
#include <cstring>
#include <functional>
#include <numeric>
#include <tuple>

qint64 g_contentCacheRecentNs = ContentCache::kRecentNs;

namespace {

constexpr char kMagic[8] = {'Z', 'R', 'V', 'K', 'C', 'A', 'C', 'H'};
constexpr std::uint32_t kVersion = 1;
constexpr qsizetype kHeaderSize = 32, kEntrySize = 64, kRangeSize = 32;
// A file larger than this is not read (it cannot have been written by the cap).
constexpr qint64 kMaxFileSize =
    kHeaderSize + qint64{ContentCache::kMaxEntries} * (kEntrySize + kRangeSize * qint64{ContentCache::kMaxRanges});

template <class T>
T Get(const char* at) {
  return qFromLittleEndian<T>(at);
}
template <class T>
void Put(QByteArray& out, T value) {
  char bytes[sizeof(T)];
  qToLittleEndian<T>(value, bytes);
  out.append(bytes, sizeof(T));
}

bool Before(const fs::FileId& a, const fs::FileId& b) {
  return std::tie(a.device, a.inode) < std::tie(b.device, b.inode);
}

bool Plausible(const CachedRange& r, qint64 size) {
  if (r.offset < 0 || r.length < 0 || r.offset > size || r.length > size) return false;
  switch (r.kind) {
    case RangeKind::Bytes:
    case RangeKind::Content:
      return r.length <= size - r.offset;
    case RangeKind::ProofStream:
    case RangeKind::SampleStream:
    case RangeKind::SampleRest:
      return r.offset == 0;
  }
  return false;
}

}  // namespace

ContentCache::Problem ContentCache::load(const QString& path) {
  // Its folder is resolved under the path rules, the file itself opened
  // without following a link or waiting on a FIFO; a file of another user
  // is not read (it could only hide copies, but it is not the user's own).
  const QFileInfo info(path);
  int error = 0;
  const QString folder = fs::RealFolderPath(info.absolutePath(), &error);
  fs::ReadFile file;
  if (folder.isEmpty() || !file.open(folder + fs::kSeparator + info.fileName(), -1, &error))
    return error == ENOENT ? Problem::None : Problem::Unreadable;
  if (!file.ownedByUser()) return Problem::OtherOwner;
  const qint64 size = file.size();
  if (size > kMaxFileSize) return Problem::Damaged;
  QByteArray bytes(size, Qt::Uninitialized);
  if (!file.readAt(0, bytes.data(), size)) return Problem::Unreadable;
  return read(bytes);
}

ContentCache::Problem ContentCache::read(const QByteArray& bytes) {
  entries_.clear(), ranges_.clear(), seen_.clear(), scans_ = 0;
  const qint64 size = bytes.size();
  const char* data = bytes.constData();
  if (size < qint64{sizeof kMagic} || std::memcmp(data, kMagic, sizeof kMagic) != 0) return Problem::NotACache;
  if (size < kHeaderSize) return Problem::Damaged;
  if (Get<std::uint32_t>(data + 8) != kVersion) return Problem::OtherVersion;
  const std::uint64_t entries = Get<std::uint64_t>(data + 16), ranges = Get<std::uint64_t>(data + 24);
  if (entries > kMaxEntries || ranges > entries * kMaxRanges ||
      static_cast<std::uint64_t>(size) != kHeaderSize + entries * kEntrySize + ranges * kRangeSize)
    return Problem::Damaged;
  const std::uint32_t scans = Get<std::uint32_t>(data + 12);

  std::vector<CachedRange> readRanges(ranges);
  const char* at = data + kHeaderSize + entries * kEntrySize;
  for (CachedRange& r : readRanges) {
    r.digest = Get<std::uint64_t>(at);
    r.offset = Get<qint64>(at + 8);
    r.length = Get<qint64>(at + 16);
    r.kind = static_cast<RangeKind>(Get<std::uint32_t>(at + 24));
    at += kRangeSize;
  }
  std::vector<Entry> readEntries(entries);
  at = data + kHeaderSize;
  for (size_t i = 0; i < readEntries.size(); ++i, at += kEntrySize) {
    Entry& e = readEntries[i];
    e.stamp.id = {Get<std::uint64_t>(at), Get<std::uint64_t>(at + 8)};
    e.stamp.size = Get<qint64>(at + 16);
    e.stamp.mtimeNs = Get<qint64>(at + 24);
    e.stamp.ctimeNs = Get<qint64>(at + 32);
    e.stamp.birthNs = Get<qint64>(at + 40);
    e.lastScan = Get<std::uint32_t>(at + 48);
    e.first = Get<std::uint32_t>(at + 52);
    e.count = Get<std::uint32_t>(at + 56);
    if (e.stamp.size < 0 || e.lastScan > scans || e.count > kMaxRanges || std::uint64_t{e.first} + e.count > ranges)
      return Problem::Damaged;
    if (i > 0 && !Before(readEntries[i - 1].stamp.id, e.stamp.id)) return Problem::Damaged;
    for (std::uint32_t k = e.first; k < e.first + e.count; ++k)
      if (!Plausible(readRanges[k], e.stamp.size)) return Problem::Damaged;
  }
  scans_ = scans;
  entries_ = std::move(readEntries);
  ranges_ = std::move(readRanges);
  seen_.assign(entries_.size(), Seen::No);
  return Problem::None;
}

int ContentCache::find(const fs::FileId& id) const {
  const auto it = std::lower_bound(entries_.begin(), entries_.end(), id,
                                   [](const Entry& e, const fs::FileId& key) { return Before(e.stamp.id, key); });
  return it != entries_.end() && it->stamp.id == id ? static_cast<int>(it - entries_.begin()) : -1;
}

int ContentCache::trusted(const fs::FileStamp& stamp) {
  const int e = find(stamp.id);
  if (e < 0) return -1;
  const bool same = entries_[static_cast<size_t>(e)].stamp == stamp;
  Seen& seen = seen_[static_cast<size_t>(e)];
  if (!same || seen == Seen::Stale) {
    seen = Seen::Stale;
    return -1;
  }
  seen = Seen::Trusted;
  return e;
}

std::span<const CachedRange> ContentCache::ranges(int entry) const {
  if (entry < 0 || static_cast<size_t>(entry) >= entries_.size()) return {};
  const Entry& e = entries_[static_cast<size_t>(entry)];
  return std::span<const CachedRange>(ranges_).subspan(e.first, e.count);
}

void ContentCache::record(const fs::FileStamp& stamp, const CachedRange& range, qint64 now) {
  // A write in the same tick of the file system's clock as this read would
  // leave the stamp as it is: a file written so recently is not recorded.
  if (stamp.ctimeNs > now - g_contentCacheRecentNs || stamp.mtimeNs > now - g_contentCacheRecentNs) return;
  recorded_.push_back({stamp, range});
}

namespace {

// One entry as it is written: its ranges are what this scan recorded
// (`recorded`), then those of the loaded entry `loaded` (when it is of the
// same state of the file) that the recorded ones do not cover.
struct Written {
  const fs::FileStamp* stamp;
  std::uint32_t lastScan;
  int loaded;                               // -1: none
  std::span<const std::uint32_t> recorded;  // empty: the loaded entry's alone
  std::uint32_t count = 0;                  // its ranges, once counted
};

using RangesOf = std::function<void(const Written&, std::vector<CachedRange>&)>;

QByteArray Serialized(std::vector<Written>& out, std::uint32_t scan, const RangesOf& rangesOf) {
  std::vector<CachedRange> ranges;
  size_t rangeCount = 0;
  for (Written& w : out) {
    rangesOf(w, ranges);
    w.count = static_cast<std::uint32_t>(ranges.size());
    rangeCount += w.count;
  }
  QByteArray bytes(kMagic, sizeof kMagic);
  bytes.reserve(kHeaderSize + static_cast<qsizetype>(out.size() * kEntrySize + rangeCount * kRangeSize));
  Put<std::uint32_t>(bytes, kVersion);
  Put<std::uint32_t>(bytes, scan);
  Put<std::uint64_t>(bytes, out.size());
  Put<std::uint64_t>(bytes, rangeCount);
  std::uint32_t first = 0;
  for (const Written& w : out) {
    const fs::FileStamp& stamp = *w.stamp;
    Put<std::uint64_t>(bytes, stamp.id.device);
    Put<std::uint64_t>(bytes, stamp.id.inode);
    for (const qint64 v : {stamp.size, stamp.mtimeNs, stamp.ctimeNs, stamp.birthNs}) Put<qint64>(bytes, v);
    for (const std::uint32_t v : {w.lastScan, first, w.count, 0u}) Put<std::uint32_t>(bytes, v);
    first += w.count;
  }
  for (const Written& w : out) {
    rangesOf(w, ranges);
    for (const CachedRange& r : ranges) {
      Put<std::uint64_t>(bytes, r.digest);
      Put<qint64>(bytes, r.offset);
      Put<qint64>(bytes, r.length);
      Put<std::uint32_t>(bytes, static_cast<std::uint32_t>(r.kind));
      Put<std::uint32_t>(bytes, 0);
    }
  }
  return bytes;
}

}  // namespace

QByteArray ContentCache::bytes() const {
  // The count stops at its largest value rather than start again from 0.
  const std::uint32_t scan = scans_ == UINT32_MAX ? scans_ : scans_ + 1;
  // What this scan recorded, by file: [first, last) of `order`.
  std::vector<std::uint32_t> order(recorded_.size());
  std::iota(order.begin(), order.end(), 0u);
  std::stable_sort(order.begin(), order.end(), [this](std::uint32_t a, std::uint32_t b) {
    return Before(recorded_[a].stamp.id, recorded_[b].stamp.id);
  });
  struct File {
    fs::FileId id;
    size_t first, last;
  };
  std::vector<File> files;
  for (size_t a = 0, b = 0; a < order.size(); a = b) {
    const fs::FileId& id = recorded_[order[a]].stamp.id;
    for (b = a + 1; b < order.size() && recorded_[order[b]].stamp.id == id;) ++b;
    files.push_back({id, a, b});
  }
  const auto recordedNow = [&](const fs::FileId& id) {
    const auto at = std::lower_bound(files.begin(), files.end(), id,
                                     [](const File& f, const fs::FileId& key) { return Before(f.id, key); });
    return at != files.end() && at->id == id;
  };

  std::vector<Written> out;
  for (size_t i = 0; i < entries_.size(); ++i) {
    const Entry& e = entries_[i];
    if (seen_[i] == Seen::Stale || recordedNow(e.stamp.id)) continue;
    if (seen_[i] == Seen::No && scan - e.lastScan > kMaxAge) continue;
    out.push_back({&e.stamp, seen_[i] == Seen::Trusted ? scan : e.lastScan, static_cast<int>(i), {}});
  }
  for (const auto& [id, first, last] : files) {
    const fs::FileStamp& stamp = recorded_[order[first]].stamp;
    // A file read under two stamps changed during the scan: nothing of it is kept.
    if (std::any_of(order.begin() + first, order.begin() + last,
                    [&](std::uint32_t k) { return !(recorded_[k].stamp == stamp); }))
      continue;
    // What an earlier scan recorded of the same state of the file is kept
    // beside what this one read.
    const int e = find(stamp.id);
    const bool same = e >= 0 && entries_[static_cast<size_t>(e)].stamp == stamp;
    out.push_back({&stamp, scan, same ? e : -1, std::span<const std::uint32_t>(order).subspan(first, last - first)});
  }
  if (out.size() > kMaxEntries) {
    std::stable_sort(out.begin(), out.end(),
                     [](const Written& a, const Written& b) { return a.lastScan > b.lastScan; });
    out.resize(kMaxEntries);
  }
  std::sort(out.begin(), out.end(),
            [](const Written& a, const Written& b) { return Before(a.stamp->id, b.stamp->id); });
  return Serialized(out, scan, [this](const Written& w, std::vector<CachedRange>& ranges) {
    mergedRanges(w.loaded, w.recorded, ranges);
  });
}

void ContentCache::mergedRanges(int loaded, std::span<const std::uint32_t> recorded,
                                std::vector<CachedRange>& out) const {
  out.clear();
  const auto add = [&](const CachedRange& r, bool replace) {
    const auto same = std::find_if(out.begin(), out.end(), [&](const CachedRange& o) { return o.sameBytes(r); });
    if (same != out.end()) {
      if (replace) *same = r;
    } else if (out.size() < kMaxRanges) {
      out.push_back(r);
    }
  };
  for (const std::uint32_t k : recorded) add(recorded_[k].range, true);
  for (const CachedRange& r : ranges(loaded)) add(r, false);
}

bool ContentCache::save(const QString& path, QString* error) const {
  // Written as a saved list is, under the same path rules; only the user's
  // own cache folder is made when missing.
  int code = 0;
  if (path == DefaultContentCachePath()) fs::MakePath(QFileInfo(path).absolutePath());
  if (fs::WriteOutput(path, bytes(), &code)) return true;
  *error = fs::ErrorText(code);
  return false;
}

QString DefaultContentCachePath() {
  // The window's cache folder (organization and program name), the same
  // for zorvik-cli, which sets neither.
  return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
         QStringLiteral("/Zorvik-Soft/zorvik/contents.cache");
}
