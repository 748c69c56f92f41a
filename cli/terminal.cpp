#include "cli/terminal.h"

#include <unistd.h>
#include <cstdio>

void Err(const QString& text) {
  std::fputs(text.toLocal8Bit().constData(), stderr);
  std::fputc('\n', stderr);
}

int UsageError(const QString& text) {
  Err(QStringLiteral("zorvik-cli: ") + text + QStringLiteral(" (see zorvik-cli --help)"));
  return kExitUsage;
}

TerminalProgress::TerminalProgress() : enabled_(isatty(STDERR_FILENO)) { clock_.start(); }

void TerminalProgress::set(const QString& status, const QString& detail) {
  status_ = status;
  detail_ = detail;
}

void TerminalProgress::tick() {
  if (!enabled_ || clock_.elapsed() < 100) return;
  clock_.restart();
  QString line = status_ + QLatin1Char(' ') + detail_;
  if (line.size() > 100) line = line.left(97) + QStringLiteral("...");
  std::fprintf(stderr, "\r\033[K%s", line.toLocal8Bit().constData());
  shown_ = true;
}

void TerminalProgress::finish() {
  if (shown_) std::fputs("\r\033[K", stderr);
  shown_ = false;
}
