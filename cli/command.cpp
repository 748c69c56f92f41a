#include "cli/command.h"

#include "cli/terminal.h"

std::unique_ptr<Command> Command::find(const QString& name) {
  for (auto make : {MakeScanCommand, MakeProcessCommand}) {
    std::unique_ptr<Command> command = make();
    if (command->name() == name) return command;
  }
  return nullptr;
}

int Command::execute(const QStringList& args) {
  // The words are first read in order the way they always were, and the
  // first that does not fit is the usage error, in the program's own words
  // (FirstUsageError); the parser never shows an error of its own.
  QString error = FirstUsageError(spec_, args);
  QCommandLineParser parser;
  if (error.isEmpty()) {
    // No option has a short name: to the parser too, every single-dash word
    // is an unknown option. Options may follow the words they come with.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsCompactedShortOptions);
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsOptions);
    for (const OptionSpec& o : spec_.options)
      parser.addOption(o.takesValue() ? QCommandLineOption(QLatin1String(o.name), QString(), QLatin1String(o.value))
                                      : QCommandLineOption(QLatin1String(o.name)));
    // Once the words passed the check, the parser finds nothing to object to;
    // its own error text would only show were the two ever to disagree.
    error = parser.parse(QStringList(QStringLiteral("zorvik-cli")) + args) ? parse(parser) : parser.errorText();
  }
  return error.isEmpty() ? run() : UsageError(error);
}
