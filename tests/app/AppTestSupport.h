// The main form as the program makes it, for the application's tests: a fresh
// application object per test, settings in a folder of the test's own, and the clock,
// tray and message boxes captured.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/BIOS.h"
#include "app/fSetup.h"
#include "forms/Forms.h"
#include "platform/winapi.h"
#include "sockets/NsSockAccess.h"
#include "tests/support/TestFiles.h"

namespace apptest {

// Milliseconds since 1970 of a UTC calendar time.
inline long long UtcMs(const SYSTEMTIME &st) {
  FILETIME ft{};
  SystemTimeToFileTime(&st, &ft);
  const unsigned long long ticks =
      (static_cast<unsigned long long>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
  return static_cast<long long>(ticks / 10000) - 11644473600000LL;
}

// The machine's offset of local time from UTC in December 2026 (no test date leaves
// that month), read through the fake clock so that tests hold in every time zone.
inline long long LocalOffsetMs() {
  testhooks::SetFakeUtcMs(UtcMs(testsupport::Civil(2026, 12, 7, 12)));
  SYSTEMTIME utc{}, local{};
  GetSystemTime(&utc);
  GetLocalTime(&local);
  utc.wMilliseconds = local.wMilliseconds = 0;
  return UtcMs(local) - UtcMs(utc);
}

// Puts the fake clock where the machine's local time reads the given time.
inline void SetFakeLocalTime(const SYSTEMTIME &local) {
  testhooks::SetFakeUtcMs(UtcMs(local) - LocalOffsetMs());
}

// Balloons shown since the capture began, as (title, text).
inline std::vector<std::pair<std::string, std::string>> Balloons() {
  std::vector<std::pair<std::string, std::string>> out;
  for (const auto &call : testhooks::ShellNotifyCalls())
    if ((call.flags & NIF_INFO) && !call.info.empty()) out.emplace_back(call.infoTitle, call.info);
  return out;
}

class SetupFixture : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // Settings and NTP.lst go to a folder of the tests' own, never the user's.
    const std::string own = testsupport::OwnPath();
    const std::string home = own.substr(0, own.find_last_of("\\/") + 1) + "app-test-home";
    CreateDirectoryA(home.c_str(), nullptr);
    SetEnvironmentVariableA("XDG_CONFIG_HOME", home.c_str());
    NsStartSocketFramework();
  }

  void SetUp() override {
    FSavedApplication = Application;
    Application = new TApplication(nullptr);
    Application->SetTitle("Horolan");
    Application->ShowMainForm = false;
    testhooks::CaptureShellNotify();
    testhooks::CaptureMessageBoxes();
    testhooks::CaptureShellExecute();
    testhooks::ResetReportedVersion();
    // A run-once end waits while a balloon is on the screen: not in these tests.
    testhooks::SetReportedBalloonsStayOnScreen(0);
    testhooks::FailClockSets(0);
    testhooks::ClearClockSets();
    FIni = ProgramIniPath();
    FIniExisted = GetFileAttributesA(FIni.c_str()) != INVALID_FILE_ATTRIBUTES;
    if (FIniExisted) FIniBefore = testsupport::ReadAll(FIni);
  }

  void TearDown() override {
    Application->ProcessMessages();
    delete Application;  // frees the main form with its components
    Application = FSavedApplication;
    ::Setup = nullptr;
    testhooks::ReleaseShellNotify();
    testhooks::ReleaseMessageBoxes();
    testhooks::ReleaseShellExecute();
    testhooks::ResetReportedVersion();
    testhooks::SetReportedBalloonsStayOnScreen(-1);
    testhooks::FailClockSets(0);
    if (FIniExisted)
      testsupport::WriteAll(FIni, FIniBefore);
    else
      std::remove(FIni.c_str());
  }

  // The INI file beside the executable, which holds the run-once switch.
  void WriteProgramIni(const std::string &text) { ASSERT_TRUE(testsupport::WriteAll(FIni, text)); }

  // Creates the main form as the program does; the settings may carry a server of an
  // earlier test, so the controls are set afresh.
  TSetup *MakeSetup(const std::string &server = "127.0.0.9") {
    Application->CreateForm(::Setup);
    ::Setup->UseNTPServer->SetText(server);
    ::Setup->CheckTiming->SetChecked(false);
    ::Setup->OffsetMin->SetText("0");
    ::Setup->OffsetSec->SetText("0");
    ::Setup->UpdateTime->SetText("30");
    testhooks::ClearShellNotifyCalls();
    testhooks::ClearMessageBoxes();
    return ::Setup;
  }

  static bool RequestOutstanding(TSetup *s) {
    const SOCKET q = s->SNTPC->QuerySocket();
    return q != 0 && q != INVALID_SOCKET;
  }

 private:
  TApplication *FSavedApplication = nullptr;
  std::string FIni, FIniBefore;
  bool FIniExisted = false;
};

}  // namespace apptest
