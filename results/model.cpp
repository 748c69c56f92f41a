#include "results/model.h"

#include "platform/fs.h"

#include <cmath>
#include <iterator>
#include <utility>

namespace {

// The largest size a row may add to the space total, in KB (4 TiB): the
// total of every row the list can hold then stays within 64 bits. A larger
// size text is reported as not a valid number, as a text in no number form is.
constexpr qint64 kLargestKB = qint64(1) << 32;

bool CountableKB(qint64 kb) { return kb >= -kLargestKB && kb <= kLargestKB; }

// A size text read as a decimal whole number: the whole text, with nothing
// before or after the digits (" 5" and "5 " are no number).
bool SizeNumber(const QString& text, qint64* kb) {
  if (text.isEmpty() || text.front().isSpace() || text.back().isSpace()) return false;
  bool ok = false;
  *kb = text.toLongLong(&ok);
  return ok;
}

}  // namespace

QString FileNameOf(const QString& path) { return path.mid(path.lastIndexOf(fs::kSeparator) + 1); }

QString FolderOf(const QString& path) {
  const qsizetype cut = path.lastIndexOf(fs::kSeparator);
  return cut <= 0 ? path.left(cut + 1) : path.left(cut);
}

QString SizeText(qint64 bytes) {
  return QString::number(static_cast<qint64>(std::nearbyint(static_cast<long double>(bytes) / 1024)));
}

QString SpaceText(qint64 kb) {
  if (kb <= 1024) return QString::number(kb) + QStringLiteral(" KB");
  return QString::number(static_cast<qint64>(std::nearbyint(static_cast<long double>(kb) / 1024))) +
         QStringLiteral(" MB");
}

ResultModel::ResultModel(QObject* parent) : QAbstractTableModel(parent) {}

int ResultModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : count(); }

int ResultModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 4; }

QVariant ResultModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= count()) return QVariant();
  const ResultRow& r = rows_[static_cast<size_t>(index.row())];
  if (role == Qt::CheckStateRole && index.column() == 0) return r.marked ? Qt::Checked : Qt::Unchecked;
  if (role != Qt::DisplayRole && role != Qt::EditRole) return QVariant();
  switch (index.column()) {
    case 0:
      return r.caption;
    case 1:
      return r.path;
    case 2:
      return r.sizeText;
    case 3:
      return r.dateText;
  }
  return QVariant();
}

bool ResultModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (!index.isValid() || index.column() != 0) return false;
  if (role == Qt::CheckStateRole) {
    setMarked(index.row(), value.toInt() == Qt::Checked);
    return true;
  }
  if (role == Qt::EditRole) {
    setCaption(index.row(), value.toString());
    return true;
  }
  return false;
}

Qt::ItemFlags ResultModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  if (index.column() == 0) f |= Qt::ItemIsUserCheckable | Qt::ItemIsEditable;
  return f;
}

QVariant ResultModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return QVariant();
  return section >= 0 && section < columnCaptions_.size() ? QVariant(columnCaptions_[section]) : QVariant();
}

void ResultModel::setColumnCaptions(const QStringList& captions) {
  columnCaptions_ = captions;
  emit headerDataChanged(Qt::Horizontal, 0, columnCount() - 1);
}

void ResultModel::clear() {
  beginResetModel();
  rows_.clear();
  kb_.clear();
  kbValid_.clear();
  markedCount_ = markedKB_ = 0;
  invalidMarked_.clear();
  endResetModel();
}

void ResultModel::appendSeparator() {
  const int i = count();
  beginInsertRows(QModelIndex(), i, i);
  rows_.emplace_back();
  kb_.push_back(0);
  kbValid_.push_back(false);
  endInsertRows();
}

void ResultModel::appendFileRow(const FoundFile& file) {
  const int i = count();
  ResultRow r;
  r.path = file.path;
  r.caption = FileNameOf(r.path);
  r.hasSubItems = true;
  // Rows of one group share their size text, and often their date text:
  // a text equal to the last row's is kept once.
  const auto shared = [](QString text, QString& last) {
    if (text != last) last = std::move(text);
    return last;
  };
  r.sizeText = shared(SizeText(file.size), lastSizeText_);
  r.dateText = shared(fs::ShortDateText(file.mtime), lastDateText_);
  r.folder = file.folder;
  beginInsertRows(QModelIndex(), i, i);
  const qint64 kb = static_cast<qint64>(std::nearbyint(static_cast<long double>(file.size) / 1024));
  kb_.push_back(kb);
  kbValid_.push_back(CountableKB(kb));
  rows_.push_back(std::move(r));
  endInsertRows();
}

bool ResultModel::appendRows(std::vector<ResultRow> rows) {
  if (rows.empty()) return false;
  const int first = count();
  std::vector<bool> marks;
  marks.reserve(rows.size());
  for (ResultRow& r : rows) {
    qint64 kb = 0;
    const bool ok = SizeNumber(r.sizeText, &kb) && CountableKB(kb);
    kb_.push_back(ok ? kb : 0);
    kbValid_.push_back(ok);
    marks.push_back(r.marked);
    r.marked = false;
  }
  beginInsertRows(QModelIndex(), first, first + static_cast<int>(rows.size()) - 1);
  // An empty list takes the rows as they are: a list of millions of rows
  // is never held twice over.
  if (rows_.empty()) {
    rows_ = std::move(rows);
  } else {
    std::move(rows.begin(), rows.end(), std::back_inserter(rows_));
  }
  endInsertRows();
  // The rows are complete before their marks are set.
  std::vector<bool> all(static_cast<size_t>(count()), false);
  for (int i = 0; i < first; ++i) all[static_cast<size_t>(i)] = rows_[static_cast<size_t>(i)].marked;
  for (size_t k = 0; k < marks.size(); ++k) all[static_cast<size_t>(first) + k] = marks[k];
  return applyMarks(all);
}

