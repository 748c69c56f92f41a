#include "results/processing.h"

#include "engine/compare.h"
#include "engine/language.h"
#include "platform/fs.h"

#include <QFileInfo>

#include <cstring>
#include <vector>

namespace {

// The folder of a path, up to and including its last separator.
QString FolderOf(const QString& path) { return path.left(path.lastIndexOf(fs::kSeparator) + 1); }

// A row that names a file the run can act on.
bool Actionable(const ResultRow& row) { return row.hasSubItems && !row.path.isEmpty(); }

// The rows of the group that holds row i: the rows between separators (a
// row whose caption was emptied stands alone).
std::pair<int, int> GroupOf(const ResultModel& model, int i) {
  int first = i, last = i;
  if (model.row(i).caption.isEmpty()) return {i, i};
  while (first > 0 && !model.row(first - 1).caption.isEmpty()) --first;
  while (last + 1 < model.count() && !model.row(last + 1).caption.isEmpty()) ++last;
  return {first, last};
}

// Whether two paths name two different files of identical content,
// compared byte for byte in chunks.
bool IdenticalCopy(const QString& path, const QString& other) {
  const QString a = QFileInfo(path).canonicalFilePath(), b = QFileInfo(other).canonicalFilePath();
  if (a.isEmpty() || b.isEmpty() || a == b) return false;
  fs::ReadFile first, second;
  if (!first.open(path) || !second.open(other, first.size())) return false;
  const qint64 size = first.size();
  constexpr qint64 kChunk = 1 << 20;
  std::vector<char> x(static_cast<size_t>(std::min(size, kChunk))), y(x.size());
  for (qint64 offset = 0; offset < size; offset += kChunk) {
    const qint64 part = std::min(kChunk, size - offset);
    if (!first.readAt(offset, x.data(), part) || !second.readAt(offset, y.data(), part)) return false;
    if (std::memcmp(x.data(), y.data(), static_cast<size_t>(part)) != 0) return false;
  }
  return first.size() == size && second.size() == size;
}

// Whether the group of row i still holds an unmarked row whose file is an
// identical copy of row i's file.
bool CopyLeft(const ResultModel& model, int i) {
  const auto [first, last] = GroupOf(model, i);
  for (int k = first; k <= last; ++k) {
    const ResultRow& row = model.row(k);
    if (k != i && !row.marked && Actionable(row) && IdenticalCopy(model.row(i).path, row.path)) return true;
  }
  return false;
}

}  // namespace

ProcessResult ProcessMarked(ResultModel& model, ProcessHost& host) {
  ProcessResult result;
  if (model.count() == 0) return result;

  // Groups whose every copy is marked: asked about before the run.
  std::vector<char> wholeGroup(static_cast<size_t>(model.count()), 0);
  int wholeGroups = 0;
  if (host.mode() != ProcessMode::Move) {
    for (int i = 0; i < model.count();) {
      if (model.row(i).caption.isEmpty()) {
        ++i;
        continue;
      }
      const auto [first, last] = GroupOf(model, i);
      bool any = false, all = true;
      for (int k = first; k <= last; ++k) {
        if (!Actionable(model.row(k))) continue;
        any = true;
        all = all && model.row(k).marked;
      }
      if (any && all) {
        ++wholeGroups;
        for (int k = first; k <= last; ++k) wholeGroup[static_cast<size_t>(k)] = 1;
      }
      i = last + 1;
    }
  }
  bool removeWholeGroups = false;
  if (wholeGroups > 0) {
    const bool en = host.english();
    removeWholeGroups = host.askYesNo(
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
  const int n = model.count();
  for (int i = 0; i < n; ++i) {
    host.pump();
    if (i < model.count() && model.row(i).marked && Actionable(model.row(i))) {
      const QString path = model.row(i).path;
      const bool inWholeGroup = i < static_cast<int>(wholeGroup.size()) && wholeGroup[static_cast<size_t>(i)];
      const ProcessMode mode = host.mode();
      if (inWholeGroup && !removeWholeGroups && mode != ProcessMode::Move) {
        ++result.spared;
      } else if (mode != ProcessMode::Move && !inWholeGroup && !CopyLeft(model, i)) {
        ++result.kept;
      } else {
        fs::ResetAttributes(path);
        if (mode == ProcessMode::Move) {
          if (host.destination().isEmpty()) host.browseDestination();
          QString destination = host.destination();
          if (destination.isEmpty()) return result;  // no destination: the run stops here
          if (!destination.endsWith(fs::kSeparator)) destination += fs::kSeparator;
          fs::MakePath(destination);
          fs::MoveFile(path, destination + FileNameOf(path));
        } else if (mode == ProcessMode::Recycle) {
          fs::MoveToTrash(path);
        } else {
          int error = 0;
          if (!fs::RemoveFile(path, &error))
            host.deleteFailed(path + QStringLiteral(" не удалён, ошибка = ") + QString::number(error));
        }
        if (!fs::FileExists(path)) ++result.processed;
        if (host.deleteEmptyFolders()) {
          const QString folder = FolderOf(path);
          if (fs::FolderLooksEmpty(folder)) fs::RemoveFolder(folder);
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
  host.setStatus(status);
  host.clearTotals();
  result.completed = true;
  return result;
}
