#include "results/processing.h"

#include "engine/compare.h"
#include "platform/fs.h"

namespace {

QString Text(bool english, const char* en, const char* ru) {
  return english ? QString::fromUtf8(en) : QString::fromUtf8(ru);
}

// The folder of a path, up to and including its last separator.
QString FolderOf(const QString& path) { return path.left(path.lastIndexOf(fs::kSeparator) + 1); }

}  // namespace

ProcessResult ProcessMarked(ResultModel& model, ProcessHost& host) {
  ProcessResult result;
  if (model.count() == 0) return result;
  result.asked = true;
  const bool en = host.english();
  if (!host.confirm(Text(en, "Confirm", "Подтверждение"),
                    Text(en, "Delete (or move) all selected files?", "Удалить (или переместить) отмеченые файлы?")))
    return result;
  result.confirmed = true;

  host.setStatus(Text(host.english(), "In process ...", "Обработка ..."));
  host.setProgress(0);
  const int n = model.count();
  for (int i = 0; i < n; ++i) {
    host.pump();
    if (i < model.count()) {
      const ResultRow& row = model.row(i);
      // A row without a path (an unreadable list line) names no file.
      if (row.marked && row.hasSubItems && !row.path.isEmpty()) {
        const QString path = row.path;
        fs::ResetAttributes(path);
        const ProcessMode mode = host.mode();
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
        model.setMarked(i, false);
      }
    }
    const int m = model.count();
    host.setProgress(m <= 1 ? 100 : ComparePass::Position(i, m - 1));
  }
  host.setStatus(Text(host.english(), "Processing files - ", "Обработано файлов - ") + QString::number(result.processed));
  host.clearTotals();
  result.completed = true;
  return result;
}
