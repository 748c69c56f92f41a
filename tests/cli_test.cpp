#include "platform/fs.h"
#include "tree.h"

#include <QProcess>

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
  return (QString(marked ? "1;" : "0;") + FileNameOf(rel) + ';' + t(rel) + ';' + kb + ';' + fs::ShortDateText(kMtime) + "\r\n").toUtf8();
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
  const QStringList cases[] = {{"scan", "--bogus", t.root()},          {"scan"},
                               {"scan", t.root(), "--mask"},           {"scan", "--folders", "x", t.root()},
                               {"scan", t("a;b")},  // a folder name that the folders text would split
                               {"process", t("list")},                 {"frobnicate"}};
  for (const QStringList& args : cases) {
    const Outcome r = Cli(args);
    EXPECT_EQ(r.code, 2) << qPrintable(args.join(' '));
    EXPECT_EQ(r.err.count('\n'), 1) << r.err.constData();
    EXPECT_EQ(r.out, "");
  }
  const Outcome r = Cli({"scan", "--output", t("missing/list.txt"), t.root()});
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(r.err.contains("cannot write the list")) << r.err.constData();
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
