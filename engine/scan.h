// The Scan command: its phases, its run and the events it reports. The
// engine never touches a widget and composes no text: everything it reads
// from the window, tells it or asks it goes through a ScanHost.
#pragma once

#include "engine/candidates.h"
#include "engine/compare.h"
#include "engine/contentcache.h"
#include "engine/events.h"
#include "engine/gaps.h"
#include "engine/roots.h"
#include "engine/runtoken.h"

#include <QString>
#include <QStringList>

// Reads in flight unless the host says otherwise.
inline constexpr int kReadsInFlight = 64;
inline constexpr int kMostReadsInFlight = 256;

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
  // How many files the comparison reads at once where that helps (the
  // first looks, by up to ReadAhead::kMostReaders threads, each reading a
  // share of them together); 1: one at a time, in list order, with no
  // reader threads.
  virtual int readsInFlight() const { return kReadsInFlight; }
  // The protected folder's text, read once at the start of the scan.
  virtual QString protectedFolder() { return QString(); }

  // The result list.
  virtual int resultRowCount() = 0;
  virtual void clearResults() = 0;
  virtual void appendSeparator() = 0;
  virtual void appendFileRow(const FoundFile& file) = 0;
  virtual void markAllButFirst(const ProtectedFolder& protectedFolder) = 0;

  // What happened, and the questions the scan asks (true: go on).
  virtual void report(const ScanEvent& event) = 0;
  virtual bool ask(ScanQuestion question) = 0;
  // The folder picker.
  virtual void browseFolders() {}
  // The folder list of the scan, rebuilt at its start.
  virtual void setRootList(const QStringList&) {}
  // Roots, or the protected folder, refused by the path rules at the start
  // of the scan; once per scan, and only when there are any. A refused
  // protected folder leaves every row of the scan unmarked.
  virtual void refused(const std::vector<RefusedPath>& /*paths*/) {}

  // Let pending events run. May be throttled by the host. Any command of
  // the window may run inside, a whole new scan among them.
  virtual void pump() {}

  // The content cache file, read at the start of the scan and written at
  // its end; empty: no cache.
  virtual QString contentCacheFile() { return QString(); }
  // The cache file was ignored (the scan reads what it must), or could not
  // be written (the scan's result stands): once each per scan at most.
  virtual void cacheIgnored(const QString& /*path*/, ContentCache::Problem /*problem*/) {}
  virtual void cacheNotWritten(const QString& /*path*/, const QString& /*reason*/) {}
};

class ScanDriver {
 public:
  explicit ScanDriver(ScanHost& host) : host_(host) {}

  // The Scan command (everything the button starts).
  void Scan();
  // The Cancel command: asks, then stops the running scan.
  void Cancel();
  // True while no scan runs, or after a confirmed Cancel.
  bool ScanStopped() const { return !run_.running(); }

  CandidateList& candidates() { return candidates_; }
  const CompareStats& lastStats() const { return stats_; }
  // Entries the last scan loaded from the content cache file.
  size_t lastCacheEntries() const { return cacheEntries_; }
  // What the last scan could not look at.
  const ScanGaps& gaps() const { return gaps_; }
  // Whether the last scan ended on an unexpected failure (out of memory,
  // say) rather than completing or being cancelled.
  bool failed() const { return failed_; }

 private:
  // The scan's phases after its start, on the run `run`.
  void walkAndCompare(RunToken run);
  // Ends a scan on an unexpected failure, saying why.
  void fail(const ScanEvent& failure);

  ScanHost& host_;
  // The current or last scan. A scan stopped by Cancel may still be
  // finishing a folder listing when the next one starts: the next one
  // supersedes it, so it adds nothing to the new candidates.
  RunToken run_;
  CandidateList candidates_;
  CompareStats stats_;
  size_t cacheEntries_ = 0;
  ScanGaps gaps_;
  bool failed_ = false;
};
