// TForm2, the folder-list dialog: the folders text edited as a list. Its
// list is also where a scan keeps the roots it walks.
#pragma once

#include <QDialog>
#include <QStringList>

#include <functional>

class QAction;
class QLineEdit;
class QListWidget;
class QMenu;
class QPushButton;
class Ui;

class TForm2 : public QDialog {
  Q_OBJECT

 public:
  // `russian` tells whether the interface is Russian when the dialog is activated.
  TForm2(Ui& ui, std::function<bool()> russian, QWidget* parent = nullptr);

  QStringList entries() const;
  void setEntries(const QStringList& entries);

  // Add Folders: rebuilds the list from the text of `field`, shows the
  // dialog, and on OK writes the list back into `field`.
  void editFolders(QLineEdit* field);

  // The shell's folder browser: the chosen folder, or an empty text.
  QString BrowseForFolder(const QString& title, int flags);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void changeEvent(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 public slots:
  void Button3Click();  // OK
  void Button1Click();  // + Folder
  void ListBox1DblClick();
  void Button2Click();  // -
  void Button5Click();  // Clear All
  void SelectAll1Click();
  void Button4Click();  // Cancel

 private:
  void FormActivate();

  Ui& ui_;
  std::function<bool()> russian_;
  QLineEdit* field_ = nullptr;

 public:
  QListWidget* ListBox1 = nullptr;
  QPushButton* Button1 = nullptr;
  QPushButton* Button2 = nullptr;
  QPushButton* Button3 = nullptr;
  QPushButton* Button4 = nullptr;
  QPushButton* Button5 = nullptr;
  QMenu* PopupMenu1 = nullptr;
  QAction* Edit1 = nullptr;
  QAction* Add1 = nullptr;
  QAction* DeleteItem1 = nullptr;
  QAction* SelectAll1 = nullptr;
};
