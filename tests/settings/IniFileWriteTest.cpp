// Writing: where a write lands in an existing file, what the file looks like after it,
// and that a file written by the store reads the same with the system's profile
// functions and the other way round.
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "settings/IniFile.h"
#include "tests/settings/IniTestSupport.h"

namespace {

using initest::ReadBytes;
using initest::Shown;

struct WriteCase {
  std::optional<std::string> before;  // nullopt: no file yet
  std::string section, key, value;
  std::string after;
};

const std::vector<WriteCase> kWriteCases = {
    {std::nullopt, "s", "k", "v", "[s]\r\nk=v\r\n"},
    {"", "s", "k", "v", "[s]\r\nk=v\r\n"},
    {"[s]\r\nk=v\r\nj=2\r\n", "s", "k", "w", "[s]\r\nk=w\r\nj=2\r\n"},
    {"[s]\r\n  K = v \r\n", "s", "k", "w", "[s]\r\nK=w\r\n"},
    {"[s]\r\nk=v\r\n\r\n[t]\r\nx=1\r\n", "s", "j", "w", "[s]\r\nk=v\r\nj=w\r\n\r\n[t]\r\nx=1\r\n"},
    {"[s]\r\nk=v\r\n;c\r\n[t]\r\n", "s", "j", "w", "[s]\r\nk=v\r\n;c\r\nj=w\r\n[t]\r\n"},
    {"[s]\r\n\r\n", "s", "j", "w", "[s]\r\nj=w\r\n\r\n"},
    {"[s]\r\nk=v", "t", "j", "w", "[s]\r\nk=v\r\n[t]\r\nj=w\r\n"},
    {"[s]\r\nk=v", "s", "j", "w", "[s]\r\nk=v\r\nj=w\r\n"},
    {"[s]\nk=v\n;comment\n\nfoo\n", "s", "k", "w", "[s]\r\nk=w\r\n;comment\r\n\r\nfoo\r\n"},
    {"[s]\r\nfoo\r\n", "s", "foo", "x", "[s]\r\nfoo=x\r\n"},
    {"[s]\r\nk=1\r\nk=2\r\n", "s", "k", "x", "[s]\r\nk=x\r\nk=2\r\n"},
    {"[s]\r\nk=v\r\n[S]\r\nk=2\r\n", "s", "j", "x", "[s]\r\nk=v\r\nj=x\r\n[S]\r\nk=2\r\n"},
    {"k=v\r\n[s]\r\n", "s", "k", "x", "k=v\r\n[s]\r\nk=x\r\n"},
    {"k=v\r\n[s]\r\nj=1\r\n", "", "m", "x", "k=v\r\nm=x\r\n[s]\r\nj=1\r\n"},
    {"[s]\r\n", " t ", " k2 ", "x", "[s]\r\n[t]\r\nk2=x\r\n"},
    {"[s]\r\n", "s", "k", " \"w\" ", "[s]\r\nk= \"w\" \r\n"},
    {"[s]\r\nk=v\r\n", "s", "k", "", "[s]\r\nk=\r\n"},
    {"\xEF\xBB\xBF[s]\r\nk=v\r\n", "s", "k", "w", "\xEF\xBB\xBF[s]\r\nk=w\r\n"},
    {"[設定A]\r\nキーa=1\r\n", "設定a", "キーA", "2", "[設定A]\r\nキーa=2\r\n"},
    {"[s]\r\nア=1\r\n", "s", "ヂ", "2", "[s]\r\nア=1\r\nヂ=2\r\n"},
    {"[s]\r\n", "ゾ", "k", "表\\ソ", "[s]\r\n[ゾ]\r\nk=表\\ソ\r\n"},
    // a line break would let the value plant lines of its own; what it holds before
    // the break is what a reader would get back for the key anyway
    {"[s]\r\nk=v\r\n", "s", "k", "a\r\n[t]\r\nb=c", "[s]\r\nk=a\r\n"},
    {"[s]\r\nk=v\r\n", "s", "k", "a\rb=c", "[s]\r\nk=a\r\n"},
};

class IniFileWrite : public initest::IniTest {
 protected:
  std::string Prepare(const WriteCase &c) { return c.before ? FileWith(*c.before) : NewPath(); }

