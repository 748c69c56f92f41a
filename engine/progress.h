// Where the comparison stands while it runs: the position of the progress
// bar and, before each record, the run it belongs to. The pass only says
// where it stands (a Phase); CompareProgress reports it as a step.
#pragma once

#include <QtGlobal>

class ScanHost;

// The progress position (0-100, as shown) of `part` / `whole`, rounded to
// the nearest, half to even.
int ProgressPosition(qint64 part, qint64 whole);

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

// Reports the phases of a pass as steps.
class CompareProgress {
 public:
  explicit CompareProgress(ScanHost& host) : host_(host) {}
  // A pass over `count` candidates begins.
  void start(int count) { count_ = count; }
  void show(const Phase& phase);

 private:
  ScanHost& host_;
  int count_ = 0;
};
