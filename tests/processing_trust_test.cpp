// Processing on a tree whose owner works against the run: folders swapped
// for links, names swapped for other files, copies that are not copies,
// destinations swapped while files move into them.
#include "processing_host.h"

#include "platform/fs.h"

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>

// What the owner of a scanned tree can do while a run goes on: swap a folder
// for a link at the moment the marked file is opened. The action still
// takes the file that was opened and proved, and nothing outside the tree.
TEST(ProcessingTrust, AFolderSwappedForALinkRedirectsNoAction) {
  static QString swapped;  // the folder to swap, read by the hook
  fs::g_beforeAction = [](const QString& path) {
    if (path != swapped + "/z") return;
    const QByteArray folder = QFile::encodeName(swapped);
    ASSERT_EQ(rename(folder.constData(), (folder + ".old").constData()), 0);
    ASSERT_EQ(symlink("../outside", folder.constData()), 0);
  };
  const Tree data;
  const QByteArray savedDataHome = qgetenv("XDG_DATA_HOME");
  qputenv("XDG_DATA_HOME", data.root().toUtf8());
  for (const ProcessMode mode : {ProcessMode::Remove, ProcessMode::Recycle, ProcessMode::Move}) {
    const Tree t{{"tree/d/z", "same"}, {"tree/k", "same"}, {"outside/z", "same"}};
    ReadOnly(t("outside/z"));
    swapped = t("tree/d");
    ResultModel model;
    Fill(model, {t("tree/k"), "+" + t("tree/d/z")});
    Proc host;
    host.processMode = mode;
    host.dest = t("dest");
    const ProcessResult r = ProcessMarked(model, host);
    EXPECT_EQ(r.processed, 1);
    EXPECT_EQ(r.failed, 0);
    EXPECT_TRUE(QFileInfo(t("tree/d")).isSymLink());                            // the swap took place
    EXPECT_FALSE(Exists(t("tree/d.old/z")));                                    // the proved file was acted on
    EXPECT_EQ(QFileInfo(t("outside/z")).permissions() & QFile::WriteOwner, 0);  // the file outside: untouched
    EXPECT_TRUE(Exists(t("outside/z")) && Exists(t("tree/k")));
    if (mode == ProcessMode::Move) {
      EXPECT_TRUE(Exists(t("dest/z")));
    }
  }
  EXPECT_TRUE(Exists(data("Trash/files/z")));
  qputenv("XDG_DATA_HOME", savedDataHome);
  fs::g_beforeAction = nullptr;

  // A folder swapped for another one with the same bytes under the same
  // name after the scan: the file there is not the one the scan found. A
  // file saved anew in its own folder (a new file under the same name) is,
  // as long as its bytes are still those of its copy.
  const Tree t{{"tree/a/f", "data"}, {"tree/d/f", "data"}, {"tree/e/f", "data"}, {"other/f", "data"}};
  Host scan(t("tree"));
  ScanDriver(scan).Scan();
  ASSERT_EQ(scan.rows(t), "tree/a/f tree/d/f+ tree/e/f+");
  ASSERT_TRUE(QDir().rename(t("tree/d"), t("tree/d.real")) && QDir().rename(t("other"), t("tree/d")));
  t.file("tree/e/f.saving", "data");
  ASSERT_EQ(rename(QFile::encodeName(t("tree/e/f.saving")).constData(), QFile::encodeName(t("tree/e/f")).constData()),
            0);
  Proc host;
  const ProcessResult r = ProcessMarked(scan.model, host);
  EXPECT_EQ(r.failed, 1);
  EXPECT_EQ(r.processed, 1);
  EXPECT_EQ(host.failedRows.join(','), t("tree/d/f") + ": not the file the scan found under this name");
  EXPECT_TRUE(Exists(t("tree/d/f")) && Exists(t("tree/d.real/f")) && !Exists(t("tree/e/f")));
}

