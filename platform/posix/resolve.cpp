// Paths resolved one component at a time under the program's path rules
// (see fs.h): the roots and the protected folder, the folder of a row, the
// Move destination and the output files.
#include "platform/fs.h"
#include "platform/posix/native.h"

#include <QRandomGenerator>

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <deque>
#include <utility>

namespace fs {

using native::Encode;
using native::Fail;
using native::Fd;
using native::SameFile;
using native::UnsafeStep;

namespace {

constexpr int kMaxLinks = 40;

// Opens the folder `at` itself for listing and for acting in it.
int Reopen(int at) { return openat(at, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC); }

// A walk along a path, one component at a time, from "/" or the working
// folder. It holds the folder reached, its real path as text, and the
// owner of the last folder or link stepped through.
class PathWalk {
 public:
  PathWalk(bool followLinks, bool makeFolders) : follow_(followLinks), make_(makeFolders) {}

  // Starts at the beginning of `path` with its components queued: 0 or
  // the error code.
  int start(const QByteArray& path) {
    if (path.isEmpty()) return ENOENT;
    if (path.startsWith('/')) {
      if (int e = restartAtRoot()) return e;
    } else {
      char here[PATH_MAX];
      if (!getcwd(here, sizeof here)) return errno;
      if (int e = enter(open(".", O_PATH | O_DIRECTORY | O_CLOEXEC))) return e;
      text_ = here;
      if (text_ == "/") text_.clear();
    }
    queue(path);
    return 0;
  }

  // Steps through every queued component but the last one, which is taken
  // off the queue into *name (empty when none is left): 0 or the error code.
  int toLast(QByteArray* name) {
    while (components_.size() > 1) {
      const QByteArray next = components_.front();
      components_.pop_front();
      if (int e = step(next)) return e;
    }
    *name = components_.empty() ? QByteArray() : components_.front();
    components_.clear();
    return 0;
  }

  // Steps through every queued component: 0 or the error code.
  int toEnd() {
    while (!components_.empty()) {
      const QByteArray next = components_.front();
      components_.pop_front();
      if (int e = step(next)) return e;
    }
    return 0;
  }

  // Takes the link `link` (opened as itself, described by `st`), standing
  // in the folder reached, under the rules: its target is queued, and a
  // target that begins with "/" starts again at the root. 0 or the error.
  int follow(int link, const struct stat& st) {
    if (!follow_) return kThroughLink;
    if (++links_ > kMaxLinks) return ELOOP;
    if (int e = linkAllowed(st)) return e;
    owner_ = st.st_uid;
    char target[PATH_MAX];
    const ssize_t length = readlinkat(link, "", target, sizeof target);
    if (length < 0) return errno;
    if (length == 0 || length == ssize_t(sizeof target)) return ENOENT;
    const QByteArray text(target, length);
    queue(text);
    return text.startsWith('/') ? restartAtRoot() : 0;
  }

  // The rules for following the link `st` from the folder reached.
  int linkAllowed(const struct stat& st) const {
    const bool shared = (folder_.st_mode & S_ISVTX) && (folder_.st_mode & S_IWOTH);
    if (shared && st.st_uid != geteuid() && st.st_uid != folder_.st_uid) return kSharedLink;
    return stepAllowed(st.st_uid);
  }

  int stepAllowed(uid_t owner) const { return UnsafeStep(owner_, owner) ? kUnsafeStep : 0; }

  int folder() const { return fd_.get(); }
  const struct stat& folderStat() const { return folder_; }
  QByteArray text() const { return text_.isEmpty() ? QByteArray("/") : text_; }

 private:
  void queue(const QByteArray& path) {
    const QList<QByteArray> parts = path.split('/');
    for (auto it = parts.rbegin(); it != parts.rend(); ++it)
      if (!it->isEmpty() && *it != ".") components_.push_front(*it);
  }

