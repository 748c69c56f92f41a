// What the window tests share: a scripted Ui that answers every dialog from
// a queue, a desktop and a settings store that only record, folder trees in a
// temporary directory, and a fixture that opens the main window with them.
#pragma once

#include "platform/desktop.h"
#include "platform/settings.h"
#include "platform/ui.h"
#include "shell/about.h"
#include "shell/folderlist.h"
#include "shell/mainwindow.h"
#include "support/tree.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <functional>
#include <memory>
#include <optional>

namespace window_test {

// The title the program sets before its window is created.
inline const QString kStartTitle = QStringLiteral("Удаление дубликатов файлов Зорвик");

enum class Dialog { YesNo, OkCancel, Message, PickFolder, BrowseFolder, OpenFile, SaveFile };
inline const char* const kDialogNames[] = {"Yes/No question", "OK/Cancel question", "message",         "folder picker",
                                           "folder browser",  "open-file dialog",   "save-file dialog"};

// Answers the window's dialogs from a script and records every one. A dialog
// the script does not expect next fails the test and gets the negative answer
// (No, Cancel, nothing chosen); a scripted one that never came fails it too.
class FakeUi : public Ui {
 public:
  struct Step {
    Dialog kind;
    std::optional<QString> title, text;  // checked when given
    bool textIsPart = false;             // `text` need only occur in the text
    bool answer = false;                 // of a question
    std::optional<QString> chosen;       // of a picker or file dialog; none: cancelled
    std::function<void()> whileOpen;     // runs while the dialog is open, as a modal box lets events run
  };

  ~FakeUi() override {
    for (const Step& s : script_) ADD_FAILURE() << "expected " << kDialogNames[int(s.kind)] << " never came";
  }

  FakeUi& yesNo(const QString& title, const QString& text, bool yes, std::function<void()> whileOpen = {}) {
    return add({Dialog::YesNo, title, text, false, yes, {}, std::move(whileOpen)});
  }
  FakeUi& okCancel(const QString& title, const QString& text, bool ok, std::function<void()> whileOpen = {}) {
    return add({Dialog::OkCancel, title, text, false, ok, {}, std::move(whileOpen)});
  }
  FakeUi& message(const QString& part, std::function<void()> whileOpen = {}) {
    return add({Dialog::Message, {}, part, true, false, {}, std::move(whileOpen)});
  }
  // `start`, when given, is where the picker must start.
  FakeUi& pickFolder(std::optional<QString> chosen, std::optional<QString> start = {}) {
    return add({Dialog::PickFolder, {}, start, false, false, chosen, {}});
  }
  FakeUi& browseFolder(std::optional<QString> chosen) {
    return add({Dialog::BrowseFolder, {}, {}, false, false, chosen, {}});
  }
  FakeUi& openFile(const QString& chosen) { return add({Dialog::OpenFile, {}, {}, false, false, chosen, {}}); }
  FakeUi& saveFile(const QString& chosen) { return add({Dialog::SaveFile, {}, {}, false, false, chosen, {}}); }

  int shown() const { return static_cast<int>(shown_.size()); }
  int count(Dialog kind) const { return static_cast<int>(std::count(shown_.begin(), shown_.end(), kind)); }
  int beeps() const { return beeps_; }

  bool askYesNo(QWidget*, const QString& title, const QString& text) override {
    return next(Dialog::YesNo, title, text).answer;
  }
  bool askOkCancel(QWidget*, const QString& title, const QString& text) override {
    return next(Dialog::OkCancel, title, text).answer;
  }
  void message(QWidget*, const QString& title, const QString& text) override { next(Dialog::Message, title, text); }
  std::optional<QString> pickFolder(QWidget*, const QString& start) override {
    return next(Dialog::PickFolder, {}, start).chosen;
  }
  QString browseForFolder(QWidget*, const QString& title) override {
    return next(Dialog::BrowseFolder, title, {}).chosen.value_or(QString());
  }
  QString openFileName(QWidget*, const QString& filter) override {
    return next(Dialog::OpenFile, {}, filter).chosen.value_or(QString());
  }
  QString saveFileName(QWidget*, const QString& filter, const QString&) override {
    return next(Dialog::SaveFile, {}, filter).chosen.value_or(QString());
  }
  void beep() override { ++beeps_; }

 private:
  FakeUi& add(Step step) {
    script_.push_back(std::move(step));
    return *this;
  }
  Step next(Dialog kind, const QString& title, const QString& text) {
    shown_.push_back(kind);
    if (script_.empty() || script_.front().kind != kind) {
      ADD_FAILURE() << "unexpected " << kDialogNames[int(kind)] << " \"" << title.toStdString()
                    << "\": " << text.toStdString();
      return Step{kind, {}, {}, false, false, {}, {}};
    }
    Step step = std::move(script_.front());
    script_.pop_front();
    if (step.title) {
      EXPECT_EQ(title.toStdString(), step.title->toStdString());
    }
    if (step.text && step.textIsPart) {
      EXPECT_TRUE(text.contains(*step.text)) << text.toStdString();
    } else if (step.text) {
      EXPECT_EQ(text.toStdString(), step.text->toStdString());
    }
    if (step.whileOpen) step.whileOpen();
    return step;
  }

  std::deque<Step> script_;
  std::vector<Dialog> shown_;
  int beeps_ = 0;
};

// Records what the window asks of the desktop.
class FakeDesktop : public DesktopServices {
 public:
  bool commandExists = false;
  int restarts = 0;
  std::function<void()> onRestart;
  QStringList opened;  // every file, folder or address opened, in order

