// File-system operations the program needs, wrapped thinly around the
// operating system. No rules of the program live here.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cerrno>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace fs {

// The character that separates folders in a path.
inline constexpr QChar kSeparator = QLatin1Char('/');

// Identity of a physical file or folder (device and inode), so one reached
// twice (hard links, bind mounts, links, two spellings) is recognised.
struct FileId {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  bool operator==(const FileId&) const = default;
};
struct FileIdHash {
  size_t operator()(const FileId& id) const { return std::hash<std::uint64_t>()(id.device * 1000003u ^ id.inode); }
};

// What tells one state of a regular file from another without reading it:
// its identity, size, and the times of its last write, its last change of
// any kind (which no one can set back) and its birth, in nanoseconds since
// the epoch (birth 0 where the file system does not give it).
struct FileStamp {
  FileId id;
  qint64 size = 0;
  qint64 mtimeNs = 0;
  qint64 ctimeNs = 0;
  qint64 birthNs = 0;
  bool operator==(const FileStamp&) const = default;
};

// One entry of a folder listing.
struct DirEntry {
  QString name;
  bool isFolder = false;       // a folder (never a link to one)
  bool isFile = false;         // a regular file (never a link, FIFO, socket or device)
  bool hidden = false;         // the name begins with '.'
  bool hasOtherLinks = false;  // a regular file with more than one hard link
  bool mountedOver = false;    // a regular file mounted over this name
  // An entry that could not be looked at (neither isFolder nor isFile):
  // its name is not valid in the file-name encoding (nameNotText, and the
  // name is empty), or the system's code of the failed look (error).
  bool nameNotText = false;
  int error = 0;

  FileId id;         // for regular files
  qint64 size = 0;   // bytes, for regular files
  qint64 mtime = 0;  // last write, seconds since the epoch
  FileStamp stamp;   // for regular files
};

// Lists every entry of `folder` ("." and ".." left out) in the order the
// system gives them. The folder is opened without following a link in any
// component of its path. A name that does not survive the round trip to
// text and back comes back without its name (nameNotText), so nothing is
// ever acted on under a different name. Returns false (and lists nothing)
// when the folder cannot be listed, with the system's code in *error.
bool ListFolder(const QString& folder, FileId* id, std::vector<DirEntry>& entries, int* error = nullptr);

// The identity of the file at `path`, the last link not followed.
bool FileIdOf(const QString& path, FileId* id);

// Paths that the program acts on or writes to are resolved one component
// at a time, and two steps are refused:
//  - a link owned by someone other than the running user, standing in a
//    folder that is sticky and writable by others (and not the link
//    owner's), is not followed (kSharedLink);
//  - when running as root, a step from a folder or link owned by an
//    ordinary user into a folder, file or link owned by anyone else (root
//    included: ".." out of a user's folder, or a user's link to an absolute
//    path) is refused (kUnsafeStep).
// A path through more than 40 links fails with ELOOP.

// The absolute path of a folder with every link, "." and ".." resolved
// under those rules, and no trailing separator ("/" for the root); empty
// when it names no folder, with the reason in *error. Relative paths start
// at the working folder.
QString RealFolderPath(const QString& path, int* error = nullptr);

// Writes `bytes` to the output file `path` (a saved list). The folder is
// resolved under the rules and held; a link at the end is followed under
// them too (a dangling one: the file is made where it points). A new or
// regular file gets the bytes through a temporary file in the same folder,
// flushed and renamed over the name, so nothing half-written is ever left;
// where the folder cannot take a temporary file but the file is writable,
// the file is written directly. A device is written directly, a FIFO only
// when it has a reader (kNoReader). An existing regular file, FIFO or
// socket of another user is refused (kOtherOwner). False with *error.
// The bytes are given piece by piece: `bytes` hands every piece, in order,
// to the function it gets, and stops when that returns false.
using Pieces = std::function<void(const std::function<bool(QByteArrayView)>& put)>;
bool WriteOutput(const QString& path, const Pieces& bytes, int* error);
inline bool WriteOutput(const QString& path, const QByteArray& bytes, int* error) {
  return WriteOutput(
      path, [&](const auto& put) { put(bytes); }, error);
}

