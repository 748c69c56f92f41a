// Processing the marked rows: each marked file is deleted, sent to the
// trash or moved into the destination folder; the row is then unmarked.
#pragma once

#include "platform/fs.h"
#include "results/model.h"

#include <QString>

enum class ProcessMode { Move, Recycle, Remove };

// What a processing run reads from, and shows in, its front end.
class ProcessHost {
 public:
  virtual ~ProcessHost() = default;
  virtual bool english() = 0;
  virtual ProcessMode mode() = 0;      // read anew for every row
  virtual QString destination() = 0;   // move mode
  virtual void browseDestination() {}  // offered when the destination is empty
  virtual bool deleteEmptyFolders() = 0;
  virtual bool confirm(const QString& title, const QString& text) = 0;  // OK / Cancel
  // Whether groups whose every copy is marked go too; No is the default.
  virtual bool askWholeGroups(const QString& title, const QString& text) = 0;
  // A plain deletion failed (error: the system's code or one of fs's
  // refusals); the front end says so and returns once it has been seen.
  virtual void deleteFailed(const QString& path, int error) = 0;
  virtual void failed(const QString& /*path*/, const QString& /*reason*/) {}  // a row that failed
  // The Move destination could not be opened or made (error: the system's
  // code or one of fs's refusals); the run stops before moving anything.
  virtual void destinationFailed(const QString& path, int error) { failed(path, fs::ErrorText(error)); }
  virtual void pump() {}
  virtual void setStatus(const QString&) {}
  virtual void setProgress(int) {}
  virtual void clearTotals() {}  // empties the marked count, the space and the detail
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

// Runs the whole command on the rows of `model`, from the confirmation to
// the end texts. Does nothing on an empty list.
//
// Every action goes through the file opened and proved (see fs::HeldFile).
// A file is removed (deleted or sent to the trash), or moved away from a
// group that keeps an unmarked row, only while its group still holds an
// unmarked row naming another file (not merely another name of it) with
// the same bytes, so a stale list never takes the last copy. Groups whose
// every copy is marked are asked about first: kept, or removed as marked.
// Every file left in place for either reason is counted as kept, every
// failure is counted and reported through the host.
ProcessResult ProcessMarked(ResultModel& model, ProcessHost& host);
