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
  QString error = firstUsageError(args);
  QCommandLineParser parser;
  if (error.isEmpty()) {
    // No option has a short name: to the parser too, every single-dash word
    // is an unknown option. Options may follow the words they come with.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsCompactedShortOptions);
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsOptions);
    for (const Option& o : syntax_.options)
      parser.addOption(o.takesValue() ? QCommandLineOption(o.name, QString(), QStringLiteral("value"))
                                      : QCommandLineOption(o.name));
    // Once the words passed the check, the parser finds nothing to object to;
    // its own error text would only show were the two ever to disagree.
    error = parser.parse(QStringList(QStringLiteral("zorvik-cli")) + args) ? parse(parser) : parser.errorText();
  }
  return error.isEmpty() ? run() : UsageError(error);
}

const Command::Option* Command::option(const QString& word) const {
  if (!word.startsWith(QLatin1String("--"))) return nullptr;
  for (const Option& o : syntax_.options)
    if (QStringView(word).mid(2) == o.name) return &o;
  return nullptr;
}

// QCommandLineParser takes words that zorvik-cli has always refused: a value
// after '=' ("--mask=*.txt"), single-dash words ("-abc" as three short
// options, "-mask"), and "--" where a command has no words that could start
// with '-'. So the words are first read in order the way they always were,
// and the first that does not fit is the usage error, in the program's own
// words; the parser never shows an error of its own.
QString Command::firstUsageError(const QStringList& args) const {
  bool hadWord = false;
  for (qsizetype i = 0; i < args.size(); ++i) {
    const QString& word = args[i];
    if (word == QLatin1String("--") && syntax_.dashDashEndsOptions) break;
    if (const Option* o = option(word)) {
      if (!o->takesValue()) continue;
      if (++i >= args.size() || (o->emptyIsMissing && args[i].isEmpty())) return o->missingValue;
    } else if (word.startsWith(QLatin1Char('-')) && word.size() > 1) {
      return QStringLiteral("unknown option '%1'").arg(word);
    } else if (hadWord && !syntax_.secondWord.isEmpty()) {
      return syntax_.secondWord;
    } else {
      hadWord = hadWord || !word.isEmpty();  // an empty word names nothing
    }
  }
  return QString();
}
