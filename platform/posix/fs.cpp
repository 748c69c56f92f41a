// POSIX implementation of the file-system operations.
#include "platform/fs.h"
#include "platform/posix/native.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QStandardPaths>

#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <stdio.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <utility>

namespace fs {
namespace native {

// Opens `path` without following a link in any of its components: a link
// anywhere on the way fails with ELOOP. openat2 does it in one call; where
// the kernel lacks it, the path is opened one component at a time.
int OpenNoLinks(const char* path, int flags) {
  static bool haveOpenat2 = true;
  if (haveOpenat2) {
    open_how how{};
    how.flags = static_cast<__u64>(static_cast<unsigned>(flags | O_CLOEXEC));
    how.resolve = RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
    const long fd = syscall(SYS_openat2, AT_FDCWD, path, &how, sizeof how);
    if (fd >= 0) return static_cast<int>(fd);
    if (errno != ENOSYS) return -1;
    haveOpenat2 = false;
  }
  if (path[0] != '/') {
    errno = EINVAL;
    return -1;
  }
  int fd = ::open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  const char* p = path;
  while (fd >= 0) {
    while (*p == '/') ++p;
    if (*p == 0) break;
    const char* end = std::strchr(p, '/');
    if (!end) end = p + std::strlen(p);
    const std::string part(p, end);
    const char* rest = end;
    while (*rest == '/') ++rest;
    const bool last = *rest == 0;
    if (part == "." || part == "..") {
      ::close(fd);
      errno = EINVAL;
      return -1;
    }
    const int next = openat(fd, part.c_str(), (last ? flags : O_RDONLY | O_DIRECTORY) | O_NOFOLLOW | O_CLOEXEC);
    int saved = errno;
    struct stat st;
    if (next < 0 && saved == ENOTDIR && fstatat(fd, part.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode))
      saved = ELOOP;
    ::close(fd);
    errno = saved;
    fd = next;
    p = end;
  }
  return fd;
}

}  // namespace native

using native::Encode;
using native::IdOf;
using native::OpenNoLinks;

namespace {

// A path as the system's bytes, made on the stack when it is plain ASCII:
// the common case, and the one every file of a scan goes through.
class NativePath {
 public:
  explicit NativePath(const QString& path) {
    const qsizetype n = path.size();
    if (n < qsizetype(sizeof ascii_)) {
      const char16_t* p = reinterpret_cast<const char16_t*>(path.constData());
      qsizetype i = 0;
      while (i < n && p[i] != 0 && p[i] < 0x80) {
        ascii_[i] = static_cast<char>(p[i]);
        ++i;
      }
      if (i == n) {
        ascii_[n] = 0;
        data_ = ascii_;
        return;
      }
    }
    other_ = Encode(path);
    data_ = other_.constData();
  }
  NativePath(const NativePath&) = delete;
  NativePath& operator=(const NativePath&) = delete;
  const char* c_str() const { return data_; }

