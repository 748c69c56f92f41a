#include "cli/options.h"
#include "engine/contentcache.h"
#include "platform/fs.h"
#include "tree.h"

#include <QProcess>
#include <QRegularExpression>
#include <QSet>

#include <fcntl.h>
#include <pty.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace {

struct Outcome {
  int code = -1;
  QByteArray out, err;
};

Outcome Cli(const QStringList& args, const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment(),
            const std::function<void()>& inChild = {}) {
  QProcess p;
  p.setProcessEnvironment(env);
  if (inChild) p.setChildProcessModifier(inChild);
  p.start(QStringLiteral(ZORVIK_CLI_PATH), args);
  p.closeWriteChannel();  // standard input is no terminal
  EXPECT_TRUE(p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit);
  return {p.exitCode(), p.readAllStandardOutput(), p.readAllStandardError()};
}

// Runs zorvik-cli with `limit` as both bounds of `resource`.
Outcome Limited(const QStringList& args, int resource, rlim_t limit) {
  return Cli(args, QProcessEnvironment::systemEnvironment(), [resource, limit] {
    const struct rlimit both { limit, limit };
    setrlimit(resource, &both);
  });
}

// Runs zorvik-cli with standard output and standard error on a terminal;
// returns what the terminal received.
QByteArray OnTerminal(const QStringList& args) {
  int terminal = -1, side = -1;
  if (openpty(&terminal, &side, nullptr, nullptr, nullptr) != 0) return "no terminal";
  struct termios raw;
  tcgetattr(side, &raw);
  cfmakeraw(&raw);  // the bytes as written, no CR added
  tcsetattr(side, TCSANOW, &raw);
  std::vector<QByteArray> words{ZORVIK_CLI_PATH};
  for (const QString& a : args) words.push_back(QFile::encodeName(a));
  std::vector<char*> argv;
  for (QByteArray& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  const pid_t child = fork();
  if (child == 0) {
    const int none = open("/dev/null", O_RDONLY);
    if (setsid() < 0 || dup2(none, 0) < 0 || dup2(side, 1) < 0 || dup2(side, 2) < 0) _exit(126);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(side);
  QByteArray shown;
  char buffer[4096];
  for (ssize_t got; (got = read(terminal, buffer, sizeof buffer)) > 0;) shown.append(buffer, got);
  close(terminal);
  waitpid(child, nullptr, 0);
  return shown;
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

  // The content cache: in the user's cache folder unless --no-cache or
  // --cache FILE say otherwise; a damaged one is noted in one line.
  const QString cache = DefaultContentCachePath();
  EXPECT_TRUE(QFile::remove(cache));
  const QByteArray list = Cli({"scan", t.root()}).out;
  EXPECT_TRUE(QFile::remove(cache));
  EXPECT_EQ(Cli({"scan", "--no-cache", t.root()}).out, list);
  EXPECT_FALSE(QFile::exists(cache));
  for (const char* reads : {"1", "8", "256"})
    EXPECT_EQ(Cli({"scan", "--no-cache", "--reads", reads, t.root()}).out, list);
  const Tree other;
  other.file("damaged.cache", QByteArray("ZRVKCACH\1\0\0\0", 12));
  r = Cli({"scan", "--cache", other("damaged.cache"), t.root()});
  EXPECT_EQ(r.out, list);
  EXPECT_TRUE(r.err.startsWith("zorvik-cli: " + other("damaged.cache").toUtf8() +
                               ": the content cache is ignored: it is damaged or cut short\n"))
      << r.err.constData();
  EXPECT_TRUE(Cli({"scan", "--cache", other("damaged.cache"), t.root()}).err.startsWith("2 groups"));  // written anew
}

TEST(Cli, UsageErrorsExitTwoWithOneLine) {
  const Tree t;
  const QStringList cases[] = {{"scan", "--bogus", t.root()},
                               {"scan"},
                               {"scan", t.root(), "--mask"},
                               {"scan", "--folders", "x", t.root()},
                               {"scan", t("a;b")},                  // a folder name that the folders text would split
                               {"scan", "--mask=*.txt", t.root()},  // a value is the next word, never after '='
                               {"scan", "--folders", "--exact"},    // nor an option of the command
                               {"scan", "--cache", "--no-cache", t.root()},
                               {"scan", "--no-cache", "--cache", t("c"), t.root()},
                               {"scan", "--reads", "0", t.root()},
                               {"scan", "--reads", "257", t.root()},
                               {"scan", "--reads", "8x", t.root()},
                               {"process", t("list")},
                               {"process", t("list"), "--remove", "--hardlink"},  // one way to process, no more
                               {"frobnicate"}};
  for (const QStringList& args : cases) {
    const Outcome r = Cli(args);
    EXPECT_EQ(r.code, 2) << qPrintable(args.join(' '));
    EXPECT_EQ(r.err.count('\n'), 1) << r.err.constData();
    EXPECT_EQ(r.out, "");
  }
  const Outcome yes = Cli({"process", t("list"), "--move", "--yes"});  // no folder named "--yes"
  EXPECT_EQ(yes.err, "zorvik-cli: --move needs a destination folder (see zorvik-cli --help)\n");
  const Outcome list = Cli({"scan", "--output", "--yes", t.root()});  // an option of the other command
  EXPECT_EQ(list.err, "zorvik-cli: --output needs a value (see zorvik-cli --help)\n");
  const Outcome r = Cli({"scan", "--output", t("missing/list.txt"), t.root()});
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(r.err.contains("cannot write the list")) << r.err.constData();
  const Outcome version = Cli({"--version"});  // the version line scripts read
  EXPECT_EQ(version.code, 0);
  EXPECT_EQ(version.out, "zorvik-cli 1.5\n");
}

namespace {

QString Source(const char* path) {
  QFile f(QStringLiteral(ZORVIK_SOURCE_DIR "/") + path);
  return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

// The option words of a text of the manual page or the completion: every
// "--NAME", and "--" alone.
QSet<QString> OptionWords(QString text) {
  text.replace("\\-", "-");
  static const QRegularExpression word("(?<![\\w-])--(?:[a-z][a-z-]*)?(?![\\w-])");
  QSet<QString> words;
  for (const QRegularExpressionMatch& m : word.globalMatch(text)) words.insert(m.captured());
  return words;
}

// The part of `text` from the first match of `start` to the next match of
// `end` after it.
QString Between(const QString& text, const QString& start, const QString& end) {
  const QRegularExpressionMatch from = QRegularExpression(start).match(text);
  if (!from.hasMatch()) return QString();
  const qsizetype to = text.indexOf(QRegularExpression(end), from.capturedEnd());
  return text.mid(from.capturedEnd(), to < 0 ? -1 : to - from.capturedEnd());
}

}  // namespace

// The manual page and the bash completion are written by hand: each names
// every option of every command where it belongs, and no other.
TEST(Cli, TheManualPageAndTheCompletionNameEveryOptionAndNoOther) {
  const QString page = Source("packaging/zorvik-cli.1.in"), completion = Source("packaging/zorvik-cli.bash");
  ASSERT_FALSE(page.isEmpty() || completion.isEmpty());
  QSet<QString> withValues, names{"--help", "--version"};
  for (const CommandSpec& c : CliCommands()) {
    const QString name = QString::fromLatin1(c.name);
    names.insert(name);
    QSet<QString> options;
    for (const OptionSpec& o : c.options) {
      options.insert(o.word());
      if (o.takesValue()) withValues.insert(o.word());
    }
    // The synopsis of the command, and the items of its section of options.
    const QString synopsis = Between(page, "\\.SY zorvik\\\\-cli\n\\.B " + name + "\n", "\\.YS");
    EXPECT_EQ(OptionWords(synopsis), options) << qPrintable(name);
    QString items;
    const QString section = Between(page, "\\.SS Options of " + name + "\n", "\n\\.S[SH] ");
    for (const QRegularExpressionMatch& m : QRegularExpression("\\.TP\n([^\n]*)").globalMatch(section))
      items += m.captured(1) + '\n';
    if (c.dashDashEndsOptions) options.insert("--");
    EXPECT_EQ(OptionWords(items), options) << qPrintable(name);
    // The words the completion offers after the command.
    const QString offered = Between(completion, "\n\\s*" + name + "\\)", ";;");
    EXPECT_EQ(OptionWords(Between(offered, "compgen -W '", "'")), options) << qPrintable(name);
  }
  EXPECT_EQ(OptionWords(Between(page, "\\.SS Other options\n", "\n\\.S[SH] ")), (QSet<QString>{"--help", "--version"}));
  const QStringList first = Between(completion, "compgen -W '", "'").split(' ');
  EXPECT_EQ(QSet<QString>(first.begin(), first.end()), names);
  // After an option that takes a value the completion offers no option.
  QString patterns;
  const QString afterOption = Between(completion, "case \\$prev in", "esac");
  for (const QRegularExpressionMatch& m : QRegularExpression("\n\\s*([-a-z |]+)\\)").globalMatch(afterOption))
    patterns += m.captured(1) + ' ';
  EXPECT_EQ(OptionWords(patterns), withValues);
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

  // The link modes say what they did in their own words, and each file
  // they keep, with the reason, on a line of its own.
  const Tree t(kGroups);
  ASSERT_EQ(chmod(QFile::encodeName(t("d/y.dat")).constData(), 0600), 0);
  ASSERT_EQ(Cli({"scan", "--output", t("list.txt"), t.root()}).code, 0);
  const Outcome hard = Cli({"process", t("list.txt"), "--hardlink", "--yes"});
  EXPECT_EQ(hard.code, 0);
  EXPECT_EQ(hard.out, "Linked - 1\n");
  EXPECT_EQ(QString(hard.err), "zorvik-cli: " + t("d/y.dat") +
                                   ": kept: its owner or permissions differ from those of its copy\n"
                                   "kept, no identical copy left - 1\n");
  fs::FileId a, b;
  EXPECT_TRUE(fs::FileIdOf(t("a/x.txt"), &a) && fs::FileIdOf(t("b/x.txt"), &b) && a == b);
  const Outcome rescan = Cli({"scan", t("a"), t("b"), t("c"), t("d")});  // the linked group is gone
  EXPECT_FALSE(rescan.out.contains("x.txt")) << rescan.out.constData();
  EXPECT_EQ(rescan.out.count("/y.dat;"), 2);
  const Outcome symbolic = Cli({"process", t("list.txt"), "--symlink", "--force-metadata", "--yes"});
  EXPECT_EQ(symbolic.out, "Linked - 1\n");
  EXPECT_EQ(QFileInfo(t("d/y.dat")).symLinkTarget(), t("c/y.dat"));
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

// What the scan could not look at is counted on standard error and the
// scan still succeeds; the program's own open-file limit costs no file; a
// scan that fails (out of memory) says so, writes no list and exits 1.
TEST(Cli, ScanCountsWhatItLeftOutAndNeverPassesAFailureForSuccess) {
  Tree t;
  for (int i = 0; i < 100; ++i) {  // 100 files alike in their first 4 KiB, 10 pairs of copies
    const int id = i < 90 ? i : i - 90;
    t.file(QString::asprintf("f%03d", i), QByteArray(4096, 'h') + QByteArray::number(id).rightJustified(900, '.'));
  }
  const QByteArray bad = QFile::encodeName(t.root()) + "/bad\xff";
  ASSERT_EQ(close(open(bad.constData(), O_WRONLY | O_CREAT, 0644)), 0);
  const Outcome free = Cli({"scan", t.root()});
  EXPECT_EQ(free.code, 0);
  EXPECT_EQ(free.out.count("\r\n\r\n"), 9);  // 10 groups
  EXPECT_EQ(free.err,
            "zorvik-cli: 1 file or folder was left out: its name is not valid in the file-name encoding\n"
            "10 groups, 10 marked, 50 KB\n");
  const Outcome limited = Limited({"scan", t.root()}, RLIMIT_NOFILE, 64);
  EXPECT_EQ(limited.code, 0);
  EXPECT_EQ(limited.out, free.out);

  // The smallest bound on its memory under which a scan of one file runs,
  // then a scan that needs more: 16 copies read side by side.
  const Tree copies;
  for (int i = 0; i < 16; ++i) copies.file(QString::asprintf("c%02d", i), QByteArray(2 << 20, 'c'));
  const QString list = copies.file("list.txt", "earlier"), one = copies.file("one/x", "x");
  rlim_t low = 16 << 20, high = 1 << 30;
#ifdef __SANITIZE_ADDRESS__
  GTEST_SKIP() << "the sanitizer's shadow memory does not fit under a bound on the address space";
#endif
  if (Limited({"scan", copies("one")}, RLIMIT_AS, high).code != 0)
    GTEST_SKIP() << "the program does not start under a bound on its memory";
  while (high - low > (1 << 20)) {
    const rlim_t middle = (low + high) / 2;
    (Limited({"scan", copies("one")}, RLIMIT_AS, middle).code == 0 ? high : low) = middle;
  }
  const Outcome failed = Limited({"scan", "--output", list, copies.root()}, RLIMIT_AS, high + (4 << 20));
  EXPECT_EQ(failed.code, 1);
  EXPECT_EQ(failed.err, "zorvik-cli: the scan failed: not enough memory; no list was written\n");
  EXPECT_EQ(copies.read("list.txt"), "earlier");
}

// File names reach a terminal with the characters that a terminal acts on
// escaped: in the list, in failure lines, in the progress line. A list
// written anywhere else keeps its bytes.
TEST(Cli, ControlCharactersInNamesReachATerminalEscaped) {
  const QString name = QString::fromUtf8(
      "\x1b[31mred\x07\x08\xc2\x9b"
      "2J\xe2\x80\xae"
      "x");
  const QString shown = "\\x1b[31mred\\x07\\x08\\x9b2J\\u202ex";
  const Tree t;
  t.file("a/" + name, "same"), t.file("b/" + name, "same");
  QByteArray screen = OnTerminal({"scan", t.root()});
  screen.replace("\r\033[K", "");  // the progress line's own clearing
  EXPECT_TRUE(screen.contains((t("a/") + shown).toUtf8())) << screen.constData();
  EXPECT_FALSE(screen.contains('\033') || screen.contains('\a') || screen.contains("\xc2\x9b")) << screen.constData();
  EXPECT_TRUE(Cli({"scan", t.root()}).out.contains(t("a/" + name).toUtf8()));  // a pipe gets the bytes

  const QString rows = t.file("list.txt", ("0;x;" + t("a/" + name) + ";0;d\r\n1;x;b/" + name + ";0;d\r\n").toUtf8());
  screen = OnTerminal({"process", rows, "--remove", "--yes"});
  EXPECT_TRUE(screen.contains(("zorvik-cli: b/" + shown + ": the path is not absolute").toUtf8()))
      << screen.constData();
  EXPECT_FALSE(screen.contains('\033')) << screen.constData();
}
