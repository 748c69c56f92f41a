// The Delete command through the window, on real files: each processing
// mode, its failures, its texts, and what it leaves in the window.
#include "window_fakes.h"

#include <sys/stat.h>

namespace window_test {
namespace {

const QString kConfirm = QStringLiteral("Confirm");
const QString kDeleteQuestion = QStringLiteral("Delete (or move) all selected files?");

class WindowProcessing : public WindowTest {
 protected:
  // A group of two files; the scan marks the second, twin.txt.
  void scanPair() {
    tree.file("p/keep.txt", Bytes(3000, 1));
    tree.file("p/twin.txt", Bytes(3000, 1));
    openEnglishEveryPump();
    scanFolder(tree("p"));
    ASSERT_EQ(marks(), ".x");
  }
  void doIt() {
    ui.okCancel(kConfirm, kDeleteQuestion, true);
    click("Button2");
  }
  void expectEndOfRun(int processed, int failed = 0) {
    EXPECT_EQ(status(), QStringLiteral("Processing files - %1").arg(processed) +
                            (failed > 0 ? QStringLiteral("; failed - %1").arg(failed) : QString()));
    EXPECT_EQ(form().Edit7->text() + form().Edit5->text() + detail(), "");
    EXPECT_EQ(bar(), 100);
    EXPECT_FALSE(marks().contains(QLatin1Char('x')));
  }
  void loadList(const QStringList& lines) {
    ui.openFile(tree.file("list.txt", (lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).toUtf8()));
    trigger("Load1");
  }

