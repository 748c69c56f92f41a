// How the comparison reads files: the digests that split crowds, the
// side-by-side reads of the byte proof, and the files they open. The order
// of the stages is told at the top of compare.cpp.
#include "engine/compare.h"

#include "engine/bytes.h"
#include "engine/scan.h"
#include "platform/fs.h"

#define XXH_INLINE_ALL
#include <xxhash.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <utility>

namespace {

constexpr qint64 kBufferBudget = 16 << 20;  // bytes of chunk buffers at most
constexpr qint64 kDigestBuffer = 1 << 20;   // bytes hashed at once at most

qint64 ChunkFor(size_t files) {
  qint64 chunk = kBufferBudget / static_cast<qint64>(std::max<size_t>(files, 1));
  chunk = std::clamp<qint64>(chunk, 16 << 10, 1 << 20);
  return chunk & ~qint64(4095);
}

// The chunks read side by side (file, bytes), in groups of equal bytes, in
// the order of their first files.
std::vector<std::vector<size_t>> SplitByBytes(const std::vector<std::pair<size_t, const char*>>& read, qint64 chunk) {
  std::vector<std::vector<size_t>> groups;
  std::vector<const char*> firsts;
  for (const auto& [file, data] : read) {
    size_t g = 0;
    while (g < groups.size() && std::memcmp(firsts[g], data, static_cast<size_t>(chunk)) != 0) ++g;
    if (g == groups.size()) {
      groups.emplace_back();
      firsts.push_back(data);
    }
    groups[g].push_back(file);
  }
  return groups;
}

}  // namespace

template <class Key>
ComparePass::Groups ComparePass::GroupsOfEqualKey(std::vector<std::pair<Key, int>> keyed) {
  std::sort(keyed.begin(), keyed.end());
  Groups groups;
  for (size_t a = 0; a < keyed.size();) {
    size_t b = a + 1;
    while (b < keyed.size() && keyed[b].first == keyed[a].first) ++b;
    if (b - a >= 2) {
      Records& group = groups.emplace_back();
      for (size_t t = a; t < b; ++t) group.push_back(keyed[t].second);
    }
    a = b;
  }
  return groups;
}
template ComparePass::Groups ComparePass::GroupsOfEqualKey(std::vector<std::pair<Digest, int>>);

// A file of a side-by-side read.
struct ComparePass::OpenedFile {
  int record;
  fs::ReadFile file;
  bool holes;  // it may have holes
  // For the content cache: the digest of what the proof has read of it so
  // far, in its order; none once a stretch was passed unread.
  mutable std::unique_ptr<XXH3_state_t, decltype(&XXH3_freeState)> stream{nullptr, XXH3_freeState};
};

// Files (indices into the opened files) that agreed up to a point: the next
// chunk is read at `offset` within segment `segment`.
struct ComparePass::Strand {
  std::vector<size_t> files;
  size_t segment = 0;
  qint64 offset = 0;
};

// The state of a digest that streams through the buffer, or none when the
// bytes hashed fit in it.
struct ComparePass::Hash {
  // The state, made when first needed and reset.
  XXH3_state_t* streaming() {
    if (!state) state.reset(XXH3_createState());
    XXH3_128bits_reset(state.get());
    return state.get();
  }
  std::unique_ptr<XXH3_state_t, decltype(&XXH3_freeState)> state{nullptr, XXH3_freeState};
};
// ------------------------------------------------------- digests of crowds --

