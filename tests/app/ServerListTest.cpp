// NTP.lst: how its bytes become entries, how entries become bytes, and what a refused
// write leaves behind.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "app/ServerList.h"
#include "forms/Classes.h"
#include "forms/Exception.h"
#include "tests/support/TestFiles.h"

namespace {

namespace fs = std::filesystem;
using Entries = std::vector<std::string>;

TEST(ServerListFile, LineEndsNulAndEmptyLines) {
  const struct {
    std::string bytes;
    Entries entries;
  } cases[] = {
      {"", {}},
      {"a\r\nb\r\n", {"a", "b"}},
      {"a\nb\n", {"a", "b"}},
      {"a\rb\r", {"a", "b"}},
      {"a\r\nb\nc\rd", {"a", "b", "c", "d"}},  // mixed, last line without an end
      {"a\n\r\nb", {"a", "", "b"}},            // LF then CR LF: an empty line between
      {"a\r\r\nb", {"a", "", "b"}},            // CR then CR LF
      {"\r\n", {""}},
      {"\r\n\r\n", {"", ""}},
      {std::string("a\r\n\0b\r\n", 8), {"a"}},  // the text ends at the first NUL
      {std::string("a\0\r\nb", 5), {"a"}},
      {" spaced \r\n\t\r\n", {"spaced", ""}},  // blanks and tabs around a name go
      {"\t a.example \t\r\n", {"a.example"}},
      {"\xEF\xBB\xBF" "a\r\nb\r\n", {"a", "b"}},  // an editor's byte-order mark
      {"\xEF\xBB\xBF", {}},
      {"\xEF\xBB\xBF \xEF\xBB\xBF a\r\n", {"a"}},  // so that writing it out and reading it again agree
      {"a\r\n\xEF\xBB\xBF" "b", {"a", "\xEF\xBB\xBF" "b"}},  // only at the start
      {"ntp.例え.jp\r\n", {"ntp.例え.jp"}},
  };
  for (const auto &c : cases)
    EXPECT_EQ(ParseServerList(c.bytes), c.entries) << testing::PrintToString(c.bytes);
}

TEST(ServerListFile, WritingEndsEveryLineWithCrLf) {
  TStringList items;
  EXPECT_EQ(FormatServerList(items), "");
  for (const char *s : {"b.example", "", " a "}) items.Add(s);
  EXPECT_EQ(FormatServerList(items), "b.example\r\n\r\n a \r\n");
}

TEST(ServerListFile, BuiltInListHoldsTwentyThreeHostNamesOneOfThemTwice) {
  std::set<std::string> distinct(std::begin(kBuiltInServers), std::end(kBuiltInServers));
  EXPECT_EQ(distinct.size(), 22u);
  EXPECT_STREQ(kBuiltInServers[9], kBuiltInServers[12]);
  for (const char *host : kBuiltInServers) {
    const std::string h = host;
    EXPECT_NE(h.find('.'), std::string::npos) << h;
    EXPECT_EQ(h.find_first_of(" \r\n/:"), std::string::npos) << h;
    EXPECT_EQ(h.find("v6"), std::string::npos) << h << ": the client resolves IPv4 addresses only";
  }
}

class ServerListFileOnDisk : public ::testing::Test {
 protected:
  void SetUp() override {
    FDir = fs::temp_directory_path() /
           (std::string("horolan-list-") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(FDir);
    fs::create_directory(FDir);
    FPath = (FDir / "NTP.lst").string();
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(FDir, ignored);
  }
  fs::path FDir;
  std::string FPath;
};

TEST_F(ServerListFileOnDisk, ReadReplacesTheEntriesAndWriteRoundTrips) {
  ASSERT_TRUE(testsupport::WriteAll(FPath, "x.example\nY.example\n\nz"));
  TStringList items;
  items.Add("old");
  ReadServerListFile(FPath, items);
  ASSERT_EQ(items.Count(), 4);
  EXPECT_EQ(items[0], "x.example");
  EXPECT_EQ(items[1], "Y.example");
  EXPECT_EQ(items[2], "");
  EXPECT_EQ(items[3], "z");
  WriteServerListFile(FPath, items);
  EXPECT_EQ(testsupport::ReadAll(FPath), "x.example\r\nY.example\r\n\r\nz\r\n");
  EXPECT_FALSE(fs::exists(FPath + ".tmp"));

  // An empty file is an empty list.
  ASSERT_TRUE(testsupport::WriteAll(FPath, ""));
  ReadServerListFile(FPath, items);
  EXPECT_EQ(items.Count(), 0);
}

TEST_F(ServerListFileOnDisk, FailuresNameThePathAndLeaveTheOldFile) {
  TStringList items;
  items.Add("new.example");
  const std::string missing = (FDir / "none" / "NTP.lst").string();
  try {
    ReadServerListFile(missing, items);
    ADD_FAILURE() << "reading a missing file succeeded";
  } catch (const Exception &e) {
    EXPECT_NE(e.Message().find(missing), std::string::npos) << e.Message();
  }
  EXPECT_EQ(items.Count(), 1);

  // A directory where the temporary file would go: the write cannot even start.
  ASSERT_TRUE(testsupport::WriteAll(FPath, "old.example\r\n"));
  fs::create_directory(FPath + ".tmp");
  try {
    WriteServerListFile(FPath, items);
    ADD_FAILURE() << "the write reported success";
  } catch (const Exception &e) {
    EXPECT_NE(e.Message().find(FPath), std::string::npos) << e.Message();
  }
  EXPECT_EQ(testsupport::ReadAll(FPath), "old.example\r\n");
}

}  // namespace
