// The notification area as the tray component uses it: which calls the tray accepts,
// what the seam records, the structure's layout and the host's report on stderr.
//
// Under Wine (a fresh prefix, Xvfb) explorer's tray window exists and answers: adding
// a second icon with the same (window, id), and changing or deleting one that is not
// there, fail as on Windows; a cbSize it does not know is taken as the oldest layout.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "platform/winapi.h"

namespace {

LRESULT CALLBACK QuietProc(HWND h, UINT m, WPARAM w, LPARAM l) { return DefWindowProcA(h, m, w, l); }

class Tray : public ::testing::Test {
 protected:
  void SetUp() override {
    WNDCLASSA wc{};
    wc.lpfnWndProc = QuietProc;
    wc.lpszClassName = "HorolanTrayTest";
    RegisterClassA(&wc);
    for (HWND &w : FWindows) {
      w = CreateWindowExA(0, "HorolanTrayTest", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr,
                          nullptr);
      ASSERT_NE(w, nullptr);
    }
    testhooks::CaptureShellNotify();
    testhooks::ClearShellNotifyCalls();
  }
  void TearDown() override {
    testhooks::ReleaseShellNotify();
    testhooks::ClearShellNotifyCalls();
    // Whatever a test left in the tray goes, so the next one starts empty.
    for (HWND w : FWindows)
      for (UINT id = 1; id <= 3; ++id) {
        NOTIFYICONDATAA nid = Data(w, id, 0);
        Shell_NotifyIconA(NIM_DELETE, &nid);
      }
    for (HWND w : FWindows) DestroyWindow(w);
    UnregisterClassA("HorolanTrayTest", nullptr);
  }
  static NOTIFYICONDATAA Data(HWND w, UINT id, UINT flags) {
    NOTIFYICONDATAA nid{};
    nid.cbSize = NOTIFYICONDATAA_V2_SIZE;
    nid.hWnd = w;
    nid.uID = id;
    nid.uFlags = flags;
    return nid;
  }
  HWND FWindows[2] = {};
};

TEST_F(Tray, AddsChangesAndRemovesByWindowAndId) {
  struct Step {
    DWORD message;
    int window;
    UINT id;
    bool result;
  };
  const Step kSteps[] = {
      {NIM_ADD, 0, 1, true},         {NIM_ADD, 0, 1, false},  // an icon is added once
      {NIM_ADD, 1, 1, true},                                  // the same id of another window is another icon
      {NIM_MODIFY, 0, 2, false},     {NIM_DELETE, 0, 2, false},  // an absent icon cannot be changed
      {NIM_SETVERSION, 0, 2, false}, {NIM_SETVERSION, 0, 1, true}, {NIM_MODIFY, 0, 1, true},
      {NIM_DELETE, 0, 1, true},      {NIM_DELETE, 0, 1, false},    {NIM_MODIFY, 0, 1, false},
      {NIM_MODIFY, 1, 1, true},      {NIM_DELETE, 1, 1, true},
  };
  for (const Step &s : kSteps) {
    NOTIFYICONDATAA nid = Data(FWindows[s.window], s.id, NIF_TIP);
    strcpy(nid.szTip, "Horolan");
    nid.uVersion = NOTIFYICON_VERSION;
    EXPECT_EQ(Shell_NotifyIconA(s.message, &nid) != FALSE, s.result)
        << "message " << s.message << " window " << s.window << " id " << s.id;
  }
  const auto &calls = testhooks::ShellNotifyCalls();
  ASSERT_EQ(calls.size(), sizeof kSteps / sizeof kSteps[0]);
  for (size_t i = 0; i < calls.size(); ++i) {
    EXPECT_EQ(calls[i].message, kSteps[i].message) << i;
    EXPECT_EQ(calls[i].hwnd, FWindows[kSteps[i].window]) << i;
    EXPECT_EQ(calls[i].id, kSteps[i].id) << i;
    EXPECT_EQ(calls[i].result, kSteps[i].result) << i;
  }
}

TEST_F(Tray, RecordsTheFieldsAsPassed) {
  HICON icon = LoadIconA(nullptr, IDI_APPLICATION);
  NOTIFYICONDATAA nid = Data(FWindows[0], 1, NIF_MESSAGE | NIF_ICON | NIF_TIP);
  nid.uCallbackMessage = WM_APP + 7;
  nid.hIcon = icon;
  strcpy(nid.szTip, "時刻合わせ: ntp.example.jp");
  ASSERT_TRUE(Shell_NotifyIconA(NIM_ADD, &nid));

  NOTIFYICONDATAA balloon = Data(FWindows[0], 1, NIF_INFO);
  balloon.cbSize = sizeof balloon;
  strcpy(balloon.szInfo, "5分後に同期します");
  strcpy(balloon.szInfoTitle, "Horolan");
  balloon.uTimeout = 10000;
  balloon.dwInfoFlags = NIIF_WARNING | NIIF_NOSOUND;
  ASSERT_TRUE(Shell_NotifyIconA(NIM_MODIFY, &balloon));

  // A tip that fills its whole field, with no terminator, is taken up to the field's end.
  NOTIFYICONDATAA full = Data(FWindows[0], 1, NIF_TIP);
  memset(full.szTip, 'x', sizeof full.szTip);
  ASSERT_TRUE(Shell_NotifyIconA(NIM_MODIFY, &full));

  const auto &calls = testhooks::ShellNotifyCalls();
  ASSERT_EQ(calls.size(), 3u);
  const testhooks::ShellNotifyCall &add = calls[0];
  EXPECT_EQ(add.message, static_cast<unsigned>(NIM_ADD));
  EXPECT_EQ(add.cbSize, static_cast<unsigned>(NOTIFYICONDATAA_V2_SIZE));
  EXPECT_EQ(add.flags, static_cast<unsigned>(NIF_MESSAGE | NIF_ICON | NIF_TIP));
  EXPECT_EQ(add.callbackMessage, static_cast<unsigned>(WM_APP + 7));
  EXPECT_EQ(add.icon, icon);
  EXPECT_EQ(add.tip, "時刻合わせ: ntp.example.jp");
  EXPECT_TRUE(add.result);

  const testhooks::ShellNotifyCall &b = calls[1];
  EXPECT_EQ(b.cbSize, static_cast<unsigned>(sizeof(NOTIFYICONDATAA)));
  EXPECT_EQ(b.flags, static_cast<unsigned>(NIF_INFO));
  EXPECT_EQ(b.info, "5分後に同期します");
  EXPECT_EQ(b.infoTitle, "Horolan");
  EXPECT_EQ(b.timeoutOrVersion, 10000u);
  EXPECT_EQ(b.infoFlags, static_cast<unsigned>(NIIF_WARNING | NIIF_NOSOUND));

  EXPECT_EQ(calls[2].tip, std::string(128, 'x'));
}

TEST_F(Tray, TheStatedSizeDecidesWhichFieldsCount) {
  // The oldest layout has a 64-byte tip and no balloon: what lies beyond is not read.
  NOTIFYICONDATAA nid = Data(FWindows[0], 1, NIF_TIP | NIF_INFO);
  nid.cbSize = NOTIFYICONDATAA_V1_SIZE;
  memset(nid.szTip, 'a', 100);
  strcpy(nid.szInfo, "not read");
  EXPECT_TRUE(Shell_NotifyIconA(NIM_ADD, &nid));

  // A size Windows does not know is read as the oldest layout too, and accepted.
  NOTIFYICONDATAA odd = Data(FWindows[0], 1, NIF_TIP);
  odd.cbSize = NOTIFYICONDATAA_V1_SIZE + 12;
  strcpy(odd.szTip, "odd");
  EXPECT_TRUE(Shell_NotifyIconA(NIM_MODIFY, &odd));

  const auto &calls = testhooks::ShellNotifyCalls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].tip, std::string(64, 'a'));
  EXPECT_EQ(calls[0].info, "");
  EXPECT_EQ(calls[1].tip, "odd");

  if (testhooks::HostLayer()) {
    // Windows would read a full oldest layout past a smaller structure; the host refuses.
    NOTIFYICONDATAA tiny = Data(FWindows[0], 1, NIF_TIP);
    tiny.cbSize = 20;
    EXPECT_FALSE(Shell_NotifyIconA(NIM_MODIFY, &tiny));
  }
}