// Removes `folder` when it is empty, reached without a link (and, as root,
// without an unsafe step); false otherwise.
bool RemoveEmptyFolder(const QString& folder);

// Wildcard matching by the rules of the home platform: '*' any run, '?' one
// character, "*.*" every name, letter case ignored.
bool WildcardMatch(const QString& pattern, const QString& name);

// True when `path` names a folder, links followed.
bool FolderExists(const QString& path);

// The local date of `mtime` in the user's short date format.
QString ShortDateText(qint64 mtime);

// Creates a folder with its missing parents; an existing folder is success.
bool MakePath(const QString& folder);

// Error codes are the system's (errno), or one of these, which say what the
// program itself refused; they lie above every errno value.
inline constexpr int kThroughLink = 1001;  // a link in the path
inline constexpr int kNotAbsolute = 1002;  // a relative path
inline constexpr int kNotRegular = 1003;   // a FIFO, socket or device
inline constexpr int kChanged = 1004;      // changed while it was acted on
inline constexpr int kNoTrash = 1005;      // no trash folder can take the file
inline constexpr int kReplaced = 1006;     // another file than the scan found
inline constexpr int kUnsafeStep = 1007;   // as root: from a user's folder into one of another owner
inline constexpr int kSharedLink = 1008;   // another user's link in a shared sticky folder
inline constexpr int kOtherOwner = 1009;   // an existing output that belongs to another user
inline constexpr int kNoReader = 1010;     // a FIFO that nobody reads
inline constexpr int kAttributes = 1011;   // extended attributes or ACLs could not be carried
// Replacing a file by a link to its copy:
inline constexpr int kNoCopyOnThisFileSystem = 1012;  // its identical copies lie on other file systems
inline constexpr int kCloneUnsupported = 1013;        // the file system cannot share blocks between files
inline constexpr int kMetadataDiffers = 1014;         // owner or permissions differ from its copy's
inline constexpr int kLinkedAlready = 1015;           // it is already a name of its copy
inline constexpr int kSwapUnsupported = 1016;         // the file system cannot swap two names at once
inline constexpr int kFirstRefusal = kThroughLink;
inline constexpr int kLastRefusal = kSwapUnsupported;
// Whether `error` is one of the program's own refusals rather than a
// system error code.
inline bool IsRefusal(int error) { return error >= kFirstRefusal && error <= kLastRefusal; }
// A short text for an error code, in English.
QString ErrorText(int error);

// Raises the limit on the files this program may hold open to the most the
// system allows it, so that a long command never runs short of descriptors.
void RaiseOpenFileLimit();
// How many files this program may hold open at once.
qint64 OpenFileLimit();

// A file opened for streamed reading, checked to be a regular file.
class ReadFile {
 public:
  ReadFile() = default;
  ReadFile(const ReadFile&) = delete;
  ReadFile& operator=(const ReadFile&) = delete;
  ReadFile(ReadFile&& other) noexcept : fd_(other.fd_), holes_(other.holes_), stamp_(other.stamp_) { other.fd_ = -1; }
  ReadFile& operator=(ReadFile&& other) noexcept;
  ~ReadFile() { close(); }

