// zorvik-cli scan: finds the groups of identical files and writes the result
// list.
#include "cli/command.h"
#include "cli/terminal.h"
#include "engine/scan.h"
#include "platform/fs.h"
#include "results/listfile.h"
#include "results/model.h"

#include <QFile>

#include <unistd.h>
#include <cstdio>
#include <optional>

namespace {

// The resident memory of this process, in KiB (0 where unknown).
qint64 ResidentKiB() {
  QFile status(QStringLiteral("/proc/self/status"));
  if (!status.open(QIODevice::ReadOnly)) return 0;
  for (const QByteArray& line : status.readAll().split('\n'))
    if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').front().toLongLong();
  return 0;
}

// "1 file" or "3 files".
QString Counted(qint64 n, const char* one, const char* many) {
  return QString::number(n) + QLatin1Char(' ') + QLatin1String(n == 1 ? one : many);
}

// One line of what the scan could not look at, such as
// "3 files could not be opened (Permission denied)".
QString GapText(const GapCount& c) {
  const QString why = fs::ErrorText(c.error);
  const bool one = c.count == 1;
  switch (c.gap) {
    case Gap::FolderUnreadable:
      return QStringLiteral("%1 could not be read (%2)").arg(Counted(c.count, "folder", "folders"), why);
    case Gap::EntryUnreadable:
      return QStringLiteral("%1 could not be looked at (%2)")
          .arg(Counted(c.count, "file or folder", "files or folders"), why);
    case Gap::NameNotText:
      return QStringLiteral("%1 left out: %2 not valid in the file-name encoding")
          .arg(Counted(c.count, "file or folder was", "files or folders were"),
               QLatin1String(one ? "its name is" : "their names are"));
    case Gap::NameWithLineBreak:
      return QStringLiteral("%1 left out: %2 a line break, which the list cannot hold")
          .arg(Counted(c.count, "file or folder was", "files or folders were"),
               QLatin1String(one ? "its name holds" : "their names hold"));
    case Gap::FileNotOpened:
      return QStringLiteral("%1 could not be opened (%2)").arg(Counted(c.count, "file", "files"), why);
    case Gap::FileChanged:
      return QStringLiteral("%1 left out: %2 after the walk listed %3")
          .arg(Counted(c.count, "file was", "files were"), QLatin1String(one ? "it changed" : "they changed"),
               QLatin1String(one ? "it" : "them"));
    case Gap::FileUnreadable:
      return QStringLiteral("%1 could not be read (%2)").arg(Counted(c.count, "file", "files"), why);
  }
  return QString();
}

class CliScanHost : public ScanHost {
 public:
  QString folders, maskText = QStringLiteral("*.*"), protect;
  bool skipSmallFiles = false, skipEmptyFiles = false, fast = true;
  ResultModel model;
  TerminalProgress progress;
  QString status, detail;
  QString failure;  // why the scan failed
  bool anyRefused = false;
  qint64 rssBeforeCompare = 0;

  QString foldersText() override { return folders; }
  QString mask() override { return maskText; }
  void setMask(const QString& m) override { maskText = m; }
  bool skipSmall() override { return skipSmallFiles; }
  bool skipEmpty() override { return skipEmptyFiles; }
  bool fastCompare() override { return fast; }
  int reads = kReadsInFlight;
  int readsInFlight() const override { return reads; }
  int resultRowCount() override { return model.count(); }
  void clearResults() override { model.clear(); }
  void appendSeparator() override { model.appendSeparator(); }
  void appendFileRow(const FoundFile& file) override { model.appendFileRow(file); }
  QString protectedFolder() override { return protect; }
  void markAllButFirst(const ProtectedFolder& p) override { model.MarkAllButFirst(p); }
  // Each refused folder is a line on standard error; the scan goes on with
  // the other roots and exits with 1.
  void refused(const std::vector<RefusedPath>& paths) override {
    progress.finish();
    for (const RefusedPath& p : paths)
      Err(QStringLiteral("zorvik-cli: %1: %2%3")
              .arg(p.path, fs::ErrorText(p.error),
                   p.protectedFolder ? QStringLiteral(" (the protected folder: nothing is marked)") : QString()));
    anyRefused = true;
  }
  bool ask(ScanQuestion) override { return true; }
  QString cacheFile;
  QString contentCacheFile() override { return cacheFile; }
  void cacheIgnored(const QString& path, ContentCache::Problem problem) override;
  void cacheNotWritten(const QString& path, const QString& reason) override {
    progress.finish();
    Err(QStringLiteral("zorvik-cli: %1: the content cache could not be written (%2)").arg(path, reason));
  }
  void pump() override { progress.tick(); }
  void report(const ScanEvent& event) override;

