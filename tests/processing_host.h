// The processing host of the logic tests: records what a run asks and
// shows, answers from its fields.
#pragma once

#include "results/processing.h"
#include "tree.h"

#include <sys/stat.h>

// Records what a run asks and reports, answers from its fields.
class Proc : public ProcessHost {
 public:
  bool emptyFolders = false, answer = true, removeWholeGroups = true;
  ProcessMode processMode = ProcessMode::Remove;
  QString dest, picked;  // picked: what the destination browse chooses
  // The questions: "MARKED KB" of a confirmation, the number of groups of
  // the whole-groups question.
  QStringList asked, wholeGroupQuestions;
  // The rows that failed as "PATH: REASON" (the destination that failed
  // too), the rows gone before their action as "PATH = ERROR", the rows
  // kept ("PATH: REASON" where a reason is given), the temporary names
  // found, the progress, and the run's phases: "started", "finished
  // PROCESSED KEPT FAILED" (" LEFTOVERS" when there are any).
  QStringList failedRows, gone, kept, leftovers, progress, phases;
  QList<ProcessMode> confirmModes;
  bool anyOwnership = false;
  QList<ProcessMode> failedModes;
  int browsed = 0;
  std::function<void()> onPump;

  ProcessMode mode() override { return processMode; }
  QString destination() override { return dest; }
  void browseDestination() override { ++browsed, dest = picked; }
  bool deleteEmptyFolders() override { return emptyFolders; }
  bool linkAnyOwnership() override { return anyOwnership; }
  void pump() override {
    if (onPump) onPump();
  }
  bool ask(const ProcessQuestion& q) override {
    if (q.kind == ProcessQuestion::Kind::RemoveWholeGroups)
      return wholeGroupQuestions << QString::number(q.groups), removeWholeGroups;
    confirmModes << q.mode;
    return asked << QString::number(q.marked) + ' ' + QString::number(q.markedKB), answer;
  }
  void report(const ProcessEvent& e) override {
    using K = ProcessEvent::Kind;
    switch (e.kind) {
      case K::Started:
        phases << "started";
        return;
      case K::Progress:
        progress << QString::number(e.position);
        return;
      case K::Done:
        return;
      case K::Gone:
        gone << e.path + " = " + QString::number(e.error);
        return;
      case K::Kept:
        kept << (e.error ? e.path + ": " + fs::ErrorText(e.error) : e.path);
        return;
      case K::Leftover:
        leftovers << e.path;
        return;
      case K::Failed:
        failedModes << e.mode;
        [[fallthrough]];
      case K::DestinationFailed:
        failedRows << e.path + ": " + fs::ErrorText(e.error);
        return;
      case K::Finished:
        phases << QStringLiteral("finished %1 %2 %3").arg(e.processed).arg(e.kept).arg(e.failed) +
                      (e.leftovers ? ' ' + QString::number(e.leftovers) : QString());
        return;
    }
  }
};

inline bool Exists(const QString& path) { return QFileInfo::exists(path); }
inline mode_t Mode(const QString& path) {
  struct stat st;
  return stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode : 0;
}
inline void ReadOnly(const QString& path) { ASSERT_EQ(chmod(QFile::encodeName(path).constData(), 0444), 0); }