  // Opens `path` for reading, without following a link in any component
  // of the path and without waiting (for a FIFO's writer, say), then checks
  // what it opened: it must be a regular file and, when expectedSize >= 0,
  // of that size. The path is looked up once. On failure *error holds
  // kThroughLink, kNotRegular (a folder, FIFO, socket or device),
  // kChanged (another size) or the system's code.
  bool open(const QString& path, qint64 expectedSize = -1, int* error = nullptr);
  // Reads exactly `length` bytes at `offset`; false on error (errno holds
  // the code) or a short read (errno is 0: the file is shorter now).
  bool readAt(qint64 offset, char* buffer, qint64 length) const;
  // Reads as readAt does, but only when the system has every one of the
  // bytes in its cache; false otherwise (then the buffer holds nothing).
  bool readCachedAt(qint64 offset, char* buffer, qint64 length) const;
  // The current size, or -1.
  qint64 size() const;
  // Whether the file may have holes: fewer blocks are stored than its size
  // needs. Only then is it worth asking where its data lies. (After open(),
  // as it was when opened: a hint, since holes read as zeros anyway.)
  bool mayHaveHoles() const;
  // The first offset at or after `offset` that is not in a hole: the size
  // when only a hole follows, `offset` itself where the system cannot tell.
  // Holes read as zero bytes.
  qint64 dataFrom(qint64 offset) const;
  // Asks the system to read `length` bytes at `offset` into its cache for
  // a read soon, without waiting for them; false when it cannot.
  bool preload(qint64 offset, qint64 length) const;
  bool isOpen() const { return fd_ >= 0; }
  void close();
  // The stamp of the file open() opened, as it saw it through the
  // descriptor (before any read); false when open() opened none.
  bool stamp(FileStamp* out) const;
  // Whether the running user owns the opened file.
  bool ownedByUser() const;

 protected:
  int fd_ = -1;

 private:
  friend class BatchRead;
  int holes_ = -1;   // whether the file had holes when open() opened it; -1: not known
  FileStamp stamp_;  // what open() saw
};

// Reads the first bytes of several open files together. Where the system
// offers io_uring, the reads go to it in one submission, so that the disk
// gets them at once (adjacent ones merged); elsewhere, or when the ring
// fails, they are read one after another. Each file is read exactly as
// ReadFile::readAt reads it; a read never depends on another one.
class BatchRead {
 public:
  struct Item {
    const ReadFile* file = nullptr;
    char* buffer = nullptr;
    qint64 length = 0;    // bytes read from the start of the file
    bool cached = false;  // every byte came from the system's cache
    bool read = false;    // the `length` bytes were read
    int error = 0;        // errno of a failed read; 0: the file was shorter
  };
  // A ring for up to `depth` reads at once; with a depth of 1, none.
  explicit BatchRead(unsigned depth);
  ~BatchRead();
  BatchRead(const BatchRead&) = delete;
  BatchRead& operator=(const BatchRead&) = delete;
  void read(std::vector<Item>& items);

 private:
  struct Ring;
  // Submits the reads of `items` (indices in `which`) with `flags`, and
  // gives each its result; false when the ring failed (then it is gone).
  bool submit(std::vector<Item>& items, const std::vector<size_t>& which, int flags, std::vector<int>& results);
  // Ends the read of `item` from what the ring gave (`got`: bytes, or
  // -errno; -EAGAIN: nothing yet), reading the rest itself where needed.
  static void Settle(Item& item, int got);
  std::unique_ptr<Ring> ring_;
};

// A folder held open for a whole run: the Move destination. It is resolved
// once under the rules above, its missing folders are made on the way (as
// root, never inside a folder of an ordinary user), and every later use
// goes through the descriptor, so a component swapped for a link
// afterwards changes nothing.
class HeldFolder {
 public:
  HeldFolder() = default;
  HeldFolder(const HeldFolder&) = delete;
  HeldFolder& operator=(const HeldFolder&) = delete;
  ~HeldFolder() { close(); }

  // Opens `path`, making missing folders; false with *error.
  bool open(const QString& path, int* error);
  bool isOpen() const { return fd_ >= 0; }
  void close();

 private:
  friend class HeldFile;
  int fd_ = -1;
};

// The ways a file's name can be made to share the content of another file.
enum class LinkKind {
  Hard,      // another name of the other file
  Symbolic,  // a symbolic link holding the other file's path
  Clone,     // the file keeps its own name and inode, its blocks are shared
};

// The owner, group and permission bits of a file.
struct Ownership {
  std::uint32_t user = 0, group = 0;
  int mode = 0;
  bool operator==(const Ownership&) const = default;
};

// The names a link under way has while both files are in its folder begin
// with this; one found later was left by a run that was stopped.
inline constexpr char kLinkTempPrefix[] = ".zorvik-link-";

