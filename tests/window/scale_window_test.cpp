// The marking commands and the list view on a list of 100,000 rows. The
// times are measured and printed for the record; only the results are
// checked, never how long they took.
#include "window_fakes.h"

#include <QElapsedTimer>
#include <QScrollBar>
#include <QTableView>

#include <iostream>

namespace window_test {
namespace {

constexpr int kRows = 100000;

class WindowScale : public WindowTest {
 protected:
  // Runs `command`, then lets the window repaint, and reports how long the
  // two took together.
  void timed(const char* name, const std::function<void()>& command) {
    QElapsedTimer clock;
    clock.start();
    command();
    QCoreApplication::processEvents();
    const qint64 ms = clock.elapsed();
    std::cout << "[ scale    ] " << name << " on " << kRows << " rows: " << ms << " ms" << std::endl;
    RecordProperty(name, static_cast<int>(ms));
  }
};

TEST_F(WindowScale, MarkingCommandsAndScrollingOnAHundredThousandRows) {
  // Groups of two and three files, divided by separator rows.
  std::vector<ResultRow> rows;
  rows.reserve(kRows);
  int files = 0, groups = 0;
  for (int g = 0; static_cast<int>(rows.size()) < kRows; ++g) {
    if (!rows.empty()) rows.emplace_back();
    ++groups;
    const int members = g % 2 == 0 ? 2 : 3;
    for (int k = 0; k < members && static_cast<int>(rows.size()) < kRows; ++k) {
      ResultRow r;
      r.caption = QStringLiteral("file%1.bin").arg(files);
      r.path = QStringLiteral("/data/group%1/file%2.bin").arg(g).arg(files);
      r.hasSubItems = true;
      r.sizeText = QString::number(1 + g % 7);
      r.dateText = QStringLiteral("01.02.2024");
      rows.push_back(std::move(r));
      ++files;
    }
  }
  ASSERT_EQ(static_cast<int>(rows.size()), kRows);
  ASSERT_FALSE(rows.back().isSeparator());

  TForm1& f = openEnglish();
  f.show();
  timed("load rows", [&] { f.results().appendRows(std::move(rows)); });
  ASSERT_EQ(f.results().count(), kRows);

  timed("Select All", [&] { trigger("SelectAll1"); });
  EXPECT_EQ(f.Edit7->text(), QString::number(files));

  timed("Unselect all", [&] { trigger("UnselectAll1"); });
  EXPECT_EQ(f.Edit7->text(), "0");
  EXPECT_EQ(f.Edit5->text(), "0 KB");

  timed("Select all exclude first", [&] { trigger("N2"); });
  EXPECT_EQ(f.Edit7->text(), QString::number(files - groups));
  EXPECT_FALSE(f.results().row(0).marked);
  EXPECT_TRUE(f.results().row(1).marked);

  timed("scroll to the end", [&] { f.BaseView->scrollToBottom(); });
  QScrollBar* scroll = f.BaseView->verticalScrollBar();
  EXPECT_EQ(scroll->value(), scroll->maximum());
  EXPECT_EQ(f.BaseView->rowAt(f.BaseView->viewport()->height() - 2), kRows - 1);
}

}  // namespace
}  // namespace window_test
