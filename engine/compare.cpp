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
//               file. Files are opened for a first look only
//               (fs::ReadFile::openListed, without open()'s checks), so what
//               is read here sorts files and never proves anything.
//   first page  firstPage: a crowd, a group too large to be read side by
//               side (over kMaxSideBySide files), is split by a digest of the
//               rest of its first page (up to kProbe), so files that differ
//               early cost no long read. Smaller groups pass: the proof reads
//               their first page first anyway.
//   rest        rest: a crowd still too large is split by a digest of the
//               rest of its files.
//   byte proof  byteProof: the files of each group are opened again, checked
//               (fs::ReadFile::open), and read side by side in chunks
//               (sideBySide): the first page, then the rest, then the bytes
//               of the first look once more. A group splits at the first
//               chunk where its files differ; files that agree to the end and
//               still have their size are copies. A group still too large
//               (many copies of one content) is proved file by file against
//               its first file (SameBytes).
//
// So a file whose beginning occurs once in its run is opened once; a file
// that shares its beginning is opened once more and read to its end, and two
// files are only ever called equal after every byte of both was compared.
// With fast comparison on, files over kFastLimit skip the first look: the
// same stages run on eight sampled blocks instead of the whole content.
//
// The pass lets pending events run (pumpStopped) after each file a digest
// opens, after the files of a side-by-side read are opened and after each
// chunk, and before each later record it reports. A scan may start anew
// inside a pump, so after each one the stop flag is tested and no reference
// into the candidate list is held across it: the stages carry indices.
// Progress texts are made by CompareProgress, from the Phase the pass is in.
#include "engine/compare.h"

#include "engine/bytes.h"
#include "engine/scan.h"
#include "platform/fs.h"

#define XXH_INLINE_ALL
#include <xxhash.h>

#include <algorithm>
#include <cstring>
#include <memory>

