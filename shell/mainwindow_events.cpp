// TForm1 as the front end of the scan and of processing: what they read
// from the window, and the words and controls of what they report and ask.
#include "shell/mainwindow.h"

#include "engine/contentcache.h"
#include "platform/ui.h"
#include "shell/folderlist.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>

// ---------------------------------------------------------------- the scan

QString TForm1::foldersText() { return Edit1->text(); }
QString TForm1::mask() { return ext->currentText(); }
void TForm1::setMask(const QString& mask) { ext->setEditText(mask); }
bool TForm1::skipSmall() { return Skip1->isChecked(); }
bool TForm1::skipEmpty() { return Skip2->isChecked(); }
bool TForm1::fastCompare() { return sCheckBox1->isChecked(); }
int TForm1::resultRowCount() { return model_.count(); }
void TForm1::clearResults() { model_.clear(); }
void TForm1::appendSeparator() { model_.appendSeparator(); }
void TForm1::appendFileRow(const FoundFile& file) { model_.appendFileRow(file); }
QString TForm1::protectedFolder() { return sEdit1->text(); }
void TForm1::markAllButFirst(const ProtectedFolder& protectedFolder) { model_.MarkAllButFirst(protectedFolder); }
void TForm1::refused(const std::vector<RefusedPath>& paths) {
  tell(RefusedPathsMessage(paths, !English1->isChecked()));
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

QString TForm1::contentCacheFile() { return RememberContents1->isChecked() ? DefaultContentCachePath() : QString(); }

void TForm1::setRootList(const QStringList& roots) {
  if (form2_) form2_->setEntries(roots);
}

bool TForm1::ask(ScanQuestion question) {
  // Each question in the language of the moment: exactly one of the two
  // language items is checked.
  if (question == ScanQuestion::ReplaceList)
    return services_.ui->askYesNo(this, message(Message::ReplaceListTitle), message(Message::ReplaceListText));
  return services_.ui->askOkCancel(this, message(Message::StopScanTitle), message(Message::StopScanText));
}

void TForm1::report(const ScanEvent& event) {
  switch (event.kind) {
    case ScanEvent::Kind::Searching:
      ProgressBar1->setValue(0);
      setTotals(SpaceText(0), QStringLiteral("0"));
      setStatus(message(Message::Searching));
      showCancel(true);
      return;
    case ScanEvent::Kind::FileFound:
      setDetail(event.name);
      return;
    case ScanEvent::Kind::Comparing:
      setStatus(message(Message::Comparing));
      return;
    case ScanEvent::Kind::Step:
      showStep(event);
      return;
    case ScanEvent::Kind::NothingFound:
      services_.ui->beep();
      ProgressBar1->setValue(100);
      setStatus(message(Message::NothingFound));
      showCancel(false);
      return;
    case ScanEvent::Kind::Complete:
      // The title keeps the comparison's last one.
      setStatus(message(Message::Complete));
      setDetail(QString());
      showCancel(false);
      services_.ui->beep();
      return;
    case ScanEvent::Kind::Cancelled:
      setStatus(message(Message::Cancelled));
      ProgressBar1->setValue(0);
      setTitle(message(Message::CancelledTitle));
      showCancel(false);
      setDetail(QString());
      return;
    case ScanEvent::Kind::Failed:
      // Cancel stays shown: confirming it returns the window to idle.
      setStatus(ScanFailedText(event, !English1->isChecked()));
      return;
  }
}

void TForm1::showStep(const ScanEvent& step) {
  // A step before a record shows the run's first record and the count.
  if (step.runFirst >= 0)
    setDetail(QString::number(step.runFirst) + QStringLiteral(" / ") + QString::number(step.count));
  ProgressBar1->setValue(step.position);
  // The title shows the bar's position as read back from it.
  const int shown = ProgressBar1->value();
  if (shown != titlePosition_ || comparingTitle_.isEmpty()) {
    titlePosition_ = shown;
    comparingTitle_ = message(Message::ComparingTitle).arg(shown);
  }
  setTitle(comparingTitle_);
}

// ---------------------------------------------------------------- what the scan shows

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
void TForm1::setTitle(const QString& title) {
  SetApplicationTitle(title);
  showTitle();
}
void TForm1::setTotals(const QString& space, const QString& count) {
  Edit5->setText(space);
  Edit7->setText(count);
}
void TForm1::showCancel(bool show) {
  Button1->setVisible(!show);
  sButton1->setVisible(show);
}

// ---------------------------------------------------------------- processing

ProcessMode TForm1::mode() {
  // A link, while one is chosen, instead of removing or moving.
  if (HardLink1->isChecked()) return ProcessMode::HardLink;
  if (SymLink1->isChecked()) return ProcessMode::SymLink;
  if (Clone1->isChecked()) return ProcessMode::Clone;
  if (!RadioButton1->isChecked()) return ProcessMode::Move;
  return UseRecycle1->isChecked() ? ProcessMode::Recycle : ProcessMode::Remove;
}
QString TForm1::destination() { return Edit2->text(); }
void TForm1::browseDestination() { sSpeedButton2Click(); }
bool TForm1::deleteEmptyFolders() { return DelDirs1->isChecked(); }

bool TForm1::ask(const ProcessQuestion& question) {
  if (question.kind == ProcessQuestion::Kind::RemoveWholeGroups)
    return services_.ui->askNoYes(this, message(Message::ProcessTitle),
                                  message(Message::WholeGroupsText).arg(question.groups));
  return services_.ui->askOkCancel(this, message(Message::ProcessTitle), message(ConfirmMessage(question.mode)));
}

void TForm1::report(const ProcessEvent& event) {
  const bool russian = !English1->isChecked();
  switch (event.kind) {
    case ProcessEvent::Kind::Started:
      setStatus(message(Message::InProcess));
      ProgressBar1->setValue(0);
      return;
    case ProcessEvent::Kind::Progress:
      ProgressBar1->setValue(event.position);
      return;
    case ProcessEvent::Kind::Gone:
    case ProcessEvent::Kind::Failed:
      // A plain deletion that failed says so at once; a failed move or
      // trash is counted in the end text only.
      if (event.mode == ProcessMode::Remove) tell(DeleteFailedMessage(event.path, event.error, russian));
      return;
    case ProcessEvent::Kind::DestinationFailed:
      tell(DestinationFailedMessage(event.path, event.error, russian));
      return;
    case ProcessEvent::Kind::Finished:
      setStatus(ProcessEndText(event, russian));
      Edit7->clear();
      Edit5->clear();
      setDetail(QString());
      return;
    case ProcessEvent::Kind::Done:
    case ProcessEvent::Kind::Kept:
    case ProcessEvent::Kind::Leftover:  // counted in the end text
      return;
  }
}
