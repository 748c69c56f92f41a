// The result list: groups of identical files as rows divided by separator
// rows, each row with a mark, and the two totals of the marks.
#pragma once

#include "engine/candidates.h"
#include "engine/roots.h"

#include <QAbstractTableModel>
#include <QString>
#include <QStringList>

#include <set>
#include <vector>

struct ResultRow {
  QString caption;           // the file name; empty for a separator row
  bool hasSubItems = false;  // path, size and date are present (file rows)
  QString path;
  QString sizeText;  // size in KB
  QString dateText;
  bool marked = false;
  // The folder where a scan found the file; unknown (zero) for rows read
  // from a list file.
  fs::FileId folder{};

  bool isSeparator() const { return caption.isEmpty(); }
};

// The file name of a path: the part after its last separator.
QString FileNameOf(const QString& path);
// The folder of a path: the part before its last separator ("/" for a file
// in the root folder).
QString FolderOf(const QString& path);
// The size text of a file of `bytes` bytes: KB, a half going to the even neighbour.
QString SizeText(qint64 bytes);
// The space text of a sum of KB: "N KB" up to 1024, otherwise "N MB".
QString SpaceText(qint64 kb);

class ResultModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  explicit ResultModel(QObject* parent = nullptr);

  // Qt's model interface (four columns, check box in the first).
  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  // The captions of the columns, for a view that shows them.
  void setColumnCaptions(const QStringList& captions);

  int count() const { return static_cast<int>(rows_.size()); }
  const ResultRow& row(int i) const { return rows_[static_cast<size_t>(i)]; }

  // Removes every row; changes no mark, so the totals are not recounted.
  void clear();
  void appendSeparator();
  void appendFileRow(const FoundFile& file);
  // Appends rows as read from a list file: the rows first, then their marks.
  // True when a mark was set (and the totals were reported).
  bool appendRows(std::vector<ResultRow> rows);
  void setCaption(int i, const QString& caption);

  // Changes one mark; a real change updates the totals at once.
  bool setMarked(int i, bool marked);

  // The marking commands. A path lies in the protected folder when it
  // contains the folder's text, or lies inside its real folder.
  void MarkAllButFirst(const ProtectedFolder& protectedFolder);
  void MarkAllButFirst(const QString& protectedFolder) {
    MarkAllButFirst(ProtectedFolder{protectedFolder, QString(), 0});
  }
  void SelectAll();
  void UnselectAll();

  // Reports the totals as a full recount would: totalsChanged with the two
  // texts, or totalsError with the size text of the first marked row whose
  // size text is not a number.
  void UpdateTotals();

  qint64 markedCount() const { return markedCount_; }
  qint64 markedKB() const { return markedKB_; }
  QString spaceText() const { return SpaceText(markedKB_); }
  int groupCount() const;

 signals:
  void totalsChanged(const QString& space, const QString& count);
  void totalsError(const QString& sizeText);

 private:
  // Applies a mark without reporting; keeps the totals by difference.
  bool applyMark(int i, bool marked);
  // Sets every mark to `marks[i]`, then reports the totals once; false when
  // no mark changed (and nothing was reported).
  bool applyMarks(const std::vector<bool>& marks);
  void countRow(int i, int sign);

  QStringList columnCaptions_;
  std::vector<ResultRow> rows_;
  std::vector<qint64> kb_;  // the size text as a number
  std::vector<bool> kbValid_;
  QString lastSizeText_, lastDateText_;  // of the last row a scan added
  qint64 markedCount_ = 0;
  qint64 markedKB_ = 0;
  std::set<int> invalidMarked_;  // marked rows whose size text is no number
};
