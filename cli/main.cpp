// zorvik-cli: the command-line front end on the same engine as the window.
// Its commands and their options are declared in options.cpp; each command
// is a Command in a file of its own (scan_command.cpp, process_command.cpp);
// this file only picks it by the first word.
#include "cli/command.h"
#include "cli/terminal.h"
#include "platform/fs.h"
#include "zorvik_version.h"

#include <QStringList>

#include <cstdio>

int main(int argc, char** argv) {
  fs::RaiseOpenFileLimit();
  // No application object: the command runs no event loop, and its words are
  // parsed from the list (QCommandLineParser::parse, not process).
  QStringList args;
  for (int i = 1; i < argc; ++i) args.append(QString::fromLocal8Bit(argv[i]));
  if (args.isEmpty()) {
    std::fputs(UsageText().toLocal8Bit().constData(), stderr);
    return kExitUsage;
  }
  // The first word only: "--help" and "--version" ignore what follows.
  const QString first = args.takeFirst();
  if (first == QLatin1String("--help") || first == QLatin1String("-h")) {
    std::fputs(UsageText().toLocal8Bit().constData(), stdout);
    return kExitDone;
  }
  if (first == QLatin1String("--version")) {
    std::puts("zorvik-cli " ZORVIK_VERSION_TEXT);
    return kExitDone;
  }
  if (const std::unique_ptr<Command> command = Command::find(first)) return command->execute(args);
  return UsageError(QStringLiteral("unknown command '%1'").arg(first));
}
