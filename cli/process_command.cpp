// zorvik-cli process: deletes, sends to the trash, moves or links the marked
// files of a result list.
#include "cli/command.h"
#include "cli/terminal.h"
#include "platform/fs.h"
#include "results/listfile.h"
#include "results/model.h"
#include "results/processing.h"

#include <unistd.h>
#include <cstdio>
#include <optional>
#include <string>
#include <utility>

namespace {

QString ConfirmText(ProcessMode mode) {
  switch (mode) {
    case ProcessMode::HardLink:
      return QStringLiteral("Replace the marked files with hard links?");
    case ProcessMode::SymLink:
      return QStringLiteral("Replace the marked files with symbolic links?");
    case ProcessMode::Clone:
      return QStringLiteral("Replace the marked files with clones?");
    case ProcessMode::Move:
    case ProcessMode::Recycle:
    case ProcessMode::Remove:
      break;
  }
  return QStringLiteral("Delete (or move) all selected files?");
}

class CliProcessHost : public ProcessHost {
 public:
  ProcessMode processMode = ProcessMode::Remove;
  QString dest;
  bool emptyFolders = false, anyOwnership = false;
  bool yes = false;  // --yes: the confirmation is taken as given
  TerminalProgress progress;
  // What the run reported.
  bool started = false, destinationFailed = false;
  std::optional<ProcessEvent> finished;

  ProcessMode mode() override { return processMode; }
  QString destination() override { return dest; }
  bool deleteEmptyFolders() override { return emptyFolders; }
  bool linkAnyOwnership() override { return anyOwnership; }
  void pump() override { progress.tick(); }

  // Asks on the terminal; with --yes only the confirmation is answered, and
  // groups whose every copy is marked are kept.
  bool ask(const ProcessQuestion& question) override {
    if (question.kind == ProcessQuestion::Kind::Confirm)
      return yes || askOnTerminal(QStringLiteral("%1 (%2 marked, %3)")
                                      .arg(ConfirmText(question.mode))
                                      .arg(question.marked)
                                      .arg(SpaceText(question.markedKB)));
    const QString text = QStringLiteral("Every copy of %1 groups is marked. Remove them all?").arg(question.groups);
    if (!yes) return askOnTerminal(text);
    Err(QStringLiteral("zorvik-cli: ") + text + QStringLiteral(" No: without a question on a terminal they are kept."));
    return false;
  }

  // Every row that failed is one line, a failed deletion too.
  void report(const ProcessEvent& event) override {
    switch (event.kind) {
      case ProcessEvent::Kind::Started:
        started = true;
        progress.set(QStringLiteral("In process ..."), QString());
        return;
      case ProcessEvent::Kind::Failed:
      case ProcessEvent::Kind::DestinationFailed:
        destinationFailed = destinationFailed || event.kind == ProcessEvent::Kind::DestinationFailed;
        progress.finish();
        Err(QStringLiteral("zorvik-cli: %1: %2").arg(event.path, fs::ErrorText(event.error)));
        return;
      case ProcessEvent::Kind::Kept:  // said by its reason where one is given; counted at the end
        if (event.error == 0) return;
        progress.finish();
        Err(QStringLiteral("zorvik-cli: %1: kept: %2").arg(event.path, fs::ErrorText(event.error)));
        return;
      case ProcessEvent::Kind::Leftover:
        progress.finish();
        Err(QStringLiteral("zorvik-cli: %1: left by a link that was stopped; it holds a file, look at it")
                .arg(event.path));
        return;
      case ProcessEvent::Kind::Finished:
        finished = event;
        return;
      case ProcessEvent::Kind::Progress:
      case ProcessEvent::Kind::Done:
      case ProcessEvent::Kind::Gone:  // nothing is at its path any more: counted as processed
        return;
    }
  }

 private:
  static bool askOnTerminal(const QString& text) {
    std::fprintf(stderr, "%s [y/N] ", TextFor(STDERR_FILENO, text).toLocal8Bit().constData());
    // One line from standard input, read with stdio: the C++ streams would
    // cost every start of the program their set-up.
    std::string answer;
    for (int c; (c = std::fgetc(stdin)) != EOF && c != '\n';) answer += static_cast<char>(c);
    return answer == "y" || answer == "Y" || answer == "yes";
  }
};

class ProcessCommand : public Command {
 public:
  ProcessCommand() : Command(CliCommand("process")) {}

