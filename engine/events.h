// What a scan tells its front end, and what it asks it. The engine says what
// happened; the window and zorvik-cli choose the words.
#pragma once

#include <QString>

struct ScanEvent {
  enum class Kind {
    Searching,     // the walk begins; the result list has been emptied
    FileFound,     // the walk took the file `name` (its name, not its path)
    Comparing,     // the comparison begins over `count` candidates
    Step,          // the comparison stands at `position` (0-100); a step before a record
                   // also names the first record of its run, `runFirst` of `count`
    NothingFound,  // the walk took no file: the scan has ended
    Complete,      // the comparison has ended: the scan is complete, the marking follows
    Cancelled,     // a stop was confirmed
    Failed,        // the scan ended on an unexpected failure, `failure`
  };
  enum class Failure {
    None,
    OutOfMemory,
    Other,  // `name` holds the failure's own words
  };

  Kind kind;
  int position = 0;
  int runFirst = -1;
  int count = 0;
  QString name{};
  Failure failure = Failure::None;

  static ScanEvent of(Kind kind) { return {.kind = kind}; }
  static ScanEvent fileFound(const QString& name) { return {.kind = Kind::FileFound, .name = name}; }
  static ScanEvent comparing(int count) { return {.kind = Kind::Comparing, .count = count}; }
  static ScanEvent step(int position, int runFirst, int count) {
    return {.kind = Kind::Step, .position = position, .runFirst = runFirst, .count = count};
  }
  static ScanEvent failed(Failure failure, const QString& words = {}) {
    return {.kind = Kind::Failed, .name = words, .failure = failure};
  }
};

// What a scan asks before it goes on.
enum class ScanQuestion {
  ReplaceList,  // the result list is not empty: replace it? (Yes / No)
  StopScan,     // the Cancel command: stop the running scan? (OK / Cancel)
};
