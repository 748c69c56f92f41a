#include "shell/pictures.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QSvgRenderer>

QPixmap FolderPicture() {
  QPixmap pixmap(16, 16);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QColor(176, 132, 20));
  p.setBrush(QColor(240, 196, 60));
  QPainterPath tab;
  tab.moveTo(1.5, 4.5);
  tab.lineTo(6, 4.5);
  tab.lineTo(7.5, 2.5);
  tab.lineTo(1.5, 2.5);
  tab.closeSubpath();
  p.drawPath(tab);
  p.setBrush(QColor(252, 214, 90));
  p.drawRoundedRect(QRectF(1.5, 4.5, 13, 9), 1, 1);
  return pixmap;
}

QPixmap PlaceholderPicture() {
  QPixmap pixmap(145, 143);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  // A photograph...
  p.save();
  p.translate(30, 80);
  p.rotate(-8);
  p.setPen(QPen(QColor(150, 150, 150), 1));
  p.setBrush(Qt::white);
  p.drawRect(0, 0, 100, 56);
  QLinearGradient sky(0, 4, 0, 52);
  sky.setColorAt(0, QColor(120, 180, 235));
  sky.setColorAt(1, QColor(210, 235, 250));
  p.setPen(Qt::NoPen);
  p.setBrush(sky);
  p.drawRect(4, 4, 92, 48);
  p.setBrush(QColor(90, 150, 80));
  QPainterPath hills;
  hills.moveTo(4, 52);
  hills.lineTo(30, 26);
  hills.lineTo(50, 40);
  hills.lineTo(70, 22);
  hills.lineTo(96, 46);
  hills.lineTo(96, 52);
  hills.closeSubpath();
  p.drawPath(hills);
  p.setBrush(QColor(250, 210, 70));
  p.drawEllipse(QPointF(80, 14), 6, 6);
  p.restore();
  // ...and a camera.
  p.setPen(QPen(QColor(40, 40, 40), 2));
  p.setBrush(QColor(70, 74, 82));
  p.drawRoundedRect(QRectF(12, 24, 96, 60), 8, 8);
  p.drawRect(QRectF(38, 14, 30, 12));
  p.setBrush(QColor(30, 30, 34));
  p.drawEllipse(QPointF(60, 54), 22, 22);
  QRadialGradient lens(QPointF(54, 48), 18);
  lens.setColorAt(0, QColor(140, 170, 210));
  lens.setColorAt(1, QColor(20, 30, 60));
  p.setBrush(lens);
  p.drawEllipse(QPointF(60, 54), 14, 14);
  p.setBrush(QColor(230, 90, 60));
  p.setPen(Qt::NoPen);
  p.drawEllipse(QPointF(96, 34), 4, 4);
  return pixmap;
}

namespace {

// The icon's file in the program's resources, and the square it fills in
// its own coordinates (the SVG's view box), which the logo uses as they are.
const char kIconResource[] = ":/pictures/icon.svg";
const QRectF kIconBox(3, 6, 50, 50);

}  // namespace

QPixmap LogoPicture() {
  QPixmap pixmap(170, 60);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  // Two overlapping sheets, a file and its copy: the application icon.
  QSvgRenderer icon(QString::fromLatin1(kIconResource));
  icon.render(&p, kIconBox);
  QFont font = p.font();
  font.setPixelSize(28);
  font.setBold(true);
  p.setFont(font);
  p.setPen(QColor(30, 90, 160));
  p.drawText(QRectF(56, 4, 114, 52), Qt::AlignVCenter | Qt::AlignLeft, QStringLiteral("Zorvik"));
  return pixmap;
}

QImage IconImage(int size) {
  QSvgRenderer icon(QString::fromLatin1(kIconResource));
  if (!icon.isValid()) return QImage();
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  icon.render(&p, QRectF(0, 0, size, size));
  return image;
}

QIcon ApplicationIcon() {
  QIcon icon;
  for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) icon.addPixmap(QPixmap::fromImage(IconImage(size)));
  return icon;
}
