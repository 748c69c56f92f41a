// TForm1's layout: the controls keep their anchored places as the window is
// resized, the controls that show a text take its width, the window never
// gets smaller than the size at which every control has its room, and the
// status line shares its row with the progress detail.
#include "shell/mainwindow.h"

#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QRadioButton>
#include <QTableView>

#include <algorithm>
#include <vector>

namespace {

constexpr int kDetailMost = 265;  // the progress detail's designed width
// Where the check box and the destination field begin as designed.
constexpr int kFastLeft = 383;
constexpr int kDestinationLeft = 278;
// Between two texts of a row.
constexpr int kTextSpacing = 12;
// The window is never smaller than this, however little its controls need.
const QSize kLeastWindow(410, 300);

}  // namespace

void TForm1::place(QWidget* w, int x, int y, int width, int height, int anchors, QSize parentDesign) {
  w->setGeometry(x, y, width, height);
  placed_.push_back({w, layout::Box{QRect(x, y, width, height), anchors}, parentDesign});
}

void TForm1::layoutPlaced() {
  for (const Placed& p : placed_)
    p.widget->setGeometry(layout::Place(p.box, p.parentDesign, p.widget->parentWidget()->size()));
}

void TForm1::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  layoutPlaced();
  layoutStatusRow();
}

void TForm1::fitColumns() {
  const std::array<int, 3> widths = layout::SharedColumnWidths(BaseView->viewport()->width(), BaseView->columnWidth(1));
  for (size_t k = 0; k < widths.size(); ++k) BaseView->setColumnWidth(layout::kSharedColumns[k], widths[k]);
}

void TForm1::fitToTexts() {
  // Each takes its text's width from its designed left edge (the link keeps
  // its right edge, beside Do it). The folders label leaves some room after
  // its text, as the check box comes towards it when the window narrows.
  struct Fitted {
    QWidget* widget;
    bool keepRight;
    int room;
  };
  const Fitted texts[] = {
      {sLabel1, false, kTextSpacing}, {sCheckBox1, false, 0},  {sLabel2, false, 0}, {RadioButton1, false, 0},
      {RadioButton2, false, 0},       {sEdit1Label, false, 0}, {Label3, true, 0}};
  for (const Fitted& text : texts) {
    QRect& design = placedOf(text.widget)->box.design;
    const int right = design.x() + design.width();
    design.setWidth(text.widget->sizeHint().width() + text.room);
    if (text.keepRight) design.moveLeft(right - design.width());
  }
  // The check box keeps its designed left edge while its text leaves room
  // before the mask's label, and reaches further left when it does not.
  QRect& fast = placedOf(sCheckBox1)->box.design;
  fast.moveLeft(std::min(kFastLeft, placedOf(sLabel2)->box.design.x() - kTextSpacing - fast.width()));
  // The destination field starts after the Move choice's text, however
  // long that is in the language and font, and keeps its right end.
  const QRect& move = placedOf(RadioButton2)->box.design;
  placedOf(Edit2)->box.design.setLeft(std::max(kDestinationLeft, move.x() + move.width() + layout::kGap));
  layoutPlaced();
  layoutStatusRow();

  // The smallest window at which no control comes near another and every
  // field keeps some room. The controls inside the list panel stay inside
  // it; a hidden control (Cancel, in Scan's place) takes no room.
  std::vector<layout::Box> boxes;
  for (const Placed& p : placed_) {
    if (p.parentDesign != kClient || p.widget->isHidden()) continue;
    layout::Box box = p.box;
    if (qobject_cast<QLineEdit*>(p.widget)) box.leastWidth = p.widget->minimumSizeHint().width();
    boxes.push_back(box);
  }
  boxes.push_back({kStatusRow, layout::L | layout::T | layout::R});  // the status line and the detail
  const QSize client = layout::SmallestClean(boxes, kClient);
  setMinimumSize(std::max(kLeastWindow.width(), client.width()),
                 std::max(kLeastWindow.height(), client.height() + menuBar()->sizeHint().height()));
}

TForm1::Placed* TForm1::placedOf(const QWidget* widget) {
  for (Placed& p : placed_)
    if (p.widget == widget) return &p;
  return nullptr;
}

void TForm1::layoutStatusRow() {
  const int right = central->width() - (kClient.width() - kStatusRow.x() - kStatusRow.width());
  // The detail, while there is one, takes its whole designed room, so that
  // the row stays put while it changes with every file of a walk.
  const int statusText = Label1->fontMetrics().horizontalAdvance(Label1->text());
  const int detailText = Label2->text().isEmpty() ? 0 : kDetailMost;
  const auto [status, detail] = layout::StatusRow(kStatusRow.x(), right, statusText, detailText, kDetailMost);
  Label1->setGeometry(status.x, kStatusRow.y(), status.width, kStatusRow.height());
  Label2->setGeometry(detail.x, kStatusRow.y(), detail.width, kStatusRow.height());
  Label1->setToolTip(Label1->text());  // the whole text, also when the line shows only its start
}
