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

// The names of the records, in UTF-8, in blocks that are never moved: the
// store grows without copying what it holds.
struct CandidateList::Names {
  static constexpr size_t kBlock = size_t{1} << 20;  // a name is at most NAME_MAX bytes
  std::vector<std::unique_ptr<char[]>> blocks;
  size_t used = kBlock;  // in the last block

  std::uint64_t add(const QByteArray& name) {
    const auto length = static_cast<size_t>(name.size());
    if (used + length > kBlock) {
      blocks.push_back(std::make_unique_for_overwrite<char[]>(kBlock));
      used = 0;
    }
    std::memcpy(blocks.back().get() + used, name.constData(), length);
    const std::uint64_t at = (blocks.size() - 1) * kBlock + used;
    used += length;
    return at;
  }
  const char* at(std::uint64_t offset) const { return blocks[offset / kBlock].get() + offset % kBlock; }
};

CandidateList::CandidateList() : names_(std::make_unique<Names>()) {}
CandidateList::~CandidateList() = default;

void CandidateList::clear() {
  records_ = {};
  folders_ = {};
  names_ = std::make_unique<Names>();
}

void CandidateList::beginFolder(const QString& path, fs::FileId id) { folders_.push_back({path, id}); }

void CandidateList::add(qint64 size, qint64 mtime, std::uint64_t inode, const QString& name, int cacheEntry) {
  const QByteArray utf8 = name.toUtf8();
  CandidateRecord& r = records_.emplace_back();
  r.size = size;
  r.mtime = mtime;
  r.inode = inode;
  // A name is at most NAME_MAX bytes, and the store far below 2^47.
  r.name = names_->add(utf8) & ((std::uint64_t{1} << 47) - 1);
  r.nameLength = static_cast<std::uint16_t>(utf8.size());
  r.folder = static_cast<std::uint32_t>(folders_.size() - 1);
  r.cacheEntry = cacheEntry;
}

QString CandidateList::path(int i) const {
  // Made to measure: the rows of the result list keep these.
  const CandidateRecord& r = at(i);
  const QString& folder = folders_[r.folder].path;
  const QString name = QString::fromUtf8(names_->at(r.name), static_cast<qsizetype>(r.nameLength));
  QString path;
  path.reserve(folder.size() + name.size());
  return path.append(folder).append(name);
}

fs::FileId CandidateList::folderId(int i) const { return folders_[at(i).folder].id; }

FoundFile CandidateList::file(int i) const { return {at(i).size, path(i), at(i).mtime, folderId(i)}; }

QString CandidateList::date(int i) const { return isTaken(i) ? QString() : fs::ShortDateText(at(i).mtime); }