std::optional<ComparePass::Groups> ComparePass::groupByDigest(const Records& records, const Segments& segments,
                                                              qint64 size) {
  if (records.size() < 2) return Groups{};
  Hash hash;
  std::vector<std::pair<Digest, int>> keyed;
  keyed.reserve(records.size());
  // With the content cache, a trusted digest of the bytes stands in for
  // reading them, and what is read is recorded; both by their 64 bits.
  const bool cached = cache_ && size > 0 && segments.size() == 1;
  const CachedRange range{0, segments.front().offset, segments.front().length, RangeKind::Bytes};
  for (const int k : records) {
    if (const std::optional<std::uint64_t> c = cached ? cachedDigest(k, range) : std::nullopt) {
      keyed.emplace_back(Digest{0, *c}, k);
      continue;
    }
    if (pumpStopped()) return std::nullopt;
    std::optional<Digest> d;
    const Ahead ahead = takeLook(k, segments, size, d);
    if (ahead == Ahead::Stopped) return std::nullopt;
    if (ahead == Ahead::Missed) {
      fs::ReadFile file;
      if (!open(file, k, size)) continue;
      d = digestOf(file, k, segments, hash);
    }
    if (!d) continue;
    if (cached) recordDigest(k, range.kind, range.offset, range.length, d->second);
    keyed.emplace_back(cached ? Digest{0, d->second} : *d, k);
  }
  return GroupsOfEqualKey(std::move(keyed));
}

std::optional<ComparePass::Groups> ComparePass::groupByPageAndRest(const Records& records, const Segments& page,
                                                                   const Segments& later, qint64 size) {
  // Each file is opened once: its first page is hashed, and its rest in the
  // same opening when an earlier file had that first page. The first file
  // of a page is opened again for its rest when a second one comes, so a
  // file whose first page occurs once in the crowd costs no long read.
  // The rest is hashed by its content alone, so a hole and written zeros
  // give the same digest, and holes are not read.
  if (records.size() < 2) return Groups{};
  Hash hash;
  std::map<Digest, int> restUnread;  // a first page seen: its first file, -1 once its rest is read
  std::vector<std::pair<std::pair<Digest, Digest>, int>> keyed;
  for (const int k : records) {
    if (pumpStopped()) return std::nullopt;
    fs::ReadFile file;
    if (!open(file, k, size)) continue;
    const std::optional<Digest> p = digestOf(file, k, page, hash);
    if (!p) continue;
    if (page.size() == 1) recordDigest(k, RangeKind::Bytes, page.front().offset, page.front().length, p->second);
    const auto [seen, isNew] = restUnread.try_emplace(*p, k);
    if (isNew) continue;
    if (const int first = std::exchange(seen->second, -1); first >= 0) {
      fs::ReadFile again;
      if (const std::optional<Digest> r = restDigest(again, first, later, size)) keyed.push_back({{*p, *r}, first});
      if (!run_.running()) return std::nullopt;
    }
    if (const std::optional<Digest> r = restDigest(file, k, later, size)) keyed.push_back({{*p, *r}, k});
    if (!run_.running()) return std::nullopt;
  }
  return GroupsOfEqualKey(std::move(keyed));
}

std::optional<ComparePass::Digest> ComparePass::restDigest(fs::ReadFile& file, int record, const Segments& later,
                                                           qint64 size) {
  if (later.empty()) return Digest{};
  if (!file.isOpen() && !open(file, record, size)) return std::nullopt;
  bool stop = false;
  const ChunkRead counted = [&](qint64 bytes) {
    countRead(record, bytes);
    stop = pumpStopped();
    return !stop;
  };
  std::vector<Digest> digests;
  for (const Segment& seg : later) {
    const std::optional<ContentDigest> d = DigestOfRange(file, seg.offset, seg.length, counted);
    if (!d) {
      if (!stop) leftOut(record, errno == 0 ? Gap::FileChanged : Gap::FileUnreadable, errno);
      return std::nullopt;
    }
    digests.push_back(*d);
  }
  if (digests.size() == 1) {
    recordDigest(record, RangeKind::Content, later.front().offset, later.front().length, digests.front().second);
    return digests.front();
  }
  const XXH128_hash_t d = XXH3_128bits(digests.data(), digests.size() * sizeof(Digest));
  recordDigest(record, RangeKind::SampleRest, 0, 0, d.low64);
  return Digest{d.high64, d.low64};
}

