#include "engine/walk.h"

#include "engine/scan.h"

#include <utility>

namespace {
constexpr qint64 kSmallFile = 20480;
}  // namespace

Walker::Walker(ScanHost& host, RunToken run, CandidateList& list, ContentCache* cache)
    : host_(host), run_(std::move(run)), list_(list), cache_(cache) {}

void Walker::ScanRoots(const QStringList& roots) {
  const qsizetype count = roots.size();
  for (qsizetype i = 0; i < count; ++i) {
    QString folder = roots[i];
    if (folder.isEmpty()) continue;  // an empty piece of the folders text names nothing
    if (!folder.endsWith(fs::kSeparator)) folder += fs::kSeparator;
    ScanFolder(folder, host_.mask());
  }
  if (!mountedFiles_.empty() && run_.running()) dropSecondNamesOfMountedFiles();
}

void Walker::dropSecondNamesOfMountedFiles() {
  std::unordered_set<fs::FileId, fs::FileIdHash> listed;
  list_.eraseIf([&](const CandidateRecord& record) {
    fs::FileId id;
    return fs::FileIdOf(record.path, &id) && mountedFiles_.count(id) && !listed.insert(id).second;
  });
}

bool Walker::countedAsGap(const fs::DirEntry& entry, const QString& mask) {
  if (entry.error != 0) {
    gaps_.add(Gap::EntryUnreadable, entry.error);
  } else if (entry.nameNotText) {
    gaps_.add(Gap::NameNotText);
  } else if (HasLineBreak(entry.name) &&
             (entry.isFile ? fs::WildcardMatch(mask, entry.name) : entry.isFolder && !entry.hidden)) {
    gaps_.add(Gap::NameWithLineBreak);
  } else {
    return false;
  }
  return true;
}

bool Walker::accepts(const fs::DirEntry& entry, const QString& mask) {
  if (!entry.isFile || HasLineBreak(entry.name) || !fs::WildcardMatch(mask, entry.name)) return false;
  if (host_.skipSmall() ? entry.size < kSmallFile : host_.skipEmpty() && entry.size == 0) return false;
  // A file with another name already listed is not listed again.
  if (entry.hasOtherLinks && !linkedFiles_.insert(entry.id).second) return false;
  if (entry.mountedOver) mountedFiles_.insert(entry.id);
  return true;
}

void Walker::ScanFolder(const QString& folder, const QString& mask) {
  host_.pump();
  if (!run_.running()) return;

  fs::FileId id;
  std::vector<fs::DirEntry> entries;
  int error = 0;
  if (!fs::ListFolder(folder, &id, entries, &error)) {
    gaps_.add(Gap::FolderUnreadable, error);
    return;
  }
  if (!visited_.insert(id).second) return;

  // Files: every entry that matches the mask and passes the size options.
  for (const fs::DirEntry& entry : entries) {
    host_.pump();
    // After a stop the listing is finished, unless a newer scan has begun.
    if (run_.superseded()) return;
    if (countedAsGap(entry, mask) || !accepts(entry, mask)) continue;
    const int cached = cache_ ? cache_->trusted(entry.stamp) : -1;
    list_.add(CandidateRecord{entry.size, folder + entry.name, entry.mtime, false, cached, id, entry.id.inode});
    host_.report(ScanEvent::fileFound(entry.name));
  }

  // Subfolders: hidden ones are not entered, whatever the mask.
  for (const fs::DirEntry& entry : entries) {
    if (!entry.isFolder || entry.hidden || HasLineBreak(entry.name)) continue;
    host_.pump();
    ScanFolder(folder + entry.name + fs::kSeparator, mask);
  }
}