  int restartAtRoot() {
    text_.clear();
    return enter(open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
  }

  // Makes `fd` the folder reached, when the step into it is allowed.
  int enter(int fd) {
    Fd held(fd);
    struct stat st;
    if (!held.valid() || fstat(held.get(), &st) != 0) return errno;
    if (!S_ISDIR(st.st_mode)) return ENOTDIR;
    if (fd_.valid() || owner_ != kNobodyYet)
      if (int e = stepAllowed(st.st_uid)) return e;
    fd_.reset(held.release());
    folder_ = st;
    owner_ = st.st_uid;
    return 0;
  }

  int step(const QByteArray& name) {
    if (name == "..") {
      if (int e = enter(openat(fd_.get(), "..", O_PATH | O_DIRECTORY | O_CLOEXEC))) return e;
      text_.truncate(std::max<qsizetype>(0, text_.lastIndexOf('/')));
      return 0;
    }
    Fd next(openat(fd_.get(), name.constData(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
    if (!next.valid() && errno == ENOENT && make_) {
      // A missing folder is made; root makes none inside a user's folder,
      // where it could not be told from a folder of root's put there.
      if (UnsafeStep(folder_.st_uid, 0)) return kUnsafeStep;
      if (mkdirat(fd_.get(), name.constData(), 0777) != 0 && errno != EEXIST) return errno;
      next.reset(openat(fd_.get(), name.constData(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
    }
    struct stat st;
    if (!next.valid() || fstat(next.get(), &st) != 0) return errno;
    if (S_ISLNK(st.st_mode)) return follow(next.get(), st);
    if (int e = enter(next.release())) return e;
    text_ += '/' + name;
    return 0;
  }

  static constexpr uid_t kNobodyYet = uid_t(-1);
  const bool follow_, make_;
  Fd fd_;
  struct stat folder_ {};
  uid_t owner_ = kNobodyYet;
  QByteArray text_;
  std::deque<QByteArray> components_;
  int links_ = 0;
};

// Writes all of `bytes` at the current position of `fd`: 0 or the error.
int WriteAll(int fd, const Pieces& bytes) {
  int error = 0;
  bytes([&](QByteArrayView piece) {
    const char* p = piece.data();
    for (size_t left = size_t(piece.size()); left > 0;) {
      const ssize_t put = write(fd, p, left);
      if (put < 0 && errno == EINTR) continue;
      if (put <= 0) {
        error = put < 0 ? errno : EIO;
        return false;
      }
      p += put;
      left -= size_t(put);
    }
    return true;
  });
  return error;
}

// Writes to a device, a FIFO or a file opened as it is: 0 or the error.
// The descriptor was opened without waiting; the writes may wait.
int WriteOpened(int fd, const Pieces& bytes, bool truncate) {
  const Fd out(fd);
  if (!out.valid()) return errno == ENXIO ? kNoReader : errno;
  const int flags = fcntl(fd, F_GETFL);
  if (flags >= 0) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  if (truncate && ftruncate(fd, 0) != 0) return errno;
  if (int e = WriteAll(fd, bytes)) return e;
  return truncate && fsync(fd) != 0 ? errno : 0;
}

// Gives the file `temp` of folder `dir` the free name `name`, never
// replacing anything put there meanwhile (EEXIST). File systems that cannot
// refuse a replacement by themselves get a hard link and an unlink instead.
bool PutInPlace(int dir, const QByteArray& temp, const QByteArray& name) {
  if (renameat2(dir, temp.constData(), dir, name.constData(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  return linkat(dir, temp.constData(), dir, name.constData(), 0) == 0 && unlinkat(dir, temp.constData(), 0) == 0;
}

// Opens `name` in folder `dir` for writing, without waiting, and writes
// `bytes` into it as it is, as long as it is still the file `st`: 0 or the
// error code.
int WriteInto(int dir, const QByteArray& name, const struct stat& st, const Pieces& bytes, bool truncate) {
  const int fd = openat(dir, name.constData(), O_WRONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);
  struct stat opened;
  if (fd >= 0 && (fstat(fd, &opened) != 0 || !SameFile(opened, st))) {
    ::close(fd);
    return kChanged;
  }
  return WriteOpened(fd, bytes, truncate);
}

// Makes a new temporary file in folder `dir`, named in *temp: the
// descriptor, or -1.
int MakeTemporary(int dir, mode_t mode, QByteArray* temp) {
  static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  for (int tries = 0; tries < 100; ++tries) {
    *temp = ".zorvik-list-";
    for (int i = 0; i < 6; ++i) *temp += kLetters[QRandomGenerator::global()->bounded(62)];
    const int fd = openat(dir, temp->constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

// Writes `bytes` as `name` in folder `dir` through a temporary file that
// is flushed and renamed over the name. `existing` describes the regular
// file the name holds, or is null when the name is free (then nothing that
// appears there meanwhile is replaced: EEXIST). 0 or the error code.
int Replace(int dir, const QByteArray& name, const struct stat* existing, const Pieces& bytes) {
  // Never more open than the file will be: the system's mask applies.
  const mode_t mode = existing ? existing->st_mode & 0777 : 0666;
  QByteArray temp;
  Fd out(MakeTemporary(dir, mode, &temp));
  if (!out.valid()) {
    const int failure = errno;
    // The folder takes no new file, but the file itself may be writable.
    const bool direct = existing && (failure == EACCES || failure == EPERM || failure == EROFS);
    return direct ? WriteInto(dir, name, *existing, bytes, true) : failure;
  }
  int failure = WriteAll(out.get(), bytes);
  // The new file keeps the permissions and, where it may, the group of the
  // file it replaces.
  if (failure == 0 && existing) {
    fchmod(out.get(), mode);
    [[maybe_unused]] const bool grouped = fchown(out.get(), uid_t(-1), existing->st_gid) == 0;
  }
  if (failure == 0 && fsync(out.get()) != 0) failure = errno;
  if (::close(out.release()) != 0 && failure == 0) failure = errno;
  const bool placed = failure == 0 && (existing ? renameat(dir, temp.constData(), dir, name.constData()) == 0
                                                : PutInPlace(dir, temp, name));
  if (failure == 0 && !placed) failure = errno;
  if (failure != 0) unlinkat(dir, temp.constData(), 0);
  return failure;
}

// Whether the folder `dir` lies on /proc, whose links to open files only
// the system itself can open.
bool OnProc(int dir) {
  struct statfs fs;
  return fstatfs(dir, &fs) == 0 && fs.f_type == PROC_SUPER_MAGIC;
}

// Writes through the link `name` on /proc (standard output and the like),
// which the system opens itself once the rules let the link be followed.
int WriteThroughProc(const PathWalk& walk, int dir, const QByteArray& name, const struct stat& link,
                     const Pieces& bytes) {
  if (int e = walk.linkAllowed(link)) return e;
  const int out = openat(dir, name.constData(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  struct stat opened;
  const bool file = out >= 0 && fstat(out, &opened) == 0 && S_ISREG(opened.st_mode);
  if (file && opened.st_uid != geteuid()) {
    ::close(out);
    return kOtherOwner;
  }
  return WriteOpened(out, bytes, file);
}

// Writes to `name` in folder `dir`, which exists and is no link.
int WriteExisting(const PathWalk& walk, int dir, const QByteArray& name, const struct stat& st, const Pieces& bytes) {
  if (S_ISDIR(st.st_mode)) return EISDIR;
  if (int e = walk.stepAllowed(st.st_uid)) return e;
  // A device (only a privileged user can make one) is written as it is.
  if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)) return WriteInto(dir, name, st, bytes, false);
  if (st.st_uid != geteuid()) return kOtherOwner;
  if (S_ISFIFO(st.st_mode)) return WriteInto(dir, name, st, bytes, false);
  if (!S_ISREG(st.st_mode)) return kNotRegular;
  return Replace(dir, name, &st, bytes);
}

// Writes to what `name` in the walk's folder names, as WriteOutput says.
int WriteAt(PathWalk& walk, QByteArray name, const Pieces& bytes) {
  for (int round = 0; round < kMaxLinks + 4; ++round) {
    const int dir = walk.folder();
    const Fd fd(openat(dir, name.constData(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
    struct stat st;
    if (!fd.valid()) {
      if (errno != ENOENT) return errno;
      const int e = Replace(dir, name, nullptr, bytes);
      if (e != EEXIST) return e;
      continue;  // something was put there meanwhile: look again
    }
    if (fstat(fd.get(), &st) != 0) return errno;
    if (!S_ISLNK(st.st_mode)) return WriteExisting(walk, dir, name, st, bytes);
    if (OnProc(dir)) return WriteThroughProc(walk, dir, name, st, bytes);
    if (int e = walk.follow(fd.get(), st)) return e;
    if (int e = walk.toLast(&name)) return e;
    if (name.isEmpty() || name == "..") return EISDIR;
  }
  return ELOOP;
}

}  // namespace

namespace native {

int OpenRowFolder(const QByteArray& folder, int* error) {
  // As an ordinary user no step is unsafe: the system's own walk refuses
  // every link.
  if (geteuid() != 0) {
    const int fd = OpenNoLinks(folder.constData(), O_RDONLY | O_DIRECTORY);
    if (fd < 0) *error = errno == ELOOP ? kThroughLink : errno;
    return fd;
  }
  PathWalk walk(false, false);
  int e = walk.start(folder);
  if (e == 0) e = walk.toEnd();
  const int fd = e == 0 ? Reopen(walk.folder()) : -1;
  if (e == 0 && fd < 0) e = errno;
  *error = e;
  return fd;
}

}  // namespace native

QString RealFolderPath(const QString& path, int* error) {
  PathWalk walk(true, false);
  int e = walk.start(Encode(path));
  if (e == 0) e = walk.toEnd();
  if (e != 0) return Fail(error, e), QString();
  const QByteArray bytes = walk.text();
  QString text = QFile::decodeName(bytes);
  // A name that is no text would name another folder when turned back.
  if (Encode(text) != bytes) return Fail(error, EILSEQ), QString();
  return text;
}

bool WriteOutput(const QString& path, const Pieces& bytes, int* error) {
  const QByteArray p = Encode(path);
  const QByteArray last = p.mid(p.lastIndexOf('/') + 1);
  if (p.isEmpty()) return Fail(error, ENOENT);
  if (last.isEmpty() || last == "." || last == "..") return Fail(error, EISDIR);
  PathWalk walk(true, false);
  QByteArray name;
  int e = walk.start(p);
  if (e == 0) e = walk.toLast(&name);
  if (e == 0) e = WriteAt(walk, name, bytes);
  return e == 0 || Fail(error, e);
}

bool RemoveEmptyFolder(const QString& folder) {
  const QByteArray p = Encode(folder);
  const qsizetype cut = p.lastIndexOf('/');
  const QByteArray name = p.mid(cut + 1);
  if (cut < 0 || name.isEmpty() || name == "." || name == "..") return false;
  int error = 0;
  const Fd parent(native::OpenRowFolder(p.left(cut + 1), &error));
  struct stat up, st;
  if (!parent.valid() || fstat(parent.get(), &up) != 0) return false;
  if (fstatat(parent.get(), name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(st.st_mode)) return false;
  return !UnsafeStep(up.st_uid, st.st_uid) && unlinkat(parent.get(), name.constData(), AT_REMOVEDIR) == 0;
}

bool HeldFolder::open(const QString& path, int* error) {
  close();
  PathWalk walk(true, true);
  int e = walk.start(Encode(path));
  if (e == 0) e = walk.toEnd();
  if (e == 0 && (fd_ = Reopen(walk.folder())) < 0) e = errno;
  return e == 0 || Fail(error, e);
}

void HeldFolder::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

}  // namespace fs
