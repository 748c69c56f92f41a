// POSIX implementation of the held file: a file that processing acts on
// through descriptors of the file and of its folder.
#include "platform/fs.h"
#include "platform/posix/native.h"

#include <QDateTime>
#include <QDir>
#include <QRandomGenerator>
#include <QStandardPaths>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <utility>
#include <vector>

namespace fs {

using native::Encode;
using native::Fail;
using native::Fd;
using native::IdOf;
using native::OpenNoLinks;
using native::RandomLetters;
using native::SameFile;

namespace {

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
  Fd fd(openat(at, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
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
  Fd out(openat(at, name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600));
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

// The access ACL of a file, kept among its extended attributes.
constexpr char kAccessAcl[] = "system.posix_acl_access";

// Reads a list or a value that `get` writes into a buffer of the size it
// is given, asking again while it grows between the two calls. False with
// errno when it cannot be read.
template <class Get>
bool ReadSized(QByteArray* into, Get get) {
  for (;;) {
    const ssize_t length = get(nullptr, 0);
    if (length < 0) return false;
    into->resize(static_cast<qsizetype>(length));
    const ssize_t got = get(into->data(), static_cast<size_t>(length));
    if (got >= 0) return into->resize(static_cast<qsizetype>(got)), true;
    if (errno != ERANGE) return false;
  }
}

bool AttributeValue(int fd, const char* name, QByteArray* value) {
  return ReadSized(value, [&](char* bytes, size_t size) { return fgetxattr(fd, name, bytes, size); });
}

// Gives the copy `out` every extended attribute of the file behind `from`
// that can be read, the ACLs among them, and takes from it an ACL that it
// took from its folder's default ACL where the original has none: the copy
// ends with the rights of the original. 0, or kAttributes when the copy
// cannot take an attribute.
int CopyAttributes(int from, int out) {
  QByteArray names;
  if (!ReadSized(&names, [&](char* bytes, size_t size) { return flistxattr(from, bytes, size); }))
    return errno == ENOTSUP ? 0 : kAttributes;  // a file system without attributes: none to carry
  bool acl = false;
  for (const QByteArray& name : names.split('\0')) {
    if (name.isEmpty()) continue;
    acl = acl || name == kAccessAcl;
    QByteArray value, there;
    if (!AttributeValue(from, name.constData(), &value)) {
      if (errno == ENODATA || errno == EPERM || errno == EACCES) continue;  // gone since, or not the user's to read
      return kAttributes;
    }
    // A value the copy holds already (a label the system gave it) is no failure.
    if (fsetxattr(out, name.constData(), value.constData(), static_cast<size_t>(value.size()), 0) != 0 &&
        !(AttributeValue(out, name.constData(), &there) && there == value))
      return kAttributes;
  }
  if (!acl && fremovexattr(out, kAccessAcl) != 0 && errno != ENODATA && errno != ENOTSUP) return kAttributes;
  return 0;
}

// Copies the file behind `from` (as `source` describes it) into folder
// `to` as `name`: the bytes go to a temporary file beside the target, which
// gets the original's owner, extended attributes, permissions and times, is
// flushed, and gets the name only when complete. 0 or the error code, with
// nothing left behind; *copy is the copy's identity.
int CopyInto(int from, const struct stat& source, int to, const QByteArray& name, struct stat* copy) {
  QByteArray temp;
  Fd out;
  for (int tries = 0; !out.valid() && tries < 100; ++tries) {
    temp = ".zorvik-move-" + RandomLetters(6);
    out.reset(openat(to, temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!out.valid() && errno != EEXIST) break;
  }
  if (!out.valid()) return errno;
  int failure = CopyBytes(from, out.get());
  if (failure == 0) {
    // The copy belongs to whoever owned the original where that can be
    // done; otherwise it is the mover's, and never set-user or set-group-ID.
    // The owner comes first, as a change of owner drops a file's
    // capabilities; then the attributes; the permissions last, which set
    // the mask of an ACL just as that mask set them in the original, so the
    // ACL and the set-ID bits end as the original's.
    const bool owned = fchown(out.get(), source.st_uid, source.st_gid) == 0;
    failure = CopyAttributes(from, out.get());
    fchmod(out.get(), owned ? source.st_mode & 07777 : source.st_mode & 01777);
    const struct timespec times[2] = {source.st_atim, source.st_mtim};
    futimens(out.get(), times);
    if (failure == 0 && (fsync(out.get()) != 0 || fstat(out.get(), copy) != 0)) failure = errno;
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
  const Fd top(TopOf(dir));
  if (!top.valid()) return -1;
  const QByteArray uid = QByteArray::number(static_cast<qulonglong>(getuid()));
  const Fd shared(openat(top.get(), ".Trash", O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
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
    const Fd folder(::open(Encode(data).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
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
    folderId_ = other.folderId_;
    modeBefore_ = std::exchange(other.modeBefore_, -1);
  }
  return *this;
}

HeldFile::~HeldFile() { closeAll(); }

void HeldFile::closeAll() {
  close();
  if (dir_ >= 0) ::close(dir_);
  dir_ = -1;
  modeBefore_ = -1;
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
  int failure = 0;
  dir_ = native::OpenRowFolder(bytes.left(cut + 1), &failure);
  if (dir_ < 0) return fail(failure);
  // Looked at before opening, so a FIFO or a device is never opened.
  struct stat folder, listed, opened;
  if (fstat(dir_, &folder) != 0) return fail(errno);
  folderId_ = IdOf(folder);
  if (fstatat(dir_, name.constData(), &listed, AT_SYMLINK_NOFOLLOW) != 0) return fail(errno);
  if (S_ISLNK(listed.st_mode)) return fail(kThroughLink);
  if (native::UnsafeStep(folder.st_uid, listed.st_uid)) return fail(kUnsafeStep);
  if (S_ISDIR(listed.st_mode)) return fail(EISDIR);
  if (!S_ISREG(listed.st_mode)) return fail(kNotRegular);
  fd_ = openat(dir_, name.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
  if (fd_ < 0) return fail(errno);
  if (fstat(fd_, &opened) != 0 || !S_ISREG(opened.st_mode) || !SameFile(listed, opened)) return fail(kChanged);
  name_ = name;
  path_ = path;
  id_ = IdOf(opened);
  if (g_beforeAction) g_beforeAction(path);
  return true;
}

bool HeldFile::stillInPlace() const { return StillInPlace(dir_, name_, id_); }

bool HeldFile::clearReadOnly() {
  struct stat st;
  if (fd_ < 0 || fstat(fd_, &st) != 0) return false;
  if (st.st_mode & S_IWUSR) return true;
  if (fchmod(fd_, (st.st_mode & 07777) | S_IWUSR) != 0) return false;
  modeBefore_ = static_cast<int>(st.st_mode & 07777);
  return true;
}

void HeldFile::restoreMode() {
  if (fd_ >= 0 && modeBefore_ >= 0) fchmod(fd_, static_cast<mode_t>(modeBefore_));
  modeBefore_ = -1;
}

bool HeldFile::remove(int* error) {
  if (!stillInPlace()) return Fail(error, kChanged);
  return unlinkat(dir_, name_.constData(), 0) == 0 || Fail(error, errno);
}

bool HeldFile::moveInto(const HeldFolder& folder, int* error) {
  const Fd to(dup(folder.fd_));
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
  const Fd trash(OpenTrash(dir_, id_.device));
  if (!trash.valid()) return Fail(error, kNoTrash);
  const Fd files(OwnFolderAt(trash.get(), "files")), info(OwnFolderAt(trash.get(), "info"));
  if (!files.valid() || !info.valid()) return Fail(error, kNoTrash);
  // The description first, under a name no other trashed file has: the
  // file's own name, else that name with a random ending, so a try costs
  // the same however many files of that name the trash holds; then the file.
  const QByteArray description = TrashInfo(path_);
  for (int tries = 0; tries < 100; ++tries) {
    const QByteArray inTrash = tries == 0 ? name_ : name_ + '.' + RandomLetters(8);
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

namespace native {

QByteArray RandomLetters(int count) {
  static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  QByteArray text;
  for (int i = 0; i < count; ++i) text += letters[QRandomGenerator::global()->bounded(62)];
  return text;
}

}  // namespace native

}  // namespace fs
