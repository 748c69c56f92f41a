// Save list and Load list through the window: a list comes back with its
// marks and totals, a list in UTF-8 with a byte-order mark loads intact, and
// a missing file or lines that cannot be read back are reported.
#include "window_fakes.h"

#include <QScrollBar>
#include <QTableView>

namespace window_test {
namespace {

class WindowListFile : public WindowTest {
 protected:
  // Caption, path, size and date of every row.
  QStringList rowTexts() {
    QStringList s;
    for (int i = 0; i < form().results().count(); ++i) {
      const ResultRow& r = form().results().row(i);
      s << QStringList{r.caption, r.path, r.sizeText, r.dateText}.join(QLatin1Char('|'));
    }
    return s;
  }
  // Loads `bytes` as a list file; `reported`, when given, is part of the message that follows.
  void loadList(const QByteArray& bytes, const QString& reported = {}) {
    ui.openFile(tree.file("list.txt", bytes));
    if (!reported.isEmpty()) ui.message(reported);
    trigger("Load1");
  }

  Tree tree;
};

TEST_F(WindowListFile, ASavedListLoadsBackWithItsMarksAndTotals) {
  tree.file("a/one.txt", Bytes(3000, 1));
  tree.file("b/one;copy.txt", Bytes(3000, 1));  // a ';' in a name survives too
  for (const char* name : {"c/x.dat", "c/y.dat", "c/z.dat"}) tree.file(name, Bytes(5000, 2));
  openEnglish();
  scanFolder(tree.root());
  ASSERT_EQ(marks(), ".x|.xx");
  form().results().setMarked(0, true);
  form().results().setMarked(2, true);  // a separator's mark is not kept
  form().results().setMarked(4, false);
  ASSERT_EQ(totals(), "3 / 11 KB");
  const QStringList saved = rowTexts();
  ui.saveFile(tree("saved.txt"));
  trigger("Saveas1");

  openEnglish();  // a new window
  ui.openFile(tree("saved.txt"));
  trigger("N5");  // the list's own Load list
  EXPECT_EQ(rowTexts(), saved);
  EXPECT_EQ(marks(), "xx|..x");
  EXPECT_EQ(totals(), "3 / 11 KB");
}

TEST_F(WindowListFile, AUtf8ListWithAByteOrderMarkKeepsItsCyrillicNames) {
  openEnglish();
  loadList("\xEF\xBB\xBF" + QStringLiteral("1;Фото.jpg;/дом/Фото.jpg;12;01.02.2017\r\n\r\n"
                                           "0;Фото (2).jpg;/дом/Старое/Фото (2).jpg;12;01.02.2017\r\n")
                                .toUtf8());
  EXPECT_EQ(rowTexts(), (QStringList{"Фото.jpg|/дом/Фото.jpg|12|01.02.2017", "|||",
                                     "Фото (2).jpg|/дом/Старое/Фото (2).jpg|12|01.02.2017"}));
  EXPECT_EQ(marks(), "x|.");
  EXPECT_EQ(totals(), "1 / 12 KB");
  EXPECT_EQ(ui.shown(), 1);  // the open dialog only
}

TEST_F(WindowListFile, ASizeThatIsNoNumberIsReportedOnceAndABlankNameStaysAFile) {
  openEnglish();
  loadList("1;a;/p/a;20;d\r\n1;b;/p/b;30;d\r\n");
  ASSERT_EQ(totals(), "2 / 50 KB");
  loadList("1; ;/p/ ;12;d\r\n1;b;/p/b;x;d\r\n0;c;/p/c;1;d\r\n", QStringLiteral("'x' is not a valid integer value"));
  EXPECT_EQ(ui.count(Dialog::Message), 1);  // one report, not one more after the load
  EXPECT_EQ(totals(), "1 / 12 KB");         // as the recount of the first mark left them
  EXPECT_EQ(marks(), "xx.");                // the file named " " is a row of the group, not a separator
  EXPECT_EQ(captions().front(), " ");
}

TEST_F(WindowListFile, ALoadedListStartsAtItsTopWhereverTheListBeforeWasScrolled) {
  QByteArray lines;
  for (int i = 0; i < 300; ++i) lines += QStringLiteral("0;f%1;/p/f%1;1;d\r\n").arg(i).toLatin1();
  openEnglish().show();
  loadList(lines);
  QTableView* view = form().BaseView;
  view->setColumnWidth(1, 3 * view->width());  // a path column dragged wide
  QCoreApplication::processEvents();
  view->scrollToBottom();
  view->horizontalScrollBar()->setValue(view->horizontalScrollBar()->maximum());
  QCoreApplication::processEvents();
  ASSERT_GT(view->verticalScrollBar()->value(), 0);
  ASSERT_GT(view->horizontalScrollBar()->value(), 0);
  loadList(lines);
  QCoreApplication::processEvents();
  EXPECT_EQ(view->verticalScrollBar()->value(), 0);
  EXPECT_EQ(view->rowAt(0), 0);
  EXPECT_EQ(view->horizontalScrollBar()->value(), 0);
}

TEST_F(WindowListFile, AMissingFileAndUnreadableLinesAreReported) {
  openEnglish();
  loadList(
      "1;x;y;/p/q;z;3;d\r\n"  // a ';' in a name that fits no split
      "1;a;b;/p/a;b;5;d\r\n"  // one that does
      "0;m;n;/p/o;p;q;7;d\r\n"
      "1;ok.txt;/p/ok.txt;2;d\r\n",
      QStringLiteral("2 lines of the list could not be read"));
  EXPECT_EQ(marks(), ".x.x");  // the unreadable rows stay unmarked, with no path
  EXPECT_EQ(rowTexts(), (QStringList{"x|||", "a;b|/p/a;b|5|d", "m|||", "ok.txt|/p/ok.txt|2|d"}));
  EXPECT_EQ(totals(), "2 / 7 KB");

  const QString missing = tree("gone/list.txt");
  ui.openFile(missing).message(missing);
  trigger("Load1");
  EXPECT_EQ(marks(), "");  // the list was emptied before the file was opened
  EXPECT_EQ(ui.count(Dialog::Message), 2);
}

}  // namespace
}  // namespace window_test