TEST_F(Tray, HostTrayHoldsTheIconsWithTheirTips) {
  std::vector<testhooks::TrayIconState> icons;
  if (!testhooks::HostTrayIcons(&icons)) {
    EXPECT_TRUE(icons.empty());
    GTEST_SKIP() << "the tray's contents cannot be read here";
  }
  EXPECT_TRUE(icons.empty());
  NOTIFYICONDATAA nid = Data(FWindows[0], 2, NIF_TIP | NIF_MESSAGE);
  nid.uCallbackMessage = WM_APP;
  strcpy(nid.szTip, "first");
  ASSERT_TRUE(Shell_NotifyIconA(NIM_ADD, &nid));
  nid.uFlags = NIF_TIP | NIF_STATE;
  strcpy(nid.szTip, "second");
  nid.dwState = NIS_HIDDEN;
  nid.dwStateMask = NIS_HIDDEN;
  ASSERT_TRUE(Shell_NotifyIconA(NIM_MODIFY, &nid));
  // Flags not set leave their fields alone.
  nid.uFlags = 0;
  strcpy(nid.szTip, "ignored");
  ASSERT_TRUE(Shell_NotifyIconA(NIM_MODIFY, &nid));

  ASSERT_TRUE(testhooks::HostTrayIcons(&icons));
  ASSERT_EQ(icons.size(), 1u);
  EXPECT_EQ(icons[0].hwnd, FWindows[0]);
  EXPECT_EQ(icons[0].id, 2u);
  EXPECT_EQ(icons[0].tip, "second");
  EXPECT_EQ(icons[0].callbackMessage, static_cast<unsigned>(WM_APP));
  EXPECT_TRUE(icons[0].hidden);

  ASSERT_TRUE(Shell_NotifyIconA(NIM_DELETE, &nid));
  ASSERT_TRUE(testhooks::HostTrayIcons(&icons));
  EXPECT_TRUE(icons.empty());
}

