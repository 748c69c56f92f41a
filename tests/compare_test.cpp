#include "engine/compare.h"
#include "engine/bytes.h"
#include "engine/walk.h"
#include "results/listfile.h"
#include "tree.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace {

// Walks the tree, sorts the candidates, runs `between` (changing files after
// the walk), then the comparison. Returns the rows as Host::rows does.
QString Compare(const Tree& t, Host& host, CompareStats* stats = nullptr, const std::function<void()>& between = {},
                ScanGaps* gaps = nullptr) {
  const RunToken run = RunToken::Start();
  CandidateList list;
  Walker(host, run, list).ScanRoots({t.root()});
  list.sort();
  if (between) between();
  ComparePass pass(list, host, run);
  EXPECT_TRUE(pass.run());
  if (stats) *stats = pass.stats();
  if (gaps) *gaps = pass.gaps();
  EXPECT_EQ(pass.stats().nonDuplicatesReadTwice, 0);
  return host.rows(t);
}

// 9000 bytes; files differ only in the last one.
QByteArray Content(char last) { return QByteArray(8999, 'z') + last; }

}  // namespace

TEST(Compare, GroupsFollowTheFirstFreeRecordOfEachContent) {
  const struct {
    const char *lasts, *rows;  // the last bytes of A, B, C...
  } cases[] = {{"xxy", "A B"}, {"xyx", "A C"},        {"xyy", "B C"},
               {"xyz", ""},    {"xyxy", "A C | B D"}, {"xyxzyx", "A C F | B E"}};
  for (const auto& c : cases) {
    Tree t;
    for (int i = 0; c.lasts[i]; ++i) t.file(QString(QChar('A' + i)), Content(c.lasts[i]));
    Host host;
    EXPECT_EQ(Compare(t, host), c.rows) << c.lasts;
  }
}

TEST(Compare, RunsFollowTheSizeTextsAndSingleSizesAreNeverOpened) {
  Tree t{{"p3", "abc"}, {"q3", "abc"}, {"e1", ""}, {"E2", ""}, {"e3", ""}, {"single", "abcd"}};
  for (const char* f : {"p20480", "q20480"}) t.sized(f, 20480);
  for (const char* f : {"p1048576", "q1048576"}) t.sized(f, 1048576);
  Host host;
  EXPECT_EQ(Compare(t, host), "e1 E2 e3 | p1048576 q1048576 | p20480 q20480 | p3 q3");
  EXPECT_EQ(host.model.row(5).sizeText, "1024");

  const Tree singles{{"a", "1"}, {"b", "12"}, {"c", "123"}};
  Host other;
  CompareStats stats;
  EXPECT_EQ(Compare(singles, other, &stats), "");
  EXPECT_EQ(stats.filesOpened + stats.bytesRead, 0);
}

TEST(Compare, FileChangedAfterTheWalkIsLeftOut) {
  const struct {
    const char* file;
    bool remove;  // else grown
    const char* rows;
  } cases[] = {{"A", true, "B C"}, {"B", true, "A C"}, {"A", false, "B C"}, {"C", false, "A B"}};
  for (const auto& c : cases) {
    Tree t;
    for (const char* f : {"A", "B", "C"}) t.file(f, Content('x'));
    Host host;
    QFile f(t(c.file));
    ScanGaps gaps;
    EXPECT_EQ(Compare(
                  t, host, nullptr,
                  [&] { c.remove ? f.remove() : f.open(QIODevice::Append) && f.write("x") && f.flush(); }, &gaps),
              c.rows);
    EXPECT_EQ(gaps.total(Gap::FileChanged), 1) << c.file;
  }

  // Empty files are opened and checked too; and no file is opened through
  // a folder swapped for a link, not even for the first look.
  const struct {
    const char* change;
    const char* rows;
    Gap gap;
    qint64 opened;
  } swaps[] = {{"grown", "e1 e3 | sub/x sub/y", Gap::FileChanged, 6},
               {"fifo", "e1 e3 | sub/x sub/y", Gap::FileChanged, 6},
               {"folder", "e1 e3 | sub/x sub/y", Gap::FileChanged, 6},
               {"link", "e1 e2 e3", Gap::FileNotOpened, 3}};
  for (const auto& c : swaps) {
    Tree t{{"e1", ""}, {"e2", ""}, {"e3", ""}};
    t.file("sub/x", Content('x')), t.file("sub/y", Content('x'));
    const Tree outside;
    outside.file("x", Content('o')), outside.file("y", Content('o'));
    const QByteArray e2 = QFile::encodeName(t("e2"));
    const std::function<void()> change = [&] {
      const QString what = c.change;
      if (what == "grown") t.file("e2", "now");
      // A FIFO opened to be read would wait for a writer: it is never waited on.
      if (what == "fifo") {
        EXPECT_TRUE(unlink(e2) == 0 && mkfifo(e2, 0644) == 0);
      } else if (what == "folder") {
        EXPECT_TRUE(unlink(e2) == 0 && mkdir(e2, 0755) == 0);
      } else if (what == "link") {
        EXPECT_TRUE(QDir().rename(t("sub"), t("sub.old")));
        t.link(outside.root(), "sub");
      }
    };
    Host host;
    CompareStats stats;
    ScanGaps gaps;
    EXPECT_EQ(Compare(t, host, &stats, change, &gaps), c.rows) << c.change;
    EXPECT_EQ(stats.filesOpened, c.opened) << c.change;  // the empty files; x, y for the first look and the proof
    EXPECT_EQ(gaps.total(c.gap), c.gap == Gap::FileChanged ? 1 : 2) << c.change;
  }
}