// A file that processing acts on. It is opened through its folder, which is
// opened without following a link in any component of the path; the file
// itself must be a regular file. Every action then goes through these two
// descriptors and acts on the name in the opened folder only while that
// name still refers to the file that was opened, so a folder swapped for a
// link, or a name swapped for another file, never redirects an action.
class HeldFile : public ReadFile {
 public:
  HeldFile() = default;
  HeldFile(HeldFile&& other) noexcept;
  HeldFile& operator=(HeldFile&& other) noexcept;
  ~HeldFile();

  // Opens `path`. On failure *error holds ENOENT (nothing there), EISDIR (a
  // folder), kThroughLink, kNotAbsolute, kNotRegular, kUnsafeStep (as root:
  // a folder or file of another owner inside a user's folder) or the
  // system's code.
  bool open(const QString& path, int* error);
  const QString& path() const { return path_; }
  FileId id() const { return id_; }
  FileId folderId() const { return folderId_; }  // the folder opened

  // Adds the owner's write permission (the read-only state is cleared).
  bool clearReadOnly();
  // Puts back the permissions that clearReadOnly changed.
  void restoreMode();
  // Deletes the file. On failure *error holds the code.
  bool remove(int* error);
  // Moves the file into the held `folder` under its own name, never
  // replacing an existing name. Across file systems it is copied from the
  // descriptor with its owner, permissions, times and every extended
  // attribute it has (ACLs among them), flushed, put in place, and the
  // original is removed only when it did not change since the copy began;
  // otherwise both stay (kChanged; kAttributes when the target cannot take
  // an attribute).
  bool moveInto(const HeldFolder& folder, int* error);
  // Sends the file to the desktop's trash (the freedesktop.org trash of the
  // user, or the one at the top of the file system that holds the file),
  // under its own name or, when the trash holds that name, the name with a
  // random ending.
  bool moveToTrash(int* error);
  // Removes the folder that held the file when it is now empty: only that
  // folder, and only while its path still leads to it without a link.
  bool removeFolderIfEmpty();

  // Whether the name in the opened folder still refers to the opened file.
  bool stillInPlace() const;
  // The owner, group and permissions of the opened file.
  bool ownership(Ownership* out) const;

  // Makes the name of this file share the content of `target`, a different
  // file already proved to hold the same bytes. A hard or symbolic link is
  // made under a temporary name (kLinkTempPrefix) in this file's folder and
  // swapped with the name in one step; the swapped-out name must then hold
  // this very file, and only then is it removed. When anything else is
  // found, the names are swapped back, the temporary name is removed and
  // this file stays (kChanged), so at every moment every byte is reachable
  // under the name or the temporary one. A clone asks the kernel to share
  // the blocks of both files where it finds them equal itself: the file
  // keeps its name, inode, owner, permissions and times (kCloneUnsupported
  // where the file system cannot; kChanged when a range differs or a size
  // changed). A symbolic link holds target's path, and belongs to this
  // file's owner. kSwapUnsupported where the folder's file system cannot
  // swap two names; the system's code otherwise.
  bool replaceByLink(const HeldFile& target, LinkKind kind, int* error);
  // The names in the opened folder that begin with kLinkTempPrefix, as paths.
  QStringList leftoverLinks() const;

 private:
  void closeAll();

  int dir_ = -1;
  QByteArray name_;  // the name in the folder, as the system's bytes
  QString path_;
  FileId id_, folderId_;
  int modeBefore_ = -1;  // the permissions before clearReadOnly changed them
};

// For tests: called with the path once a held file is opened and before
// anything is done to it, so a test can change the tree at that moment.
extern void (*g_beforeAction)(const QString& path);
// For tests: called after each step of replaceByLink (0: nothing is done
// yet, the copy is proved; 1: the link is made
// under its temporary name, 2: the names are swapped, 3: the swapped-out
// name was checked, 4: it was removed), so a test can stop the process or
// change the tree there.
extern void (*g_afterLinkStep)(int step);

}  // namespace fs
