// zorvik-cli: the command-line front end on the same engine as the window.
//
//   zorvik-cli scan [--mask MASK] [--skip-small] [--skip-empty] [--exact] [--protect TEXT]
//                   [--output FILE] (FOLDER... | --folders TEXT)
//   zorvik-cli process LISTFILE (--remove | --recycle | --move DEST) [--delete-empty-folders] [--yes]
//   zorvik-cli --help | --version
#include "cli/terminal.h"
#include "engine/scan.h"
#include "results/listfile.h"
#include "results/model.h"
#include "results/processing.h"
#include "zorvik_version.h"

#include <QFile>
#include <QStringList>

#include <cstdio>
#include <cstdlib>
#include <optional>
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

// The resident memory of this process, in KiB (0 where unknown).
qint64 ResidentKiB() {
  QFile status(QStringLiteral("/proc/self/status"));
  if (!status.open(QIODevice::ReadOnly)) return 0;
  for (const QByteArray& line : status.readAll().split('\n'))
    if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').front().toLongLong();
  return 0;
}

class CliScanHost : public ScanHost {
 public:
  QString folders, maskText = QStringLiteral("*.*"), protect;
  bool skipSmallFiles = false, skipEmptyFiles = false, fast = true;
  ResultModel model;
  TerminalProgress progress;
  QString status, detail;

  QString foldersText() override { return folders; }
  QString mask() override { return maskText; }
  void setMask(const QString& m) override { maskText = m; }
  bool skipSmall() override { return skipSmallFiles; }
  bool skipEmpty() override { return skipEmptyFiles; }
  bool fastCompare() override { return fast; }
  bool english() override { return true; }
  int resultRowCount() override { return model.count(); }
  void clearResults() override { model.clear(); }
  void appendSeparator() override { model.appendSeparator(); }
  void appendFileRow(const CandidateRecord& record) override { model.appendFileRow(record); }
  void markAllButFirst() override { model.MarkAllButFirst(protect); }
  bool askYesNo(const QString&, const QString&) override { return true; }
  bool askOkCancel(const QString&, const QString&) override { return true; }
  void pump() override { progress.tick(); }
  void setStatus(const QString& s) override {
    status = s, progress.set(status, detail);
    // With ZORVIK_STATS set: the memory in use once the candidate list is
    // complete, before the comparison.
    if (s.startsWith(QLatin1String("Comparing")) && qEnvironmentVariableIsSet("ZORVIK_STATS")) rssBeforeCompare = ResidentKiB();
  }
  qint64 rssBeforeCompare = 0;
  void setDetail(const QString& d) override {
    if (progress.enabled()) detail = d, progress.set(status, detail);
  }
};

int Scan(const QStringList& args) {
  CliScanHost host;
  std::optional<QString> output, foldersText;
  QStringList folders;
  for (qsizetype i = 0; i < args.size(); ++i) {
    const QString& a = args[i];
    auto value = [&](QString* into) {
      if (i + 1 >= args.size()) return false;
      *into = args[++i];
      return true;
    };
    QString v;
    if (a == QLatin1String("--mask")) {
      if (!value(&v)) return UsageError(QStringLiteral("--mask needs a value"));
      host.maskText = v;
    } else if (a == QLatin1String("--skip-small")) {
      host.skipSmallFiles = true;
    } else if (a == QLatin1String("--skip-empty")) {
      host.skipEmptyFiles = true;
    } else if (a == QLatin1String("--exact")) {
      host.fast = false;
    } else if (a == QLatin1String("--protect")) {
      if (!value(&v)) return UsageError(QStringLiteral("--protect needs a value"));
      host.protect = v;
    } else if (a == QLatin1String("--output")) {
      if (!value(&v)) return UsageError(QStringLiteral("--output needs a value"));
      output = v;
    } else if (a == QLatin1String("--folders")) {
      if (!value(&v)) return UsageError(QStringLiteral("--folders needs a value"));
      foldersText = v;
    } else if (a == QLatin1String("--")) {
      folders += args.mid(i + 1);
      break;
    } else if (a.startsWith(QLatin1Char('-')) && a.size() > 1) {
      return UsageError(QStringLiteral("unknown option '%1'").arg(a));
    } else {
      folders.append(a);
    }
  }
  if (foldersText && !folders.isEmpty()) return UsageError(QStringLiteral("give folders or --folders, not both"));
  if (!foldersText && folders.isEmpty()) return UsageError(QStringLiteral("missing folder"));
  // The folders text separates folders by ';': such a name would be split
  // and a different folder scanned.
  for (const QString& f : folders)
    if (f.contains(QLatin1Char(';'))) return UsageError(QStringLiteral("folder '%1' contains ';', which separates folders").arg(f));
  if (host.maskText.isEmpty() || host.maskText == QLatin1String("*")) host.maskText = QStringLiteral("*.*");
  if (foldersText) {
    host.folders = *foldersText;
  } else if (folders.size() == 1) {
    host.folders = folders.front();
  } else {
    for (const QString& f : folders) host.folders += f + QLatin1Char(';');
  }

  ScanDriver driver(host);
  driver.Scan();
  host.progress.finish();

  if (output) {
    QString error;
    if (!SaveListFile(host.model, *output, &error)) {
      Err(QStringLiteral("zorvik-cli: cannot write the list: ") + error);
      return 1;
    }
  } else if (host.model.count() > 0) {
    const QByteArray bytes = ListFileBytes(host.model);
    if (std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout) != static_cast<size_t>(bytes.size()) ||
        std::fflush(stdout) != 0) {
      Err(QStringLiteral("zorvik-cli: cannot write the list to standard output"));
      return 1;
    }
  }
  Err(QStringLiteral("%1 groups, %2 marked, %3").arg(host.model.groupCount()).arg(host.model.markedCount()).arg(host.model.spaceText()));
  if (qEnvironmentVariableIsSet("ZORVIK_STATS")) {
    const CompareStats& s = driver.lastStats();
    Err(QStringLiteral("candidates %1, memory before the comparison %5 KiB, bytes read %2, files opened %3, "
                       "non-duplicates read twice %4")
            .arg(driver.candidates().count())
            .arg(s.bytesRead)
            .arg(s.filesOpened)
            .arg(s.nonDuplicatesReadTwice)
            .arg(host.rssBeforeCompare));
  }
  return 0;
}

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
  if (command == QLatin1String("scan")) return Scan(args);
  if (command == QLatin1String("process")) return Process(args);
  return UsageError(QStringLiteral("unknown command '%1'").arg(command));
}