TEST(Compare, LargeFilesAreComparedBySamplesWhenFastAndInFullOtherwise) {
  const qint64 big = 11 << 20, limit = kFastLimit, samples = 16 * 65536;
  const struct {
    qint64 size, at;  // where B differs from A; -1: identical
    bool fast;
    const char* rows;
    qint64 minRead, maxRead;
  } cases[] = {
      {big, 0, true, "", 0, samples},           // differ in the first sampled block
      {big, big - 1, true, "", 0, samples},     // in the last
      {big, -1, true, "A B", 0, samples},       // identical: only the samples are read
      {big, 3 << 16, true, "A B", 0, samples},  // differ between the samples
      {big, 3 << 16, false, "", 0, 2 * big},
      {big, -1, false, "A B", 2 * big, 3 * big},
      {limit, -1, true, "A B", 2 * limit, 3 * limit},  // not over the limit: read in full
      {limit, limit - 100, true, "", 0, 2 * limit},
  };
  for (const auto& c : cases) {
    Tree t;
    QByteArray a(c.size, 'd'), b = a;  // written out: holes would not be read
    if (c.at >= 0) b[c.at] = 'e';
    t.file("A", a), t.file("B", b);
    Host host;
    host.fast = c.fast;
    CompareStats stats;
    EXPECT_EQ(Compare(t, host, &stats), c.rows) << c.size << ' ' << c.at << ' ' << c.fast;
    EXPECT_GE(stats.bytesRead, c.minRead) << c.size << ' ' << c.at << ' ' << c.fast;
    EXPECT_LE(stats.bytesRead, c.maxRead) << c.size << ' ' << c.at << ' ' << c.fast;
  }

  // The option changes at the first pump of the pass: first looks read
  // ahead for a full comparison go unused, files left to the samples are
  // looked at by the pass itself; rows and counts are those of one read at
  // a time.
  Tree t;
  for (const char* name : {"A", "B"}) t.sized(name, big, big - 1), t.sized(QString(name) + "1", big + 1, 5);
  t.file("C", "small"), t.file("D", "small");
  for (const bool fastFirst : {false, true}) {
    QString rows;
    CompareStats first;
    for (const int reads : {1, 8}) {
      Host host;
      host.fast = fastFirst, host.reads = reads;
      bool comparing = false;
      host.onPump = [&] { comparing ? void(host.fast = !fastFirst) : void(); };
      CompareStats stats;
      const QString got = Compare(t, host, &stats, [&] { comparing = true; });
      EXPECT_EQ(host.fast, !fastFirst);
      if (reads == 1) rows = got, first = stats;
      EXPECT_EQ(got, rows) << fastFirst;
      EXPECT_EQ(stats.filesOpened, first.filesOpened) << fastFirst;
      EXPECT_EQ(stats.bytesRead, first.bytesRead) << fastFirst;
    }
    EXPECT_EQ(rows, "A B | A1 B1 | C D") << fastFirst;
  }
}

TEST(Compare, FilesAlikeAtTheBeginningAreToldApartWithinTheFirstPage) {
  // Equal first kilobytes and a difference at 2 KB, as in pictures from one
  // camera: no file is read past its first page, in a small group or a crowd.
  for (const int n : {10, 300}) {
    Tree t;
    for (int i = 0; i < n; ++i) {
      QByteArray content(64 * 1024, 'p');
      content.replace(2048, 4, QByteArray::number(i).rightJustified(4, '0'));
      t.file(QString::asprintf("f%03d", i), content);
    }
    Host host;
    CompareStats stats;
    EXPECT_EQ(Compare(t, host, &stats), "") << n;
    EXPECT_LE(stats.bytesRead, qint64(n) * 4096) << n;
  }
}

