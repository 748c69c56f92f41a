#include "results/listfile.h"
#include "platform/fs.h"
#include "tree.h"

#include <sys/resource.h>
#include <csignal>

namespace {

QByteArray Read(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : "<missing>";
}

// The rows as "mark,caption,path,size,date", "|" for a row without sub-items.
QString Texts(const std::vector<ResultRow>& rows) {
  QStringList out;
  for (const ResultRow& r : rows)
    out << (r.hasSubItems ? QStringList{r.marked ? "1" : "0", r.caption, r.path, r.sizeText, r.dateText}.join(',')
                          : "|");
  return out.join(' ');
}

}  // namespace

TEST(ListFile, SavesEveryRowAsALineEndedByCrLfAndLoadsItBack) {
  const Tree t;
  LoadedList loaded;
  ASSERT_TRUE(SaveListFile(ResultModel(), t("empty.txt"), nullptr));
  EXPECT_EQ(Read(t("empty.txt")), "");
  ASSERT_TRUE(LoadListFile(t("empty.txt"), &loaded, nullptr));
  EXPECT_TRUE(loaded.rows.empty());

  // A ';' in a folder name and in a file name, and names beyond Latin.
  ResultModel model;
  const char* paths[] = {"/p/a.txt",         "/q/a.txt",     "|", "/f;o/b;c.txt", "/я/b;c.txt", "|",
                         "/Фото/снимок.jpg", "/x/снимок.jpg"};
  for (const char* p : paths) {
    // A group long enough that the file is written in several pieces.
    if (p[0] == '|' && model.count() == 5)
      for (int i = 0; i < 1500; ++i)
        model.appendFileRow({1536, QString("/long/%1/file.jpg").arg(i, 60, 10, QChar('0')), kMtime});
    p[0] == '|' ? model.appendSeparator() : model.appendFileRow({1536, p, kMtime});
  }
  model.setMarked(1, true);
  model.setMarked(model.count() - 1, true);
  ASSERT_TRUE(SaveListFile(model, t("list.txt"), nullptr));
  ASSERT_GT(Read(t("list.txt")).size(), 2 << 16);
  const QString date = fs::ShortDateText(kMtime);
  const QString text = QString::fromUtf8(Read(t("list.txt")));
  EXPECT_TRUE(text.startsWith("0;a.txt;/p/a.txt;2;" + date + "\r\n1;a.txt;/q/a.txt;2;" + date + "\r\n\r\n0;b;c.txt;"));
  EXPECT_TRUE(text.endsWith("1;снимок.jpg;/x/снимок.jpg;2;" + date + "\r\n"));
  ASSERT_TRUE(LoadListFile(t("list.txt"), &loaded, nullptr));
  EXPECT_EQ(loaded.unreadable, 0);
  EXPECT_EQ(loaded.rows.size(), size_t(model.count()));
  ResultModel back;
  back.appendRows(loaded.rows);
  EXPECT_EQ(ListFileBytes(back), ListFileBytes(model));
  EXPECT_EQ(back.markedCount() + back.markedKB(), 2 + 4);
}

TEST(ListFile, AByteOrderMarkWhereTheLocaleIsNotUtf8) {
  ResultModel model;
  model.appendFileRow({1536, "/p/снимок.jpg", kMtime});
  const QByteArray lcAll = qgetenv("LC_ALL");
  qputenv("LC_ALL", "C");  // ASCII, whatever Qt made of the running program's locale
  const QByteArray ascii = ListFileBytes(model), none = ListFileBytes(ResultModel());
  qputenv("LC_ALL", "C.UTF-8");
  const QByteArray utf8 = ListFileBytes(model);
  lcAll.isNull() ? qunsetenv("LC_ALL") : qputenv("LC_ALL", lcAll);
  EXPECT_EQ(ascii, "\xEF\xBB\xBF" + utf8);
  EXPECT_TRUE(utf8.startsWith("0;снимок.jpg;")) << utf8.toStdString();
  EXPECT_EQ(none, "");  // an empty list stays an empty file
  LoadedList back = ParseListText(DecodeListBytes(ascii));
  EXPECT_EQ(Texts(back.rows), "0,снимок.jpg,/p/снимок.jpg,2," + fs::ShortDateText(kMtime));
}

