// Reading: what users' files may hold, each case checked against the value worked out
// by hand and, where the system's profile functions exist, against them.
#include <string>
#include <vector>

#include "settings/IniFile.h"
#include "tests/settings/IniTestSupport.h"

namespace {

using initest::Shown;

const char kDef[] = "<def>";

struct ReadCase {
  std::string text;
  std::string section, key;
  std::string expected;  // kDef: the default comes back
};

// Katakana whose trail bytes are ASCII: ア 83 41 ('A'), ヂ 83 61 ('a'), ゾ 83 5D (']');
// ＝ is 81 81, so in "＝A" the second 0x81 is a trail byte, not a lead byte.
const std::vector<ReadCase> kReadCases = {
    {"[s]\r\nk=v\r\n", "s", "k", "v"},
    {"[Sect]\r\nKey=v\r\n", "SECT", "key", "v"},
    {"  [ s ]  \r\n  k  =  v  \r\n", "s", "k", "v"},
    {"[s]\r\nk=v\r\n", " s ", "  k ", "v"},
    {"[s]\r\nk=\tv w\t\r\n", "s", "k", "v w"},
    {"[s]\r\nk=v\x1a\r\n", "s", "k", "v"},
    {"[s]\r\nk=a=b\r\n", "s", "k", "a=b"},
    {"[s]\r\nk=\r\n", "s", "k", ""},
    {"[s]\r\nk\r\n", "s", "k", kDef},
    {"[s]\r\n;k=v\r\n", "s", "k", kDef},
    {"[s]\r\nk=1\r\nK=2\r\n", "s", "k", "1"},
    {"[s]\r\nk=1\r\n[S]\r\nk=2\r\nj=3\r\n", "s", "k", "1"},
    {"[s]\r\nk=1\r\n[S]\r\nk=2\r\nj=3\r\n", "s", "j", kDef},
    {"k=v\r\n[s]\r\n", "s", "k", kDef},
    {"k=v\r\n[s]\r\n", "", "k", "v"},
    {"[s] ; comment\r\nk=v\r\n", "s", "k", "v"},
    {"[s]x\r\nk=v\r\n", "s", "k", "v"},
    {"[a]b]\r\nk=v\r\n", "a", "k", kDef},
    {"[a]b]\r\nk=v\r\n", "a]b", "k", "v"},
    {"[s\r\nk=v\r\n", "s", "k", kDef},
    {"[s\r\nk=v\r\n", "", "k", "v"},
    {"[s]\r\nk=v", "s", "k", "v"},
    {"[s]\nk=v\n", "s", "k", "v"},
    {"[s]\rk=v\r", "s", "k", "v"},
    {"\xEF\xBB\xBF[s]\r\nk=v\r\n", "s", "k", "v"},
    {"[s]\r\nk=v\r\n", "t", "k", kDef},
    {"[s]\r\nk=v\r\n", "s", "j", kDef},
    {"", "s", "k", kDef},
    // quotation marks: only a matching pair around the whole (trimmed) value goes
    {"[s]\r\nk=\"abc\"\r\n", "s", "k", "abc"},
    {"[s]\r\nk= \"abc\" \r\n", "s", "k", "abc"},
    {"[s]\r\nk=\" abc \"\r\n", "s", "k", " abc "},
    {"[s]\r\nk='abc'\r\n", "s", "k", "abc"},
    {"[s]\r\nk=\"abc'\r\n", "s", "k", "\"abc'"},
    {"[s]\r\nk=\"abc\r\n", "s", "k", "\"abc"},
    {"[s]\r\nk=abc\"\r\n", "s", "k", "abc\""},
    {"[s]\r\nk=\"\r\n", "s", "k", "\""},
    {"[s]\r\nk=\"\"\r\n", "s", "k", ""},
    {"[s]\r\nk=\"a\"b\"\r\n", "s", "k", "a\"b"},
    // CP932 names and values
    {"[設定A]\r\nキー=値\r\n", "設定a", "キー", "値"},
    {"[s]\r\nア=v\r\n", "s", "ヂ", kDef},
    {"[s]\r\nヂ=v\r\n", "s", "ア", kDef},
    {"[s]\r\n＝A=v\r\n", "s", "＝a", "v"},
    {"[s]\r\nＡ=v\r\n", "s", "ａ", kDef},
    {"[ゾ]\r\nk=v\r\n", "ゾ", "k", "v"},
    {"[ゾ\r\nk=v\r\n", "", "k", "v"},
    {"[s]ゾ\r\nk=v\r\n", "s", "k", "v"},
    {"[s]\r\nk=表\\ソ　\r\n", "s", "k", "表\\ソ　"},
};

class IniFileRead : public initest::IniTest {};

TEST_F(IniFileRead, ValuesAsWorkedOut) {
  for (const ReadCase &c : kReadCases) {
    SCOPED_TRACE(Shown(c.text) + " [" + Shown(c.section) + "] " + Shown(c.key));
    const std::string path = FileWith(c.text);
    IniFile ini(path);
    EXPECT_EQ(ini.ReadString(c.section, c.key, kDef), c.expected);
    EXPECT_EQ(ini.KeyExists(c.section, c.key), c.expected != kDef);
  }
}

TEST_F(IniFileRead, SameAsTheSystemsProfileFunctions) {
  if (!Ref()) GTEST_SKIP() << "no reference profile functions on this platform";
  for (const ReadCase &c : kReadCases) {
    SCOPED_TRACE(Shown(c.text) + " [" + Shown(c.section) + "] " + Shown(c.key));
    EXPECT_EQ(RefRead(FileWith(c.text), c.section, c.key, kDef), c.expected);
  }
}

TEST_F(IniFileRead, MissingFileGivesDefaultsAndNoFile) {
  const std::string path = NewPath();
  IniFile ini(path);
  EXPECT_EQ(ini.ReadString("s", "k", "d"), "d");
  EXPECT_EQ(ini.ReadInteger("s", "k", 42), 42);
  EXPECT_TRUE(ini.ReadBool("s", "k", true));
  EXPECT_FALSE(ini.SectionExists("s"));
  EXPECT_FALSE(initest::Exists(path));
}

TEST_F(IniFileRead, SeesChangesMadeByOthersBetweenReads) {
  const std::string path = FileWith("[s]\r\nk=1\r\n");
  IniFile ini(path);
  EXPECT_EQ(ini.ReadString("s", "k", ""), "1");
  initest::WriteBytes(path, "[s]\r\nk=2\r\n");
  EXPECT_EQ(ini.ReadString("s", "k", ""), "2");
}

TEST_F(IniFileRead, SectionExists) {
  IniFile ini(FileWith("k=v\r\n[Empty]\r\n[s]\r\nj=1\r\n"));
  EXPECT_TRUE(ini.SectionExists("empty"));
  EXPECT_TRUE(ini.SectionExists(" S "));
  EXPECT_TRUE(ini.SectionExists(""));
  EXPECT_FALSE(ini.SectionExists("t"));
  IniFile noPrologue(FileWith("[s]\r\nj=1\r\n"));
  EXPECT_FALSE(noPrologue.SectionExists(""));
}

// At most 2047 bytes, and never the first half of a double-byte character.
TEST_F(IniFileRead, LongValuesAreCut) {
  const std::string a2046(2046, 'a'), a2047(2047, 'a');
  struct {
    std::string value, expected;
    bool referenceAgrees;
  } cases[] = {
      {a2047, a2047, true},
      {std::string(3000, 'a'), a2047, true},
      {a2046 + "あ", a2046, true},
      {a2046 + "x" + "あ", a2046 + "x", true},
      // the reference loses the last 'a' when it drops the quotes of a full-length value
      {"\"" + a2047 + "\"", a2047, false},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.value.size());
    const std::string path = FileWith("[s]\r\nk=" + c.value + "\r\n");
    EXPECT_EQ(IniFile(path).ReadString("s", "k", ""), c.expected);
    if (Ref() && c.referenceAgrees) {
      EXPECT_EQ(RefRead(path, "s", "k", ""), c.expected);
    }
  }
}

