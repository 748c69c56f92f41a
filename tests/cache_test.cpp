#include "engine/contentcache.h"
#include "processing_host.h"
#include "results/listfile.h"

#include <QRandomGenerator>

#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

namespace {

// 9000 bytes; files differ only in the last one, past the first look.
QByteArray Content(char last) { return QByteArray(8999, 'z') + last; }

class CacheHost : public Host {
 public:
  using Host::Host;
  QString cacheFile;
  QString contentCacheFile() override { return cacheFile; }
  void cacheIgnored(const QString&, ContentCache::Problem p) override { add("ignored", QString::number(int(p))); }
  void cacheNotWritten(const QString&, const QString&) override { add("notWritten"); }
};

// The list file of a scan of `t` with the cache file `cache` (none: empty).
QByteArray ListOf(const Tree& t, const QString& cache, CompareStats* stats = nullptr, QStringList* log = nullptr) {
  CacheHost host(t.root());
  host.cacheFile = cache;
  ScanDriver driver(host);
  driver.Scan();
  if (stats) *stats = driver.lastStats();
  if (log) *log = host.log;
  return ListFileBytes(host.model);
}

// Files are recorded however recently they were written; put back after.
struct RecordRecentFiles {
  RecordRecentFiles() { g_contentCacheRecentNs = 0; }
  ~RecordRecentFiles() { g_contentCacheRecentNs = ContentCache::kRecentNs; }
};

// Waits (a clock tick at most) until the system's coarse clock, which
// stamps writes, is past the change time of every file of `t`: a write
// from now on gives a file another change time, as it would outside a test
// (where files changed so recently are not recorded).
void PastChangeTimes(const Tree& t) {
  qint64 latest = 0;
  for (const QFileInfo& f : QDir(t.root()).entryInfoList(QDir::Files)) {
    struct stat st {};
    if (lstat(f.filePath().toLocal8Bit().constData(), &st) == 0)
      latest = std::max<qint64>(latest, st.st_ctim.tv_sec * 1000000000LL + st.st_ctim.tv_nsec);
  }
  for (timespec now{};
       clock_gettime(CLOCK_REALTIME_COARSE, &now) == 0 && now.tv_sec * 1000000000LL + now.tv_nsec <= latest;) {
  }
}

void SetOldTime(const QString& path) {
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::ReadWrite));
  f.setFileTime(QDateTime::fromSecsSinceEpoch(kMtime), QFileDevice::FileModificationTime);
}

}  // namespace

TEST(Cache, MutationsBetweenScansGiveTheListOfAScanWithoutTheCache) {
  const RecordRecentFiles recordAll;
  struct Case {
    const char* name;
    std::function<void(const Tree&)> mutate;
    const char* groupAfter;  // a file the uncached list holds afterwards; empty: no group
  };
  const Case cases[] = {
      // b's bytes become a's; its modification time is put back, its inode kept.
      {"same-size rewrite, time restored",
       [](const Tree& t) {
         QFile f(t("b"));
         ASSERT_TRUE(f.open(QIODevice::ReadWrite));
         f.write(Content('a'));
         f.close();
         SetOldTime(t("b"));
       },
       "b"},
      {"a file renamed over another",
       [](const Tree& t) {
         t.file("x", Content('a'));
         ASSERT_EQ(::rename(t("x").toLocal8Bit().constData(), t("b").toLocal8Bit().constData()), 0);
       },
       "b"},
      // The same size and time, very likely the same inode number too.
      {"deleted and made again",
       [](const Tree& t) {
         QFile::remove(t("b"));
         t.file("b", Content('a'));
       },
       "b"},
      // As processing's hard link leaves it: b is a name of a now.
      {"a new hard link",
       [](const Tree& t) {
         QFile::remove(t("c"));
         ASSERT_EQ(::link(t("b").toLocal8Bit().constData(), t("c").toLocal8Bit().constData()), 0);
       },
       "d"},
      {"truncated", [](const Tree& t) { ASSERT_TRUE(QFile::resize(t("b"), 5000)); }, "e"},
      // Past the first look: only the proof's digests can tell it.
      {"changed in its tail",
       [](const Tree& t) {
         QFile f(t("c"));
         ASSERT_TRUE(f.open(QIODevice::ReadWrite));
         f.seek(8999);
         f.write("b", 1);
         f.close();
         SetOldTime(t("c"));
       },
       "c"},
  };
  // Processing's links: the marked copy b or d becomes a link of the other.
  const auto replaceCopies = [](ProcessMode mode) {
    return [mode](const Tree& t) {
      Host scan(t.root());
      ScanDriver(scan).Scan();
      Proc proc;
      proc.processMode = mode;
      EXPECT_EQ(ProcessMarked(scan.model, proc).processed, 1);
    };
  };
  const Case linked[] = {{"copies hard-linked by processing", replaceCopies(ProcessMode::HardLink), ""},
                         {"copies replaced by symbolic links", replaceCopies(ProcessMode::SymLink), ""}};
  std::vector<Case> all(std::begin(cases), std::end(cases));
  all.insert(all.end(), std::begin(linked), std::end(linked));
  for (const Case& c : all) {
    SCOPED_TRACE(c.name);
    // a, b, c and d agree in their first look; b and d are copies. e is
    // what b truncated to 5000 bytes holds.
    const Tree t{{"a", Content('a')}, {"b", Content('b')},          {"c", Content('c')},
                 {"d", Content('b')}, {"e", QByteArray(5000, 'z')}, {"f", QByteArray(4999, 'z') + 'f'}};
    const Tree home;
    const QString cache = home("contents.cache");
    ListOf(t, cache);
    CompareStats stats;
    ListOf(t, cache, &stats);
    EXPECT_GT(stats.cacheEntriesUsed, 0);  // the cache does part files
    PastChangeTimes(t);
    c.mutate(t);
    const QByteArray withCache = ListOf(t, cache), without = ListOf(t, {});
    EXPECT_EQ(withCache, without);
    if (*c.groupAfter) {
      EXPECT_TRUE(without.contains(t(c.groupAfter).toUtf8())) << without.constData();
    } else {
      EXPECT_TRUE(without.isEmpty()) << without.constData();
    }
  }
}

