#include "results/processing.h"

#include "engine/bytes.h"
#include "engine/language.h"
#include "engine/progress.h"
#include "platform/fs.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

// A row that names a file the run can act on.
bool Actionable(const ResultRow& row) { return row.hasSubItems && !row.path.isEmpty(); }

// The rows of the group that holds row i: the rows between separators (a
// row whose caption was emptied stands alone).
struct Group {
  int first = 0, last = -1;
  bool holds(int i) const { return first <= i && i <= last; }
};
Group GroupOf(const ResultModel& model, int i) {
  int first = i, last = i;
  if (model.row(i).caption.isEmpty()) return {i, i};
  while (first > 0 && !model.row(first - 1).caption.isEmpty()) --first;
  while (last + 1 < model.count() && !model.row(last + 1).caption.isEmpty()) ++last;
  return {first, last};
}

// Whether two opened files are two different files (not one file under two
// names) with the same bytes, compared in chunks through their descriptors.
bool Identical(const fs::HeldFile& a, const fs::HeldFile& b) {
  if (a.id() == b.id()) return false;
  const qint64 size = a.size();
  if (size < 0 || b.size() != size) return false;
  if (!SameBytes(a, b, 0, size)) return false;
  return a.size() == size && b.size() == size;
}

// The rows of the group being processed that were unmarked when the run
// reached it: the copies a marked file may leave behind. They are gathered
// once per group, the copy found last is held open and tried first, and a
// row whose file cannot be opened is not tried again, so a group is not
// re-read pairwise. (A marked file kept in place is no copy for the rest:
// keeping more than the rule asks loses nothing.)
class Copies {
 public:
  void enter(const ResultModel& model, const Group& group) {
    if (group.first == group_.first && group.last == group_.last) return;
    group_ = group;
    rows_.clear();
    keeper_ = fs::HeldFile();
    keeperRow_ = -1;
    for (int k = group.first; k <= group.last; ++k)
      if (!model.row(k).marked && Actionable(model.row(k))) rows_.push_back(k);
  }

  // Whether an unmarked row other than `row` is left in the group.
  bool anyLeft(const ResultModel& model, int row) {
    for (size_t n = 0; n < rows_.size(); ++n) {
      const size_t k = (hint_ + n) % rows_.size();
      if (rows_[k] != row && usable(model, rows_[k])) return hint_ = k, true;
    }
    return false;
  }

  // Whether an unmarked row of the group names another file with the same
  // bytes as `file`, still in place.
  bool copyOf(const ResultModel& model, int row, const fs::HeldFile& file) {
    if (keeperRow_ >= 0 && keeperRow_ != row && usable(model, keeperRow_) && Identical(file, keeper_) &&
        keeper_.stillInPlace())
      return true;
    for (int& k : rows_) {
      if (k < 0 || k == row || k == keeperRow_ || !usable(model, k)) continue;
      fs::HeldFile other;
      int error = 0;
      if (!other.open(model.row(k).path, &error)) {
        k = -1;  // not tried again
        continue;
      }
      if (Identical(file, other) && other.stillInPlace()) {
        keeper_ = std::move(other);
        keeperRow_ = k;
        return true;
      }
    }
    return false;
  }

 private:
  bool usable(const ResultModel& model, int k) const {
    return k >= 0 && k < model.count() && !model.row(k).marked && Actionable(model.row(k));
  }

  Group group_{0, -1};
  std::vector<int> rows_;
  size_t hint_ = 0;
  int keeperRow_ = -1;
  fs::HeldFile keeper_;
};

// Whether the opened file is the one the scan found under the row's path
// (rows read from a list file name no particular file).
bool SameFileAsScanned(const ResultRow& row, const fs::HeldFile& file) {
  return row.id == fs::FileId{} || row.id == file.id();
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
  if (groups == 0 || host.mode() == ProcessMode::Move) return false;
  const bool en = host.english();
  return host.askWholeGroups(LanguageText(en, "Confirm", "Подтверждение"),
                             en ? QStringLiteral("Every copy of %1 groups is marked. Remove them all?").arg(groups)
                                : QStringLiteral("Отмечены все копии в группах: %1. Удалить их все?").arg(groups));
}

