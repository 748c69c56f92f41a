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
#include <utility>

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

// Fills `entry` from one entry of the listing of folder `dfd`; false for an
// entry that is left out. Links are never followed: a link to a file is not
// a candidate (the file is found under its own name) and a link to a folder
// is not entered.
bool ReadEntry(int dfd, const dirent* d, DirEntry& entry) {
  const char* raw = d->d_name;
  if (raw[0] == '.' && (raw[1] == 0 || (raw[1] == '.' && raw[2] == 0))) return false;
  const unsigned char type = d->d_type;
  if (type != DT_UNKNOWN && type != DT_REG && type != DT_DIR) return false;
  entry.name = DecodeName(raw);
  if (entry.name.isEmpty()) return false;
  entry.hidden = IsHiddenName(entry.name);
  if (type == DT_DIR) return entry.isFolder = true;
  struct stat st;
  if (fstatat(dfd, raw, &st, AT_SYMLINK_NOFOLLOW) != 0) return false;
  if (S_ISDIR(st.st_mode)) return entry.isFolder = true;
  if (!S_ISREG(st.st_mode)) return false;
  entry.isFile = true;
  entry.size = st.st_size;
  entry.mtime = st.st_mtim.tv_sec;
  entry.id = IdOf(st);
  entry.hasOtherLinks = st.st_nlink > 1;
  // A file mounted over this name shows another inode than the listing.
  entry.mountedOver = d->d_ino != st.st_ino;
  return true;
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
  while (const dirent* d = readdir(dir)) {
    DirEntry entry;
    if (ReadEntry(dfd, d, entry)) entries.push_back(std::move(entry));
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
    case EISDIR:
      return QStringLiteral("a folder, not a file");
    default:
      return QString::fromLocal8Bit(std::strerror(error));
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

// A descriptor closed when it goes out of scope.
class Descriptor {
 public:
  explicit Descriptor(int fd = -1) : fd_(fd) {}
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() { reset(); }
  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  void reset(int fd = -1) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }
  int release() { return std::exchange(fd_, -1); }

 private:
  int fd_;
};

bool Fail(int* error, int code) {
  *error = code;
  return false;
}

// Whether `name` in folder `dir` still refers to the file `id`.
bool StillInPlace(int dir, const QByteArray& name, FileId id) {
  struct stat st;
  return dir >= 0 && fstatat(dir, name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode) &&
         IdOf(st) == id;
}

// Creates `name` in the folder `at` as a folder only the user may enter,
// and opens it; an existing folder is taken when it is the user's own and
// not a link.
int OwnFolderAt(int at, const char* name) {
  if (mkdirat(at, name, 0700) != 0 && errno != EEXIST) return -1;
  Descriptor fd(openat(at, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  struct stat st;
  if (!fd.valid() || fstat(fd.get(), &st) != 0 || st.st_uid != getuid()) return -1;
  return fd.release();
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

// Writes a new file `name` in folder `at` with `bytes`: 0, or the error
// code with nothing left behind (EEXIST when the name is taken).
int WriteNew(int at, const QByteArray& name, const QByteArray& bytes) {
  Descriptor out(openat(at, name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600));
  if (!out.valid()) return errno;
  const bool written = WriteAll(out.get(), bytes.constData(), static_cast<size_t>(bytes.size()));
  int failure = written ? 0 : errno;
  if (::close(out.release()) != 0 && failure == 0) failure = errno;
  if (failure != 0) unlinkat(at, name.constData(), 0);
  return failure;
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

bool SameTimes(const struct timespec& a, const struct timespec& b) {
  return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// Whether the file behind `fd` kept its size and times since `before`.
bool Unchanged(int fd, const struct stat& before) {
  struct stat after;
  return fstat(fd, &after) == 0 && after.st_size == before.st_size && SameTimes(after.st_mtim, before.st_mtim) &&
         SameTimes(after.st_ctim, before.st_ctim);
}

// Copies all bytes of `from` to `out`: 0 or the error code.
int CopyBytes(int from, int out) {
  std::vector<char> buffer(1 << 20);
  for (off_t offset = 0;;) {
    const ssize_t got = pread(from, buffer.data(), buffer.size(), offset);
    if (got == 0) return 0;
    if (got < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (!WriteAll(out, buffer.data(), static_cast<size_t>(got))) return errno;
    offset += got;
  }
}

// Copies the file behind `from` (as `source` describes it) into folder
// `to` as `name`: the bytes go to a temporary file beside the target, which
// gets the original's permissions and times, is flushed, and gets the name
// only when complete. 0 or the error code, with nothing left behind;
// *copy is the copy's identity.
int CopyInto(int from, const struct stat& source, int to, const QByteArray& name, struct stat* copy) {
  QByteArray temp;
  Descriptor out;
  for (int tries = 0; !out.valid() && tries < 100; ++tries) {
    temp = TemporaryName(".zorvik-move-");
    out.reset(openat(to, temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!out.valid() && errno != EEXIST) break;
  }
  if (!out.valid()) return errno;
  int failure = CopyBytes(from, out.get());
  if (failure == 0) {
    // The copy belongs to whoever owned the original where that can be
    // done; otherwise it is the mover's, and never set-user or set-group-ID.
    const mode_t mode =
        fchown(out.get(), source.st_uid, source.st_gid) == 0 ? source.st_mode & 07777 : source.st_mode & 01777;
    fchmod(out.get(), mode);
    const struct timespec times[2] = {source.st_atim, source.st_mtim};
    futimens(out.get(), times);
    if (fsync(out.get()) != 0 || fstat(out.get(), copy) != 0) failure = errno;
  }
  if (::close(out.release()) != 0 && failure == 0) failure = errno;
  if (failure == 0 && !RenameNoReplace(to, temp.constData(), to, name.constData())) failure = errno;
  if (failure != 0) unlinkat(to, temp.constData(), 0);
  return failure;
}

// The top of the file system that holds folder `dir`: the last folder
// above it that is still on the same device.
int TopOf(int dir) {
  int top = dup(dir);
  while (top >= 0) {
    const int up = openat(top, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    struct stat here, there;
    const bool higher = up >= 0 && fstat(top, &here) == 0 && fstat(up, &there) == 0 && here.st_dev == there.st_dev &&
                        !SameFile(here, there);
    if (!higher) {
      if (up >= 0) ::close(up);
      return top;
    }
    ::close(top);
    top = up;
  }
  return top;
}

// The trash at the top of the file system that holds folder `dir`:
// .Trash/UID when .Trash is a folder with the sticky bit, else .Trash-UID.
int OpenTopTrash(int dir) {
  const Descriptor top(TopOf(dir));
  if (!top.valid()) return -1;
  const QByteArray uid = QByteArray::number(static_cast<qulonglong>(getuid()));
  const Descriptor shared(openat(top.get(), ".Trash", O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  struct stat st;
  if (shared.valid() && fstat(shared.get(), &st) == 0 && (st.st_mode & S_ISVTX)) {
    const int own = OwnFolderAt(shared.get(), uid.constData());
    if (own >= 0) return own;
  }
  return OwnFolderAt(top.get(), (".Trash-" + uid).constData());
}

bool OnDevice(const QString& path, std::uint64_t device) {
  struct stat st;
  return stat(Encode(path).constData(), &st) == 0 && static_cast<std::uint64_t>(st.st_dev) == device;
}

// The trash for a file on `device` in folder `dir`: the user's own trash
// when it is on that device; a file on the home folder's file system goes
// there or nowhere; any other goes to the trash at the top of its file
// system.
int OpenTrash(int dir, std::uint64_t device) {
  const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
  if (!data.isEmpty() && MakePath(data) && OnDevice(data, device)) {
    const Descriptor folder(::open(Encode(data).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return folder.valid() ? OwnFolderAt(folder.get(), "Trash") : -1;
  }
  return OnDevice(QDir::homePath(), device) ? -1 : OpenTopTrash(dir);
}

// The description the trash keeps of a file it holds.
QByteArray TrashInfo(const QString& path) {
  return "[Trash Info]\nPath=" + Encode(path).toPercentEncoding("/") +
         "\nDeletionDate=" + QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-ddThh:mm:ss")).toLatin1() +
         "\n";
}

}  // namespace

HeldFile::HeldFile(HeldFile&& other) noexcept { *this = std::move(other); }

HeldFile& HeldFile::operator=(HeldFile&& other) noexcept {
  if (this != &other) {
    closeAll();
    fd_ = std::exchange(other.fd_, -1);
    dir_ = std::exchange(other.dir_, -1);
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

bool HeldFile::stillInPlace() const { return StillInPlace(dir_, name_, id_); }

bool HeldFile::clearReadOnly() {
  struct stat st;
  if (fd_ < 0 || fstat(fd_, &st) != 0) return false;
  if (st.st_mode & S_IWUSR) return true;
  return fchmod(fd_, (st.st_mode & 07777) | S_IWUSR) == 0;
}

bool HeldFile::remove(int* error) {
  if (!stillInPlace()) return Fail(error, kChanged);
  return unlinkat(dir_, name_.constData(), 0) == 0 || Fail(error, errno);
}

bool HeldFile::moveInto(const QString& folder, int* error) {
  if (!MakePath(folder)) return Fail(error, errno ? errno : ENOTDIR);
  const Descriptor to(::open(Encode(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!to.valid()) return Fail(error, errno);
  if (!stillInPlace()) return Fail(error, kChanged);
  if (RenameNoReplace(dir_, name_.constData(), to.get(), name_.constData())) return true;
  if (errno != EXDEV) return Fail(error, errno);

  // Another file system: a copy from the descriptor takes the name, and the
  // original goes only when it is still the file that was copied.
  struct stat before, copy, st;
  if (fstat(fd_, &before) != 0) return Fail(error, errno);
  if (fstatat(to.get(), name_.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0) return Fail(error, EEXIST);
  const int failure = CopyInto(fd_, before, to.get(), name_, &copy);
  if (failure != 0) return Fail(error, failure);
  const bool unchanged = Unchanged(fd_, before) && stillInPlace();
  if (unchanged && unlinkat(dir_, name_.constData(), 0) == 0) return true;
  *error = unchanged ? errno : kChanged;
  // Take the copy back, as long as the name still holds it.
  if (fstatat(to.get(), name_.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 && SameFile(st, copy))
    unlinkat(to.get(), name_.constData(), 0);
  return false;
}

bool HeldFile::moveToTrash(int* error) {
  const Descriptor trash(OpenTrash(dir_, id_.device));
  if (!trash.valid()) return Fail(error, kNoTrash);
  const Descriptor files(OwnFolderAt(trash.get(), "files")), info(OwnFolderAt(trash.get(), "info"));
  if (!files.valid() || !info.valid()) return Fail(error, kNoTrash);
  // The description first, under a name no other trashed file has; then the file.
  const QByteArray description = TrashInfo(path_);
  for (int n = 1; n < 10000; ++n) {
    const QByteArray inTrash = n == 1 ? name_ : name_ + '.' + QByteArray::number(n);
    const QByteArray infoName = inTrash + ".trashinfo";
    const int written = WriteNew(info.get(), infoName, description);
    if (written == EEXIST) continue;
    if (written != 0) return Fail(error, written);
    const int moved = !stillInPlace()                                                              ? kChanged
                      : RenameNoReplace(dir_, name_.constData(), files.get(), inTrash.constData()) ? 0
                                                                                                   : errno;
    if (moved == 0) return true;
    unlinkat(info.get(), infoName.constData(), 0);
    if (moved != EEXIST) return Fail(error, moved == EXDEV ? kNoTrash : moved);
  }
  return Fail(error, EEXIST);
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
  const bool removed = fstatat(parent, name.constData(), &listed, AT_SYMLINK_NOFOLLOW) == 0 &&
                       fstat(dir_, &held) == 0 && S_ISDIR(listed.st_mode) && SameFile(listed, held) &&
                       unlinkat(parent, name.constData(), AT_REMOVEDIR) == 0;
  ::close(parent);
  return removed;
}

}  // namespace fs
