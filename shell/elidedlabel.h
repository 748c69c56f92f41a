// A label that shows as much of its text as its width holds, ending in "…"
// when the text is longer; text() and the size it asks for stay the whole
// text's.
#pragma once

#include <QLabel>
#include <QPainter>
#include <QStyle>

class ElidedLabel : public QLabel {
 public:
  explicit ElidedLabel(QWidget* parent) : QLabel(parent) { setTextFormat(Qt::PlainText); }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    const QRect area = contentsRect();
    const QString shown = fontMetrics().elidedText(text(), Qt::ElideRight, area.width());
    style()->drawItemText(&painter, area, static_cast<int>(alignment()), palette(), isEnabled(), shown,
                          foregroundRole());
  }
};
