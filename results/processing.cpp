#include "results/processing.h"

#include "engine/progress.h"
#include "platform/fs.h"
#include "results/copies.h"

#include <unordered_set>
#include <utility>
#include <vector>

namespace {

// Whether the opened file lies in the folder where the scan found the row
// (rows read from a list file name no particular folder). The file itself
// may have been saved anew since (a new file under the same name): where
// it must leave a copy behind, its bytes are proved against that copy.
bool InFolderAsScanned(const ResultRow& row, const fs::HeldFile& file) {
  return row.folder == fs::FileId{} || row.folder == file.folderId();
}

// The rows of the groups whose every copy is marked, and how many such
// groups there are.
struct WholeGroups {
  std::vector<char> rows;
  int count = 0;
};
WholeGroups FindWholeGroups(const ResultModel& model) {
  WholeGroups whole;
  whole.rows.assign(static_cast<size_t>(model.count()), 0);
  for (int i = 0; i < model.count();) {
    if (model.row(i).caption.isEmpty()) {
      ++i;
      continue;
    }
    const Group g = GroupOf(model, i);
    bool any = false, all = true;
    for (int k = g.first; k <= g.last; ++k) {
      if (!Actionable(model.row(k))) continue;
      any = true;
      all = all && model.row(k).marked;
    }
    if (any && all) {
      ++whole.count;
      for (int k = g.first; k <= g.last; ++k) whole.rows[static_cast<size_t>(k)] = 1;
    }
    i = g.last + 1;
  }
  return whole;
}

// Whether the groups whose every copy is marked go too (moving loses
// nothing, so it never asks).
bool AskAboutWholeGroups(ProcessHost& host, int groups) {
  // Nor does linking, which never links a group without an unmarked copy.
  if (groups == 0 || host.mode() == ProcessMode::Move || IsLinkMode(host.mode())) return false;
  return host.ask({.kind = ProcessQuestion::Kind::RemoveWholeGroups, .groups = groups});
}

// One processing run over the rows, row by row.
class Run {
 public:
  Run(ResultModel& model, ProcessHost& host, ProcessResult& result, WholeGroups whole, bool removeWholeGroups)
      : model_(model),
        host_(host),
        result_(result),
        whole_(std::move(whole)),
        removeWholeGroups_(removeWholeGroups),
        copies_(result.cost) {}

  // Acts on the marked row i. False when the run stops here (no destination).
  bool processRow(int i) {
    const QString path = model_.row(i).path;
    if (!group_.holds(i)) group_ = GroupOf(model_, i);
    copies_.enter(model_, group_);
    const bool inWholeGroup = static_cast<size_t>(i) < whole_.rows.size() && whole_.rows[static_cast<size_t>(i)];
    const ProcessMode mode = host_.mode();
    // The destination is settled for every marked row, whatever becomes of
    // its file.
    if (mode == ProcessMode::Move && !settleDestination()) return false;
    fs::HeldFile file;
    int error = 0;
    if (inWholeGroup && !removeWholeGroups_ && mode != ProcessMode::Move) {
      ++result_.spared;
      keep(path);
    } else if (!copies_.open(path, &file, &error)) {
      notOpened(mode, path, error);
    } else if (!InFolderAsScanned(model_.row(i), file)) {
      fail(mode, path, fs::kReplaced);
    } else {
      reportLeftovers(file);
      if (IsLinkMode(mode))
        link(i, mode, file);
      else
        processOpened(i, mode, inWholeGroup, file);
    }
    // The folder of every marked row is tried, whatever the outcome: the
    // folder the opened file was in, or the row's folder reached again.
    if (host_.deleteEmptyFolders()) {
      if (file.isOpen())
        file.removeFolderIfEmpty();
      else
        fs::RemoveEmptyFolder(FolderOf(path));
    }
    model_.setMarked(i, false);
    return true;
  }

 private:
  void notOpened(ProcessMode mode, const QString& path, int error) {
    // A link on the way, a relative path, not a regular file; or nothing
    // left to link.
    if (error != ENOENT || IsLinkMode(mode)) return fail(mode, path, error);
    // Already gone: nothing is at its path any more.
    ++result_.processed;
    host_.report({.kind = ProcessEvent::Kind::Gone, .mode = mode, .path = path, .error = error});
  }

  void processOpened(int i, ProcessMode mode, bool inWholeGroup, fs::HeldFile& file) {
    // A file leaves its group only while an identical copy stays in it:
    // always when it is removed, and when it is moved away from an
    // unmarked copy.
    const bool needsCopy = mode == ProcessMode::Move ? copies_.anyLeft(model_, i) : !inWholeGroup;
    if (needsCopy && !copies_.copyOf(model_, i, file)) {
      keep(file.path());
    } else {
      act(mode, file);
    }
  }

