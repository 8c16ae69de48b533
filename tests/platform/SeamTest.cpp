// The test seam: the fake clock, message boxes and input, and the host's outside events
// (resume from sleep, end of session), as the program's own calls see them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/winapi.h"

namespace {

long long ToUnixMs(const SYSTEMTIME &st) {
  FILETIME ft;
  EXPECT_TRUE(SystemTimeToFileTime(&st, &ft));
  long long v = (static_cast<long long>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
  return (v - 116444736000000000LL) / 10000;
}

class Seam : public ::testing::Test {
 protected:
  void TearDown() override {
    testhooks::FailClockSets(0);
    testhooks::ClearClockSets();
    testhooks::ReleaseMessageBoxes();
    testhooks::ClearMessageBoxes();
    testhooks::ResetFakeInput();
  }
};

TEST_F(Seam, TheFakeClockIsReadAndSetAndRunsOn) {
  ASSERT_TRUE(testhooks::FakeClockInstalled());
  const long long kMoment = 1700000000123LL;  // 2023-11-14 22:13:20.123 UTC
  testhooks::SetFakeUtcMs(kMoment);
  SYSTEMTIME st;
  GetSystemTime(&st);
  EXPECT_EQ(st.wYear, 2023);
  EXPECT_EQ(st.wMonth, 11);
  EXPECT_EQ(st.wDay, 14);
  EXPECT_EQ(st.wHour, 22);
  EXPECT_EQ(st.wMinute, 13);
  EXPECT_EQ(st.wSecond, 20);
  long long read = ToUnixMs(st);
  EXPECT_GE(read, kMoment);
  EXPECT_LT(read, kMoment + 5000);

  Sleep(120);
  EXPECT_GE(testhooks::FakeUtcMs(), kMoment + 100);  // real time passes on the fake clock

  testhooks::ClearClockSets();
  SYSTEMTIME target{};
  target.wYear = 2030;
  target.wMonth = 6;
  target.wDay = 1;
  target.wHour = 12;
  ASSERT_TRUE(SetSystemTime(&target));
  ASSERT_EQ(testhooks::ClockSets().size(), 1u);
  EXPECT_FALSE(testhooks::ClockSets()[0].local);
  EXPECT_EQ(testhooks::ClockSets()[0].unixMs, 1906545600000LL);  // 2030-06-01 12:00 UTC
  GetSystemTime(&st);
  EXPECT_EQ(st.wYear, 2030);
  EXPECT_EQ(st.wHour, 12);
}

TEST_F(Seam, FailedClockSetsReportTheirErrorAndChangeNothing) {
  testhooks::ClearClockSets();
  long long before = testhooks::FakeUtcMs();
  SYSTEMTIME target{};
  target.wYear = 2031;
  target.wMonth = 1;
  target.wDay = 2;
  testhooks::FailClockSets(ERROR_PRIVILEGE_NOT_HELD);
  for (bool local : {false, true}) {
    SCOPED_TRACE(local);
    SetLastError(0);
    EXPECT_FALSE(local ? SetLocalTime(&target) : SetSystemTime(&target));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PRIVILEGE_NOT_HELD));
  }
  EXPECT_TRUE(testhooks::ClockSets().empty());
  EXPECT_LT(testhooks::FakeUtcMs() - before, 60000);
  testhooks::FailClockSets(0);
  EXPECT_TRUE(SetSystemTime(&target));
  EXPECT_EQ(testhooks::ClockSets().size(), 1u);

  SYSTEMTIME bad = target;
  bad.wMonth = 13;
  SetLastError(0);
  EXPECT_FALSE(SetSystemTime(&bad));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(Seam, DefaultButtonsFollowTheBoxType) {
  struct Case {
    unsigned type;
    int button;
  } cases[] = {
      {MB_OK, IDOK},
      {MB_OKCANCEL, IDOK},
      {MB_OKCANCEL | MB_DEFBUTTON2, IDCANCEL},
      {MB_YESNO | MB_ICONQUESTION, IDYES},
      {MB_YESNO | MB_DEFBUTTON2, IDNO},
      {MB_YESNOCANCEL | MB_DEFBUTTON3, IDCANCEL},
      {MB_ABORTRETRYIGNORE | MB_DEFBUTTON2, IDRETRY},
      {MB_RETRYCANCEL, IDRETRY},
      {MB_OK | MB_DEFBUTTON3, IDOK},      // no third button: the first is default
      {MB_YESNO | MB_DEFBUTTON3, IDYES},  // likewise
  };
  for (const Case &c : cases) EXPECT_EQ(testhooks::DefaultMessageBoxButton(c.type), c.button) << c.type;
}

TEST_F(Seam, CapturedMessageBoxesAreRecordedAndAnswered) {
  testhooks::CaptureMessageBoxes();
  EXPECT_EQ(MessageBoxA(nullptr, "情報です", "Horolan", MB_YESNO | MB_DEFBUTTON2), IDNO);
  testhooks::CaptureMessageBoxes(
      [](const testhooks::MessageBoxCall &call) { return call.type & MB_ICONERROR ? IDCANCEL : IDRETRY; });
  EXPECT_EQ(MessageBoxA(nullptr, "second", "cap", MB_RETRYCANCEL | MB_ICONERROR), IDCANCEL);
  const auto &boxes = testhooks::MessageBoxes();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].text, "情報です");  // CP932 bytes, as passed
  EXPECT_EQ(boxes[0].caption, "Horolan");
  EXPECT_EQ(boxes[0].type, static_cast<unsigned>(MB_YESNO | MB_DEFBUTTON2));
  EXPECT_EQ(boxes[1].text, "second");
}

