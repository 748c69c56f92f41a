// POSIX implementation of the file-system operations.
#include "platform/fs.h"

#include <QDateTime>
#include <QDir>
#include <QStandardPaths>
#include <QFile>
#include <QLocale>

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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

QString FolderOf(const QString& path) {
  const qsizetype cut = path.lastIndexOf(kSeparator);
  return cut < 0 ? QStringLiteral(".") : path.left(cut + 1);
}

}  // namespace

bool ListFolder(const QString& folder, FolderId* id, std::vector<DirEntry>& entries) {
  entries.clear();
  DIR* dir = opendir(NativePath(folder).c_str());
  if (!dir) return false;
  const int dfd = dirfd(dir);
  struct stat st;
  if (fstat(dfd, &st) != 0) {
    closedir(dir);
    return false;
  }
  if (id) *id = FolderId{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
  while (dirent* d = readdir(dir)) {
    const char* raw = d->d_name;
    if (raw[0] == '.' && (raw[1] == 0 || (raw[1] == '.' && raw[2] == 0))) continue;
    DirEntry entry;
    entry.name = DecodeName(raw);
    if (entry.name.isEmpty()) continue;
    entry.hidden = IsHiddenName(entry.name);
    unsigned char type = d->d_type;
    if (type == DT_UNKNOWN || type == DT_REG) {
      if (fstatat(dfd, raw, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
      if (S_ISREG(st.st_mode)) {
        entry.isFile = true;
        entry.size = st.st_size;
        entry.mtime = st.st_mtim.tv_sec;
      } else if (S_ISDIR(st.st_mode)) {
        entry.isFolder = true;
      } else if (S_ISLNK(st.st_mode)) {
        type = DT_LNK;
      }
    } else if (type == DT_DIR) {
      entry.isFolder = true;
    }
    if (type == DT_LNK) {
      // A link is entered when it leads to a folder; a link to a file is
      // never a candidate (the file it names is found under its own name).
      if (fstatat(dfd, raw, &st, 0) == 0 && S_ISDIR(st.st_mode)) entry.isFolder = true;
    }
    entries.push_back(std::move(entry));
  }
  closedir(dir);
  return true;
}

bool FolderLooksEmpty(const QString& folder) {
  DIR* dir = opendir(Encode(folder).constData());
  if (!dir) return true;
  bool empty = true;
  while (dirent* d = readdir(dir)) {
    const char* raw = d->d_name;
    if (raw[0] == '.' && (raw[1] == 0 || (raw[1] == '.' && raw[2] == 0))) continue;
    empty = false;
    break;
  }
  closedir(dir);
  return empty;
}

bool WildcardMatch(const QString& pattern, const QString& name) {
  if (pattern == QLatin1String("*.*")) return true;
  const qsizetype pn = pattern.size(), nn = name.size();
  qsizetype p = 0, n = 0, star = -1, mark = 0;
  while (n < nn) {
    if (p < pn && pattern[p] == QLatin1Char('*')) {
      star = p++;
      mark = n;
    } else if (p < pn && (pattern[p] == QLatin1Char('?') ||
                          pattern[p].toCaseFolded() == name[n].toCaseFolded())) {
      ++p;
      ++n;
    } else if (star >= 0) {
      p = star + 1;
      n = ++mark;
    } else {
      return false;
    }
  }
  while (p < pn && pattern[p] == QLatin1Char('*')) ++p;
  return p == pn;
}

bool FolderExists(const QString& path) {
  struct stat st;
  return !path.isEmpty() && stat(Encode(path).constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool FileExists(const QString& path) {
  struct stat st;
  const QByteArray p = Encode(path);
  if (path.isEmpty() || lstat(p.constData(), &st) != 0) return false;
  if (S_ISLNK(st.st_mode)) return !(stat(p.constData(), &st) == 0 && S_ISDIR(st.st_mode));
  return !S_ISDIR(st.st_mode);
}

QString ShortDateText(qint64 mtime) {
  static const QLocale locale = QLocale::system();
  return locale.toString(QDateTime::fromSecsSinceEpoch(mtime).date(), QLocale::ShortFormat);
}

bool ResetAttributes(const QString& path) {
  struct stat st;
  const QByteArray p = Encode(path);
  if (lstat(p.constData(), &st) != 0 || S_ISLNK(st.st_mode)) return false;
  if (st.st_mode & S_IWUSR) return true;
  return chmod(p.constData(), (st.st_mode & 07777) | S_IWUSR) == 0;
}

bool RemoveFile(const QString& path, int* error) {
  if (unlink(Encode(path).constData()) == 0) return true;
  if (error) *error = errno;
  return false;
}

namespace {

// Copies `from` to a new file `to` on another file system: the copy goes to
// a temporary name beside the target, is flushed, and only a complete copy
// gets the target name. Returns false with nothing left behind on failure.
bool CopyAcross(const QByteArray& from, const QByteArray& to) {
  const int in = open(from.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (in < 0) return false;
  struct stat st;
  if (fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(in);
    return false;
  }
  const QString folder = FolderOf(QFile::decodeName(to));
  QByteArray temp = Encode(folder) + ".zorvik-move-XXXXXX";
  const int out = mkostemp(temp.data(), O_CLOEXEC);
  if (out < 0) {
    ::close(in);
    return false;
  }
  bool ok = true;
  std::vector<char> buffer(1 << 20);
  for (;;) {
    const ssize_t got = read(in, buffer.data(), buffer.size());
    if (got == 0) break;
    if (got < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    for (ssize_t done = 0; done < got;) {
      const ssize_t put = write(out, buffer.data() + done, static_cast<size_t>(got - done));
      if (put < 0) {
        if (errno == EINTR) continue;
        ok = false;
        break;
      }
      done += put;
    }
    if (!ok) break;
  }
  if (ok) {
    fchmod(out, st.st_mode & 07777);
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    futimens(out, times);
    ok = fsync(out) == 0;
  }
  ok = (::close(out) == 0) && ok;
  ::close(in);
  if (ok) {
    ok = renameat2(AT_FDCWD, temp.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0;
    if (!ok && errno == EINVAL) ok = link(temp.constData(), to.constData()) == 0;
  }
  if (!ok || access(temp.constData(), F_OK) == 0) unlink(temp.constData());
  return ok;
}

}  // namespace

bool MoveFile(const QString& from, const QString& to) {
  const QByteArray f = Encode(from), t = Encode(to);
  if (renameat2(AT_FDCWD, f.constData(), AT_FDCWD, t.constData(), RENAME_NOREPLACE) == 0) return true;
  if (errno == EINVAL || errno == ENOSYS) {
    // The file system cannot refuse a replacement by itself.
    struct stat st;
    if (lstat(t.constData(), &st) == 0) return false;
    return rename(f.constData(), t.constData()) == 0;
  }
  if (errno != EXDEV) return false;
  if (!CopyAcross(f, t)) return false;
  if (unlink(f.constData()) != 0) {
    // The source cannot go: keep it, and take the copy back.
    unlink(t.constData());
    return false;
  }
  return true;
}

bool MoveToTrash(const QString& path) {
  // The trash lives in the user's data folder, which may not exist yet;
  // without it the file would be "trashed" into the working folder.
  const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
  if (data.isEmpty() || !QDir().mkpath(data)) return false;
  QString inTrash;
  if (!QFile::moveToTrash(path, &inTrash)) return false;
  if (QDir::isRelativePath(inTrash)) {
    // Never leave a file in a place the user would not look for it.
    QFile::rename(inTrash, path);
    return false;
  }
  return true;
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

bool RemoveFolder(const QString& folder) { return rmdir(Encode(folder).constData()) == 0; }

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
  const int fd = ::open(p.c_str(), kReadFlags);
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

bool ReadFile::readAt(qint64 offset, char* buffer, qint64 length) {
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

}  // namespace fs
