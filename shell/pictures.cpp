#include "shell/pictures.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

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

QPixmap LogoPicture() {
  QPixmap pixmap(170, 60);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  // Two overlapping sheets: a file and its copy.
  for (int k = 1; k >= 0; --k) {
    p.setPen(QPen(QColor(30, 90, 160), 2));
    p.setBrush(k ? QColor(200, 225, 250) : QColor(255, 255, 255));
    p.drawRoundedRect(QRectF(6 + k * 12, 8 + k * 6, 32, 40), 3, 3);
  }
  p.setPen(QPen(QColor(30, 90, 160), 2));
  for (int line = 0; line < 4; ++line) p.drawLine(QPointF(12, 18 + line * 7), QPointF(32, 18 + line * 7));
  QFont font = p.font();
  font.setPixelSize(28);
  font.setBold(true);
  p.setFont(font);
  p.setPen(QColor(30, 90, 160));
  p.drawText(QRectF(56, 4, 114, 52), Qt::AlignVCenter | Qt::AlignLeft, QStringLiteral("Zorvik"));
  return pixmap;
}
