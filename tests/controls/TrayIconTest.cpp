// The tray icon driven the way the shell drives it: callback messages to the shared
// window with the fake cursor and keys of the test seam, checked against the records
// that reach Shell_NotifyIconA.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "controls/TrayIcon.h"
#include "forms/Forms.h"
#include "forms/ImgList.h"
#include "forms/Menus.h"

namespace {

// The record's size up to the balloon fields: 488 bytes with 32-bit pointers, the same
// layout with 64-bit pointers is 504.
const unsigned kV2Size = sizeof(void *) == 4 ? 488u : 504u;
const unsigned kFlags = 7, kFlagsWithInfo = 7 | 16;

template <typename Pred>
bool PumpUntil(Pred done, DWORD limitMs = 3000) {
  DWORD start = GetTickCount();
  while (!done() && GetTickCount() - start < limitMs) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    Sleep(2);
  }
  return done();
}

// The colours (0xRRGGBB) of the test images, and what IconColour reads for them.
const unsigned kImageRgb[4] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00};
unsigned Drawn(int Index) { return testhooks::HostLayer() ? 0 : kImageRgb[Index]; }

// A 16 × 16 16-colour icon filled with palette entry Index (one of kImageRgb).
HICON MakeIcon(int Index) {
  struct {
    BITMAPINFOHEADER h;
    RGBQUAD colors[16];
  } bi{{sizeof(BITMAPINFOHEADER), 16, 16, 1, 4, BI_RGB, 0, 0, 0, 0, 0}, {}};
  for (int i = 0; i < 4; ++i)
    bi.colors[i] = RGBQUAD{BYTE(kImageRgb[i]), BYTE(kImageRgb[i] >> 8), BYTE(kImageRgb[i] >> 16), 0};
  void *bits = nullptr;
  HBITMAP color =
      CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO *>(&bi), DIB_RGB_COLORS, &bits, nullptr, 0);
  memset(bits, Index * 0x11, 16 * 16 / 2);
  static const BYTE opaque[32] = {};
  HBITMAP mask = CreateBitmap(16, 16, 1, 1, opaque);
  ICONINFO ii{TRUE, 0, 0, mask, color};
  HICON icon = CreateIconIndirect(&ii);
  DeleteObject(color);
  DeleteObject(mask);
  return icon;
}

// The colour in the middle of an icon as drawn. The host layer draws nothing, so
// there every icon reads as 0 and only the indexes are checked.
unsigned IconColour(HICON icon) {
  if (testhooks::HostLayer()) return 0;
  BITMAPINFO bi{};
  bi.bmiHeader = {sizeof(BITMAPINFOHEADER), 16, 16, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void *bits = nullptr;
  HBITMAP target = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, target);
  DrawIconEx(dc, 0, 0, icon, 16, 16, 0, nullptr, DI_NORMAL);
  unsigned pixel = static_cast<const unsigned *>(bits)[8 * 16 + 8] & 0xFFFFFF;
  SelectObject(dc, old);
  DeleteDC(dc);
  DeleteObject(target);
  return pixel;
}

struct TestTray : TTrayIcon {
  using TTrayIcon::AddRetryTimer;
  using TTrayIcon::ClickTimer;
  using TTrayIcon::TTrayIcon;
};

class TrayIconTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(TTrayIconHandler::Instance(), nullptr) << "no tray icon may outlive another test";
    testhooks::CaptureShellNotify();
    testhooks::ClearShellNotifyCalls();
    // Long enough that the click-delay timer only ticks when a test delivers the tick.
    testhooks::SetFakeDoubleClickTime(60000);
    testhooks::SetFakeCursorPos(100, 200);
    testhooks::CaptureMessageBoxes();
    testhooks::CapturePopupMenus([this](const testhooks::PopupMenuCall &call) {
      log.push_back("menu");
      menuAt = {call.x, call.y};
      return 0u;
    });
  }
  void TearDown() override {
    testhooks::ReleasePopupMenus();
    testhooks::ClearPopupMenuCalls();
    testhooks::ReleaseMessageBoxes();
    testhooks::ClearMessageBoxes();
    testhooks::ResetFakeInput();
    testhooks::SetFakeDoubleClickTime(0);
    testhooks::ReleaseShellNotify();
    testhooks::ClearShellNotifyCalls();
  }

  // Logs every event of the icon; OnDblClick only when asked, as it changes clicks.
  void Watch(TTrayIcon &t, bool withDblClick) {
    static const char *const names[] = {"L", "R", "M"};
    t.OnMouseDown = [this, &t](TObject *s, TMouseButton b, TShiftState sh, int x, int y) {
      EXPECT_EQ(s, &t);
      log.push_back(std::string("down ") + names[b]);
      shift = sh, pos = {x, y};
    };
    t.OnMouseUp = [this](TObject *, TMouseButton b, TShiftState sh, int x, int y) {
      log.push_back(std::string("up ") + names[b]);
      shift = sh, pos = {x, y};
    };
    t.OnMouseMove = [this](TObject *, TShiftState, int x, int y) {
      log.push_back("move");
      pos = {x, y};
    };
    auto note = [this](const char *what) { return [this, what](TObject *) { log.push_back(what); }; };
    t.OnClick = note("click");
    if (withDblClick) t.OnDblClick = note("dbl");
    t.OnMouseEnter = note("enter");
    t.OnMouseExit = note("exit");
    t.OnBalloonHintShow = note("bshow");
    t.OnBalloonHintHide = note("bhide");
    t.OnBalloonHintTimeout = note("btimeout");
    t.OnBalloonHintClick = note("bclick");
  }
  static LRESULT Send(TTrayIcon &t, LPARAM event) {
    return SendMessageA(TTrayIconHandler::Instance()->Handle(), TRAYICON_CALLBACK_MSG, t.IconId(), event);
  }
  // The click-delay timer's tick, as its window would get it; dropped when it is not running.
  static void Tick(TestTray &t) {
    SendMessageA(TMsgTimerHandler::Instance()->Handle(), WM_TIMER, t.ClickTimer()->Id(), 0);
  }
  std::string Log() const {
    std::string s;
    for (const auto &e : log) s += (s.empty() ? "" : ",") + e;
    return s;
  }
  static const testhooks::ShellNotifyCall &Last() { return testhooks::ShellNotifyCalls().back(); }

  std::vector<std::string> log;
  TShiftState shift = 0;
  POINT pos{}, menuAt{};
};