 private:
  char ascii_[1024];
  QByteArray other_;
  const char* data_;
};

// Turns a name from the system into text, or an empty text when the bytes
// are not valid in the locale's encoding (they would not name the same file
// when turned back).
QString DecodeName(const char* raw) {
  const size_t length = std::strlen(raw);
  bool ascii = true;
  for (size_t i = 0; i < length; ++i) {
    if (static_cast<unsigned char>(raw[i]) >= 0x80) {
      ascii = false;
      break;
    }
  }
  if (ascii) return QString::fromLatin1(raw, static_cast<qsizetype>(length));
  const QByteArray bytes(raw, static_cast<qsizetype>(length));
  QString name = QFile::decodeName(bytes);
  if (QFile::encodeName(name) != bytes) return QString();
  return name;
}

bool IsHiddenName(const QString& name) { return name.startsWith(QLatin1Char('.')); }

// What statx is asked for: the basic fields and the birth time.
constexpr unsigned kStampMask = STATX_BASIC_STATS | STATX_BTIME;

qint64 Nanoseconds(const struct statx_timestamp& t) { return t.tv_sec * 1000000000LL + t.tv_nsec; }

FileStamp StampOf(const struct statx& st) {
  FileStamp stamp;
  stamp.id = {makedev(st.stx_dev_major, st.stx_dev_minor), st.stx_ino};
  stamp.size = static_cast<qint64>(st.stx_size);
  stamp.mtimeNs = Nanoseconds(st.stx_mtime);
  stamp.ctimeNs = Nanoseconds(st.stx_ctime);
  stamp.birthNs = (st.stx_mask & STATX_BTIME) != 0 ? Nanoseconds(st.stx_btime) : 0;
  return stamp;
}

// Fills `entry` from one entry of the listing of folder `dfd`; false for an
// entry that is left out. Links are never followed: a link to a file is not
// a candidate (the file is found under its own name) and a link to a folder
// is not entered. An entry that could not be looked at comes back with the
// reason (DirEntry::error, DirEntry::nameNotText).
bool ReadEntry(int dfd, const dirent* d, DirEntry& entry) {
  const char* raw = d->d_name;
  if (raw[0] == '.' && (raw[1] == 0 || (raw[1] == '.' && raw[2] == 0))) return false;
  const unsigned char type = d->d_type;
  if (type != DT_UNKNOWN && type != DT_REG && type != DT_DIR) return false;
  struct statx st {};
  if (type != DT_DIR) {
    if (statx(dfd, raw, AT_SYMLINK_NOFOLLOW, kStampMask, &st) != 0) {
      entry.error = errno;
      return true;
    }
    if (!S_ISDIR(st.stx_mode) && !S_ISREG(st.stx_mode)) return false;
  }
  entry.name = DecodeName(raw);
  if (entry.name.isEmpty()) {
    entry.nameNotText = true;
    return true;
  }
  entry.hidden = IsHiddenName(entry.name);
  if (type == DT_DIR || S_ISDIR(st.stx_mode)) return entry.isFolder = true;
  entry.isFile = true;
  entry.stamp = StampOf(st);
  entry.size = entry.stamp.size;
  entry.mtime = st.stx_mtime.tv_sec;
  entry.id = entry.stamp.id;
  entry.hasOtherLinks = st.stx_nlink > 1;
  // A file mounted over this name shows another inode than the listing.
  entry.mountedOver = d->d_ino != st.stx_ino;
  return true;
}

}  // namespace

void (*g_beforeAction)(const QString& path) = nullptr;

bool ListFolder(const QString& folder, FileId* id, std::vector<DirEntry>& entries, int* error) {
  entries.clear();
  int failed = 0;
  if (!error) error = &failed;
  const int fd = OpenNoLinks(NativePath(folder).c_str(), O_RDONLY | O_DIRECTORY);
  if (fd < 0) {
    *error = errno == ELOOP ? kThroughLink : errno;
    return false;
  }
  DIR* dir = fdopendir(fd);
  if (!dir) {
    *error = errno;
    ::close(fd);
    return false;
  }
  const int dfd = dirfd(dir);
  struct stat st;
  if (fstat(dfd, &st) != 0) {
    *error = errno;
    closedir(dir);
    return false;
  }
  if (id) *id = IdOf(st);
  errno = 0;
  while (const dirent* d = readdir(dir)) {
    DirEntry entry;
    if (ReadEntry(dfd, d, entry)) entries.push_back(std::move(entry));
    errno = 0;
  }
  // A listing cut short by an error lists nothing rather than a part.
  const int ended = errno;
  closedir(dir);
  if (ended != 0) {
    entries.clear();
    *error = ended;
    return false;
  }
  return true;
}

bool FileIdOf(const QString& path, FileId* id) {
  struct stat st;
  if (lstat(NativePath(path).c_str(), &st) != 0) return false;
  *id = IdOf(st);
  return true;
}

QString ErrorText(int error) {
  switch (error) {
    case kThroughLink:
      return QStringLiteral("the path leads through a link");
    case kNotAbsolute:
      return QStringLiteral("the path is not absolute");
    case kNotRegular:
      return QStringLiteral("not a regular file");
    case kChanged:
      return QStringLiteral("the file changed while it was processed");
    case kNoTrash:
      return QStringLiteral("no usable trash folder for this file");
    case kReplaced:
      return QStringLiteral("not the file the scan found under this name");
    case kUnsafeStep:
      return QStringLiteral("the path leads from a folder of one user into a folder or file of another");
    case kSharedLink:
      return QStringLiteral("the path leads through another user's link in a shared folder");
    case kOtherOwner:
      return QStringLiteral("the file belongs to another user");
    case kNoReader:
      return QStringLiteral("a FIFO that nobody reads");
    case kAttributes:
      return QStringLiteral("its extended attributes or ACLs could not be carried over");
    case kNoCopyOnThisFileSystem:
      return QStringLiteral("no identical copy on this file system");
    case kCloneUnsupported:
      return QStringLiteral("sharing blocks between files is not supported here");
    case kMetadataDiffers:
      return QStringLiteral("its owner or permissions differ from those of its copy");
    case kLinkedAlready:
      return QStringLiteral("already a link of its copy");
    case kSwapUnsupported:
      return QStringLiteral("swapping two names at once is not supported here");
    case EISDIR:
      return QStringLiteral("a folder, not a file");
    default:
      return QString::fromLocal8Bit(std::strerror(error));
  }
}

void RaiseOpenFileLimit() {
  struct rlimit limit;
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == limit.rlim_max) return;
  limit.rlim_cur = limit.rlim_max;
  setrlimit(RLIMIT_NOFILE, &limit);
}

