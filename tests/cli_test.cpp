#include "platform/fs.h"
#include "tree.h"

#include <QProcess>

#include <sys/mount.h>
#include <unistd.h>

namespace {

struct Outcome {
  int code = -1;
  QByteArray out, err;
};

Outcome Cli(const QStringList& args, const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment()) {
  QProcess p;
  p.setProcessEnvironment(env);
  p.start(QStringLiteral(ZORVIK_CLI_PATH), args);
  p.closeWriteChannel();  // standard input is no terminal
  EXPECT_TRUE(p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit);
  return {p.exitCode(), p.readAllStandardOutput(), p.readAllStandardError()};
}

// Two groups: c/y.dat d/y.dat, whose size text sorts first, and a/x.txt b/x.txt.
const std::initializer_list<std::pair<const char*, const char*>> kGroups = {
    {"a/x.txt", "same"}, {"b/x.txt", "same"}, {"c/y.dat", "yy"}, {"d/y.dat", "yy"}, {"e/solo", "alone"}};

QByteArray Line(const Tree& t, bool marked, const QString& rel) {
  const char* kb = rel.endsWith("dat") ? "2" : "0";
  return (QString(marked ? "1;" : "0;") + FileNameOf(rel) + ';' + t(rel) + ';' + kb + ';' + fs::ShortDateText(kMtime) +
          "\r\n")
      .toUtf8();
}

}  // namespace

TEST(Cli, ScanWritesTheListWithTheDefaultMarks) {
  const Tree t(kGroups);
  t.file("c/y.dat", QByteArray(2000, 'y')), t.file("d/y.dat", QByteArray(2000, 'y'));
  Outcome r = Cli({"scan", t.root()});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, Line(t, false, "c/y.dat") + Line(t, true, "d/y.dat") + "\r\n" + Line(t, false, "a/x.txt") +
                       Line(t, true, "b/x.txt"));
  EXPECT_EQ(r.err, "2 groups, 2 marked, 2 KB\n");
  r = Cli({"scan", "--protect", t("d/"), t.root()});
  EXPECT_TRUE(r.out.startsWith(Line(t, true, "c/y.dat") + Line(t, false, "d/y.dat"))) << r.out.constData();
  r = Cli({"scan", "--folders", t("a") + ';' + t("b") + ';' + t("c") + ';'});
  EXPECT_EQ(r.out, Line(t, false, "a/x.txt") + Line(t, true, "b/x.txt"));
  r = Cli({"scan", "--mask", "*.DAT", t.root()});
  EXPECT_EQ(r.out, Line(t, false, "c/y.dat") + Line(t, true, "d/y.dat"));
  r = Cli({"scan", t("a"), t("e")});
  EXPECT_EQ(QString::number(r.code) + r.out, "0");  // no copies: nothing written
}

TEST(Cli, UsageErrorsExitTwoWithOneLine) {
  const Tree t;
  const QStringList cases[] = {{"scan", "--bogus", t.root()},
                               {"scan"},
                               {"scan", t.root(), "--mask"},
                               {"scan", "--folders", "x", t.root()},
                               {"scan", t("a;b")},                  // a folder name that the folders text would split
                               {"scan", "--mask=*.txt", t.root()},  // a value is the next word, never after '='
                               {"process", t("list")},
                               {"frobnicate"}};
  for (const QStringList& args : cases) {
    const Outcome r = Cli(args);
    EXPECT_EQ(r.code, 2) << qPrintable(args.join(' '));
    EXPECT_EQ(r.err.count('\n'), 1) << r.err.constData();
    EXPECT_EQ(r.out, "");
  }
  const Outcome r = Cli({"scan", "--output", t("missing/list.txt"), t.root()});
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(r.err.contains("cannot write the list")) << r.err.constData();
  const Outcome version = Cli({"--version"});  // the version line scripts read
  EXPECT_EQ(version.code, 0);
  EXPECT_EQ(version.out, "zorvik-cli 1.5\n");
}

TEST(Cli, ExactComparesLargeFilesInFull) {
  Tree t;
  t.sized("a", 11 << 20), t.sized("b", 11 << 20, 3 << 16);  // b differs between the sampled blocks
  EXPECT_EQ(Cli({"scan", t.root()}).out.count('\n'), 2);
  EXPECT_EQ(Cli({"scan", "--exact", t.root()}).out, "");
}

TEST(Cli, ProcessRunsOnlyWithYesWithoutATerminal) {
  const struct {
    QStringList mode;
    const char* movedTo;  // where b/x.txt goes
  } cases[] = {{{"--remove"}, nullptr},
               {{"--recycle"}, "home/data/Trash/files/x.txt"},
               {{"--move", "dup", "--delete-empty-folders"}, "dup/x.txt"}};
  for (const auto& c : cases) {
    const Tree t(kGroups);
    ASSERT_EQ(Cli({"scan", "--output", t("list.txt"), t("a"), t("b")}).code, 0);
    QStringList args{"process", t("list.txt")};
    for (const QString& a : c.mode) args << (a == "dup" ? t(a) : a);
    EXPECT_EQ(Cli(args).code, 2);  // without --yes
    EXPECT_TRUE(QFileInfo::exists(t("b/x.txt")));

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", t.folder("home"));
    env.insert("XDG_DATA_HOME", t.folder("home/data"));
    const Outcome r = Cli(args << "--yes", env);
    EXPECT_EQ(r.out, "Processing files - 1\n") << qPrintable(args.join(' '));
    EXPECT_FALSE(QFileInfo::exists(t("b/x.txt")));
    EXPECT_TRUE(QFileInfo::exists(t("a/x.txt")));
    EXPECT_TRUE(!c.movedTo || QFileInfo::exists(t(c.movedTo))) << c.movedTo;
    EXPECT_EQ(QFileInfo::exists(t("b")), !args.contains("--delete-empty-folders"));
  }
}

