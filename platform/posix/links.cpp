// POSIX implementation of replacing a held file by a link to its copy: a
// hard or symbolic link swapped in for the name, or blocks shared by the
// kernel's deduplication request.
#include "platform/fs.h"
#include "platform/posix/native.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace fs {

void (*g_afterLinkStep)(int step) = nullptr;

using native::Encode;
using native::Fail;
using native::IdOf;

namespace {

void Step(int step) {
  if (g_afterLinkStep) g_afterLinkStep(step);
}

QByteArray TempName() { return kLinkTempPrefix + native::RandomLetters(10); }

// What `name` in folder `dir` holds, the last link not followed.
bool Look(int dir, const QByteArray& name, struct stat* st) {
  return fstatat(dir, name.constData(), st, AT_SYMLINK_NOFOLLOW) == 0;
}

// Whether `name` in `dir` is the link that was made, `link`.
bool HoldsLink(int dir, const QByteArray& name, FileId link) {
  struct stat st;
  return Look(dir, name, &st) && (S_ISREG(st.st_mode) || S_ISLNK(st.st_mode)) && IdOf(st) == link;
}

bool Swap(int dir, const QByteArray& a, const QByteArray& b) {
  return renameat2(dir, a.constData(), dir, b.constData(), RENAME_EXCHANGE) == 0;
}

// A link made beside a file: its temporary name, and what the name holds.
struct Aside {
  QByteArray temp;
  FileId link;  // the target for a hard link, the symbolic link itself
};

// Makes the link under a new temporary name in `dir`: a hard link of `name`
// in `from` (whose identity `made->link` holds), or a symbolic link holding
// `text`. 0 or the error code (kChanged when `name` no longer led to that
// file; the name made is then left, as it may hold another file).
int LinkAside(LinkKind kind, int from, const QByteArray& name, const QByteArray& text, int dir, Aside* made) {
  for (int tries = 0; made->temp.isEmpty() && tries < 100; ++tries) {
    made->temp = TempName();
    const int done = kind == LinkKind::Hard ? linkat(from, name.constData(), dir, made->temp.constData(), 0)
                                            : symlinkat(text.constData(), dir, made->temp.constData());
    if (done != 0 && errno != EEXIST) return errno;
    if (done != 0) made->temp.clear();
  }
  if (made->temp.isEmpty()) return EEXIST;
  struct stat st;
  if (kind == LinkKind::Symbolic && Look(dir, made->temp, &st) && S_ISLNK(st.st_mode)) made->link = IdOf(st);
  return HoldsLink(dir, made->temp, made->link) ? 0 : kChanged;
}

// As root, gives the link `name` in `dir` the owner of the file behind `fd`.
void GiveOwnerOf(int fd, int dir, const QByteArray& name) {
  struct stat own;
  if (geteuid() == 0 && fstat(fd, &own) == 0)
    fchownat(dir, name.constData(), own.st_uid, own.st_gid, AT_SYMLINK_NOFOLLOW);
}

// Shares the blocks of `to` with those of `from` where the kernel finds
// their bytes equal; both must keep their size throughout.
bool Dedupe(int from, int to, int* error) {
  struct stat a, b;
  if (fstat(from, &a) != 0 || fstat(to, &b) != 0) return Fail(error, errno);
  if (a.st_size != b.st_size) return Fail(error, kChanged);
  const auto unsupported = [](int code) {
    return code == EOPNOTSUPP || code == ENOTTY || code == EINVAL || code == ENOSYS || code == EXDEV;
  };
  std::vector<char> request(sizeof(file_dedupe_range) + sizeof(file_dedupe_range_info));
  auto* range = reinterpret_cast<file_dedupe_range*>(request.data());
  for (off_t offset = 0; offset < a.st_size;) {
    std::fill(request.begin(), request.end(), 0);
    range->src_offset = static_cast<__u64>(offset);
    range->src_length = static_cast<__u64>(a.st_size - offset);
    range->dest_count = 1;
    range->info[0].dest_fd = to;
    range->info[0].dest_offset = static_cast<__u64>(offset);
    if (ioctl(from, FIDEDUPERANGE, range) != 0) return Fail(error, unsupported(errno) ? kCloneUnsupported : errno);
    const file_dedupe_range_info& done = range->info[0];
    if (done.status == FILE_DEDUPE_RANGE_DIFFERS) return Fail(error, kChanged);
    if (done.status < 0) return Fail(error, unsupported(-done.status) ? kCloneUnsupported : -done.status);
    if (done.bytes_deduped == 0) return Fail(error, kCloneUnsupported);
    offset += static_cast<off_t>(done.bytes_deduped);
  }
  struct stat after, afterTo;
  if (fstat(from, &after) != 0 || fstat(to, &afterTo) != 0) return Fail(error, errno);
  return (after.st_size == a.st_size && afterTo.st_size == a.st_size) || Fail(error, kChanged);
}

}  // namespace

