#include "engine/candidates.h"

#include "platform/fs.h"

#include <algorithm>
#include <charconv>
#include <cstring>

QString RecordField(const QString& text, QChar separator, int index) {
  QString result;
  int count = 0;
  for (const QChar c : text) {
    if (c == separator) {
      ++count;
      if (count > index) break;
    } else if (count == index) {
      result.append(c);
    }
  }
  if (result == QLatin1String(" ")) result.clear();
  return result;
}

qint64 RecordSize(const CandidateRecord& record) { return record.size; }

QString RecordPath(const CandidateRecord& record) { return record.taken ? QString() : record.path; }

QString RecordDate(const CandidateRecord& record) {
  return record.taken ? QString() : fs::ShortDateText(record.mtime);
}

QString RecordText(const CandidateRecord& record) {
  if (record.taken) return QString();
  return QString::number(record.size) + QLatin1Char('*') + record.path + QLatin1Char('*') + RecordDate(record);
}

namespace {

// Compares the decimal texts of two sizes from the left; a text that is a
// prefix of the other comes first, as it does when followed by '*'.
int CompareSizeTexts(qint64 a, qint64 b) {
  char ta[24], tb[24];
  const auto ea = std::to_chars(ta, ta + sizeof ta, a).ptr;
  const auto eb = std::to_chars(tb, tb + sizeof tb, b).ptr;
  const size_t la = static_cast<size_t>(ea - ta), lb = static_cast<size_t>(eb - tb);
  const int c = std::memcmp(ta, tb, std::min(la, lb));
  if (c != 0) return c;
  return la < lb ? -1 : (la > lb ? 1 : 0);
}

}  // namespace

bool CandidateBefore(const CandidateRecord& a, const CandidateRecord& b) {
  if (a.size != b.size) return CompareSizeTexts(a.size, b.size) < 0;
  const int c = a.path.compare(b.path, Qt::CaseInsensitive);
  if (c != 0) return c < 0;
  if (a.mtime != b.mtime) return a.mtime < b.mtime;
  return a.path < b.path;
}

void CandidateList::sort() { std::stable_sort(records_.begin(), records_.end(), CandidateBefore); }