TEST_F(TrayIconTest, RecordFieldsAndTooltipCuts) {
  TTrayIcon t(nullptr);
  TIcon icon;
  icon.SetHandle(MakeIcon(0));
  t.SetIcon(&icon);
  ASSERT_TRUE(t.AddToTray());
  const auto &add = Last();
  EXPECT_EQ(add.message, unsigned(NIM_ADD));
  EXPECT_EQ(add.cbSize, kV2Size);
  EXPECT_EQ(add.hwnd, TTrayIconHandler::Instance()->Handle());
  EXPECT_EQ(add.id, t.IconId());
  EXPECT_EQ(add.flags, kFlags);
  EXPECT_EQ(add.callbackMessage, 2048u);
  EXPECT_EQ(add.icon, t.Icon()->Handle());
  EXPECT_NE(add.icon, nullptr);
  EXPECT_EQ(add.tip, "");

  const std::string a126(126, 'a'), jo = "\x8F\xEE";  // 情
  std::string pairs63;
  for (int i = 0; i < 63; ++i) pairs63 += "\x81\x81";
  const std::string pairs64 = pairs63 + "\x81\x81";
  struct Row {
    const char *what;
    std::string hint;
    bool show;
    std::string tip;
  } rows[] = {
      {"short", "Horolan", true, "Horolan"},
      {"200 bytes", std::string(200, 'a'), true, std::string(127, 'a')},
      {"tooltip switched off", "Horolan", false, ""},
      {"character across the limit", a126 + jo, true, a126},
      {"character ending at the limit", std::string(125, 'a') + jo + "b", true, std::string(125, 'a') + jo},
      {"trail bytes that look like lead bytes", "a" + pairs64, true, "a" + pairs63},
      {"half-width katakana are single bytes", std::string(130, '\xB1'), true, std::string(127, '\xB1')},
  };
  for (const Row &r : rows) {
    t.SetShowHint(r.show);
    t.SetHint(r.hint);
    EXPECT_EQ(Last().message, unsigned(NIM_MODIFY)) << r.what;
    EXPECT_EQ(Last().tip, r.tip) << r.what;
  }
  // The byte at the limit: lead bytes are 81-9F and E0-FC.
  t.SetShowHint(true);
  for (unsigned b : {0x80u, 0x81u, 0x9Fu, 0xA0u, 0xDFu, 0xE0u, 0xFCu, 0xFDu}) {
    bool lead = (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
    t.SetHint(a126 + char(b) + "\x40");
    EXPECT_EQ(Last().tip, lead ? a126 : a126 + char(b)) << std::hex << b;
  }
}

TEST_F(TrayIconTest, BalloonFieldsCutsAndFlags) {
  TTrayIcon t(nullptr);
  EXPECT_FALSE(t.DisplayBalloon("Information", "text", biInfo, 10)) << "not in the tray yet";
  t.SetHint("tip");
  t.SetIconVisible(true);
  testhooks::ClearShellNotifyCalls();
  ASSERT_TRUE(t.DisplayBalloon(std::string(80, 'T'), std::string(300, 'x'), biWarning, 10));
  const auto &calls = testhooks::ShellNotifyCalls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].flags, kFlagsWithInfo);
  EXPECT_EQ(calls[0].info, "") << "the old balloon is cleared first";
  EXPECT_EQ(calls[1].flags, kFlagsWithInfo);
  EXPECT_EQ(calls[1].info, std::string(255, 'x'));
  EXPECT_EQ(calls[1].infoTitle, std::string(63, 'T'));
  EXPECT_EQ(calls[1].timeoutOrVersion, 10000u);
  EXPECT_EQ(calls[1].infoFlags, 2u);
  EXPECT_EQ(calls[1].tip, "tip");
  t.SetHint("after");
  EXPECT_EQ(Last().flags, kFlags) << "a later update must not show the balloon again";

  const std::string jo = "\x8F\xEE";
  t.DisplayBalloon(std::string(62, 'a') + jo, std::string(254, 'b') + jo, biError, 255);
  EXPECT_EQ(Last().infoTitle, std::string(62, 'a'));
  EXPECT_EQ(Last().info, std::string(254, 'b'));
  EXPECT_EQ(Last().timeoutOrVersion, 255000u);
  const std::pair<TBalloonIcon, unsigned> kinds[] = {{biNone, 0}, {biInfo, 1}, {biWarning, 2}, {biError, 3}};
  for (auto k : kinds) {
    t.DisplayBalloon("t", "x", k.first, 1);
    EXPECT_EQ(Last().infoFlags, k.second);
  }
  t.SetIconVisible(false);
  EXPECT_FALSE(t.DisplayBalloon("t", "x", biInfo, 10));
}