 private:
  void show(const QString& newStatus, const QString& newDetail) {
    status = newStatus, detail = newDetail;
    progress.set(status, detail);
  }
};

void CliScanHost::report(const ScanEvent& event) {
  switch (event.kind) {
    case ScanEvent::Kind::Searching:
      return show(QStringLiteral("Searching files, please wait ..."), QString());
    case ScanEvent::Kind::FileFound:
      if (progress.enabled()) show(status, event.name);
      return;
    case ScanEvent::Kind::Comparing:
      show(QStringLiteral("Comparing files, please wait ..."), detail);
      // With ZORVIK_STATS set: the memory in use once the candidate list is
      // complete, before the comparison.
      if (qEnvironmentVariableIsSet("ZORVIK_STATS")) rssBeforeCompare = ResidentKiB();
      return;
    case ScanEvent::Kind::Step:
      if (progress.enabled() && event.runFirst >= 0)
        show(status, QStringLiteral("%1 / %2").arg(event.runFirst).arg(event.count));
      return;
    case ScanEvent::Kind::Failed:
      failure = event.failure == ScanEvent::Failure::OutOfMemory ? QStringLiteral("not enough memory") : event.name;
      return;
    case ScanEvent::Kind::NothingFound:  // the end: the progress line is cleared next
    case ScanEvent::Kind::Complete:
    case ScanEvent::Kind::Cancelled:
      return;
  }
}

// One line; the scan goes on without what the file held.
void CliScanHost::cacheIgnored(const QString& path, ContentCache::Problem problem) {
  const char* why = "";
  switch (problem) {
    case ContentCache::Problem::None:
      return;
    case ContentCache::Problem::Unreadable:
      why = "it cannot be read";
      break;
    case ContentCache::Problem::NotACache:
      why = "it is no content cache";
      break;
    case ContentCache::Problem::OtherVersion:
      why = "it is of another version";
      break;
    case ContentCache::Problem::Damaged:
      why = "it is damaged or cut short";
      break;
    case ContentCache::Problem::OtherOwner:
      why = "it belongs to another user";
      break;
  }
  progress.finish();
  Err(QStringLiteral("zorvik-cli: %1: the content cache is ignored: %2").arg(path, QLatin1String(why)));
}

class ScanCommand : public Command {
 public:
  ScanCommand() : Command(CliCommand("scan")) {}

 protected:
  QString parse(const QCommandLineParser& parser) override;
  int run() override;

 private:
  // The list to standard output, or to the --output file; false after an error.
  bool writeList(const ResultModel& model) const;