  Tree tree;
};

TEST_F(WindowProcessing, RemoveDeletesTheMarkedReadOnlyFile) {
  scanPair();
  ui.okCancel(kConfirm, kDeleteQuestion, false);  // Cancel: nothing happens
  trigger("Delete1");
  EXPECT_EQ(marks(), ".x");
  EXPECT_EQ(status(), "Complete ...");

  ASSERT_TRUE(QFile::setPermissions(tree("p/twin.txt"), QFileDevice::ReadOwner));
  doIt();
  EXPECT_FALSE(tree.exists("p/twin.txt"));
  EXPECT_TRUE(tree.exists("p/keep.txt"));
  EXPECT_EQ(captions(), (QStringList{"keep.txt", "twin.txt"}));  // processed rows stay
  expectEndOfRun(1);
}

TEST_F(WindowProcessing, RecycleSendsTheFileToTheTrash) {
  Tree data;  // the data home of this test, where the trash lives
  const QByteArray savedDataHome = qgetenv("XDG_DATA_HOME");
  qputenv("XDG_DATA_HOME", data.root().toUtf8());
  scanPair();
  trigger("UseRecycle1");
  ASSERT_TRUE(form().UseRecycle1->isChecked());
  doIt();
  qputenv("XDG_DATA_HOME", savedDataHome);
  EXPECT_FALSE(tree.exists("p/twin.txt"));
  EXPECT_EQ(data.read("Trash/files/twin.txt"), Bytes(3000, 1));
  EXPECT_TRUE(data.exists("Trash/info/twin.txt.trashinfo"));
  expectEndOfRun(1);
}

// While a link is chosen, Do it links instead of removing or moving, asks
// its own question and counts the links.
TEST_F(WindowProcessing, ALinkChoiceReplacesTheMarkedFileByALink) {
  scanPair();
  click("RadioButton2");
  trigger("HardLink1");
  ui.okCancel(kConfirm, QStringLiteral("Replace the marked files with hard links?"), true);
  click("Button2");
  fs::FileId keep, twin;
  EXPECT_TRUE(fs::FileIdOf(tree("p/keep.txt"), &keep) && fs::FileIdOf(tree("p/twin.txt"), &twin) && keep == twin);
  EXPECT_EQ(status(), "Linked - 1");
  EXPECT_FALSE(marks().contains(QLatin1Char('x')));

  // Back to the described Move, for a copy saved anew.
  trigger("LinkOff1");
  ASSERT_TRUE(QFile::remove(tree("p/twin.txt")));
  tree.file("p/twin.txt", Bytes(3000, 1));
  form().results().setMarked(1, true);
  form().Edit2->setText(tree("dest"));
  doIt();
  EXPECT_EQ(tree.read("dest/twin.txt"), Bytes(3000, 1));
  expectEndOfRun(1);
}

TEST_F(WindowProcessing, MoveCreatesTheDestinationWithItsParents) {
  scanPair();
  click("RadioButton2");
  form().Edit2->setText(tree("dest/sub/deeper"));
  doIt();
  EXPECT_FALSE(tree.exists("p/twin.txt"));
  EXPECT_EQ(tree.read("dest/sub/deeper/twin.txt"), Bytes(3000, 1));
  EXPECT_TRUE(tree.exists("p/keep.txt"));
  expectEndOfRun(1);
}

TEST_F(WindowProcessing, MoveOntoAnExistingNameLeavesTheFileAndCountsNothing) {
  scanPair();
  tree.file("dest/twin.txt", "older");
  click("RadioButton2");
  form().Edit2->setText(tree("dest/"));
  doIt();
  EXPECT_EQ(tree.read("p/twin.txt"), Bytes(3000, 1));
  EXPECT_EQ(tree.read("dest/twin.txt"), "older");
  expectEndOfRun(0, 1);
}

TEST_F(WindowProcessing, MoveWithoutADestinationAsksForOne) {
  scanPair();
  click("RadioButton2");
  form().Edit2->clear();
  ui.okCancel(kConfirm, kDeleteQuestion, true).pickFolder(std::nullopt);
  click("Button2");  // cancelled: the run stops where it is
  EXPECT_EQ(status(), "In process ...");
  EXPECT_TRUE(tree.exists("p/twin.txt"));
  EXPECT_EQ(marks(), ".x");
  EXPECT_EQ(form().Edit7->text(), "1");

  ui.okCancel(kConfirm, kDeleteQuestion, true).pickFolder(tree.folder("chosen"));
  click("Button2");  // chosen: the folder takes the file
  EXPECT_EQ(form().Edit2->text(), tree("chosen"));
  EXPECT_TRUE(tree.exists("chosen/twin.txt"));
  expectEndOfRun(1);
}

TEST_F(WindowProcessing, AFailedDeletionShowsOneMessageAndTheRunGoesOn) {
  tree.file("full/inside.txt", "x");
  tree.file("p/twin.txt", "twin");
  openEnglish();
  loadList({QStringLiteral("1;full;%1;0;01.01.2024").arg(tree("full")),
            QStringLiteral("1;twin.txt;%1;0;01.01.2024").arg(tree("p/twin.txt"))});
  ASSERT_EQ(marks(), "xx");
  // Both rows form one group whose every copy is marked: asked first.
  ui.yesNo(kConfirm, QStringLiteral("Every copy of 1 groups is marked. Remove them all?"), true)
      .okCancel(kConfirm, kDeleteQuestion, true)
      .message(tree("full") + QStringLiteral(" не удалён, ошибка = "));
  click("Button2");
  EXPECT_EQ(ui.count(Dialog::Message), 1);
  EXPECT_TRUE(tree.exists("full/inside.txt"));
  EXPECT_FALSE(tree.exists("p/twin.txt"));
  expectEndOfRun(1, 1);  // a folder is not acted on: it fails
}

// A row the run refuses to act on is named with its reason in the words of
// the window's language, not with a number.
TEST_F(WindowProcessing, ARefusedRowIsExplainedInTheWordsOfTheWindow) {
  tree.file("p/keep.txt", "same");
  ASSERT_EQ(mkfifo(QFile::encodeName(tree("p/pipe")).constData(), 0644), 0);
  openRussian();
  loadList({QStringLiteral("0;keep.txt;%1;0;01.01.2024").arg(tree("p/keep.txt")),
            QStringLiteral("1;pipe;%1;0;01.01.2024").arg(tree("p/pipe"))});
  ui.okCancel(QStringLiteral("Подтверждение"), QStringLiteral("Удалить (или переместить) отмеченые файлы?"), true)
      .message(tree("p/pipe") + QStringLiteral(" не удалён: это не обычный файл"));
  click("Button2");
  EXPECT_EQ(status(), "Обработано файлов - 0; не обработано - 1");
  EXPECT_TRUE(tree.exists("p/pipe") && tree.exists("p/keep.txt"));
}

TEST_F(WindowProcessing, AOneRowListEndsWithTheBarFull) {
  tree.file("p/only.txt", "only");
  openEnglish();
  loadList({QStringLiteral("1;only.txt;%1;0;01.01.2024").arg(tree("p/only.txt"))});
  ui.yesNo(kConfirm, QStringLiteral("Every copy of 1 groups is marked. Remove them all?"), true);
  doIt();
  EXPECT_FALSE(tree.exists("p/only.txt"));
  expectEndOfRun(1);
}

TEST_F(WindowProcessing, DeleteEmptyFoldersRemovesOnlyAFolderLeftEmpty) {
  tree.file("a/keep.txt", Bytes(3000, 1));
  tree.file("b/twin.txt", Bytes(3000, 1));
  tree.file("c/twin2.txt", Bytes(3000, 1));
  tree.file("c/.hidden", "h");
  openEnglish();
  scanFolder(tree.root());
  trigger("DelDirs1");
  doIt();
  EXPECT_FALSE(tree.exists("b"));
  EXPECT_TRUE(tree.exists("c/.hidden"));
  expectEndOfRun(2);
}

TEST_F(WindowProcessing, RussianTextsWhenTheInterfaceIsRussian) {
  tree.file("p/keep.txt", Bytes(3000, 1));
  tree.file("p/twin.txt", Bytes(3000, 1));
  open().setPumpInterval(0);
  scanFolder(tree("p"));
  QString during;
  ui.okCancel(QStringLiteral("Подтверждение"), QStringLiteral("Удалить (или переместить) отмеченые файлы?"), true);
  atNextPump([&] { during = status(); });
  click("Button2");
  EXPECT_EQ(during, "Обработка ...");
  EXPECT_EQ(status(), "Обработано файлов - 1");
  EXPECT_FALSE(tree.exists("p/twin.txt"));

  // The longest end text, with a file kept and one that failed, shows whole
  // up to the window's right edge, and whole as its tooltip.
  tree.file("q/a.txt", "a");
  tree.file("q/b.txt", "b");
  tree.file("q/c.txt", "c");
  tree.folder("q/dir");
  loadList({"0;a.txt;" + tree("q/a.txt") + ";0;d", "1;b.txt;" + tree("q/b.txt") + ";0;d", "",
            "0;c.txt;" + tree("q/c.txt") + ";0;d", "1;dir;" + tree("q/dir") + ";0;d"});
  form().show();
  ui.okCancel(QStringLiteral("Подтверждение"), QStringLiteral("Удалить (или переместить) отмеченые файлы?"), true)
      .message(tree("q/dir"));
  click("Button2");
  EXPECT_TRUE(status().endsWith("; сохранено, нет одинаковой копии - 1; не обработано - 1")) << status().toStdString();
  QLabel* line = form().Label1;
  EXPECT_GE(line->width(), line->sizeHint().width());
  EXPECT_EQ(form().centralWidget()->width() - line->geometry().right() - 1, 8);  // where the detail would end
  EXPECT_EQ(line->toolTip(), status());
}

TEST_F(WindowProcessing, ScanLoadAndDeleteDoNothingWhileARunIsUnderWay) {
  scanPair();
  atNextPump([&] {
    click("Button1");
    trigger("Enter1");
    trigger("Load1");
    trigger("N5");
    click("Button2");
    trigger("Delete1");
  });
  doIt();
  EXPECT_EQ(ui.shown(), 1);  // the one confirmation of the run
  EXPECT_FALSE(tree.exists("p/twin.txt"));
  EXPECT_EQ(captions(), (QStringList{"keep.txt", "twin.txt"}));
  expectEndOfRun(1);
}

TEST_F(WindowProcessing, ClosingDuringARunWritesAtOnceAndClosesAtOnceWhileTheRunGoesOn) {
  scanPair();
  form().show();
  int writesAtClose = -1;
  bool openAfterClose = false;
  atNextPump([&] {
    form().close();
    writesAtClose = settings.writes;
    openAfterClose = form().isVisible();
  });
  doIt();
  EXPECT_EQ(writesAtClose, 6);
  EXPECT_FALSE(openAfterClose);  // not left up, usable, beside a run no one sees end
  EXPECT_FALSE(form().isVisible());
  EXPECT_EQ(settings.writes, 6);
  expectEndOfRun(1);  // the run went on to its end
}

}  // namespace
}  // namespace window_test
