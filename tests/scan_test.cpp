#include "engine/progress.h"
#include "tree.h"

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
  EXPECT_TRUE(driver.ScanStopped());
  driver.Scan();
  EXPECT_EQ(host.log.join(','), "clear:,searching:,found:only,comparing:1,complete:,markAll:");
  EXPECT_TRUE(driver.ScanStopped());
}

TEST(Scan, ComparisonStepsShowTheirPositionsAndTitles) {
  const Tree two{{"a", "same"}, {"b", "same"}};
  Host host(two.root());
  ScanDriver(host).Scan();
  // Record steps 200 and 300, run step 200: all shown as 100.
  EXPECT_EQ(host.values("comparing") + '|' + host.values("step"), "2|100@0,100@0,100");
  EXPECT_EQ(host.rows(two), "a b+");

  const Tree five{{"a", "x"}, {"b", "x"}, {"c", "xy"}, {"d", "xyz"}, {"e", "wxyz"}};  // one run of two
  Host other(five.root());
  ScanDriver(other).Scan();
  EXPECT_EQ(other.values("step"), "50@0,75@0,75,100,100");
}

TEST(Scan, NothingFoundEndsCompleteWithTheBarFull) {
  const Tree t;
  for (const QString& folders : {QString(), t("missing")}) {
    Host host(folders);
    ScanDriver driver(host);
    driver.Scan();
    EXPECT_EQ(host.log.join(','), QString(folders.isEmpty() ? "browse:," : "") + "clear:,searching:,nothing:");
    EXPECT_TRUE(driver.ScanStopped());
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
  EXPECT_EQ(host.values("ask"), "stop");
  EXPECT_EQ(driver.candidates().count(), 3);
  QStringList found = host.list("found");
  found.sort();
  EXPECT_EQ(found.join(','), "r1,r2,r3");
  EXPECT_EQ(host.log.mid(0, 4).join(','), "clear:,searching:,ask:stop,cancelled:");  // before the first entry
  EXPECT_EQ(host.count("comparing") + host.count("complete") + host.model.count(), 0);
  EXPECT_TRUE(driver.ScanStopped());
}

TEST(Scan, CancelDuringTheComparisonAppendsNothingMore) {
  const Tree t{{"a1", "aa"}, {"a2", "aa"}, {"b1", "bbb"}, {"b2", "bbb"}};
  Host host(t.root());
  ScanDriver driver(host);
  host.onPump = [&] {
    if (host.model.count() > 0 && !driver.ScanStopped()) driver.Cancel();
  };
  driver.Scan();
  EXPECT_EQ(host.rows(t), "a1 a2");  // unmarked
  EXPECT_TRUE(host.log.join(',').endsWith("ask:stop,cancelled:")) << qPrintable(host.log.join(','));
  EXPECT_EQ(host.count("complete") + host.count("markAll"), 0);
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
    const int candidates = driver.candidates().count();
    driver.Scan();
    EXPECT_EQ(host.log.size(), logged);
    EXPECT_EQ(driver.candidates().count(), candidates);
    EXPECT_FALSE(driver.ScanStopped());
  };
  driver.Scan();
  EXPECT_TRUE(fired);
  EXPECT_EQ(host.values("ask"), "stop");
  EXPECT_EQ(host.log.last(), "markAll:");
  EXPECT_EQ(host.count("complete"), 1);
  EXPECT_EQ(host.rows(t), "a b+ | c d+");
}