struct IntCase {
  std::string value;
  bool allowDollarHex;
  long expected;         // kIntDef: the default
  bool referenceAgrees;  // the system's GetPrivateProfileIntA gives the same
};
const long kIntDef = -77;

const std::vector<IntCase> kIntCases = {
    {"1", false, 1, true},
    {"-5", false, -5, true},
    {"+5", false, 5, true},
    {" 12 ", false, 12, true},
    {"12abc", false, 12, true},
    {"1 2", false, 1, true},
    {"012", false, 12, true},
    {"\"12\"", false, 12, true},
    {"'5'", false, 5, true},
    {"2147483647", false, 2147483647L, true},
    {"-2147483648", false, -2147483647L - 1, true},
    {" 0x1F ", false, 31, true},
    {"0x1Fzz", false, 31, true},
    {"0x00000000001f", false, 31, true},
    {"-0x10", false, -16, true},
    {"0xFFFFFFFF", false, -1, true},
    {"0x", false, 0, true},
    {"0xZZ", false, 0, true},
    {"", false, kIntDef, true},
    {"0X1F", false, 31, false},      // the reference knows only a lower-case x
    {"$10", true, 16, false},        // the reference has no "$"
    {"$10", false, kIntDef, false},  // ... and reads it as 0
    {"$", true, kIntDef, false},
    {"abc", false, kIntDef, false},  // the reference gives 0 for anything unnumeric
    {"yes", false, kIntDef, false},
    {"- 5", false, kIntDef, false},
    {"2147483648", false, kIntDef, false},  // the reference wraps around
    {"-2147483649", false, kIntDef, false},
    {"99999999999", false, kIntDef, false},
    {"0x100000000", false, kIntDef, false},
};

