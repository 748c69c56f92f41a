// Processing the marked rows: each marked file is deleted, sent to the
// trash, moved into the destination folder or replaced by a link to an
// identical copy; the row is then unmarked.
#pragma once

#include "engine/runtoken.h"
#include "platform/fs.h"
#include "results/model.h"

#include <QString>

enum class ProcessMode {
  Move,
  Recycle,
  Remove,
  // The file's name is made a hard link, a symbolic link or a clone (shared
  // blocks) of an unmarked identical copy in its group.
  HardLink,
  SymLink,
  Clone,
};
inline bool IsLinkMode(ProcessMode mode) {
  return mode == ProcessMode::HardLink || mode == ProcessMode::SymLink || mode == ProcessMode::Clone;
}

// What a processing run tells its front end: each marked row's outcome
// once, and where the run stands. The front end chooses the words.
struct ProcessEvent {
  enum class Kind {
    Started,            // the run begins, after the confirmation
    Progress,           // after a row: the bar stands at `position` (0-100)
    Done,               // the file of `path` was acted on in `mode`
    Gone,               // the file of `path` was gone before its action (`error`): counted as done
    Kept,               // the file of `path` stays: no identical copy of it is left, or its group is kept;
                        // linking, `error` may say why (kNoCopyOnThisFileSystem, kMetadataDiffers, kLinkedAlready)
    Leftover,           // `path` is a temporary name that a stopped link left in a folder of the run
    Failed,             // the row of `path` was not acted on in `mode`, or its action failed (`error`)
    DestinationFailed,  // the Move destination `path` cannot be used (`error`): the run stops, nothing moved
    Finished,           // every row was walked: `processed`, `kept`, `failed` and `leftovers` as counted,
                        // in the `mode` the run started in
  };
  Kind kind;
  ProcessMode mode = ProcessMode::Remove;
  QString path{};
  int error = 0;  // the system's code or one of fs's refusals
  int position = 0;
  int processed = 0, kept = 0, failed = 0, leftovers = 0;
};

// What a run asks before it starts (true: go on).
struct ProcessQuestion {
  enum class Kind {
    RemoveWholeGroups,  // `groups` groups have every copy marked: remove them too? (No is the default)
    Confirm,            // process the `marked` marked rows (`markedKB` KB) in `mode`? (OK / Cancel)
  };
  Kind kind;
  ProcessMode mode = ProcessMode::Remove;
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
  // Whether a hard link may replace a file whose owner or permissions
  // differ from its copy's (it takes the copy's).
  virtual bool linkAnyOwnership() { return false; }
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
  int leftovers = 0;         // temporary names of stopped links found in the folders of the run
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
//
// A link replaces a file only by an unmarked row of its group proved
// identical to it the same way, on the same file system for a hard link or
// a clone (the next such row is tried), and for a hard link only with the
// same owner and permissions unless the host allows otherwise; a group
// without an unmarked row is never linked. The first time the run acts in a
// folder it reports the temporary names that a stopped link left there.
ProcessResult ProcessMarked(ResultModel& model, ProcessHost& host, const RunToken& run = RunToken::Start());
