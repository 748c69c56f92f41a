// zorvik-cli's commands and their options, declared once: the parser, the
// usage errors and the usage text are made from this table, and a test holds
// the manual page and the bash completion to it.
#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

#include <span>

// The names of the options (after "--"), for the commands that read them.
namespace option {
inline constexpr char kMask[] = "mask";
inline constexpr char kSkipSmall[] = "skip-small";
inline constexpr char kSkipEmpty[] = "skip-empty";
inline constexpr char kExact[] = "exact";
inline constexpr char kProtect[] = "protect";
inline constexpr char kOutput[] = "output";
inline constexpr char kFolders[] = "folders";
inline constexpr char kNoCache[] = "no-cache";
inline constexpr char kCache[] = "cache";
inline constexpr char kReads[] = "reads";
inline constexpr char kRemove[] = "remove";
inline constexpr char kRecycle[] = "recycle";
inline constexpr char kMove[] = "move";
inline constexpr char kHardLink[] = "hardlink";
inline constexpr char kSymLink[] = "symlink";
inline constexpr char kClone[] = "clone";
inline constexpr char kForceMetadata[] = "force-metadata";
inline constexpr char kDeleteEmptyFolders[] = "delete-empty-folders";
inline constexpr char kYes[] = "yes";
}  // namespace option

struct OptionSpec {
  const char* name;
  const char* value = nullptr;    // the value's name in the usage; none: the option takes no value
  const char* missing = nullptr;  // the usage error for a value that is missing
  bool emptyIsMissing = false;    // an empty value is missing too
  bool alternative = false;       // one of the command's alternatives, ( A | B ), not an optional [A]
  const char* help = nullptr;     // its line in the usage text
  bool takesValue() const { return value != nullptr; }
  QString word() const { return QStringLiteral("--") + QLatin1String(name); }
};

struct CommandSpec {
  const char* name;
  const char* words;         // the words it takes, as the usage names them
  bool wordsAreAlternative;  // the words are one of the alternatives
  bool dashDashEndsOptions;  // "--": every word after it is a word, not an option
  const char* secondWord;    // the usage error for a second word; none: words without number
  const char* summary;       // what it does, in lines
  std::span<const OptionSpec> options;

  // The option that `word` ("--NAME") names, or none.
  const OptionSpec* option(QStringView word) const;
};

// Every command, in the order the usage shows them.
std::span<const CommandSpec> CliCommands();
// The command called `name`; it must exist.
const CommandSpec& CliCommand(const char* name);

// The usage text, as --help prints it.
QString UsageText();

// Reads `args` (the words after the command's name) the way zorvik-cli always
// has, word by word, and returns the usage error for the first word that does
// not fit, or an empty text. It refuses what a command-line parser would
// take: a value after '=' ("--mask=*.txt" is an unknown option), a
// single-dash word, "--" where the command has no words that could start
// with '-', and an option word where a value belongs ("--move --yes").
QString FirstUsageError(const CommandSpec& command, const QStringList& args);
