// Windows, the message queue and timers: the rules the program relies on, checked the
// same way against the host layer and against Wine's user32.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/winapi.h"

namespace {

struct Entry {
  HWND hwnd;
  UINT msg;
  WPARAM wp;
  bool operator==(const Entry &o) const { return hwnd == o.hwnd && msg == o.msg && wp == o.wp; }
};
std::vector<Entry> gLog;
// Messages worth logging; the rest (WM_GETMINMAXINFO, WM_NCCALCSIZE, ...) differ between
// systems and say nothing about the rules under test.
bool Interesting(UINT m) {
  return m == WM_NCCREATE || m == WM_CREATE || m == WM_DESTROY || m == WM_NCDESTROY || m == WM_TIMER ||
         (m >= WM_USER && m < 0x7FFF);
}
std::map<HWND, std::function<LRESULT(HWND, UINT, WPARAM, LPARAM, bool *)>> gHandlers;

LRESULT CALLBACK RecordingProc(HWND h, UINT m, WPARAM wp, LPARAM lp) {
  if (Interesting(m)) gLog.push_back(Entry{h, m, wp});
  auto it = gHandlers.find(h);
  if (it != gHandlers.end()) {
    bool handled = false;
    auto handler = it->second;  // the handler may replace itself
    LRESULT r = handler(h, m, wp, lp, &handled);
    if (handled) return r;
  }
  return DefWindowProcA(h, m, wp, lp);
}

const char kClass[] = "HorolanLoopTest";

void RegisterOnce() {
  static bool done = false;
  if (done) return;
  WNDCLASSA wc{};
  wc.lpfnWndProc = RecordingProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = kClass;
  ASSERT_NE(RegisterClassA(&wc), 0);
  done = true;
}

HWND Make(HWND parent = nullptr, DWORD style = WS_OVERLAPPED, const char *title = "t") {
  RegisterOnce();
  return CreateWindowExA(0, kClass, title, style, 0, 0, 100, 100, parent, nullptr, GetModuleHandleA(nullptr),
                         nullptr);
}

// Takes and dispatches everything that is due, until pred holds or the deadline passes.
bool PumpUntil(const std::function<bool()> &pred, DWORD timeoutMs = 3000) {
  DWORD start = GetTickCount();
  for (;;) {
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
      if (m.message == WM_QUIT) continue;
      DispatchMessageA(&m);
      if (pred()) return true;
    }
    if (pred()) return true;
    if (GetTickCount() - start > timeoutMs) return false;
    Sleep(2);
  }
}

int CountTimers(HWND h, UINT_PTR id) {
  int n = 0;
  for (const Entry &e : gLog)
    if (e.hwnd == h && e.msg == WM_TIMER && e.wp == id) ++n;
  return n;
}

class MessageLoop : public ::testing::Test {
 protected:
  void SetUp() override {
    gLog.clear();
    gHandlers.clear();
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
    }
    windowsBefore_ = testhooks::LiveWindowCount();
    timersBefore_ = testhooks::LiveTimerCount();
  }
  void TearDown() override {
    for (HWND h : made_)
      if (IsWindow(h)) DestroyWindow(h);
    gHandlers.clear();
    // Nothing a test created may outlive it (the host keeps count; Windows says -1).
    EXPECT_EQ(testhooks::LiveWindowCount(), windowsBefore_);
    EXPECT_EQ(testhooks::LiveTimerCount(), timersBefore_);
  }
  HWND Window(HWND parent = nullptr, DWORD style = WS_OVERLAPPED) {
    HWND h = Make(parent, style);
    EXPECT_NE(h, nullptr);
    made_.push_back(h);
    return h;
  }
  std::vector<HWND> made_;
  int windowsBefore_ = 0, timersBefore_ = 0;
};