qint64 OpenFileLimit() {
  struct rlimit limit;
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return 1024;
  return limit.rlim_cur == RLIM_INFINITY ? std::numeric_limits<qint64>::max() : static_cast<qint64>(limit.rlim_cur);
}

bool FolderExists(const QString& path) {
  struct stat st;
  return !path.isEmpty() && stat(Encode(path).constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool MakePath(const QString& folder) {
  QByteArray p = Encode(folder);
  if (p.isEmpty()) return false;
  for (qsizetype i = 1; i <= p.size(); ++i) {
    if (i == p.size() || p[i] == '/') {
      const QByteArray part = p.left(i);
      if (mkdir(part.constData(), 0777) != 0 && errno != EEXIST) return false;
    }
  }
  struct stat st;
  return stat(p.constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

ReadFile& ReadFile::operator=(ReadFile&& other) noexcept {
  if (this != &other) {
    close();
    fd_ = other.fd_;
    holes_ = other.holes_;
    stamp_ = other.stamp_;
    other.fd_ = -1;
  }
  return *this;
}

// Opening for reading follows no link and never waits (for a FIFO's writer,
// say), nor makes a terminal the program's own.
constexpr int kReadFlags = O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY;

bool ReadFile::stamp(FileStamp* out) const {
  if (fd_ < 0 || stamp_.id == FileId{}) return false;  // none open, or not opened by open()
  *out = stamp_;
  return true;
}

bool ReadFile::ownedByUser() const {
  struct stat st;
  return fd_ >= 0 && fstat(fd_, &st) == 0 && st.st_uid == geteuid();
}

bool ReadFile::open(const QString& path, qint64 expectedSize, int* error) {
  close();
  int failed = 0;
  if (!error) error = &failed;
  // One lookup: whatever is found under the path is opened (a FIFO without
  // waiting for a writer) and then looked at through the descriptor, so no
  // file can be swapped in between the look and the open.
  const int fd = OpenNoLinks(NativePath(path).c_str(), kReadFlags);
  if (fd < 0) {
    *error = errno == ELOOP ? kThroughLink : errno;
    return false;
  }
  // One look through the descriptor gives what the checks need and the
  // file's stamp.
  struct statx st {};
  if (statx(fd, "", AT_EMPTY_PATH, kStampMask, &st) != 0)
    *error = errno;
  else if (!S_ISREG(st.stx_mode))
    *error = S_ISDIR(st.stx_mode) ? EISDIR : kNotRegular;
  else if (expectedSize >= 0 && static_cast<qint64>(st.stx_size) != expectedSize)
    *error = kChanged;
  else
    *error = 0;
  if (*error != 0) {
    ::close(fd);
    return false;
  }
  const auto size = static_cast<qint64>(st.stx_size);
  // Read-ahead helps long streams only; a small file is read in one go.
  if (size > (1 << 20)) posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  fd_ = fd;
  holes_ = static_cast<qint64>(st.stx_blocks) * 512 < size;
  stamp_ = StampOf(st);
  return true;
}

bool ReadFile::readAt(qint64 offset, char* buffer, qint64 length) const {
  while (length > 0) {
    const ssize_t got = pread(fd_, buffer, static_cast<size_t>(length), offset);
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (got == 0) {
      errno = 0;  // shorter than it was: no error of the system's
      return false;
    }
    buffer += got;
    offset += got;
    length -= got;
  }
  return true;
}

bool ReadFile::readCachedAt(qint64 offset, char* buffer, qint64 length) const {
  iovec io{buffer, static_cast<size_t>(length)};
  return preadv2(fd_, &io, 1, offset, RWF_NOWAIT) == static_cast<ssize_t>(length);
}

qint64 ReadFile::size() const {
  struct stat st;
  return fd_ >= 0 && fstat(fd_, &st) == 0 ? st.st_size : -1;
}

bool ReadFile::mayHaveHoles() const {
  if (holes_ >= 0) return holes_ == 1;
  struct stat st;
  return fd_ >= 0 && fstat(fd_, &st) == 0 && st.st_blocks * 512 < st.st_size;
}

bool ReadFile::preload(qint64 offset, qint64 length) const {
  // The system reads ahead at most its window a call: asked in steps.
  constexpr qint64 kStep = 4 << 20;
  for (qint64 at = offset; at < offset + length; at += kStep)
    if (fd_ < 0 || readahead(fd_, at, static_cast<size_t>(std::min(kStep, offset + length - at))) != 0) return false;
  return true;
}

qint64 ReadFile::dataFrom(qint64 offset) const {
  const off_t data = lseek(fd_, offset, SEEK_DATA);
  if (data >= 0) return data;
  if (errno != ENXIO) return offset;  // the system cannot tell: data
  return std::max(offset, size());    // nothing but a hole up to the end
}

void ReadFile::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  holes_ = -1;
  stamp_ = {};
}

}  // namespace fs
