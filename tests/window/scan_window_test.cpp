// The Scan and Cancel commands as the window runs them: the buttons, the
// texts, the questions, and what a stop leaves behind.
#include "window_fakes.h"

#include <QAbstractItemModel>
#include <QTest>
#include <QTimer>

namespace window_test {
namespace {

const QString kWarning = QStringLiteral("Warning");
const QString kNotEmpty = QStringLiteral("List is not empty, do you want to continue?");
const QString kConfirm = QStringLiteral("Confirm");
const QString kStop = QStringLiteral("Do you really want to stop searching?");
const QStringList kTwoGroups = {"one.txt", "one_copy.txt", "", "x.dat", "y.dat", "z.dat"};

class WindowScan : public WindowTest {
 protected:
  // Two groups (3000 and 5000 bytes); one file has the second group's size
  // but not its content, one matches nothing.
  void writeTwoGroups() {
    tree.file("a/one.txt", Bytes(3000, 1));
    tree.file("b/one_copy.txt", Bytes(3000, 1));
    for (const char* name : {"c/x.dat", "c/y.dat", "c/z.dat"}) tree.file(name, Bytes(5000, 2));
    tree.file("d/unique.dat", Bytes(5000, 3));
    tree.file("e/alone.txt", Bytes(700, 4));
  }
  // Three groups of two files, of 3000, 4000 and 5000 bytes.
  void writeThreeGroups() {
    for (int g = 0; g < 3; ++g)
      for (const char* name : {"first", "second"})
        tree.file(QStringLiteral("g%1/%2.bin").arg(g).arg(name), Bytes(3000 + 1000 * g, g));
  }
  // Runs `fn` at the first pump after the result list got its first row,
  // that is during the comparison.
  void atPumpAfterFirstRow(std::function<void()> fn) {
    auto fired = std::make_shared<bool>(false);
    QObject::connect(&form().results(), &QAbstractItemModel::rowsInserted, &form(), [this, fired, fn] {
      if (!*fired) atNextPump(fn);
      *fired = true;
    });
  }
  void expectCancelled() {
    EXPECT_EQ(status(), "Canceled.");
    EXPECT_EQ(bar(), 0);
    EXPECT_EQ(title(), "Zazovovir Iruvav");
    EXPECT_EQ(ui.beeps(), 0);
    EXPECT_TRUE(idleButtons());
  }