TEST_F(MessageLoop, PostedMessagesComeInOrderAndQuitComesAfterThem) {
  HWND w = Window();
  PostMessageA(w, WM_USER + 1, 1, 0);
  PostMessageA(nullptr, WM_USER + 2, 2, 0);  // a thread message sits in the same queue
  PostMessageA(w, WM_USER + 3, 3, 0);
  PostQuitMessage(7);
  PostMessageA(w, WM_USER + 4, 4, 0);  // posted after the quit, still delivered before it

  std::vector<UINT> order;
  MSG m;
  BOOL r;
  while ((r = GetMessageA(&m, nullptr, 0, 0)) > 0) {
    order.push_back(m.message);
    DispatchMessageA(&m);
  }
  EXPECT_EQ(r, 0);
  EXPECT_EQ(m.message, static_cast<UINT>(WM_QUIT));
  EXPECT_EQ(m.wParam, 7u);
  EXPECT_EQ(order, (std::vector<UINT>{WM_USER + 1, WM_USER + 2, WM_USER + 3, WM_USER + 4}));
  // The quit is delivered once.
  EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(MessageLoop, SentMessagesRunAtOnceAndNestInsideAHandler) {
  HWND w = Window();
  std::vector<std::string> trace;
  gHandlers[w] = [&](HWND h, UINT m, WPARAM wp, LPARAM, bool *handled) -> LRESULT {
    if (m == WM_USER + 1) {
      *handled = true;
      trace.push_back("outer in");
      PostMessageA(h, WM_USER + 3, 0, 0);
      LRESULT inner = SendMessageA(h, WM_USER + 2, wp + 1, 0);
      trace.push_back("outer out " + std::to_string(inner));
      return inner * 10;
    }
    if (m == WM_USER + 2) {
      *handled = true;
      trace.push_back("inner " + std::to_string(wp));
      return 4;
    }
    if (m == WM_USER + 3) {
      *handled = true;
      trace.push_back("posted");
    }
    return 0;
  };
  EXPECT_EQ(SendMessageA(w, WM_USER + 1, 5, 0), 40);
  // The message posted inside the handler waits for the loop.
  EXPECT_EQ(trace, (std::vector<std::string>{"outer in", "inner 6", "outer out 4"}));
  ASSERT_TRUE(PumpUntil([&] { return trace.size() == 4; }));
  EXPECT_EQ(trace.back(), "posted");
}

TEST_F(MessageLoop, PeekFiltersByWindowAndRange) {
  HWND a = Window();
  HWND b = Window();
  HWND child = Window(a, WS_CHILD);
  PostMessageA(a, WM_USER + 1, 0, 0);
  PostMessageA(b, WM_USER + 2, 0, 0);
  PostMessageA(nullptr, WM_USER + 3, 0, 0);
  PostMessageA(a, WM_USER + 9, 0, 0);
  PostMessageA(child, WM_USER + 4, 0, 0);

  MSG m;
  // A window filter takes that window's messages (its children's too), nothing else.
  ASSERT_TRUE(PeekMessageA(&m, b, 0, 0, PM_REMOVE));
  EXPECT_EQ(m.hwnd, b);
  EXPECT_EQ(m.message, WM_USER + 2u);
  EXPECT_FALSE(PeekMessageA(&m, b, 0, 0, PM_REMOVE));
  // A range filter skips what lies outside it, leaving it queued.
  ASSERT_TRUE(PeekMessageA(&m, nullptr, WM_USER + 9, WM_USER + 9, PM_REMOVE));
  EXPECT_EQ(m.message, WM_USER + 9u);
  // PM_NOREMOVE looks without taking.
  ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE));
  EXPECT_EQ(m.message, WM_USER + 1u);
  ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE));
  EXPECT_EQ(m.message, WM_USER + 1u);
  // (HWND)-1 takes only messages posted to no window.
  ASSERT_TRUE(PeekMessageA(&m, reinterpret_cast<HWND>(-1), 0, 0, PM_REMOVE));
  EXPECT_EQ(m.hwnd, nullptr);
  EXPECT_EQ(m.message, WM_USER + 3u);
  std::vector<UINT> rest;
  while (PeekMessageA(&m, a, 0, 0, PM_REMOVE)) rest.push_back(m.message);
  EXPECT_EQ(rest, (std::vector<UINT>{WM_USER + 1, WM_USER + 4}));
  EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(MessageLoop, PostingToAWindowThatIsGoneFails) {
  HWND w = Window();
  PostMessageA(w, WM_USER + 1, 0, 0);
  ASSERT_TRUE(DestroyWindow(w));
  SetLastError(0);
  EXPECT_FALSE(PostMessageA(w, WM_USER + 2, 0, 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
  // What was posted before the window went is dropped with it.
  MSG m;
  EXPECT_FALSE(PeekMessageA(&m, nullptr, WM_USER, WM_USER + 10, PM_REMOVE));
}

TEST_F(MessageLoop, CreationSendsNcCreateThenCreateWithTheCreateStruct) {
  RegisterOnce();
  int param = 0;
  static LPVOID seenParam;
  static std::string seenName;
  seenParam = nullptr;
  seenName.clear();
  struct Local {
    static LRESULT CALLBACK Proc(HWND h, UINT m, WPARAM wp, LPARAM lp) {
      if (Interesting(m)) gLog.push_back(Entry{h, m, wp});
      if (m == WM_CREATE) {
        auto *cs = reinterpret_cast<CREATESTRUCTA *>(lp);
        seenParam = cs->lpCreateParams;
        seenName = cs->lpszName;
      }
      return DefWindowProcA(h, m, wp, lp);
    }
  };
  WNDCLASSA wc{};
  wc.lpfnWndProc = Local::Proc;
  wc.lpszClassName = "HorolanLoopTestCreate";
  ASSERT_NE(RegisterClassA(&wc), 0);
  HWND w = CreateWindowExA(0, "horolanlooptestcreate", "caption", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr,
                           &param);
  ASSERT_NE(w, nullptr);
  made_.push_back(w);
  EXPECT_EQ(seenParam, &param);
  EXPECT_EQ(seenName, "caption");
  std::vector<UINT> msgs;
  for (const Entry &e : gLog) msgs.push_back(e.msg);
  EXPECT_EQ(msgs, (std::vector<UINT>{WM_NCCREATE, WM_CREATE}));
  // DefWindowProcA took the caption from WM_NCCREATE.
  char text[32];
  EXPECT_EQ(GetWindowTextA(w, text, sizeof text), 7);
  EXPECT_STREQ(text, "caption");
  EXPECT_EQ(GetWindowTextA(w, text, 4), 3);  // cut to the buffer, NUL included
  EXPECT_STREQ(text, "cap");
  EXPECT_TRUE(SetWindowTextA(w, "other"));
  EXPECT_EQ(GetWindowTextLengthA(w), 5);
  ASSERT_TRUE(DestroyWindow(w));
  EXPECT_TRUE(UnregisterClassA("HorolanLoopTestCreate", nullptr));

  // A second registration of the same name (in any case) fails.
  WNDCLASSA again{};
  again.lpfnWndProc = RecordingProc;
  again.lpszClassName = "HORolanLoopTest";
  SetLastError(0);
  EXPECT_EQ(RegisterClassA(&again), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_ALREADY_EXISTS));
}

TEST_F(MessageLoop, CreationFailsWhenNcCreateOrCreateRefuses) {
  RegisterOnce();
  struct Local {
    static LRESULT CALLBACK Proc(HWND h, UINT m, WPARAM wp, LPARAM lp) {
      if (Interesting(m)) gLog.push_back(Entry{nullptr, m, wp});
      auto *cs = reinterpret_cast<CREATESTRUCTA *>(lp);
      if (m == WM_NCCREATE && cs->lpCreateParams == reinterpret_cast<LPVOID>(1)) return FALSE;
      if (m == WM_CREATE && cs->lpCreateParams == reinterpret_cast<LPVOID>(2)) return -1;
      return DefWindowProcA(h, m, wp, lp);
    }
  };
  WNDCLASSA wc{};
  wc.lpfnWndProc = Local::Proc;
  wc.lpszClassName = "HorolanLoopTestRefuse";
  ASSERT_NE(RegisterClassA(&wc), 0);
  for (intptr_t mode : {1, 2}) {
    SCOPED_TRACE(mode);
    gLog.clear();
    EXPECT_EQ(CreateWindowExA(0, wc.lpszClassName, "", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr,
                              reinterpret_cast<LPVOID>(mode)),
              nullptr);
    ASSERT_FALSE(gLog.empty());
    EXPECT_EQ(gLog.front().msg, static_cast<UINT>(WM_NCCREATE));
    // A refused window is still torn down: its last message is WM_NCDESTROY.
    EXPECT_EQ(gLog.back().msg, static_cast<UINT>(WM_NCDESTROY));
    bool sawCreate = false;
    for (const Entry &e : gLog) sawCreate |= e.msg == WM_CREATE;
    EXPECT_EQ(sawCreate, mode == 2);
  }
  EXPECT_TRUE(UnregisterClassA(wc.lpszClassName, nullptr));
  SetLastError(0);
  EXPECT_EQ(CreateWindowExA(0, "HorolanNoSuchClass", "", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr),
            nullptr);
  // Windows says "cannot find window class", Wine "class does not exist".
  EXPECT_TRUE(GetLastError() == ERROR_CANNOT_FIND_WND_CLASS || GetLastError() == ERROR_CLASS_DOES_NOT_EXIST)
      << GetLastError();
}

TEST_F(MessageLoop, DestroyingAParentDestroysItsChildrenInWinesOrder) {
  HWND parent = Window();
  HWND child = Window(parent, WS_CHILD);
  HWND grandchild = Window(child, WS_CHILD);
  EXPECT_EQ(GetParent(grandchild), child);
  EXPECT_EQ(GetParent(child), parent);
  gLog.clear();
  ASSERT_TRUE(DestroyWindow(parent));
  EXPECT_EQ(gLog, (std::vector<Entry>{{parent, WM_DESTROY, 0},
                                      {child, WM_DESTROY, 0},
                                      {grandchild, WM_DESTROY, 0},
                                      {grandchild, WM_NCDESTROY, 0},
                                      {child, WM_NCDESTROY, 0},
                                      {parent, WM_NCDESTROY, 0}}));
  EXPECT_FALSE(IsWindow(parent));
  EXPECT_FALSE(IsWindow(child));
  EXPECT_FALSE(IsWindow(grandchild));
  EXPECT_FALSE(DestroyWindow(parent));
}

TEST_F(MessageLoop, AWindowMayDestroyItselfInsideItsOwnHandler) {
  HWND w = Window();
  gHandlers[w] = [](HWND h, UINT m, WPARAM, LPARAM, bool *handled) -> LRESULT {
    if (m != WM_USER + 1) return 0;
    *handled = true;
    DestroyWindow(h);
    return 5;
  };
  gLog.clear();
  PostMessageA(w, WM_USER + 1, 0, 0);
  ASSERT_TRUE(PumpUntil([&] { return !IsWindow(w); }));
  std::vector<UINT> msgs;
  for (const Entry &e : gLog) msgs.push_back(e.msg);
  EXPECT_EQ(msgs, (std::vector<UINT>{WM_USER + 1, WM_DESTROY, WM_NCDESTROY}));
}

LRESULT CALLBACK SubclassProc(HWND h, UINT m, WPARAM wp, LPARAM lp) {
  if (m == WM_USER + 7) return 77;
  WNDPROC old = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(h, GWLP_USERDATA));
  return CallWindowProcA(old, h, m, wp + 100, lp);
}

