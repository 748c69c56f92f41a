// The content cache reader on any bytes: whatever it accepts is used, written
// out again and read back, and what it refuses leaves it empty.
#include "engine/contentcache.h"

#include <QByteArray>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  ContentCache cache;
  if (cache.read(bytes) != ContentCache::Problem::None) {
    if (cache.loadedEntries() != 0) std::abort();
    return 0;
  }
  const int entries = static_cast<int>(cache.loadedEntries());
  if (!cache.ranges(-1).empty() || !cache.ranges(entries).empty()) std::abort();
  for (int e = 0; e < entries; ++e)
    for (const CachedRange& r : cache.ranges(e))
      if (r.offset < 0 || r.length < 0 || cache.ranges(e).size() > ContentCache::kMaxRanges) std::abort();
  // A file recorded under the stamp of no entry, and one entry trusted.
  fs::FileStamp stamp;
  stamp.id = {1, static_cast<std::uint64_t>(size)};
  stamp.size = 1 << 20;
  cache.record(stamp, CachedRange{7, 0, 1024, RangeKind::Bytes}, qint64{1} << 62);
  const QByteArray again = cache.bytes();
  ContentCache reread;
  if (reread.read(again) != ContentCache::Problem::None) std::abort();
  if (reread.loadedEntries() > cache.loadedEntries() + 1) std::abort();
  const int recorded = reread.trusted(stamp);
  if (recorded < 0 || reread.ranges(recorded).empty() || reread.ranges(recorded).front().digest != 7) std::abort();
  return 0;
}
