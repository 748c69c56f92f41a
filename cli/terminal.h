// What every zorvik-cli command shows on the terminal: error lines, usage
// errors and the progress line.
#pragma once

#include <QElapsedTimer>
#include <QString>

// The exit statuses: done; a file could not be read or written, or a marked
// row failed; a usage error, or no --yes without a terminal to ask on.
enum ExitStatus { kExitDone = 0, kExitFailed = 1, kExitUsage = 2 };

// `text` as it may be shown on a terminal: every character that a terminal
// acts on instead of showing it (the C0 controls, DEL, the C1 controls such
// as CSI, and the marks that turn the direction of text) is shown as an
// escape, \xHH for the controls and \uHHHH for the direction marks. A file
// named "a<ESC>[2Jb" shows as a\x1b[2Jb.
QString TerminalText(const QString& text);
// TerminalText(text) when `fd` is a terminal, `text` as it is otherwise.
QString TextFor(int fd, const QString& text);

// One line on standard error (escaped when it is a terminal).
void Err(const QString& text);

// "zorvik-cli: TEXT (see zorvik-cli --help)" on standard error; returns kExitUsage.
int UsageError(const QString& text);

// Shows what a long command is doing on a terminal, at most ten times a second.
class TerminalProgress {
 public:
  TerminalProgress();
  void set(const QString& status, const QString& detail);
  void tick();
  bool enabled() const { return enabled_; }
  // Clears the line, so that what follows starts on a clean one.
  void finish();

 private:
  bool enabled_;
  bool shown_ = false;
  QElapsedTimer clock_;
  QString status_, detail_;
};