TEST_F(MessageLoop, SubclassingReplacesTheProcedureAndReturnsTheOldOne) {
  HWND w = Window();
  LONG_PTR old = SetWindowLongPtrA(w, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(SubclassProc));
  EXPECT_EQ(old, reinterpret_cast<LONG_PTR>(RecordingProc));
  EXPECT_EQ(GetWindowLongPtrA(w, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(SubclassProc));
  EXPECT_EQ(SetWindowLongPtrA(w, GWLP_USERDATA, old), 0);
  EXPECT_EQ(GetWindowLongPtrA(w, GWLP_USERDATA), old);

  EXPECT_EQ(SendMessageA(w, WM_USER + 7, 0, 0), 77);  // the subclass answers
  gLog.clear();
  SendMessageA(w, WM_USER + 8, 1, 0);  // passed on, changed on the way
  EXPECT_EQ(gLog, (std::vector<Entry>{{w, WM_USER + 8, 101}}));
  // Posted messages reach the current procedure too.
  gLog.clear();
  PostMessageA(w, WM_USER + 8, 2, 0);
  ASSERT_TRUE(PumpUntil([] { return !gLog.empty(); }));
  EXPECT_EQ(gLog.front().wp, 102u);
}

TEST_F(MessageLoop, RegisteredMessagesAreSharedByNameWithoutRegardToCase) {
  UINT a = RegisterWindowMessageA("HorolanTest.Message");
  UINT b = RegisterWindowMessageA("horolantest.MESSAGE");
  UINT c = RegisterWindowMessageA("HorolanTest.Other");
  EXPECT_GE(a, 0xC000u);
  EXPECT_LE(a, 0xFFFFu);
  EXPECT_GE(c, 0xC000u);
  EXPECT_LE(c, 0xFFFFu);
  EXPECT_EQ(a, b);
  EXPECT_NE(a, c);
}

TEST_F(MessageLoop, MessageOnlyWindowsGetMessagesAndFindWindowFindsTopLevelOnes) {
  RegisterOnce();
  HWND w = CreateWindowExA(0, kClass, "HorolanMessageOnly", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr,
                           nullptr);
  ASSERT_NE(w, nullptr);
  made_.push_back(w);
  HWND top = Window();
  SetWindowTextA(top, "HorolanTopLevel");
  EXPECT_EQ(FindWindowA(kClass, "horolantoplevel"), top);
  PostMessageA(w, WM_USER + 5, 0, 0);
  ASSERT_TRUE(PumpUntil([&] { return !gLog.empty() && gLog.back().msg == WM_USER + 5u; }));
  EXPECT_EQ(gLog.back().hwnd, w);
}

// ---- Timers ---------------------------------------------------------------------------

TEST_F(MessageLoop, ATimerWaitsBehindPostedMessagesAndIsNeverQueuedTwice) {
  HWND w = Window();
  ASSERT_EQ(SetTimer(w, 3, 100, nullptr), 3u);
  Sleep(450);  // several periods go by unseen
  PostMessageA(w, WM_USER + 1, 0, 0);
  PostMessageA(w, WM_USER + 2, 0, 0);
  MSG m;
  std::vector<UINT> order;
  // Bounded, so a timer queued over and over fails the test instead of hanging it.
  while (order.size() < 10 && PeekMessageA(&m, w, 0, 0, PM_REMOVE)) order.push_back(m.message);
  // The posted messages first, then a single WM_TIMER for all the periods missed.
  EXPECT_EQ(order, (std::vector<UINT>{WM_USER + 1, WM_USER + 2, WM_TIMER}));
  EXPECT_TRUE(KillTimer(w, 3));
}

TEST_F(MessageLoop, SettingATimerAgainRestartsItWithTheNewPeriod) {
  HWND w = Window();
  ASSERT_EQ(SetTimer(w, 1, 60000, nullptr), 1u);
  ASSERT_EQ(SetTimer(w, 1, 20, nullptr), 1u);
  // Had the first period stayed, nothing would come within the deadline.
  EXPECT_TRUE(PumpUntil([&] { return CountTimers(w, 1) >= 2; }));
  EXPECT_TRUE(KillTimer(w, 1));
  SetLastError(0);
  EXPECT_FALSE(KillTimer(w, 1));
}

TEST_F(MessageLoop, TimerIdsBelongToTheirWindowAndKillTimerStopsOne) {
  HWND a = Window();
  HWND b = Window();
  ASSERT_EQ(SetTimer(a, 5, 20, nullptr), 5u);
  ASSERT_EQ(SetTimer(b, 5, 20, nullptr), 5u);
  ASSERT_TRUE(PumpUntil([&] { return CountTimers(a, 5) >= 1 && CountTimers(b, 5) >= 1; }));
  EXPECT_TRUE(KillTimer(a, 5));
  gLog.clear();
  ASSERT_TRUE(PumpUntil([&] { return CountTimers(b, 5) >= 3; }));
  EXPECT_EQ(CountTimers(a, 5), 0);
  EXPECT_TRUE(KillTimer(b, 5));
  // A stopped timer stays quiet.
  gLog.clear();
  EXPECT_FALSE(PumpUntil([&] { return CountTimers(b, 5) > 0; }, 300));
}

TEST_F(MessageLoop, ATimerDiesWithItsWindow) {
  HWND w = Make();
  ASSERT_NE(w, nullptr);
  ASSERT_EQ(SetTimer(w, 9, 10, nullptr), 9u);
  ASSERT_TRUE(DestroyWindow(w));
  EXPECT_FALSE(KillTimer(w, 9));
  Sleep(30);
  MSG m;
  EXPECT_FALSE(PeekMessageA(&m, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE));
}

std::vector<UINT_PTR> gProcTicks;
void CALLBACK TimerProc(HWND, UINT msg, UINT_PTR id, DWORD) {
  if (msg == WM_TIMER) gProcTicks.push_back(id);
}

TEST_F(MessageLoop, ThreadTimersGetFreshIdsAndCallTheirProcedure) {
  gProcTicks.clear();
  UINT_PTR first = SetTimer(nullptr, 0, 20, TimerProc);
  UINT_PTR second = SetTimer(nullptr, 0, 20, TimerProc);
  ASSERT_NE(first, 0u);
  ASSERT_NE(second, 0u);
  EXPECT_NE(first, second);
  auto seen = [](UINT_PTR id) { return std::count(gProcTicks.begin(), gProcTicks.end(), id) > 0; };
  EXPECT_TRUE(PumpUntil([&] { return seen(first) && seen(second); }));
  EXPECT_TRUE(KillTimer(nullptr, first));
  EXPECT_TRUE(KillTimer(nullptr, second));
}

TEST_F(MessageLoop, WaitMessageReturnsWhenATimerIsDue) {
  HWND w = Window();
  ASSERT_EQ(SetTimer(w, 2, 30, nullptr), 2u);
  DWORD start = GetTickCount();
  MSG m;
  bool got = false;
  while (!got && GetTickCount() - start < 3000) {
    WaitMessage();
    got = PeekMessageA(&m, w, WM_TIMER, WM_TIMER, PM_REMOVE) != FALSE;
  }
  EXPECT_TRUE(got);
  EXPECT_TRUE(KillTimer(w, 2));
}

}  // namespace
