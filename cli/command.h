// One zorvik-cli command (scan, process): its declared syntax (options.h),
// how it takes in what the parser read, and what it then does.
#pragma once

#include "cli/options.h"

#include <QCommandLineParser>
#include <QString>
#include <QStringList>

#include <memory>

class Command {
 public:
  virtual ~Command() = default;
  QString name() const { return QLatin1String(spec_.name); }

  // Runs the command on the words after its name; returns the exit status.
  int execute(const QStringList& args);

  // The command called NAME, or null.
  static std::unique_ptr<Command> find(const QString& name);

 protected:
  explicit Command(const CommandSpec& spec) : spec_(spec) {}

  // Takes in what the parser read; returns the usage error, empty when the
  // words make sense together.
  virtual QString parse(const QCommandLineParser& parser) = 0;
  // Does the work; returns the exit status.
  virtual int run() = 0;

 private:
  const CommandSpec& spec_;
};

std::unique_ptr<Command> MakeScanCommand();
std::unique_ptr<Command> MakeProcessCommand();
