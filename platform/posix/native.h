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

namespace fs::native {

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
