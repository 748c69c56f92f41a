// The main window as created: its defaults, its smallest size, and how its
// controls follow a resize.
#include "window_fakes.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QMenuBar>
#include <QMouseEvent>
#include <QRadioButton>
#include <QSplitter>
#include <QTableView>
#include <QTest>
#include <QToolButton>

namespace window_test {
namespace {

class WindowLayout : public WindowTest {
 protected:
  // Drags the splitter's handle with the mouse to `x` in the splitter.
  void dragSplitterTo(int x) {
    QSplitterHandle* handle = form().Splitter1->handle(1);
    const QPoint grip(handle->width() / 2, handle->height() / 2);
    const QPoint to(x - handle->x() + grip.x(), grip.y());
    QMouseEvent press(QEvent::MouseButtonPress, grip, handle->mapToGlobal(grip), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QMouseEvent move(QEvent::MouseMove, to, handle->mapToGlobal(to), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, to, handle->mapToGlobal(to), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(handle, &press);
    QApplication::sendEvent(handle, &move);
    QApplication::sendEvent(handle, &release);
    QCoreApplication::processEvents();
  }
  // Makes the window as small as it lets itself be made.
  void shrink() {
    form().resize(1, 1);
    QCoreApplication::processEvents();
  }
  // No two visible controls of the window overlap, every text of a label,
  // check box or button shows whole (the status line shows its start and the
  // whole text as its tooltip), and every field keeps its least width.
  void expectApart(const char* where) {
    QList<QWidget*> shown;
    for (QWidget* w : form().centralWidget()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
      if (w->isVisible()) shown << w;
    for (qsizetype i = 0; i < shown.size(); ++i)
      for (qsizetype k = i + 1; k < shown.size(); ++k)
        EXPECT_FALSE(shown[i]->geometry().intersects(shown[k]->geometry()))
            << where << ": " << shown[i]->objectName().toStdString() << " and " << shown[k]->objectName().toStdString();
    for (QWidget* w : shown) {
      const auto* button = qobject_cast<QAbstractButton*>(w);
      const bool text = qobject_cast<QLabel*>(w) || (button && !button->text().isEmpty());
      if (text && w != form().Label1 && w != form().Label2) {
        EXPECT_GE(w->width(), w->sizeHint().width()) << where << ": " << w->objectName().toStdString();
      } else if (qobject_cast<QLineEdit*>(w)) {
        EXPECT_GE(w->width(), w->minimumSizeHint().width()) << where << ": " << w->objectName().toStdString();
      }
    }
  }
};

TEST_F(WindowLayout, DefaultsAtCreation) {
  TForm1& f = openEnglish();
  EXPECT_EQ(f.caption(), "Duplicate finder and remover Zorvik");
  EXPECT_EQ(f.windowTitle(), "Duplicate finder and remover Zorvik — Удаление дубликатов файлов Зорвик");
  EXPECT_EQ(f.ext->currentText(), "*.*");
  QStringList items;
  for (int i = 0; i < f.ext->count(); ++i) items << f.ext->itemText(i);
  EXPECT_EQ(items, (QStringList{"*.jpg", "*.png", "*.mp3", "*.wma", "*.avi", "*.mp4", "*.mpeg", "*.txt", "*.doc",
                                "*.exe", "*.*"}));
  EXPECT_TRUE(f.sCheckBox1->isChecked());
  EXPECT_TRUE(f.RadioButton1->isChecked());
  EXPECT_FALSE(f.RadioButton2->isChecked());
  EXPECT_TRUE(f.English1->isChecked());
  EXPECT_FALSE(f.Russian1->isChecked());
  for (QAction* option : {f.UseRecycle1, f.Skip1, f.Skip2, f.DelDirs1, f.Addto1}) {
    EXPECT_TRUE(option->isCheckable()) << option->objectName().toStdString();
    EXPECT_FALSE(option->isChecked()) << option->objectName().toStdString();
  }
  EXPECT_FALSE(f.Button1->isHidden());
  EXPECT_TRUE(f.sButton1->isHidden());
  EXPECT_EQ(status(), "Ready to work ...");
  EXPECT_EQ(detail(), "");
  EXPECT_EQ(f.Edit7->text(), "");
  EXPECT_EQ(f.Edit5->text(), "");
  EXPECT_EQ(bar(), 0);
  EXPECT_EQ(f.results().count(), 0);
  QStringList columns;
  for (int c = 0; c < 4; ++c) columns << f.BaseView->model()->headerData(c, Qt::Horizontal).toString();
  EXPECT_EQ(columns, (QStringList{"Имя файла", "Путь", "Размер КБ", "Дата"}));  // in both languages
  EXPECT_EQ(menuKeys(), "Ctrl+Ins Ctrl+S Ctrl+L Ctrl+Enter Ctrl+Del Esc Alt+F4 Enter Ctrl+F Ctrl+A Ctrl+Z");
}

TEST_F(WindowLayout, AtItsSmallestSizeNoControlCoversAnotherInEitherLanguage) {
  TForm1& f = openEnglish();
  f.show();
  const QSize english = f.minimumSize();
  EXPECT_GE(english.width(), 410);
  EXPECT_GE(english.height(), 300);
  shrink();
  EXPECT_EQ(f.size(), english);
  expectApart("English, smallest");
  trigger("Russian1");  // longer texts: the window grows to what they need
  QCoreApplication::processEvents();
  EXPECT_GT(f.width(), english.width());
  expectApart("switched to Russian");
  f.resize(f.width(), 1600);  // Do it keeps its centre's place until the status line stops it
  QCoreApplication::processEvents();
  expectApart("Russian, tall");

  openRussian().show();
  shrink();
  EXPECT_EQ(form().size(), form().minimumSize());
  expectApart("Russian, smallest");
  form().resize(905, 546 + form().menuBar()->height());
  QCoreApplication::processEvents();
  expectApart("Russian, as designed");

  // A desktop with a larger font: the texts take their room all the same.
  const QFont font = QApplication::font();
  QFont larger = font;
  larger.setPointSizeF(font.pointSizeF() * 1.25);
  QApplication::setFont(larger);
  openRussian().show();
  shrink();
  expectApart("Russian, larger font, smallest");
  QApplication::setFont(font);
}

TEST_F(WindowLayout, ResizingStretchesTheFieldsAndTheListAndKeepsScanAtTheRight) {
  TForm1& f = openEnglish();
  f.show();
  QCoreApplication::processEvents();
  QWidget* client = f.centralWidget();
  auto rightGap = [client](QWidget* w) { return client->width() - w->geometry().right(); };
  const int edit1 = f.Edit1->width(), edit2 = f.Edit2->width(), bar = f.ProgressBar1->width();
  const QSize panel = f.sPanel2->size();
  const int list = f.BaseView->width(), preview = f.previewPane->width();
  const int scanGap = rightGap(f.Button1), scanTop = f.Button1->y(), fieldLeft = f.Edit1->x();

  f.resize(f.width() + 200, f.height() + 150);
  QCoreApplication::processEvents();
  EXPECT_EQ(f.Edit1->width(), edit1 + 200);
  EXPECT_EQ(f.Edit2->width(), edit2 + 200);
  EXPECT_EQ(f.ProgressBar1->width(), bar + 200);
  EXPECT_EQ(f.Edit1->x(), fieldLeft);
  EXPECT_EQ(f.sPanel2->size(), panel + QSize(200, 150));
  EXPECT_EQ(rightGap(f.Button1), scanGap);
  EXPECT_EQ(f.Button1->y(), scanTop);
  EXPECT_EQ(f.sButton1->geometry().topLeft(), f.Button1->geometry().topLeft());
  EXPECT_EQ(f.BaseView->width(), list + 200);  // the list takes the width, the preview keeps its own
  EXPECT_EQ(f.previewPane->width(), preview);
}

TEST_F(WindowLayout, TabOrderSplitterLimitsAndColumnMinimums) {
  TForm1& f = openEnglish();
  f.show();
  QCoreApplication::processEvents();

  // The controls Tab reaches, in order, from the list on.
  QStringList order;
  QWidget* w = f.BaseView;
  do {
    if (w->isVisibleTo(&f) && w->isEnabled() && (w->focusPolicy() & Qt::TabFocus) && !w->focusProxy() &&
        !qobject_cast<QComboBox*>(w->parentWidget()))
      order << w->objectName();
    w = w->nextInFocusChain();
  } while (w != f.BaseView);
  EXPECT_EQ(order.join(' '), "BaseView Edit2 sEdit1 Button2 RadioButton1 RadioButton2 Edit1 ext sCheckBox1 Button1");

  // The list keeps at least 30 pixels; a pane dragged to 30 or narrower
  // collapses, and the placeholder and its hint go with it.
  const int full = f.Splitter1->width();
  dragSplitterTo(0);
  EXPECT_EQ(f.BaseView->width(), 30);
  dragSplitterTo(full - 4 - 31);
  EXPECT_EQ(f.previewPane->width(), 31);
  EXPECT_FALSE(f.Image2->visibleRegion().isEmpty());  // what the narrow pane leaves of it
  dragSplitterTo(full - 4 - 30);
  EXPECT_EQ(f.previewPane->width(), 0);
  EXPECT_EQ(f.BaseView->width(), full - 4);
  EXPECT_TRUE(f.Image2->visibleRegion().isEmpty());
  EXPECT_TRUE(f.sLabel3->visibleRegion().isEmpty());
  dragSplitterTo(full - 4 - 390);
  EXPECT_EQ(f.previewPane->width(), 390);
  EXPECT_EQ(f.Image2->visibleRegion().boundingRect().size(), QSize(145, 143));
  EXPECT_EQ(f.Image2->mapTo(f.sPanel2, QPoint(0, 0)), QPoint(733, 20));  // where the window was designed to show it

  // Name and path are at least 100 wide, size and date at least 50.
  QHeaderView* header = f.BaseView->horizontalHeader();
  for (int column = 0; column < 4; ++column) header->resizeSection(column, 10);
  EXPECT_EQ(QString("%1 %2 %3 %4")
                .arg(header->sectionSize(0))
                .arg(header->sectionSize(1))
                .arg(header->sectionSize(2))
                .arg(header->sectionSize(3)),
            "100 100 50 50");
}

TEST_F(WindowLayout, DoubleClickingAFieldBrowsesLikeItsFolderButton) {
  Tree tree;
  tree.folder("pick/keep");
  TForm1& f = openEnglish();
  f.show();
  // The picker starts at the desktop, or at home while there is no desktop folder.
  ui.pickFolder(tree("pick"), QDir::homePath()).pickFolder(tree("pick/keep")).pickFolder(std::nullopt);
  QTest::mouseDClick(f.Edit1, Qt::LeftButton);
  EXPECT_EQ(f.Edit1->text(), tree("pick"));
  QTest::mouseDClick(f.sEdit1, Qt::LeftButton);
  EXPECT_EQ(f.sEdit1->text(), tree("pick/keep/"));  // the protected folder ends with a separator
  f.Edit2->setText(QStringLiteral("/kept"));
  click("sSpeedButton2");  // cancelled: the field keeps its text
  EXPECT_EQ(f.Edit2->text(), "/kept");
  EXPECT_EQ(ui.count(Dialog::PickFolder), 3);

  const QString desktop = QDir::homePath() + "/Desktop";
  ASSERT_TRUE(QDir().mkpath(desktop));
  openEnglish();  // a new picker, never used
  ui.pickFolder(std::nullopt, desktop);
  click("sSpeedButton3");
  QDir(desktop).removeRecursively();
}

}  // namespace
}  // namespace window_test
