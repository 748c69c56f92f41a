#include "results/processing.h"

#include "engine/bytes.h"
#include "engine/compare.h"
#include "engine/language.h"
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

// The unmarked rows of the group being processed, the copies a marked file
// may leave behind. They are gathered once per group (and rows kept during
// the run join them), the copy found last is held open and tried first, and
// a row whose file cannot be opened is not tried again, so a group is not
// re-read pairwise.
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
  // A marked row kept in place is a copy the rest may leave behind.
  void add(int row) { rows_.push_back(row); }

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

QString DeleteFailedText(const QString& path, int error) {
  return path + QStringLiteral(" не удалён, ошибка = ") + QString::number(error);
}

}  // namespace

ProcessResult ProcessMarked(ResultModel& model, ProcessHost& host) {
  ProcessResult result;
  if (model.count() == 0) return result;

  // Groups whose every copy is marked: asked about before the run.
  std::vector<char> wholeGroup(static_cast<size_t>(model.count()), 0);
  int wholeGroups = 0;
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
      ++wholeGroups;
      for (int k = g.first; k <= g.last; ++k) wholeGroup[static_cast<size_t>(k)] = 1;
    }
    i = g.last + 1;
  }
  bool removeWholeGroups = false;
  if (wholeGroups > 0 && host.mode() != ProcessMode::Move) {
    const bool en = host.english();
    removeWholeGroups = host.askWholeGroups(
        LanguageText(en, "Confirm", "Подтверждение"),
        en ? QStringLiteral("Every copy of %1 groups is marked. Remove them all?").arg(wholeGroups)
           : QStringLiteral("Отмечены все копии в группах: %1. Удалить их все?").arg(wholeGroups));
  }

  result.asked = true;
  const bool en = host.english();
  if (!host.confirm(LanguageText(en, "Confirm", "Подтверждение"),
                    LanguageText(en, "Delete (or move) all selected files?", "Удалить (или переместить) отмеченые файлы?")))
    return result;
  result.confirmed = true;

  host.setStatus(LanguageText(host.english(), "In process ...", "Обработка ..."));
  host.setProgress(0);
  Copies copies;
  Group group;
  const int n = model.count();
  for (int i = 0; i < n; ++i) {
    host.pump();
    if (i < model.count() && model.row(i).marked && Actionable(model.row(i))) {
      const QString path = model.row(i).path;
      if (!group.holds(i)) group = GroupOf(model, i);
      copies.enter(model, group);
      const bool inWholeGroup = i < static_cast<int>(wholeGroup.size()) && wholeGroup[static_cast<size_t>(i)];
      const ProcessMode mode = host.mode();
      auto fail = [&](int error) {
        ++result.failed;
        if (mode == ProcessMode::Remove) host.deleteFailed(DeleteFailedText(path, error));
        host.failed(path, fs::ErrorText(error));
      };
      fs::HeldFile file;
      int error = 0;
      if (inWholeGroup && !removeWholeGroups && mode != ProcessMode::Move) {
        ++result.spared;
      } else if (!file.open(path, &error)) {
        if (error == ENOENT) {
          // Already gone: nothing is at its path any more.
          if (mode == ProcessMode::Remove) host.deleteFailed(DeleteFailedText(path, error));
          ++result.processed;
        } else {
          fail(error);  // a link on the way, a relative path, not a regular file
        }
      } else {
        file.clearReadOnly();
        QString destination;
        if (mode == ProcessMode::Move) {
          if (host.destination().isEmpty()) host.browseDestination();
          destination = host.destination();
          if (destination.isEmpty()) return result;  // no destination: the run stops here
          if (!destination.endsWith(fs::kSeparator)) destination += fs::kSeparator;
        }
        // A file leaves its group only while an identical copy stays in it:
        // always when it is removed, and when it is moved away from an
        // unmarked copy.
        const bool needsCopy = mode == ProcessMode::Move ? copies.anyLeft(model, i) : !inWholeGroup;
        if (needsCopy && !copies.copyOf(model, i, file)) {
          ++result.kept;
          copies.add(i);
        } else {
          bool done = false;
          if (mode == ProcessMode::Move)
            done = file.moveInto(destination, &error);
          else if (mode == ProcessMode::Recycle)
            done = file.moveToTrash(&error);
          else
            done = file.remove(&error);
          if (done) {
            ++result.processed;
            if (host.deleteEmptyFolders()) file.removeFolderIfEmpty();
          } else {
            fail(error);
          }
        }
      }
      model.setMarked(i, false);
    }
    const int m = model.count();
    host.setProgress(m <= 1 ? 100 : ComparePass::Position(i, m - 1));
  }
  QString status = LanguageText(host.english(), "Processing files - ", "Обработано файлов - ") + QString::number(result.processed);
  if (result.kept > 0)
    status += LanguageText(host.english(), "; kept, no identical copy left - ", "; сохранено, нет одинаковой копии - ") +
              QString::number(result.kept);
  if (result.failed > 0)
    status += LanguageText(host.english(), "; failed - ", "; не обработано - ") + QString::number(result.failed);
  host.setStatus(status);
  host.clearTotals();
  result.completed = true;
  return result;
}