TEST(Scan, ANonEmptyListIsReplacedOnlyWhenTheAnswerIsYes) {
  const Tree t{{"a", "same"}, {"b", "same"}};
  Host host(t.root());
  host.model.appendSeparator();
  host.yes = false;
  ScanDriver driver(host);
  driver.Scan();
  EXPECT_EQ(host.log.join(','), "ask:replace");
  EXPECT_EQ(host.model.count(), 1);
  host.yes = true;
  driver.Scan();
  EXPECT_LT(host.log.indexOf("clear:"), host.log.indexOf("found:a"));
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

// A scan that fails (here: no memory for the candidate list) reports the
// failure and stays up: only Cancel ends it.
TEST(Scan, AFailureIsReportedAndLeavesTheScanToCancel) {
  const Tree t{{"a", "same"}, {"b", "same"}};
  struct Failing : Host {
    using Host::Host;
    void setRootList(const QStringList&) override { throw std::bad_alloc(); }
  } host(t.root());
  ScanDriver driver(host);
  driver.Scan();
  EXPECT_TRUE(driver.failed());
  EXPECT_FALSE(driver.ScanStopped());
  EXPECT_EQ(host.log.last(), "failed:memory");
  EXPECT_EQ(host.count("found"), 0);
  driver.Scan();  // still running: nothing happens
  EXPECT_EQ(host.count("searching"), 1);
  driver.Cancel();
  EXPECT_TRUE(driver.ScanStopped());
  EXPECT_EQ(host.log.last(), "cancelled:");
}

// After a confirmed Cancel a whole new scan runs inside a pump of the
// interrupted one; the interrupted scan then ends without touching anything.
TEST(Scan, NewScanInsideAPumpOfACancelledScan) {
  const Tree first{{"a1", "aa"},   {"a2", "aa"},   {"b1", "bbb"},  {"b2", "bbb"},
                   {"c1", "cccc"}, {"c2", "cccc"}, {"c3", "cccc"}, {"c4", "cccc"}};
  // Enough pairs behind them that the readers of first looks are still at
  // work when the new scan empties and refills the list: they never read
  // it, and none of them outlives the pass they read for.
  for (int i = 0; i < 1500; ++i) first.file(QString("z/%1-%2").arg(i).arg(i % 2), QByteArray(i / 2 + 5, 'z'));
  const Tree second{{"n1", "n"}, {"n2", "n"}};
  // During the walk, between two runs of the comparison, within a group.
  for (const int when : {-3, 2, 8}) {
    Host host(first.root());
    ScanDriver driver(host);
    bool fired = false;
    const int started = ReadAhead::Started();
    host.onPump = [&] {
      if (fired || (when < 0 ? host.pumps != -when : host.model.count() != when)) return;
      fired = true;
      if (when >= 0) {
        EXPECT_EQ(ReadAhead::Running(), ReadAhead::kMostReaders) << when;
      }
      driver.Cancel();
      host.folders = second.root();
      driver.Scan();
    };
    driver.Scan();
    EXPECT_TRUE(fired) << when;
    EXPECT_EQ(ReadAhead::Running(), 0) << when;
    EXPECT_EQ(ReadAhead::Started() - started, (when >= 0 ? 2 : 1) * ReadAhead::kMostReaders) << when;
    EXPECT_EQ(host.rows(second), "n1 n2+") << when;
    EXPECT_TRUE(host.log.join(',').endsWith("complete:,markAll:")) << when;
    EXPECT_EQ(host.count("complete") + host.count("markAll"), 2) << when;
    EXPECT_EQ(driver.candidates().count(), 2) << when;
    EXPECT_TRUE(driver.ScanStopped()) << when;
  }
}

// Read together (through io_uring where the system has it) or one after
// another, files give the same bytes and the same failures: a file cut
// short after it was opened reads as shorter, not as an error.
TEST(Scan, FilesReadTogetherReadAsEachAlone) {
  const Tree t{{"a", QByteArray(3000, 'a')}, {"e", ""}};
  for (const unsigned depth : {8U, 1U}) {
    t.file("b", QByteArray(3000, 'b'));
    fs::ReadFile a, b, e;
    ASSERT_TRUE(a.open(t("a")) && b.open(t("b")) && e.open(t("e")));
    ASSERT_EQ(::truncate(qPrintable(t("b")), 100), 0);
    QByteArray got[] = {QByteArray(3000, 0), QByteArray(3000, 0), QByteArray(1, 0), QByteArray(1000, 0)};
    std::vector<fs::BatchRead::Item> items{
        {&a, got[0].data(), 3000}, {&b, got[1].data(), 3000}, {&e, got[2].data(), 0}, {&a, got[3].data(), 1000}};
    fs::BatchRead(depth).read(items);
    EXPECT_TRUE(items[0].read && items[2].read && items[3].read) << depth;
    EXPECT_FALSE(items[1].read) << depth;
    EXPECT_EQ(items[1].error, 0) << depth;
    EXPECT_EQ(got[0], QByteArray(3000, 'a')) << depth;
    EXPECT_EQ(got[3], QByteArray(1000, 'a')) << depth;
  }
}

// Readers whose run stopped take no more jobs: a new scan begun inside a
// pump of the stopped one does not share the disk with them.
TEST(Scan, ReadersOfAStoppedRunTakeNoMoreJobs) {
  const Tree t{{"a", "abc"}, {"b", "abc"}};
  for (const bool stopped : {false, true}) {
    RunToken run = RunToken::Start();
    ReadAhead readers(2, run);
    if (stopped) run.stop();
    readers.add({{0, t("a"), 3, 3, 0}, {1, t("b"), 3, 3, 0}});
    EXPECT_EQ(readers.take(1, std::chrono::milliseconds(300)).has_value(), !stopped) << stopped;
  }
}
