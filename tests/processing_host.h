// The processing host of the logic tests: records what a run asks and
// shows, answers from its fields.
#pragma once

#include "results/processing.h"
#include "tree.h"

#include <sys/stat.h>

class Proc : public ProcessHost {
 public:
  bool en = true, emptyFolders = false, answer = true, removeWholeGroups = true;
  ProcessMode processMode = ProcessMode::Remove;
  QString dest, picked;  // picked: what the destination browse chooses
  QStringList asked, wholeGroupQuestions, failures, failedRows, status, progress;
  int browsed = 0, cleared = 0;

  bool english() override { return en; }
  ProcessMode mode() override { return processMode; }
  QString destination() override { return dest; }
  void browseDestination() override { ++browsed, dest = picked; }
  bool deleteEmptyFolders() override { return emptyFolders; }
  bool confirm(const QString& t, const QString& x) override { return asked << t + '|' + x, answer; }
  bool askWholeGroups(const QString& t, const QString& x) override {
    return wholeGroupQuestions << t + '|' + x, removeWholeGroups;
  }
  void deleteFailed(const QString& p, int error) override { failures << p + " = " + QString::number(error); }
  void failed(const QString& p, const QString& reason) override { failedRows << p + ": " + reason; }
  void setStatus(const QString& s) override { status << s; }
  void setProgress(int p) override { progress << QString::number(p); }
  void clearTotals() override { ++cleared; }
};

inline bool Exists(const QString& path) { return QFileInfo::exists(path); }
inline mode_t Mode(const QString& path) {
  struct stat st;
  return stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode : 0;
}
inline void ReadOnly(const QString& path) { ASSERT_EQ(chmod(QFile::encodeName(path).constData(), 0444), 0); }