QString CandidateList::text(int i) const {
  if (isTaken(i)) return QString();
  return QString::number(at(i).size) + QLatin1Char('*') + path(i) + QLatin1Char('*') + date(i);
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

char16_t Folded(char16_t c) {
  if (c < 128) return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c;
  return QChar(c).toCaseFolded().unicode();
}

// The UTF-16 code units of a path kept as a folder's text (from `from` on)
// followed by a name in UTF-8, one at a time: paths are ordered as the
// texts they make, unit by unit.
class PathUnits {
 public:
  PathUnits(const QString& folder, qsizetype from, const char* name, size_t length)
      : folder_(reinterpret_cast<const char16_t*>(folder.constData()) + from),
        folderEnd_(reinterpret_cast<const char16_t*>(folder.constData()) + folder.size()),
        name_(reinterpret_cast<const unsigned char*>(name)),
        nameEnd_(name_ + length) {}

  bool next(char16_t& c) {
    if (folder_ < folderEnd_) {
      c = *folder_++;
    } else if (low_ != 0) {
      c = low_;
      low_ = 0;
    } else if (name_ == nameEnd_) {
      return false;
    } else if (*name_ < 0x80) {
      c = *name_++;
    } else {
      c = decode();
    }
    return true;
  }

 private:
  // The names are valid UTF-8 (the walk takes only names that are text).
  char16_t decode() {
    const unsigned b = *name_;
    char32_t cp;
    if (b < 0xE0) {
      cp = (b & 0x1Fu) << 6 | (name_[1] & 0x3Fu);
      name_ += 2;
    } else if (b < 0xF0) {
      cp = (b & 0x0Fu) << 12 | (name_[1] & 0x3Fu) << 6 | (name_[2] & 0x3Fu);
      name_ += 3;
    } else {
      cp = (b & 0x07u) << 18 | (name_[1] & 0x3Fu) << 12 | (name_[2] & 0x3Fu) << 6 | (name_[3] & 0x3Fu);
      name_ += 4;
    }
    if (cp < 0x10000) return static_cast<char16_t>(cp);
    cp -= 0x10000;
    low_ = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    return static_cast<char16_t>(0xD800 + (cp >> 10));
  }

  const char16_t* folder_;
  const char16_t* folderEnd_;
  const unsigned char* name_;
  const unsigned char* nameEnd_;
  char16_t low_ = 0;
};

// Compares two sequences of units from where they stand, letter case
// ignored (ASCII letters directly, any other letter by its case folding)
// or not; a sequence that ends first comes first.
int CompareUnits(PathUnits a, PathUnits b, bool ignoreCase) {
  for (;;) {
    char16_t ca = 0, cb = 0;
    const bool ha = a.next(ca), hb = b.next(cb);
    if (!ha || !hb) return ha ? 1 : (hb ? -1 : 0);
    if (ca == cb) continue;
    if (ignoreCase) ca = Folded(ca), cb = Folded(cb);
    if (ca != cb) return ca < cb ? -1 : 1;
  }
}

// How far two folder texts agree from the start, letter case ignored or
// not, and how they compare at the first unit where they do not (0 when
// one is where the shorter ends).
std::pair<qsizetype, int> CompareFolders(const QString& a, const QString& b, bool ignoreCase) {
  const char16_t* pa = reinterpret_cast<const char16_t*>(a.constData());
  const char16_t* pb = reinterpret_cast<const char16_t*>(b.constData());
  const qsizetype n = std::min(a.size(), b.size());
  qsizetype i = 0;
  // Folders of one tree share long beginnings: skip the equal part four
  // units at a time.
  for (; i + 4 <= n; i += 4)
    if (std::memcmp(pa + i, pb + i, 4 * sizeof(char16_t)) != 0) break;
  for (; i < n; ++i) {
    if (pa[i] == pb[i]) continue;
    const char16_t fa = ignoreCase ? Folded(pa[i]) : pa[i], fb = ignoreCase ? Folded(pb[i]) : pb[i];
    if (fa != fb) return {i, fa < fb ? -1 : 1};
  }
  return {n, 0};
}

}  // namespace

bool CandidateList::before(const CandidateRecord& a, const CandidateRecord& b) const {
  if (a.size != b.size) return CompareSizeTexts(a.size, b.size) < 0;
  const Folder& fa = folders_[a.folder];
  const Folder& fb = folders_[b.folder];
  const auto paths = [&](bool ignoreCase) {
    qsizetype from = fa.path.size();  // one folder: the names decide
    if (a.folder != b.folder) {
      const auto [agreed, c] = CompareFolders(fa.path, fb.path, ignoreCase);
      if (c != 0) return c;
      from = agreed;
    }
    return CompareUnits(PathUnits(fa.path, from, names_->at(a.name), a.nameLength),
                        PathUnits(fb.path, from, names_->at(b.name), b.nameLength), ignoreCase);
  };
  const int c = paths(true);
  if (c != 0) return c < 0;
  if (a.mtime != b.mtime) return a.mtime < b.mtime;
  return paths(false) < 0;
}

// The order is total (a path is listed once), so an in-place sort gives the
// same list as a stable one, without its buffer.
void CandidateList::sort() {
  std::sort(records_.begin(), records_.end(),
            [this](const CandidateRecord& a, const CandidateRecord& b) { return before(a, b); });
}
