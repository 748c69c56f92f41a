// POSIX implementation of the file-system operations.
#include "platform/fs.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QStandardPaths>

#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace fs {
namespace {

QByteArray Encode(const QString& path) { return QFile::encodeName(path); }

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

bool SameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }
FileId IdOf(const struct stat& st) {
  return FileId{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

}  // namespace

void (*g_beforeAction)(const QString& path) = nullptr;

bool ListFolder(const QString& folder, FileId* id, std::vector<DirEntry>& entries) {
  entries.clear();
  const int fd = OpenNoLinks(NativePath(folder).c_str(), O_RDONLY | O_DIRECTORY);
  if (fd < 0) return false;
  DIR* dir = fdopendir(fd);
  if (!dir) {
    ::close(fd);
    return false;
  }
  const int dfd = dirfd(dir);
  struct stat st;
  if (fstat(dfd, &st) != 0) {
    closedir(dir);
    return false;
  }
  if (id) *id = IdOf(st);
  while (dirent* d = readdir(dir)) {
    const char* raw = d->d_name;
    if (raw[0] == '.' && (raw[1] == 0 || (raw[1] == '.' && raw[2] == 0))) continue;
    const unsigned char type = d->d_type;
    // Links are never followed: a link to a file is not a candidate (the
    // file is found under its own name) and a link to a folder is not entered.
    if (type != DT_UNKNOWN && type != DT_REG && type != DT_DIR) continue;
    DirEntry entry;
    entry.name = DecodeName(raw);
    if (entry.name.isEmpty()) continue;
    entry.hidden = IsHiddenName(entry.name);
    if (type == DT_DIR) {
      entry.isFolder = true;
    } else {
      if (fstatat(dfd, raw, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
      if (S_ISREG(st.st_mode)) {
        entry.isFile = true;
        entry.size = st.st_size;
        entry.mtime = st.st_mtim.tv_sec;
        entry.id = IdOf(st);
        entry.hasOtherLinks = st.st_nlink > 1;
        // A file mounted over this name shows another inode than the listing.
        entry.mountedOver = d->d_ino != st.st_ino;
      } else if (S_ISDIR(st.st_mode)) {
        entry.isFolder = true;
      } else {
        continue;
      }
    }
    entries.push_back(std::move(entry));
  }
  closedir(dir);
  return true;
}

bool FileIdOf(const QString& path, FileId* id) {
  struct stat st;
  if (lstat(NativePath(path).c_str(), &st) != 0) return false;
  *id = IdOf(st);
  return true;
}

QString RealFolderPath(const QString& path) {
  if (path.isEmpty()) return QString();
  char* real = realpath(Encode(path).constData(), nullptr);
  if (!real) return QString();
  struct stat st;
  const bool folder = stat(real, &st) == 0 && S_ISDIR(st.st_mode);
  QString text = folder ? DecodeName(real) : QString();
  std::free(real);
  return text;
}

QString ErrorText(int error) {
  switch (error) {
    case kThroughLink: return QStringLiteral("the path leads through a link");
    case kNotAbsolute: return QStringLiteral("the path is not absolute");
    case kNotRegular: return QStringLiteral("not a regular file");
    case kChanged: return QStringLiteral("the file changed while it was processed");
    case kNoTrash: return QStringLiteral("no usable trash folder for this file");
    case EISDIR: return QStringLiteral("a folder, not a file");
    default: return QString::fromLocal8Bit(std::strerror(error));
  }
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
    other.fd_ = -1;
  }
  return *this;
}

// Opening for reading never follows a link at the end of the path and never
// waits (for a FIFO's writer, say).
constexpr int kReadFlags = O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY;

bool ReadFile::open(const QString& path, qint64 expectedSize) {
  close();
  const NativePath p(path);
  struct stat st;
  // Looked at before opening: a FIFO, socket or device named here (a list
  // file may name anything) is never opened. A file swapped for something
  // else in between fails its reads (a FIFO) or the size check that ends
  // every comparison.
  if (lstat(p.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || (expectedSize >= 0 && st.st_size != expectedSize))
    return false;
  // No link on the way either: a folder swapped for one since the walk
  // leads nowhere outside the tree.
  const int fd = OpenNoLinks(p.c_str(), kReadFlags);
  if (fd < 0) return false;
  // Read-ahead helps long streams only; a small file is read in one go.
  if (st.st_size > (1 << 20)) posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  fd_ = fd;
  return true;
}

bool ReadFile::openListed(const QString& path) {
  close();
  fd_ = ::open(NativePath(path).c_str(), kReadFlags);
  return fd_ >= 0;
}

bool ReadFile::readAt(qint64 offset, char* buffer, qint64 length) const {
  while (length > 0) {
    const ssize_t got = pread(fd_, buffer, static_cast<size_t>(length), offset);
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (got == 0) return false;
    buffer += got;
    offset += got;
    length -= got;
  }
  return true;
}

qint64 ReadFile::size() const {
  struct stat st;
  return fd_ >= 0 && fstat(fd_, &st) == 0 ? st.st_size : -1;
}

void ReadFile::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

// ---------------------------------------------------------------- held files

namespace {

// Creates `name` in the folder `at` as a folder only the user may enter,
// and opens it; an existing folder is taken when it is the user's own and
// not a link.
int OwnFolderAt(int at, const char* name) {
  if (mkdirat(at, name, 0700) != 0 && errno != EEXIST) return -1;
  const int fd = openat(at, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  struct stat st;
  if (fd >= 0 && (fstat(fd, &st) != 0 || st.st_uid != getuid())) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// Writes all of `bytes` at the current position.
bool WriteAll(int fd, const char* bytes, size_t length) {
  while (length > 0) {
    const ssize_t put = write(fd, bytes, length);
    if (put < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes += put;
    length -= static_cast<size_t>(put);
  }
  return true;
}

// Renames without ever replacing an existing name. File systems that cannot
// refuse a replacement by themselves get a hard link and an unlink instead.
bool RenameNoReplace(int fromDir, const char* from, int toDir, const char* to) {
  if (renameat2(fromDir, from, toDir, to, RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  if (linkat(fromDir, from, toDir, to, 0) != 0) return false;
  if (unlinkat(fromDir, from, 0) == 0) return true;
  const int saved = errno;
  unlinkat(toDir, to, 0);
  errno = saved;
  return false;
}

// A name for a temporary file in a folder: the prefix and six random letters.
QByteArray TemporaryName(const char* prefix) {
  static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  QByteArray name(prefix);
  for (int i = 0; i < 6; ++i) name += letters[QRandomGenerator::global()->bounded(62)];
  return name;
}

bool SameTimes(const struct timespec& a, const struct timespec& b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; }

}  // namespace

HeldFile::HeldFile(HeldFile&& other) noexcept
    : ReadFile(std::move(other)), dir_(other.dir_), name_(std::move(other.name_)), path_(std::move(other.path_)),
      id_(other.id_), size_(other.size_) {
  other.dir_ = -1;
}

HeldFile& HeldFile::operator=(HeldFile&& other) noexcept {
  if (this != &other) {
    closeAll();
    ReadFile::operator=(std::move(other));
    dir_ = other.dir_;
    other.dir_ = -1;
    name_ = std::move(other.name_);
    path_ = std::move(other.path_);
    id_ = other.id_;
    size_ = other.size_;
  }
  return *this;
}

HeldFile::~HeldFile() { closeAll(); }

void HeldFile::closeAll() {
  close();
  if (dir_ >= 0) ::close(dir_);
  dir_ = -1;
}

bool HeldFile::open(const QString& path, int* error) {
  closeAll();
  auto fail = [&](int code) {
    closeAll();
    if (error) *error = code;
    return false;
  };
  if (!path.startsWith(kSeparator)) return fail(kNotAbsolute);
  const QByteArray bytes = Encode(path);
  const qsizetype cut = bytes.lastIndexOf('/');
  const QByteArray name = bytes.mid(cut + 1);
  if (name.isEmpty() || name == "." || name == "..") return fail(EISDIR);
  dir_ = OpenNoLinks(bytes.left(cut + 1).constData(), O_RDONLY | O_DIRECTORY);
  if (dir_ < 0) return fail(errno);
  // Looked at before opening, so a FIFO or a device is never opened.
  struct stat listed, opened;
  if (fstatat(dir_, name.constData(), &listed, AT_SYMLINK_NOFOLLOW) != 0) return fail(errno);
  if (S_ISLNK(listed.st_mode)) return fail(kThroughLink);
  if (S_ISDIR(listed.st_mode)) return fail(EISDIR);
  if (!S_ISREG(listed.st_mode)) return fail(kNotRegular);
  fd_ = openat(dir_, name.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
  if (fd_ < 0) return fail(errno);
  if (fstat(fd_, &opened) != 0 || !S_ISREG(opened.st_mode) || !SameFile(listed, opened)) return fail(kChanged);
  name_ = name;
  path_ = path;
  id_ = IdOf(opened);
  size_ = opened.st_size;
  if (g_beforeAction) g_beforeAction(path);
  return true;
}

bool HeldFile::stillInPlace() const {
  struct stat st;
  return dir_ >= 0 && fstatat(dir_, name_.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode) &&
         IdOf(st) == id_;
}

bool HeldFile::clearReadOnly() {
  struct stat st;
  if (fd_ < 0 || fstat(fd_, &st) != 0) return false;
  if (st.st_mode & S_IWUSR) return true;
  return fchmod(fd_, (st.st_mode & 07777) | S_IWUSR) == 0;
}

bool HeldFile::remove(int* error) {
  if (!stillInPlace()) return *error = kChanged, false;
  if (unlinkat(dir_, name_.constData(), 0) == 0) return true;
  *error = errno;
  return false;
}

bool HeldFile::moveInto(const QString& folder, int* error) {
  if (!MakePath(folder)) return *error = errno ? errno : ENOTDIR, false;
  const int to = ::open(Encode(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (to < 0) return *error = errno, false;
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closeTo{to};
  if (!stillInPlace()) return *error = kChanged, false;
  if (RenameNoReplace(dir_, name_.constData(), to, name_.constData())) return true;
  if (errno != EXDEV) return *error = errno, false;

  // Another file system: copy from the descriptor into a temporary file
  // beside the target, flush it, and give it the name only when complete.
  struct stat before;
  if (fstat(fd_, &before) != 0) return *error = errno, false;
  struct stat st;
  if (fstatat(to, name_.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0) return *error = EEXIST, false;
  QByteArray temp;
  int out = -1;
  for (int tries = 0; out < 0 && tries < 100; ++tries) {
    temp = TemporaryName(".zorvik-move-");
    out = openat(to, temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (out < 0 && errno != EEXIST) break;
  }
  if (out < 0) return *error = errno, false;
  int failure = 0;
  std::vector<char> buffer(1 << 20);
  for (off_t offset = 0; failure == 0;) {
    const ssize_t got = pread(fd_, buffer.data(), buffer.size(), offset);
    if (got == 0) break;
    if (got < 0) {
      if (errno != EINTR) failure = errno;
      continue;
    }
    if (!WriteAll(out, buffer.data(), static_cast<size_t>(got))) failure = errno;
    offset += got;
  }
  struct stat copy;
  if (failure == 0) {
    fchmod(out, before.st_mode & 07777);
    const struct timespec times[2] = {before.st_atim, before.st_mtim};
    futimens(out, times);
    if (fsync(out) != 0 || fstat(out, &copy) != 0) failure = errno;
  }
  if (::close(out) != 0 && failure == 0) failure = errno;
  if (failure == 0 && !RenameNoReplace(to, temp.constData(), to, name_.constData())) failure = errno;
  if (failure != 0) {
    unlinkat(to, temp.constData(), 0);
    return *error = failure, false;
  }
  // The original goes only when it is still the file that was copied.
  struct stat after;
  const bool unchanged = fstat(fd_, &after) == 0 && after.st_size == before.st_size &&
                         SameTimes(after.st_mtim, before.st_mtim) && SameTimes(after.st_ctim, before.st_ctim) &&
                         stillInPlace();
  if (unchanged && unlinkat(dir_, name_.constData(), 0) == 0) return true;
  *error = unchanged ? errno : kChanged;
  // Take the copy back, as long as the name still holds it.
  if (fstatat(to, name_.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 && SameFile(st, copy)) unlinkat(to, name_.constData(), 0);
  return false;
}

bool HeldFile::moveToTrash(int* error) {
  // The user's own trash when it is on the file's file system; otherwise the
  // trash at the top of that file system: .Trash/UID when .Trash is a
  // folder with the sticky bit, else .Trash-UID.
  int trash = -1;
  const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
  struct stat st;
  // A file on the home folder's file system goes to the user's trash or
  // nowhere, never to a trash at the top of that file system.
  bool home = stat(Encode(QDir::homePath()).constData(), &st) == 0 && static_cast<std::uint64_t>(st.st_dev) == id_.device;
  if (!data.isEmpty() && MakePath(data)) {
    const int folder = ::open(Encode(data).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0 && fstat(folder, &st) == 0 && static_cast<std::uint64_t>(st.st_dev) == id_.device) {
      home = true;
      trash = OwnFolderAt(folder, "Trash");
    }
    if (folder >= 0) ::close(folder);
  }
  if (trash < 0 && !home) {
    // The top of the file system: the last folder above the file's folder
    // that is still on the same device.
    int top = dup(dir_);
    while (top >= 0) {
      const int up = openat(top, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
      struct stat here, there;
      if (up < 0 || fstat(top, &here) != 0 || fstat(up, &there) != 0 || here.st_dev != there.st_dev ||
          SameFile(here, there)) {
        if (up >= 0) ::close(up);
        break;
      }
      ::close(top);
      top = up;
    }
    if (top >= 0) {
      const QByteArray uid = QByteArray::number(static_cast<qulonglong>(getuid()));
      const int shared = openat(top, ".Trash", O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      if (shared >= 0 && fstat(shared, &st) == 0 && (st.st_mode & S_ISVTX)) trash = OwnFolderAt(shared, uid.constData());
      if (shared >= 0) ::close(shared);
      if (trash < 0) trash = OwnFolderAt(top, (".Trash-" + uid).constData());
      ::close(top);
    }
  }
  if (trash < 0) return *error = kNoTrash, false;
  const int files = OwnFolderAt(trash, "files"), info = OwnFolderAt(trash, "info");
  ::close(trash);
  auto finish = [&](bool ok, int code) {
    if (files >= 0) ::close(files);
    if (info >= 0) ::close(info);
    if (!ok) *error = code;
    return ok;
  };
  if (files < 0 || info < 0) return finish(false, kNoTrash);

  // The description first, under a name no other trashed file has; then the file.
  const QByteArray description = "[Trash Info]\nPath=" + Encode(path_).toPercentEncoding("/") +
                                 "\nDeletionDate=" +
                                 QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-ddThh:mm:ss")).toLatin1() + "\n";
  for (int n = 1; n < 10000; ++n) {
    const QByteArray inTrash = n == 1 ? name_ : name_ + '.' + QByteArray::number(n);
    const QByteArray infoName = inTrash + ".trashinfo";
    const int out = openat(info, infoName.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (out < 0) {
      if (errno == EEXIST) continue;
      return finish(false, errno);
    }
    const bool written = WriteAll(out, description.constData(), static_cast<size_t>(description.size()));
    const int code = errno;
    if (::close(out) != 0 || !written) {
      unlinkat(info, infoName.constData(), 0);
      return finish(false, written ? errno : code);
    }
    if (!stillInPlace()) {
      unlinkat(info, infoName.constData(), 0);
      return finish(false, kChanged);
    }
    if (RenameNoReplace(dir_, name_.constData(), files, inTrash.constData())) return finish(true, 0);
    const int failure = errno;
    unlinkat(info, infoName.constData(), 0);
    if (failure == EEXIST) continue;
    return finish(false, failure == EXDEV ? kNoTrash : failure);
  }
  return finish(false, EEXIST);
}

bool HeldFile::removeFolderIfEmpty() {
  const QByteArray bytes = Encode(path_);
  const QByteArray folder = bytes.left(bytes.lastIndexOf('/'));
  const qsizetype cut = folder.lastIndexOf('/');
  if (folder.isEmpty() || cut < 0) return false;
  const QByteArray name = folder.mid(cut + 1);
  const int parent = OpenNoLinks(folder.left(cut + 1).constData(), O_RDONLY | O_DIRECTORY);
  if (parent < 0) return false;
  struct stat listed, held;
  // Only the folder that held the file, reached again without a link; the
  // system removes it only when it is empty.
  const bool removed = fstatat(parent, name.constData(), &listed, AT_SYMLINK_NOFOLLOW) == 0 && fstat(dir_, &held) == 0 &&
                       S_ISDIR(listed.st_mode) && SameFile(listed, held) &&
                       unlinkat(parent, name.constData(), AT_REMOVEDIR) == 0;
  ::close(parent);
  return removed;
}

}  // namespace fs
