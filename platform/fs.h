// File-system operations the program needs, wrapped thinly around the
// operating system. No rules of the program live here.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

namespace fs {

// The character that separates folders in a path.
inline constexpr QChar kSeparator = QLatin1Char('/');

// Identity of a physical folder (device and inode), so a folder reached
// twice (links, bind mounts, two spellings) is recognised.
struct FolderId {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  bool operator==(const FolderId&) const = default;
};

// One entry of a folder listing.
struct DirEntry {
  QString name;
  bool isFolder = false;   // a folder, or a link to one
  bool isFile = false;     // a regular file (never a link, FIFO, socket or device)
  bool hidden = false;     // the name begins with '.'
  qint64 size = 0;         // bytes, for regular files
  qint64 mtime = 0;        // last write, seconds since the epoch
};

// Lists every entry of `folder` ("." and ".." left out) in the order the
// system gives them. Names that do not survive the round trip to text and
// back are left out, so nothing is ever acted on under a different name.
// Returns false (and lists nothing) when the folder cannot be listed.
bool ListFolder(const QString& folder, FolderId* id, std::vector<DirEntry>& entries);

// True when every entry of the folder other than "." and ".." is absent,
// or when the folder cannot be listed.
bool FolderLooksEmpty(const QString& folder);

// Wildcard matching by the rules of the home platform: '*' any run, '?' one
// character, "*.*" every name, letter case ignored.
bool WildcardMatch(const QString& pattern, const QString& name);

// True when `path` names a folder, links followed.
bool FolderExists(const QString& path);

// True when `path` names an existing file that is not a folder.
bool FileExists(const QString& path);

// The local date of `mtime` in the user's short date format.
QString ShortDateText(qint64 mtime);

// Clears the read-only state: adds the owner's write permission.
bool ResetAttributes(const QString& path);

// Deletes one file (or a link). On failure *error holds the system's code.
bool RemoveFile(const QString& path, int* error);

// Moves a file; never replaces an existing target. Across file systems the
// file is copied, flushed to disk and only then removed at its source; a
// failed copy leaves no partial target behind.
bool MoveFile(const QString& from, const QString& to);

// Sends a file to the desktop's trash.
bool MoveToTrash(const QString& path);

// Creates a folder with its missing parents; an existing folder is success.
bool MakePath(const QString& folder);

// Removes an empty folder.
bool RemoveFolder(const QString& folder);

// A file opened for streamed reading, checked to be a regular file.
class ReadFile {
 public:
  ReadFile() = default;
  ReadFile(const ReadFile&) = delete;
  ReadFile& operator=(const ReadFile&) = delete;
  ReadFile(ReadFile&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  ReadFile& operator=(ReadFile&& other) noexcept;
  ~ReadFile() { close(); }

  // Opens `path` for reading. Fails when it is not a regular file or, when
  // expectedSize >= 0, when its size is not expectedSize. Never blocks on a
  // FIFO or a device.
  bool open(const QString& path, qint64 expectedSize = -1);
  // Opens a file that the walk has just listed as a regular file, for a
  // first look, without open()'s look at the path: one lookup less per file.
  // A link, FIFO or folder that took its place since is not followed, does
  // not block and fails the read; nothing read this way may prove two files
  // equal by itself. Never for a path from anywhere else.
  bool openListed(const QString& path);
  // Reads exactly `length` bytes at `offset`; false on error or short read.
  bool readAt(qint64 offset, char* buffer, qint64 length);
  // The current size, or -1.
  qint64 size() const;
  bool isOpen() const { return fd_ >= 0; }
  void close();

 private:
  int fd_ = -1;
};

}  // namespace fs
