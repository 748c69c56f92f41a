// The marking commands of the result list, the check boxes of its rows, and
// how keys reach the list's commands and the main menu's.
#include "window_fakes.h"

#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTableView>
#include <QTest>

#include <unistd.h>

namespace window_test {
namespace {

class WindowMarking : public WindowTest {
 protected:
  // Rows one.txt, one_copy.txt (3000 bytes), separator, x.dat, y.dat, z.dat
  // (5000 bytes).
  void scanTwoGroups() {
    tree.file("a/one.txt", Bytes(3000, 1));
    tree.file("b/one_copy.txt", Bytes(3000, 1));
    for (const char* name : {"c/x.dat", "c/y.dat", "c/z.dat"}) tree.file(name, Bytes(5000, 2));
    openEnglish();
    scanFolder(tree.root());
    ASSERT_EQ(marks(), ".x|.xx");
  }
  // Makes the window the active one and gives `w` the focus, so keys go
  // where a user's keys would.
  void focus(QWidget* w) {
    form().show();
    QApplication::setActiveWindow(&form());
    w->setFocus(Qt::OtherFocusReason);
    ASSERT_EQ(QApplication::focusWidget(), w);
  }
  void clickCheckBox(int row) {
    QTableView* view = form().BaseView;
    QStyleOptionViewItem option;
    option.initFrom(view);
    option.rect = view->visualRect(form().results().index(row, 0));
    option.features |= QStyleOptionViewItem::HasCheckIndicator;
    const QRect box = view->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, view);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, box.center());
  }

  Tree tree;
};

TEST_F(WindowMarking, ContextMenuCommandsSetMarksAndTotals) {
  scanTwoGroups();
  EXPECT_EQ(totals(), "3 / 13 KB");
  form().results().setMarked(2, true);  // a separator's mark counts for nothing
  EXPECT_EQ(totals(), "3 / 13 KB");

  trigger("SelectAll1");  // leaves separators as they are
  EXPECT_EQ(marks(), "xx#xxx");
  EXPECT_EQ(totals(), "5 / 21 KB");
  trigger("UnselectAll1");  // clears separators too
  EXPECT_EQ(marks(), "..|...");
  EXPECT_EQ(totals(), "0 / 0 KB");
  trigger("SelectAll1");
  EXPECT_EQ(marks(), "xx|xxx");

  form().results().setMarked(2, true);
  trigger("N2");  // the marks by hand are gone
  EXPECT_EQ(marks(), ".x|.xx");
  EXPECT_EQ(totals(), "3 / 13 KB");
  EXPECT_EQ(ui.shown(), 0);
}

TEST_F(WindowMarking, SelectAllExcludeFirstSparesTheProtectedFolder) {
  for (const char* name : {"a/f.bin", "keep/f.bin", "z/f.bin"}) tree.file(name, Bytes(4000, 1));
  for (const char* name : {"keep/g1.bin", "keep/g2.bin"}) tree.file(name, Bytes(6000, 2));
  openEnglish();
  scanFolder(tree.root());
  ASSERT_EQ(form().results().row(1).path, tree("keep/f.bin"));
  ASSERT_EQ(marks(), ".xx|.x");

  form().sEdit1->setText(tree("keep/"));
  trigger("N2");
  EXPECT_EQ(marks(), "x.x|..");
  EXPECT_EQ(form().Edit7->text(), "2");

  form().sEdit1->setText(tree("KEEP/"));  // letter case counts
  trigger("N2");
  EXPECT_EQ(marks(), ".xx|.x");

  QFile::link(tree("keep"), tree("pictures"));  // typed through a link, it still keeps its files
  form().sEdit1->setText(tree("pictures"));
  trigger("N2");
  EXPECT_EQ(marks(), "x.x|..");

  // As root, in Russian: a protected folder that another user's link
  // steers into root's folders is refused at the scan with one message,
  // and nothing is marked.
  if (getuid() != 0) GTEST_SKIP() << "only root can be steered into another owner's folders";
  const QByteArray user = QFile::encodeName(tree.folder("user")), link = user + "/keep";
  ASSERT_EQ(symlink(QFile::encodeName(tree("keep")).constData(), link.constData()), 0);
  ASSERT_EQ(lchown(link.constData(), 65534, 65534), 0);
  ASSERT_EQ(chown(user.constData(), 65534, 65534), 0);
  openRussian();
  form().sEdit1->setText(QFile::decodeName(link));
  ui.message("поэтому ничего не отмечено:\n" + QFile::decodeName(link) +
             ": путь ведёт из папки одного пользователя в папку или файл другого");
  scanFolder(tree.root());
  EXPECT_EQ(marks(), "...|..");
}

TEST_F(WindowMarking, TickingARowsCheckBoxRecountsTheTotals) {
  scanTwoGroups();
  focus(form().BaseView);
  clickCheckBox(0);
  EXPECT_EQ(marks(), "xx|.xx");
  EXPECT_EQ(totals(), "4 / 16 KB");
  clickCheckBox(4);
  EXPECT_EQ(marks(), "xx|..x");
  EXPECT_EQ(totals(), "3 / 11 KB");
  clickCheckBox(2);
  EXPECT_EQ(marks(), "xx#..x");
  EXPECT_EQ(totals(), "3 / 11 KB");
}

TEST_F(WindowMarking, CtrlAAndCtrlZMarkOnlyWhileTheListHasTheFocus) {
  scanTwoGroups();
  focus(form().Edit1);
  QTest::keyClick(form().Edit1, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClick(form().Edit1, Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(marks(), ".x|.xx");
  EXPECT_EQ(form().Edit1->selectedText(), tree.root());  // the field took Ctrl+A
  focus(form().Button2);
  QTest::keyClick(form().Button2, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClick(form().Button2, Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(marks(), ".x|.xx");

  focus(form().BaseView);
  QTest::keyClick(form().BaseView, Qt::Key_A, Qt::ControlModifier);
  EXPECT_EQ(marks(), "xx|xxx");
  EXPECT_EQ(totals(), "5 / 21 KB");
  QTest::keyClick(form().BaseView, Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(marks(), "..|...");
  EXPECT_EQ(totals(), "0 / 0 KB");
}

TEST_F(WindowMarking, MainMenuKeysActFromAnEditField) {
  scanTwoGroups();
  form().Edit1->setCursorPosition(0);
  focus(form().Edit1);
  ui.okCancel(QStringLiteral("Confirm"), QStringLiteral("Delete (or move) all selected files?"), false);
  QTest::keyClick(form().Edit1, Qt::Key_Delete, Qt::ControlModifier);  // Delete, not the field's own deletion
  EXPECT_EQ(ui.count(Dialog::OkCancel), 1);
  EXPECT_EQ(form().Edit1->text(), tree.root());
  EXPECT_TRUE(tree.exists("b/one_copy.txt"));

  QFile::remove(tree("b/one_copy.txt"));
  focus(form().Edit2);
  ui.yesNo(QStringLiteral("Warning"), QStringLiteral("List is not empty, do you want to continue?"), true);
  QTest::keyClick(form().Edit2, Qt::Key_Return, Qt::ControlModifier);  // Scan
  EXPECT_EQ(marks(), ".xx");
  EXPECT_EQ(status(), "Complete ...");
  ui.yesNo(QStringLiteral("Warning"), QStringLiteral("List is not empty, do you want to continue?"), false);
  QTest::keyClick(form().Edit2, Qt::Key_Enter, Qt::ControlModifier | Qt::KeypadModifier);  // the keypad's Enter too
  EXPECT_EQ(ui.count(Dialog::YesNo), 2);
}

}  // namespace
}  // namespace window_test