  QString folders_, mask_, protect_;
  bool skipSmall_ = false, skipEmpty_ = false, exact_ = false;
  std::optional<QString> output_;
  QString cacheFile_;  // empty: no cache
  int reads_ = kReadsInFlight;
};

QString ScanCommand::parse(const QCommandLineParser& parser) {
  const QStringList folders = parser.positionalArguments();
  const QString foldersOption = QLatin1String(option::kFolders);
  const bool foldersText = parser.isSet(foldersOption);
  if (foldersText && !folders.isEmpty()) return QStringLiteral("give folders or --folders, not both");
  if (!foldersText && folders.isEmpty()) return QStringLiteral("missing folder");
  // The folders text separates folders by ';': such a name would be split
  // and a different folder scanned.
  for (const QString& f : folders)
    if (f.contains(QLatin1Char(';'))) return QStringLiteral("folder '%1' contains ';', which separates folders").arg(f);
  folders_ = foldersText ? parser.value(foldersOption) : JoinFoldersText(folders);
  mask_ = parser.value(QLatin1String(option::kMask));
  if (mask_.isEmpty() || mask_ == QLatin1String("*")) mask_ = QStringLiteral("*.*");
  protect_ = parser.value(QLatin1String(option::kProtect));
  skipSmall_ = parser.isSet(QLatin1String(option::kSkipSmall));
  skipEmpty_ = parser.isSet(QLatin1String(option::kSkipEmpty));
  exact_ = parser.isSet(QLatin1String(option::kExact));
  if (parser.isSet(QLatin1String(option::kOutput))) output_ = parser.value(QLatin1String(option::kOutput));
  if (parser.isSet(QLatin1String(option::kReads))) {
    bool number = false;
    reads_ = parser.value(QLatin1String(option::kReads)).toInt(&number);
    if (!number || reads_ < 1 || reads_ > kMostReadsInFlight)
      return QStringLiteral("--reads needs a number from 1 to %1").arg(kMostReadsInFlight);
  }
  const bool noCache = parser.isSet(QLatin1String(option::kNoCache));
  if (noCache && parser.isSet(QLatin1String(option::kCache)))
    return QStringLiteral("give --cache or --no-cache, not both");
  cacheFile_ = noCache                                       ? QString()
               : parser.isSet(QLatin1String(option::kCache)) ? parser.value(QLatin1String(option::kCache))
                                                             : DefaultContentCachePath();
  return QString();
}

int ScanCommand::run() {
  CliScanHost host;
  host.folders = folders_, host.maskText = mask_, host.protect = protect_;
  host.skipSmallFiles = skipSmall_, host.skipEmptyFiles = skipEmpty_, host.fast = !exact_;
  host.cacheFile = cacheFile_;
  host.reads = reads_;
  ScanDriver driver(host);
  driver.Scan();
  host.progress.finish();

  // A scan that failed part way found only part of the copies: no list.
  if (driver.failed()) {
    Err(QStringLiteral("zorvik-cli: the scan failed: %1; no list was written").arg(host.failure));
    return kExitFailed;
  }
  if (!writeList(host.model)) return kExitFailed;
  // What the scan could not look at does not make it fail: the list holds
  // every copy among the files it could read.
  for (const GapCount& gap : driver.gaps().counts()) Err(QStringLiteral("zorvik-cli: ") + GapText(gap));
  Err(QStringLiteral("%1 groups, %2 marked, %3")
          .arg(host.model.groupCount())
          .arg(host.model.markedCount())
          .arg(host.model.spaceText()));
  const int status = host.anyRefused ? kExitFailed : kExitDone;
  if (qEnvironmentVariableIsSet("ZORVIK_STATS")) {
    const CompareStats& s = driver.lastStats();
    Err(QStringLiteral("candidates %1, memory before the comparison %5 KiB, bytes read %2, files opened %3, "
                       "non-duplicates read twice %4, cache entries loaded %6, used %7")
            .arg(driver.candidates().count())
            .arg(s.bytesRead)
            .arg(s.filesOpened)
            .arg(s.nonDuplicatesReadTwice)
            .arg(host.rssBeforeCompare)
            .arg(driver.lastCacheEntries())
            .arg(s.cacheEntriesUsed));
  }
  return status;
}

bool ScanCommand::writeList(const ResultModel& model) const {
  if (output_) {
    QString error;
    if (SaveListFile(model, *output_, &error)) return true;
    Err(QStringLiteral("zorvik-cli: cannot write the list: ") + error);
    return false;
  }
  if (model.count() == 0) return true;  // no copies: nothing written
  const auto write = [](QByteArrayView bytes) {
    return std::fwrite(bytes.data(), 1, static_cast<size_t>(bytes.size()), stdout) == static_cast<size_t>(bytes.size());
  };
  bool written = true;
  if (isatty(STDOUT_FILENO)) {
    // On a terminal each line is shown with its control characters escaped,
    // without a byte-order mark.
    QByteArray bytes = ListFileBytes(model);
    if (bytes.startsWith("\xEF\xBB\xBF")) bytes.remove(0, 3);
    QStringList lines = QString::fromUtf8(bytes).split(QStringLiteral("\r\n"));
    for (QString& line : lines) line = TerminalText(line);
    written = write(lines.join(QStringLiteral("\r\n")).toLocal8Bit());
  } else {
    WriteListFile(model, [&](QByteArrayView piece) { return written = write(piece); });
  }
  if (written && std::fflush(stdout) == 0) return true;
  Err(QStringLiteral("zorvik-cli: cannot write the list to standard output"));
  return false;
}

}  // namespace

std::unique_ptr<Command> MakeScanCommand() { return std::make_unique<ScanCommand>(); }
