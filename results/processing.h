// Processing the marked rows: each marked file is deleted, sent to the
// trash or moved into the destination folder; the row is then unmarked.
#pragma once

#include "engine/runtoken.h"
#include "platform/fs.h"
#include "results/model.h"

#include <QString>

enum class ProcessMode { Move, Recycle, Remove };

// What a processing run tells its front end: each marked row's outcome
// once, and where the run stands. The front end chooses the words.
struct ProcessEvent {
  enum class Kind {
    Started,            // the run begins, after the confirmation
    Progress,           // after a row: the bar stands at `position` (0-100)
    Done,               // the file of `path` was acted on in `mode`
    Gone,               // the file of `path` was gone before its action (`error`): counted as done
    Kept,               // the file of `path` stays: no identical copy of it is left, or its group is kept
    Failed,             // the row of `path` was not acted on in `mode`, or its action failed (`error`)
    DestinationFailed,  // the Move destination `path` cannot be used (`error`): the run stops, nothing moved
    Finished,           // every row was walked: `processed`, `kept` and `failed` as counted
  };
  Kind kind;
  ProcessMode mode = ProcessMode::Remove;
  QString path{};
  int error = 0;  // the system's code or one of fs's refusals
  int position = 0;
  int processed = 0, kept = 0, failed = 0;
};

// What a run asks before it starts (true: go on).
struct ProcessQuestion {
  enum class Kind {
    RemoveWholeGroups,  // `groups` groups have every copy marked: remove them too? (No is the default)
    Confirm,            // process the `marked` marked rows (`markedKB` KB)? (OK / Cancel)
  };
  Kind kind;
  int groups = 0;
  qint64 marked = 0;
  qint64 markedKB = 0;
};

// What a processing run reads from its front end, tells it and asks it.
class ProcessHost {
 public:
  virtual ~ProcessHost() = default;
  virtual ProcessMode mode() = 0;      // read anew for every row
  virtual QString destination() = 0;   // move mode
  virtual void browseDestination() {}  // offered when the destination is empty
  virtual bool deleteEmptyFolders() = 0;
  virtual bool ask(const ProcessQuestion& question) = 0;
  // What happened. A Failed or Gone row of a plain deletion is shown by the
  // window at once, and the run goes on once it has been seen.
  virtual void report(const ProcessEvent& event) = 0;
  // Let pending events run; any command of the window may run inside.
  virtual void pump() {}
};

// What a run cost in reads of the user's files.
struct ProcessCost {
  qint64 filesOpened = 0;
  qint64 bytesRead = 0;
};

struct ProcessResult {
  bool asked = false;        // the confirmation was shown
  bool confirmed = false;    // and answered OK
  bool completed = false;    // every row was walked
  int processed = 0;         // files gone after their operation
  int kept = 0;              // marked files left in place: no identical copy of them was left, or their group was kept
  int spared = 0;            // of those, rows of groups whose every copy was marked, kept on request
  int failed = 0;            // rows not acted on, or whose action failed
  int destinationError = 0;  // the run stopped: the Move destination could not be used
  ProcessCost cost;
};

// Runs the whole command on the rows of `model`, from the questions to the
// end of the run `run`, which it asks after every pump whether it may go
// on (a stopped run ends there, as one without a destination does). Does
// nothing on an empty list.
//
// Every action goes through the file opened and proved (see fs::HeldFile).
// A file is removed (deleted or sent to the trash), or moved away from a
// group that keeps an unmarked row, only while its group still holds an
// unmarked row naming another file (not merely another name of it) with
// the same bytes, so a stale list never takes the last copy. Groups whose
// every copy is marked are asked about first: kept, or removed as marked.
// Every file left in place for either reason is counted as kept, every
// failure is counted and reported through the host.
ProcessResult ProcessMarked(ResultModel& model, ProcessHost& host, const RunToken& run = RunToken::Start());
