// TForm1: creation and closing, the scan, marking and processing commands,
// and the folder, menu and About commands. What the scan and the processing
// read from the window and report to it is in mainwindow_events.cpp.
#include "shell/mainwindow.h"

#include "engine/contentcache.h"
#include "platform/desktop.h"
#include "platform/fs.h"
#include "platform/settings.h"
#include "platform/ui.h"
#include "shell/about.h"
#include "shell/folderlist.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QTableView>

namespace {

QString& TitleValue() {
  static QString title;
  return title;
}

}  // namespace

QString ApplicationTitle() { return TitleValue(); }
void SetApplicationTitle(const QString& title) { TitleValue() = title; }

bool TsPathDialog::Execute(QWidget* owner) {
  // Where the user left it, or the desktop.
  const std::optional<QString> chosen = ui_.pickFolder(owner, fs::FolderExists(Path) ? Path : DesktopFolder());
  if (!chosen) return false;
  if (!chosen->isEmpty()) Path = *chosen;
  return true;
}

TForm1::TForm1(const Services& services, QWidget* parent)
    : QMainWindow(parent), services_(services), driver_(*this), sPathDialog1(*services.ui) {
  setObjectName(QStringLiteral("TForm1"));
  buildControls();
  buildMenus();
  hookEvents();
  applyCaptions(false);
  connect(&model_, &ResultModel::totalsChanged, this, &TForm1::BaseViewItemChecked);
  connect(&model_, &ResultModel::totalsError, this,
          [this](const QString& sizeText) { tell(message(Message::NotANumber).arg(sizeText)); });
  // A new list, scanned or loaded, starts at its top left, not where the
  // list before it was scrolled to.
  connect(&model_, &QAbstractItemModel::modelReset, this, [this] {
    BaseView->scrollToTop();
    BaseView->horizontalScrollBar()->setValue(0);
  });
  resize(kClient.width(), kClient.height() + menuBar()->sizeHint().height());
  if (const QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - rect().center());
  pumpClock_.start();
  useQtTranslations(false);  // English until the language decision says otherwise
  FormCreate();
}

TForm1::~TForm1() = default;

// ---------------------------------------------------------------- start and close

void TForm1::FormCreate() {
  if (services_.desktop->folderCommandExists()) Addto1->setChecked(true);
  SettingsStore& settings = *services_.settings;
  const QString language = settings.read(QStringLiteral("Language"));
  Edit1->setText(settings.read(QStringLiteral("Path")));
  Edit2->setText(settings.read(QStringLiteral("Path2")));
  sEdit1->setText(settings.read(QStringLiteral("master")));
  linkChoice(settings.read(QStringLiteral("Link")));
  RememberContents1->setChecked(settings.read(QStringLiteral("RememberContents")) != QLatin1String("0"));
  if (language != QLatin1String("En")) Russian1->trigger();
  if (Russian1->isChecked()) setStatus(message(Message::RussianGreeting));
  // The first non-empty argument is a folder to scan.
  for (qsizetype i = 1; i < services_.arguments.size(); ++i) {
    if (services_.arguments[i].isEmpty()) continue;
    Edit1->setText(services_.arguments[i] + fs::kSeparator);
    ext->setEditText(QStringLiteral("*.*"));
    break;
  }
}

void TForm1::FormClose() {
  SettingsStore& settings = *services_.settings;
  bool ok =
      settings.write(QStringLiteral("Language"), Russian1->isChecked() ? QStringLiteral("Rus") : QStringLiteral("En"));
  ok = settings.write(QStringLiteral("Path"), Edit1->text()) && ok;
  ok = settings.write(QStringLiteral("Path2"), Edit2->text()) && ok;
  ok = settings.write(QStringLiteral("master"), sEdit1->text()) && ok;
  ok = settings.write(QStringLiteral("Link"), linkChoice()) && ok;
  ok = settings.write(QStringLiteral("RememberContents"),
                      RememberContents1->isChecked() ? QStringLiteral("1") : QStringLiteral("0")) &&
       ok;
  if (!ok) tell(message(Message::SettingsNotSaved));
}

