// Replacing marked files by links to their copies, on the file systems
// users have: the folder of the test, tmpfs, and ext4, btrfs and xfs on
// loop images (mounted in a mount namespace of the test's own, as root).
#include "processing_host.h"

#include "platform/fs.h"

#include <QProcess>

#include <linux/fiemap.h>
#include <linux/fs.h>
#include <sched.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct stat Look(const QString& path) {
  struct stat st {};
  lstat(QFile::encodeName(path).constData(), &st);
  return st;
}
bool SameInode(const QString& a, const QString& b) {
  const struct stat x = Look(a), y = Look(b);
  return x.st_ino != 0 && x.st_dev == y.st_dev && x.st_ino == y.st_ino;
}
// The names in `folder` that a link under way uses.
QStringList Temporary(const QString& folder) {
  return QDir(folder).entryList({QString::fromLatin1(fs::kLinkTempPrefix) + '*'},
                                QDir::AllEntries | QDir::Hidden | QDir::System);
}
// Whether the first extent of `path` is shared with another file.
bool SharesBlocks(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return false;
  alignas(fiemap) char buffer[sizeof(fiemap) + sizeof(fiemap_extent)] = {};
  auto* map = reinterpret_cast<fiemap*>(buffer);
  map->fm_length = ~0ull;
  map->fm_flags = FIEMAP_FLAG_SYNC;
  map->fm_extent_count = 1;
  return ioctl(f.handle(), FS_IOC_FIEMAP, map) == 0 && map->fm_mapped_extents == 1 &&
         (map->fm_extents[0].fe_flags & FIEMAP_EXTENT_SHARED);
}

bool Quietly(const QString& program, const QStringList& args) {
  QProcess p;
  p.setStandardOutputFile(QProcess::nullDevice());
  p.setStandardErrorFile(QProcess::nullDevice());
  p.start(program, args);
  return p.waitForFinished(-1) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// A folder on a file system of `type` for the test: the test's own folder
// ("here"), a tmpfs, or a loop image made with mkfs. Only root mounts, in a
// mount namespace of this test process; otherwise `why` says why not.
class Place {
 public:
  Place(const Tree& t, const QString& type) : path(t.folder("on-" + type)) {
    if (type != "here") why = mountHere(t, type);
  }
  ~Place() {
    if (mounted_) umount2(QFile::encodeName(path).constData(), MNT_DETACH);
  }
  QString operator()(const QString& rel) const { return path + '/' + rel; }
  QString file(const QString& rel, const QByteArray& bytes) const {
    QFile f((*this)(rel));
    EXPECT_TRUE(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
    return f.fileName();
  }
  QString path, why;

 private:
  QString mountHere(const Tree& t, const QString& type) {
    if (getuid() != 0) return "only root can mount " + type;
    static const bool own =
        unshare(CLONE_NEWNS) == 0 && mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    if (!own) return "no mount namespace of the test's own";
    if (type == "tmpfs") {
      mounted_ = mount("tmpfs", QFile::encodeName(path).constData(), "tmpfs", 0, "size=16m") == 0;
      return mounted_ ? QString() : "tmpfs cannot be mounted";
    }
    const QString image = t(type + ".img"), mkfs = "/usr/sbin/mkfs." + type;
    if (!QFileInfo(mkfs).isExecutable()) return mkfs + " is not installed";
    QFile(image).open(QIODevice::WriteOnly);
    QFile(image).resize(type == "xfs" ? 320 << 20 : 128 << 20);
    mounted_ = Quietly(mkfs, {"-q", image}) && Quietly("mount", {"-o", "loop", image, path});
    return mounted_ ? QString() : type + " cannot be made on a loop image";
  }
  bool mounted_ = false;
};

// Puts another file under the name `marked`, the file that was there
// moved aside to NAME.moved.
QString marked;
void SwapMarked() {
  const QByteArray name = QFile::encodeName(marked);
  ASSERT_EQ(rename(name.constData(), (name + ".moved").constData()), 0);
  QFile f(marked);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write("other") == 5);
}

}  // namespace

