#include "cli/options.h"

#include <algorithm>
#include <cstring>

namespace {

using namespace option;

const OptionSpec kScanOptions[] = {
    {.name = kMask,
     .value = "MASK",
     .missing = "--mask needs a value",
     .help = "file mask, '*' and '?' as wildcards (default *.*)"},
    {.name = kSkipSmall, .help = "leave out files under 20 KB"},
    {.name = kSkipEmpty, .help = "leave out empty files"},
    {.name = kExact, .help = "compare files over 10 MB in full, not by samples"},
    {.name = kProtect,
     .value = "TEXT",
     .missing = "--protect needs a value",
     .help = "never mark a file whose path contains TEXT"},
    {.name = kOutput,
     .value = "FILE",
     .missing = "--output needs a value",
     .help = "write the list to FILE, not to standard output"},
    {.name = kNoCache, .help = "neither use nor update the content cache"},
    {.name = kCache,
     .value = "FILE",
     .missing = "--cache needs a file",
     .emptyIsMissing = true,
     .help = "keep the content cache in FILE, not in the user's cache folder"},
    {.name = kReads,
     .value = "N",
     .missing = "--reads needs a number",
     .emptyIsMissing = true,
     .help = "read up to N files at once (default 64; 1: one at a time)"},
    {.name = kFolders,
     .value = "TEXT",
     .missing = "--folders needs a value",
     .alternative = true,
     .help = "folders separated by ';'"},
};

const OptionSpec kProcessOptions[] = {
    {.name = kRemove, .alternative = true, .help = "delete the marked files"},
    {.name = kRecycle, .alternative = true, .help = "send the marked files to the trash"},
    {.name = kMove,
     .value = "DEST",
     .missing = "--move needs a destination folder",
     .emptyIsMissing = true,
     .alternative = true,
     .help = "move the marked files into the folder DEST"},
    // Replacing by a link, and the owner rule of hard links.
    {.name = kHardLink, .alternative = true, .help = "replace each marked file by a hard link to its copy"},
    {.name = kSymLink, .alternative = true, .help = "replace each marked file by a symbolic link to its copy"},
    {.name = kClone, .alternative = true, .help = "make each marked file share its copy's blocks (btrfs, xfs)"},
    {.name = kForceMetadata, .help = "hard-link files whose owner or permissions differ from their copy's"},
    {.name = kDeleteEmptyFolders, .help = "also remove the folders left empty"},
    {.name = kYes, .help = "do not ask for confirmation"},
};

const CommandSpec kCommands[] = {
    {.name = "scan",
     .words = "FOLDER...",
     .wordsAreAlternative = true,
     .dashDashEndsOptions = true,
     .secondWord = nullptr,
     .summary = "finds the files of identical content in the folders, marks every copy but\n"
                "the first of each group (never a file whose path contains the --protect text)\n"
                "and writes the result list to standard output or to FILE.",
     .options = kScanOptions},
    {.name = "process",
     .words = "LISTFILE",
     .wordsAreAlternative = false,
     .dashDashEndsOptions = false,
     .secondWord = "more than one list file",
     .summary = "deletes, sends to the trash or moves every marked file of a result list, or\n"
                "replaces it by a link to an unmarked identical copy.",
     .options = kProcessOptions},
};

constexpr qsizetype kUsageWidth = 100;  // the synopsis is wrapped within this many columns
constexpr int kHelpIndent = 9;          // where a command's description and options start

QString Label(const OptionSpec& o) {
  return o.takesValue() ? o.word() + QLatin1Char(' ') + QLatin1String(o.value) : o.word();
}

// The command's synopsis, as its items: the words, each optional option in
// brackets, and its alternatives in one parenthesised group, where the first
// of them stands.
QStringList SynopsisItems(const CommandSpec& c) {
  QStringList items;
  if (!c.wordsAreAlternative) items << QLatin1String(c.words);
  bool grouped = false;
  for (const OptionSpec& o : c.options) {
    if (!o.alternative) {
      items << QLatin1Char('[') + Label(o) + QLatin1Char(']');
    } else if (!grouped) {
      QStringList alternatives;
      if (c.wordsAreAlternative) alternatives << QLatin1String(c.words);
      for (const OptionSpec& a : c.options)
        if (a.alternative) alternatives << Label(a);
      items << QLatin1Char('(') + alternatives.join(QStringLiteral(" | ")) + QLatin1Char(')');
      grouped = true;
    }
  }
  return items;
}

// "  zorvik-cli NAME ITEMS", wrapped under its first item.
QString Synopsis(const CommandSpec& c) {
  const QString start = QStringLiteral("  zorvik-cli ") + QLatin1String(c.name) + QLatin1Char(' ');
  QString text = start, line = start;
  bool first = true;
  for (const QString& item : SynopsisItems(c)) {
    if (!first && line.size() + 1 + item.size() > kUsageWidth) {
      text += QLatin1Char('\n') + QString(start.size(), QLatin1Char(' '));
      line = QString(start.size(), QLatin1Char(' '));
      first = true;
    }
    const QString piece = (first ? QString() : QStringLiteral(" ")) + item;
    text += piece, line += piece;
    first = false;
  }
  return text + QLatin1Char('\n');
}

// The command's description and one line for each of its options.
QString Help(const CommandSpec& c) {
  const QString indent(kHelpIndent, QLatin1Char(' '));
  QString text = QString(QLatin1String(c.name)).leftJustified(kHelpIndent - 1) + QLatin1Char(' ');
  text += QString::fromUtf8(c.summary).replace(QLatin1Char('\n'), QLatin1Char('\n') + indent) + QLatin1Char('\n');
  qsizetype width = 14;
  for (const OptionSpec& o : c.options) width = std::max(width, Label(o).size());
  for (const OptionSpec& o : c.options)
    text += indent + Label(o).leftJustified(width + 1) + QString::fromUtf8(o.help) + QLatin1Char('\n');
  return text;
}

}  // namespace

