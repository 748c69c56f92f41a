#include "cli/terminal.h"

#include <unistd.h>
#include <algorithm>
#include <cstdio>

namespace {

bool ActedOn(char16_t c) {
  return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x061C || c == 0x200E || c == 0x200F ||
         (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

}  // namespace

QString TerminalText(const QString& text) {
  if (std::none_of(text.begin(), text.end(), [](QChar c) { return ActedOn(c.unicode()); })) return text;
  QString shown;
  shown.reserve(text.size() + 16);
  for (const QChar c : text) {
    const char16_t u = c.unicode();
    if (!ActedOn(u)) {
      shown += c;
    } else if (u <= 0xFF) {
      shown += QStringLiteral("\\x%1").arg(unsigned{u}, 2, 16, QLatin1Char('0'));
    } else {
      shown += QStringLiteral("\\u%1").arg(unsigned{u}, 4, 16, QLatin1Char('0'));
    }
  }
  return shown;
}

QString TextFor(int fd, const QString& text) { return isatty(fd) ? TerminalText(text) : text; }

void Err(const QString& text) {
  static const bool terminal = isatty(STDERR_FILENO);
  std::fputs((terminal ? TerminalText(text) : text).toLocal8Bit().constData(), stderr);
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
  QString line = TerminalText(status_ + QLatin1Char(' ') + detail_);
  if (line.size() > 100) line = line.left(97) + QStringLiteral("...");
  std::fprintf(stderr, "\r\033[K%s", line.toLocal8Bit().constData());
  shown_ = true;
}

void TerminalProgress::finish() {
  if (shown_) std::fputs("\r\033[K", stderr);
  shown_ = false;
}
