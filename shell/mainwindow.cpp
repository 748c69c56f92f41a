// TForm1: creation and closing, what the scan and the processing read from
// the window and show in it, and the folder, menu and About commands.
#include "shell/mainwindow.h"

#include "engine/language.h"
#include "platform/fs.h"
#include "platform/settings.h"
#include "platform/desktop.h"
#include "platform/ui.h"
#include "shell/about.h"
#include "shell/folderlist.h"
#include "shell/messages.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
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
  connect(&model_, &ResultModel::totalsError, this, &TForm1::tell);
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
  driver_.ScanStopped = true;
  if (language != QLatin1String("En")) Russian1->trigger();
  if (Russian1->isChecked()) setStatus(QStringLiteral("Выберите папку, укажите расширение и нажмите кнопку поиск .."));
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
  if (!ok) tell(LanguageText(english(), "The settings could not be saved.", "Не удалось сохранить настройки."));
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
  if (processing_) return;
  driver_.Scan();
}

void TForm1::sButton1Click() { driver_.Cancel(); }

QString TForm1::foldersText() { return Edit1->text(); }
QString TForm1::mask() { return ext->currentText(); }
void TForm1::setMask(const QString& mask) { ext->setEditText(mask); }
bool TForm1::skipSmall() { return Skip1->isChecked(); }
bool TForm1::skipEmpty() { return Skip2->isChecked(); }
bool TForm1::fastCompare() { return sCheckBox1->isChecked(); }
bool TForm1::english() { return English1->isChecked(); }
int TForm1::resultRowCount() { return model_.count(); }
void TForm1::clearResults() { model_.clear(); }
void TForm1::appendSeparator() { model_.appendSeparator(); }
void TForm1::appendFileRow(const CandidateRecord& record) { model_.appendFileRow(record); }
QString TForm1::protectedFolder() { return sEdit1->text(); }
void TForm1::markAllButFirst(const ProtectedFolder& protectedFolder) { model_.MarkAllButFirst(protectedFolder); }
void TForm1::refused(const std::vector<RefusedPath>& paths) { tell(RefusedPathsMessage(paths, !english())); }
bool TForm1::askYesNo(const QString& title, const QString& text) { return services_.ui->askYesNo(this, title, text); }
bool TForm1::askOkCancel(const QString& title, const QString& text) {
  return services_.ui->askOkCancel(this, title, text);
}
void TForm1::browseFolders() { sSpeedButton1Click(); }
void TForm1::pump() { pumpEvents(); }

void TForm1::pumpEvents() {
  // Waiting events run at most once per pump interval (10 ms unless set):
  // often enough for a live window, rarely enough to cost nothing.
  if (pumpInterval_ > 0 && pumpClock_.elapsed() < pumpInterval_) return;
  QCoreApplication::processEvents();
  pumpClock_.restart();
}

void TForm1::setRootList(const QStringList& roots) {
  if (form2_) form2_->setEntries(roots);
}
void TForm1::setStatus(const QString& text) {
  Label1->setText(text);
  layoutStatusRow();
}
void TForm1::setDetail(const QString& text) {
  // The walk shows every file it takes: the row changes only when the
  // detail comes or goes.
  const bool had = !Label2->text().isEmpty();
  Label2->setText(text);
  if (had == text.isEmpty()) layoutStatusRow();
}
void TForm1::setProgress(int position) { ProgressBar1->setValue(position); }
void TForm1::setTitle(const QString& title) {
  SetApplicationTitle(title);
  showTitle();
}

void TForm1::setCaption(const QString& caption) {
  caption_ = caption;
  showTitle();
}

void TForm1::showTitle() {
  const QString title = ApplicationTitle();
  setWindowTitle(title.isEmpty() ? caption_ : caption_ + QStringLiteral(" — ") + title);
}
void TForm1::setTotals(const QString& space, const QString& count) {
  Edit5->setText(space);
  Edit7->setText(count);
}
void TForm1::showCancel(bool show) {
  Button1->setVisible(!show);
  sButton1->setVisible(show);
}
void TForm1::beep() { services_.ui->beep(); }

void TForm1::tell(const QString& text) { services_.ui->message(this, ApplicationTitle(), text); }

void TForm1::BaseViewItemChecked(const QString& space, const QString& count) { setTotals(space, count); }

// ---------------------------------------------------------------- marking

void TForm1::N2Click() {
  const ProtectedFolder protect = ResolveProtected(sEdit1->text());
  if (protect.error == 0) return model_.MarkAllButFirst(protect);
  // A protected file must never be marked: nothing is.
  model_.UnselectAll();
  tell(RefusedPathsMessage({{protect.text, protect.error, true}}, !english()));
}
void TForm1::SelectAll1Click() { model_.SelectAll(); }
void TForm1::UnselectAll1Click() { model_.UnselectAll(); }

// ---------------------------------------------------------------- processing

void TForm1::DeleteAll1Click() {
  if (model_.count() == 0 || scanning() || processing_) return;
  processing_ = true;
  ProcessMarked(model_, *this);
  processing_ = false;
}

ProcessMode TForm1::mode() {
  if (!RadioButton1->isChecked()) return ProcessMode::Move;
  return UseRecycle1->isChecked() ? ProcessMode::Recycle : ProcessMode::Remove;
}
QString TForm1::destination() { return Edit2->text(); }
void TForm1::browseDestination() { sSpeedButton2Click(); }
bool TForm1::deleteEmptyFolders() { return DelDirs1->isChecked(); }
bool TForm1::confirm(const QString& title, const QString& text) { return services_.ui->askOkCancel(this, title, text); }
bool TForm1::askWholeGroups(const QString& title, const QString& text) {
  return services_.ui->askNoYes(this, title, text);
}
void TForm1::deleteFailed(const QString& path, int error) { tell(DeleteFailedMessage(path, error, !english())); }
void TForm1::destinationFailed(const QString& path, int error) {
  tell(DestinationFailedMessage(path, error, !english()));
}
void TForm1::clearTotals() {
  Edit7->clear();
  Edit5->clear();
  setDetail(QString());
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
    if (!services_.desktop->addFolderCommand(LanguageText(english(), "Find Duplicates", "Поиск одинаковых файлов")))
      tell(QStringLiteral("Failed to set data for ''"));
  } else {
    services_.desktop->removeFolderCommand();
  }
}

// ---------------------------------------------------------------- About and the web site

void TForm1::Label3Click() { services_.desktop->open(QString::fromLatin1(kWebSite)); }

void TForm1::N1Click() {
  if (!form3_) return;
  form3_->setTitleLine(english());
  form3_->exec();
}
