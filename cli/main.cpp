// zorvik-cli: the command-line front end on the same engine as the window.
//
//   zorvik-cli scan [--mask MASK] [--skip-small] [--skip-empty] [--exact] [--protect TEXT]
//                   [--output FILE] (FOLDER... | --folders TEXT)
//   zorvik-cli process LISTFILE (--remove | --recycle | --move DEST) [--delete-empty-folders] [--yes]
//   zorvik-cli --help | --version
#include "cli/command.h"
#include "cli/terminal.h"
#include "results/listfile.h"
#include "results/model.h"
#include "results/processing.h"
#include "zorvik_version.h"

#include <QStringList>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

const char kUsage[] =
    "Usage:\n"
    "  zorvik-cli scan [--mask MASK] [--skip-small] [--skip-empty] [--exact] [--protect TEXT]\n"
    "                  [--output FILE] (FOLDER... | --folders TEXT)\n"
    "  zorvik-cli process LISTFILE (--remove | --recycle | --move DEST) [--delete-empty-folders] [--yes]\n"
    "  zorvik-cli --help | --version\n"
    "\n"
    "scan     finds the files of identical content in the folders, marks every copy but\n"
    "         the first of each group (never a file whose path contains the --protect text)\n"
    "         and writes the result list to standard output or to FILE.\n"
    "         --mask MASK    file mask, '*' and '?' as wildcards (default *.*)\n"
    "         --skip-small   leave out files under 20 KB\n"
    "         --skip-empty   leave out empty files\n"
    "         --exact        compare files over 10 MB in full, not by samples\n"
    "         --folders TEXT folders separated by ';'\n"
    "process  deletes, sends to the trash or moves every marked file of a result list.\n"
    "         --yes          do not ask for confirmation\n";

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
  bool yes = false;   // --yes: the confirmation is taken as given
  QString counts;     // marked count and space, shown with the question

  // Asks on the terminal; with --yes only the confirmation is answered, and
  // groups whose every copy is marked are kept.
  bool ask(const QString& text) {
    std::fprintf(stderr, "%s [y/N] ", text.toLocal8Bit().constData());
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
  void deleteFailed(const QString& message) override {
    progress.finish();
    Err(message);
  }
  void failed(const QString& path, const QString& reason) override {
    progress.finish();
    Err(QStringLiteral("zorvik-cli: %1: %2").arg(path, reason));
  }
  void pump() override { progress.tick(); }
  void setStatus(const QString& s) override { progress.set(s, QString()); }
};

int Process(const QStringList& args) {
  CliProcessHost host;
  QString listFile;
  int modes = 0;
  bool yes = false;
  for (qsizetype i = 0; i < args.size(); ++i) {
    const QString& a = args[i];
    if (a == QLatin1String("--remove")) {
      host.processMode = ProcessMode::Remove, ++modes;
    } else if (a == QLatin1String("--recycle")) {
      host.processMode = ProcessMode::Recycle, ++modes;
    } else if (a == QLatin1String("--move")) {
      if (i + 1 >= args.size() || args[i + 1].isEmpty()) return UsageError(QStringLiteral("--move needs a destination folder"));
      host.processMode = ProcessMode::Move, ++modes;
      host.dest = args[++i];
    } else if (a == QLatin1String("--delete-empty-folders")) {
      host.emptyFolders = true;
    } else if (a == QLatin1String("--yes")) {
      yes = true;
    } else if (a.startsWith(QLatin1Char('-')) && a.size() > 1) {
      return UsageError(QStringLiteral("unknown option '%1'").arg(a));
    } else if (listFile.isEmpty()) {
      listFile = a;
    } else {
      return UsageError(QStringLiteral("more than one list file"));
    }
  }
  if (listFile.isEmpty()) return UsageError(QStringLiteral("missing list file"));
  if (modes != 1) return UsageError(QStringLiteral("choose one of --remove, --recycle and --move DEST"));

  LoadedList loaded;
  QString error;
  if (!LoadListFile(listFile, &loaded, &error)) {
    Err(QStringLiteral("zorvik-cli: cannot read the list: ") + error);
    return 1;
  }
  if (loaded.unreadable > 0)
    Err(QStringLiteral("zorvik-cli: %1 lines of the list could not be read; their rows are left unmarked").arg(loaded.unreadable));
  ResultModel model;
  model.appendRows(std::move(loaded.rows));

  if (!yes && !isatty(STDIN_FILENO)) {
    Err(QStringLiteral("zorvik-cli: not asking without a terminal; add --yes to process the marked files"));
    return 2;
  }
  host.yes = yes;
  host.counts = QStringLiteral("%1 marked, %2").arg(model.markedCount()).arg(model.spaceText());
  const ProcessResult result = ProcessMarked(model, host);
  host.progress.finish();
  if (!result.confirmed) {
    Err(QStringLiteral("Nothing was done."));
    return 0;
  }
  std::printf("Processing files - %d\n", result.processed);
  if (result.kept > 0) Err(QStringLiteral("kept, no identical copy left - %1").arg(result.kept));
  if (result.failed > 0) {
    Err(QStringLiteral("failed - %1").arg(result.failed));
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  // No application object: the command runs no event loop.
  QStringList args;
  for (int i = 1; i < argc; ++i) args.append(QString::fromLocal8Bit(argv[i]));
  if (args.isEmpty()) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  const QString command = args.takeFirst();
  if (command == QLatin1String("--help") || command == QLatin1String("-h")) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (command == QLatin1String("--version")) {
    std::puts("zorvik-cli " ZORVIK_VERSION_TEXT);
    return 0;
  }
  if (command == QLatin1String("process")) return Process(args);
  if (const std::unique_ptr<Command> c = Command::find(command)) return c->execute(args);
  return UsageError(QStringLiteral("unknown command '%1'").arg(command));
}
