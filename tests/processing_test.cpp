#include "processing_host.h"

#include "platform/fs.h"

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <array>
#include <cerrno>
#include <string>

namespace {

// An ACL as the system keeps it in an extended attribute: a version, then
// (tag, permissions, user or group) for each entry, in order of tag.
QByteArray Acl(std::initializer_list<std::array<unsigned, 3>> entries) {
  QByteArray bytes;
  const auto put = [&](unsigned value, int size) {
    for (int b = 0; b < size; ++b) bytes += char(value >> (8 * b) & 0xff);
  };
  put(2, 4);
  for (const auto& [tag, permissions, id] : entries) put(tag, 2), put(permissions, 2), put(id, 4);
  return bytes;
}
constexpr unsigned kOwner = 1, kUser = 2, kGroup = 4, kMask = 0x10, kOther = 0x20, kNoId = ~0u;
// The value of an extended attribute of a file in hexadecimal, or "-" when
// it has none.
std::string Attribute(const QString& path, const char* name) {
  QByteArray value(4096, 0);
  const ssize_t size = getxattr(QFile::encodeName(path).constData(), name, value.data(), size_t(value.size()));
  return size < 0 ? "-" : value.left(size).toHex().toStdString();
}
bool SetAttribute(const QString& path, const char* name, const QByteArray& value) {
  return setxattr(QFile::encodeName(path).constData(), name, value.constData(), size_t(value.size()), 0) == 0;
}

}  // namespace

TEST(Processing, RemoveDeletesMarkedFilesAndReportsEachFailure) {
  const Tree t{{"ro", "1"}, {"keep", "1"}, {"dir/inner", "1"}};
  ReadOnly(t("ro"));
  ASSERT_EQ(link(QFile::encodeName(t("ro")).constData(), QFile::encodeName(t("ro2")).constData()), 0);
  ResultModel model;
  Fill(model, {"+" + t("ro"), t("keep"), "|", "+" + t("dir"), "+" + t("gone"), "+"});  // "+": a row without a path
  Proc host;
  EXPECT_EQ(ProcessMarked(model, host).processed, 2);  // ro, and gone: no file is at its path; dir is no file
  EXPECT_FALSE(Exists(t("ro")));
  EXPECT_EQ(QFileInfo(t("ro2")).permissions() & QFile::WriteOwner, 0);  // its other name: still read-only
  EXPECT_TRUE(Exists(t("keep")) && Exists(t("dir/inner")));
  EXPECT_EQ(host.failedRows.join('\n'), t("dir") + ": " + fs::ErrorText(EISDIR));
  EXPECT_EQ(host.failedModes, QList<ProcessMode>{ProcessMode::Remove});
  EXPECT_EQ(host.gone.join('\n'), t("gone") + " = " + QString::number(ENOENT));
  EXPECT_EQ(host.asked.join(','), "4 4");  // four marked rows of 1 KB each, the one without a path too
  EXPECT_EQ(host.phases.join(','), "started,finished 2 0 1");
  EXPECT_EQ(host.progress.join(','), "0,20,40,60,80,100");
  EXPECT_EQ(Marks(model).left(5), "00000");
}

TEST(Processing, OneReadOnlyRowAndAnUnconfirmedRun) {
  const Tree t{{"f", "1"}, {"g", "1"}};
  ReadOnly(t("f"));
  ResultModel model;
  Proc host;
  EXPECT_FALSE(ProcessMarked(model, host).asked);  // an empty list: nothing is asked
  Fill(model, {"+" + t("f")});
  host.answer = false;
  EXPECT_FALSE(ProcessMarked(model, host).confirmed);
  EXPECT_TRUE(Exists(t("f")) && host.phases.isEmpty());
  EXPECT_EQ(Marks(model), "1");

  host.answer = true;
  EXPECT_EQ(ProcessMarked(model, host).processed, 1);
  EXPECT_FALSE(Exists(t("f")));
  EXPECT_EQ(host.phases.join(','), "started,finished 1 0 0");
  EXPECT_EQ(host.progress.join(','), "100");  // one row: the bar is full
  EXPECT_EQ(host.asked.join(','), "1 1,1 1");

  // A run that is stopped ends at its next pump: the rows after it stay
  // marked, and no end is reported.
  ResultModel stopped;
  Fill(stopped, {t("f"), "+" + t("g"), "+" + t("g2")});
  RunToken run = RunToken::Start();
  int pumps = 0;
  host.onPump = [&] {
    if (++pumps == 2) run.stop();
  };
  host.phases.clear();
  EXPECT_FALSE(ProcessMarked(stopped, host, run).completed);
  EXPECT_EQ(host.phases.join(','), "started");
  EXPECT_EQ(Marks(stopped), "011");
  EXPECT_TRUE(Exists(t("g")));
}