TEST_F(TrayIconTest, MouseSequences) {
  enum : LPARAM { D = WM_LBUTTONDOWN, U = WM_LBUTTONUP, DBL = WM_LBUTTONDBLCLK, TICK = -1 };
  struct Row {
    const char *what;
    bool dblHandler;
    std::vector<LPARAM> steps;
    const char *events;
  } rows[] = {
      {"no double-click handler: click at the release", false, {D, U}, "down L,click,up L"},
      {"click after the double-click time", true, {D, U, TICK}, "down L,up L,click"},
      {"double click, then a click",
       true,
       {D, U, DBL, U, TICK, D, U, TICK},
       "down L,up L,dbl,up L,down L,up L,click"},
      {"press held past the double-click time", true, {D, TICK, U}, "down L,click,up L"},
      {"right and middle; their double clicks ignored",
       false,
       {WM_RBUTTONDOWN, WM_RBUTTONUP, WM_RBUTTONDBLCLK, WM_MBUTTONDOWN, WM_MBUTTONUP, WM_MBUTTONDBLCLK},
       "down R,up R,down M,up M"},
  };
  for (const Row &r : rows) {
    log.clear();
    TestTray t(nullptr);
    Watch(t, r.dblHandler);
    for (LPARAM s : r.steps) s == TICK ? Tick(t) : (void)Send(t, s);
    EXPECT_EQ(Log(), r.events) << r.what;
  }

  TestTray t(nullptr);
  Watch(t, false);
  struct Keys {
    LPARAM event;
    int vk;
    TShiftState expected;
  } keys[] = {{WM_LBUTTONDOWN, VK_SHIFT, ssShift | ssLeft},
              {WM_RBUTTONUP, VK_CONTROL, ssCtrl | ssRight},
              {WM_MBUTTONDOWN, VK_MENU, ssAlt | ssMiddle}};
  int x = 10;
  for (const Keys &k : keys) {
    testhooks::ResetFakeInput();
    testhooks::SetFakeCursorPos(++x, -5);
    testhooks::SetFakeKeyDown(k.vk, true);
    Send(t, k.event);
    EXPECT_EQ(shift, k.expected);
    EXPECT_EQ(pos.x, x) << "the pointer where it is now";
    EXPECT_EQ(pos.y, -5);
  }
}

TEST_F(TrayIconTest, ClickComesOneDoubleClickTimeAfterThePress) {
  testhooks::SetFakeDoubleClickTime(30);
  TTrayIcon t(nullptr);
  Watch(t, true);
  Send(t, WM_LBUTTONDOWN);
  Send(t, WM_LBUTTONUP);
  EXPECT_EQ(Log(), "down L,up L");
  EXPECT_TRUE(PumpUntil([&] { return log.size() == 3; }));
  EXPECT_EQ(Log(), "down L,up L,click");
}

TEST_F(TrayIconTest, DisabledIgnoresTheMouseButNotBalloons) {
  auto *menu = new TPopupMenu(nullptr);
  TTrayIcon t(nullptr);
  t.SetPopupMenu(menu);
  Watch(t, true);
  t.SetWantEnterExitEvents(true);
  t.Enabled = false;
  for (LPARAM e = WM_MOUSEMOVE; e <= WM_MBUTTONDBLCLK; ++e) Send(t, e);
  for (LPARAM e : {NIN_BALLOONSHOW, NIN_BALLOONHIDE, NIN_BALLOONTIMEOUT, NIN_BALLOONUSERCLICK, NIN_SELECT})
    Send(t, e);
  EXPECT_EQ(Log(), "bshow,bhide,btimeout,bclick");
  EXPECT_TRUE(testhooks::PopupMenuCalls().empty());
  delete menu;
  EXPECT_EQ(t.PopupMenu(), nullptr);
}

TEST_F(TrayIconTest, MenuOnRightPressAndDefaultItemOnDoubleClick) {
  TForm *form = CreateForm<TForm>(nullptr);
  auto *menu = new TPopupMenu(form);
  for (int i = 0; i < 5; ++i) {
    auto *item = new TMenuItem(form);
    item->SetCaption("item " + std::to_string(i));
    item->SetDefault(i == 2 || i == 4);
    item->OnClick = [this, i](TObject *) { log.push_back("item " + std::to_string(i)); };
    menu->Items()->Add(item);
  }
  auto *t = new TTrayIcon(form);
  Watch(*t, true);
  t->SetPopupMenu(menu);

  Send(*t, WM_RBUTTONDOWN);
  EXPECT_EQ(Log(), "down R,menu");
  EXPECT_EQ(menu->PopupComponent, t);
  EXPECT_EQ(menuAt.x, 100);
  EXPECT_EQ(menuAt.y, 200);
  MSG msg;
  bool nullPosted = false;
  while (PeekMessageA(&msg, form->Handle(), 0, 0, PM_REMOVE)) nullPosted |= msg.message == WM_NULL;
  EXPECT_TRUE(nullPosted) << "WM_NULL to the owner after the menu";

  struct Row {
    bool autoPopup, leftPopup;
    LPARAM event;
    const char *events;
  } rows[] = {
      {true, false, WM_LBUTTONDBLCLK, "dbl,item 2"},  // the lowest default item
      {true, true, WM_LBUTTONDBLCLK, "dbl"},         {false, false, WM_LBUTTONDBLCLK, "dbl"},
      {false, false, WM_RBUTTONDOWN, "down R"},      {true, true, WM_LBUTTONDOWN, "down L,menu"},
  };
  for (const Row &r : rows) {
    log.clear();
    menu->AutoPopup = r.autoPopup;
    t->LeftPopup = r.leftPopup;
    Send(*t, r.event);
    EXPECT_EQ(Log(), r.events) << r.autoPopup << r.leftPopup << " " << r.event;
  }
  delete form;
  EXPECT_EQ(TTrayIconHandler::Instance(), nullptr) << "freed with its owner";
}

