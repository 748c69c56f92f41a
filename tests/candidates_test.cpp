#include "engine/candidates.h"

#include <QStringList>

#include <algorithm>
#include <vector>

#include <gtest/gtest.h>

TEST(RecordField, SplitsAtTheSeparatorAndReadsOneSpaceAsEmpty) {
  const struct {
    const char *text, *fields;  // fields 0 to 3, joined by '|'
  } cases[] = {{"a*b*c", "a|b|c|"},   {"*x", "|x||"},    {"a**c", "a||c|"}, {"a* *c", "a||c|"},
               {"a*  *c", "a|  |c|"}, {" * b", "| b||"}, {"", "|||"}};
  for (const auto& c : cases) {
    QStringList fields;
    for (int i = 0; i < 4; ++i) fields << RecordField(c.text, '*', i);
    EXPECT_EQ(fields.join('|'), c.fields) << c.text;
  }
}

TEST(CandidateList, OrdersBySizeTextThenByPathIgnoringCaseAndBlanksInPlace) {
  // Records are kept as a folder and a UTF-8 name; the order is still that
  // of the whole path texts, unit by unit: a folder that is the beginning
  // of another, names beyond the first plane, one path in two letter cases.
  const struct {
    qint64 size;
    const char *folder, *name;
    qint64 mtime;
  } files[] = {{3, "/", "x", 1},           {20480, "/", "y", 1},
               {1048576, "/", "z", 1},     {10, "/", "w", 1},
               {1, "/", "v", 1},           {5, "/B/", "f", 1},
               {5, "/a/", "g", 1},         {5, "/A/", "h", 1},
               {7, "/a/", "b.txt", 1},     {7, "/a/b/", "c", 1},
               {7, "/a/", "b", 1},         {7, "/a/", "B0", 1},
               {7, "/Фото/", "Снимок", 1}, {7, "/фото/", "снимок.jpg", 1},
               {7, "/a/", "😀.jpg", 1},     {7, "/a/", "ｂ.jpg", 1},
               {7, "/a/😀/", "x", 1},       {7, "/a/", "X", 2},
               {7, "/a/", "x", 1},         {7, "/b/", "X", 1},
               {7, "/b/", "x", 1},         {7, "/ß/", "a", 1},
               {7, "/ss/", "a", 1}};
  CandidateList list;
  struct Expected {
    qint64 size;
    QString path;
    qint64 mtime;
  };
  std::vector<Expected> expected;
  for (const auto& f : files) {
    list.beginFolder(QString::fromUtf8(f.folder), {});
    list.add(f.size, f.mtime, 0, QString::fromUtf8(f.name));
    expected.push_back({f.size, QString::fromUtf8(f.folder) + QString::fromUtf8(f.name), f.mtime});
  }
  // The order as the texts give it: size texts, then the paths with every
  // unit folded, then the time, then the paths as they stand.
  const auto folded = [](QString s) {
    for (QChar& c : s) c = c.toCaseFolded();
    return s;
  };
  std::sort(expected.begin(), expected.end(), [&](const Expected& a, const Expected& b) {
    const QString sa = QString::number(a.size) + '*', sb = QString::number(b.size) + '*';
    if (sa != sb) return sa < sb;
    if (folded(a.path) != folded(b.path)) return folded(a.path) < folded(b.path);
    if (a.mtime != b.mtime) return a.mtime < b.mtime;
    return a.path < b.path;
  });
  list.sort();
  QStringList order, want;
  for (int i = 0; i < list.count(); ++i) order << QString::number(list.at(i).size) + '*' + list.path(i);
  for (const Expected& e : expected) want << QString::number(e.size) + '*' + e.path;
  EXPECT_EQ(order.join(' '), want.join(' '));
  EXPECT_TRUE(order.join(' ').startsWith("1*/v 10*/w 1048576*/z 20480*/y 3*/x 5*/a/g 5*/A/h 5*/B/f 7*/a/b 7*/a/b.txt "))
      << order.join(QChar(0x20)).toStdString();
  list.blank(2);
  EXPECT_TRUE(list.isTaken(2));
  EXPECT_EQ(list.date(2) + list.text(2), "");
  EXPECT_EQ(list.text(3), "20480*/y*" + list.date(3));
  EXPECT_FALSE(list.date(3).isEmpty());
}
