// The application's utility routines, on this test executable's own version resource
// and INI file and on hand-made paths.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/BIOS.h"
#include "platform/winapi.h"
#include "tests/support/TestFiles.h"

namespace {

using testsupport::OwnPath;
using testsupport::ReadAll;
using testsupport::WriteAll;

bool Exists(const std::string &path) { return std::ifstream(path).good(); }

TEST(BIOS, ExtractBaseName) {
  const struct {
    const char *in, *out;
  } rows[] = {
      {"C:\\Tools\\Horolanx1.exe", "Horolanx1"},
      {"C:\\Tools\\a.b.c", "a.b"},
      {"C:\\Tools\\noext", "noext"},
      {"C:\\Tools.d\\noext", "noext"},  // a dot in the folder is no extension
      {"/usr/local/bin/horolan", "horolan"},
      {"dir/sub\\x.tar.gz", "x.tar"},
      {"C:horolan.exe", "horolan"},
      {"C:\\Tools\\.ini", ""},
      {"C:\\Tools\\", ""},
      {"", ""},
      {"plain", "plain"},
      // 表 is 0x95 0x5C in CP932: its second byte is no folder delimiter.
      {"C:\\Tools\\表", "表"},
      {"C:\\表\\時刻表.exe", "時刻表"},
  };
  for (const auto &r : rows) EXPECT_EQ(ExtractBaseName(r.in), r.out) << r.in;
}

TEST(BIOS, ChangeFileExt) {
  const struct {
    const char *in, *out;
  } rows[] = {
      {"C:\\Tools\\Horolan.exe", "C:\\Tools\\Horolan.ini"},
      {"C:\\Tools\\a.b.exe", "C:\\Tools\\a.b.ini"},
      {"/opt/x.d/horolan", "/opt/x.d/horolan.ini"},
      {"C:\\Tools\\表", "C:\\Tools\\表.ini"},
      {"horolan", "horolan.ini"},
  };
  for (const auto &r : rows) EXPECT_EQ(ChangeFileExt(r.in, ".ini"), r.out) << r.in;
}

TEST(BIOS, ProgramIniPathLiesBesideTheExecutable) {
  const std::string exe = OwnPath();
  ASSERT_FALSE(exe.empty());
  std::string expected = exe;
  if (expected.size() > 4 && expected.compare(expected.size() - 4, 4, ".exe") == 0)
    expected.resize(expected.size() - 4);
  expected += ".ini";
  EXPECT_EQ(ProgramIniPath(), expected);
  EXPECT_EQ(&ProgramIniPath(), &ProgramIniPath());
}

TEST(BIOS, LogonUserNameIsKnown) {
  const std::string name = GetLogonUserName();
  EXPECT_FALSE(name.empty());
  EXPECT_EQ(name.find('\0'), std::string::npos);
  EXPECT_LE(name.size(), 256u);
}

TEST(BIOS, ReadIniBoolReadsTheFileBesideTheExecutable) {
  const std::string ini = ProgramIniPath();
  const bool existed = Exists(ini);
  const std::string before = existed ? ReadAll(ini) : std::string();
  std::remove(ini.c_str());

  // A missing file gives the default and is not created.
  EXPECT_TRUE(ReadIniBool("BIOSTest", "One", true));
  EXPECT_FALSE(ReadIniBool("BIOSTest", "One", false));
  EXPECT_FALSE(Exists(ini));

  ASSERT_TRUE(
      WriteAll(ini,
               "[Other]\r\nOne=0\r\n"
               "[BIOSTest]\r\nOne=1\r\nFive=5\r\nDollar=$10\r\nHex=0x10\r\nZero=0\r\nDollarZero=$0\r\n"
               "Yes=yes\r\nTrue=true\r\nEmpty=\r\n"));
  const struct {
    const char *section, *key;
    int whenDefaultFalse, whenDefaultTrue;
  } rows[] = {
      {"BIOSTest", "One", 1, 1},        {"BIOSTest", "Five", 1, 1},    {"BIOSTest", "Dollar", 1, 1},
      {"BIOSTest", "Hex", 1, 1},        {"biostest", "ONE", 1, 1},     {"BIOSTest", "Zero", 0, 0},
      {"BIOSTest", "DollarZero", 0, 0}, {"BIOSTest", "Yes", 0, 1},     {"BIOSTest", "True", 0, 1},
      {"BIOSTest", "Empty", 0, 1},      {"BIOSTest", "Missing", 0, 1}, {"NoSection", "One", 0, 1},
      {"Other", "One", 0, 0},
  };
  for (const auto &r : rows) {
    EXPECT_EQ(ReadIniBool(r.section, r.key, false), r.whenDefaultFalse != 0) << r.section << "/" << r.key;
    EXPECT_EQ(ReadIniBool(r.section, r.key, true), r.whenDefaultTrue != 0) << r.section << "/" << r.key;
  }

  std::remove(ini.c_str());
  if (existed) WriteAll(ini, before);
}

TEST(BIOS, VersionInfoTextOfThisExecutable) {
  const struct {
    int index;
    const char *text;
  } rows[] = {
      {0, "CompanyName : Fernwick"},
      {1, "FileDescription : Horolan 時刻合わせ"},
      {2, "FileVersion : 1.0.7.16"},
      {3, "InternalName : Horolan"},
      {4, "LegalCopyright : Copyright (C) Fernwick"},
      {5, "OriginalFilename : Horolan.exe"},
      {6, "ProductName : Horolan"},
      {7, "ProductVersion : 1.0.7.16"},
      {9, "FileVersion : 1.0.7.16"},
      {8, "FileVersion : 1.0.7.16"},
      {-1, "FileVersion : 1.0.7.16"},
  };
  for (const auto &r : rows) EXPECT_EQ(GetVersionInfoText(OwnPath(), r.index), r.text) << r.index;
}

class BIOSFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    FDir = std::filesystem::temp_directory_path() / ("hlbios-" + std::to_string(stamp));
    std::filesystem::create_directories(FDir);
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(FDir, ignored);
  }
  std::string Temp(const std::string &name) const { return (FDir / name).string(); }

  // A copy of this executable whose version resource has the UTF-16 key renamed.
  std::string CopyWithKeyRenamed(const std::string &key, const std::string &file) {
    std::string bytes = ReadAll(OwnPath());
    std::string from;
    for (char c : key + '\0') from += {c, '\0'};
    std::string to = from;
    to[to.size() - 4] = 'X';  // the last letter
    int n = 0;
    for (size_t at = 0; (at = bytes.find(from, at)) != std::string::npos; at += from.size(), ++n)
      bytes.replace(at, to.size(), to);
    EXPECT_GE(n, 1) << key;
    const std::string path = Temp(file);
    WriteAll(path, bytes);
    return path;
  }

  std::filesystem::path FDir;
};

TEST_F(BIOSFiles, VersionInfoTextOfOtherFiles) {
  const std::string noItem = CopyWithKeyRenamed("ProductVersion", "noitem.exe");
  const std::string noTranslation = CopyWithKeyRenamed("Translation", "notranslation.exe");
  const std::string text = Temp("notes.txt");
  WriteAll(text, "hello\r\n");
  const struct {
    std::string file;
    int index;
    const char *result;
  } rows[] = {
      {noItem, 7, "ProductVersion : None"},
      {noItem, 2, "FileVersion : 1.0.7.16"},  // the rest of the table is intact
      {noTranslation, 2, "unidentified"},
      {text, 2, "unidentified"},
      {Temp("missing.exe"), 2, "unidentified"},
      {"", 2, "unidentified"},
  };
  for (const auto &r : rows)
    EXPECT_EQ(GetVersionInfoText(r.file, r.index), r.result) << r.file << " " << r.index;
}

}  // namespace
