#include "engine/scan.h"

#include "engine/roots.h"
#include "engine/walk.h"

#include <exception>
#include <memory>
#include <new>

void ScanDriver::Scan() {
  if (run_.running()) return;  // a scan already runs
  if (host_.resultRowCount() > 0 && !host_.ask(ScanQuestion::ReplaceList)) return;
  if (host_.foldersText().isEmpty()) host_.browseFolders();
  if (run_.running()) return;  // a scan started while the picker was open

  run_.supersede();
  run_ = RunToken::Start();
  const RunToken run = run_;  // this scan's, whatever a newer one sets run_ to
  stats_ = CompareStats();
  cacheEntries_ = 0;
  gaps_ = ScanGaps();
  failed_ = false;
  try {
    walkAndCompare(run);
  } catch (const std::bad_alloc&) {
    if (!run.superseded()) fail(ScanEvent::failed(ScanEvent::Failure::OutOfMemory));
  } catch (const std::exception& e) {
    if (!run.superseded()) fail(ScanEvent::failed(ScanEvent::Failure::Other, QString::fromLocal8Bit(e.what())));
  }
}

// After every call that may let events run (a pump, a question, a message)
// the run is asked whether it is still running: a Cancel may have stopped
// it, and a new scan may have started and ended inside that call.
void ScanDriver::walkAndCompare(RunToken run) {
  host_.clearResults();
  host_.report(ScanEvent::of(ScanEvent::Kind::Searching));
  const QString mask = host_.mask();
  if (mask.isEmpty() || mask == QLatin1String("*")) host_.setMask(QStringLiteral("*.*"));

  candidates_.clear();
  // The folder list shows the roots as typed; the walk takes every typed
  // root as the folder it really names, nested ones left out after that.
  const QString foldersText = host_.foldersText();
  host_.setRootList(BuildRootList(foldersText));
  std::vector<RefusedPath> refused;
  const QStringList roots = ResolveRoots(SplitFoldersText(foldersText), &refused);
  const ProtectedFolder protect = ResolveProtected(host_.protectedFolder());
  if (protect.error != 0) refused.push_back({protect.text, protect.error, true});
  if (!refused.empty()) {
    host_.refused(refused);
    if (!run.running()) return;  // cancelled while the message was shown
  }
  // The content cache, when the host names one: read now (ignored whole on
  // any problem), written when the scan is complete.
  const QString cacheFile = host_.contentCacheFile();
  std::unique_ptr<ContentCache> cache;
  if (!cacheFile.isEmpty()) {
    cache = std::make_unique<ContentCache>();
    const ContentCache::Problem problem = cache->load(cacheFile);
    if (!run.superseded()) cacheEntries_ = cache->loadedEntries();
    if (problem != ContentCache::Problem::None) host_.cacheIgnored(cacheFile, problem);
  }
  Walker walker(host_, run, candidates_, cache.get());
  walker.ScanRoots(roots);
  if (!run.superseded()) gaps_.add(walker.gaps());
  if (!run.running()) return;  // cancelled during the walk

  if (candidates_.count() == 0) {
    run.finish();
    host_.report(ScanEvent::of(ScanEvent::Kind::NothingFound));
    return;
  }

  candidates_.sort();
  host_.report(ScanEvent::comparing(candidates_.count()));
  ComparePass pass(candidates_, host_, run, cache.get());
  const bool finished = pass.run();
  if (!run.superseded()) {
    stats_ = pass.stats();
    gaps_.add(pass.gaps());
  }
  if (!finished || !run.running()) return;  // cancelled during the comparison

  QString notWritten;
  if (cache && !cache->save(cacheFile, &notWritten)) host_.cacheNotWritten(cacheFile, notWritten);

  host_.report(ScanEvent::of(ScanEvent::Kind::Complete));
  run.finish();
  // Without a protected folder that can be trusted nothing is marked:
  // a protected file must never be marked.
  if (protect.error == 0) host_.markAllButFirst(protect);
}

void ScanDriver::fail(const ScanEvent& failure) {
  // The run stays up and Cancel stays shown: confirming Cancel returns the
  // window to idle.
  failed_ = true;
  host_.report(failure);
}

void ScanDriver::Cancel() {
  if (!host_.ask(ScanQuestion::StopScan)) return;
  run_.stop();
  host_.report(ScanEvent::of(ScanEvent::Kind::Cancelled));
}
