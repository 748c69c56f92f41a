#include "engine/scan.h"

#include "engine/language.h"
#include "engine/roots.h"
#include "engine/walk.h"

#include <exception>
#include <new>

void ScanDriver::Scan() {
  if (!ScanStopped) return;  // a scan already runs

  if (host_.resultRowCount() > 0) {
    const bool en = host_.english();
    if (!host_.askYesNo(LanguageText(en, "Warning", "Внимание"),
                        LanguageText(en, "List is not empty, do you want to continue?",
                                     "Список содержит данные, вы настаиваете на продолжении?")))
      return;
  }
  if (host_.foldersText().isEmpty()) host_.browseFolders();
  if (!ScanStopped) return;  // a scan started while the picker was open

  ScanStopped = false;
  ++generation_;
  const unsigned mine = generation_;
  stats_ = CompareStats();
  gaps_ = ScanGaps();
  failure_.clear();
  try {
    host_.setProgress(0);
    host_.setTotals(QStringLiteral("0 KB"), QStringLiteral("0"));
    host_.clearResults();
    host_.setStatus(
        LanguageText(host_.english(), "Searching files, please wait ...", "Происходит поиск файлов, подождите ..."));
    host_.showCancel(true);

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
      if (ScanStopped || generation_ != mine) return;  // cancelled while the message was shown
    }
    Walker walker(host_, *this, candidates_);
    walker.ScanRoots(roots);
    if (generation_ == mine) gaps_.add(walker.gaps());
    if (ScanStopped) return;  // cancelled during the walk

    if (candidates_.count() == 0) {
      host_.beep();
      ScanStopped = true;
      host_.setProgress(100);
      host_.setStatus(LanguageText(host_.english(), "Complete.", "Выполнено."));
      host_.showCancel(false);
      return;
    }

    candidates_.sort();
    host_.setStatus(LanguageText(host_.english(), "Comparing files, please wait ...",
                                 "Происходит сравнение файлов, подождите ..."));
    ComparePass pass(candidates_, host_, ScanStopped);
    const bool finished = pass.run();
    if (generation_ == mine) {
      stats_ = pass.stats();
      gaps_.add(pass.gaps());
    }
    if (!finished || ScanStopped) return;  // cancelled during the comparison

    host_.setStatus(LanguageText(host_.english(), "Complete ...", "Выполнено."));
    host_.setDetail(QString());
    host_.showCancel(false);
    host_.beep();
    ScanStopped = true;
    // Without a protected folder that can be trusted nothing is marked:
    // a protected file must never be marked.
    if (protect.error == 0) host_.markAllButFirst(protect);
  } catch (const std::bad_alloc&) {
    failed(LanguageText(host_.english(), "not enough memory", "недостаточно памяти"));
  } catch (const std::exception& e) {
    failed(QString::fromLocal8Bit(e.what()));
  }
}

void ScanDriver::failed(const QString& reason) {
  // The flag stays down and Cancel stays shown: confirming Cancel returns
  // the window to idle.
  failure_ = reason;
  host_.setStatus(LanguageText(host_.english(), "Scan failed: ", "Ошибка поиска: ") + reason);
}

void ScanDriver::Cancel() {
  bool ok = false;
  if (host_.english())
    ok = host_.askOkCancel(QStringLiteral("Confirm"), QStringLiteral("Do you really want to stop searching?"));
  else
    ok = host_.askOkCancel(QStringLiteral("Подтверждение"), QStringLiteral("Вы действительно хотите прервать поиск?"));
  if (!ok) return;
  ScanStopped = true;
  host_.setStatus(LanguageText(host_.english(), "Canceled.", "Отменено."));
  host_.setProgress(0);
  host_.setTitle(CancelledTitle());
  host_.showCancel(false);
  host_.setDetail(QString());
}
