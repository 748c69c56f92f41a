#include "platform/ui.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QStandardPaths>

namespace {

class DesktopDialogs : public Ui {
 public:
  bool askYesNo(QWidget* owner, const QString& title, const QString& text) override {
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Yes | QMessageBox::No, owner);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
  }
  bool askNoYes(QWidget* owner, const QString& title, const QString& text) override {
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Yes | QMessageBox::No, owner);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
  }
  bool askOkCancel(QWidget* owner, const QString& title, const QString& text) override {
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok | QMessageBox::Cancel, owner);
    box.setDefaultButton(QMessageBox::Ok);
    return box.exec() == QMessageBox::Ok;
  }
  void message(QWidget* owner, const QString& title, const QString& text) override {
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok, owner);
    box.exec();
  }
  std::optional<QString> pickFolder(QWidget* owner, const QString& start) override {
    const QString chosen =
        QFileDialog::getExistingDirectory(owner, QString(), start.isEmpty() ? DesktopFolder() : start);
    if (chosen.isEmpty()) return std::nullopt;
    return chosen;
  }
  QString browseForFolder(QWidget* owner, const QString& title) override {
    return QFileDialog::getExistingDirectory(owner, title, DesktopFolder());
  }
  QString openFileName(QWidget* owner, const QString& filter) override {
    return QFileDialog::getOpenFileName(owner, QString(), QString(), filter);
  }
  QString saveFileName(QWidget* owner, const QString& filter, const QString& defaultSuffix) override {
    QFileDialog dialog(owner, QString(), QString(), filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(defaultSuffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
    return dialog.selectedFiles().front();
  }
  void beep() override { QApplication::beep(); }
};

}  // namespace

QString DesktopFolder() {
  QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
  if (!desktop.isEmpty() && QFileInfo(desktop).isDir()) return desktop;
  return QDir::homePath();
}

Ui& DesktopUi() {
  static DesktopDialogs dialogs;
  return dialogs;
}