TEST_F(TrayIconTest, IconIndexAndCycling) {
  auto *list = new TImageList(nullptr);
  for (int i = 0; i < 4; ++i) {
    TIcon icon;
    icon.SetHandle(MakeIcon(i));
    list->AddIcon(&icon);
  }
  TTrayIcon t(nullptr);
  t.SetIconIndex(5);
  EXPECT_EQ(t.IconIndex(), 0) << "no list";
  t.SetIconList(list);
  EXPECT_EQ(IconColour(t.Icon()->Handle()), Drawn(0));
  t.SetIconIndex(9);
  EXPECT_EQ(t.IconIndex(), 3);
  EXPECT_EQ(IconColour(t.Icon()->Handle()), Drawn(3));
  EXPECT_EQ(Last().icon, t.Icon()->Handle());

  struct Step {
    int index, next;
    unsigned rgb;
    bool operator==(const Step &o) const { return index == o.index && next == o.next && rgb == o.rgb; }
  };
  std::vector<Step> steps;
  t.OnCycle = [&](TObject *, int next) {
    steps.push_back({t.IconIndex(), next, IconColour(t.Icon()->Handle())});
  };
  t.SetCycleIcons(true);
  EXPECT_EQ(t.IconIndex(), 0);
  PumpUntil([] { return false; }, 150);
  EXPECT_TRUE(steps.empty()) << "a period of 0 never ticks";
  EXPECT_EQ(IconColour(t.Icon()->Handle()), Drawn(0));

  t.SetCycleInterval(10);
  ASSERT_TRUE(PumpUntil([&] { return steps.size() >= 6; }));
  t.SetCycleIcons(false);
  // At the last image the event names the count while the icon wraps to 0.
  const std::vector<Step> expected = {{0, 1, Drawn(0)}, {1, 2, Drawn(1)}, {2, 3, Drawn(2)},
                                      {3, 4, Drawn(3)}, {0, 1, Drawn(0)}, {1, 2, Drawn(1)}};
  steps.resize(6);
  EXPECT_TRUE(steps == expected);

  t.SetIconIndex(2);
  delete list;
  EXPECT_EQ(t.IconList(), nullptr);
  EXPECT_EQ(t.IconIndex(), 0);
}

TEST_F(TrayIconTest, TaskbarCreatedAddsAVisibleIconAgain) {
  const UINT taskbarCreated = RegisterWindowMessageA("TaskbarCreated");
  auto t = std::make_unique<TTrayIcon>(nullptr);
  EXPECT_EQ(TTrayIconHandler::Instance()->TaskbarCreatedMessage(), taskbarCreated);
  t->SetHint("abc");
  t->SetIconVisible(true);
  testhooks::ClearShellNotifyCalls();
  SendMessageA(Application->Handle(), taskbarCreated, 0, 0);
  ASSERT_EQ(testhooks::ShellNotifyCalls().size(), 1u);
  EXPECT_EQ(Last().message, unsigned(NIM_ADD));
  EXPECT_EQ(Last().tip, "abc");

  t->SetIconVisible(false);
  testhooks::ClearShellNotifyCalls();
  SendMessageA(Application->Handle(), taskbarCreated, 0, 0);
  EXPECT_TRUE(testhooks::ShellNotifyCalls().empty()) << "a hidden icon stays out";

  t.reset();
  testhooks::SetReportedCommonControlsVersion((4u << 16) | 70u);
  t = std::make_unique<TTrayIcon>(nullptr);
  testhooks::SetReportedCommonControlsVersion(0);
  EXPECT_EQ(TTrayIconHandler::Instance()->TaskbarCreatedMessage(), 0u) << "older shells never send it";
  t->SetIconVisible(true);
  testhooks::ClearShellNotifyCalls();
  SendMessageA(Application->Handle(), taskbarCreated, 0, 0);
  EXPECT_TRUE(testhooks::ShellNotifyCalls().empty());
}