// One processing run over the rows, row by row.
class Run {
 public:
  Run(ResultModel& model, ProcessHost& host, ProcessResult& result, WholeGroups whole, bool removeWholeGroups)
      : model_(model), host_(host), result_(result), whole_(std::move(whole)), removeWholeGroups_(removeWholeGroups) {}

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
    } else if (!file.open(path, &error)) {
      notOpened(mode, path, error);
    } else if (!SameFileAsScanned(model_.row(i), file)) {
      fail(mode, path, fs::kReplaced);
    } else {
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
    if (error != ENOENT) return fail(mode, path, error);  // a link on the way, a relative path, not a regular file
    // Already gone: nothing is at its path any more.
    if (mode == ProcessMode::Remove) host_.deleteFailed(path, error);
    ++result_.processed;
  }

  void processOpened(int i, ProcessMode mode, bool inWholeGroup, fs::HeldFile& file) {
    file.clearReadOnly();
    // A file leaves its group only while an identical copy stays in it:
    // always when it is removed, and when it is moved away from an
    // unmarked copy.
    const bool needsCopy = mode == ProcessMode::Move ? copies_.anyLeft(model_, i) : !inWholeGroup;
    if (needsCopy && !copies_.copyOf(model_, i, file)) {
      ++result_.kept;
    } else {
      act(mode, file);
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
    host_.destinationFailed(text, error);
    return false;
  }

  void act(ProcessMode mode, fs::HeldFile& file) {
    int error = 0;
    bool done = false;
    if (mode == ProcessMode::Move)
      done = file.moveInto(destination_, &error);
    else if (mode == ProcessMode::Recycle)
      done = file.moveToTrash(&error);
    else
      done = file.remove(&error);
    if (!done) return fail(mode, file.path(), error);
    ++result_.processed;
  }

  void fail(ProcessMode mode, const QString& path, int error) {
    ++result_.failed;
    if (mode == ProcessMode::Remove) host_.deleteFailed(path, error);
    host_.failed(path, fs::ErrorText(error));
  }

  ResultModel& model_;
  ProcessHost& host_;
  ProcessResult& result_;
  const WholeGroups whole_;
  const bool removeWholeGroups_;
  Group group_;
  Copies copies_;
  fs::HeldFolder destination_;
};

QString EndText(bool en, const ProcessResult& result) {
  QString text = LanguageText(en, "Processing files - ", "Обработано файлов - ") + QString::number(result.processed);
  if (result.kept > 0)
    text += LanguageText(en, "; kept, no identical copy left - ", "; сохранено, нет одинаковой копии - ") +
            QString::number(result.kept);
  if (result.failed > 0) text += LanguageText(en, "; failed - ", "; не обработано - ") + QString::number(result.failed);
  return text;
}

}  // namespace

ProcessResult ProcessMarked(ResultModel& model, ProcessHost& host) {
  ProcessResult result;
  if (model.count() == 0) return result;

  // Groups whose every copy is marked: asked about before the run.
  WholeGroups whole = FindWholeGroups(model);
  const bool removeWholeGroups = AskAboutWholeGroups(host, whole.count);

  result.asked = true;
  const bool en = host.english();
  if (!host.confirm(
          LanguageText(en, "Confirm", "Подтверждение"),
          LanguageText(en, "Delete (or move) all selected files?", "Удалить (или переместить) отмеченые файлы?")))
    return result;
  result.confirmed = true;

  host.setStatus(LanguageText(host.english(), "In process ...", "Обработка ..."));
  host.setProgress(0);
  Run run(model, host, result, std::move(whole), removeWholeGroups);
  const int n = model.count();
  for (int i = 0; i < n; ++i) {
    host.pump();
    if (i < model.count() && model.row(i).marked && Actionable(model.row(i)) && !run.processRow(i))
      return result;  // no destination: the run stops here
    const int m = model.count();
    host.setProgress(m <= 1 ? 100 : ProgressPosition(i, m - 1));
  }
  host.setStatus(EndText(host.english(), result));
  host.clearTotals();
  result.completed = true;
  return result;
}