std::optional<ComparePass::Digest> ComparePass::digestOf(const fs::ReadFile& file, int record, const Segments& segments,
                                                         Hash& hash) {
  // What fits in the buffer is read whole and hashed at once; more is
  // hashed as it streams through.
  qint64 total = 0;
  for (const Segment& seg : segments) total += seg.length;
  const qint64 capacity = std::clamp<qint64>(total, 1, kDigestBuffer);
  char* const buffer = bufferOf(capacity);
  XXH3_state_t* state = total > capacity ? hash.streaming() : nullptr;
  qint64 filled = 0;
  for (const Segment& seg : segments) {
    for (qint64 off = 0; off < seg.length;) {
      const qint64 part = std::min(seg.length - off, capacity - filled);
      if (!readCounted(file, record, seg.offset + off, buffer + filled, part)) return std::nullopt;
      off += part;
      if (state) {
        XXH3_128bits_update(state, buffer, static_cast<size_t>(part));
      } else {
        filled += part;
      }
    }
  }
  const XXH128_hash_t d = state ? XXH3_128bits_digest(state) : XXH3_128bits(buffer, static_cast<size_t>(filled));
  return Digest{d.high64, d.low64};
}

// -------------------------------------------------------------- byte proof --

std::optional<ComparePass::Groups> ComparePass::sideBySide(const Records& records, const Reading& reading) {
  std::vector<OpenedFile> files;
  files.reserve(records.size());
  bool outOfDescriptors = false;
  const bool recording = cache_ && reading.size > 0 && !provedBefore(records, reading);
  for (const int k : records) {
    fs::ReadFile file;
    // Short of descriptors, fewer files are read side by side from now on,
    // down to two; then a file that cannot be opened is counted as a gap.
    if (open(file, k, reading.size, maxSideBySide_ > 2 ? &outOfDescriptors : nullptr)) {
      const bool holes = file.mayHaveHoles();
      OpenedFile& f = files.emplace_back(OpenedFile{k, std::move(file), holes});
      if (recording) {
        f.stream.reset(XXH3_createState());
        if (f.stream) XXH3_128bits_reset(f.stream.get());
      }
    } else if (outOfDescriptors) {
      maxSideBySide_ = std::max<size_t>(files.size() / 2, 2);
      files.clear();
      return records.size() > maxSideBySide_ ? provedAgainstFirst(records, reading) : sideBySide(records, reading);
    }
  }
  if (pumpStopped()) return std::nullopt;
  Groups out;
  if (files.size() < 2) return out;
  std::vector<Strand> pending(1);
  for (size_t t = 0; t < files.size(); ++t) pending.front().files.push_back(t);
  while (!pending.empty()) {
    Strand strand = std::move(pending.back());
    pending.pop_back();
    if (!follow(std::move(strand), files, reading, pending, out)) return std::nullopt;
  }
  return out;
}

bool ComparePass::AtEnd(Strand& strand, const Segments& segments) {
  while (strand.segment < segments.size() && strand.offset >= segments[strand.segment].length) {
    ++strand.segment;
    strand.offset = 0;
  }
  return strand.segment == segments.size();
}

bool ComparePass::follow(Strand strand, const std::vector<OpenedFile>& files, const Reading& reading,
                         std::vector<Strand>& pending, Groups& out) {
  // Reads the strand chunk by chunk; files that part from the first go on
  // as strands of their own (pending), from where they parted.
  const Segments& segments = reading.proved;
  while (strand.files.size() >= 2) {
    if (AtEnd(strand, segments)) {
      // Equal to the end; a file that grew or shrank meanwhile is no copy.
      Records same;
      for (const size_t t : strand.files) {
        if (files[t].file.size() == reading.size) {
          recordStream(files[t], reading, StreamPosition(strand, segments));
          same.push_back(files[t].record);
        } else {
          leftOut(files[t].record, Gap::FileChanged);
        }
      }
      if (same.size() >= 2) out.push_back(std::move(same));
      return true;
    }
    std::optional<std::vector<std::vector<size_t>>> parts = readChunk(strand, files, segments);
    if (!parts) return false;
    if (parts->empty()) return true;
    // Where files part, what each read so far is recorded: the next scan
    // parts them by it without a read.
    if (parts->size() > 1) recordParts(*parts, files, reading, StreamPosition(strand, segments));
    for (size_t g = 1; g < parts->size(); ++g)
      if ((*parts)[g].size() >= 2) pending.push_back({std::move((*parts)[g]), strand.segment, strand.offset});
    strand.files = std::move(parts->front());
  }
  return true;
}