bool HeldFile::ownership(Ownership* out) const {
  struct stat st;
  if (fd_ < 0 || fstat(fd_, &st) != 0) return false;
  *out = {.user = st.st_uid, .group = st.st_gid, .mode = static_cast<int>(st.st_mode & 07777)};
  return true;
}

bool HeldFile::replaceByLink(const HeldFile& target, LinkKind kind, int* error) {
  if (fd_ < 0 || target.fd_ < 0 || target.id_ == id_) return Fail(error, kChanged);
  Step(0);
  if (kind == LinkKind::Clone) return Dedupe(target.fd_, fd_, error);
  if (!stillInPlace() || !target.stillInPlace()) return Fail(error, kChanged);

  // 1. The link, under a name of its own beside this file.
  Aside made{.temp = {}, .link = target.id_};
  if (const int code = LinkAside(kind, target.dir_, target.name_, Encode(target.path_), dir_, &made); code != 0)
    return Fail(error, code);
  const QByteArray& temp = made.temp;
  const FileId link = made.link;
  const auto takeBack = [&](int code) {
    if (HoldsLink(dir_, temp, link)) unlinkat(dir_, temp.constData(), 0);
    return Fail(error, code);
  };
  if (kind == LinkKind::Symbolic) GiveOwnerOf(fd_, dir_, temp);
  Step(1);

  // 2. The link takes the name, the file the temporary one, in one step.
  if (!Swap(dir_, temp, name_)) return takeBack(errno == EINVAL || errno == ENOSYS ? kSwapUnsupported : errno);
  Step(2);

  // 3. The name swapped out must be this very file, and the name the link.
  struct stat out;
  if (!Look(dir_, temp, &out) || IdOf(out) != id_ || !HoldsLink(dir_, name_, link)) {
    if (Swap(dir_, temp, name_)) return takeBack(kChanged);
    return Fail(error, kChanged);  // both names stay as they are: nothing is lost
  }
  Step(3);

  // 4. Only now the file's old name goes.
  if (unlinkat(dir_, temp.constData(), 0) != 0) {
    const int code = errno;
    if (Swap(dir_, temp, name_)) return takeBack(code);
    return Fail(error, code);
  }
  Step(4);
  return true;
}

QStringList HeldFile::leftoverLinks() const {
  QStringList found;
  native::Fd fd(dir_ >= 0 ? openat(dir_, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1);
  DIR* folder = fd.valid() ? fdopendir(fd.get()) : nullptr;
  if (!folder) return found;
  fd.release();  // the listing owns it now
  const QString prefix = path_.left(path_.lastIndexOf(kSeparator) + 1);
  while (const dirent* entry = readdir(folder))
    if (qstrncmp(entry->d_name, kLinkTempPrefix, qstrlen(kLinkTempPrefix)) == 0)
      found << prefix + QFile::decodeName(entry->d_name);
  closedir(folder);
  return found;
}

}  // namespace fs