namespace {

constexpr qint64 kFirstLook = 1024;        // bytes read of every file of a run
constexpr size_t kMaxSideBySide = 256;     // files read side by side at most
constexpr qint64 kBufferBudget = 16 << 20; // bytes of chunk buffers at most
constexpr qint64 kSampleBlock = 65536;     // one sample of the fast rule
constexpr qint64 kDigestBuffer = 1 << 20;  // bytes hashed at once at most

qint64 ChunkFor(size_t files) {
  qint64 chunk = kBufferBudget / static_cast<qint64>(std::max<size_t>(files, 1));
  chunk = std::clamp<qint64>(chunk, 16 << 10, 1 << 20);
  return chunk & ~qint64(4095);
}

using Digest = std::pair<XXH64_hash_t, XXH64_hash_t>;

// The records of each digest that occurs at least twice.
std::vector<std::vector<int>> GroupsOfEqualDigest(std::vector<std::pair<Digest, int>> keyed) {
  std::sort(keyed.begin(), keyed.end());
  std::vector<std::vector<int>> groups;
  for (size_t a = 0; a < keyed.size();) {
    size_t b = a + 1;
    while (b < keyed.size() && keyed[b].first == keyed[a].first) ++b;
    if (b - a >= 2) {
      std::vector<int>& group = groups.emplace_back();
      for (size_t t = a; t < b; ++t) group.push_back(keyed[t].second);
    }
    a = b;
  }
  return groups;
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

// A file of a side-by-side read.
struct ComparePass::OpenedFile {
  int record;
  fs::ReadFile file;
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
  std::unique_ptr<XXH3_state_t, decltype(&XXH3_freeState)> state{nullptr, XXH3_freeState};
};

ComparePass::ComparePass(CandidateList& list, ScanHost& host, const bool& stopped)
    : list_(list), host_(host), stopped_(stopped), progress_(host) {}

bool ComparePass::pumpStopped() {
  host_.pump();
  return stopped_;
}

// ---------------------------------------------------------------- the pass --

bool ComparePass::run() {
  n_ = list_.count();
  progress_.start(n_);
  readPerRecord_.assign(static_cast<size_t>(n_), 0);
  reported_.assign(static_cast<size_t>(n_), false);
  int first = 0;
  while (first < n_ - 1) {
    if (stopped_) return false;
    const auto [last, next] = runAt(first);
    if (last > first && !reportRun(first, last)) return false;
    first = next;
    progress_.show(Phase::run(first));
  }
  for (int k = 0; k < n_; ++k) {
    const size_t at = static_cast<size_t>(k);
    if (!reported_[at] && readPerRecord_[at] > list_.at(k).size) ++stats_.nonDuplicatesReadTwice;
  }
  return true;
}

std::pair<int, int> ComparePass::runAt(int first) const {
  // The search stops at the first record of another size, or at the list's
  // last record whatever its size: the last record alone is never a run.
  const qint64 size = RecordSize(list_.at(first));
  int last = first, j = first + 1;
  while (RecordSize(list_.at(j)) == size) {
    last = j;
    if (j == n_ - 1) break;
    ++j;
  }
  return {last, j};
}

bool ComparePass::reportRun(int first, int last) {
  // Sorted once per kind of comparison; the option is read for every record.
  Partition content, samples;
  const qint64 size = RecordSize(list_.at(first));
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
    host_.appendFileRow(list_.at(r));
    reported_[static_cast<size_t>(r)] = true;
  }
  host_.appendFileRow(list_.at(k));
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
  const qint64 size = RecordSize(list_.at(first));
  Groups run{freeRecords(first, last)};
  std::optional<Groups> groups = fast ? sampleGroups(std::move(run), size) : contentGroups(std::move(run), size);
  if (!groups) return false;
  out.groups = std::move(*groups);
  for (auto& g : out.groups) std::sort(g.begin(), g.end());
  std::sort(out.groups.begin(), out.groups.end(), [](const auto& a, const auto& b) { return a.front() < b.front(); });
  out.groupOf.assign(static_cast<size_t>(last - first + 1), -1);
  for (size_t g = 0; g < out.groups.size(); ++g)
    for (const int k : out.groups[g]) out.groupOf[static_cast<size_t>(k - first)] = static_cast<int>(g);
  out.ready = true;
  return true;
}

// -------------------------------------------------------------- the stages --

std::optional<ComparePass::Groups> ComparePass::contentGroups(Groups run, qint64 size) {
  Reading reading;
  reading.size = size;
  reading.firstLook = std::min(size, kFirstLook);
  const Segment start{0, reading.firstLook}, rest{reading.firstLook, size - reading.firstLook};
  if (rest.length > 0) reading.sorted.push_back(rest), reading.proved.push_back(rest);
  if (start.length > 0) reading.proved.push_back(start);  // after the first look, proved too

  std::optional<Groups> groups = firstLook(std::move(run), reading);
  if (groups) groups = firstPage(std::move(*groups), reading);
  if (groups) groups = this->rest(std::move(*groups), reading);
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

  std::optional<Groups> groups = firstPage(std::move(run), reading);
  if (groups) groups = this->rest(std::move(*groups), reading);
  if (groups) groups = byteProof(std::move(*groups), reading);
  return groups;
}

std::optional<ComparePass::Groups> ComparePass::firstLook(Groups groups, const Reading& reading) {
  Groups out;
  for (const Records& group : groups) {
    std::optional<Groups> looked =
        groupByDigest(group, {{0, reading.firstLook}}, reading.size, Opening::ForFirstLook);
    if (!looked) return std::nullopt;
    std::move(looked->begin(), looked->end(), std::back_inserter(out));
  }
  return out;
}

std::optional<ComparePass::Groups> ComparePass::firstPage(Groups groups, const Reading& reading) {
  Segments page;
  for (const Segment& seg : reading.sorted) {
    const qint64 inPage = std::clamp<qint64>(kProbe - seg.offset, 0, seg.length);
    if (inPage > 0) page.push_back({seg.offset, inPage});
  }
  return splitCrowds(std::move(groups), page, reading.size);
}

std::optional<ComparePass::Groups> ComparePass::rest(Groups groups, const Reading& reading) {
  Segments later;
  for (const Segment& seg : reading.sorted) {
    const qint64 inPage = std::clamp<qint64>(kProbe - seg.offset, 0, seg.length);
    if (inPage < seg.length) later.push_back({seg.offset + inPage, seg.length - inPage});
  }
  return splitCrowds(std::move(groups), later, reading.size);
}

std::optional<ComparePass::Groups> ComparePass::byteProof(Groups groups, const Reading& reading) {
  if (reading.proved.empty()) return groups;  // empty files: nothing to compare
  Groups out;
  for (Records& group : groups) {
    std::optional<Groups> proved = group.size() <= kMaxSideBySide ? sideBySide(group, reading)
                                                                  : provedAgainstFirst(std::move(group), reading);
    if (!proved) return std::nullopt;
    std::move(proved->begin(), proved->end(), std::back_inserter(out));
  }
  return out;
}

// ------------------------------------------------------- digests of crowds --

std::optional<ComparePass::Groups> ComparePass::splitCrowds(Groups groups, const Segments& segments, qint64 size) {
  if (segments.empty()) return groups;
  Groups out;
  for (Records& group : groups) {
    if (group.size() <= kMaxSideBySide) {
      out.push_back(std::move(group));
      continue;
    }
    std::optional<Groups> split = groupByDigest(group, segments, size, Opening::Checked);
    if (!split) return std::nullopt;
    std::move(split->begin(), split->end(), std::back_inserter(out));
  }
  return out;
}

std::optional<ComparePass::Groups> ComparePass::groupByDigest(const Records& records, const Segments& segments,
                                                              qint64 size, Opening opening) {
  if (records.size() < 2) return Groups{};
  qint64 total = 0;
  for (const Segment& seg : segments) total += seg.length;
  // What fits in the buffer is read whole and hashed at once; more is
  // hashed as it streams through.
  const qint64 capacity = std::clamp<qint64>(total, 1, kDigestBuffer);
  buffer_.resize(static_cast<size_t>(capacity));
  Hash hash;
  if (total > capacity) hash.state.reset(XXH3_createState());
  std::vector<std::pair<Digest, int>> keyed;
  keyed.reserve(records.size());
  for (const int k : records) {
    if (pumpStopped()) return std::nullopt;
    fs::ReadFile file;
    if (!open(file, k, size, opening)) continue;
    if (const std::optional<Digest> d = digestOf(file, k, segments, hash)) keyed.emplace_back(*d, k);
  }
  return GroupsOfEqualDigest(std::move(keyed));
}

std::optional<Digest> ComparePass::digestOf(const fs::ReadFile& file, int record, const Segments& segments,
                                            Hash& hash) {
  // Without a state everything fits in the buffer.
  const qint64 capacity = static_cast<qint64>(buffer_.size());
  XXH3_state_t* state = hash.state.get();
  if (state) XXH3_128bits_reset(state);
  qint64 filled = 0;
  for (const Segment& seg : segments) {
    for (qint64 off = 0; off < seg.length;) {
      const qint64 part = std::min(seg.length - off, capacity - filled);
      if (!readCounted(file, record, seg.offset + off, buffer_.data() + filled, part)) return std::nullopt;
      off += part;
      if (state) {
        XXH3_128bits_update(state, buffer_.data(), static_cast<size_t>(part));
      } else {
        filled += part;
      }
    }
  }
  const XXH128_hash_t d =
      state ? XXH3_128bits_digest(state) : XXH3_128bits(buffer_.data(), static_cast<size_t>(filled));
  return Digest{d.high64, d.low64};
}

// -------------------------------------------------------------- byte proof --

std::optional<ComparePass::Groups> ComparePass::sideBySide(const Records& records, const Reading& reading) {
  std::vector<OpenedFile> files;
  files.reserve(records.size());
  for (const int k : records) {
    fs::ReadFile file;
    if (open(file, k, reading.size, Opening::Checked)) files.push_back({k, std::move(file)});
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
      for (const size_t t : strand.files)
        if (files[t].file.size() == reading.size) same.push_back(files[t].record);
      if (same.size() >= 2) out.push_back(std::move(same));
      return true;
    }
    std::optional<std::vector<std::vector<size_t>>> parts = readChunk(strand, files, segments);
    if (!parts) return false;
    if (parts->empty()) return true;
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
  qint64 chunk = std::min(seg.length - strand.offset, ChunkFor(strand.files.size()));
  if (at < kProbe) chunk = std::min(chunk, kProbe - at);
  buffer_.resize(static_cast<size_t>(chunk) * strand.files.size());
  std::vector<std::pair<size_t, const char*>> read;
  for (size_t t = 0; t < strand.files.size(); ++t) {
    const OpenedFile& f = files[strand.files[t]];
    char* data = buffer_.data() + t * static_cast<size_t>(chunk);
    if (readCounted(f.file, f.record, at, data, chunk)) read.emplace_back(strand.files[t], data);
  }
  if (pumpStopped()) return std::nullopt;
  strand.offset += chunk;
  return SplitByBytes(read, chunk);
}

std::optional<ComparePass::Groups> ComparePass::provedAgainstFirst(Records records, const Reading& reading) {
  // Many copies of one content: each file is compared with the first, and
  // what differs from it is proved the same way among itself.
  Groups out;
  while (records.size() > kMaxSideBySide) {
    const int head = records.front();
    fs::ReadFile first;
    if (!open(first, head, reading.size, Opening::Checked)) {
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
  if (!open(other, record, reading.size, Opening::Checked)) return false;
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
    return false;
  }
  return first.size() == reading.size && other.size() == reading.size;
}

// ------------------------------------------------------------------- files --

bool ComparePass::open(fs::ReadFile& file, int record, qint64 size, Opening opening) {
  const QString& path = list_.at(record).path;
  if (!(opening == Opening::ForFirstLook ? file.openListed(path) : file.open(path, size))) return false;
  ++stats_.filesOpened;
  return true;
}

bool ComparePass::readCounted(const fs::ReadFile& file, int record, qint64 offset, char* data, qint64 length) {
  if (!file.readAt(offset, data, length)) return false;
  countRead(record, length);
  return true;
}

void ComparePass::countRead(int record, qint64 length) {
  stats_.bytesRead += length;
  readPerRecord_[static_cast<size_t>(record)] += length;
}