TEST(Compare, ManyFilesSharingAFirstBlockAreEachReadOnce) {
  // Streamed side by side, and (over 256 files) split by digest first; the
  // largest run is longer than the window of first looks read ahead. With
  // one read in flight or many, the list file and every count are the same.
  for (const int n : {20, 300, 5000}) {
    Tree t;
    for (int i = 0; i < n; ++i) {  // files n-10 .. n-1 repeat files 0 .. 9
      const int id = i < n - 10 ? i : i - (n - 10);
      t.file(QString::asprintf("f%04d", i), QByteArray(4096, 'h') + QByteArray::number(id).rightJustified(900, '.'));
    }
    for (int i = 0; i < 300; ++i) t.file(QString::asprintf("e%03d", i), "");  // a run of empty files
    for (int i = 0; i < 40; ++i) t.file(QString::asprintf("s%02d", i), QByteArray(i % 20 + 1, 's'));
    QByteArray first;
    CompareStats firstStats;
    for (const int reads : {1, 8, 3, 64}) {
      Host host;
      host.reads = reads;
      CompareStats stats;
      Compare(t, host, &stats);
      EXPECT_EQ(host.model.groupCount(), 10 + 1 + 20) << n;
      EXPECT_TRUE(host.rows(t).contains(QString::asprintf("| f0000 f%04d |", n - 10))) << n;
      EXPECT_LE(stats.bytesRead, qint64(n + 20) * 4996 + 40 * 40) << n;
      const QByteArray list = ListFileBytes(host.model);
      if (reads == 1) first = list, firstStats = stats;
      EXPECT_EQ(list, first) << n << " " << reads;
      EXPECT_EQ(stats.filesOpened, firstStats.filesOpened) << n << " " << reads;
      EXPECT_EQ(stats.bytesRead, firstStats.bytesRead) << n << " " << reads;
    }
  }
}

// The files the byte proof will read in the runs ahead are preloaded when
// the system does not hold them already: not a file whose first look no
// other file of its run shares, not a small one (read whole around its
// first look), not one in the system's cache; with one read in flight, none.
TEST(Compare, OnlyTheColdFilesTheProofWillReadArePreloaded) {
  Tree t;
  const QByteArray b = QByteArray(20000, 'b'), c = QByteArray(30000, 'c');
  for (const char* f : {"a0", "a1"}) t.file(f, QByteArray(1100, 'a'));  // the first run, the pass's own
  for (const char* f : {"b0", "b1"}) t.file(f, b);
  t.file("b2", QByteArray(b).replace(19999, 1, "x"));  // the same first look
  t.file("b3", QByteArray(b).replace(0, 1, "x"));      // a first look of its own
  for (const char* f : {"c0", "c1"}) t.file(f, c);     // kept in the cache
  for (const char* f : {"d0", "d1"}) t.file(f, QByteArray(9000, 'd'));
  // Each file is read whole first: a read still in flight for the last
  // scan would leave its pages in the cache.
  const auto evict = [&] {
    for (const char* f : {"a0", "a1", "b0", "b1", "b2", "b3", "d0", "d1"}) {
      const int fd = ::open(qPrintable(t(f)), O_RDONLY);
      ASSERT_GE(fd, 0);
      QByteArray whole(30000, '\0');
      ASSERT_GT(::pread(fd, whole.data(), whole.size(), 0), 0);
      fdatasync(fd);
      posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
      ::close(fd);
    }
  };
  evict();
  fs::ReadFile dropped, kept;
  char byte = 0;
  ASSERT_TRUE(dropped.open(t("a0")) && kept.open(t("c0")));
  if (dropped.readCachedAt(0, &byte, 1) || !kept.readCachedAt(0, &byte, 1))
    GTEST_SKIP() << "the system here cannot drop these files from its cache or tell whether it holds them";
  QByteArray list;
  for (const int reads : {64, 8, 1}) {  // read together, one a reader, none ahead
    evict();
    Host host;
    host.reads = reads;
    // The pass's first pump waits for every first look to be in.
    bool first = false;
    host.onPump = [&] {
      std::exchange(first, false) ? std::this_thread::sleep_for(std::chrono::milliseconds(300)) : void();
    };
    const int before = ReadAhead::Preloads();
    EXPECT_EQ(Compare(t, host, nullptr, [&] { first = true; }), "a0 a1 | b0 b1 | c0 c1 | d0 d1");
    EXPECT_EQ(ReadAhead::Preloads() - before, reads > 1 ? 3 : 0) << reads;
    if (reads == 64) list = ListFileBytes(host.model);
    EXPECT_EQ(ListFileBytes(host.model), list);
  }
}

