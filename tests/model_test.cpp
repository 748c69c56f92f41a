#include "tree.h"

#include <QAbstractItemModelTester>

namespace {

// A result model that Qt's model tester checks at every change it reports.
class CheckedModel : public ResultModel {
 public:
  CheckedModel() : tester_(this, QAbstractItemModelTester::FailureReportingMode::Fatal) {}

 private:
  QAbstractItemModelTester tester_;
};

ResultRow File(const QString& path, const QString& size = QStringLiteral("1"), bool marked = false) {
  ResultRow r;
  r.caption = FileNameOf(path);
  r.hasSubItems = true;
  r.path = path;
  r.sizeText = size;
  r.marked = marked;
  return r;
}

// The last totals the model reported ("space count", or "no number: 'SIZE'"
// naming the size text of the error), and how
// many reports there were; `fields` what the two fields show, `errors` how
// many error reports came.
struct Totals {
  QString last, fields;
  int reports = 0, errors = 0;
  explicit Totals(ResultModel& model) {
    QObject::connect(&model, &ResultModel::totalsChanged,
                     [this](const QString& s, const QString& c) { last = fields = s + ' ' + c, ++reports; });
    QObject::connect(&model, &ResultModel::totalsError,
                     [this](const QString& e) { last = "no number: '" + e + "'", ++reports, ++errors; });
  }
};

}  // namespace

TEST(Model, SizeAndSpaceTextsRoundHalfToEven) {
  CheckedModel model;
  for (const qint64 s : {0, 512, 513, 1535, 1536, 2560, 2561, 10485760}) model.appendFileRow({s, "/d/f", 0});
  QStringList texts;
  for (int i = 0; i < model.count(); ++i) texts << model.row(i).sizeText;
  EXPECT_EQ(texts.join(','), "0,0,1,1,2,2,3,10240");
  EXPECT_EQ(model.row(0).caption, "f");
  const std::pair<qint64, const char*> space[] = {{0, "0 KB"},    {1024, "1024 KB"}, {1025, "1 MB"},
                                                  {1536, "2 MB"}, {2560, "2 MB"},    {3584, "4 MB"}};
  for (const auto& [kb, text] : space) EXPECT_EQ(SpaceText(kb), text) << kb;
}

TEST(Model, MarksChangeTheTotalsAtOnceAndSeparatorsCountForNothing) {
  CheckedModel model;
  Totals totals(model);
  model.appendRows({File("/a", "1000"), ResultRow(), File("/b", "25")});
  EXPECT_EQ(totals.reports, 0);  // nothing was marked
  model.setMarked(0, true);
  EXPECT_EQ(totals.last, "1000 KB 1");
  model.setMarked(2, true);
  EXPECT_EQ(totals.last, "1 MB 2");
  model.setMarked(2, true);  // no change, no report
  model.setMarked(1, true);  // a separator
  EXPECT_EQ(totals.last, "1 MB 2");
  EXPECT_EQ(totals.reports, 3);
  model.clear();  // changes no mark and reports nothing
  EXPECT_EQ(totals.reports, 3);
}

TEST(Model, MarkAllButFirstKeepsTheFirstOrTheProtectedFiles) {
  const struct {
    const char *rows, *protect, *marks;
  } cases[] = {
      {"/c/a/x.jpg /Keep/x.jpg /e/x.jpg", "", "011"},
      {"/c/a/x.jpg /Keep/x.jpg /e/x.jpg", "/Keep/", "101"},
      {"/c/a/x.jpg /Keep/x.jpg /e/x.jpg", "/keep/", "011"},  // letter case counts
      {"/Keeper/a /b/a", "/Keep", "01"},
      {"/Old/Keep/b /Keep/b", "Keep/", "00"},
      {"/a/x /b/x | /c/y /Keep/y /d/y", "/Keep/", "010101"},
      {"/a", "", "0"},
      {"/a /b |", "", "010"},
      {"| /a /b | | /c /d", "", "0010001"},
      {"", "", ""},
  };
  for (const auto& c : cases) {
    CheckedModel model;
    Totals totals(model);
    Fill(model, QString(c.rows).split(' ', Qt::SkipEmptyParts));
    for (int i = 0; i < model.count(); ++i) model.setMarked(i, true);  // marks by hand, separators too
    const int reports = totals.reports;
    model.MarkAllButFirst(c.protect);
    EXPECT_EQ(Marks(model), c.marks) << c.rows << " / " << c.protect;
    EXPECT_EQ(totals.reports, reports + 1) << c.rows;
    EXPECT_EQ(totals.last, QString("%1 KB %1").arg(QString(c.marks).count('1'))) << c.rows;
  }
}

