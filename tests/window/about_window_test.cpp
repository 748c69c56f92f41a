// The About box: its title line in each language state, its modality, and
// the two ways to the web site.
#include "window_fakes.h"

#include "shell/pictures.h"

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
  EXPECT_EQ(desktop.opened, QStringList{kWebSite});
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
  EXPECT_EQ(desktop.opened, (QStringList{kWebSite, kWebSite}));
  EXPECT_EQ(mail, kMail);
  EXPECT_EQ(site, kWebSite);
  EXPECT_EQ(ui.shown(), 0);
}

// The icon is read from the program's resources when it is drawn; a picture
// that failed to load would leave every window without its icon and the
// logo without its sheets, and nothing would say so.
TEST(Icon, TheIconFileIsDrawnAtEverySizeAndInTheLogo) {
  const QColor white(255, 255, 255), copy(200, 225, 250);
  // Points of the picture in its own coordinates (the SVG's view box is
  // 3, 6, 50 x 50): inside the front sheet, inside the sheet behind it only.
  const QPointF front(9, 44), behind(45, 51);
  auto at = [](const QImage& image, QPointF p, int size) {
    return image.pixelColor(int((p.x() - 3) * size / 50), int((p.y() - 6) * size / 50));
  };
  for (int size : {48, 256}) {
    const QImage icon = IconImage(size);
    ASSERT_EQ(icon.size(), QSize(size, size));
    EXPECT_EQ(icon.pixelColor(0, 0).alpha(), 0);
    EXPECT_EQ(at(icon, front, size), white) << size;
    EXPECT_EQ(at(icon, behind, size), copy) << size;
  }
  // The logo draws the same picture at its own coordinates, the name beside it.
  const QImage logo = LogoPicture().toImage();
  EXPECT_EQ(logo.pixelColor(front.toPoint()), white);
  EXPECT_EQ(logo.pixelColor(behind.toPoint()), copy);
  const QList<QSize> sizes = ApplicationIcon().availableSizes();
  EXPECT_TRUE(sizes.contains(QSize(16, 16)) && sizes.contains(QSize(256, 256))) << sizes.size();
}

}  // namespace
}  // namespace window_test
