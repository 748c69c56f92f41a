#include "engine/progress.h"
#include "tree.h"

namespace {

const char kSearching[] = "Searching files, please wait ...";
const char kComparing[] = "Comparing files, please wait ...";
const char kCancelled[] = "status:Canceled.,progress:0,title:Zazovovir Iruvav,cancel:0,detail:";

}  // namespace

TEST(Scan, ProgressPositionsRoundHalfToEvenWithinTheBar) {
  EXPECT_EQ(ProgressPosition(1, 8), 12);     // 12.5
  EXPECT_EQ(ProgressPosition(27, 200), 14);  // 13.5
  EXPECT_EQ(ProgressPosition(3, 1), 100);    // 300
  EXPECT_EQ(ProgressPosition(5, 200), 2);    // 2.5
  EXPECT_EQ(ProgressPosition(59, 200), 29);  // 0.295 is a little less in binary
  EXPECT_EQ(ProgressPosition(1, 0), 100);
  EXPECT_EQ(ProgressPosition(0, 0), 0);
  EXPECT_EQ(ProgressPosition(2, 3), 67);
  EXPECT_EQ(ProgressPosition(0, 3), 0);
  EXPECT_EQ(ProgressPosition(-1, 3), 0);
  const qint64 huge = qint64(1) << 62;  // no overflow in the arithmetic
  EXPECT_EQ(ProgressPosition(huge / 2, huge), 50);
  EXPECT_EQ(ProgressPosition(huge - 1, huge), 100);
}

TEST(Scan, OneCandidateEndsWithoutAComparisonStep) {
  const Tree t{{"only", "x"}};
  Host host(t.root());
  ScanDriver driver(host);
  driver.Scan();
  EXPECT_EQ(host.values("status"), QString(kSearching) + ',' + kComparing + ",Complete ...");
  EXPECT_EQ(host.values("progress") + '|' + host.values("totals") + '|' + host.values("title"), "0|0 KB 0|");
  EXPECT_EQ(host.values("detail") + '|' + host.values("cancel"), "only,|1,0");
  EXPECT_EQ(host.count("beep") + host.count("markAll"), 2);
  EXPECT_TRUE(driver.ScanStopped);
}

TEST(Scan, ComparisonStepsShowTheirPositionsAndTitles) {
  const Tree two{{"a", "same"}, {"b", "same"}};
  Host host(two.root());
  ScanDriver(host).Scan();
  // Record steps 200 and 300, run step 200: all shown as 100.
  EXPECT_EQ(host.values("progress"), "0,100,100,100");
  EXPECT_EQ(host.values("title"), "Comparing - 100%,Comparing - 100%,Comparing - 100%");
  EXPECT_EQ(host.list("detail").mid(2).join(','), "0 / 2,0 / 2,");
  EXPECT_EQ(host.rows(two), "a b+");

  const Tree five{{"a", "x"}, {"b", "x"}, {"c", "xy"}, {"d", "xyz"}, {"e", "wxyz"}};  // one run of two
  Host other(five.root());
  ScanDriver(other).Scan();
  EXPECT_EQ(other.values("progress"), "0,50,75,75,100,100");
  EXPECT_EQ(other.list("title").first(), "Comparing - 50%");
  EXPECT_EQ(other.list("detail").mid(5).join(','), "0 / 5,0 / 5,");
}

TEST(Scan, NothingFoundEndsCompleteWithTheBarFull) {
  const Tree t;
  for (const QString& folders : {QString(), t("missing")}) {
    Host host(folders);
    ScanDriver driver(host);
    driver.Scan();
    EXPECT_EQ(host.count("browse"), folders.isEmpty() ? 1 : 0);
    EXPECT_EQ(host.values("status"), QString(kSearching) + ",Complete.");
    EXPECT_EQ(host.values("progress") + '|' + host.values("cancel") + '|' + host.values("title"), "0,100|1,0|");
    EXPECT_EQ(host.count("beep"), 1);
    EXPECT_EQ(host.count("markAll"), 0);
    EXPECT_TRUE(driver.ScanStopped);
  }
}

TEST(Scan, CancelDuringTheWalkFinishesTheListingAndSkipsTheComparison) {
  const Tree t{{"r1", "same"}, {"r2", "same"}, {"r3", "same"}, {"sub/s1", "same"}};
  Host host(t.root());
  ScanDriver driver(host);
  host.onPump = [&] {
    if (host.pumps == 2) driver.Cancel();  // before the first entry of the root's listing
  };
  driver.Scan();
  EXPECT_EQ(host.values("ask"), "Confirm|Do you really want to stop searching?");
  EXPECT_EQ(driver.candidates().count(), 3);
  QStringList detail = host.list("detail");
  detail.sort();
  EXPECT_EQ(detail.join(','), ",r1,r2,r3");  // the cancel's empty detail came first
  EXPECT_EQ(host.list("detail").first(), "");
  EXPECT_EQ(host.values("status") + '|' + host.values("progress"), QString(kSearching) + ",Canceled.|0,0");
  EXPECT_EQ(host.values("title"), ScanDriver::CancelledTitle());
  EXPECT_EQ(host.count("beep") + host.model.count(), 0);
  EXPECT_TRUE(driver.ScanStopped);
}

