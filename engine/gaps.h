// What a scan could not look at, counted by reason, so that nothing is left
// out silently: the window's end text stays as it is, zorvik-cli prints the
// counts.
#pragma once

#include <QtGlobal>

#include <algorithm>
#include <vector>

enum class Gap {
  FolderUnreadable,   // a folder that could not be listed
  EntryUnreadable,    // an entry of a listed folder that could not be looked at
  NameNotText,        // a name that is not valid in the file-name encoding
  NameWithLineBreak,  // a name that the list file cannot hold
  FileNotOpened,      // a file of the comparison that could not be opened
  FileChanged,        // a file that is no longer the one the walk listed
  FileUnreadable,     // a file whose reading failed
};

struct GapCount {
  Gap gap;
  int error;  // why: the system's code or one of the program's (fs.h); 0 when the gap says it all
  qint64 count;
};

class ScanGaps {
 public:
  void add(Gap gap, int error = 0, qint64 count = 1) {
    const auto same = [&](const GapCount& c) { return c.gap == gap && c.error == error; };
    const auto at = std::find_if(counts_.begin(), counts_.end(), same);
    if (at == counts_.end()) {
      counts_.push_back({gap, error, count});
    } else {
      at->count += count;
    }
  }
  void add(const ScanGaps& other) {
    for (const GapCount& c : other.counts_) add(c.gap, c.error, c.count);
  }
  // One entry per gap and reason, in the order first met.
  const std::vector<GapCount>& counts() const { return counts_; }
  qint64 total(Gap gap) const {
    qint64 sum = 0;
    for (const GapCount& c : counts_) sum += c.gap == gap ? c.count : 0;
    return sum;
  }

 private:
  std::vector<GapCount> counts_;
};