 protected:
  QString parse(const QCommandLineParser& parser) override;
  int run() override;

 private:
  QString listFile_, dest_;
  ProcessMode mode_ = ProcessMode::Remove;
  bool emptyFolders_ = false, yes_ = false, anyOwnership_ = false;
};

QString ProcessCommand::parse(const QCommandLineParser& parser) {
  for (const QString& word : parser.positionalArguments())
    if (!word.isEmpty()) listFile_ = word;  // at most one: an empty word names no list
  if (listFile_.isEmpty()) return QStringLiteral("missing list file");
  const QStringList given = parser.optionNames();
  const std::pair<const char*, ProcessMode> modes[] = {
      {option::kRemove, ProcessMode::Remove},   {option::kRecycle, ProcessMode::Recycle},
      {option::kMove, ProcessMode::Move},       {option::kHardLink, ProcessMode::HardLink},
      {option::kSymLink, ProcessMode::SymLink}, {option::kClone, ProcessMode::Clone}};
  qsizetype chosen = 0;
  for (const auto& [name, mode] : modes)
    if (const qsizetype n = given.count(QLatin1String(name)); n > 0) chosen += n, mode_ = mode;
  if (chosen != 1)
    return QStringLiteral("choose one of --remove, --recycle, --move DEST, --hardlink, --symlink and --clone");
  if (mode_ == ProcessMode::Move) dest_ = parser.value(QLatin1String(option::kMove));
  anyOwnership_ = parser.isSet(QLatin1String(option::kForceMetadata));
  emptyFolders_ = parser.isSet(QLatin1String(option::kDeleteEmptyFolders));
  yes_ = parser.isSet(QLatin1String(option::kYes));
  return QString();
}

int ProcessCommand::run() {
  CliProcessHost host;
  host.processMode = mode_, host.dest = dest_, host.emptyFolders = emptyFolders_, host.yes = yes_;
  host.anyOwnership = anyOwnership_;
  LoadedList loaded;
  ListLoadError error;
  if (!LoadListFile(listFile_, &loaded, &error)) {
    QString reason = error.reason;
    if (error.kind == ListLoadError::Kind::TooLarge)
      reason = QStringLiteral("the list is larger than %1 MB or does not end").arg(error.bound >> 20);
    else if (error.kind == ListLoadError::Kind::TooManyRows)
      reason = QStringLiteral("the list has more than %1 rows").arg(error.bound);
    Err(QStringLiteral("zorvik-cli: cannot read the list: %1: %2").arg(listFile_, reason));
    return kExitFailed;
  }
  if (loaded.unreadable > 0)
    Err(QStringLiteral("zorvik-cli: %1 lines of the list could not be read; their rows are left unmarked")
            .arg(loaded.unreadable));
  ResultModel model;
  model.appendRows(std::move(loaded.rows));

  if (!yes_ && !isatty(STDIN_FILENO)) {
    Err(QStringLiteral("zorvik-cli: not asking without a terminal; add --yes to process the marked files"));
    return kExitUsage;
  }
  ProcessMarked(model, host);
  host.progress.finish();
  if (!host.started) {
    Err(QStringLiteral("Nothing was done."));
    return kExitDone;
  }
  if (host.destinationFailed || !host.finished) return kExitFailed;  // said already: nothing was moved
  const ProcessEvent& end = *host.finished;
  std::printf("%s - %d\n", IsLinkMode(mode_) ? "Linked" : "Processing files", end.processed);
  if (end.kept > 0) Err(QStringLiteral("kept, no identical copy left - %1").arg(end.kept));
  if (end.failed > 0) {
    Err(QStringLiteral("failed - %1").arg(end.failed));
    return kExitFailed;
  }
  return kExitDone;
}

}  // namespace

std::unique_ptr<Command> MakeProcessCommand() { return std::make_unique<ProcessCommand>(); }