TEST(Cache, AnUnchangedRescanReadsOnlyTheCopies) {
  const Tree t{{"a", Content('a')}, {"b", Content('b')}, {"c", Content('c')}, {"d", Content('b')}, {"e", Content('e')},
               {"f", Content('a')}, {"g", "short"},      {"h", "shirt"},      {"i", "same"},       {"j", "same"}};
  const Tree home;
  const QString cache = home("contents.cache");
  // Just written: nothing is recorded, a write in the same clock tick
  // could go unseen.
  ListOf(t, cache);
  CompareStats stats;
  ListOf(t, cache, &stats);
  EXPECT_EQ(stats.cacheEntriesUsed, 0);

  const RecordRecentFiles recordAll;
  const QByteArray uncached = ListOf(t, cache, &stats);
  const QByteArray rescan = ListOf(t, cache, &stats);
  EXPECT_EQ(rescan, uncached);
  // The copies a f, b d, i j: each read once, whole; nothing else opened.
  EXPECT_EQ(stats.filesOpened, 6);
  EXPECT_EQ(stats.bytesRead, 4 * 9000 + 2 * 4);
  EXPECT_EQ(stats.cacheEntriesUsed, 10);  // every first look
}

TEST(Cache, AForgedEntryClaimingEqualDigestsGroupsNothing) {
  const RecordRecentFiles recordAll;
  const Tree t{{"a", Content('a')}, {"b", Content('b')}};
  const Tree home;
  const QString cache = home("contents.cache");
  ListOf(t, cache);
  QFile file(cache);
  ASSERT_TRUE(file.open(QIODevice::ReadWrite));
  QByteArray bytes = file.readAll();
  ASSERT_EQ(bytes.size(), 32 + 2 * 64 + 4 * 32);  // first look and proof, two files
  // The second entry points at the ranges of the first.
  bytes.replace(32 + 64 + 52, 8, bytes.mid(32 + 52, 8));
  file.seek(0);
  file.write(bytes);
  file.close();
  CompareStats stats;
  EXPECT_TRUE(ListOf(t, cache, &stats).isEmpty());
  EXPECT_EQ(stats.cacheEntriesUsed, 2);  // the forged first looks were trusted
  EXPECT_EQ(stats.filesOpened, 2);       // and the proof told the files apart
}