TEST_F(TrayIconTest, ARefusedAddIsRetriedAndTheBalloonsMeanwhileFollowIt) {
  auto retry = [](TestTray &t) {
    SendMessageA(TMsgTimerHandler::Instance()->Handle(), WM_TIMER, t.AddRetryTimer()->Id(), 0);
  };
  testhooks::FailTrayAdds(2);
  auto t = std::make_unique<TestTray>(nullptr);
  t->SetHint("abc");
  EXPECT_FALSE(t->AddToTray());
  EXPECT_TRUE(t->AddPending());
  EXPECT_FALSE(t->DisplayBalloon("T1", "first", biInfo, 10));
  EXPECT_FALSE(t->DisplayBalloon("T2", "second", biWarning, 10));
  retry(*t);
  EXPECT_TRUE(t->AddPending()) << "still refused";
  testhooks::ClearShellNotifyCalls();
  retry(*t);
  EXPECT_FALSE(t->AddPending());
  std::vector<std::string> seen;
  for (const auto &c : testhooks::ShellNotifyCalls()) {
    if (c.message == NIM_ADD) seen.push_back("add " + c.tip + (c.result ? "" : " refused"));
    if (c.message == NIM_MODIFY && !c.info.empty()) seen.push_back(c.infoTitle + " " + c.info);
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"add abc", "T1 first", "T2 second"}));
  testhooks::ClearShellNotifyCalls();
  retry(*t);
  EXPECT_TRUE(testhooks::ShellNotifyCalls().empty()) << "the retry has stopped";

  // Taken away while waiting: no more tries, and nothing held for later.
  t->SetIconVisible(false);
  testhooks::FailTrayAdds(1);
  t->SetIconVisible(true);
  EXPECT_TRUE(t->AddPending());
  t->SetIconVisible(false);
  EXPECT_FALSE(t->AddPending());
  EXPECT_FALSE(t->DisplayBalloon("T3", "third", biInfo, 10));
  testhooks::FailTrayAdds(0);
}

TEST_F(TrayIconTest, SharedWindowLifetimeAndAnswers) {
  const int windowsBefore = testhooks::LiveWindowCount();
  auto first = std::make_unique<TTrayIcon>(nullptr);
  HWND shared = TTrayIconHandler::Instance()->Handle();
  auto second = std::make_unique<TTrayIcon>(nullptr);
  EXPECT_EQ(TTrayIconHandler::Instance()->Handle(), shared);
  EXPECT_EQ(TTrayIconHandler::Instance()->IconCount(), 2);
  EXPECT_NE(first->IconId(), second->IconId());
  for (UINT m : {WM_QUERYENDSESSION, WM_ENDSESSION, WM_CLOSE, WM_QUIT, WM_DESTROY, WM_NCDESTROY})
    EXPECT_EQ(SendMessageA(shared, m, 0, 0), 1) << m;
  EXPECT_TRUE(IsWindow(shared)) << "closing messages must not end it";

  second->SetIconVisible(true);
  const UINT secondId = second->IconId();
  Watch(*first, false);
  second.reset();
  EXPECT_EQ(Last().message, unsigned(NIM_DELETE));
  EXPECT_EQ(Last().id, secondId);
  SendMessageA(shared, TRAYICON_CALLBACK_MSG, secondId, WM_LBUTTONDOWN);  // late news for a freed icon
  EXPECT_TRUE(log.empty());
  std::vector<testhooks::TrayIconState> tray;
  if (testhooks::HostTrayIcons(&tray)) {
    EXPECT_TRUE(tray.empty());
  }

  first.reset();
  EXPECT_EQ(TTrayIconHandler::Instance(), nullptr);
  EXPECT_FALSE(IsWindow(shared));
  if (windowsBefore >= 0) {
    EXPECT_EQ(testhooks::LiveWindowCount(), windowsBefore);
  }
}

