#include "engine/compare.h"

#include "engine/scan.h"
#include "platform/fs.h"

#define XXH_INLINE_ALL
#include <xxhash.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

namespace {

constexpr qint64 kFirstLook = 1024;        // bytes read of every file of a run
constexpr qint64 kProbe = 4096;            // a read that starts below this ends at it
constexpr size_t kMaxSideBySide = 256;     // files streamed side by side at most
constexpr qint64 kBufferBudget = 16 << 20; // bytes of chunk buffers at most
constexpr qint64 kSampleBlock = 65536;     // one sample of the fast rule

qint64 ChunkFor(size_t files) {
  qint64 chunk = kBufferBudget / static_cast<qint64>(std::max<size_t>(files, 1));
  chunk = std::clamp<qint64>(chunk, 16 << 10, 1 << 20);
  return chunk & ~qint64(4095);
}

}  // namespace

struct ComparePass::Partition {
  bool ready = false;
  std::vector<int> classOf;  // by index within the run; -1: no copy
  Classes classes;           // each ascending, ordered by first member
};

ComparePass::ComparePass(CandidateList& list, ScanHost& host, const bool& stopped)
    : list_(list), host_(host), stopped_(stopped) {}

int ComparePass::Position(qint64 part, qint64 whole) {
  // The quotient first, then times 100, both in extended precision, rounded
  // to the nearest with a half going to the even neighbour: 59/200 is a hair
  // below 0.295 there and shows 29.
  long double q = static_cast<long double>(part) / static_cast<long double>(whole);
  q *= 100;
  const long double rounded = std::nearbyint(q);
  if (!(rounded > 0)) return 0;  // NaN too (0 of 0)
  if (rounded >= 100) return 100;
  return static_cast<int>(rounded);
}

bool ComparePass::pumpStopped() {
  host_.pump();
  return stopped_;
}

void ComparePass::showProgress(qint64 part) {
  const int shown = Position(part, n_ - 1);
  if (shown != titleShown_ || title_.isEmpty()) {
    titleShown_ = shown;
    title_ = QStringLiteral("Comparing - ") + QString::number(shown) + QLatin1Char('%');
  }
  host_.setProgress(shown);
  host_.setTitle(title_);
}

bool ComparePass::run() {
  n_ = list_.count();
  readPerRecord_.assign(static_cast<size_t>(n_), 0);
  reported_.assign(static_cast<size_t>(n_), false);
  int i = 0;
  while (i < n_ - 1) {
    if (stopped_) return false;
    const qint64 s = RecordSize(list_.at(i));
    int last = i, j = i + 1;
    for (;;) {
      if (RecordSize(list_.at(j)) != s) break;
      last = j;
      if (j == n_ - 1) break;
      ++j;
    }
    if (last > i && !processRun(i, last)) return false;
    i = j;
    showProgress(i + 1);
  }
  for (int k = 0; k < n_; ++k) {
    if (!reported_[static_cast<size_t>(k)] && readPerRecord_[static_cast<size_t>(k)] > list_.at(k).size) ++stats_.nonDuplicatesReadTwice;
  }
  return true;
}

