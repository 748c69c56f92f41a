#include "engine/candidates.h"

#include <QStringList>

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
  CandidateList list;
  for (const auto& [size, path] : {std::pair<qint64, const char*>{3, "/x"},
                                   {20480, "/y"},
                                   {1048576, "/z"},
                                   {10, "/w"},
                                   {1, "/v"},
                                   {5, "/B/f"},
                                   {5, "/a/g"},
                                   {5, "/A/h"}})
    list.add({size, path, 1700000000, false});
  list.sort();
  list.blank(2);
  QStringList order;
  for (int i = 0; i < list.count(); ++i) order << QString::number(list.at(i).size) + '*' + RecordPath(list.at(i));
  EXPECT_EQ(order.join(' '), "1*/v 10*/w 1048576* 20480*/y 3*/x 5*/a/g 5*/A/h 5*/B/f");
  EXPECT_TRUE(list.isTaken(2));
  EXPECT_EQ(RecordDate(list.at(2)) + RecordText(list.at(2)), "");
  EXPECT_EQ(RecordText(list.at(3)), "20480*/y*" + RecordDate(list.at(3)));
  EXPECT_FALSE(RecordDate(list.at(3)).isEmpty());
}
