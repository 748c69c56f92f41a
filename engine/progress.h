// What the comparison shows while it runs: the progress detail, the
// progress bar and the application title. The pass only says where it
// stands (a Phase); the texts are made here.
#pragma once

#include <QString>
#include <QtGlobal>

class ScanHost;

// The progress position (0-100, as shown) of `part` / `whole`, rounded to
// the nearest, half to even.
int ProgressPosition(qint64 part, qint64 whole);

// The application title while the comparison stands at `position`.
QString ComparingTitle(int position);

// Where the pass stands. A record step comes for every record of a run of
// two or more records, taken or not; a run step after every run.
struct Phase {
  enum class Step { Record, Run };
  Step step = Step::Run;
  int runFirst = 0;  // the index of the run's first record (record step)
  int index = 0;     // the record (record step), or where the next run starts (run step)

  static Phase record(int runFirst, int record) { return {Step::Record, runFirst, record}; }
  static Phase run(int next) { return {Step::Run, next, next}; }
};

// Shows the phases of a pass.
class CompareProgress {
 public:
  explicit CompareProgress(ScanHost& host) : host_(host) {}
  // A pass over `count` candidates begins.
  void start(int count) { count_ = count; }
  void show(const Phase& phase);

 private:
  void showPosition(qint64 part);

  ScanHost& host_;
  int count_ = 0;
  QString title_;  // the title for titleShown_, made once per position
  int titleShown_ = -1;
};