bool ComparePass::processRun(int first, int last) {
  Partition content, samples;
  const qint64 size = RecordSize(list_.at(first));
  const QString detail = QString::number(first) + QStringLiteral(" / ") + QString::number(n_);
  for (int r = first; r <= last; ++r) {
    host_.setDetail(detail);
    showProgress(r + 2);
    if (list_.isTaken(r)) continue;
    const bool fast = host_.fastCompare() && size > kFastLimit;
    Partition& p = fast ? samples : content;
    if (!p.ready && !(fast ? buildSamples(first, last, p) : buildContent(first, last, p))) return false;
    const int c = p.classOf[static_cast<size_t>(r - first)];
    if (c < 0) continue;
    bool firstOfGroup = true;
    for (const int k : p.classes[static_cast<size_t>(c)]) {
      if (k <= r) continue;
      if (pumpStopped()) return false;
      if (list_.isTaken(k)) continue;
      report(r, k, firstOfGroup);
    }
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

namespace {

void FillClassOf(int first, int last, std::vector<std::vector<int>>& classes, std::vector<int>& classOf) {
  for (auto& c : classes) std::sort(c.begin(), c.end());
  std::sort(classes.begin(), classes.end(), [](const auto& a, const auto& b) { return a.front() < b.front(); });
  classOf.assign(static_cast<size_t>(last - first + 1), -1);
  for (size_t c = 0; c < classes.size(); ++c)
    for (const int k : classes[c]) classOf[static_cast<size_t>(k - first)] = static_cast<int>(c);
}

}  // namespace

bool ComparePass::groupByDigest(const std::vector<int>& members, const std::vector<Segment>& segments, bool firstLook,
                                Classes& out) {
  if (members.empty()) return true;
  const qint64 size = RecordSize(list_.at(members.front()));
  qint64 total = 0;
  for (const Segment& seg : segments) total += seg.length;
  // What fits in the buffer is read whole and hashed at once; more is
  // hashed as it streams through.
  const qint64 capacity = std::clamp<qint64>(total, 1, 1 << 20);
  buffer_.resize(static_cast<size_t>(capacity));
  std::unique_ptr<XXH3_state_t, decltype(&XXH3_freeState)> state(total > capacity ? XXH3_createState() : nullptr,
                                                                  XXH3_freeState);
  std::vector<std::pair<std::pair<XXH64_hash_t, XXH64_hash_t>, int>> keyed;
  keyed.reserve(members.size());
  for (const int k : members) {
    if (pumpStopped()) return false;
    // A first look only sorts files into groups: every group is opened
    // again, checked, and compared byte for byte.
    fs::ReadFile file;
    if (!(firstLook ? file.openListed(list_.at(k).path) : file.open(list_.at(k).path, size))) continue;
    ++stats_.filesOpened;
    if (state) XXH3_128bits_reset(state.get());
    qint64 filled = 0;
    bool ok = true;
    for (const Segment& seg : segments) {
      for (qint64 off = 0; ok && off < seg.length;) {
        const qint64 part = std::min(seg.length - off, capacity - filled);
        ok = file.readAt(seg.offset + off, buffer_.data() + filled, part);
        if (!ok) break;
        stats_.bytesRead += part;
        readPerRecord_[static_cast<size_t>(k)] += part;
        off += part;
        if (state) {
          XXH3_128bits_update(state.get(), buffer_.data(), static_cast<size_t>(part));
        } else {
          filled += part;
        }
      }
    }
    if (!ok) continue;
    const XXH128_hash_t d = state ? XXH3_128bits_digest(state.get()) : XXH3_128bits(buffer_.data(), static_cast<size_t>(filled));
    keyed.push_back({{d.high64, d.low64}, k});
  }
  std::sort(keyed.begin(), keyed.end());
  for (size_t a = 0; a < keyed.size();) {
    size_t b = a + 1;
    while (b < keyed.size() && keyed[b].first == keyed[a].first) ++b;
    if (b - a >= 2) {
      std::vector<int> group;
      for (size_t t = a; t < b; ++t) group.push_back(keyed[t].second);
      out.push_back(std::move(group));
    }
    a = b;
  }
  return true;
}

bool ComparePass::buildContent(int first, int last, Partition& out) {
  const qint64 size = RecordSize(list_.at(first));
  std::vector<int> members;
  for (int k = first; k <= last; ++k)
    if (!list_.isTaken(k)) members.push_back(k);
  // The beginning of every file: a file whose beginning occurs once in the
  // run is done.
  const qint64 look = std::min(size, kFirstLook);
  Classes looked;
  if (!groupByDigest(members, {{0, look}}, true, looked)) return false;
  Classes finals;
  for (auto& group : looked) {
    // The rest of the files, then their beginnings byte for byte, since
    // equal digests prove nothing. Files streamed side by side take both
    // in one pass; a crowd is split by digests of the rest first.
    const Segment start{0, look}, rest{look, size - look};
    const bool split = size > look && group.size() > kMaxSideBySide;
    Classes tails;
    if (split) {
      if (!partition(group, {rest}, tails)) return false;
    } else {
      tails.push_back(std::move(group));
    }
    for (auto& tail : tails) {
      std::vector<Segment> segments;
      if (size > look && !split) segments.push_back(rest);
      if (look > 0) segments.push_back(start);
      if (segments.empty()) {
        finals.push_back(std::move(tail));
      } else if (!partition(tail, segments, finals)) {
        return false;
      }
    }
  }
  out.classes = std::move(finals);
  FillClassOf(first, last, out.classes, out.classOf);
  out.ready = true;
  return true;
}

bool ComparePass::buildSamples(int first, int last, Partition& out) {
  const qint64 size = RecordSize(list_.at(first));
  std::vector<Segment> samples;
  samples.push_back({0, kSampleBlock});
  for (int s = 1; s <= 6; ++s) samples.push_back({(size - kSampleBlock) * s / 7, kSampleBlock});
  samples.push_back({size - kSampleBlock, kSampleBlock});
  std::vector<int> members;
  for (int k = first; k <= last; ++k)
    if (!list_.isTaken(k)) members.push_back(k);
  Classes classes;
  if (!partition(members, samples, classes)) return false;
  out.classes = std::move(classes);
  FillClassOf(first, last, out.classes, out.classOf);
  out.ready = true;
  return true;
}

bool ComparePass::partition(const std::vector<int>& members, const std::vector<Segment>& segments, Classes& out) {
  if (members.size() < 2) return true;
  if (members.size() <= kMaxSideBySide) return lockstep(members, segments, out);
  return digestSplit(members, segments, out);
}

bool ComparePass::lockstep(const std::vector<int>& members, const std::vector<Segment>& segments, Classes& out) {
  const qint64 size = RecordSize(list_.at(members.front()));
  struct Open {
    int record;
    fs::ReadFile file;
  };
  std::vector<Open> files;
  files.reserve(members.size());
  for (const int k : members) {
    fs::ReadFile file;
    if (!file.open(list_.at(k).path, size)) continue;
    ++stats_.filesOpened;
    files.push_back({k, std::move(file)});
  }
  if (pumpStopped()) return false;
  if (files.size() < 2) return true;

  struct Job {
    std::vector<size_t> which;  // into files
    size_t segment;
    qint64 offset;              // within the segment
  };
  std::vector<Job> jobs;
  {
    Job all{{}, 0, 0};
    for (size_t t = 0; t < files.size(); ++t) all.which.push_back(t);
    jobs.push_back(std::move(all));
  }
  while (!jobs.empty()) {
    Job job = std::move(jobs.back());
    jobs.pop_back();
    while (job.which.size() >= 2) {
      while (job.segment < segments.size() && job.offset >= segments[job.segment].length) {
        ++job.segment;
        job.offset = 0;
      }
      if (job.segment == segments.size()) {
        // Equal to the end; a file that grew or shrank meanwhile is no copy.
        std::vector<int> same;
        for (const size_t t : job.which)
          if (files[t].file.size() == size) same.push_back(files[t].record);
        if (same.size() >= 2) out.push_back(std::move(same));
        break;
      }
      const Segment& seg = segments[job.segment];
      qint64 chunk = std::min(seg.length - job.offset, ChunkFor(job.which.size()));
      // The first page is looked at on its own: files that differ there
      // cost no long read.
      const qint64 at = seg.offset + job.offset;
      if (at < kProbe) chunk = std::min(chunk, kProbe - at);
      buffer_.resize(static_cast<size_t>(chunk) * job.which.size());
      std::vector<std::pair<size_t, const char*>> read;
      for (size_t t = 0; t < job.which.size(); ++t) {
        Open& f = files[job.which[t]];
        char* into = buffer_.data() + t * static_cast<size_t>(chunk);
        if (!f.file.readAt(seg.offset + job.offset, into, chunk)) continue;
        stats_.bytesRead += chunk;
        readPerRecord_[static_cast<size_t>(f.record)] += chunk;
        read.emplace_back(job.which[t], into);
      }
      if (pumpStopped()) return false;
      job.offset += chunk;
      std::vector<std::vector<size_t>> groups;
      std::vector<const char*> firsts;
      for (const auto& [t, data] : read) {
        size_t g = 0;
        while (g < groups.size() && std::memcmp(firsts[g], data, static_cast<size_t>(chunk)) != 0) ++g;
        if (g == groups.size()) {
          groups.emplace_back();
          firsts.push_back(data);
        }
        groups[g].push_back(t);
      }
      if (groups.empty()) break;
      for (size_t g = 1; g < groups.size(); ++g)
        if (groups[g].size() >= 2) jobs.push_back({std::move(groups[g]), job.segment, job.offset});
      job.which = std::move(groups[0]);
    }
  }
  return true;
}

bool ComparePass::digestSplit(const std::vector<int>& members, const std::vector<Segment>& segments, Classes& out) {
  // Too many files to stream side by side: split them by digests, of their
  // first page and then of the rest (as lockstep reads them, so files that
  // differ early cost no long read), then prove each group byte for byte.
  std::vector<Segment> page, later;
  for (const Segment& seg : segments) {
    const qint64 inPage = std::clamp<qint64>(kProbe - seg.offset, 0, seg.length);
    if (inPage > 0) page.push_back({seg.offset, inPage});
    if (inPage < seg.length) later.push_back({seg.offset + inPage, seg.length - inPage});
  }
  Classes groups{members};
  for (const std::vector<Segment>* part : {&page, &later}) {
    if (part->empty()) continue;
    Classes next;
    for (const auto& group : groups)
      if (!groupByDigest(group, *part, false, next)) return false;
    groups = std::move(next);
  }
  for (auto& group : groups) {
    std::vector<int> remaining = std::move(group);
    while (remaining.size() >= 2) {
      if (remaining.size() <= kMaxSideBySide) {
        if (!lockstep(remaining, segments, out)) return false;
        break;
      }
      // Many copies of one content: prove each against the first.
      const int head = remaining.front();
      std::vector<int> same{head}, rest;
      for (size_t t = 1; t < remaining.size(); ++t) {
        Classes pair;
        if (!lockstep({head, remaining[t]}, segments, pair)) return false;
        (pair.empty() ? rest : same).push_back(remaining[t]);
      }
      if (same.size() >= 2) out.push_back(std::move(same));
      remaining = std::move(rest);
    }
  }
  return true;
}
