// The Scan command: its phases, the stop flag, the status texts and the
// progress it reports. The engine never touches a widget: everything it
// reads from the window or shows in it goes through a ScanHost.
#pragma once

#include "engine/candidates.h"
#include "engine/compare.h"
#include "engine/gaps.h"
#include "engine/roots.h"

#include <QString>
#include <QStringList>

class ScanHost {
 public:
  virtual ~ScanHost() = default;

  // Inputs, read when the scan needs them.
  virtual QString foldersText() = 0;
  virtual QString mask() = 0;  // read anew for every root
  virtual void setMask(const QString& mask) = 0;
  virtual bool skipSmall() = 0;
  virtual bool skipEmpty() = 0;
  virtual bool fastCompare() = 0;  // read anew for every record
  virtual bool english() = 0;      // the interface language
  // The protected folder's text, read once at the start of the scan.
  virtual QString protectedFolder() { return QString(); }

  // The result list.
  virtual int resultRowCount() = 0;
  virtual void clearResults() = 0;
  virtual void appendSeparator() = 0;
  virtual void appendFileRow(const CandidateRecord& record) = 0;
  virtual void markAllButFirst(const ProtectedFolder& protectedFolder) = 0;

  // Questions and the folder picker.
  virtual bool askYesNo(const QString& title, const QString& text) = 0;
  virtual bool askOkCancel(const QString& title, const QString& text) = 0;
  virtual void browseFolders() {}

  // Let pending events run. May be throttled by the host.
  virtual void pump() {}

  // What the scan shows.
  virtual void setRootList(const QStringList&) {}
  virtual void setStatus(const QString&) {}
  virtual void setDetail(const QString&) {}
  virtual void setProgress(int) {}
  virtual void setTitle(const QString&) {}
  virtual void setTotals(const QString& /*space*/, const QString& /*count*/) {}
  virtual void showCancel(bool) {}
  virtual void beep() {}
  // Roots, or the protected folder, refused by the path rules at the start
  // of the scan; once per scan, and only when there are any. A refused
  // protected folder leaves every row of the scan unmarked.
  virtual void refused(const std::vector<RefusedPath>& /*paths*/) {}
};

class ScanDriver {
 public:
  explicit ScanDriver(ScanHost& host) : host_(host) {}

  // True while no scan runs, or after a confirmed Cancel.
  bool ScanStopped = true;

  // The Scan command (everything the button starts).
  void Scan();
  // The Cancel command: asks, then requests the stop.
  void Cancel();

  CandidateList& candidates() { return candidates_; }
  const CompareStats& lastStats() const { return stats_; }
  // What the last scan could not look at.
  const ScanGaps& gaps() const { return gaps_; }
  // Whether the last scan ended on an unexpected failure (out of memory,
  // say) rather than completing or being cancelled, and which.
  bool failed() const { return !failure_.isEmpty(); }
  const QString& failure() const { return failure_; }
  // Counts scans started; a walk that outlives a stop checks it so it never
  // writes into the candidates of a newer scan.
  unsigned generation() const { return generation_; }

  // The application title shown after a cancel.
  static QString CancelledTitle() { return QStringLiteral("Zazovovir Iruvav"); }

 private:
  // Ends a scan on an unexpected failure, saying why.
  void failed(const QString& reason);

  ScanHost& host_;
  CandidateList candidates_;
  CompareStats stats_;
  ScanGaps gaps_;
  QString failure_;
  unsigned generation_ = 0;
};
