// Dialogs, message boxes and the beep. Everything that waits for a person
// goes through this interface, so tests answer it with a scripted fake.
#pragma once

#include <QString>

#include <optional>

class QWidget;

class Ui {
 public:
  virtual ~Ui() = default;
  // Message boxes without an icon; the first button is the default.
  virtual bool askYesNo(QWidget* owner, const QString& title, const QString& text) = 0;
  // The same question with No as the default button.
  virtual bool askNoYes(QWidget* owner, const QString& title, const QString& text) {
    return askYesNo(owner, title, text);
  }
  virtual bool askOkCancel(QWidget* owner, const QString& title, const QString& text) = 0;
  virtual void message(QWidget* owner, const QString& title, const QString& text) = 0;
  // The folder picker: starts at `start` when it names a folder; the chosen
  // folder, or nothing when cancelled.
  virtual std::optional<QString> pickFolder(QWidget* owner, const QString& start) = 0;
  // The plain folder browser of the folder-list dialog: the chosen folder,
  // or an empty text when cancelled.
  virtual QString browseForFolder(QWidget* owner, const QString& title) = 0;
  // File dialogs of the list file; an empty text when cancelled.
  virtual QString openFileName(QWidget* owner, const QString& filter) = 0;
  virtual QString saveFileName(QWidget* owner, const QString& filter, const QString& defaultSuffix) = 0;
  virtual void beep() = 0;
};

// The real dialogs.
Ui& DesktopUi();

// Where a folder picker starts when it is given no folder: the user's
// desktop folder, or the home folder when there is none.
QString DesktopFolder();
