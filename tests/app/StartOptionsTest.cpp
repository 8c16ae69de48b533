// What a start decides from the executable's name and the command line, and the
// single-instance guard.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/DblChkNF.h"
#include "app/StartOptions.h"
#include "app/VersionInfo.h"
#include "platform/winapi.h"

namespace {

using Params = std::vector<std::string>;

TEST(StartOptions, RunOnceFromTheNameTheParametersOrTheIniSwitch) {
  const struct {
    const char *exe;
    Params params;
    bool ini, runOnce;
  } rows[] = {
      {"C:\\Tools\\Horolanx1.exe", {}, false, true},
      {"C:\\Tools\\HOROLANX1.EXE", {}, false, true},
      {"C:\\Tools\\x1.exe", {}, false, true},
      {"C:\\Tools\\Horolan.x1.exe", {}, false, true},
      {"/usr/local/bin/horolanx1", {}, false, true},
      {"C:\\Tools\\Horolanx10.exe", {}, false, false},
      {"C:\\x1\\Horolan.exe", {}, false, false},  // the folder does not count
      {"C:\\Tools\\Horolan.exe", {}, false, false},
      {"C:\\Tools\\1.exe", {}, false, false},
      {"C:\\Tools\\Horolan.exe", {"-1"}, false, true},
      {"C:\\Tools\\Horolan.exe", {"/1"}, false, true},
      {"C:\\Tools\\Horolan.exe", {"/12"}, false, true},
      {"C:\\Tools\\Horolan.exe", {"-1x"}, false, true},
      {"C:\\Tools\\Horolan.exe", {"/q", "-1"}, false, true},
      {"C:\\Tools\\Horolan.exe", {"1"}, false, false},
      {"C:\\Tools\\Horolan.exe", {"/2"}, false, false},
      {"C:\\Tools\\Horolan.exe", {"/"}, false, false},
      {"C:\\Tools\\Horolan.exe", {"", "x1", "--1"}, false, false},
      {"C:\\Tools\\Horolan.exe", {}, true, true},
      // No source turns the mode off again.
      {"C:\\Tools\\Horolanx1.exe", {"/2"}, false, true},
  };
  for (const auto &row : rows) {
    std::string params;
    for (const auto &p : row.params) params += "[" + p + "]";
    SCOPED_TRACE(std::string(row.exe) + " " + params + (row.ini ? " ini" : ""));
    EXPECT_EQ(DecideRunOnce(row.exe, row.params, row.ini), row.runOnce);
  }
}

TEST(StartOptions, LowerCasingKeepsDoubleByteCharactersWhole) {
  // 0x83 0x58 is ス: its trail byte is "X" and must not be folded into "x".
  EXPECT_FALSE(DecideRunOnce("C:\\Tools\\Horolan\x83X1.exe", {}, false));
  EXPECT_TRUE(DecideRunOnce("C:\\Tools\\\x83\x58X1.exe", {}, false));
}

TEST(StartOptions, ParametersAreSplitByTheWindowsRules) {
  const struct {
    const char *line;
    Params params;
  } rows[] = {
      {"Horolan.exe", {}},
      {"\"C:\\Program Files\\Horolan.exe\" -1", {"-1"}},
      {"C:\\Horolan.exe   /1\t-q ", {"/1", "-q"}},
      {"h \"a b\" c\"d e\"f", {"a b", "cd ef"}},
      {"h a\\\"b \"c\\\\\" d\\\\e", {"a\"b", "c\\", "d\\\\e"}},
      {"h \"\" x", {"", "x"}},
      {"h \"say \"\"hi\"\"\"", {"say \"hi\""}},
      {"\"C:\\odd path\\h.exe\"-1 /1", {"/1"}},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.line);
    EXPECT_EQ(SplitParameters(row.line), row.params);
  }
}

TEST(StartOptions, HelpVersionAndUnknownOptionsFromTheCommandLine) {
  using C = StartCommand;
  const struct {
    Params params;
    C command;
    const char *option;
  } rows[] = {
      {{}, C::Run, ""},
      {{"-1"}, C::Run, ""},
      {{"/1", "-1x", "/q", "plain", "1"}, C::Run, ""},  // what ran before still runs
      {{"--help"}, C::Help, ""},
      {{"-h"}, C::Help, ""},
      {{"-1", "--version"}, C::Version, ""},
      {{"-V"}, C::Version, ""},
      {{"--bogus"}, C::BadOption, "--bogus"},
      {{"-1", "-x", "--help"}, C::BadOption, "-x"},  // the first of them decides
      {{"--help", "-x"}, C::Help, ""},
      {{"--1"}, C::BadOption, "--1"},
      {{"-"}, C::BadOption, "-"},
      {{"--HELP"}, C::BadOption, "--HELP"},
  };
  for (const auto &row : rows) {
    std::string params;
    for (const auto &p : row.params) params += "[" + p + "]";
    SCOPED_TRACE(params);
    const StartRequest r = ParseStartCommand(row.params);
    EXPECT_EQ(r.Command, row.command);
    EXPECT_EQ(r.Option, row.option);
  }
  const std::string version = std::to_string(HL_VER_MAJOR) + "." + std::to_string(HL_VER_MINOR) + "." +
                              std::to_string(HL_VER_RELEASE) + "." + std::to_string(HL_VER_BUILD);
  EXPECT_EQ(ProgramVersionText(), "Horolan " + version + "\n");
  EXPECT_EQ(ProgramUsageText("horolan").rfind("Usage: horolan [-1] [--help] [--version]\n", 0), 0u);
}

TEST(SingleInstance, SecondAcquireOfTheSameFileNameFailsUntilReleased) {
  const std::string name = "HorolanGuardTest" + std::to_string(GetCurrentProcessId()) + ".exe";
  ASSERT_TRUE(AcquireSingleInstance("C:\\Program Files\\Horolan\\" + name));
  // The mutex carries the file name only, extension included.
  HANDLE seen = OpenMutexA(MUTEX_ALL_ACCESS, FALSE, name.c_str());
  EXPECT_NE(seen, nullptr);
  if (seen) CloseHandle(seen);
  EXPECT_FALSE(AcquireSingleInstance("/elsewhere/" + name));
  ReleaseSingleInstance();

  seen = OpenMutexA(MUTEX_ALL_ACCESS, FALSE, name.c_str());
  EXPECT_EQ(seen, nullptr) << "released at the end";
  if (seen) CloseHandle(seen);
  EXPECT_TRUE(AcquireSingleInstance(name));
  ReleaseSingleInstance();
  ReleaseSingleInstance();  // harmless twice
}

TEST(SingleInstance, AMutexThisCopyMayNotTouchMeansAnotherRuns) {
  // An elevated copy's mutex refuses a plain start, in either call.
  const std::string name = "HorolanDeniedTest" + std::to_string(GetCurrentProcessId()) + ".exe";
  const struct {
    unsigned long openError, createError;
    bool acquired;
  } rows[] = {
      {ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED, false},
      {ERROR_ACCESS_DENIED, 0, false},
      {0, ERROR_ACCESS_DENIED, false},
      {ERROR_FILE_NOT_FOUND, 0, true},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(std::to_string(row.openError) + "/" + std::to_string(row.createError));
    testhooks::FailMutexCalls(row.openError, row.createError);
    const bool acquired = AcquireSingleInstance(name);
    testhooks::FailMutexCalls(0, 0);
    EXPECT_EQ(acquired, row.acquired);
    ReleaseSingleInstance();
  }
}

}  // namespace
