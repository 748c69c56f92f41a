// Processing's groups, and its search for an identical copy of a marked
// file among the unmarked rows of its group.
#pragma once

#include "engine/bytes.h"
#include "platform/fs.h"
#include "results/model.h"
#include "results/processing.h"

#include <cstdint>
#include <optional>
#include <unordered_map>
#include <vector>

// A row that names a file the run can act on.
inline bool Actionable(const ResultRow& row) { return row.hasSubItems && !row.path.isEmpty(); }

// The rows of the group that holds a row: the rows between separators (a
// row whose caption was emptied stands alone).
struct Group {
  int first = 0, last = -1;
  bool holds(int i) const { return first <= i && i <= last; }
};
Group GroupOf(const ResultModel& model, int i);

// The rows of the group being processed that were unmarked when the run
// reached it: the copies a marked file may leave behind. A marked file's
// copy is looked for in three steps, each only when the one before found
// none:
// - the copy found last, held open, so a kept file and its marked copies
//   read each file once per copy and open nothing else;
// - the first row, compared directly, at the group's first search, and
//   always when the group holds one unmarked row: a digest spares nothing
//   there;
// - the rows whose size and content digest equal the file's, compared byte
//   for byte. Every row is digested once per group, when first needed.
// So a group costs reads in proportion to its rows, however many of them
// are marked and however many differ. A row that cannot be opened, or whose
// bytes are not what its digest said, is not tried again. (A marked file
// kept in place is no copy for the rest: keeping more than the rule asks
// loses nothing.)
class Copies {
 public:
  explicit Copies(ProcessCost& cost) : cost_(cost) {}

  // Gathers the unmarked rows of `group`, unless it is the group already held.
  void enter(const ResultModel& model, const Group& group);
  // Whether an unmarked row other than `row` is left in the group.
  bool anyLeft(const ResultModel& model, int row);
  // Whether an unmarked row of the group names another file with the same
  // bytes as `file`, still in place; with `sameDevice`, one on the file
  // system of `file` (copies elsewhere are passed over, and stay for the
  // files they suit).
  bool copyOf(const ResultModel& model, int row, const fs::HeldFile& file, bool sameDevice = false);
  // The copy the last successful copyOf found, held open.
  const fs::HeldFile& copy() const { return keeperFile_; }
  // Why the last copyOf found none, when the group shows why: the file is
  // a name of an unmarked row's file (fs::kLinkedAlready), or its copies
  // lie on other file systems only (fs::kNoCopyOnThisFileSystem); else 0.
  int missReason() const { return sawItself_ ? fs::kLinkedAlready : sawElsewhere_ ? fs::kNoCopyOnThisFileSystem : 0; }

  // Opens a file, counted in the cost.
  bool open(const QString& path, fs::HeldFile* file, int* error);

 private:
  struct Row {
    int row = -1;
    bool gone = false;  // could not be opened or read: no copy, and not left
    qint64 size = -1;   // with the digest, once digested
    ContentDigest digest{};
    fs::FileId id{};
  };

  bool usable(const ResultModel& model, const Row& r) const;
  // Whether a copy on `device` suits the file being searched for.
  bool suits(std::uint64_t device) const { return device_ == 0 || device == device_; }
  bool identical(const fs::HeldFile& a, const fs::HeldFile& b);
  std::optional<ContentDigest> digestOf(const fs::ReadFile& file, qint64 size);
  // Keeps `other`, row k of the group, as the copy to try first when it is
  // an identical copy of `file`.
  bool takeWhenIdentical(const fs::HeldFile& file, fs::HeldFile& other, size_t k);
  bool tryKeeper(const ResultModel& model, int row, const fs::HeldFile& file);
  bool tryFirst(const ResultModel& model, int row, const fs::HeldFile& file);
  bool tryDigests(const ResultModel& model, int row, const fs::HeldFile& file);
  bool wanted(const Row& r, qint64 size, const ContentDigest& digest, fs::FileId id);

  ProcessCost& cost_;
  Group group_{0, -1};
  std::vector<Row> rows_;
  // The digested rows by the first half of their digest.
  std::unordered_multimap<std::uint64_t, size_t> byDigest_;
  bool searched_ = false;      // the group has been searched once
  size_t nextUndigested_ = 0;  // rows before it were digested (or are gone)
  size_t hint_ = 0;            // where anyLeft last found a row
  size_t keeper_ = SIZE_MAX;   // the row of the copy found last
  fs::HeldFile keeperFile_;
  // The search under way: the device a copy must be on (0: any), and what
  // it saw besides copies.
  std::uint64_t device_ = 0;
  bool sawItself_ = false, sawElsewhere_ = false;
};