std::optional<std::vector<std::vector<size_t>>> ComparePass::readChunk(Strand& strand,
                                                                       const std::vector<OpenedFile>& files,
                                                                       const Segments& segments) {
  const Segment& seg = segments[strand.segment];
  const qint64 at = seg.offset + strand.offset;
  if (std::all_of(strand.files.begin(), strand.files.end(), [&](size_t t) { return files[t].holes; })) {
    // Up to the first data of any of the files, all of them hold zeros:
    // the stretch is not read.
    qint64 data = seg.offset + seg.length;
    for (const size_t t : strand.files) data = std::min(data, files[t].file.dataFrom(at));
    if (data > at) {
      for (const size_t t : strand.files) files[t].stream.reset();
      strand.offset = data - seg.offset;
      return std::vector<std::vector<size_t>>{strand.files};
    }
  }
  qint64 chunk = std::min(seg.length - strand.offset, ChunkFor(strand.files.size()));
  if (at < kProbe) chunk = std::min(chunk, kProbe - at);
  char* const buffer = bufferOf(chunk * static_cast<qint64>(strand.files.size()));
  std::vector<std::pair<size_t, const char*>> read;
  for (size_t t = 0; t < strand.files.size(); ++t) {
    const OpenedFile& f = files[strand.files[t]];
    char* data = buffer + t * static_cast<size_t>(chunk);
    if (!readCounted(f.file, f.record, at, data, chunk)) continue;
    read.emplace_back(strand.files[t], data);
    if (f.stream) XXH3_128bits_update(f.stream.get(), data, static_cast<size_t>(chunk));
  }
  if (pumpStopped()) return std::nullopt;
  strand.offset += chunk;
  return SplitByBytes(read, chunk);
}

std::optional<ComparePass::Groups> ComparePass::provedAgainstFirst(Records records, const Reading& reading) {
  // Many copies of one content: each file is compared with the first, and
  // what differs from it is proved the same way among itself.
  Groups out;
  while (records.size() > maxSideBySide_) {
    const int head = records.front();
    fs::ReadFile first;
    if (!open(first, head, reading.size)) {
      records.erase(records.begin());
      continue;
    }
    Records same{head}, others;
    for (size_t t = 1; t < records.size(); ++t) {
      const std::optional<bool> equal = sameAsFirst(first, head, records[t], reading);
      if (!equal) return std::nullopt;
      (*equal ? same : others).push_back(records[t]);
    }
    if (same.size() >= 2) out.push_back(std::move(same));
    records = std::move(others);
  }
  if (records.size() < 2) return out;
  std::optional<Groups> proved = sideBySide(records, reading);
  if (!proved) return std::nullopt;
  std::move(proved->begin(), proved->end(), std::back_inserter(out));
  return out;
}