TEST(Processing, MoveCreatesTheDestinationAndNeverReplacesAFile) {
  const Tree t{{"a/x", "x"}, {"b/y", "first"}, {"c/y", "second"}, {"d/z", "z"}};
  ReadOnly(t("a/x"));
  ReadOnly(t("c/y"));
  ResultModel model;
  Fill(model, {"+" + t("a/x"), "+" + t("b/y"), "|", "+" + t("c/y"), t("d/z")});
  Proc host;
  host.processMode = ProcessMode::Move;
  host.dest = t("out/deep/dup");
  EXPECT_EQ(ProcessMarked(model, host).processed, 2);
  QFile moved(t("out/deep/dup/y"));
  EXPECT_TRUE(moved.open(QIODevice::ReadOnly) && moved.readAll() == "first");
  EXPECT_TRUE(QFileInfo(t("out/deep/dup/x")).permissions() & QFile::WriteOwner);  // read-only cleared
  EXPECT_FALSE(Exists(t("a/x")));
  EXPECT_TRUE(Exists(t("c/y")) && Exists(t("d/z")));
  EXPECT_EQ(QFileInfo(t("c/y")).permissions() & QFile::WriteOwner, 0);  // its move failed: still read-only
  EXPECT_EQ(Marks(model), "00000");
  EXPECT_TRUE(host.failedRows.isEmpty());
  EXPECT_EQ(host.kept, QStringList{t("c/y")});  // no copy of it stays behind
}

TEST(Processing, MoveWithoutADestinationStopsAtTheFirstMarkedRow) {
  const Tree t{{"a", "1"}, {"b", "1"}, {"k", "1"}};
  ResultModel model;
  Fill(model, {t("k"), "+" + t("gone"), "+" + t("a"), "+" + t("b")});  // the first marked file is already gone
  Proc host;
  host.processMode = ProcessMode::Move;
  EXPECT_FALSE(ProcessMarked(model, host).completed);
  EXPECT_EQ(host.browsed, 1);
  EXPECT_EQ(host.phases.join(','), "started");
  EXPECT_EQ(Marks(model), "0111");
  EXPECT_TRUE(Exists(t("a")) && Exists(t("b")));

  host.picked = t("picked");  // a folder picked: used for this row and the rest
  EXPECT_EQ(ProcessMarked(model, host).processed, 3);
  EXPECT_EQ(host.browsed, 2);
  EXPECT_TRUE(Exists(t("picked/a")) && Exists(t("picked/b")));
}

TEST(Processing, OnlyTheEmptiedFolderOfAFileIsRemoved) {
  const Tree t{{"p/f1/a", "1"}, {"f2/b", "1"}, {"f2/.hidden", "1"}, {"f3/c", "1"}};
  t.folder("f3/empty");
  t.folder("f4");  // the folder of a file already gone is tried too
  ResultModel model;
  Fill(model, {"+" + t("p/f1/a"), "+" + t("f2/b"), "+" + t("f3/c"), "+" + t("f4/gone")});
  Proc host;
  host.emptyFolders = true;
  EXPECT_EQ(ProcessMarked(model, host).processed, 4);
  EXPECT_FALSE(Exists(t("p/f1")) || Exists(t("f4")));
  EXPECT_TRUE(Exists(t("p")) && Exists(t("f2/.hidden")) && Exists(t("f3/empty")));
}