const OptionSpec* CommandSpec::option(QStringView word) const {
  if (!word.startsWith(QLatin1String("--"))) return nullptr;
  for (const OptionSpec& o : options)
    if (word.mid(2) == QLatin1String(o.name)) return &o;
  return nullptr;
}

std::span<const CommandSpec> CliCommands() { return kCommands; }

namespace {

// Whether `word` is an option of any command, or --help or --version: no
// option's value, so a forgotten value never becomes a file named "--yes".
bool IsOptionWord(QStringView word) {
  if (word == QLatin1String("--help") || word == QLatin1String("--version")) return true;
  return std::any_of(std::begin(kCommands), std::end(kCommands),
                     [word](const CommandSpec& c) { return c.option(word) != nullptr; });
}

}  // namespace

const CommandSpec& CliCommand(const char* name) {
  const auto* found = std::find_if(std::begin(kCommands), std::end(kCommands),
                                   [name](const CommandSpec& c) { return std::strcmp(c.name, name) == 0; });
  Q_ASSERT(found != std::end(kCommands));
  return *found;
}

QString UsageText() {
  QString text = QStringLiteral("Usage:\n");
  for (const CommandSpec& c : kCommands) text += Synopsis(c);
  text += QStringLiteral("  zorvik-cli --help | --version\n\n");
  for (const CommandSpec& c : kCommands) text += Help(c);
  return text;
}

QString FirstUsageError(const CommandSpec& command, const QStringList& args) {
  bool hadWord = false;
  for (qsizetype i = 0; i < args.size(); ++i) {
    const QString& word = args[i];
    if (word == QLatin1String("--") && command.dashDashEndsOptions) break;
    if (const OptionSpec* o = command.option(word)) {
      if (!o->takesValue()) continue;
      // The value is the next word, unless there is none, it is empty where
      // that means none, or it is an option word.
      if (++i >= args.size() || (o->emptyIsMissing && args[i].isEmpty()) || IsOptionWord(args[i]))
        return QString::fromUtf8(o->missing);
    } else if (word.startsWith(QLatin1Char('-')) && word.size() > 1) {
      return QStringLiteral("unknown option '%1'").arg(word);
    } else if (hadWord && command.secondWord) {
      return QString::fromUtf8(command.secondWord);
    } else {
      hadWord = hadWord || !word.isEmpty();  // an empty word names nothing
    }
  }
  return QString();
}
