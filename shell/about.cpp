#include "shell/about.h"

#include "platform/desktop.h"
#include "shell/captions.h"
#include "shell/pictures.h"
#include "zorvik_version.h"

#include <QEvent>
#include <QFontMetrics>
#include <QFrame>
#include <QGraphicsDropShadowEffect>
#include <QLabel>
#include <QLineEdit>

namespace {

// The title line in the two languages; the window's own caption reads the
// same in both.
const Caption kCaptions[] = {
    {"label19", Caption::Text, "Duplicate finder and remover Zorvik - " ZORVIK_VERSION_TEXT,
     "Удаление дубликатов файлов Зорвик - " ZORVIK_VERSION_TEXT},
};

}  // namespace

TForm3::TForm3(DesktopServices& desktop, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      desktop_(desktop) {
  setObjectName(QStringLiteral("TForm3"));
  setWindowTitle(QStringLiteral("О программе"));
  setFixedSize(370, 215);
  setModal(true);

  QFrame* panel = new QFrame(this);
  panel->setObjectName(QStringLiteral("sPanel1"));
  panel->setFrameShape(QFrame::StyledPanel);
  panel->setGeometry(8, 8, 353, 199);

  Image1 = new QLabel(panel);
  Image1->setObjectName(QStringLiteral("Image1"));
  Image1->setPixmap(LogoPicture());
  Image1->setGeometry(96, 19, 170, 60);
  Image1->setCursor(Qt::PointingHandCursor);
  Image1->installEventFilter(this);

  label19 = new QLabel(QStringLiteral("Удаление дубликатов файлов Зорвик"), panel);
  label19->setObjectName(QStringLiteral("label19"));
  label19->setAlignment(Qt::AlignCenter);
  label19->setWordWrap(true);
  QFont font = label19->font();
  font.setBold(true);
  font.setPixelSize(14);
  label19->setFont(font);
  label19->setGeometry(12, 85, 329, 42);
  auto* shadow = new QGraphicsDropShadowEffect(label19);
  shadow->setOffset(2, 2);
  shadow->setBlurRadius(0);
  shadow->setColor(QColor(0, 0, 0, 70));
  label19->setGraphicsEffect(shadow);

  sEdit1 = new QLineEdit(QString::fromLatin1(kMail), panel);
  sEdit1->setObjectName(QStringLiteral("sEdit1"));
  sEdit1->setReadOnly(true);
  sEdit1->setGeometry(76, 136, 200, 22);
  sEdit1->setAlignment(Qt::AlignCenter);
  sEdit2 = new QLineEdit(QString::fromLatin1(kWebSite), panel);
  sEdit2->setObjectName(QStringLiteral("sEdit2"));
  sEdit2->setReadOnly(true);
  sEdit2->setGeometry(76, 164, 200, 22);
  sEdit2->setAlignment(Qt::AlignCenter);
}

void TForm3::setTitleLine(bool english) {
  ApplyCaptions(this, kCaptions, !english);
  const QString text = label19->text();
  QFont font = label19->font();
  font.setPixelSize(14);
  const int room = label19->contentsRect().width() - 2;  // the shadow lies 2 pixels to the right
  while (font.pixelSize() > 9 && QFontMetrics(font).horizontalAdvance(text) > room)
    font.setPixelSize(font.pixelSize() - 1);
  label19->setFont(font);
}

void TForm3::Image1Click() { desktop_.open(QString::fromLatin1(kWebSite)); }

bool TForm3::eventFilter(QObject* watched, QEvent* event) {
  if (watched == Image1 && event->type() == QEvent::MouseButtonRelease) Image1Click();
  return QDialog::eventFilter(watched, event);
}
