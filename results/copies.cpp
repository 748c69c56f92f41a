#include "results/copies.h"

#include <utility>

Group GroupOf(const ResultModel& model, int i) {
  int first = i, last = i;
  if (model.row(i).caption.isEmpty()) return {i, i};
  while (first > 0 && !model.row(first - 1).caption.isEmpty()) --first;
  while (last + 1 < model.count() && !model.row(last + 1).caption.isEmpty()) ++last;
  return {first, last};
}

void Copies::enter(const ResultModel& model, const Group& group) {
  if (group.first == group_.first && group.last == group_.last) return;
  group_ = group;
  rows_.clear();
  byDigest_.clear();
  searched_ = false;
  nextUndigested_ = hint_ = 0;
  keeper_ = SIZE_MAX;
  keeperFile_ = fs::HeldFile();
  for (int k = group.first; k <= group.last; ++k)
    if (!model.row(k).marked && Actionable(model.row(k))) rows_.push_back(Row{k});
}

bool Copies::anyLeft(const ResultModel& model, int row) {
  for (size_t n = 0; n < rows_.size(); ++n) {
    const size_t k = (hint_ + n) % rows_.size();
    if (rows_[k].row != row && usable(model, rows_[k])) return hint_ = k, true;
  }
  return false;
}

bool Copies::copyOf(const ResultModel& model, int row, const fs::HeldFile& file, bool sameDevice) {
  device_ = sameDevice ? file.id().device : 0;
  sawItself_ = sawElsewhere_ = false;
  if (rows_.empty()) return false;
  if (tryKeeper(model, row, file)) return true;
  if (rows_.size() == 1) return tryFirst(model, row, file);
  const bool first = !std::exchange(searched_, true);
  return (first && tryFirst(model, row, file)) || tryDigests(model, row, file);
}

bool Copies::open(const QString& path, fs::HeldFile* file, int* error) {
  ++cost_.filesOpened;
  return file->open(path, error);
}

bool Copies::usable(const ResultModel& model, const Row& r) const {
  return !r.gone && r.row < model.count() && !model.row(r.row).marked && Actionable(model.row(r.row));
}

// Two different files (not one file under two names) with the same bytes,
// compared in chunks through their descriptors.
bool Copies::identical(const fs::HeldFile& a, const fs::HeldFile& b) {
  if (a.id() == b.id()) return sawItself_ = true, false;
  const qint64 size = a.size();
  if (size < 0 || b.size() != size) return false;
  const auto counted = [this](qint64 bytes) { return cost_.bytesRead += 2 * bytes, true; };
  if (!SameBytes(a, b, 0, size, counted)) return false;
  return a.size() == size && b.size() == size;
}

std::optional<ContentDigest> Copies::digestOf(const fs::ReadFile& file, qint64 size) {
  if (size < 0) return std::nullopt;
  return DigestOfContent(file, size, [this](qint64 bytes) { return cost_.bytesRead += bytes, true; });
}

bool Copies::takeWhenIdentical(const fs::HeldFile& file, fs::HeldFile& other, size_t k) {
  if (!suits(other.id().device)) return sawElsewhere_ = sawElsewhere_ || other.size() == file.size(), false;
  if (!identical(file, other) || !other.stillInPlace()) return false;
  keeperFile_ = std::move(other);
  keeper_ = k;
  return true;
}

bool Copies::tryKeeper(const ResultModel& model, int row, const fs::HeldFile& file) {
  if (keeper_ >= rows_.size() || rows_[keeper_].row == row || !usable(model, rows_[keeper_])) return false;
  if (!suits(keeperFile_.id().device)) return sawElsewhere_ = true, false;
  return identical(file, keeperFile_) && keeperFile_.stillInPlace();
}

bool Copies::tryFirst(const ResultModel& model, int row, const fs::HeldFile& file) {
  for (size_t k = 0; k < rows_.size(); ++k) {
    Row& r = rows_[k];
    if (r.row == row || !usable(model, r)) continue;
    if (k == keeper_) return false;  // tried already
    fs::HeldFile other;
    int error = 0;
    if (open(model.row(r.row).path, &other, &error)) return takeWhenIdentical(file, other, k);
    r.gone = true;
  }
  return false;
}

// Whether row `r` holds the content of the file `id` (its size and
// digest) on a file system the search takes; notes a row that is the file
// itself, and one of the same content elsewhere.
bool Copies::wanted(const Row& r, qint64 size, const ContentDigest& digest, fs::FileId id) {
  if (r.id == id) return sawItself_ = true, false;
  if (r.size != size || r.digest != digest) return false;
  if (!suits(r.id.device)) return sawElsewhere_ = true, false;
  return true;
}

bool Copies::tryDigests(const ResultModel& model, int row, const fs::HeldFile& file) {
  const qint64 size = file.size();
  const std::optional<ContentDigest> digest = digestOf(file, size);
  if (!digest) return false;
  const auto same = [&](const Row& r) { return wanted(r, size, *digest, file.id()); };

  // The rows digested before that hold the same content.
  const auto range = byDigest_.equal_range(digest->first);
  for (auto it = range.first; it != range.second;) {
    const size_t k = it->second;
    Row& r = rows_[k];
    if (k == keeper_ || r.row == row || !usable(model, r) || !same(r)) {
      ++it;
      continue;
    }
    fs::HeldFile other;
    int error = 0;
    if (!open(model.row(r.row).path, &other, &error)) {
      r.gone = true;
    } else if (takeWhenIdentical(file, other, k)) {
      return true;
    }
    it = byDigest_.erase(it);  // not what its digest said: not tried again
  }

  // The rows not digested yet, each once.
  while (nextUndigested_ < rows_.size()) {
    const size_t k = nextUndigested_++;
    Row& r = rows_[k];
    if (!usable(model, r)) continue;
    fs::HeldFile other;
    int error = 0;
    std::optional<ContentDigest> d;
    if (open(model.row(r.row).path, &other, &error)) {
      r.size = other.size();
      d = digestOf(other, r.size);
    }
    if (!d) {
      r.gone = true;
      continue;
    }
    r.digest = *d;
    r.id = other.id();
    if (k != keeper_ && r.row != row && same(r)) {
      if (takeWhenIdentical(file, other, k)) return true;
      continue;  // not what its digest said: not tried again
    }
    byDigest_.emplace(r.digest.first, k);
  }
  return false;
}