TEST(Model, SelectAllLeavesSeparatorsAndUnselectAllClearsThem) {
  for (const bool separatorMarked : {false, true}) {
    CheckedModel model;
    Totals totals(model);
    Fill(model, {"/a", "|", "/b", "/c"});
    model.setMarked(1, separatorMarked);
    model.SelectAll();
    EXPECT_EQ(Marks(model) + ' ' + totals.last, separatorMarked ? "1111 3 KB 3" : "1011 3 KB 3");
    model.UnselectAll();
    EXPECT_EQ(Marks(model) + ' ' + totals.last, "0000 0 KB 0");
  }
}

TEST(Model, TotalsNameTheFirstMarkedRowWhoseSizeIsNoNumberAndNeverOverflow) {
  CheckedModel model;
  Totals totals(model);
  model.appendRows({File("/a", "12", true), File("/b", "x", true), File("/c", "", true), File("/d", "3"),
                    File("/e", "9223372036854775807", true)});
  EXPECT_EQ(totals.last, "no number: 'x'");
  EXPECT_EQ(totals.errors, 1);          // once for the whole load
  EXPECT_EQ(totals.fields, "12 KB 1");  // as the recount of row a's mark left them
  model.setMarked(1, false);
  EXPECT_EQ(totals.last, "no number: ''");
  model.setMarked(2, false);
  EXPECT_EQ(totals.last, "no number: '9223372036854775807'");  // more than a total can hold
  model.setMarked(4, false);
  EXPECT_EQ(totals.last, "12 KB 1");
  EXPECT_EQ(totals.errors, 3);  // the load, then each change while a marked row is no number

  // A first marked row that is no number: no recount succeeds, the fields
  // keep what they showed. Spaces around the digits make no number.
  for (const char* size : {" 5", "5 ", "5\t"}) {
    CheckedModel spaced;
    Totals t(spaced);
    spaced.appendRows({File("/s", QString::fromLatin1(size), true), File("/t", "7", true)});
    EXPECT_EQ(t.last, QStringLiteral("no number: '%1'").arg(QString::fromLatin1(size)));
    EXPECT_EQ(t.errors + t.reports, 2) << "one error and nothing else for '" << size << "'";
  }

  CheckedModel huge;  // 5 * 2^31 KB in all
  Totals hugeTotals(huge);
  for (int i = 0; i < 3; ++i) huge.appendFileRow({qint64(1) << 40, "/t", 0});
  huge.appendRows({File("/u", "2147483648")});
  EXPECT_EQ(huge.row(0).sizeText, "1073741824");
  huge.SelectAll();
  EXPECT_EQ(hugeTotals.last, "5242880 MB 4");
}

TEST(Model, MarkingCommandsOverManyRowsReportOnce) {
  CheckedModel model;
  Totals totals(model);
  std::vector<ResultRow> rows;
  for (int g = 0; g < 40000; ++g) {  // 119,999 rows
    if (g > 0) rows.emplace_back();
    rows.push_back(File(QStringLiteral("/a/%1").arg(g)));
    rows.push_back(File(QStringLiteral("/b/%1").arg(g)));
  }
  model.appendRows(std::move(rows));
  model.SelectAll();
  EXPECT_EQ(totals.last, "78 MB 80000");
  model.UnselectAll();
  EXPECT_EQ(totals.last, "0 KB 0");
  model.MarkAllButFirst(QString());
  EXPECT_EQ(totals.last, "39 MB 40000");
  EXPECT_EQ(totals.reports, 3);
}