std::optional<bool> ComparePass::sameAsFirst(const fs::ReadFile& first, int head, int record, const Reading& reading) {
  if (pumpStopped()) return std::nullopt;
  fs::ReadFile other;
  if (!open(other, record, reading.size)) return false;
  bool stopped = false;
  const ChunkRead counted = [&](qint64 bytes) {
    countRead(head, bytes);
    countRead(record, bytes);
    stopped = pumpStopped();
    return !stopped;
  };
  for (const Segment& seg : reading.proved) {
    if (SameBytes(first, other, seg.offset, seg.length, counted, ChunkFor(2))) continue;
    if (stopped) return std::nullopt;
    if (other.size() != reading.size) leftOut(record, Gap::FileChanged);
    return false;
  }
  // Equal to the end; a file that grew or shrank meanwhile is no copy.
  const bool firstWhole = first.size() == reading.size, otherWhole = other.size() == reading.size;
  if (!firstWhole) leftOut(head, Gap::FileChanged);
  if (!otherWhole) leftOut(record, Gap::FileChanged);
  return firstWhole && otherWhole;
}

qint64 ComparePass::StreamPosition(const Strand& strand, const Segments& segments) {
  qint64 position = strand.offset;
  for (size_t s = 0; s < strand.segment && s < segments.size(); ++s) position += segments[s].length;
  return position;
}

void ComparePass::recordParts(const std::vector<std::vector<size_t>>& parts, const std::vector<OpenedFile>& files,
                              const Reading& reading, qint64 position) {
  for (const std::vector<size_t>& part : parts)
    for (const size_t t : part) recordStream(files[t], reading, position);
}

void ComparePass::recordStream(const OpenedFile& file, const Reading& reading, qint64 position) {
  if (!file.stream || position <= 0) return;
  const XXH128_hash_t d = XXH3_128bits_digest(file.stream.get());
  recordDigest(file.record, reading.sampled ? RangeKind::SampleStream : RangeKind::ProofStream, 0, position, d.low64);
}

// ------------------------------------------------------------------- files --

bool ComparePass::open(fs::ReadFile& file, int record, qint64 size, bool* outOfDescriptors) {
  int error = 0;
  fs::FileStamp stamp;
  const bool opened = file.open(list_.path(record), size, &error);
  return countOpen(record, opened ? 0 : error, opened && file.stamp(&stamp) ? &stamp : nullptr, outOfDescriptors);
}

bool ComparePass::countOpen(int record, int error, const fs::FileStamp* stamp, bool* outOfDescriptors) {
  if (error == 0) {
    ++stats_.filesOpened;
    // What is read through this descriptor is recorded under the stamp it
    // gave when opened, before any read: a file swapped since the walk is
    // recorded as what it is.
    if (cache_ && stamp) {
      stamps_[record] = *stamp;
    } else {
      stamps_.erase(record);
    }
    return true;
  }
  if (outOfDescriptors && (error == EMFILE || error == ENFILE)) {
    *outOfDescriptors = true;
  } else if (error == fs::kChanged || error == fs::kNotRegular || error == EISDIR || error == ENOENT) {
    leftOut(record, Gap::FileChanged);  // grown, shrunk, replaced or gone since the walk
  } else {
    leftOut(record, Gap::FileNotOpened, error);
  }
  return false;
}

bool ComparePass::readCounted(const fs::ReadFile& file, int record, qint64 offset, char* data, qint64 length) {
  if (!file.readAt(offset, data, length)) {
    leftOut(record, errno == 0 ? Gap::FileChanged : Gap::FileUnreadable, errno);
    return false;
  }
  countRead(record, length);
  return true;
}

void ComparePass::leftOut(int record, Gap gap, int error) {
  const size_t at = static_cast<size_t>(record);
  if (leftOut_[at]) return;
  leftOut_[at] = true;
  gaps_.add(gap, gap == Gap::FileChanged ? 0 : error);
}

char* ComparePass::bufferOf(qint64 bytes) {
  // It only grows (to kBufferBudget at most): growing it again after each
  // smaller chunk would fill it with zeros each time.
  if (buffer_.size() < static_cast<size_t>(bytes)) buffer_.resize(static_cast<size_t>(bytes));
  return buffer_.data();
}

void ComparePass::countRead(int record, qint64 length) {
  stats_.bytesRead += length;
  readPerRecord_[static_cast<size_t>(record)] += length;
}