TEST_F(Seam, UncapturedBoxesOnTheHostGoToStderrInUtf8) {
  if (!testhooks::HostLayer()) GTEST_SKIP() << "a real box would wait for a user";
  ::testing::internal::CaptureStderr();
  int answer = MessageBoxA(nullptr, "時刻を合わせました", "情報", MB_OKCANCEL | MB_DEFBUTTON2);
  std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(answer, IDCANCEL);
  const char *caption = reinterpret_cast<const char *>(u8"情報");
  const char *text = reinterpret_cast<const char *>(u8"時刻を合わせました");
  EXPECT_NE(err.find(caption), std::string::npos) << err;
  EXPECT_NE(err.find(text), std::string::npos) << err;
}

TEST_F(Seam, FakeInputIsWhatTheProgramReads) {
  testhooks::SetFakeCursorPos(321, -45);
  testhooks::SetFakeKeyDown(VK_MENU, true);
  POINT p{};
  ASSERT_TRUE(GetCursorPos(&p));
  EXPECT_EQ(p.x, 321);
  EXPECT_EQ(p.y, -45);
  EXPECT_LT(GetAsyncKeyState(VK_MENU), 0);  // high bit: down
  EXPECT_EQ(GetAsyncKeyState(VK_SHIFT), 0);
  testhooks::SetFakeKeyDown(VK_MENU, false);
  EXPECT_EQ(GetAsyncKeyState(VK_MENU), 0);
}

// ---- Outside events of the host ---------------------------------------------------------

std::vector<std::pair<UINT, WPARAM>> gEvents;
LRESULT CALLBACK EventProc(HWND h, UINT m, WPARAM wp, LPARAM lp) {
  if (m == WM_POWERBROADCAST || m == WM_QUERYENDSESSION || m == WM_ENDSESSION) gEvents.push_back({m, wp});
  return DefWindowProcA(h, m, wp, lp);
}

class OutsideEvents : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!testhooks::HostLayer()) GTEST_SKIP() << "Windows sends these itself";
    WNDCLASSA wc{};
    wc.lpfnWndProc = EventProc;
    wc.lpszClassName = "HorolanSeamEvents";
    static bool registered = RegisterClassA(&wc) != 0;
    ASSERT_TRUE(registered);
    top_ = CreateWindowExA(0, wc.lpszClassName, "", WS_OVERLAPPED, 0, 0, 1, 1, nullptr, nullptr, nullptr,
                           nullptr);
    child_ = CreateWindowExA(0, wc.lpszClassName, "", WS_CHILD, 0, 0, 1, 1, top_, nullptr, nullptr, nullptr);
    hidden_ =
        CreateWindowExA(0, wc.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ASSERT_TRUE(top_ && child_ && hidden_);
    gEvents.clear();
  }
  void TearDown() override {
    if (hidden_) DestroyWindow(hidden_);
    if (top_) DestroyWindow(top_);
  }
  // One turn of the loop, which is where the host notices outside events.
  void Turn() {
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE))
      if (m.message != WM_QUIT) DispatchMessageA(&m);
  }
  HWND top_ = nullptr, child_ = nullptr, hidden_ = nullptr;
};

TEST_F(OutsideEvents, AResumeReachesTopLevelWindowsOnceInWindowsOrder) {
  Turn();
  EXPECT_TRUE(gEvents.empty());  // nothing without a resume
  ASSERT_TRUE(testhooks::SimulateResume());
  Turn();
  // Only the top-level window hears it: not its child, not a message-only window.
  EXPECT_EQ(gEvents, (std::vector<std::pair<UINT, WPARAM>>{{WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC},
                                                           {WM_POWERBROADCAST, PBT_APMRESUMESUSPEND}}));
  gEvents.clear();
  Turn();
  EXPECT_TRUE(gEvents.empty());
}

TEST_F(OutsideEvents, ATerminationSignalEndsTheSessionAndTheLoop) {
  ASSERT_TRUE(testhooks::SimulateSessionEnd());
  MSG m;
  bool quit = false;
  DWORD start = GetTickCount();
  while (!quit && GetTickCount() - start < 3000) {
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
      if (m.message == WM_QUIT)
        quit = true;
      else
        DispatchMessageA(&m);
    }
  }
  EXPECT_EQ(gEvents, (std::vector<std::pair<UINT, WPARAM>>{{WM_QUERYENDSESSION, 0}, {WM_ENDSESSION, TRUE}}));
  EXPECT_TRUE(quit);
}

}  // namespace
