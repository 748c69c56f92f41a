// Trees and file systems that try to make a scan or a move lose data:
// unreadable entries, files that change after the walk, names that are not
// text, very deep trees, special files, a full target file system.
#include "platform/fs.h"
#include "results/listfile.h"
#include "tree.h"

#include <QProcess>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Scans `folder` and returns the rows as Host::rows gives them.
QString Scan(const Tree& t, const QString& folder, Host* use = nullptr, ScanGaps* gaps = nullptr) {
  Host local(folder);
  Host& host = use ? *use : local;
  host.folders = folder;
  ScanDriver driver(host);
  driver.Scan();
  if (gaps) *gaps = driver.gaps();
  return host.rows(t);
}

// What a scan could not look at, as "gap:error:count" joined by ' '.
QString Gaps(const ScanGaps& gaps) {
  QStringList out;
  for (const GapCount& c : gaps.counts()) out << QString("%1:%2:%3").arg(int(c.gap)).arg(c.error).arg(c.count);
  return out.join(' ');
}

// Runs `work` as the unprivileged user "nobody" (as is when not root) and
// returns what it wrote to standard output.
QString AsNobody(const std::function<QString()>& work) {
  if (getuid() != 0) return work();
  int out[2];
  if (pipe(out) != 0) return QStringLiteral("pipe failed");
  const pid_t child = fork();
  if (child == 0) {
    close(out[0]);
    if (setgid(65534) != 0 || setuid(65534) != 0) _exit(3);
    const QByteArray text = work().toUtf8();
    _exit(write(out[1], text.constData(), static_cast<size_t>(text.size())) == text.size() ? 0 : 4);
  }
  close(out[1]);
  QByteArray text;
  char buffer[4096];
  for (ssize_t got; (got = read(out[0], buffer, sizeof buffer)) > 0;) text.append(buffer, got);
  close(out[0]);
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? QString::fromUtf8(text) : QStringLiteral("child failed");
}

}  // namespace

TEST(Hostile, UnreadableFilesAndFoldersAreSkippedAndNothingElseIsLost) {
  const Tree t{{"a/x", "same"}, {"b/x", "same"}, {"locked/y", "same"}, {"c/z", "same"}, {"c/w", "same"}};
  chmod(QFile::encodeName(t.root()).constData(), 0755);
  chmod(QFile::encodeName(t("locked")).constData(), 0);
  chmod(QFile::encodeName(t("c/z")).constData(), 0);
  // ... and counted, each with its reason.
  ScanGaps gaps;
  gaps.add(Gap::FolderUnreadable, EACCES);
  gaps.add(Gap::FileNotOpened, EACCES);
  EXPECT_EQ(AsNobody([&] {
              ScanGaps found;
              const QString rows = Scan(t, t.root(), nullptr, &found);
              return rows + " / " + Gaps(found);
            }),
            "a/x b/x+ c/w+ / " + Gaps(gaps));
}

TEST(Hostile, FilesChangedBetweenTheWalkAndTheComparisonAreNoCopies) {
  const QByteArray same(5000, 'x');
  Tree t;
  for (const char* name : {"p1", "p2", "p3", "p4", "p5", "p6"}) t.file(name, same);
  Host host;
  bool changed = false;
  host.onPump = [&] {
    if (changed || host.count("comparing") == 0) return;
    changed = true;
    QFile::remove(t("p1"));
    QFile(t("p2")).resize(4000);                           // truncated
    t.file("p3", same + "more");                           // grown
    t.file("p4", QByteArray(same).replace(2500, 1, "y"));  // rewritten, same size
  };
  EXPECT_EQ(Scan(t, t.root(), &host), "p5 p6+");
  EXPECT_TRUE(changed);
}