// However many files of one name the trash holds, one more goes in, under
// a name of its own that its description shares.
TEST(Processing, RecycleSendsFilesToTheTrashOfTheHomeFolder) {
  const Tree t{{"docs/r", "1"}, {"more/r", "2"}};
  const QByteArray home = qgetenv("HOME"), data = qgetenv("XDG_DATA_HOME");
  qputenv("HOME", QFile::encodeName(t.folder("home")));
  qputenv("XDG_DATA_HOME", QFile::encodeName(t("home/data")));  // made by the first recycle
  ResultModel model;
  Fill(model, {"+" + t("docs/r")});
  Proc host;
  host.processMode = ProcessMode::Recycle;
  const int processed = ProcessMarked(model, host).processed;
  // The names r.2 to r.9999 taken as well.
  const QByteArray info = QFile::encodeName(t("home/data/Trash/info/r."));
  for (int n = 2; n < 10000; ++n)
    ::close(open(info + QByteArray::number(n) + ".trashinfo", O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
  ResultModel more;
  Fill(more, {"+" + t("more/r")});
  const ProcessResult second = ProcessMarked(more, host);
  qputenv("HOME", home);
  qputenv("XDG_DATA_HOME", data);
  EXPECT_EQ(processed, 1);
  EXPECT_FALSE(Exists(t("docs/r")));
  EXPECT_EQ(t.read("home/data/Trash/files/r"), "1");
  EXPECT_EQ(second.processed, 1);
  EXPECT_EQ(second.failed, 0);
  const QStringList named = QDir(t("home/data/Trash/files")).entryList({"r.*"}, QDir::Files);
  ASSERT_EQ(named.size(), 1);
  EXPECT_EQ(t.read("home/data/Trash/files/" + named[0]), "2");
  EXPECT_TRUE(t.read("home/data/Trash/info/" + named[0] + ".trashinfo").contains("Path=" + t("more/r").toUtf8()));
}

// A move to another file system carries the bytes, the times, the extended
// attributes and the ACL exactly (not one the destination's default ACL
// would give), or fails and keeps the original.
TEST(Processing, MoveToAnotherFileSystemCopiesWholeAndLeavesNoTemporaryFile) {
  QByteArray content;
  for (int i = 0; i < 300000; ++i) content += char(i * 7 % 251);
  const Tree t{{"g/f", "other"}, {"h", "plain"}};
  t.file("f", content);
  const Tree other(QStringLiteral("/dev/shm/zorvik-test-XXXXXX"));
  struct stat here, there;
  if (!other.valid() || stat(QFile::encodeName(t.root()).constData(), &here) != 0 ||
      stat(QFile::encodeName(other.root()).constData(), &there) != 0 || here.st_dev == there.st_dev)
    GTEST_SKIP() << "no second file system";
  // f: nobody may read it, whatever its permissions say; both file systems
  // keep ACLs and user attributes.
  ASSERT_EQ(chmod(QFile::encodeName(t("f")).constData(), 0640), 0);
  const QByteArray acl =
      Acl({{kOwner, 6, kNoId}, {kUser, 0, 65534}, {kGroup, 4, kNoId}, {kMask, 4, kNoId}, {kOther, 0, kNoId}});
  ASSERT_TRUE(SetAttribute(t("f"), "system.posix_acl_access", acl) && SetAttribute(t("f"), "user.origin", "camera"));
  ASSERT_TRUE(SetAttribute(
      other.root(), "system.posix_acl_default",
      Acl({{kOwner, 7, kNoId}, {kUser, 7, 65534}, {kGroup, 5, kNoId}, {kMask, 7, kNoId}, {kOther, 5, kNoId}})));
  const mode_t modeOfF = Mode(t("f")), modeOfH = Mode(t("h"));
  ResultModel model;
  Fill(model, {"+" + t("f"), "+" + t("g/f"), "|", "+" + t("h")});
  Proc host;
  host.processMode = ProcessMode::Move;
  host.dest = other.root();
  EXPECT_EQ(ProcessMarked(model, host).processed, 2);
  EXPECT_EQ(QDir(other.root()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            (QStringList{"f", "h"}));
  QFile moved(other("f"));
  EXPECT_TRUE(moved.open(QIODevice::ReadOnly) && moved.readAll() == content);
  EXPECT_EQ(QFileInfo(other("f")).lastModified().toSecsSinceEpoch(), kMtime);
  EXPECT_EQ(Attribute(other("f"), "system.posix_acl_access"), acl.toHex().toStdString());
  EXPECT_EQ(Attribute(other("f"), "user.origin"), QByteArray("camera").toHex().toStdString());
  EXPECT_EQ(Mode(other("f")), modeOfF);
  EXPECT_EQ(Attribute(other("h"), "system.posix_acl_access"), "-");  // none taken from the destination
  EXPECT_EQ(Mode(other("h")), modeOfH);
  EXPECT_FALSE(Exists(t("f")) || Exists(t("h")));
  EXPECT_TRUE(Exists(t("g/f")));

  // A file system that keeps no attributes, where root may mount one.
  const QString bare = t.folder("bare");
  t.file("k", "kept");
  ASSERT_TRUE(SetAttribute(t("k"), "user.origin", "camera"));
  if (getuid() != 0 || mount("ramfs", QFile::encodeName(bare).constData(), "ramfs", 0, nullptr) != 0)
    GTEST_SKIP() << "a file system without attributes can only be mounted as root";
  ResultModel kept;
  Fill(kept, {"+" + t("k")});
  host.dest = bare;
  const ProcessResult r = ProcessMarked(kept, host);
  const QStringList left = QDir(bare).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
  umount(QFile::encodeName(bare).constData());
  EXPECT_EQ(r.failed, 1);
  EXPECT_EQ(host.failedRows.last(), t("k") + ": its extended attributes or ACLs could not be carried over");
  EXPECT_TRUE(left.isEmpty());
  EXPECT_EQ(t.read("k"), "kept");
}

// A removal keeps an identical copy: the group must still hold an unmarked
// row whose file exists and has the same bytes, or the marked file stays.
TEST(ProcessingSafety, AStaleListNeverTakesTheLastCopy) {
  const Tree t{{"a/keep", "same"}, {"a/twin", "same"}, {"b/keep", "abcd"},
               {"b/twin", "abce"}, {"c/keep", "x"},    {"c/twin", "x"}};
  ResultModel model;
  Fill(model,
       {t("a/keep"), "+" + t("a/twin"), "|", t("b/keep"), "+" + t("b/twin"), "|", t("c/keep"), "+" + t("c/twin")});
  QFile::remove(t("a/keep"));  // the kept copy went away since the scan
  ReadOnly(t("a/twin"));
  Proc host;
  host.processMode = ProcessMode::Recycle;
  EXPECT_EQ(ProcessMarked(model, host).kept, 2);
  EXPECT_EQ(host.phases.last(), "finished 1 2 0");
  EXPECT_EQ(host.kept, (QStringList{t("a/twin"), t("b/twin")}));
  EXPECT_EQ(Marks(model), "00000000");  // kept rows are unmarked like any processed row
  EXPECT_TRUE(Exists(t("a/twin")));     // its only copy is gone: kept
  EXPECT_TRUE(Exists(t("b/twin")));     // one byte differs from the kept file
  EXPECT_FALSE(Exists(t("c/twin")));
  EXPECT_TRUE(host.wholeGroupQuestions.isEmpty());
  EXPECT_EQ(QFileInfo(t("a/twin")).permissions() & QFile::WriteOwner, 0);  // kept: still read-only

  // The same row twice is no copy of itself.
  ResultModel same;
  Fill(same, {t("b/keep"), "+" + t("b/keep")});
  host.processMode = ProcessMode::Remove;
  EXPECT_EQ(ProcessMarked(same, host).kept, 1);
  EXPECT_TRUE(Exists(t("b/keep")));
  EXPECT_EQ(host.phases.last(), "finished 0 1 0");

  // The common case costs what it always cost: one kept file and its copy
  // are opened and read once each.
  const QByteArray page(5000, 'p');
  ResultModel pair;
  Fill(pair, {t.file("p/keep", page), "+" + t.file("p/twin", page)});
  ProcessResult r = ProcessMarked(pair, host);
  EXPECT_EQ(r.processed, 1);
  EXPECT_EQ(r.cost.filesOpened, 2);
  EXPECT_EQ(r.cost.bytesRead, 2 * page.size());

  // A copy further down its group is found by its content.
  ResultModel later;
  Fill(later, {t.file("q/changed", "sane"), t.file("q/keep", "same"), "+" + t.file("q/m1", "same"),
               "+" + t.file("q/m2", "same")});
  EXPECT_EQ(ProcessMarked(later, host).processed, 2);
  EXPECT_TRUE(Exists(t("q/changed")) && Exists(t("q/keep")) && !Exists(t("q/m1")) && !Exists(t("q/m2")));

  // A list gone stale everywhere: 2,000 unmarked rows and 500 marked ones,
  // every file different. Each file is opened and read a few times, never
  // once for every pair.
  const int unmarked = 2000, marked = 500;
  QStringList rows;
  for (int k = 0; k < unmarked; ++k) rows << t.file(QStringLiteral("s/u%1").arg(k), "u" + QByteArray::number(k));
  for (int k = 0; k < marked; ++k) rows << "+" + t.file(QStringLiteral("s/m%1").arg(k), "m" + QByteArray::number(k));
  ResultModel stale;
  Fill(stale, rows);
  r = ProcessMarked(stale, host);
  EXPECT_EQ(r.kept, marked);
  EXPECT_TRUE(Exists(t("s/m0")) && Exists(t(QStringLiteral("s/m%1").arg(marked - 1))));
  EXPECT_LE(r.cost.filesOpened, 2 * (unmarked + marked));
  EXPECT_LE(r.cost.bytesRead, 3 * 6 * (unmarked + marked));  // at most 5 bytes a file
}

TEST(ProcessingSafety, GroupsWithEveryCopyMarkedAreAskedAbout) {
  const Tree t{{"a", "1"}, {"b", "1"}, {"c", "2"}, {"d", "2"}, {"e", "3"}, {"f", "3"}};
  ResultModel model;
  Fill(model, {"+" + t("a"), "+" + t("b"), "|", "+" + t("c"), "+" + t("d"), "|", t("e"), "+" + t("f")});
  Proc host;
  host.removeWholeGroups = false;
  ProcessResult r = ProcessMarked(model, host);
  EXPECT_EQ(host.wholeGroupQuestions.join(','), "2");
  EXPECT_EQ(r.spared, 4);
  EXPECT_EQ(r.kept, 4);  // kept on request: counted at the end too
  EXPECT_EQ(host.phases.last(), "finished 1 4 0");
  EXPECT_EQ(host.kept.join(','), QStringList({t("a"), t("b"), t("c"), t("d")}).join(','));
  EXPECT_EQ(r.processed, 1);
  EXPECT_TRUE(Exists(t("a")) && Exists(t("b")) && Exists(t("c")) && Exists(t("d")) && !Exists(t("f")));
  EXPECT_EQ(Marks(model), "00000000");

  model.clear();
  Fill(model, {"+" + t("a"), "+" + t("b")});
  host.removeWholeGroups = true;
  r = ProcessMarked(model, host);
  EXPECT_EQ(host.wholeGroupQuestions.last(), "1");
  EXPECT_EQ(r.processed, 2);
  EXPECT_FALSE(Exists(t("a")) || Exists(t("b")));

  // Moving is not destructive: no question, no check.
  model.clear();
  Fill(model, {"+" + t("c"), "+" + t("d")});
  host.processMode = ProcessMode::Move;
  host.dest = t("moved");
  host.wholeGroupQuestions.clear();
  EXPECT_EQ(ProcessMarked(model, host).processed, 2);
  EXPECT_TRUE(host.wholeGroupQuestions.isEmpty());
}