// Stands in the owner's WindowProc to see what the tray icon passes on.
struct Recorder {
  TWndMethod Previous;
  std::vector<UINT> *Seen;
  void operator()(TMessage &m) const {
    Seen->push_back(m.Msg);
    if (m.Msg != WM_SYSCOMMAND && m.Msg != WM_SHOWWINDOW) Previous(m);
  }
};

TEST_F(TrayIconTest, MinimiseToTrayAndTheOwnersWindowProcedure) {
  TForm *form = CreateForm<TForm>(nullptr);
  HWND wnd = form->Handle();
  std::vector<UINT> seen;
  form->WindowProc = Recorder{form->WindowProc, &seen};
  auto *t = new TTrayIcon(form);
  EXPECT_EQ(form->WindowProc.target<Recorder>(), nullptr) << "hooked";
  int minimised = 0;
  t->MinimizeToTray = true;
  t->OnMinimizeToTray = [&](TObject *) { ++minimised; };

  struct Row {
    UINT msg;
    WPARAM w;
    LPARAM l;
    bool toOwner;  // else to the application window
  } rows[] = {{WM_SHOWWINDOW, 0, 1, true}, {WM_SYSCOMMAND, 0xF020, 0, true}, {WM_SIZE, 1, 0, false}};
  for (const Row &r : rows) {
    minimised = 0;
    seen.clear();
    t->SetIconVisible(false);
    testhooks::ClearShellNotifyCalls();
    LRESULT result = SendMessageA(r.toOwner ? wnd : Application->Handle(), r.msg, r.w, r.l);
    EXPECT_EQ(minimised, 1) << r.msg << " raises the event once";
    EXPECT_TRUE(t->IconVisible()) << r.msg;
    EXPECT_EQ(Last().message, unsigned(NIM_ADD)) << r.msg;
    if (r.toOwner) {
      EXPECT_EQ(result, 1) << r.msg;
      EXPECT_TRUE(seen.empty()) << r.msg << " consumed";
    }
  }
  // Without a handler, or without MinimizeToTray, the messages go on untouched.
  t->OnMinimizeToTray = nullptr;
  seen.clear();
  SendMessageA(wnd, WM_SYSCOMMAND, 0xF020, 0);
  SendMessageA(wnd, WM_SHOWWINDOW, 0, 1);
  EXPECT_EQ(seen, (std::vector<UINT>{WM_SYSCOMMAND, WM_SHOWWINDOW}));
  t->MinimizeToTray = false;
  t->SetIconVisible(false);
  SendMessageA(Application->Handle(), WM_SIZE, 1, 0);
  EXPECT_FALSE(t->IconVisible());

  delete t;
  EXPECT_NE(form->WindowProc.target<Recorder>(), nullptr) << "the previous procedure is back";
  // A hook put on top of ours stays; ours only passes messages on once the icon is gone.
  t = new TTrayIcon(form);
  std::vector<UINT> top;
  form->WindowProc = Recorder{form->WindowProc, &top};
  delete t;
  ASSERT_NE(form->WindowProc.target<Recorder>(), nullptr);
  EXPECT_EQ(form->WindowProc.target<Recorder>()->Seen, &top);
  seen.clear();
  SendMessageA(wnd, WM_SYSCOMMAND, 0xF020, 0);
  SendMessageA(wnd, WM_USER + 7, 0, 0);
  EXPECT_EQ(top, (std::vector<UINT>{WM_SYSCOMMAND, WM_USER + 7}));
  EXPECT_EQ(seen, (std::vector<UINT>{WM_USER + 7}));
  delete form;
}