TEST(Scan, CancelDuringTheComparisonAppendsNothingMore) {
  const Tree t{{"a1", "aa"}, {"a2", "aa"}, {"b1", "bbb"}, {"b2", "bbb"}};
  Host host(t.root());
  ScanDriver driver(host);
  host.onPump = [&] {
    if (host.model.count() > 0 && !driver.ScanStopped) driver.Cancel();
  };
  driver.Scan();
  EXPECT_EQ(host.rows(t), "a1 a2");  // unmarked
  EXPECT_TRUE(host.log.join(',').endsWith(kCancelled));
  EXPECT_EQ(host.count("beep"), 0);
}

TEST(Scan, CancelAnsweredCancelAndScanDuringAScanChangeNothing) {
  const Tree t{{"a", "same"}, {"b", "same"}, {"c", "other"}, {"d", "other"}};
  Host host(t.root());
  host.ok = false;
  ScanDriver driver(host);
  bool fired = false;
  host.onPump = [&] {
    if (fired || host.model.count() == 0) return;  // once rows exist, a new scan would ask
    fired = true;
    driver.Cancel();
    const qsizetype logged = host.log.size();
    const unsigned generation = driver.generation();
    driver.Scan();
    EXPECT_EQ(host.log.size(), logged);
    EXPECT_EQ(driver.generation(), generation);
  };
  driver.Scan();
  EXPECT_TRUE(fired);
  EXPECT_EQ(host.count("ask"), 1);
  EXPECT_EQ(host.list("status").last(), "Complete ...");
  EXPECT_EQ(host.rows(t), "a b+ | c d+");
}

TEST(Scan, ANonEmptyListIsReplacedOnlyWhenTheAnswerIsYes) {
  const Tree t{{"a", "same"}, {"b", "same"}};
  Host host(t.root());
  host.model.appendSeparator();
  host.yes = false;
  ScanDriver driver(host);
  driver.Scan();
  EXPECT_EQ(host.log.join(','), "ask:Warning|List is not empty, do you want to continue?");
  EXPECT_EQ(host.model.count(), 1);
  host.yes = true;
  driver.Scan();
  EXPECT_LT(host.log.indexOf("clear:"), host.log.indexOf("detail:a"));
  EXPECT_EQ(host.rows(t), "a b+");
}

TEST(Scan, MaskStarBecomesStarDotStarAndOtherMasksStay) {
  const Tree t{{"a", "same"}, {"b", "same"}};
  const struct {
    const char *mask, *set, *rows;
  } cases[] = {{"*", "*.*", "a b+"}, {"", "*.*", "a b+"}, {" *", "", ""}, {"*.*", "", "a b+"}, {"?", "", "a b+"}};
  for (const auto& c : cases) {
    Host host(t.root());
    host.maskText = c.mask;
    ScanDriver(host).Scan();
    EXPECT_EQ(host.values("mask") + '|' + host.rows(t), QString(c.set) + '|' + c.rows) << c.mask;
  }
}

TEST(Scan, RussianTexts) {
  const Tree t{{"a", "same"}, {"b", "same"}};
  Host host(t.root());
  host.en = false;
  ScanDriver driver(host);
  driver.Scan();
  EXPECT_EQ(host.values("status"),
            "Происходит поиск файлов, подождите ...,Происходит сравнение файлов, подождите ...,Выполнено.");
  host.log.clear();
  host.pumps = 0;
  host.onPump = [&] {
    if (host.pumps == 2) driver.Cancel();
  };
  driver.Scan();
  EXPECT_EQ(host.values("ask"),
            "Внимание|Список содержит данные, вы настаиваете на продолжении?,"
            "Подтверждение|Вы действительно хотите прервать поиск?");
  EXPECT_EQ(host.list("status").last(), "Отменено.");
}

// After a confirmed Cancel a whole new scan runs inside a pump of the
// interrupted one; the interrupted scan then ends without touching anything.
TEST(Scan, NewScanInsideAPumpOfACancelledScan) {
  const Tree first{{"a1", "aa"},   {"a2", "aa"},   {"b1", "bbb"},  {"b2", "bbb"},
                   {"c1", "cccc"}, {"c2", "cccc"}, {"c3", "cccc"}, {"c4", "cccc"}};
  const Tree second{{"n1", "n"}, {"n2", "n"}};
  // During the walk, between two runs of the comparison, within a group.
  for (const int when : {-3, 2, 8}) {
    Host host(first.root());
    ScanDriver driver(host);
    bool fired = false;
    host.onPump = [&] {
      if (fired || (when < 0 ? host.pumps != -when : host.model.count() != when)) return;
      fired = true;
      driver.Cancel();
      host.folders = second.root();
      driver.Scan();
    };
    driver.Scan();
    EXPECT_TRUE(fired) << when;
    EXPECT_EQ(host.rows(second), "n1 n2+") << when;
    EXPECT_TRUE(host.log.join(',').endsWith("status:Complete ...,detail:,cancel:0,beep:,markAll:")) << when;
    EXPECT_EQ(host.count("markAll"), 1) << when;
    EXPECT_EQ(driver.candidates().count(), 2) << when;
    EXPECT_TRUE(driver.ScanStopped) << when;
  }
}
