// Trees and file systems that try to make a scan or a move lose data:
// unreadable entries, files that change after the walk, names that are not
// text, very deep trees, special files, a full target file system.
#include "platform/fs.h"
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
QString Scan(const Tree& t, const QString& folder, Host* use = nullptr) {
  Host local(folder);
  Host& host = use ? *use : local;
  host.folders = folder;
  ScanDriver driver(host);
  driver.Scan();
  return host.rows(t);
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
  EXPECT_EQ(AsNobody([&] { return Scan(t, t.root()); }), "a/x b/x+ c/w+");
}

TEST(Hostile, FilesChangedBetweenTheWalkAndTheComparisonAreNoCopies) {
  const QByteArray same(5000, 'x');
  Tree t;
  for (const char* name : {"p1", "p2", "p3", "p4", "p5", "p6"}) t.file(name, same);
  Host host;
  bool changed = false;
  host.onPump = [&] {
    if (changed || !host.list("status").contains("Comparing files, please wait ...")) return;
    changed = true;
    QFile::remove(t("p1"));
    QFile(t("p2")).resize(4000);                                     // truncated
    t.file("p3", same + "more");                                      // grown
    t.file("p4", QByteArray(same).replace(2500, 1, "y"));             // rewritten, same size
  };
  EXPECT_EQ(Scan(t, t.root(), &host), "p5 p6+");
  EXPECT_TRUE(changed);
}

TEST(Hostile, NamesThatAreNotTextAreNeverActedOnUnderAnotherName) {
  const Tree t{{"good.bin", "content"}};
  const QByteArray bad = QFile::encodeName(t.root()) + "bad\xff\xfe.bin";
  const int fd = open(bad.constData(), O_WRONLY | O_CREAT, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(write(fd, "content", 7), 7);
  close(fd);
  Host host(t.root());
  ScanDriver driver(host);
  driver.Scan();
  EXPECT_EQ(driver.candidates().count(), 1);  // the name that is no text is left out
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
  EXPECT_EQ(Scan(t, t.root()), level10 + " top/x+");  // the file past the path limit is passed over
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
  int error = 0;
  ASSERT_TRUE(big.open(t("big"), &error));
  EXPECT_FALSE(big.moveInto(target, &error));
  EXPECT_EQ(error, ENOSPC);
  QFile source(t("big"));
  ASSERT_TRUE(source.open(QIODevice::ReadOnly));
  EXPECT_EQ(source.readAll(), content);
  EXPECT_TRUE(QDir(target).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty());
  umount(QFile::encodeName(target).constData());
}