TEST(Cache, TruncatedForeignAndRandomFilesAreIgnoredWhole) {
  const RecordRecentFiles recordAll;
  const Tree t{{"a", Content('a')}, {"b", Content('b')}, {"c", Content('a')}};
  const Tree home;
  const QString cache = home("contents.cache");
  const QByteArray uncached = ListOf(t, {});
  ListOf(t, cache);
  QFile file(cache);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray good = file.readAll();
  file.close();
  ContentCache c;
  ASSERT_EQ(c.read(good), ContentCache::Problem::None);
  ASSERT_EQ(c.loadedEntries(), 3u);
  EXPECT_EQ(c.bytes().mid(32), good.mid(32));  // written again as read, one scan on

  using P = ContentCache::Problem;
  for (qsizetype n = 0; n < good.size(); ++n) EXPECT_NE(c.read(good.left(n)), P::None) << n;
  QByteArray version = good;
  version[8] = 2;
  EXPECT_EQ(c.read(version), P::OtherVersion);
  QByteArray unsorted = good;  // the first two entries swapped
  unsorted.replace(32, 128, good.mid(32 + 64, 64) + good.mid(32, 64));
  EXPECT_EQ(c.read(unsorted), P::Damaged);
  QByteArray beyond = good;  // the last entry's ranges past the range area
  beyond[32 + 2 * 64 + 52] = 100;
  EXPECT_EQ(c.read(beyond), P::Damaged);
  QByteArray kind = good;
  kind[good.size() - 8] = 9;
  EXPECT_EQ(c.read(kind), P::Damaged);
  QByteArray random(4096, 0);
  for (char& ch : random) ch = static_cast<char>(QRandomGenerator::global()->generate());
  EXPECT_EQ(c.read(random), P::NotACache);
  EXPECT_EQ(c.loadedEntries(), 0u);

  // A scan with such a file notes it once and finds what it always finds;
  // a cache folder it cannot write to does not stop it.
  for (const QByteArray& bad : {good.left(good.size() - 1), random, version}) {
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bad);
    file.close();
    QStringList log;
    EXPECT_EQ(ListOf(t, cache, nullptr, &log), uncached);
    EXPECT_EQ(log.filter("ignored:").size(), 1);
  }
  if (geteuid() == 0) {  // a good file of another user is not read either
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(good);
    file.close();
    ASSERT_EQ(chown(cache.toLocal8Bit().constData(), 65534, 65534), 0);
    QStringList log;
    EXPECT_EQ(ListOf(t, cache, nullptr, &log), uncached);
    EXPECT_EQ(log.filter("ignored:" + QString::number(int(P::OtherOwner))).size(), 1);
    EXPECT_EQ(log.filter("notWritten:").size(), 1);  // nor written over
  } else {
    QFile::setPermissions(home.root(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    QStringList log;
    EXPECT_EQ(ListOf(t, home("sub/contents.cache"), nullptr, &log), uncached);
    EXPECT_EQ(log.filter("notWritten:").size(), 1);
    QFile::setPermissions(home.root(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
  }
  // What one scan records: a later digest of the same bytes replaces an
  // earlier one; a file read under two stamps (it changed meanwhile) and a
  // file written within kRecentNs are not kept.
  ContentCache scan;
  const fs::FileStamp one{{7, 1}, 9000, 1, 2, 0};
  fs::FileStamp changed = one, changedAgain = one, recent = one;
  changed.id.inode = changedAgain.id.inode = 2, changedAgain.ctimeNs = 3;
  recent.id.inode = 3, recent.ctimeNs = 20;
  const qint64 now = ContentCache::kRecentNs + 10;
  scan.record(one, {1, 0, 1024, RangeKind::Bytes}, now);
  scan.record(one, {2, 0, 1024, RangeKind::Bytes}, now);
  scan.record(one, {3, 0, 9000, RangeKind::ProofStream}, now);
  scan.record(changed, {4, 0, 1024, RangeKind::Bytes}, now);
  scan.record(changedAgain, {5, 0, 9000, RangeKind::ProofStream}, now);
  g_contentCacheRecentNs = ContentCache::kRecentNs;
  scan.record(recent, {6, 0, 1024, RangeKind::Bytes}, now);
  ASSERT_EQ(c.read(scan.bytes()), P::None);
  ASSERT_EQ(c.loadedEntries(), 1u);
  ASSERT_EQ(c.trusted(one), 0);
  ASSERT_EQ(c.ranges(0).size(), 2u);
  EXPECT_EQ(c.ranges(0)[0].digest, 2u);
  EXPECT_EQ(c.ranges(0)[1].digest, 3u);
  g_contentCacheRecentNs = 0;

  QStringList log;
  EXPECT_EQ(ListOf(t, t("a") + "/contents.cache", nullptr, &log), uncached);  // a file stands where its folder would
  EXPECT_EQ(log.filter("notWritten:").size(), 1);
}

TEST(Cache, CrowdsAndSampledFilesArePartedWithoutARead) {
  const RecordRecentFiles recordAll;
  const Tree t;
  // A crowd: 300 files of one size alike in their first page, two of them
  // copies; the rest tells them apart.
  for (int i = 0; i < 300; ++i) {
    QByteArray bytes(5000, 'c');
    bytes.replace(4500, 4, QByteArray::number(1000 + (i == 299 ? 0 : i)));
    t.file(QStringLiteral("crowd/%1").arg(i), bytes);
  }
  // Sampled by the fast rule: two copies and a file that differs in one
  // sampled block only.
  QByteArray large(kFastLimit + 4096, 'L');
  t.file("large/1", large), t.file("large/2", large);
  large[large.size() - 10] = 'M';  // in the last block
  t.file("large/3", large);
  const Tree home;
  const QString cache = home("contents.cache");
  CompareStats stats;
  const QByteArray first = ListOf(t, cache, &stats);
  EXPECT_GT(stats.filesOpened, 300);
  EXPECT_EQ(ListOf(t, cache, &stats), first);
  EXPECT_EQ(stats.filesOpened, 4);  // crowd/0 and crowd/299, large/1 and large/2
  EXPECT_EQ(stats.bytesRead, 2 * 5000 + 2 * 8 * 65536);
  EXPECT_EQ(stats.cacheEntriesUsed, 303);
}