  Tree tree;
};

TEST_F(WindowScan, WholeScanShowsGroupsMarksTotalsAndEndTexts) {
  writeTwoGroups();
  openEnglishEveryPump();
  QString searching;
  atNextPump([&] { searching = status(); });
  scanFolder(tree.root());

  EXPECT_EQ(searching, "Searching files, please wait ...");
  EXPECT_EQ(captions(), kTwoGroups);
  EXPECT_EQ(marks(), ".x|.xx");
  const ResultRow& copy = form().results().row(1);
  EXPECT_EQ(copy.path, tree("b/one_copy.txt"));
  EXPECT_EQ(copy.sizeText, "3");
  EXPECT_FALSE(copy.dateText.isEmpty());
  EXPECT_EQ(form().results().row(3).sizeText, "5");
  EXPECT_EQ(totals(), "3 / 13 KB");
  EXPECT_EQ(status(), "Complete ...");
  EXPECT_EQ(detail(), "");
  EXPECT_EQ(title(), "Comparing - 100%");
  EXPECT_EQ(bar(), 100);
  EXPECT_EQ(ui.beeps(), 1);
  EXPECT_TRUE(idleButtons());

  // A mask of "*" becomes "*.*"; another mask is used as typed.
  ui.yesNo(kWarning, kNotEmpty, true).yesNo(kWarning, kNotEmpty, true);
  form().ext->setEditText(QStringLiteral("*"));
  click("Button1");
  EXPECT_EQ(form().ext->currentText(), "*.*");
  EXPECT_EQ(captions(), kTwoGroups);
  form().ext->setEditText(QStringLiteral("*.DAT"));
  click("Button1");
  EXPECT_EQ(captions(), (QStringList{"x.dat", "y.dat", "z.dat"}));
}

TEST_F(WindowScan, NothingFoundEndsWithCompleteBeepAndFullBar) {
  tree.folder("empty/inner");
  openEnglish();
  scanFolder(tree("empty"));
  EXPECT_EQ(status(), "Complete.");
  EXPECT_EQ(bar(), 100);
  EXPECT_EQ(ui.beeps(), 1);
  EXPECT_EQ(form().results().count(), 0);
  EXPECT_EQ(totals(), "0 / 0 KB");
  EXPECT_EQ(title(), kStartTitle);  // nothing was compared
  EXPECT_TRUE(idleButtons());
}

TEST_F(WindowScan, EmptyFoldersTextOpensThePicker) {
  writeTwoGroups();
  openEnglish();
  ui.pickFolder(std::nullopt);  // cancelled: nothing to scan
  click("Button1");
  EXPECT_EQ(form().Edit1->text(), "");
  EXPECT_EQ(status(), "Complete.");
  EXPECT_EQ(bar(), 100);
  EXPECT_EQ(ui.beeps(), 1);

  ui.pickFolder(tree.root());  // chosen: that folder is scanned
  trigger("Enter1");
  EXPECT_EQ(form().Edit1->text(), tree.root());
  EXPECT_EQ(marks(), ".x|.xx");
}

TEST_F(WindowScan, CancelDuringTheWalkStopsBeforeComparing) {
  writeTwoGroups();
  openEnglishEveryPump();
  QString askedWhile;
  bool cancelShown = false;
  ui.okCancel(kConfirm, kStop, true, [&] { askedWhile = status(); });
  atNextPump([&] {
    cancelShown = !form().sButton1->isHidden() && form().Button1->isHidden();
    click("sButton1");
  });
  scanFolder(tree.root());

  EXPECT_TRUE(cancelShown);
  EXPECT_EQ(askedWhile, "Searching files, please wait ...");
  expectCancelled();
  EXPECT_EQ(detail(), "");
  EXPECT_EQ(form().results().count(), 0);
  EXPECT_EQ(totals(), "0 / 0 KB");

  click("Button1");  // idle again: the next scan runs whole
  EXPECT_EQ(marks(), ".x|.xx");
}

TEST_F(WindowScan, CancelInTheMiddleOfAListingFinishesThatListingOnly) {
  for (const char* name : {"r1.txt", "r2.txt", "r3.txt", "sub/r4.txt"}) tree.file(name, Bytes(2000, 5));
  openEnglishEveryPump();
  ui.okCancel(kConfirm, kStop, true);
  // The first pump enters the root; the second comes before its first entry.
  atNextPump([&] { atNextPump([&] { click("sButton1"); }); });
  scanFolder(tree.root());
  expectCancelled();
  EXPECT_TRUE(QStringList({"r1.txt", "r2.txt", "r3.txt"}).contains(detail())) << detail().toStdString();
  EXPECT_EQ(form().results().count(), 0);
  // The detail shows whole at the right end of the status line's row.
  const QLabel* shown = form().Label2;
  EXPECT_GE(shown->width(), shown->sizeHint().width());
  EXPECT_EQ(form().centralWidget()->width() - shown->geometry().right() - 1, 8);
  EXPECT_FALSE(shown->geometry().intersects(form().Label1->geometry()));
}

TEST_F(WindowScan, CancelDuringTheComparisonAppendsNoFurtherRowsAndMarksNothing) {
  writeThreeGroups();
  openEnglishEveryPump();
  QString askedWhile;
  int rowsAtCancel = -1;
  ui.okCancel(kConfirm, kStop, true, [&] {
    askedWhile = status();
    rowsAtCancel = form().results().count();
  });
  atPumpAfterFirstRow([&] { click("sButton1"); });
  scanFolder(tree.root());

  EXPECT_EQ(askedWhile, "Comparing files, please wait ...");
  EXPECT_GE(rowsAtCancel, 1);
  EXPECT_EQ(form().results().count(), rowsAtCancel);
  EXPECT_LT(rowsAtCancel, 8);  // the whole list: 3 groups, 2 separators
  EXPECT_EQ(marks(), QString(rowsAtCancel, QLatin1Char('.')));
  EXPECT_EQ(totals(), "0 / 0 KB");
  EXPECT_EQ(detail(), "");
  expectCancelled();
}

TEST_F(WindowScan, CancelAnsweredCancelLetsTheScanFinish) {
  writeTwoGroups();
  openEnglishEveryPump();
  ui.okCancel(kConfirm, kStop, false);
  atPumpAfterFirstRow([&] { click("sButton1"); });
  scanFolder(tree.root());
  EXPECT_EQ(captions(), kTwoGroups);
  EXPECT_EQ(marks(), ".x|.xx");
  EXPECT_EQ(status(), "Complete ...");
  EXPECT_EQ(title(), "Comparing - 100%");
  EXPECT_EQ(ui.beeps(), 1);
}

TEST_F(WindowScan, EscRunsCancelDuringAScanAndNothingWhenIdle) {
  writeThreeGroups();
  openEnglishEveryPump();
  form().show();
  QApplication::setActiveWindow(&form());
  form().Edit1->setFocus();
  ASSERT_EQ(QApplication::focusWidget(), form().Edit1);
  QTest::keyClick(form().Edit1, Qt::Key_Escape);  // idle: nothing is asked
  ui.okCancel(kConfirm, kStop, true);
  atPumpAfterFirstRow([&] { QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape); });
  scanFolder(tree.root());
  expectCancelled();
}

TEST_F(WindowScan, QuestionBeforeScanningOverAList) {
  writeTwoGroups();
  openEnglishEveryPump();
  scanFolder(tree.root());
  form().results().setMarked(0, true);  // a mark of the user's own

  ui.yesNo(kWarning, kNotEmpty, false);  // No: nothing changes
  click("Button1");
  EXPECT_EQ(marks(), "xx|.xx");
  EXPECT_EQ(totals(), "4 / 16 KB");
  EXPECT_EQ(status(), "Complete ...");
  EXPECT_EQ(ui.beeps(), 1);

  QFile::remove(tree("b/one_copy.txt"));
  int rowsWhenAsked = -1, rowsDuringWalk = -1;
  ui.yesNo(kWarning, kNotEmpty, true, [&] { rowsWhenAsked = form().results().count(); });
  atNextPump([&] { rowsDuringWalk = form().results().count(); });
  click("Button1");  // Yes: emptied before the walk, then scanned anew
  EXPECT_EQ(rowsWhenAsked, 6);
  EXPECT_EQ(rowsDuringWalk, 0);
  EXPECT_EQ(captions(), (QStringList{"x.dat", "y.dat", "z.dat"}));
  EXPECT_EQ(marks(), ".xx");
  EXPECT_EQ(ui.beeps(), 2);
}

TEST_F(WindowScan, ScanDeleteAddFoldersAndLoadListDoNothingWhileAScanRuns) {
  writeThreeGroups();
  openEnglishEveryPump();
  bool folderDialogShown = false;
  atPumpAfterFirstRow([&] {
    // Should the folder-list dialog open, it is closed at once.
    QTimer::singleShot(0, &form(), [&] {
      if (QWidget* modal = QApplication::activeModalWidget()) {
        folderDialogShown = true;
        modal->close();
      }
    });
    click("Button1");
    trigger("Enter1");
    click("Button2");
    trigger("Delete1");
    trigger("AddFolders1");
    trigger("Load1");
  });
  scanFolder(tree.root());
  QCoreApplication::processEvents();

  EXPECT_EQ(ui.shown(), 0);  // no question, no picker, no file dialog
  EXPECT_FALSE(folderDialogShown);
  EXPECT_EQ(marks(), ".x|.x|.x");
  EXPECT_EQ(status(), "Complete ...");
  EXPECT_EQ(ui.beeps(), 1);
}

// After a confirmed Cancel, Scan is available at once, even before the
// stopped scan has returned: the new scan runs whole inside it, and the
// stopped one then ends without touching the new results.
TEST_F(WindowScan, ScanRightAfterCancelRunsWholeInsideTheStoppedScan) {
  writeThreeGroups();
  openEnglishEveryPump();
  auto cancelAndScan = [&] {
    click("sButton1");
    click("Button1");
  };
  ui.okCancel(kConfirm, kStop, true).yesNo(kWarning, kNotEmpty, true);
  atPumpAfterFirstRow(cancelAndScan);  // during the comparison
  scanFolder(tree.root());
  EXPECT_EQ(marks(), ".x|.x|.x");
  EXPECT_EQ(totals(), "3 / 12 KB");
  EXPECT_EQ(status(), "Complete ...");
  EXPECT_TRUE(idleButtons());

  ui.yesNo(kWarning, kNotEmpty, true).okCancel(kConfirm, kStop, true);
  atNextPump(cancelAndScan);  // during the walk
  click("Button1");
  EXPECT_EQ(marks(), ".x|.x|.x");
  EXPECT_EQ(status(), "Complete ...");
  EXPECT_EQ(ui.beeps(), 2);
}

}  // namespace
}  // namespace window_test