  void open(const QString& target) override { opened << target; }
  QString programPath() override { return QStringLiteral("/opt/zorvik/zorvik"); }
  void restart() override {
    ++restarts;
    if (onRestart) onRestart();
  }
  bool folderCommandExists() override { return commandExists; }
  bool addFolderCommand(const QString&) override { return commandExists = true; }
  void removeFolderCommand() override { commandExists = false; }
};

// The settings store, in memory; counts the writes, and takes none while
// `failing` is set.
class MemorySettings : public SettingsStore {
 public:
  QMap<QString, QString> values;
  int writes = 0;
  bool failing = false;
  QString read(const QString& name) override { return values.value(name); }
  bool write(const QString& name, const QString& value) override {
    if (failing) return false;
    values[name] = value;
    ++writes;
    return true;
  }
};

// `size` bytes that differ for every `seed`.
inline QByteArray Bytes(int size, int seed) {
  QByteArray b(size, '\0');
  for (int i = 0; i < size; ++i) b[i] = static_cast<char>((i * 31 + seed * 97 + (i >> 8) * seed) & 0xff);
  return b;
}

// The main window with the fakes, English unless a test says otherwise.
class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetApplicationTitle(kStartTitle);
    pumpContext_ = std::make_unique<QObject>();
  }
  void TearDown() override {
    pumpContext_.reset();  // drops steps that never ran, unrun
    EXPECT_EQ(pendingSteps_, 0) << "a step meant to run inside a long command never ran";
    closeForm();
    QCoreApplication::processEvents();
  }

  // Opens the main window anew; the one open before goes away unclosed.
  TForm1& open(QStringList arguments = {QStringLiteral("zorvik")}) {
    closeForm();
    DesktopServices* services = realDesktop ? realDesktop : &desktop;
    form_ = std::make_unique<TForm1>(Services{&ui, services, &settings, std::move(arguments)});
    form2_ = std::make_unique<TForm2>(
        ui, [f = form_.get()] { return f->Russian1->isChecked(); }, form_.get());
    form_->setFolderList(form2_.get());
    form3_ = std::make_unique<TForm3>(*services, form_.get());
    form_->setAbout(form3_.get());
    return *form_;
  }
  TForm1& openEnglish() {
    settings.values[QStringLiteral("Language")] = QStringLiteral("En");
    return open();
  }
  TForm1& openRussian() {
    settings.values[QStringLiteral("Language")] = QStringLiteral("Rus");
    return open();
  }
  // A long command lets waiting events run at every point it offers, so a
  // step given to atNextPump runs at the very next one.
  TForm1& openEnglishEveryPump() {
    openEnglish().setPumpInterval(0);
    return form();
  }
  TForm1& form() { return *form_; }
  TForm2& folderList() { return *form2_; }
  TForm3& about() { return *form3_; }

  // The window's controls and menu items, found by their names as a user
  // finds them by their captions.
  template <class T>
  T* named(const char* name) {
    T* found = form().findChild<T*>(QString::fromLatin1(name));
    if (!found) qFatal("the main window has nothing named %s", name);
    return found;
  }
  void click(const char* name) { named<QAbstractButton>(name)->click(); }
  void trigger(const char* name) { named<QAction>(name)->trigger(); }

  // Runs `fn` at the next point where a long command lets events run.
  void atNextPump(std::function<void()> fn) {
    ++pendingSteps_;
    QMetaObject::invokeMethod(
        pumpContext_.get(),
        [this, fn = std::move(fn)] {
          --pendingSteps_;
          fn();
        },
        Qt::QueuedConnection);
  }

  void scanFolder(const QString& folder) {
    form().Edit1->setText(folder);
    click("Button1");
  }

  // One character a row: a file row 'x' marked, '.' not; a separator '|',
  // or '#' when it carries a mark.
  QString marks() {
    QString s;
    for (int i = 0; i < form().results().count(); ++i) {
      const ResultRow& r = form().results().row(i);
      s += QLatin1Char(r.isSeparator() ? (r.marked ? '#' : '|') : (r.marked ? 'x' : '.'));
    }
    return s;
  }
  QStringList captions() {
    QStringList s;
    for (int i = 0; i < form().results().count(); ++i) s << form().results().row(i).caption;
    return s;
  }
  // The keys the menus show beside their items, as Qt names them now.
  QString menuKeys() {
    QStringList keys;
    for (const char* name : {"AddFolders1", "Saveas1", "Load1", "Enter1", "Delete1", "Cancel1", "close1", "Execute1",
                             "OpenFolder1", "SelectAll1", "UnselectAll1"})
      keys << named<QAction>(name)->shortcut().toString(QKeySequence::NativeText);
    return keys.join(QLatin1Char(' '));
  }
  QString totals() { return form().Edit7->text() + QStringLiteral(" / ") + form().Edit5->text(); }
  QString status() { return form().Label1->text(); }
  QString detail() { return form().Label2->text(); }
  QString title() { return ApplicationTitle(); }
  int bar() { return form().ProgressBar1->value(); }
  bool idleButtons() { return !form().Button1->isHidden() && form().sButton1->isHidden(); }

  FakeUi ui;
  FakeDesktop desktop;
  DesktopServices* realDesktop = nullptr;  // when set, windows opened later use it instead of the fake
  MemorySettings settings;

 private:
  void closeForm() {
    form3_.reset();  // children of the main window: they go first
    form2_.reset();
    form_.reset();
  }

  std::unique_ptr<TForm1> form_;
  std::unique_ptr<TForm2> form2_;
  std::unique_ptr<TForm3> form3_;
  std::unique_ptr<QObject> pumpContext_;
  int pendingSteps_ = 0;
};

}  // namespace window_test

QT_BEGIN_NAMESPACE
QT_END_NAMESPACE
