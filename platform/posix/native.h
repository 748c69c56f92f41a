// What the POSIX file operations share: paths as the system's bytes,
// opening without following links, and the identity of a file.
#pragma once

#include "platform/fs.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <utility>

namespace fs::native {

// A descriptor closed when it goes out of scope.
class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  ~Fd() { reset(); }
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

// Sets *error (where asked for) to `code`; false, for returning.
inline bool Fail(int* error, int code) {
  if (error) *error = code;
  return false;
}

// `count` random letters and digits, to make a name unique in a folder.
QByteArray RandomLetters(int count);

inline QByteArray Encode(const QString& path) { return QFile::encodeName(path); }

// Opens `path` without following a link in any of its components: a link
// anywhere on the way fails with ELOOP.
int OpenNoLinks(const char* path, int flags);

// Opens the folder of a row, `folder`, without following a link in any of
// its components; for root, also without an unsafe step (see UnsafeStep).
// Returns the descriptor, or -1 with *error: kThroughLink, kUnsafeStep or
// the system's code.
int OpenRowFolder(const QByteArray& folder, int* error);

// Whether a step from something owned by `from` into something owned by
// `to` is unsafe: only for root, out of an ordinary user's hands into
// anyone else's.
inline bool UnsafeStep(uid_t from, uid_t to) { return geteuid() == 0 && from != 0 && to != from; }

inline bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

inline FileId IdOf(const struct stat& st) {
  return FileId{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

}  // namespace fs::native
