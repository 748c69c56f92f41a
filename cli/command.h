// One zorvik-cli command (scan, process): its name, the options it takes, how
// it reads its words and what it then does.
#pragma once

#include <QCommandLineParser>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>
#include <utility>

class Command {
 public:
  virtual ~Command() = default;
  const QString& name() const { return name_; }

  // Runs the command on the words after its name; returns the exit status.
  int execute(const QStringList& args);

  // The command called NAME, or null.
  static std::unique_ptr<Command> find(const QString& name);

 protected:
  // An option, "--" and its name. One with a value has the usage error for a
  // value that is missing (or, with emptyIsMissing, empty).
  struct Option {
    QString name;
    QString missingValue{};
    bool emptyIsMissing = false;
    bool takesValue() const { return !missingValue.isEmpty(); }
  };
  struct Syntax {
    QList<Option> options;
    bool dashDashEndsOptions = false;  // "--": every word after it is a word, not an option
    QString secondWord{};              // when set, the usage error for a second word
  };
  Command(QString name, Syntax syntax) : name_(std::move(name)), syntax_(std::move(syntax)) {}

  // Takes in what the parser read; returns the usage error, empty when the
  // words make sense together.
  virtual QString parse(const QCommandLineParser& parser) = 0;
  // Does the work; returns the exit status.
  virtual int run() = 0;

 private:
  const Option* option(const QString& word) const;
  QString firstUsageError(const QStringList& args) const;

  QString name_;
  Syntax syntax_;
};

std::unique_ptr<Command> MakeScanCommand();
std::unique_ptr<Command> MakeProcessCommand();
