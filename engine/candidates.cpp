#include "engine/candidates.h"

#include "platform/fs.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
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

QString RecordDate(const CandidateRecord& record) { return record.taken ? QString() : fs::ShortDateText(record.mtime); }

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

// Compares two paths ignoring letter case, character by character (ASCII
// letters directly, any other letter by its case folding).
int ComparePathsIgnoringCase(const QString& a, const QString& b) {
  const char16_t* pa = reinterpret_cast<const char16_t*>(a.constData());
  const char16_t* pb = reinterpret_cast<const char16_t*>(b.constData());
  const qsizetype n = std::min(a.size(), b.size());
  auto fold = [](char16_t c) -> char16_t {
    if (c < 128) return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c;
    return QChar(c).toCaseFolded().unicode();
  };
  qsizetype i = 0;
  // Paths of one tree share long beginnings: skip the equal part four
  // characters at a time.
  for (; i + 4 <= n; i += 4) {
    std::uint64_t wa, wb;
    std::memcpy(&wa, pa + i, sizeof wa);
    std::memcpy(&wb, pb + i, sizeof wb);
    if (wa != wb) break;
  }
  for (; i < n; ++i) {
    if (pa[i] == pb[i]) continue;
    const char16_t fa = fold(pa[i]), fb = fold(pb[i]);
    if (fa != fb) return fa < fb ? -1 : 1;
  }
  return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

}  // namespace

bool CandidateBefore(const CandidateRecord& a, const CandidateRecord& b) {
  if (a.size != b.size) return CompareSizeTexts(a.size, b.size) < 0;
  const int c = ComparePathsIgnoringCase(a.path, b.path);
  if (c != 0) return c < 0;
  if (a.mtime != b.mtime) return a.mtime < b.mtime;
  return a.path < b.path;
}

// The order is total (a path is listed once), so an in-place sort gives the
// same list as a stable one, without its buffer.
void CandidateList::sort() { std::sort(records_.begin(), records_.end(), CandidateBefore); }
