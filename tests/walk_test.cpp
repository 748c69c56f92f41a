#include "engine/walk.h"
#include "tree.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The files the walk accepts under `roots`, relative to the tree, sorted and joined by ' '.
QString Walk(Host& host, const Tree& t, const QStringList& roots) {
  CandidateList list;
  Walker(host, RunToken::Start(), list).ScanRoots(roots);
  QStringList out;
  for (int i = 0; i < list.count(); ++i) out << t.rel(list.path(i));
  out.sort();
  return out.join(' ');
}

}  // namespace

TEST(Walk, MaskIgnoresCaseAndHiddenFoldersAreNeverEntered) {
  const Tree t{{"a.JPG", ""},  {"sub/deep/b.jpg", ""}, {".hidden/c.jpg", ""}, {"x/y/.h/z/d.jpg", ""},
               {".e.jpg", ""}, {"README", ""},         {"n.txt", ""}};
  const struct {
    const char *mask, *found;
  } cases[] = {{"*.jpg", ".e.jpg a.JPG sub/deep/b.jpg"},
               {"*.*", ".e.jpg README a.JPG n.txt sub/deep/b.jpg"},
               {"?.TXT", "n.txt"}};
  for (const auto& c : cases) {
    Host host;
    host.maskText = c.mask;
    EXPECT_EQ(Walk(host, t, {t.root()}), c.found) << c.mask;
  }
  Host host;  // a missing root and an empty one yield nothing; a root gets its separator
  EXPECT_EQ(Walk(host, t, {t("missing"), QString(), t("sub")}), "sub/deep/b.jpg");
}

TEST(Walk, SizeOptionsKeepTheTwentyKilobyteBoundary) {
  Tree t;
  t.sized("zero", 0), t.sized("under", 20479), t.sized("at", 20480);
  const struct {
    bool small, empty;
    const char* found;
  } cases[] = {{false, false, "at under zero"}, {true, false, "at"}, {false, true, "at under"}, {true, true, "at"}};
  for (const auto& c : cases) {
    Host host;
    host.small = c.small, host.empty = c.empty;
    EXPECT_EQ(Walk(host, t, {t.root()}), c.found) << c.small << c.empty;
  }
}

TEST(Walk, EveryPhysicalFolderIsListedOnceSoNoFileIsItsOwnCopy) {
  const Tree t{{"a/f.txt", "same"}, {"a/g.txt", "other"}};
  t.link(t("a"), "b");              // a sibling link to a folder
  t.link(t("a"), "a/loop");         // a link to its own folder
  t.link(t("a/f.txt"), "a/f.lnk");  // a link to a file is no candidate
  Host host(t("a") + ';' + t("./a") + ';' + t("b") + ';');
  EXPECT_EQ(Walk(host, t, {t("a"), t("./a"), t("b")}), "a/f.txt a/g.txt");
  ScanDriver(host).Scan();
  EXPECT_EQ(host.values("comparing") + '|' + QString::number(host.count("complete")), "2|1");
  EXPECT_EQ(host.model.count(), 0);
}

TEST(Walk, OnlyRegularFilesWithReadableNamesAreCandidates) {
  const Tree t{{"x*y/a*b.txt", "same"}, {"c*d.txt", "same"}};
  ASSERT_EQ(mkfifo(QFile::encodeName(t("fifo")).constData(), 0644), 0);  // opened, it would block the scan
  const QByteArray bad = QFile::encodeName(t.root()) + "/bad\xff";
  struct Unlink {  // the temporary folder cannot remove what it cannot name
    const QByteArray& path;
    ~Unlink() { ::unlink(path.constData()); }
  } cleanup{bad};
  const int fd = ::open(bad.constData(), O_CREAT | O_WRONLY, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::write(fd, "same", 4), 4);
  ::close(fd);
  Host host(t.root());
  EXPECT_EQ(Walk(host, t, {t.root()}), "c*d.txt x*y/a*b.txt");
  ScanDriver(host).Scan();
  EXPECT_EQ(host.rows(t), "c*d.txt x*y/a*b.txt+");
  EXPECT_EQ(host.model.row(1).caption, "a*b.txt");
}