// A form that builds its tray icon the way a designed form does.
struct TrayForm : TForm {
  TTrayIcon *Tray;
  std::vector<std::string> *Log;
  TrayForm(bool visible, std::vector<std::string> *log) : TForm(nullptr), Log(log) {
    Tray = new TTrayIcon(this);
    Tray->SetHint("Horolan");
    TIcon icon;
    icon.SetHandle(MakeIcon(1));
    Tray->SetIcon(&icon);
    Tray->SetIconVisible(visible);
    Tray->OnStartup = [log](TObject *, bool &show) {
      log->push_back(show ? "asked true" : "asked false");
      show = false;
    };
  }
};

TEST_F(TrayIconTest, LoadedAddsTheIconOnceAndSetsTheVersion) {
  for (bool visible : {true, false}) {
    log.clear();
    testhooks::ClearShellNotifyCalls();
    auto *form = new TrayForm(visible, &log);
    EXPECT_TRUE(testhooks::ShellNotifyCalls().empty()) << "nothing reaches the shell while loading";
    form->AfterConstruction();
    EXPECT_EQ(Log(), "asked true");
    EXPECT_FALSE(Application->ShowMainForm);
    Application->ShowMainForm = true;
    const auto &calls = testhooks::ShellNotifyCalls();
    ASSERT_EQ(calls.size(), 3u) << visible;
    EXPECT_EQ(calls[0].message, unsigned(NIM_MODIFY));
    EXPECT_EQ(calls[1].message, unsigned(visible ? NIM_ADD : NIM_DELETE));
    EXPECT_EQ(calls[1].tip, "Horolan");
    EXPECT_EQ(calls[1].flags, kFlags);
    EXPECT_NE(calls[1].icon, nullptr);
    EXPECT_EQ(calls[2].message, unsigned(NIM_SETVERSION));
    EXPECT_EQ(calls[2].timeoutOrVersion, 0u);
    EXPECT_TRUE(!visible || calls[1].result);
    std::vector<testhooks::TrayIconState> tray;
    if (!visible) {
      if (testhooks::HostTrayIcons(&tray)) {
        EXPECT_TRUE(tray.empty());
      }
      EXPECT_FALSE(form->Tray->DisplayBalloon("Information", "x", biInfo, 10));
    }
    delete form;
  }
}

TEST_F(TrayIconTest, EventsMayFailOrFreeTheIcon) {
  auto *t = new TTrayIcon(nullptr);
  Watch(*t, false);
  t->OnClick = [](TObject *) { throw Exception("boom"); };
  Send(*t, WM_LBUTTONDOWN);
  Send(*t, WM_LBUTTONUP);
  ASSERT_EQ(testhooks::MessageBoxes().size(), 1u) << "reported, not thrown through the loop";
  EXPECT_NE(testhooks::MessageBoxes()[0].text.find("boom"), std::string::npos);
  EXPECT_TRUE(testhooks::MessageBoxes()[0].type & MB_ICONERROR);

  log.clear();
  t->OnClick = [&](TObject *) {
    log.push_back("click");
    delete t;
  };
  Send(*t, WM_LBUTTONDOWN);
  Send(*t, WM_LBUTTONUP);
  EXPECT_EQ(Log(), "down L,click") << "nothing after the icon is gone";
  EXPECT_EQ(TTrayIconHandler::Instance(), nullptr);
}

TEST_F(TrayIconTest, PointerEnterAndLeave) {
  TTrayIcon t(nullptr);
  Watch(t, false);
  t.SetWantEnterExitEvents(true);
  Send(t, WM_MOUSEMOVE);
  Send(t, WM_MOUSEMOVE);
  EXPECT_EQ(Log(), "enter,move,move");
  testhooks::SetFakeCursorPos(300, 300);
  ASSERT_TRUE(PumpUntil([&] { return log.size() == 4; }));
  Send(t, WM_MOUSEMOVE);
  EXPECT_EQ(Log(), "enter,move,move,exit,enter,move");
}

}  // namespace