TEST(Hostile, NamesThatAreNotTextAreNeverActedOnUnderAnotherName) {
  const Tree t{{"good.bin", "content"}};
  const QByteArray bad = QFile::encodeName(t.root()) + "/bad\xff\xfe.bin";
  const int fd = open(bad.constData(), O_WRONLY | O_CREAT, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(write(fd, "content", 7), 7);
  close(fd);
  Host host(t.root());
  ScanDriver driver(host);
  driver.Scan();
  EXPECT_EQ(driver.candidates().count(), 1);  // the name that is no text is left out, and counted
  EXPECT_EQ(driver.gaps().total(Gap::NameNotText), 1);
  EXPECT_EQ(host.model.count(), 0);
  EXPECT_EQ(access(bad.constData(), F_OK), 0);
  unlink(bad.constData());
}

TEST(Hostile, VeryDeepTreesAndOverlongPathsEndWithoutACrash) {
  const Tree t{{"top/x", "deep"}};
  // 2,000 levels, paths far longer than 4,096 bytes: made folder by folder.
  int dir = open(QFile::encodeName(t.root()).constData(), O_RDONLY | O_DIRECTORY);
  ASSERT_GE(dir, 0);
  for (int level = 0; level < 2000; ++level) {
    ASSERT_EQ(mkdirat(dir, "ddd", 0755), 0);
    const int next = openat(dir, "ddd", O_RDONLY | O_DIRECTORY);
    close(dir);
    ASSERT_GE(next, 0);
    dir = next;
    if (level == 10 || level == 1999) {
      const int fd = openat(dir, "x", O_WRONLY | O_CREAT, 0644);
      ASSERT_EQ(write(fd, "deep", 4), 4);
      close(fd);
    }
  }
  close(dir);
  const QString level10 = QStringLiteral("ddd/").repeated(11) + "x";
  ScanGaps gaps;
  EXPECT_EQ(Scan(t, t.root(), nullptr, &gaps), level10 + " top/x+");  // the file past the path limit is passed over
  EXPECT_EQ(Gaps(gaps), QString("%1:%2:1").arg(int(Gap::FolderUnreadable)).arg(ENAMETOOLONG));  // and counted
  QProcess::execute(QStringLiteral("rm"), {QStringLiteral("-rf"), t("ddd")});
}

TEST(Hostile, SpecialFilesAreNeverCandidates) {
  const Tree t{{"a", "x"}, {"b", "x"}};
  ASSERT_EQ(mkfifo(QFile::encodeName(t("fifo")).constData(), 0644), 0);
  const int s = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const QByteArray socketPath = QFile::encodeName(t("socket"));
  ASSERT_LT(socketPath.size(), static_cast<qsizetype>(sizeof address.sun_path));
  std::memcpy(address.sun_path, socketPath.constData(), static_cast<size_t>(socketPath.size()));
  ASSERT_EQ(bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  const bool device = mknod(QFile::encodeName(t("device")).constData(), S_IFCHR | 0644, makedev(1, 3)) == 0;
  Host host(t.root());
  ScanDriver driver(host);
  driver.Scan();
  close(s);
  EXPECT_EQ(driver.candidates().count(), 2);
  EXPECT_EQ(host.rows(t), "a b+");
  fs::ReadFile file;
  EXPECT_FALSE(file.open(t("fifo")));
  if (device) {
    EXPECT_FALSE(file.open(t("device")));
  }
}

TEST(Hostile, AMoveOntoAFullFileSystemLeavesTheSourceWholeAndNoPartialTarget) {
  const Tree t{{"big", ""}};
  const QByteArray content(300 * 1024, 'z');
  t.file("big", content);
  const QString target = t.folder("small");
  if (getuid() != 0 || mount("tmpfs", QFile::encodeName(target).constData(), "tmpfs", 0, "size=64k") != 0)
    GTEST_SKIP() << "a small file system can only be mounted as root";
  fs::HeldFile big;
  fs::HeldFolder to;
  int error = 0;
  ASSERT_TRUE(big.open(t("big"), &error) && to.open(target, &error));
  EXPECT_FALSE(big.moveInto(to, &error));
  EXPECT_EQ(error, ENOSPC);
  QFile source(t("big"));
  ASSERT_TRUE(source.open(QIODevice::ReadOnly));
  EXPECT_EQ(source.readAll(), content);
  EXPECT_TRUE(QDir(target).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty());
  umount(QFile::encodeName(target).constData());
}

// The walk stays inside the named folders and lists each file once: a link
// to a folder outside is not entered, a hard link or a file mounted over
// another name is listed under its first name only, a name with a line
// break (which would add rows to the list file) is left out, "photos" does
// not swallow "photos2", and a relative root gives rows with absolute paths.
TEST(Hostile, TheWalkStaysInsideTheNamedFoldersAndListsEachFileOnce) {
  const Tree t{{"tree/a", "same"}, {"tree/d", "same"}, {"outside/c", "same"}, {"tree/m/z", "bound"},
               {"tree/m/y", ""},   {"photos/x", "p"},  {"photos2/x", "p"}};
  ASSERT_EQ(link(QFile::encodeName(t("tree/a")).constData(), QFile::encodeName(t("tree/b")).constData()), 0);
  t.link(t("outside"), "tree/link");
  t.file("tree/z\n1;secret;" + t("outside/c"), "same");
  t.file("tree/n\r/e", "same");
  const QByteArray z = QFile::encodeName(t("tree/m/z")), y = QFile::encodeName(t("tree/m/y"));
  const bool bound = getuid() == 0 && mount(z.constData(), y.constData(), nullptr, MS_BIND, nullptr) == 0;
  Host host;
  const QString rows = Scan(t, t("tree"), &host);  // a and b: one file, listed under the name met first
  EXPECT_TRUE(rows == "tree/a tree/d+" || rows == "tree/b tree/d+") << qPrintable(rows);
  EXPECT_FALSE(ListFileBytes(host.model).contains("secret"));
  if (bound) umount(y.constData());

  EXPECT_EQ(Scan(t, t("photos") + ';' + t("photos2") + ';'), "photos/x photos2/x+");

  const QString saved = QDir::currentPath();
  ASSERT_TRUE(QDir::setCurrent(t("photos")));
  EXPECT_EQ(Scan(t, QStringLiteral("./;../photos2")), "photos/x photos2/x+");  // absolute rows
  QDir::setCurrent(saved);
}

// Outputs write into a FIFO or a device as they are, and through a link into
// the file it names, never replacing any of them with a new file.
TEST(Hostile, SavedListsNeverReplaceADeviceAFifoOrALink) {
  const Tree t{{"target", "old"}};
  ResultModel model;
  model.appendFileRow({100, "/p/a", kMtime});
  const QByteArray expected = ListFileBytes(model);
  QString error;

  // A FIFO is written when it has a reader, and refused without waiting
  // when it has none.
  const QByteArray fifo = QFile::encodeName(t("fifo"));
  ASSERT_EQ(mkfifo(fifo.constData(), 0644), 0);
  const int reader = open(fifo.constData(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  EXPECT_TRUE(SaveListFile(model, t("fifo"), &error)) << qPrintable(error);
  QByteArray got(4096, 0);
  got.resize(std::max<ssize_t>(0, read(reader, got.data(), 4096)));
  EXPECT_EQ(got, expected);
  close(reader);
  EXPECT_FALSE(SaveListFile(model, t("fifo"), &error));
  EXPECT_EQ(error, t("fifo") + ": a FIFO that nobody reads");
  struct stat st;
  EXPECT_TRUE(lstat(fifo.constData(), &st) == 0 && S_ISFIFO(st.st_mode));

  t.link(t("target"), "to-target");
  EXPECT_TRUE(SaveListFile(model, t("to-target"), &error));
  EXPECT_TRUE(QFileInfo(t("to-target")).isSymLink());
  QFile target(t("target"));
  EXPECT_TRUE(target.open(QIODevice::ReadOnly) && target.readAll() == expected);

  const QByteArray device = QFile::encodeName(t("null"));
  if (getuid() != 0 || mknod(device.constData(), S_IFCHR | 0666, makedev(1, 3)) != 0)
    GTEST_SKIP() << "a device node can only be made as root";
  t.link(t("null"), "to-null");
  EXPECT_TRUE(SaveListFile(model, t("null"), &error));
  EXPECT_TRUE(SaveListFile(model, t("to-null"), &error));
  EXPECT_TRUE(lstat(device.constData(), &st) == 0 && S_ISCHR(st.st_mode));
  EXPECT_TRUE(QFileInfo(t("to-null")).isSymLink());
}

// Roots and the protected folder are the folders they name: a root named
// through a link or with ".." inside another root is walked, and a
// protected folder typed through a link protects its files. As root, a
// root or a protected folder that another user's link steers into root's
// own folders is refused with a message, the other roots are walked, and a
// refused protected folder leaves the scan unmarked.
TEST(Hostile, RootsAndTheProtectedFolderAreTheFoldersTheyName) {
  const Tree t{{"a/x", "same"}, {"b/x", "same"}, {"keep/x", "same"}};
  t.link(t("b"), "a/ln");
  t.link(t("keep"), "pictures");
  EXPECT_EQ(Scan(t, t("a") + ';' + t("a/ln") + ';'), "a/x b/x+");
  EXPECT_EQ(Scan(t, t("a") + ';' + t("a/../b") + ';'), "a/x b/x+");
  Host host;
  host.protect = t("pictures");
  EXPECT_EQ(Scan(t, t("a") + ';' + t("keep") + ';', &host), "a/x+ keep/x");

  if (getuid() != 0) GTEST_SKIP() << "only root can be steered into another owner's folders";
  const QByteArray user = QFile::encodeName(t.folder("user")), link = user + "/photos";
  ASSERT_EQ(symlink(QFile::encodeName(t("keep")).constData(), link.constData()), 0);
  ASSERT_EQ(lchown(link.constData(), 65534, 65534), 0);
  ASSERT_EQ(chown(user.constData(), 65534, 65534), 0);
  const QString steered = QFile::decodeName(link);
  const QString refusal = steered + ": the path leads from a folder of one user into a folder or file of another";
  Host roots;
  EXPECT_EQ(Scan(t, t("a") + ';' + t("b") + ';' + steered + ';', &roots), "a/x b/x+");
  EXPECT_EQ(roots.values("refused"), refusal);
  Host protect;
  protect.protect = steered;
  EXPECT_EQ(Scan(t, t("a") + ';' + t("b") + ';', &protect), "a/x b/x");
  EXPECT_EQ(protect.values("refused"), refusal);
  EXPECT_EQ(protect.count("markAll"), 0);
}

// Outputs that another user planted in a shared sticky folder (or on the
// way to it) are refused, and nothing outside changes: their link to
// root's file, their dangling link, their own file, and their link on the
// way to root's folder. Root's own link there is followed.
TEST(Hostile, OutputsPlantedByAnotherUserAreRefused) {
  if (getuid() != 0) GTEST_SKIP() << "only root can plant files of another user";
  const Tree t{{"secret", "root only"}, {"mine", "old"}};
  const QString shared = t.folder("shared"), user = t.folder("user"), rootFolder = t.folder("root");
  ASSERT_EQ(chmod(QFile::encodeName(shared).constData(), 01777), 0);
  auto plant = [&](const QString& target, const QString& at) {
    const QByteArray path = QFile::encodeName(t(at));
    EXPECT_EQ(symlink(QFile::encodeName(target).constData(), path.constData()), 0);
    EXPECT_EQ(lchown(path.constData(), 65534, 65534), 0);
  };
  plant(t("secret"), "shared/to-secret");
  plant(t("shared/nowhere"), "shared/dangling");
  plant(rootFolder, "user/dir");
  t.file("shared/theirs", "their text");
  for (const char* name : {"shared/theirs", "user"})
    ASSERT_EQ(chown(QFile::encodeName(t(name)).constData(), 65534, 65534), 0);
  ASSERT_EQ(chmod(QFile::encodeName(t("shared/theirs")).constData(), 0666), 0);
  t.link(t("mine"), "shared/mine");

  ResultModel model;
  model.appendFileRow({100, "/p/a", kMtime});
  const QString sharedLink = ": the path leads through another user's link in a shared folder";
  const struct {
    const char* output;
    QString reason;
  } refused[] = {{"shared/to-secret", sharedLink},
                 {"shared/dangling", sharedLink},
                 {"shared/theirs", ": the file belongs to another user"},
                 {"user/dir/list", ": the path leads from a folder of one user into a folder or file of another"}};
  for (const auto& r : refused) {
    QString error;
    EXPECT_FALSE(SaveListFile(model, t(r.output), &error));
    EXPECT_EQ(error, t(r.output) + r.reason);
  }
  EXPECT_EQ(t.read("secret"), "root only");
  EXPECT_EQ(t.read("shared/theirs"), "their text");
  EXPECT_FALSE(t.exists("shared/nowhere") || t.exists("root/list"));
  QString error;
  EXPECT_TRUE(SaveListFile(model, t("shared/mine"), &error)) << qPrintable(error);
  EXPECT_EQ(t.read("mine"), ListFileBytes(model));
}