TEST_F(Tray, HostReportsTipChangesAndBalloonsInUtf8) {
  if (!testhooks::HostLayer()) GTEST_SKIP() << "only the host layer reports on stderr";
  ::testing::internal::CaptureStderr();
  NOTIFYICONDATAA nid = Data(FWindows[0], 1, NIF_TIP);
  strcpy(nid.szTip, "時刻");
  Shell_NotifyIconA(NIM_ADD, &nid);
  Shell_NotifyIconA(NIM_MODIFY, &nid);  // the same tip again: nothing to report

  NOTIFYICONDATAA b = Data(FWindows[0], 1, NIF_INFO);
  strcpy(b.szInfoTitle, "注意");
  strcpy(b.szInfo, "サーバーが\r\n未設定です");
  b.dwInfoFlags = NIIF_WARNING;
  Shell_NotifyIconA(NIM_MODIFY, &b);
  b.szInfoTitle[0] = 0;
  strcpy(b.szInfo, "plain");
  b.dwInfoFlags = NIIF_NONE;
  Shell_NotifyIconA(NIM_MODIFY, &b);
  b.szInfo[0] = 0;  // takes the balloon down: nothing shown, nothing reported
  Shell_NotifyIconA(NIM_MODIFY, &b);
  const std::string out = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(out, std::string(u8"horolan tray: tip \"時刻\"\n"
                             u8"horolan tray: balloon [warning] \"注意\": \"サーバーが  未設定です\"\n"
                             u8"horolan tray: balloon \"plain\"\n"));
}

TEST(TrayLayout, MatchesTheSdk) {
  // Worked out from the SDK's declaration: pointers and HICON/HWND are 4 or 8 bytes,
  // the rest are 4-byte fields and char arrays.
  const bool wide = sizeof(void *) == 8;
  EXPECT_EQ(offsetof(NOTIFYICONDATAA, szTip), wide ? 40u : 24u);
  EXPECT_EQ(offsetof(NOTIFYICONDATAA, szInfo), wide ? 176u : 160u);
  EXPECT_EQ(offsetof(NOTIFYICONDATAA, uTimeout), wide ? 432u : 416u);
  EXPECT_EQ(offsetof(NOTIFYICONDATAA, szInfoTitle), wide ? 436u : 420u);
  EXPECT_EQ(offsetof(NOTIFYICONDATAA, dwInfoFlags), wide ? 500u : 484u);
  EXPECT_EQ(static_cast<size_t>(NOTIFYICONDATAA_V1_SIZE), wide ? 104u : 88u);
  EXPECT_EQ(static_cast<size_t>(NOTIFYICONDATAA_V2_SIZE), wide ? 504u : 488u);
  EXPECT_EQ(NIN_BALLOONSHOW, 1026);
  EXPECT_EQ(NIN_BALLOONUSERCLICK, 1029);
}

}  // namespace