void ResultModel::setCaption(int i, const QString& caption) {
  if (i < 0 || i >= count()) return;
  rows_[static_cast<size_t>(i)].caption = caption;
  const QModelIndex at = index(i, 0);
  emit dataChanged(at, at, {Qt::DisplayRole, Qt::EditRole});
}

void ResultModel::countRow(int i, int sign) {
  const size_t k = static_cast<size_t>(i);
  if (!rows_[k].hasSubItems) return;
  markedCount_ += sign;
  if (kbValid_[k]) {
    markedKB_ += sign * kb_[k];
  } else if (sign > 0) {
    invalidMarked_.insert(i);
  } else {
    invalidMarked_.erase(i);
  }
}

bool ResultModel::applyMark(int i, bool marked) {
  if (i < 0 || i >= count()) return false;
  ResultRow& r = rows_[static_cast<size_t>(i)];
  if (r.marked == marked) return false;
  r.marked = marked;
  countRow(i, marked ? 1 : -1);
  return true;
}

bool ResultModel::setMarked(int i, bool marked) {
  if (!applyMark(i, marked)) return false;
  const QModelIndex at = index(i, 0);
  emit dataChanged(at, at, {Qt::CheckStateRole});
  UpdateTotals();
  return true;
}

bool ResultModel::applyMarks(const std::vector<bool>& marks) {
  // The marks change one by one from the first row on, and each change
  // recounts: while a marked row's size text is no number, a recount fails
  // and leaves the fields as the last good one wrote them. A failure is
  // reported once, after the totals of the last good recount.
  int lo = -1, hi = -1;
  bool goodRecount = false;
  qint64 goodCount = 0, goodKB = 0;
  QString badSize;  // the size text of the first failure
  bool failed = false;
  for (int i = 0; i < count(); ++i) {
    if (!applyMark(i, marks[static_cast<size_t>(i)])) continue;
    if (lo < 0) lo = i;
    hi = i;
    if (invalidMarked_.empty()) {
      goodRecount = true;
      goodCount = markedCount_;
      goodKB = markedKB_;
    } else if (!failed) {
      badSize = rows_[static_cast<size_t>(*invalidMarked_.begin())].sizeText;
      failed = true;
    }
  }
  if (lo < 0) return false;
  emit dataChanged(index(lo, 0), index(hi, 0), {Qt::CheckStateRole});
  if (goodRecount) emit totalsChanged(SpaceText(goodKB), QString::number(goodCount));
  if (failed) emit totalsError(badSize);
  return true;
}

void ResultModel::UpdateTotals() {
  if (!invalidMarked_.empty()) {
    emit totalsError(rows_[static_cast<size_t>(*invalidMarked_.begin())].sizeText);
    return;
  }
  emit totalsChanged(SpaceText(markedKB_), QString::number(markedCount_));
}

void ResultModel::MarkAllButFirst(const ProtectedFolder& protectedFolder) {
  std::vector<bool> marks(static_cast<size_t>(count()), false);
  const QString& text = protectedFolder.text;
  const QString real =
      protectedFolder.real.endsWith(fs::kSeparator) ? protectedFolder.real : protectedFolder.real + fs::kSeparator;
  auto inProtected = [&](int i) {
    const QString& path = rows_[static_cast<size_t>(i)].path;
    return (!text.isEmpty() && path.contains(text)) || (!protectedFolder.real.isEmpty() && path.startsWith(real));
  };
  std::vector<int> group;
  const int n = count();
  for (int i = 0; i < n; ++i) {
    const ResultRow& r = rows_[static_cast<size_t>(i)];
    const bool last = i == n - 1;
    if (!r.caption.isEmpty() && !last) {
      group.push_back(i);
      continue;
    }
    if (last && r.hasSubItems) group.push_back(i);
    bool isProtected = false;
    for (const int g : group) isProtected = isProtected || inProtected(g);
    for (size_t k = 0; k < group.size(); ++k) {
      const int g = group[k];
      marks[static_cast<size_t>(g)] = isProtected ? !inProtected(g) : k > 0;
    }
    group.clear();
  }
  if (!applyMarks(marks)) UpdateTotals();  // the totals are reported also when no mark changed
}

void ResultModel::SelectAll() {
  std::vector<bool> marks(static_cast<size_t>(count()));
  for (int i = 0; i < count(); ++i) {
    const ResultRow& r = rows_[static_cast<size_t>(i)];
    marks[static_cast<size_t>(i)] = r.caption.isEmpty() ? r.marked : true;
  }
  applyMarks(marks);
}

void ResultModel::UnselectAll() { applyMarks(std::vector<bool>(static_cast<size_t>(count()), false)); }

int ResultModel::groupCount() const {
  int groups = 0;
  bool inGroup = false;
  for (const ResultRow& r : rows_) {
    if (r.isSeparator()) {
      inGroup = false;
    } else if (!inGroup) {
      inGroup = true;
      ++groups;
    }
  }
  return groups;
}