// A file under two names (a hard link, a file mounted over another name)
// is no copy of itself; a row through a link, a relative row and a row
// naming a FIFO are not acted on and fail; a file already gone is counted
// as the run always counted it, and never as kept.
TEST(ProcessingTrust, OnlyAnotherFileWithTheSameBytesIsACopy) {
  const Tree t{{"real/x", "same"}, {"real/k", "same"}, {"a", "one"}, {"bind/z", "only"}, {"bind/y", ""}};
  ASSERT_EQ(link(QFile::encodeName(t("a")).constData(), QFile::encodeName(t("b")).constData()), 0);
  t.link(t("real"), "ln");
  ASSERT_EQ(mkfifo(QFile::encodeName(t("fifo")).constData(), 0644), 0);
  ResultModel model;
  Fill(model,
       {t("a"), "+" + t("b"), "|", t("real/k"), "+" + t("ln/x"), "+real/x", "+" + t("fifo"), "+" + t("real/gone")});
  Proc host;
  ProcessResult r = ProcessMarked(model, host);
  EXPECT_TRUE(Exists(t("a")) && Exists(t("b")) && Exists(t("real/x")) && Exists(t("fifo")));
  EXPECT_EQ(r.kept, 1);       // b: a hard link of a
  EXPECT_EQ(r.processed, 1);  // real/gone: nothing is at its path
  EXPECT_EQ(r.failed, 3);
  EXPECT_EQ(host.failedRows.join('\n'), t("ln/x") +
                                            ": the path leads through a link\nreal/x: the path is not absolute\n" +
                                            t("fifo") + ": not a regular file");
  EXPECT_EQ(host.gone, QStringList{t("real/gone") + " = " + QString::number(ENOENT)});
  EXPECT_EQ(host.kept, QStringList{t("b")});
  EXPECT_EQ(host.phases.last(), "finished 1 1 3");

  // The same under Move, onto another file system where root may mount one:
  // the FIFO fails at once instead of blocking the run.
  const QString other = t.folder("other");
  const bool mounted =
      getuid() == 0 && mount("tmpfs", QFile::encodeName(other).constData(), "tmpfs", 0, "size=1m") == 0;
  // A set-user-ID file that crosses keeps its owner, or loses the bit: a
  // move run by root never makes a program that runs as root.
  const QByteArray tool = QFile::encodeName(t.file("tool", "#!/bin/sh\n"));
  if (getuid() == 0) {
    ASSERT_EQ(chown(tool.constData(), 65534, 65534), 0);
  }
  ASSERT_EQ(chmod(tool.constData(), 04755), 0);
  ResultModel moves;
  Fill(moves, {t("a"), "+" + t("b"), "|", "+" + t("fifo"), "|", "+" + t("tool")});
  host.processMode = ProcessMode::Move;
  host.dest = other;
  r = ProcessMarked(moves, host);
  EXPECT_EQ(r.kept, 1);
  EXPECT_EQ(r.failed, 1);
  EXPECT_TRUE(Exists(t("b")) && Exists(t("fifo")));
  struct stat moved;
  ASSERT_EQ(stat(QFile::encodeName(other + "/tool").constData(), &moved), 0);
  const uid_t owner = getuid() == 0 ? 65534 : getuid();
  EXPECT_TRUE(moved.st_uid == owner || !(moved.st_mode & S_ISUID));
  if (mounted) umount(QFile::encodeName(other).constData());

  // A file mounted over another name, where root may mount one.
  const QByteArray z = QFile::encodeName(t("bind/z")), y = QFile::encodeName(t("bind/y"));
  if (getuid() != 0 || mount(z.constData(), y.constData(), nullptr, MS_BIND, nullptr) != 0)
    GTEST_SKIP() << "a file can only be mounted over another as root";
  ResultModel bound;
  Fill(bound, {t("bind/z"), "+" + t("bind/y")});
  host.processMode = ProcessMode::Remove;
  EXPECT_EQ(ProcessMarked(bound, host).kept, 1);
  umount(y.constData());
  EXPECT_TRUE(Exists(t("bind/z")));
}