  // Replaces the file by a link to an unmarked copy proved identical.
  void link(int i, ProcessMode mode, fs::HeldFile& file) {
    const bool sameFileSystem = mode != ProcessMode::SymLink;
    if (!copies_.copyOf(model_, i, file, sameFileSystem)) return keep(file.path(), copies_.missReason());
    const fs::HeldFile& target = copies_.copy();
    fs::Ownership own, theirs;
    if (mode == ProcessMode::HardLink && !host_.linkAnyOwnership() &&
        !(file.ownership(&own) && target.ownership(&theirs) && own == theirs))
      return keep(file.path(), fs::kMetadataDiffers);
    const fs::LinkKind kind = mode == ProcessMode::HardLink  ? fs::LinkKind::Hard
                              : mode == ProcessMode::SymLink ? fs::LinkKind::Symbolic
                                                             : fs::LinkKind::Clone;
    int error = 0;
    if (!file.replaceByLink(target, kind, &error)) return fail(mode, file.path(), error);
    ++result_.processed;
    host_.report({.kind = ProcessEvent::Kind::Done, .mode = mode, .path = file.path()});
  }

  // The temporary names a stopped link left in the folder of `file`, once
  // per folder of the run; they hold a file, so they are only reported.
  void reportLeftovers(const fs::HeldFile& file) {
    if (!checkedFolders_.insert(file.folderId()).second) return;
    for (const QString& name : file.leftoverLinks()) {
      ++result_.leftovers;
      host_.report({.kind = ProcessEvent::Kind::Leftover, .path = name});
    }
  }

  // The destination folder: offered to browse for when its text is empty,
  // then resolved and held once for the rest of the run, its missing
  // folders made. False when there is none or it cannot be used (the run
  // stops; nothing has been moved by this row).
  bool settleDestination() {
    if (destination_.isOpen()) return true;
    if (host_.destination().isEmpty()) host_.browseDestination();
    const QString text = host_.destination();
    if (text.isEmpty()) return false;
    int error = 0;
    if (destination_.open(text, &error)) return true;
    result_.destinationError = error;
    host_.report(
        {.kind = ProcessEvent::Kind::DestinationFailed, .mode = ProcessMode::Move, .path = text, .error = error});
    return false;
  }

  // The read-only state is cleared at the moment of the action, on the file
  // proved, and put back when the action fails, or when a deleted file
  // lives on under another name.
  void act(ProcessMode mode, fs::HeldFile& file) {
    int error = 0;
    bool done = false;
    file.clearReadOnly();
    if (mode == ProcessMode::Move)
      done = file.moveInto(destination_, &error);
    else if (mode == ProcessMode::Recycle)
      done = file.moveToTrash(&error);
    else
      done = file.remove(&error);
    if (!done || mode == ProcessMode::Remove) file.restoreMode();
    if (!done) return fail(mode, file.path(), error);
    ++result_.processed;
    host_.report({.kind = ProcessEvent::Kind::Done, .mode = mode, .path = file.path()});
  }

  void keep(const QString& path, int reason = 0) {
    ++result_.kept;
    host_.report({.kind = ProcessEvent::Kind::Kept, .path = path, .error = reason});
  }

  void fail(ProcessMode mode, const QString& path, int error) {
    ++result_.failed;
    host_.report({.kind = ProcessEvent::Kind::Failed, .mode = mode, .path = path, .error = error});
  }

  ResultModel& model_;
  ProcessHost& host_;
  ProcessResult& result_;
  const WholeGroups whole_;
  const bool removeWholeGroups_;
  Group group_;
  Copies copies_;
  fs::HeldFolder destination_;
  std::unordered_set<fs::FileId, fs::FileIdHash> checkedFolders_;
};

}  // namespace

ProcessResult ProcessMarked(ResultModel& model, ProcessHost& host, const RunToken& run) {
  ProcessResult result;
  if (model.count() == 0) return result;

  // Groups whose every copy is marked: asked about before the run.
  WholeGroups whole = FindWholeGroups(model);
  const bool removeWholeGroups = AskAboutWholeGroups(host, whole.count);

  result.asked = true;
  const ProcessMode mode = host.mode();
  if (!host.ask({.kind = ProcessQuestion::Kind::Confirm,
                 .mode = mode,
                 .marked = model.markedCount(),
                 .markedKB = model.markedKB()}))
    return result;
  result.confirmed = true;

  host.report({.kind = ProcessEvent::Kind::Started});
  Run rows(model, host, result, std::move(whole), removeWholeGroups);
  const int n = model.count();
  for (int i = 0; i < n; ++i) {
    host.pump();
    if (!run.running()) return result;  // stopped: the run ends here
    // Rows are read by index after every pump, never through a reference
    // held across it.
    if (i < model.count() && model.row(i).marked && Actionable(model.row(i)) && !rows.processRow(i))
      return result;  // no destination: the run stops here
    const int m = model.count();
    host.report({.kind = ProcessEvent::Kind::Progress, .position = m <= 1 ? 100 : ProgressPosition(i, m - 1)});
  }
  result.completed = true;
  host.report({.kind = ProcessEvent::Kind::Finished,
               .mode = mode,
               .processed = result.processed,
               .kept = result.kept,
               .failed = result.failed,
               .leftovers = result.leftovers});
  return result;
}
