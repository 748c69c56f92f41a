// The About box: its title line in each language state, its modality, and
// the two ways to the web site.
#include "window_fakes.h"

#include <QTest>
#include <QTimer>

namespace window_test {
namespace {

class WindowAbout : public WindowTest {
 protected:
  // Opens the About box with the "?" item; `inside` runs while it is open,
  // then the box is closed.
  void showAbout(const std::function<void()>& inside) {
    bool ran = false;
    QTimer::singleShot(0, &form(), [&] {
      ran = true;
      EXPECT_EQ(QApplication::activeModalWidget(), &about());
      inside();
      about().close();
    });
    trigger("N1");
    EXPECT_TRUE(ran);
    EXPECT_FALSE(about().isVisible());
  }
  // The title line and the box's caption; the line must fit on one line,
  // the version beside the name.
  QString titleLine() {
    QString s;
    showAbout([&] {
      const QLabel* line = about().label19;
      s = line->text() + " / " + about().windowTitle();
      EXPECT_LE(line->fontMetrics().horizontalAdvance(line->text()), line->contentsRect().width()) << s.toStdString();
      EXPECT_GE(line->font().pixelSize(), 11) << "too small to read";
    });
    return s;
  }
};

TEST_F(WindowAbout, TheTitleLineFollowsTheLanguageCheck) {
  openEnglish();
  EXPECT_EQ(titleLine(), "Duplicate finder and remover Zorvik - 1.5 / О программе");
  openRussian();
  EXPECT_EQ(titleLine(), "Удаление дубликатов файлов Зорвик - 1.5 / О программе");
  ui.okCancel(QStringLiteral("Notice"), QStringLiteral("To apply changes you must reload programm."), false);
  trigger("English1");  // the mixed state: Russian captions, English checked
  ASSERT_EQ(form().Button1->text(), "Поиск");
  EXPECT_EQ(titleLine(), "Duplicate finder and remover Zorvik - 1.5 / О программе");
}

TEST_F(WindowAbout, LogoAndLinkOpenTheWebSiteAndTheFieldsAreReadOnly) {
  openEnglish();
  QTest::mouseClick(form().Label3, Qt::LeftButton);
  EXPECT_EQ(shell.opened, QStringList{kWebSite});
  bool openAfterLogo = false;
  QString mail, site;
  showAbout([&] {
    QTest::mouseClick(about().Image1, Qt::LeftButton);
    openAfterLogo = about().isVisible();
    QTest::keyClicks(about().sEdit1, "x");
    QTest::keyClick(about().sEdit2, Qt::Key_Backspace);
    mail = about().sEdit1->text();
    site = about().sEdit2->text();
  });
  EXPECT_TRUE(openAfterLogo);
  EXPECT_EQ(shell.opened, (QStringList{kWebSite, kWebSite}));
  EXPECT_EQ(mail, kMail);
  EXPECT_EQ(site, kWebSite);
  EXPECT_EQ(ui.shown(), 0);
}

}  // namespace
}  // namespace window_test