// Every row that fails is a line on standard error naming the file and the
// reason, the summary counts it, and the exit status is 1: a move onto an
// existing name, into a read-only folder, onto a full file system, and a
// trash where no trash folder can be made.
TEST(Cli, EveryFailedRowIsReportedAndTheRunExitsOne) {
  const bool root = getuid() == 0;
  const Tree t{{"a/x", "same"}, {"b/x", "same"}, {"taken/x", "older"}};
  t.file("a/big", QByteArray(300 * 1024, 'z')), t.file("b/big", QByteArray(300 * 1024, 'z'));
  const QString full = t.folder("full"), readOnly = t.folder("ro"), other = t.folder("other");
  // As root, permissions do not hold: a read-only file system stands in.
  const bool mounted = root && mount("tmpfs", QFile::encodeName(full).constData(), "tmpfs", 0, "size=64k") == 0 &&
                       mount("tmpfs", QFile::encodeName(readOnly).constData(), "tmpfs", MS_RDONLY, nullptr) == 0 &&
                       mount("tmpfs", QFile::encodeName(other).constData(), "tmpfs", 0, "size=1m") == 0;
  if (!root) QFile::setPermissions(readOnly, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
  auto group = [&](const QString& name, const QString& other) {
    return t.file("list-" + name, "0;" + name.toUtf8() + ';' + t("a/" + name).toUtf8() + ";0;d\r\n1;" + name.toUtf8() +
                                      ';' + other.toUtf8() + ";0;d\r\n");
  };
  const struct {
    QString dest, reason;
    const char* file;  // the row that fails
  } moves[] = {{t("taken"), "File exists", "b/x"},
               {readOnly, root ? "Read-only file system" : "Permission denied", "b/x"},
               {full, "No space left on device", "b/big"}};
  for (const auto& m : moves) {
    if (m.dest != t("taken") && root && !mounted) continue;
    const QString name = QFileInfo(m.file).fileName();
    const Outcome r = Cli({"process", group(name, t(m.file)), "--move", m.dest, "--yes"});
    EXPECT_EQ(r.code, 1) << qPrintable(m.dest);
    EXPECT_TRUE(r.err.contains(("zorvik-cli: " + t(m.file) + ": " + m.reason + "\n").toUtf8())) << r.err.constData();
    EXPECT_TRUE(r.err.contains("failed - ")) << r.err.constData();
    EXPECT_TRUE(QFileInfo::exists(t(m.file)));
  }
  EXPECT_TRUE(
      QDir(full).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty());  // no partial copy

  // No trash folder: the user's data folder is a file, and the file system
  // that holds the file has a file where its trash folder would be made.
  if (mounted) {
    t.file("data", "a file");
    QFile::copy(t("b/x"), other + "/x");
    t.file("other/.Trash-0", "not a folder");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_DATA_HOME", t("data/share"));
    const Outcome r = Cli({"process", group("x", other + "/x"), "--recycle", "--yes"}, env);
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains(("zorvik-cli: " + other + "/x: no usable trash folder for this file\n").toUtf8()))
        << r.err.constData();
    EXPECT_TRUE(QFileInfo::exists(other + "/x"));
  }
  if (mounted)
    for (const QString& m : {full, readOnly, other}) umount(QFile::encodeName(m).constData());

  // As root: a destination, or a root, that another user's link steers into
  // root's folders is one line naming it, and the exit status is 1; the
  // other roots are still scanned.
  if (!root) return;
  const QByteArray user = QFile::encodeName(t.folder("user")), link = user + "/dest";
  ASSERT_EQ(symlink(QFile::encodeName(t("taken")).constData(), link.constData()), 0);
  ASSERT_EQ(lchown(link.constData(), 65534, 65534), 0);
  ASSERT_EQ(chown(user.constData(), 65534, 65534), 0);
  const QString steered = QFile::decodeName(link);
  const QByteArray line =
      ("zorvik-cli: " + steered + ": the path leads from a folder of one user into a folder or file of another\n")
          .toUtf8();
  Outcome r = Cli({"process", group("x", t("b/x")), "--move", steered, "--yes"});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.err, line);
  EXPECT_TRUE(QFileInfo::exists(t("b/x")));
  r = Cli({"scan", t("a"), t("b"), steered});
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(r.err.startsWith(line)) << r.err.constData();
  EXPECT_TRUE(r.out.contains(t("b/x").toUtf8()));
}