TEST_F(IniFileRead, Integers) {
  for (const IntCase &c : kIntCases) {
    SCOPED_TRACE(c.value + (c.allowDollarHex ? " ($ allowed)" : ""));
    const std::string path = FileWith("[s]\r\nk=" + c.value + "\r\n");
    EXPECT_EQ(IniFile(path).ReadInteger("s", "k", kIntDef, c.allowDollarHex), c.expected);
    if (Ref() && c.referenceAgrees) {
      EXPECT_EQ(static_cast<int>(Ref()->GetInt("s", "k", kIntDef, path.c_str())), c.expected);
    }
  }
}

TEST_F(IniFileRead, Booleans) {
  struct {
    std::string value;
    bool allowDollarHex;
    int expected;  // -1: the default, whichever it is
  } cases[] = {
      {"1", false, 1}, {"5", false, 1},    {"0", false, 0},     {"0x0", false, 0}, {"$10", true, 1},
      {"$0", true, 0}, {"yes", false, -1}, {"true", false, -1}, {"", false, -1},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.value);
    IniFile ini(FileWith("[s]\r\nk=" + c.value + "\r\n"));
    EXPECT_EQ(ini.ReadBool("s", "k", false, c.allowDollarHex), c.expected == -1 ? false : c.expected == 1);
    EXPECT_EQ(ini.ReadBool("s", "k", true, c.allowDollarHex), c.expected == -1 ? true : c.expected == 1);
  }
}

TEST_F(IniFileRead, UnreadablePathGivesDefaults) {
  // a folder where the file should be
  const std::string path = NewPath();
  std::filesystem::create_directory(path);
  IniFile ini(path);
  EXPECT_EQ(ini.ReadString("s", "k", "d"), "d");
  EXPECT_EQ(ini.ReadInteger("s", "k", 3), 3);
}

}  // namespace
