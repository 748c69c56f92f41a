// zorvik-cli process: deletes, sends to the trash or moves the marked files of
// a result list.
#include "cli/command.h"
#include "cli/terminal.h"
#include "results/listfile.h"
#include "results/model.h"
#include "results/processing.h"

#include <unistd.h>
#include <cstdio>
#include <string>

namespace {

class CliProcessHost : public ProcessHost {
 public:
  ProcessMode processMode = ProcessMode::Remove;
  QString dest;
  bool emptyFolders = false;
  TerminalProgress progress;

  bool english() override { return true; }
  ProcessMode mode() override { return processMode; }
  QString destination() override { return dest; }
  bool deleteEmptyFolders() override { return emptyFolders; }
  bool yes = false;  // --yes: the confirmation is taken as given
  QString counts;    // marked count and space, shown with the question

  // Asks on the terminal; with --yes only the confirmation is answered, and
  // groups whose every copy is marked are kept.
  bool ask(const QString& text) {
    std::fprintf(stderr, "%s [y/N] ", TextFor(STDERR_FILENO, text).toLocal8Bit().constData());
    // One line from standard input, read with stdio: the C++ streams would
    // cost every start of the program their set-up.
    std::string answer;
    for (int c; (c = std::fgetc(stdin)) != EOF && c != '\n';) answer += static_cast<char>(c);
    return answer == "y" || answer == "Y" || answer == "yes";
  }
  bool confirm(const QString&, const QString& text) override {
    return yes || ask(text + QStringLiteral(" (") + counts + QLatin1Char(')'));
  }
  bool askWholeGroups(const QString&, const QString& text) override {
    if (!yes) return ask(text);
    Err(QStringLiteral("zorvik-cli: ") + text + QStringLiteral(" No: without a question on a terminal they are kept."));
    return false;
  }
  // Every failure, a failed deletion too, is one line from failed().
  void deleteFailed(const QString&, int) override {}
  void failed(const QString& path, const QString& reason) override {
    progress.finish();
    Err(QStringLiteral("zorvik-cli: %1: %2").arg(path, reason));
  }
  void pump() override { progress.tick(); }
  void setStatus(const QString& s) override { progress.set(s, QString()); }
};

class ProcessCommand : public Command {
 public:
  ProcessCommand()
      : Command(
            QStringLiteral("process"),
            {{{QStringLiteral("remove")},
              {QStringLiteral("recycle")},
              {QStringLiteral("move"), QStringLiteral("--move needs a destination folder"), /*emptyIsMissing=*/true},
              {QStringLiteral("delete-empty-folders")},
              {QStringLiteral("yes")}},
             /*dashDashEndsOptions=*/false,
             QStringLiteral("more than one list file")}) {}

 protected:
  QString parse(const QCommandLineParser& parser) override;
  int run() override;

 private:
  QString listFile_, dest_;
  ProcessMode mode_ = ProcessMode::Remove;
  bool emptyFolders_ = false, yes_ = false;
};

QString ProcessCommand::parse(const QCommandLineParser& parser) {
  for (const QString& word : parser.positionalArguments())
    if (!word.isEmpty()) listFile_ = word;  // at most one: an empty word names no list
  if (listFile_.isEmpty()) return QStringLiteral("missing list file");
  const QStringList given = parser.optionNames();
  const qsizetype modes = given.count(QStringLiteral("remove")) + given.count(QStringLiteral("recycle")) +
                          given.count(QStringLiteral("move"));
  if (modes != 1) return QStringLiteral("choose one of --remove, --recycle and --move DEST");
  if (parser.isSet(QStringLiteral("recycle"))) mode_ = ProcessMode::Recycle;
  if (parser.isSet(QStringLiteral("move"))) mode_ = ProcessMode::Move, dest_ = parser.value(QStringLiteral("move"));
  emptyFolders_ = parser.isSet(QStringLiteral("delete-empty-folders"));
  yes_ = parser.isSet(QStringLiteral("yes"));
  return QString();
}

int ProcessCommand::run() {
  CliProcessHost host;
  host.processMode = mode_, host.dest = dest_, host.emptyFolders = emptyFolders_, host.yes = yes_;
  LoadedList loaded;
  QString error;
  if (!LoadListFile(listFile_, &loaded, &error)) {
    Err(QStringLiteral("zorvik-cli: cannot read the list: ") + error);
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
  host.counts = QStringLiteral("%1 marked, %2").arg(model.markedCount()).arg(model.spaceText());
  const ProcessResult result = ProcessMarked(model, host);
  host.progress.finish();
  if (!result.confirmed) {
    Err(QStringLiteral("Nothing was done."));
    return kExitDone;
  }
  if (result.destinationError != 0) return kExitFailed;  // said by failed(): nothing was moved
  std::printf("Processing files - %d\n", result.processed);
  if (result.kept > 0) Err(QStringLiteral("kept, no identical copy left - %1").arg(result.kept));
  if (result.failed > 0) {
    Err(QStringLiteral("failed - %1").arg(result.failed));
    return kExitFailed;
  }
  return kExitDone;
}

}  // namespace

std::unique_ptr<Command> MakeProcessCommand() { return std::make_unique<ProcessCommand>(); }
