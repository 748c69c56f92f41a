#include "results/processing.h"
#include "tree.h"

#include <cerrno>
#include <sys/stat.h>

namespace {

class Proc : public ProcessHost {
 public:
  bool en = true, emptyFolders = false, answer = true, removeWholeGroups = true;
  ProcessMode processMode = ProcessMode::Remove;
  QString dest, picked;  // picked: what the destination browse chooses
  QStringList asked, wholeGroupQuestions, failures, status, progress;
  int browsed = 0, cleared = 0;

  bool english() override { return en; }
  ProcessMode mode() override { return processMode; }
  QString destination() override { return dest; }
  void browseDestination() override { ++browsed, dest = picked; }
  bool deleteEmptyFolders() override { return emptyFolders; }
  bool confirm(const QString& t, const QString& x) override { return asked << t + '|' + x, answer; }
  bool askWholeGroups(const QString& t, const QString& x) override { return wholeGroupQuestions << t + '|' + x, removeWholeGroups; }
  void deleteFailed(const QString& m) override { failures << m; }
  void setStatus(const QString& s) override { status << s; }
  void setProgress(int p) override { progress << QString::number(p); }
  void clearTotals() override { ++cleared; }
};

bool Exists(const QString& path) { return QFileInfo::exists(path); }
void ReadOnly(const QString& path) { ASSERT_EQ(chmod(QFile::encodeName(path).constData(), 0444), 0); }

}  // namespace

TEST(Processing, RemoveDeletesMarkedFilesAndReportsEachFailure) {
  const Tree t{{"ro", "1"}, {"keep", "1"}, {"dir/inner", "1"}};
  ReadOnly(t("ro"));
  ResultModel model;
  Fill(model, {"+" + t("ro"), t("keep"), "|", "+" + t("dir"), "+" + t("gone"), "+"});  // "+": a row without a path
  Proc host;
  EXPECT_EQ(ProcessMarked(model, host).processed, 2);  // ro, and gone: no file is at its path; dir is no file
  EXPECT_FALSE(Exists(t("ro")));
  EXPECT_TRUE(Exists(t("keep")) && Exists(t("dir/inner")));
  EXPECT_EQ(host.failures.join('\n'), t("dir") + " не удалён, ошибка = " + QString::number(EISDIR) + '\n' + t("gone") +
                                          " не удалён, ошибка = " + QString::number(ENOENT));
  EXPECT_EQ(host.asked.join(','), "Confirm|Delete (or move) all selected files?");
  EXPECT_EQ(host.status.join(','), "In process ...,Processing files - 2; failed - 1");
  EXPECT_EQ(host.progress.join(','), "0,0,20,40,60,80,100");
  EXPECT_EQ(Marks(model).left(5), "00000");
  EXPECT_EQ(host.cleared, 1);
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
  EXPECT_TRUE(Exists(t("f")) && host.status.isEmpty());
  EXPECT_EQ(Marks(model), "1");

  host.answer = true;
  EXPECT_EQ(ProcessMarked(model, host).processed, 1);
  EXPECT_FALSE(Exists(t("f")));
  EXPECT_EQ(host.status.join(','), "In process ...,Processing files - 1");
  EXPECT_EQ(host.progress.join(','), "0,100");  // one row: the bar is full

  ResultModel russian;
  Fill(russian, {"+" + t("g")});
  host.en = false;
  host.status.clear();
  EXPECT_EQ(ProcessMarked(russian, host).processed, 1);
  EXPECT_EQ(host.asked.last(), "Подтверждение|Удалить (или переместить) отмеченые файлы?");
  EXPECT_EQ(host.status.join(','), "Обработка ...,Обработано файлов - 1");
}

TEST(Processing, MoveCreatesTheDestinationAndNeverReplacesAFile) {
  const Tree t{{"a/x", "x"}, {"b/y", "first"}, {"c/y", "second"}, {"d/z", "z"}};
  ReadOnly(t("a/x"));
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
  EXPECT_EQ(Marks(model), "00000");
  EXPECT_TRUE(host.failures.isEmpty());
}

TEST(Processing, MoveWithoutADestinationStopsAtTheFirstMarkedRow) {
  const Tree t{{"a", "1"}, {"b", "1"}, {"k", "1"}};
  ResultModel model;
  Fill(model, {t("k"), "+" + t("a"), "+" + t("b")});
  Proc host;
  host.processMode = ProcessMode::Move;
  EXPECT_FALSE(ProcessMarked(model, host).completed);
  EXPECT_EQ(host.browsed, 1);
  EXPECT_EQ(host.status.join(','), "In process ...");
  EXPECT_TRUE(Exists(t("a")) && Exists(t("b")));
  EXPECT_EQ(host.cleared, 0);

  host.picked = t("picked");  // a folder picked: used for this row and the rest
  EXPECT_EQ(ProcessMarked(model, host).processed, 2);
  EXPECT_EQ(host.browsed, 2);
  EXPECT_TRUE(Exists(t("picked/a")) && Exists(t("picked/b")));
}

TEST(Processing, OnlyTheEmptiedFolderOfAFileIsRemoved) {
  const Tree t{{"p/f1/a", "1"}, {"f2/b", "1"}, {"f2/.hidden", "1"}, {"f3/c", "1"}};
  t.folder("f3/empty");
  ResultModel model;
  Fill(model, {"+" + t("p/f1/a"), "+" + t("f2/b"), "+" + t("f3/c")});
  Proc host;
  host.emptyFolders = true;
  EXPECT_EQ(ProcessMarked(model, host).processed, 3);
  EXPECT_FALSE(Exists(t("p/f1")));
  EXPECT_TRUE(Exists(t("p")) && Exists(t("f2/.hidden")) && Exists(t("f3/empty")));
}

