// TForm1's commands on the result list: the list file, the actions on the
// selected row and the picture preview.
#include "shell/mainwindow.h"

#include "platform/desktop.h"
#include "platform/fs.h"
#include "platform/ui.h"
#include "results/listfile.h"
#include "results/picture.h"

#include <QAction>
#include <QGuiApplication>
#include <QItemSelectionModel>
#include <QLabel>
#include <QScreen>
#include <QTableView>

namespace {

const char kListFilter[] = "Text Files (*.txt);;All Files (*)";

}  // namespace

// ---------------------------------------------------------------- list file

void TForm1::Saveas1Click() {
  const QString file = services_.ui->saveFileName(this, QString::fromLatin1(kListFilter), QStringLiteral("txt"));
  if (file.isEmpty()) return;
  QString error;
  if (!SaveListFile(model_, file, &error)) tell(error);
}

void TForm1::Load1Click() {
  if (busy()) return;
  const QString file = services_.ui->openFileName(this, QString::fromLatin1(kListFilter));
  if (file.isEmpty()) return;
  model_.clear();
  LoadedList loaded;
  ListLoadError error;
  if (!LoadListFile(file, &loaded, &error)) {
    tell(ListLoadErrorMessage(file, error, !English1->isChecked()));
    return;
  }
  const int unreadable = loaded.unreadable;
  // Setting the marks reports the totals (or their error) once; with no
  // mark set, the fields show the empty list's totals.
  if (!model_.appendRows(std::move(loaded.rows))) model_.UpdateTotals();
  if (unreadable > 0) tell(message(Message::UnreadableLines).arg(unreadable));
}

// ---------------------------------------------------------------- rows

int TForm1::selectedRow() const {
  const QModelIndexList rows = BaseView->selectionModel()->selectedRows();
  return rows.isEmpty() ? -1 : rows.front().row();
}

bool TForm1::fileRowSelected() const {
  const int row = selectedRow();
  return model_.count() > 0 && row >= 0 && row < model_.count() && !model_.row(row).caption.isEmpty();
}

void TForm1::Execute1Click() {
  if (fileRowSelected()) services_.desktop->open(model_.row(selectedRow()).path);
}

void TForm1::OpenFolder1Click() {
  if (!fileRowSelected()) return;
  const QString path = model_.row(selectedRow()).path;
  services_.desktop->open(FolderOf(path));
}

void TForm1::PopupMenu1Popup() {
  Execute1->setEnabled(fileRowSelected());
  OpenFolder1->setEnabled(fileRowSelected());
  SelectAll1->setEnabled(model_.count() > 0);
  UnselectAll1->setEnabled(model_.count() > 0);
}
// ---------------------------------------------------------------- preview

void TForm1::BaseViewDblClick() {
  if (!fileRowSelected()) return;
  const QString path = model_.row(selectedRow()).path;
  const std::optional<PictureKind> kind = PreviewKind(path);
  if (!kind) return;
  // Decoded no larger than the screen: the pane never shows more.
  QSize fit(1920, 1920);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) fit = screen->size().expandedTo(QSize(640, 480));
  QImage image;
  PictureError error;
  if (!LoadPicture(path, *kind, fit, &image, &error)) {
    tell(PictureErrorMessage(path, *kind, error, !English1->isChecked()));
    return;
  }
  preview_ = image;
  showPreview();
  Image2->hide();
  PreviewFile = path;
}

void TForm1::showPreview() {
  if (preview_.isNull()) return;
  const QSize pane = previewPane->size();
  QImage shown = preview_;
  if (shown.width() > pane.width() || shown.height() > pane.height())
    shown = shown.scaled(pane.expandedTo(QSize(1, 1)), Qt::KeepAspectRatio, Qt::SmoothTransformation);
  Image1->setGeometry(0, 0, pane.width(), pane.height());
  Image1->setPixmap(QPixmap::fromImage(shown));
}

void TForm1::Image1Click() {
  if (!PreviewFile.isEmpty()) services_.desktop->open(PreviewFile);
}