// A hard link and a symbolic link take the marked file's name: the name
// shares the copy's inode (or holds its path), the bytes are the same, no
// temporary name is left, a read-only file is replaced like any other. A
// copy that differs in its last byte, that is the file itself under another
// name, that is gone or marked too leaves the file as it was, reported.
TEST(Linking, HardAndSymbolicLinksReplaceOnlyProvedCopies) {
  const Tree t;
  const QByteArray bytes = QByteArray(70000, 'x') + "end";
  for (const QString type : {"here", "tmpfs", "ext4"}) {
    SCOPED_TRACE(type.toStdString());
    const Place p(t, type);
    if (!p.why.isEmpty()) {
      std::cout << "skipped on " << type.toStdString() << ": " << p.why.toStdString() << "\n";
      continue;
    }
    for (const QString name : {"k", "a", "b", "ro", "rok", "c", "d"}) p.file(name, bytes);
    p.file("diff", QByteArray(70000, 'x') + "enD");
    p.file("gone", bytes);
    ReadOnly(p("ro")), ReadOnly(p("rok"));
    ASSERT_EQ(link(QFile::encodeName(p("k")).constData(), QFile::encodeName(p("k2")).constData()), 0);
    ResultModel model;
    Fill(model, {p("k"), "+" + p("a"), "|", p("rok"), "+" + p("ro"), "|", p("diff"), "+" + p("c"), "|", p("k2"),
                 "+" + p("k"), "|", p("gone"), "+" + p("d"), "|", "+" + p("b"), "+" + p("a")});
    QFile::remove(p("gone"));
    Proc host;
    host.processMode = ProcessMode::HardLink;
    ProcessResult r = ProcessMarked(model, host);
    EXPECT_EQ(host.wholeGroupQuestions.size(), 0);  // a group without an unmarked row is kept, never asked about
    EXPECT_EQ(host.confirmModes, QList<ProcessMode>{ProcessMode::HardLink});
    EXPECT_EQ(r.processed, 2);
    EXPECT_TRUE(SameInode(p("a"), p("k")) && SameInode(p("ro"), p("rok")));
    EXPECT_EQ(t.read(t.rel(p("ro"))), bytes);
    EXPECT_EQ(host.kept.join(','),
              p("c") + ',' + p("k") + ": already a link of its copy," + p("d") + ',' + p("b") + ',' + p("a"));
    EXPECT_EQ(host.phases.last(), "finished 2 5 0");
    for (const QString name : {"c", "d", "b"}) EXPECT_FALSE(SameInode(p(name), p("k")) || Look(p(name)).st_nlink != 1);
    EXPECT_TRUE(Temporary(p.path).isEmpty());

    // The same as symbolic links: each holds the copy's path.
    ResultModel again;
    Fill(again, {p("k"), "+" + p("b"), "|", p("diff"), "+" + p("c")});
    host.processMode = ProcessMode::SymLink;
    r = ProcessMarked(again, host);
    EXPECT_EQ(r.processed, 1);
    EXPECT_EQ(QFileInfo(p("b")).symLinkTarget(), p("k"));
    EXPECT_EQ(t.read(t.rel(p("b"))), bytes);
    EXPECT_EQ(Look(p("c")).st_nlink, 1u);
    EXPECT_TRUE(Temporary(p.path).isEmpty());

    // A clone where the file system cannot share blocks: said per row,
    // the file as it was.
    ResultModel clones;
    Fill(clones, {p("k"), "+" + p("d")});
    host.processMode = ProcessMode::Clone;
    r = ProcessMarked(clones, host);
    if (type != "here") {
      EXPECT_EQ(r.failed, 1);
      EXPECT_EQ(host.failedRows.last(), p("d") + ": sharing blocks between files is not supported here");
      EXPECT_EQ(host.failedModes.last(), ProcessMode::Clone);
      EXPECT_EQ(t.read(t.rel(p("d"))), bytes);
    }
  }
}

