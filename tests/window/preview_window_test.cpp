// The result list's row commands: which context-menu items are enabled,
// Execute and Open folder, and the picture preview with its failures.
#include "window_fakes.h"

#include <QDataStream>
#include <QImage>
#include <QMenu>
#include <QMouseEvent>
#include <QTableView>
#include <QTest>

namespace window_test {
namespace {

// A PNG file of that claimed size: a correct header and a little data.
QByteArray PngClaiming(quint32 width, quint32 height) {
  auto chunk = [](const char* type, const QByteArray& data) {
    const QByteArray body = QByteArray(type, 4) + data;
    quint32 crc = 0xFFFFFFFFu;
    for (const char c : body) {
      crc ^= static_cast<unsigned char>(c);
      for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    QByteArray out;
    QDataStream s(&out, QIODevice::WriteOnly);
    s << quint32(data.size());
    s.writeRawData(body.constData(), int(body.size()));
    s << ~crc;
    return out;
  };
  QByteArray header;
  QDataStream(&header, QIODevice::WriteOnly)
      << width << height << quint8(8) << quint8(2) << quint8(0) << quint8(0) << quint8(0);
  return QByteArray("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", header) +
         chunk("IDAT", qCompress(QByteArray(64, 0)).mid(4)) + chunk("IEND", {});
}

class WindowRows : public WindowTest {
 protected:
  // A list with a row for each path; an empty path gives a separator row.
  void loadRows(const QStringList& paths) {
    QByteArray text;
    for (const QString& p : paths)
      text += (p.isEmpty() ? QString() : "0;" + QFileInfo(p).fileName() + ";" + p + ";1;d").toUtf8() + "\r\n";
    ui.openFile(tree.file("list.txt", text));
    trigger("Load1");
  }
  void select(int row) { form().BaseView->selectRow(row); }
  void doubleClick(int row) {
    select(row);
    emit form().BaseView->doubleClicked(form().results().index(row, 0));
  }
  // The items enabled as the list's context menu opens: Execute, Open
  // folder, Select All, Unselect all, Select all exclude first, Save list,
  // Load list.
  QString menuOnOpening() {
    emit form().BaseView->customContextMenuRequested(QPoint(2, 2));
    form().PopupMenu1->hide();
    QString s;
    for (QAction* a :
         {form().Execute1, form().OpenFolder1, form().SelectAll1, form().UnselectAll1, form().N2, form().c1, form().N5})
      s += QLatin1Char(a->isEnabled() ? '1' : '0');
    return s;
  }
  QString picture(const QString& rel, QSize size, Qt::GlobalColor color, const char* format) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(color);
    EXPECT_TRUE(image.save(tree.folder("pics") + "/" + rel, format));
    return tree("pics/" + rel);
  }
  QPixmap shown() { return form().Image1->pixmap(); }

  Tree tree;
};

TEST_F(WindowRows, ContextMenuFollowsTheSelectedRowAndOpensTheFileOrItsFolder) {
  openEnglish();
  EXPECT_EQ(menuOnOpening(), "0000111");
  loadRows({"/data/p/a.txt", "/b.txt", "", "/data/c.txt"});
  EXPECT_EQ(menuOnOpening(), "0011111");  // nothing selected
  select(2);
  EXPECT_EQ(menuOnOpening(), "0011111");  // a separator
  trigger("Execute1");
  trigger("OpenFolder1");
  select(0);
  EXPECT_EQ(menuOnOpening(), "1111111");
  trigger("Execute1");
  trigger("OpenFolder1");
  select(1);
  trigger("OpenFolder1");  // a file in the root opens the root
  EXPECT_EQ(desktop.opened, (QStringList{"/data/p/a.txt", "/data/p", "/"}));
  form().show();
  QApplication::setActiveWindow(&form());
  form().BaseView->setFocus();
  select(0);
  menuOnOpening();
  QTest::keyClick(form().BaseView, Qt::Key_Enter, Qt::KeypadModifier);  // keypad Enter runs Execute like Return
  QTest::keyClick(form().BaseView, Qt::Key_Return);
  EXPECT_EQ(desktop.opened.mid(3), (QStringList{"/data/p/a.txt", "/data/p/a.txt"}));
  loadRows({});
  EXPECT_EQ(menuOnOpening(), "0000111");
}

TEST_F(WindowRows, PreviewShowsJpegPngAndBitmapWithinThePane) {
  openEnglish().show();
  const QString jpeg = picture("red.jpg", {1600, 1200}, Qt::red, "JPG");
  const QString png = picture("green.png", {60, 40}, Qt::green, "PNG");
  const QString bmp = picture("blue.bmp", {900, 100}, Qt::blue, "BMP");
  loadRows({jpeg, png, bmp});
  QTest::mouseClick(form().Image1, Qt::LeftButton);  // nothing previewed yet: nothing opens
  ASSERT_FALSE(form().Image2->isHidden());

  const QSize pane = form().previewPane->size();
  const std::pair<QString, QColor> pictures[] = {{jpeg, Qt::red}, {png, Qt::green}, {bmp, Qt::blue}};
  for (int row = 0; row < 3; ++row) {
    doubleClick(row);
    EXPECT_EQ(form().PreviewFile, pictures[row].first);
    EXPECT_TRUE(form().Image2->isHidden());
    const QImage image = shown().toImage();
    ASSERT_FALSE(image.isNull()) << row;
    EXPECT_TRUE(image.width() <= pane.width() && image.height() <= pane.height()) << row;
    const QColor centre = image.pixelColor(image.width() / 2, image.height() / 2), expected = pictures[row].second;
    EXPECT_LT(std::abs(centre.red() - expected.red()) + std::abs(centre.green() - expected.green()) +
                  std::abs(centre.blue() - expected.blue()),
              60)
        << row;
  }
  const QImage bitmap = shown().toImage();  // scaled down with its proportions kept
  EXPECT_EQ(bitmap.width(), pane.width());
  EXPECT_NEAR(bitmap.height(), pane.width() / 9, 1);
  doubleClick(1);
  EXPECT_EQ(shown().size(), QSize(60, 40));  // a small picture is not enlarged

  QTest::mouseClick(form().Image1, Qt::LeftButton);
  EXPECT_EQ(desktop.opened, QStringList{png});
  EXPECT_EQ(ui.shown(), 1);  // the open dialog only
}

TEST_F(WindowRows, PreviewIgnoresOtherExtensionsAndKeepsThePictureOnAFailure) {
  openEnglish().show();
  const QString green = picture("green.png", {30, 20}, Qt::green, "PNG");
  const QString caps = picture("caps.JPG", {30, 20}, Qt::red, "JPG");
  const QString jpeg = picture("long.jpeg", {30, 20}, Qt::red, "JPG");
  const QByteArray good = tree.read("pics/caps.JPG");
  const QString cut = tree.file("pics/cut.jpg", good.left(good.size() / 8));
  const QString garbage = tree.file("pics/garbage.jpg", "\xFF\xD8\xFF\xE0" + Bytes(4000, 7));
  const QString fake = tree.file("pics/fake.png", good);  // a JPEG under a PNG's name
  const QString huge = tree.file("pics/huge.png", PngClaiming(30000, 30000));
  loadRows({green, caps, jpeg, cut, garbage, fake, huge, ""});

  ui.message(cut);  // before any preview: the placeholder stays
  doubleClick(3);
  EXPECT_FALSE(form().Image2->isHidden());
  EXPECT_EQ(form().PreviewFile, "");

  doubleClick(0);
  ASSERT_EQ(form().PreviewFile, green);
  const qint64 key = shown().cacheKey();
  ui.message(cut).message(garbage).message(fake).message(QStringLiteral("too large to show (30000 x 30000)"));
  for (int row = 1; row < 8; ++row) {
    doubleClick(row);
    EXPECT_EQ(form().PreviewFile, green) << row;
    EXPECT_EQ(shown().cacheKey(), key) << row;
    EXPECT_TRUE(form().Image2->isHidden()) << row;
  }
  EXPECT_EQ(ui.count(Dialog::Message), 5);
}

TEST_F(WindowRows, ADamagedPictureIsReportedInRussianAndLeavesNoCaptionEditOpen) {
  openRussian().show();
  const QString cut = tree.file("pics/cut.jpg", "\xFF\xD8\xFF\xE0" + Bytes(64, 3));
  loadRows({cut});
  select(0);
  // A double click on the selected row's name, as a mouse makes it: its first
  // click asks for a caption edit, which starts at the next round of events
  // unless the double click drops it. The error box lets events run.
  const int interval = QApplication::doubleClickInterval();
  QApplication::setDoubleClickInterval(0);
  ui.message(cut + QStringLiteral(": файл не является рисунком JPEG или повреждён"),
             [] { QCoreApplication::processEvents(); });
  QWidget* rows = form().BaseView->viewport();
  const QPoint at = form().BaseView->visualRect(form().results().index(0, 0)).center();
  auto send = [&](QEvent::Type type, Qt::MouseButtons buttons) {
    QMouseEvent event(type, at, rows->mapToGlobal(at), Qt::LeftButton, buttons, Qt::NoModifier);
    QApplication::sendEvent(rows, &event);
  };
  send(QEvent::MouseButtonPress, Qt::LeftButton);
  send(QEvent::MouseButtonRelease, Qt::NoButton);
  send(QEvent::MouseButtonPress, Qt::LeftButton);
  send(QEvent::MouseButtonDblClick, Qt::LeftButton);
  send(QEvent::MouseButtonRelease, Qt::NoButton);
  QCoreApplication::processEvents();
  QApplication::setDoubleClickInterval(interval);
  EXPECT_EQ(ui.count(Dialog::Message), 1);
  const QList<QLineEdit*> editors = rows->findChildren<QLineEdit*>();
  EXPECT_TRUE(std::none_of(editors.begin(), editors.end(), [](QLineEdit* e) { return e->isVisible(); }))
      << "the next keys would rename the row";
  EXPECT_EQ(form().PreviewFile, "");
}

}  // namespace
}  // namespace window_test