// With "Fast compare" two large files that differ away from the sampled
// blocks form a group; moving the second away from the first still needs
// the bytes to be the same, so the different file stays.
TEST(ProcessingTrust, AMoveAwayFromAnUnmarkedRowNeedsAnIdenticalCopy) {
  const qint64 size = 11 * 1024 * 1024;
  const Tree t;
  t.sized("a", size);
  t.sized("b", size, 100000);  // one byte differs, inside no sample
  Host scan(t.root());
  ScanDriver(scan).Scan();
  ASSERT_EQ(scan.rows(t), "a b+");
  Proc host;
  host.processMode = ProcessMode::Move;
  host.dest = t("dest");
  const ProcessResult r = ProcessMarked(scan.model, host);
  EXPECT_EQ(r.kept, 1);
  EXPECT_EQ(r.processed, 0);
  EXPECT_TRUE(Exists(t("b")) && !Exists(t("dest/b")));
}

// The destination is resolved and held once: a destination swapped for a
// link in the middle of the run takes no file. As root, neither a
// destination nor a row may lead out of a user's folder into root's own:
// not a folder of root's put in place of a listed folder (its file and the
// folder stay), not a missing destination made inside the user's folder.
TEST(ProcessingTrust, TheDestinationIsHeldAndRootIsNeverSteeredIntoItsOwnFiles) {
  static QString dest;  // the destination to swap, read by the hook
  fs::g_beforeAction = [](const QString& path) {
    const QByteArray folder = QFile::encodeName(dest);
    if (!path.endsWith("/b") || QFileInfo(dest).isSymLink()) return;
    ASSERT_EQ(rename(folder.constData(), (folder + ".held").constData()), 0);
    ASSERT_EQ(symlink("outside", folder.constData()), 0);
  };
  const Tree t{{"k", "1"}, {"a", "1"}, {"b", "1"}, {"c", "1"}};
  t.folder("outside");
  dest = t("dest");
  ResultModel model;
  Fill(model, {t("k"), "+" + t("a"), "+" + t("b"), "+" + t("c")});
  Proc host;
  host.processMode = ProcessMode::Move;
  host.dest = dest;
  EXPECT_EQ(ProcessMarked(model, host).processed, 3);
  fs::g_beforeAction = nullptr;
  EXPECT_TRUE(QFileInfo(dest).isSymLink());  // the swap took place
  EXPECT_TRUE(Exists(t("dest.held/a")) && Exists(t("dest.held/b")) && Exists(t("dest.held/c")));
  EXPECT_TRUE(QDir(t("outside")).isEmpty());

  if (getuid() != 0) GTEST_SKIP() << "only root can be steered into another owner's files";
  // A tree of "nobody" where root's folder d, with root's own file, took
  // the place of the listed folder d; e is root's empty folder.
  const QString user = t.folder("user");
  t.file("user/k", "1"), t.file("user/d/x", "1"), t.folder("user/e");
  for (const char* name : {"user", "user/k"}) ASSERT_EQ(chown(QFile::encodeName(t(name)).constData(), 65534, 65534), 0);
  ResultModel grafted;
  Fill(grafted, {t("user/k"), "+" + t("user/d/x"), "+" + t("user/e/x")});
  Proc rootHost;
  rootHost.emptyFolders = true;
  const ProcessResult r = ProcessMarked(grafted, rootHost);
  const QString unsafe = ": the path leads from a folder of one user into a folder or file of another";
  EXPECT_EQ(r.failed, 2);
  EXPECT_EQ(rootHost.failedRows.join(','), t("user/d/x") + unsafe + ',' + t("user/e/x") + unsafe);
  EXPECT_TRUE(Exists(t("user/d/x")) && Exists(t("user/e")));

  // A missing destination inside the user's folder is not made: the run
  // stops before moving anything, and says why.
  ResultModel moves;
  Fill(moves, {t("user/k"), "+" + t.file("m", "1")});
  rootHost.processMode = ProcessMode::Move;
  rootHost.dest = user + "/new/deep";
  const ProcessResult m = ProcessMarked(moves, rootHost);
  EXPECT_FALSE(m.completed);
  EXPECT_EQ(m.destinationError, fs::kUnsafeStep);
  EXPECT_TRUE(rootHost.failedRows.last().startsWith(user + "/new/deep: the path leads from a folder of one user"));
  EXPECT_FALSE(Exists(user + "/new"));
}
