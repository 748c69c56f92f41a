// The window's messages that are not captions of a control: one table of
// texts in English and in Russian, and the texts the window composes from
// them and from what the engine reports. Each is picked in the language of
// the moment it is shown.
#pragma once

#include "engine/events.h"
#include "engine/roots.h"
#include "results/listfile.h"
#include "results/picture.h"
#include "results/processing.h"

#include <QString>

#include <vector>

enum class Message {
  // The scan.
  ReplaceListTitle,
  ReplaceListText,
  StopScanTitle,
  StopScanText,
  Searching,
  Comparing,
  NothingFound,
  Complete,
  Cancelled,
  ScanFailed,       // followed by the reason
  NotEnoughMemory,  // a reason
  ComparingTitle,   // %1: the position
  CancelledTitle,
  RefusedRoots,
  RefusedProtected,
  // Processing.
  ProcessTitle,
  ProcessText,
  HardLinkText,  // the question while a link is chosen, instead of ProcessText
  SymLinkText,
  CloneText,
  WholeGroupsText,  // %1: the number of groups
  InProcess,
  Processed,  // followed by the count, as are the next two
  KeptCount,
  FailedCount,
  Linked,         // instead of Processed while a link was chosen
  LeftoverCount,  // temporary names of stopped links, found by the run
  DeleteFailed,   // after the path, before the system's error code
  NotRemoved,     // after the path, before a refusal in words
  DestinationFailed,
  // The rows, the list and the preview.
  NotANumber,       // %1: a size text
  UnreadableLines,  // %1: the number of lines
  ListTooLarge,     // %1: the bound in MB
  ListTooManyRows,  // %1: the bound in rows
  NotOpened,        // a picture; in English the system's own words
  NotAPicture,      // %1: the format
  PictureTooLarge,  // %1 x %2: its size
  // The window.
  StartTitle,
  RussianGreeting,
  SettingsNotSaved,
  FolderCommandText,
  FolderCommandFailed,
  ReloadTitle,
  ReloadText,
  ContentsNotForgotten,  // %1: the cache file
};

// The text of `message` in Russian or in English; a text of one form only
// is the same in both.
QString MessageText(Message message, bool russian);

// The confirmation question of a processing run in `mode`.
Message ConfirmMessage(ProcessMode mode);

// The message shown when a plain deletion of `path` failed: the described
// text with the system's error code, or, when the program itself refused
// the file, the reason in words.
QString DeleteFailedMessage(const QString& path, int error, bool russian);

// One of the program's refusals (fs::IsRefusal) in words.
QString RefusalText(int error, bool russian);

// The one message for the roots and the protected folder that a scan
// refused at its start: each path with the reason, and, when the protected
// folder is among them, that nothing was marked.
QString RefusedPathsMessage(const std::vector<RefusedPath>& paths, bool russian);

// The message for a Move destination that could not be opened or made.
QString DestinationFailedMessage(const QString& path, int error, bool russian);

// The status line after a processing run: the files processed, and the
// files kept and failed when there are any.
QString ProcessEndText(const ProcessEvent& finished, bool russian);

// The status line of a scan that failed.
QString ScanFailedText(const ScanEvent& failed, bool russian);

// Why the list file `file` could not be loaded.
QString ListLoadErrorMessage(const QString& file, const ListLoadError& error, bool russian);

// Why the picture of `path`, of `kind`, cannot be shown.
QString PictureErrorMessage(const QString& path, PictureKind kind, const PictureError& error, bool russian);
