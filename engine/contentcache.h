// What earlier scans learnt about the contents of files, kept between scans
// in one file: for each file (device and inode) the stamp it had when it was
// read and digests of the byte ranges that were read.
//
// The comparison uses it only to tell files apart, never to call them equal:
// two files whose digests of the same range differ hold different bytes, so
// neither needs reading to be separated; files it cannot separate are read
// and compared byte for byte as always. An entry is trusted only while the
// walk sees the very stamp it was recorded with (size, last write, last
// change, birth): the change time moves with every write and cannot be set
// back, so a file rewritten with its old modification time is not trusted.
// A damaged, foreign or forged file costs reading time at worst.
#pragma once

#include "platform/fs.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <span>
#include <vector>

// How a recorded digest was made; with the offset and the length (and the
// file's size, the same for every file compared) it names the bytes hashed.
enum class RangeKind : std::uint32_t {
  Bytes = 1,         // the bytes [offset, offset + length), in order
  Content = 2,       // the bytes [offset, offset + length), holes skipped (DigestOfRange)
  ProofStream = 3,   // the first `length` bytes the byte proof reads, in its order
  SampleStream = 4,  // the same for the sampled blocks of the fast rule
  SampleRest = 5,    // the sampled blocks past the first page, holes skipped
};

struct CachedRange {
  std::uint64_t digest = 0;  // the low 64 bits of XXH3-128
  qint64 offset = 0;
  qint64 length = 0;
  RangeKind kind = RangeKind::Bytes;
  bool sameBytes(const CachedRange& o) const { return kind == o.kind && offset == o.offset && length == o.length; }
};

class ContentCache {
 public:
  // Why a cache file was not used; a missing file is no problem.
  enum class Problem { None, Unreadable, NotACache, OtherVersion, Damaged, OtherOwner };

  // Files are not recorded while their last write or change is this recent
  // (nanoseconds): a write in the same tick of the file system's clock
  // would leave the stamp as it was.
  static constexpr qint64 kRecentNs = 3'000'000'000LL;
  // Entries unused for this many scans are dropped when the file is written.
  static constexpr std::uint32_t kMaxAge = 20;
  // The file keeps at most this many entries (the most recently used), and
  // at most this many ranges for one file.
  static constexpr size_t kMaxEntries = 4'000'000;
  static constexpr size_t kMaxRanges = 16;

  // Reads the cache file at `path`; on any problem it is ignored whole and
  // the cache starts empty.
  Problem load(const QString& path);
  // The same for the bytes of a cache file.
  Problem read(const QByteArray& bytes);
  // The file's contents after this scan: what the scan recorded, the entries
  // it trusted, and the others until they are too old, newest first within
  // the cap.
  QByteArray bytes() const;
  // Writes bytes() through a temporary file renamed over `path` (as a saved
  // list is written), making the folder of the default path when missing;
  // false (with the reason) when that fails.
  bool save(const QString& path, QString* error) const;

  // The loaded entry recorded for `stamp` that may be trusted, or -1. An
  // entry found for the file but with another stamp is stale: it is dropped
  // when the file is written.
  int trusted(const fs::FileStamp& stamp);
  // The ranges recorded for entry `entry` (from trusted()).
  std::span<const CachedRange> ranges(int entry) const;
  // Records the digest of a range read from the file of `stamp` (taken from
  // the descriptor it was read through) at `now` (nanoseconds since the epoch).
  void record(const fs::FileStamp& stamp, const CachedRange& range, qint64 now);
  size_t loadedEntries() const { return entries_.size(); }

 private:
  struct Entry {
    fs::FileStamp stamp;
    std::uint32_t lastScan = 0;
    std::uint32_t first = 0;  // index of its first range
    std::uint32_t count = 0;
  };
  enum class Seen : std::uint8_t { No, Trusted, Stale };
  // One digest read this scan, under the stamp of the descriptor read.
  struct Recorded {
    fs::FileStamp stamp;
    CachedRange range;
  };
  int find(const fs::FileId& id) const;
  // The ranges recorded at `recorded` (indices into recorded_, in the order
  // recorded: a later digest of the same bytes replaces an earlier one), then
  // those of the loaded entry `loaded` (-1: none) of other bytes, within the cap.
  void mergedRanges(int loaded, std::span<const std::uint32_t> recorded, std::vector<CachedRange>& out) const;

  std::uint32_t scans_ = 0;  // scans that wrote the file before this one
  std::vector<Entry> entries_;
  std::vector<CachedRange> ranges_;
  std::vector<Seen> seen_;
  std::vector<Recorded> recorded_;
};

// For tests: kRecentNs, or what a test puts in its place.
extern qint64 g_contentCacheRecentNs;

// The cache file of the current user: contents.cache in the program's cache
// folder.
QString DefaultContentCachePath();