TEST(ListFile, LinesAndFieldsAreReadLeniently) {
  const struct {
    const char *text, *rows;
    int unreadable;
  } cases[] = {
      {"0;a;/p/a;1;d\r\n\r\n", "0,a,/p/a,1,d |", 0},
      {"0;a;/a;1;d\r1;b;/b;2;e\n\n0;c;/c;3;f", "0,a,/a,1,d 1,b,/b,2,e | 0,c,/c,3,f", 0},
      // a run of line breaks: one separator
      {"\n\r\n0;a;/a;1;d\r\n\r\n\n\r\r0;b;/b;1;d\n\n\n", "| 0,a,/a,1,d | 0,b,/b,1,d |", 0},
      {"1;x.txt", "1,x.txt,,,", 0},
      {"1 ;a;/a;1;d\r\n01;a;/a;1;d\r\n;a; ;1;d", "0,a,/a,1,d 0,a,/a,1,d 0,a,,1,d", 0},
      {"1;b;c.txt;/f;o/b;c.txt;2;d", "1,b;c.txt,/f;o/b;c.txt,2,d", 0},
      {"1; ;/p/ ; ; ", "1, ,/p/ ,,", 0},  // a file named " " keeps its name; other fields of one space read empty
      {"1;a;/a;/a;/a;5;d", "0,a,,,", 1},  // two splits fit: the row names no file rather than a wrong one
      {"1;x;y;z;5;d", "0,x,,,", 1},       // none fits
      {"1; ;y;z;5;d", "0, ,,,", 1},       // nor here, and the row named " " stays a file row
  };
  for (const auto& c : cases) {
    const LoadedList loaded = ParseListText(QString::fromUtf8(c.text));
    EXPECT_EQ(Texts(loaded.rows), c.rows) << c.text;
    EXPECT_EQ(loaded.unreadable, c.unreadable) << c.text;
  }
  ResultModel model;
  QString error;
  QObject::connect(&model, &ResultModel::totalsError, [&](const QString& e) { error = "no number: '" + e + "'"; });
  model.appendRows(ParseListText("1;x.txt").rows);
  EXPECT_EQ(error, "no number: ''");

  // A NUL makes its line unreadable and ends nothing.
  const QByteArray nul("0;a;/a;1;d\n1;b\0;/b;1;d\n1;c;/c;1;d", 33);
  const LoadedList withNul = ParseListText(DecodeListBytes(nul));
  EXPECT_EQ(Texts(withNul.rows), "0,a,/a,1,d 0,b" + QString(QChar(0)) + ",,, 1,c,/c,1,d");
  EXPECT_EQ(withNul.unreadable, 1);

  // Endless or huge input is refused, not read into memory without end, and
  // so is a list of more rows than memory holds; line breaks cost nothing.
  LoadedList loaded;
  ListLoadError refused;
  EXPECT_FALSE(LoadListFile("/dev/zero", &loaded, &refused, 1 << 20));
  EXPECT_TRUE(refused.kind == ListLoadError::Kind::TooLarge && refused.bound == 1 << 20);
  const Tree t;
  const QString rows = t.file("rows.txt", "0;a;/a;1;d\n\n\n0;b;/b;1;d\n0;c;/c;1;d\n1;d;/d;1;d\n");
  EXPECT_FALSE(LoadListFile(rows, &loaded, &refused, kLargestList, 4));
  EXPECT_TRUE(refused.kind == ListLoadError::Kind::TooManyRows && refused.bound == 4);
  EXPECT_TRUE(LoadListFile(rows, &loaded, &refused, kLargestList, 5));
  EXPECT_EQ(ParseListText(QString(1 << 20, '\n')).rows.size(), 1u);
  const LoadedList crowded = ParseListText("1;a" + QString(100000, ';') + "/a;5;d");
  ASSERT_EQ(crowded.rows.size(), 1u);
  EXPECT_EQ(crowded.rows[0].path, QString(99999, ';') + "/a");
}

TEST(ListFile, EncodingFollowsTheByteOrderMark) {
  const QString hello = QStringLiteral("Привет;/т/ф");
  QByteArray le("\xFF\xFE"), be("\xFE\xFF");
  for (const QChar c : hello) {
    le.append(char(c.unicode() & 0xFF)).append(char(c.unicode() >> 8));
    be.append(char(c.unicode() >> 8)).append(char(c.unicode() & 0xFF));
  }
  EXPECT_EQ(DecodeListBytes("\xEF\xBB\xBF" + hello.toUtf8()), hello);
  EXPECT_EQ(DecodeListBytes(hello.toUtf8()), hello);
  EXPECT_EQ(DecodeListBytes(le), hello);
  EXPECT_EQ(DecodeListBytes(be), hello);
  EXPECT_EQ(DecodeListBytes("\xCF\xF0\xE8\xE2\xE5\xF2"), "Привет");  // not UTF-8: Windows-1251
  EXPECT_EQ(DecodeListBytes("ab\xD0"), "abР");                       // cut short: not UTF-8 either
  // A NUL is kept: it makes its line unreadable, not the end of the list.
  EXPECT_EQ(DecodeListBytes(QByteArray("0;a\0;b", 6)), QString("0;a") + QChar(0) + ";b");
  EXPECT_EQ(DecodeListBytes(le + QByteArray(2, 0) + le.mid(2)), hello + QChar(0) + hello);
}

TEST(ListFile, AFailedSaveReportsTheFileAndKeepsTheEarlierList) {
  const Tree t{{"list.txt", "earlier"}};
  ResultModel model;
  model.appendFileRow({100, "/p/a", kMtime});
  model.appendFileRow({100, "/q/a", kMtime});
  QString error;
  EXPECT_FALSE(SaveListFile(model, t("missing/list.txt"), &error));
  EXPECT_TRUE(error.startsWith(t("missing/list.txt"))) << qPrintable(error);

  // A write that fails part way (here at the file-size limit) leaves the earlier list whole.
  struct rlimit old, small;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  small = old;
  small.rlim_cur = 16;
  const auto handler = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const bool saved = SaveListFile(model, t("list.txt"), &error);
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, handler);
  EXPECT_FALSE(saved);
  EXPECT_EQ(Read(t("list.txt")), "earlier");
  EXPECT_EQ(QDir(t.root()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{"list.txt"});
}