  // Every key the cases use, in the sections they use.
  static std::vector<std::pair<std::string, std::string>> Probes(const WriteCase &c) {
    std::vector<std::pair<std::string, std::string>> probes;
    for (const std::string &s : {std::string(""), std::string("s"), std::string("t"), c.section})
      for (const std::string &k :
           {std::string("k"), std::string("j"), std::string("m"), std::string("b"), c.key})
        probes.emplace_back(s, k);
    return probes;
  }
};

TEST_F(IniFileWrite, FileAsWorkedOut) {
  for (const WriteCase &c : kWriteCases) {
    SCOPED_TRACE(Shown(c.before.value_or("(no file)")) + " [" + Shown(c.section) + "] " + Shown(c.key));
    const std::string path = Prepare(c);
    IniFile(path).WriteString(c.section, c.key, c.value);
    EXPECT_EQ(ReadBytes(path), c.after);
    EXPECT_FALSE(initest::Exists(path + ".tmp"));
  }
}

TEST_F(IniFileWrite, ReadsTheSameAsTheSystemsProfileFunctions) {
  if (!Ref()) GTEST_SKIP() << "no reference profile functions on this platform";
  for (const WriteCase &c : kWriteCases) {
    SCOPED_TRACE(Shown(c.before.value_or("(no file)")) + " [" + Shown(c.section) + "] " + Shown(c.key));
    const std::string ours = Prepare(c), theirs = Prepare(c);
    IniFile(ours).WriteString(c.section, c.key, c.value);
    const bool plantsLines = c.value.find_first_of("\r\n") != std::string::npos;
    if (!plantsLines) RefWrite(theirs, c.section, c.key, c.value);
    for (const auto &[section, key] : Probes(c)) {
      SCOPED_TRACE("read [" + Shown(section) + "] " + Shown(key));
      const std::string expected = IniFile(ours).ReadString(section, key, "<def>");
      EXPECT_EQ(RefRead(ours, section, key, "<def>"), expected);
      if (!plantsLines) {
        EXPECT_EQ(IniFile(theirs).ReadString(section, key, "<def>"), expected);
        EXPECT_EQ(RefRead(theirs, section, key, "<def>"), expected);
      }
    }
  }
}

TEST_F(IniFileWrite, IntegersAndBooleansRoundTrip) {
  const std::string path = NewPath();
  IniFile ini(path);
  ini.WriteInteger("s", "min", -2147483647L - 1);
  ini.WriteInteger("s", "max", 2147483647L);
  ini.WriteInteger("s", "none", -1);
  ini.WriteBool("s", "on", true);
  ini.WriteBool("s", "off", false);
  EXPECT_EQ(ReadBytes(path), "[s]\r\nmin=-2147483648\r\nmax=2147483647\r\nnone=-1\r\non=1\r\noff=0\r\n");
  EXPECT_EQ(ini.ReadInteger("s", "min", 0), -2147483647L - 1);
  EXPECT_EQ(ini.ReadInteger("s", "max", 0), 2147483647L);
  EXPECT_EQ(ini.ReadInteger("s", "none", 0), -1);
  EXPECT_TRUE(ini.ReadBool("s", "on", false));
  EXPECT_FALSE(ini.ReadBool("s", "off", true));
  if (sizeof(long) > 4) {
    // would read back as the default
    EXPECT_THROW(ini.WriteInteger("s", "wide", std::numeric_limits<long>::max()), EIniFileError);
    EXPECT_FALSE(ini.KeyExists("s", "wide"));
  }
  if (Ref()) {
    EXPECT_EQ(static_cast<int>(Ref()->GetInt("s", "min", 0, path.c_str())), -2147483647 - 1);
    EXPECT_EQ(static_cast<int>(Ref()->GetInt("s", "none", 0, path.c_str())), -1);
  }
}

// Values are bytes: everything but a line break survives, whether or not it is valid CP932.
TEST_F(IniFileWrite, RawBytesKeptExactly) {
  std::string value = "表\\ソ\x83\x5D";
  for (int c = 0x21; c <= 0xFF; ++c) value += static_cast<char>(c);
  const std::string path = NewPath();
  IniFile(path).WriteString("s", "k", value);
  EXPECT_EQ(ReadBytes(path), "[s]\r\nk=" + value + "\r\n");
  EXPECT_EQ(IniFile(path).ReadString("s", "k", ""), value);
}

TEST_F(IniFileWrite, UnchangedValueLeavesTheFileAlone) {
  const std::string path = FileWith("[s]\nk = v \n");
  IniFile(path).WriteString("S", "K", "v");
  EXPECT_EQ(ReadBytes(path), "[s]\nk = v \n");
}

TEST_F(IniFileWrite, NamesThatWouldNotReadBackAreRefused) {
  const std::string before = "[s]\r\n[x=1\r\n";
  struct {
    std::string section, key, value;
  } cases[] = {
      {"s", ";k", "v"},                             // a comment
      {"s", "k\r\n[t]", "v"},                       // a line break
      {"s\nt", "k", "v"},     {"s\x83", "k", "v"},  // the ']' would be the second byte of a character
      {"s", "[x", "a]"},                            // the line would become a header
      {"t", "[y", "]"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(Shown(c.section) + " " + Shown(c.key));
    const std::string path = FileWith(before);
    EXPECT_THROW(IniFile(path).WriteString(c.section, c.key, c.value), EIniFileError);
    EXPECT_EQ(ReadBytes(path), before);
  }
  // a key that merely starts with '[' is fine as long as the line stays a key
  const std::string path = FileWith(before);
  IniFile(path).WriteString("s", "[x", "2");
  EXPECT_EQ(IniFile(path).ReadString("s", "[x", ""), "2");
}

}  // namespace