// Holes read as zeros and cost nothing: two sparse files of a terabyte are
// compared by their data alone, a hole equals written zeros, and a byte in
// the last block still tells files apart. So it is in a scan: side by side,
// and in the digests that split a crowd (here a group larger than a quarter
// of the files the program may hold open).
TEST(Compare, SparseFilesCostWhatTheirDataCosts) {
  constexpr qint64 kHuge = qint64(1) << 40;
  const Tree t;
  t.sized("a", kHuge, kHuge - 1);
  t.sized("b", kHuge, kHuge - 1);
  t.sized("c", kHuge, kHuge - 2);
  fs::ReadFile a, b, c;
  ASSERT_TRUE(a.open(t("a")) && b.open(t("b")) && c.open(t("c")));
  qint64 read = 0;
  const ChunkRead counted = [&](qint64 bytes) { return read += bytes, true; };
  EXPECT_TRUE(SameBytes(a, b, 0, kHuge, counted));
  EXPECT_FALSE(SameBytes(a, c, 0, kHuge, counted));
  EXPECT_EQ(DigestOfContent(a, kHuge, counted), DigestOfContent(b, kHuge, counted));
  EXPECT_NE(DigestOfContent(a, kHuge, counted), DigestOfContent(c, kHuge, counted));
  EXPECT_LT(read, qint64(64) << 20);

  // The same content with its zeros written out.
  constexpr qint64 kSmall = 3 << 20;
  t.sized("sparse", kSmall, kSmall - 5000);
  QByteArray dense(kSmall, '\0');
  dense[kSmall - 5000] = '\1';
  t.file("dense", dense);
  fs::ReadFile sparse, written;
  ASSERT_TRUE(sparse.open(t("sparse")) && written.open(t("dense")));
  EXPECT_TRUE(sparse.mayHaveHoles());
  EXPECT_FALSE(written.mayHaveHoles());
  EXPECT_TRUE(SameBytes(sparse, written, 0, kSmall));
  EXPECT_EQ(DigestOfContent(sparse, kSmall), DigestOfContent(written, kSmall));

  struct rlimit old;
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &old), 0);
  for (const rlim_t most : {old.rlim_cur, rlim_t(24)}) {
    const Tree scanned;
    scanned.sized("a", kHuge, kHuge - 1), scanned.sized("b", kHuge, kHuge - 1);
    for (int i = 0; i < 6; ++i) scanned.sized(QString("c%1").arg(i), kHuge, kHuge - 2 - i);
    for (int i = 0; i < 4; ++i) scanned.sized(QString("s%1").arg(i), kSmall, kSmall - 5000);
    for (int i = 0; i < 4; ++i) scanned.file(QString("w%1").arg(i), dense);
    struct rlimit low = old;
    low.rlim_cur = most;
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
    Host host;
    host.fast = false;
    CompareStats stats;
    const QString rows = Compare(scanned, host, &stats);
    setrlimit(RLIMIT_NOFILE, &old);
    EXPECT_EQ(rows, "a b | s0 s1 s2 s3 w0 w1 w2 w3") << most;
    EXPECT_LT(stats.bytesRead, qint64(64) << 20) << most;
  }

  // A stop is heard within a chunk of a crowd's digest too: eight files
  // with data every 16 GiB, stopped at the first pump of the digests.
  const Tree spread;
  for (int i = 0; i < 8; ++i) {
    QFile f(spread.sized(QString("d%1").arg(i), kHuge, kHuge - 1 - i));
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    for (qint64 at = 0; at < kHuge; at += qint64(16) << 30) f.seek(at), f.write("d", 1);
  }
  struct rlimit low = old;
  low.rlim_cur = 24;
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
  Host host;
  host.fast = false;
  RunToken run = RunToken::Start();
  CandidateList list;
  Walker(host, run, list).ScanRoots({spread.root()});
  list.sort();
  ComparePass pass(list, host, run);
  int pumps = 0;  // eight first looks, two first pages, then the digest of the first rest
  host.onPump = [&] {
    if (++pumps > 10) run.stop();
  };
  EXPECT_FALSE(pass.run());
  setrlimit(RLIMIT_NOFILE, &old);
  EXPECT_LE(pass.stats().bytesRead, qint64(2) << 20);
}
