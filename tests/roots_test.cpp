#include "engine/roots.h"

#include <gtest/gtest.h>

TEST(BuildRootList, SplitsTheFoldersTextAndLeavesOutNestedAndRepeatedFolders) {
  const struct {
    const char *text, *roots;  // the roots joined by '|'
  } cases[] = {
      {"/a", "/a"},
      {"/a;b", "/a|b"},  // no final ';'
      {"/a/;/b/;", "/a/|/b/"},
      {"/a/;/a/b/;", "/a/"},
      {"/a/b/;/a/;", "/a/"},
      {"/c/;/a/b/;/x/;/a/;", "/c/|/x/|/a/"},
      {"/P/Photos;/P/Photos2;", "/P/Photos|/P/Photos2"},  // whole path components
      {"/P/Photos2;/P/Photos;", "/P/Photos2|/P/Photos"},
      {"/a;/a/;/a//b;", "/a"},  // one folder, spelled three ways
      {"/a/;/a/;", "/a/"},
      {"/a/;/A/;", "/a/|/A/"},  // letter case counts
      {"", ""},
      {"/a/;;/b/;", "/a/||/b/"},  // an empty piece hides no other folder
  };
  for (const auto& c : cases) EXPECT_EQ(BuildRootList(c.text).join('|'), c.roots) << c.text;
  EXPECT_TRUE(BuildRootList("").isEmpty());
  // Joined again: one folder as it is, several each followed by ';'.
  for (const char* text : {"/a", "/a/;/b/;", "/a/;;/b/;", ""})
    EXPECT_EQ(JoinFoldersText(SplitFoldersText(text)), text) << text;
  EXPECT_EQ(JoinFoldersText(SplitFoldersText("/a;b")), "/a;b;");
  EXPECT_EQ(JoinFoldersText(SplitFoldersText("/a;")), "/a");
}