// A hard link gives the name the copy's owner and permissions: a file whose
// differ is kept unless the host allows it. A link is made only on the
// marked file's file system (the next copy is tried; a symbolic link may
// cross), and a folder that may not change gives a failure.
TEST(Linking, OwnershipFileSystemsAndReadOnlyFolders) {
  const Tree t{{"k", "same"}, {"a", "same"}, {"b", "same"}};
  ASSERT_EQ(chmod(QFile::encodeName(t("k")).constData(), 0600), 0);
  ASSERT_EQ(chmod(QFile::encodeName(t("a")).constData(), 0644), 0);
  ASSERT_EQ(chmod(QFile::encodeName(t("b")).constData(), 0644), 0);
  ResultModel model;
  Fill(model, {t("k"), "+" + t("a")});
  Proc host;
  host.processMode = ProcessMode::HardLink;
  EXPECT_EQ(ProcessMarked(model, host).kept, 1);
  EXPECT_EQ(host.kept.last(), t("a") + ": its owner or permissions differ from those of its copy");
  EXPECT_FALSE(SameInode(t("a"), t("k")));
  model.setMarked(1, true);
  host.anyOwnership = true;
  EXPECT_EQ(ProcessMarked(model, host).processed, 1);
  EXPECT_TRUE(SameInode(t("a"), t("k")));

  const Place other(t, "tmpfs");
  if (!other.why.isEmpty()) GTEST_SKIP() << other.why.toStdString();
  other.file("k", "same");
  ASSERT_EQ(chmod(QFile::encodeName(other("k")).constData(), 0644), 0);
  ResultModel across;
  Fill(across, {other("k"), "+" + t("b")});
  host.anyOwnership = false;
  EXPECT_EQ(ProcessMarked(across, host).kept, 1);
  EXPECT_EQ(host.kept.last(), t("b") + ": no identical copy on this file system");
  // The next copy, on the file's own file system, is taken.
  const QString c = t.file("c", "same");
  ASSERT_EQ(chmod(QFile::encodeName(c).constData(), 0644), 0);
  ResultModel next;
  Fill(next, {other("k"), c, "+" + t("b")});
  EXPECT_EQ(ProcessMarked(next, host).processed, 1);
  EXPECT_TRUE(SameInode(t("b"), c));
  // A symbolic link crosses.
  const QString d = t.file("d", "same");
  ResultModel symbolic;
  Fill(symbolic, {other("k"), "+" + d});
  host.processMode = ProcessMode::SymLink;
  EXPECT_EQ(ProcessMarked(symbolic, host).processed, 1);
  EXPECT_EQ(QFileInfo(d).symLinkTarget(), other("k"));

  // A folder that may not change (root may change any folder but one on a
  // read-only mount).
  other.file("e", "same");
  ASSERT_EQ(mount(nullptr, QFile::encodeName(other.path).constData(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0);
  ResultModel readOnly;
  Fill(readOnly, {other("k"), "+" + other("e")});
  host.processMode = ProcessMode::HardLink;
  EXPECT_EQ(ProcessMarked(readOnly, host).failed, 1);
  EXPECT_EQ(host.failedRows.last(), other("e") + ": " + fs::ErrorText(EROFS));
  EXPECT_TRUE(Exists(other("e")) && !SameInode(other("e"), other("k")));
}

// Names swapped while a link is made: at the open (the proved file is
// elsewhere now) and between the link and the swap (another file took the
// name). Both files survive, the row is reported, nothing temporary stays.
TEST(Linking, ANameSwappedDuringTheRunLosesNothing) {
  static int swapAt = -1;
  fs::g_beforeAction = [](const QString& path) {
    if (path == marked && swapAt == -1) swapAt = -2, SwapMarked();
  };
  fs::g_afterLinkStep = [](int step) {
    if (step == swapAt) swapAt = -2, SwapMarked();
  };
  for (const int at : {-1, 1}) {
    for (const ProcessMode mode : {ProcessMode::HardLink, ProcessMode::SymLink}) {
      const Tree t{{"k", "same"}, {"a", "same"}};
      marked = t("a"), swapAt = at;
      ResultModel model;
      Fill(model, {t("k"), "+" + t("a")});
      Proc host;
      host.processMode = mode;
      const ProcessResult r = ProcessMarked(model, host);
      EXPECT_EQ(r.processed, 0);
      EXPECT_EQ(r.failed, 1);
      EXPECT_EQ(host.failedRows.last(), t("a") + ": the file changed while it was processed");
      EXPECT_EQ(t.read("a"), "other");
      EXPECT_EQ(t.read("a.moved"), "same");
      EXPECT_EQ(t.read("k"), "same");
      EXPECT_TRUE(Temporary(t.root()).isEmpty());
    }
  }
  fs::g_beforeAction = nullptr;
  fs::g_afterLinkStep = nullptr;
}

// A process killed after each step of a link: every byte of the file is
// still under its name or the temporary one, and the next run in that
// folder reports the temporary name, leaving it where it is.
TEST(Linking, AProcessKilledAfterEachStepLosesNothing) {
  for (int step = 0; step <= 4; ++step) {
    SCOPED_TRACE(step);
    const Tree t{{"k", "same"}, {"a", "same"}, {"b", "same"}};
    ResultModel model;
    Fill(model, {t("k"), "+" + t("a")});
    const struct stat before = Look(t("a"));
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      static int killAt = step;
      fs::g_afterLinkStep = [](int k) {
        if (k == killAt) kill(getpid(), SIGKILL);
      };
      Proc host;
      host.processMode = ProcessMode::HardLink;
      ProcessMarked(model, host);
      _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    const QStringList left = Temporary(t.root());
    // The proved file, by its inode, is under one of the names.
    bool found = Look(t("a")).st_ino == before.st_ino;
    for (const QString& name : left) found = found || Look(t(name)).st_ino == before.st_ino;
    EXPECT_EQ(found, step < 4);
    EXPECT_EQ(t.read("a"), "same");
    EXPECT_EQ(left.size(), step >= 1 && step <= 3 ? 1 : 0);
    ResultModel next;
    Fill(next, {t("k"), "+" + t("b")});
    Proc host;
    host.processMode = ProcessMode::HardLink;
    EXPECT_EQ(ProcessMarked(next, host).leftovers, left.size());
    EXPECT_EQ(host.leftovers.join(','), left.isEmpty() ? QString() : t(left[0]));
    EXPECT_EQ(Temporary(t.root()), left);
  }
}

// A clone where the file system shares blocks: the file keeps its inode,
// owner, permissions and times and shares its blocks with the copy; a file
// whose bytes changed after they were proved is refused by the kernel.
TEST(Linking, ClonesShareBlocksOnlyWhereTheKernelFindsThemEqual) {
  // The last byte of `changed` changes once it is proved, before the clone.
  static QString changed;
  static bool opened = false;
  fs::g_beforeAction = [](const QString& path) { opened = path == changed; };
  fs::g_afterLinkStep = [](int step) {
    QFile f(changed);
    if (step == 0 && opened && f.open(QIODevice::ReadWrite)) f.seek(f.size() - 1), f.write("!");
  };
  const Tree t;
  const QByteArray bytes = QByteArray(1 << 20, 'x') + "tail";
  int tried = 0;
  for (const QString type : {"btrfs", "xfs"}) {
    SCOPED_TRACE(type.toStdString());
    const Place p(t, type);
    if (!p.why.isEmpty()) {
      std::cout << "skipped on " << type.toStdString() << ": " << p.why.toStdString() << "\n";
      continue;
    }
    ++tried;
    p.file("k", bytes), p.file("a", bytes), p.file("b", bytes);
    ASSERT_EQ(chmod(QFile::encodeName(p("a")).constData(), 0640), 0);
    const struct stat before = Look(p("a"));
    ResultModel model;
    Fill(model, {p("k"), "+" + p("a"), "+" + p("b")});
    changed = p("b");
    Proc host;
    host.processMode = ProcessMode::Clone;
    const ProcessResult r = ProcessMarked(model, host);
    changed.clear();
    EXPECT_EQ(r.processed, 1);
    EXPECT_EQ(host.failedRows.join(','), p("b") + ": the file changed while it was processed");
    const struct stat after = Look(p("a"));
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_mode, before.st_mode);
    EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
    EXPECT_TRUE(SharesBlocks(p("a")) && SharesBlocks(p("k")));
    EXPECT_EQ(t.read(t.rel(p("a"))), bytes);
    EXPECT_EQ(t.read(t.rel(p("b"))), QByteArray(bytes).replace(bytes.size() - 1, 1, "!"));
  }
  fs::g_afterLinkStep = nullptr;
  fs::g_beforeAction = nullptr;
  if (tried == 0) GTEST_SKIP() << "no file system that shares blocks could be made";
}