TEST(Processing, RecycleSendsFilesToTheTrashOfTheHomeFolder) {
  const Tree t{{"docs/r", "1"}};
  const QByteArray home = qgetenv("HOME"), data = qgetenv("XDG_DATA_HOME");
  qputenv("HOME", QFile::encodeName(t.folder("home")));
  qputenv("XDG_DATA_HOME", QFile::encodeName(t("home/data")));  // made by the first recycle
  ResultModel model;
  Fill(model, {"+" + t("docs/r")});
  Proc host;
  host.processMode = ProcessMode::Recycle;
  const int processed = ProcessMarked(model, host).processed;
  qputenv("HOME", home);
  qputenv("XDG_DATA_HOME", data);
  EXPECT_EQ(processed, 1);
  EXPECT_FALSE(Exists(t("docs/r")));
  EXPECT_TRUE(Exists(t("home/data/Trash/files/r")));
}

TEST(Processing, MoveToAnotherFileSystemCopiesWholeAndLeavesNoTemporaryFile) {
  QByteArray content;
  for (int i = 0; i < 300000; ++i) content += char(i * 7 % 251);
  const Tree t{{"g/f", "other"}};
  t.file("f", content);
  const Tree other(QStringLiteral("/dev/shm/zorvik-test-XXXXXX"));
  struct stat here, there;
  if (!other.valid() || stat(QFile::encodeName(t.root()).constData(), &here) != 0 ||
      stat(QFile::encodeName(other.root()).constData(), &there) != 0 || here.st_dev == there.st_dev)
    GTEST_SKIP() << "no second file system";
  ResultModel model;
  Fill(model, {"+" + t("f"), "+" + t("g/f")});
  Proc host;
  host.processMode = ProcessMode::Move;
  host.dest = other.root();
  EXPECT_EQ(ProcessMarked(model, host).processed, 1);
  EXPECT_EQ(QDir(other.root()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList{"f"});
  QFile moved(other("f"));
  EXPECT_TRUE(moved.open(QIODevice::ReadOnly) && moved.readAll() == content);
  EXPECT_EQ(QFileInfo(other("f")).lastModified().toSecsSinceEpoch(), kMtime);
  EXPECT_FALSE(Exists(t("f")));
  EXPECT_TRUE(Exists(t("g/f")));
}

// A removal keeps an identical copy: the group must still hold an unmarked
// row whose file exists and has the same bytes, or the marked file stays.
TEST(ProcessingSafety, AStaleListNeverTakesTheLastCopy) {
  const Tree t{{"a/keep", "same"}, {"a/twin", "same"}, {"b/keep", "abcd"}, {"b/twin", "abce"}, {"c/keep", "x"}, {"c/twin", "x"}};
  ResultModel model;
  Fill(model, {t("a/keep"), "+" + t("a/twin"), "|", t("b/keep"), "+" + t("b/twin"), "|", t("c/keep"), "+" + t("c/twin")});
  QFile::remove(t("a/keep"));  // the kept copy went away since the scan
  Proc host;
  host.processMode = ProcessMode::Recycle;
  EXPECT_EQ(ProcessMarked(model, host).kept, 2);
  EXPECT_EQ(host.status.last(), "Processing files - 1; kept, no identical copy left - 2");
  EXPECT_EQ(Marks(model), "00000000");  // kept rows are unmarked like any processed row
  EXPECT_TRUE(Exists(t("a/twin")));  // its only copy is gone: kept
  EXPECT_TRUE(Exists(t("b/twin")));  // one byte differs from the kept file
  EXPECT_FALSE(Exists(t("c/twin")));
  EXPECT_TRUE(host.wholeGroupQuestions.isEmpty());

  // The same row twice is no copy of itself.
  ResultModel same;
  Fill(same, {t("b/keep"), "+" + t("b/keep")});
  host.processMode = ProcessMode::Remove;
  host.en = false;
  EXPECT_EQ(ProcessMarked(same, host).kept, 1);
  EXPECT_TRUE(Exists(t("b/keep")));
  EXPECT_EQ(host.status.last(), "Обработано файлов - 0; сохранено, нет одинаковой копии - 1");
}

TEST(ProcessingSafety, GroupsWithEveryCopyMarkedAreAskedAbout) {
  const Tree t{{"a", "1"}, {"b", "1"}, {"c", "2"}, {"d", "2"}, {"e", "3"}, {"f", "3"}};
  ResultModel model;
  Fill(model, {"+" + t("a"), "+" + t("b"), "|", "+" + t("c"), "+" + t("d"), "|", t("e"), "+" + t("f")});
  Proc host;
  host.removeWholeGroups = false;
  ProcessResult r = ProcessMarked(model, host);
  EXPECT_EQ(host.wholeGroupQuestions.join(','), "Confirm|Every copy of 2 groups is marked. Remove them all?");
  EXPECT_EQ(r.spared, 4);
  EXPECT_EQ(r.processed, 1);
  EXPECT_TRUE(Exists(t("a")) && Exists(t("b")) && Exists(t("c")) && Exists(t("d")) && !Exists(t("f")));
  EXPECT_EQ(Marks(model), "00000000");

  model.clear();
  Fill(model, {"+" + t("a"), "+" + t("b")});
  host.removeWholeGroups = true;
  host.en = false;
  r = ProcessMarked(model, host);
  EXPECT_EQ(host.wholeGroupQuestions.last(), "Подтверждение|Отмечены все копии в группах: 1. Удалить их все?");
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