// The Replace with link choice as it is stored: "hard", "symbolic", "clone",
// or empty for Off; any other text is Off.
QString TForm1::linkChoice() const {
  if (HardLink1->isChecked()) return QStringLiteral("hard");
  if (SymLink1->isChecked()) return QStringLiteral("symbolic");
  return Clone1->isChecked() ? QStringLiteral("clone") : QString();
}
void TForm1::linkChoice(const QString& stored) {
  QAction* chosen = stored == QLatin1String("hard")       ? HardLink1
                    : stored == QLatin1String("symbolic") ? SymLink1
                    : stored == QLatin1String("clone")    ? Clone1
                                                          : LinkOff1;
  chosen->setChecked(true);
}

void TForm1::closeEvent(QCloseEvent* event) {
  // The window closes at once, also in the middle of a scan or a processing
  // run: that command carries on out of sight, and the program ends when it
  // has returned (its event loop is asked to quit by the closing).
  if (!settingsWritten_) {
    FormClose();
    settingsWritten_ = true;
  }
  event->accept();
}

// ---------------------------------------------------------------- scan

void TForm1::Enter1Click() {
  if (processing()) return;
  driver_.Scan();
}

void TForm1::sButton1Click() { driver_.Cancel(); }

void TForm1::setCaption(const QString& caption) {
  caption_ = caption;
  showTitle();
}

void TForm1::showTitle() {
  const QString title = ApplicationTitle();
  setWindowTitle(title.isEmpty() ? caption_ : caption_ + QStringLiteral(" — ") + title);
}
void TForm1::tell(const QString& text) { services_.ui->message(this, ApplicationTitle(), text); }

QString TForm1::message(Message which) { return MessageText(which, !English1->isChecked()); }

void TForm1::BaseViewItemChecked(const QString& space, const QString& count) { setTotals(space, count); }

// ---------------------------------------------------------------- marking

void TForm1::N2Click() {
  const ProtectedFolder protect = ResolveProtected(sEdit1->text());
  if (protect.error == 0) return model_.MarkAllButFirst(protect);
  // A protected file must never be marked: nothing is.
  model_.UnselectAll();
  tell(RefusedPathsMessage({{protect.text, protect.error, true}}, !English1->isChecked()));
}
void TForm1::SelectAll1Click() { model_.SelectAll(); }
void TForm1::UnselectAll1Click() { model_.UnselectAll(); }

// ---------------------------------------------------------------- processing

void TForm1::DeleteAll1Click() {
  if (model_.count() == 0 || scanning() || processing()) return;
  processRun_ = RunToken::Start();
  ProcessMarked(model_, *this, processRun_);
  processRun_.finish();
}

// ---------------------------------------------------------------- folders

void TForm1::browseInto(QLineEdit* field, bool addSeparator) {
  if (fs::FolderExists(field->text())) sPathDialog1.Path = field->text();
  if (!sPathDialog1.Execute(this)) return;
  QString text = sPathDialog1.Path;
  if (addSeparator && !text.isEmpty() && !text.endsWith(fs::kSeparator)) text += fs::kSeparator;
  field->setText(text);
}

void TForm1::sSpeedButton1Click() { browseInto(Edit1, false); }
void TForm1::sSpeedButton2Click() { browseInto(Edit2, false); }
void TForm1::sSpeedButton3Click() { browseInto(sEdit1, true); }

void TForm1::AddFolders1Click() {
  if (scanning() || !form2_) return;
  form2_->editFolders(Edit1);
}

void TForm1::Addto1Click() {
  if (Addto1->isChecked()) {
    if (!services_.desktop->addFolderCommand(message(Message::FolderCommandText)))
      tell(message(Message::FolderCommandFailed));
  } else {
    services_.desktop->removeFolderCommand();
  }
}

// The cache file goes; a scan running now keeps what it loaded and writes
// what it learns when it ends, so Forget waits for no scan to run.
void TForm1::ForgetContents1Click() {
  if (scanning()) return;
  const QString file = DefaultContentCachePath();
  if (QFile::exists(file) && !QFile::remove(file)) tell(message(Message::ContentsNotForgotten).arg(file));
}

// ---------------------------------------------------------------- About and the web site

void TForm1::Label3Click() { services_.desktop->open(QString::fromLatin1(kWebSite)); }

void TForm1::N1Click() {
  if (!form3_) return;
  form3_->setTitleLine(English1->isChecked());
  form3_->exec();
}
