// String lists: splitting and joining text, index checks, change events per update,
// the objects beside the strings, search and copying.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "forms/Classes.h"

namespace {

std::vector<std::string> Lines(const TStrings &s) {
  std::vector<std::string> v;
  for (int i = 0; i < s.Count(); ++i) v.push_back(s[i]);
  return v;
}

TEST(StringListTest, TextIsSplitAtEveryKindOfLineEndAndJoinedWithCrLf) {
  struct Row {
    const char *text;
    std::vector<std::string> lines;
  };
  const Row rows[] = {
      {"", {}},
      {"a", {"a"}},
      {"a\r\n", {"a"}},  // a final line end makes no empty line
      {"a\r\nb", {"a", "b"}},
      {"a\rb\nc", {"a", "b", "c"}},
      {"a\n\rb", {"a", "", "b"}},  // LF CR is two line ends
      {"\r\n", {""}},
      {"a\r\n\r\n", {"a", ""}},
      {"情報\r\nソ", {"情報", "ソ"}},  // the trail byte of ソ is '\\', no line end
  };
  for (const Row &row : rows) {
    TStringList list;
    list.Add("old");
    list.SetText(row.text);
    EXPECT_EQ(Lines(list), row.lines) << row.text;
  }
  TStringList list;
  list.SetText("x\ry");
  EXPECT_EQ(list.Text(), "x\r\ny\r\n");
}

TEST(StringListTest, IndexesOutsideTheListAreRefusedWithTheIndexInTheMessage) {
  TStringList list;
  list.Add("a");
  list.Insert(1, "b");  // at the end is allowed
  EXPECT_EQ(Lines(list), (std::vector<std::string>{"a", "b"}));
  try {
    list.Get(2);
    ADD_FAILURE() << "no error";
  } catch (const EStringListError &e) {
    EXPECT_EQ(e.Message(), "List index out of bounds (2)");
  }
  EXPECT_THROW(list.Get(-1), EStringListError);
  EXPECT_THROW(list.Insert(3, "c"), EStringListError);
  EXPECT_THROW(list.Delete(2), EStringListError);
  EXPECT_THROW(list.Put(-1, "c"), EStringListError);
  EXPECT_THROW(list.GetObject(5), EStringListError);
  EXPECT_EQ(list.Count(), 2);
}

TEST(StringListTest, OnChangeFollowsEachChangeOrComesOnceAtTheEndOfAnUpdate) {
  TStringList list;
  int changes = 0;
  list.OnChange = [&](TObject *sender) {
    EXPECT_EQ(sender, &list);
    ++changes;
  };
  list.Add("a");
  list.Put(0, "b");
  list.Delete(0);
  EXPECT_EQ(changes, 3);
  list.Clear();  // nothing to clear
  EXPECT_EQ(changes, 3);

  changes = 0;
  list.BeginUpdate();
  list.BeginUpdate();
  list.Add("a");
  list.Add("b");
  list.EndUpdate();
  EXPECT_EQ(changes, 0);
  list.EndUpdate();
  EXPECT_EQ(changes, 1);
  list.BeginUpdate();
  list.EndUpdate();  // nothing changed inside
  EXPECT_EQ(changes, 1);
  list.EndUpdate();  // one too many: harmless
  list.Add("c");
  EXPECT_EQ(changes, 2);

  changes = 0;
  list.SetText("x\r\ny\r\nz");
  EXPECT_EQ(changes, 1);
}

TEST(StringListTest, ObjectsStayWithTheirStringsThroughPutAssignAndAddStrings) {
  TObject one, two;
  TStringList list;
  list.AddObject("one", &one);
  list.AddObject("two", &two);
  list.Put(0, "uno");
  EXPECT_EQ(list.GetObject(0), &one);

  TStringList copy;
  copy.Add("stale");
  copy.Assign(&list);
  EXPECT_EQ(Lines(copy), (std::vector<std::string>{"uno", "two"}));
  EXPECT_EQ(copy.GetObject(1), &two);

  copy.AddStrings(&copy);  // to itself: the items it had, once
  EXPECT_EQ(Lines(copy), (std::vector<std::string>{"uno", "two", "uno", "two"}));
  EXPECT_EQ(copy.GetObject(3), &two);

  copy.Assign(&copy);
  EXPECT_EQ(copy.Count(), 4);
  EXPECT_THROW(copy.Assign(static_cast<TPersistent *>(nullptr)), Exception);
}

TEST(StringListTest, IndexOfIgnoresTheCaseOfAsciiLettersOnly) {
  TStringList list;
  // ア and ヂ differ only in a trail byte that looks like 'A' and 'a'.
  list.SetText("Alpha\r\nbeta\r\nＡ\r\nbeta\r\nア");
  struct Row {
    const char *query;
    int index;
  };
  const Row rows[] = {{"alpha", 0}, {"BETA", 1},  {"ａ", -1}, {"Ａ", 2},
                      {"", -1},     {"alph", -1}, {"ヂ", -1}, {"ア", 4}};
  for (const Row &row : rows) EXPECT_EQ(list.IndexOf(row.query), row.index) << row.query;
}

}  // namespace
