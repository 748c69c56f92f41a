// zorvik-cli: the command-line front end on the same engine as the window.
//
//   zorvik-cli scan [--mask MASK] [--skip-small] [--skip-empty] [--exact] [--protect TEXT]
//                   [--output FILE] (FOLDER... | --folders TEXT)
//   zorvik-cli process LISTFILE (--remove | --recycle | --move DEST) [--delete-empty-folders] [--yes]
//   zorvik-cli --help | --version
//
// Each command is a Command in a file of its own (scan_command.cpp,
// process_command.cpp); this file only picks it by the first word.
#include "cli/command.h"
#include "cli/terminal.h"
#include "platform/fs.h"
#include "zorvik_version.h"

#include <QStringList>

#include <cstdio>

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

}  // namespace

int main(int argc, char** argv) {
  fs::RaiseOpenFileLimit();
  // No application object: the command runs no event loop, and its words are
  // parsed from the list (QCommandLineParser::parse, not process).
  QStringList args;
  for (int i = 1; i < argc; ++i) args.append(QString::fromLocal8Bit(argv[i]));
  if (args.isEmpty()) {
    std::fputs(kUsage, stderr);
    return kExitUsage;
  }
  // The first word only: "--help" and "--version" ignore what follows.
  const QString first = args.takeFirst();
  if (first == QLatin1String("--help") || first == QLatin1String("-h")) {
    std::fputs(kUsage, stdout);
    return kExitDone;
  }
  if (first == QLatin1String("--version")) {
    std::puts("zorvik-cli " ZORVIK_VERSION_TEXT);
    return kExitDone;
  }
  if (const std::unique_ptr<Command> command = Command::find(first)) return command->execute(args);
  return UsageError(QStringLiteral("unknown command '%1'").arg(first));
}
