// Focus, capture, window relations, placement and painting: the window-manager rules
// the form framework builds on, checked the same way on the host layer and under Wine.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/winapi.h"

namespace {

struct Event {
  HWND hwnd;
  UINT msg;
  WPARAM wp;
  LPARAM lp;
  bool operator==(const Event &o) const { return hwnd == o.hwnd && msg == o.msg && wp == o.wp && lp == o.lp; }
};
std::vector<Event> gEvents;
std::vector<UINT> gWatched;

// Paint handling for the test windows: BeginPaint/EndPaint (which validate the window
// itself, not its children) unless told to leave the window invalid.
bool gValidateOnPaint = true;

LRESULT CALLBACK WatchProc(HWND h, UINT m, WPARAM wp, LPARAM lp) {
  if (std::find(gWatched.begin(), gWatched.end(), m) != gWatched.end()) {
    // Messages whose lParam is a pointer are logged without it.
    bool pointer = m == WM_WINDOWPOSCHANGING || m == WM_WINDOWPOSCHANGED;
    gEvents.push_back(Event{h, m, wp, pointer ? 0 : lp});
  }
  if (m == WM_PAINT) {
    if (gValidateOnPaint) {
      PAINTSTRUCT ps;
      BeginPaint(h, &ps);
      EndPaint(h, &ps);
    }
    return 0;
  }
  return DefWindowProcA(h, m, wp, lp);
}

const char *WatchClass() {
  static bool done = false;
  if (!done) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = WatchProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "HorolanWindowManagerTest";
    RegisterClassA(&wc);
    done = true;
  }
  return "HorolanWindowManagerTest";
}

LPARAM L(HWND h) { return reinterpret_cast<LPARAM>(h); }
WPARAM W(HWND h) { return reinterpret_cast<WPARAM>(h); }

void Drain() {
  MSG m;
  for (int i = 0; i < 1000 && PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE); ++i) DispatchMessageA(&m);
}

class WindowManager : public ::testing::Test {
 protected:
  void SetUp() override {
    windowsBefore_ = testhooks::LiveWindowCount();
    gEvents.clear();
    gWatched.clear();
    gValidateOnPaint = true;
    top_ = Window(nullptr, WS_OVERLAPPEDWINDOW, 50, 60, 300, 200);
    SetFocus(top_);
    Drain();
  }
  void TearDown() override {
    gWatched.clear();
    gValidateOnPaint = true;
    for (HWND h : made_)
      if (IsWindow(h)) DestroyWindow(h);
    Drain();
    EXPECT_EQ(testhooks::LiveWindowCount(), windowsBefore_);
  }
  HWND Window(HWND parent, DWORD style, int x = 0, int y = 0, int w = 50, int h = 30, int id = 0) {
    HWND r = CreateWindowExA(0, WatchClass(), "w", style, x, y, w, h, parent,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleA(nullptr),
                             nullptr);
    EXPECT_NE(r, nullptr);
    made_.push_back(r);
    return r;
  }
  HWND Child(HWND parent, int id = 0, DWORD extra = WS_VISIBLE) {
    return Window(parent, WS_CHILD | extra, 10, 10, 50, 30, id);
  }
  void Watch(std::vector<UINT> msgs) {
    gWatched = std::move(msgs);
    gEvents.clear();
  }
  HWND top_ = nullptr;
  std::vector<HWND> made_;
  int windowsBefore_ = 0;
};

// ---- Focus ---------------------------------------------------------------------------------

TEST_F(WindowManager, FocusMovesWithKillThenSetEachNamingTheOther) {
  HWND a = Child(top_, 1), b = Child(top_, 2);
  Watch({WM_SETFOCUS, WM_KILLFOCUS});
  EXPECT_EQ(SetFocus(a), top_);
  EXPECT_EQ(SetFocus(b), a);
  EXPECT_EQ(GetFocus(), b);
  EXPECT_EQ(SetFocus(b), b);  // already there: nothing is sent
  EXPECT_EQ(gEvents, (std::vector<Event>{{top_, WM_KILLFOCUS, W(a), 0},
                                         {a, WM_SETFOCUS, W(top_), 0},
                                         {a, WM_KILLFOCUS, W(b), 0},
                                         {b, WM_SETFOCUS, W(a), 0}}));
  // SetFocus(NULL) takes the focus away.
  gEvents.clear();
  EXPECT_EQ(SetFocus(nullptr), b);
  EXPECT_EQ(GetFocus(), nullptr);
  EXPECT_EQ(gEvents, (std::vector<Event>{{b, WM_KILLFOCUS, 0, 0}}));
}

TEST_F(WindowManager, FocusInAnotherWindowActivatesItFirst) {
  HWND child1 = Child(top_, 1);
  HWND top2 = Window(nullptr, WS_OVERLAPPEDWINDOW, 400, 60, 300, 200);
  HWND child2 = Child(top2, 2);
  SetFocus(child1);
  Watch({WM_ACTIVATE, WM_SETFOCUS, WM_KILLFOCUS});
  // The new window is activated, its default handling takes the focus, and then the
  // child gets it from there.
  EXPECT_EQ(SetFocus(child2), top2);
  EXPECT_EQ(GetActiveWindow(), top2);
  EXPECT_EQ(gEvents, (std::vector<Event>{{top_, WM_ACTIVATE, WA_INACTIVE, L(top2)},
                                         {top2, WM_ACTIVATE, WA_ACTIVE, L(top_)},
                                         {child1, WM_KILLFOCUS, W(top2), 0},
                                         {top2, WM_SETFOCUS, W(child1), 0},
                                         {top2, WM_KILLFOCUS, W(child2), 0},
                                         {child2, WM_SETFOCUS, W(top2), 0}}));
  // Hiding the active window takes the focus out of it.
  ShowWindow(top2, SW_SHOWNOACTIVATE);
  gEvents.clear();
  ShowWindow(top2, SW_HIDE);
  EXPECT_EQ(GetFocus(), nullptr);
  ASSERT_FALSE(gEvents.empty());
  EXPECT_EQ(gEvents.back(), (Event{child2, WM_KILLFOCUS, 0, 0}));
}

TEST_F(WindowManager, DisabledWindowsRefuseTheFocusAndHiddenOnesTakeIt) {
  HWND enabled = Child(top_, 1), disabled = Child(top_, 2, WS_VISIBLE | WS_DISABLED);
  HWND hidden = Child(top_, 3, 0);
  HWND inDisabled = Child(disabled, 4);
  SetFocus(enabled);
  Watch({WM_SETFOCUS, WM_KILLFOCUS});
  EXPECT_EQ(SetFocus(disabled), nullptr);
  EXPECT_EQ(SetFocus(inDisabled), nullptr);  // nor may a child of a disabled window
  EXPECT_EQ(GetFocus(), enabled);
  EXPECT_TRUE(gEvents.empty());
  EXPECT_EQ(SetFocus(hidden), enabled);
  EXPECT_EQ(GetFocus(), hidden);
}

TEST_F(WindowManager, DisablingHidingOrDestroyingTheFocusTakesItAway) {
  HWND a = Child(top_, 1);
  SetFocus(a);
  Watch({WM_SETFOCUS, WM_KILLFOCUS, WM_ENABLE, WM_SHOWWINDOW});
  EnableWindow(a, FALSE);
  EXPECT_EQ(GetFocus(), nullptr);
  EXPECT_EQ(gEvents, (std::vector<Event>{{a, WM_KILLFOCUS, 0, 0}, {a, WM_ENABLE, FALSE, 0}}));
  EXPECT_FALSE(IsWindowEnabled(a));
  EXPECT_TRUE(EnableWindow(a, TRUE));  // it was disabled
  EXPECT_FALSE(EnableWindow(a, TRUE));

  // A focused child that is hidden gives the focus back to its parent.
  SetFocus(a);
  gEvents.clear();
  ShowWindow(a, SW_HIDE);
  EXPECT_EQ(GetFocus(), top_);
  EXPECT_EQ(gEvents,
            (std::vector<Event>{
                {a, WM_SHOWWINDOW, FALSE, 0}, {a, WM_KILLFOCUS, W(top_), 0}, {top_, WM_SETFOCUS, W(a), 0}}));

  // So does a focused child that is destroyed while visible.
  HWND b = Child(top_, 2);
  SetFocus(b);
  gEvents.clear();
  ASSERT_TRUE(DestroyWindow(b));
  EXPECT_EQ(GetFocus(), top_);
  EXPECT_EQ(gEvents,
            (std::vector<Event>{
                {b, WM_SHOWWINDOW, FALSE, 0}, {b, WM_KILLFOCUS, W(top_), 0}, {top_, WM_SETFOCUS, W(b), 0}}));

  // The focus deeper inside is not handed on: hiding keeps it where it is, destroying
  // takes it away without a word.
  HWND c = Child(top_, 3), inner = Child(c, 4);
  SetFocus(inner);
  ShowWindow(c, SW_HIDE);
  EXPECT_EQ(GetFocus(), inner);
  ShowWindow(c, SW_SHOW);
  gEvents.clear();
  ASSERT_TRUE(DestroyWindow(c));
  EXPECT_EQ(GetFocus(), nullptr);
  EXPECT_EQ(gEvents, (std::vector<Event>{{c, WM_SHOWWINDOW, FALSE, 0}}));
  // SetWindowPos hides without moving the focus at all.
  HWND d = Child(top_, 5);
  SetFocus(d);
  SetWindowPos(d, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_HIDEWINDOW);
  EXPECT_FALSE(IsWindowVisible(d));
  EXPECT_EQ(GetFocus(), d);
  // Disabling a parent leaves the focus on its child.
  HWND e = Child(top_, 6), inE = Child(e, 7);
  SetFocus(inE);
  EnableWindow(e, FALSE);
  EXPECT_EQ(GetFocus(), inE);
}

// ---- Capture ---------------------------------------------------------------------------------

TEST_F(WindowManager, CaptureChangesAreAnnouncedToTheWindowThatLosesIt) {
  HWND a = Child(top_, 1), b = Child(top_, 2);
  Watch({WM_CAPTURECHANGED});
  EXPECT_EQ(SetCapture(a), nullptr);
  EXPECT_EQ(GetCapture(), a);
  EXPECT_EQ(SetCapture(b), a);
  EXPECT_TRUE(ReleaseCapture());
  EXPECT_EQ(GetCapture(), nullptr);
  EXPECT_TRUE(ReleaseCapture());  // nothing held: still fine, nothing sent
  SetCapture(a);
  SetCapture(a);  // taking it again is announced too
  EXPECT_EQ(gEvents, (std::vector<Event>{{a, WM_CAPTURECHANGED, 0, L(b)},
                                         {b, WM_CAPTURECHANGED, 0, 0},
                                         {a, WM_CAPTURECHANGED, 0, L(a)}}));
  // Disabling a window releases its capture; hiding does not.
  gEvents.clear();
  EnableWindow(a, FALSE);
  EXPECT_EQ(GetCapture(), nullptr);
  EXPECT_EQ(gEvents, (std::vector<Event>{{a, WM_CAPTURECHANGED, 0, 0}}));
  SetCapture(b);
  ShowWindow(b, SW_HIDE);
  EXPECT_EQ(GetCapture(), b);
  // A window that goes takes its capture with it, silently.
  gEvents.clear();
  DestroyWindow(b);
  EXPECT_EQ(GetCapture(), nullptr);
  EXPECT_TRUE(gEvents.empty());
}

// ---- Relations -----------------------------------------------------------------------------

BOOL CALLBACK Collect(HWND h, LPARAM lp) {
  reinterpret_cast<std::vector<HWND> *>(lp)->push_back(h);
  return TRUE;
}

TEST_F(WindowManager, ChildrenAreKeptInCreationOrderAndFoundById) {
  HWND a = Child(top_, 11), b = Child(top_, 12), c = Child(top_, 13);
  HWND aa = Child(a, 21), ab = Child(a, 22);
  EXPECT_EQ(GetWindow(top_, GW_CHILD), a);
  EXPECT_EQ(GetWindow(a, GW_HWNDNEXT), b);
  EXPECT_EQ(GetWindow(c, GW_HWNDNEXT), nullptr);
  EXPECT_EQ(GetWindow(c, GW_HWNDPREV), b);
  EXPECT_EQ(GetWindow(b, GW_HWNDFIRST), a);
  EXPECT_EQ(GetWindow(b, GW_HWNDLAST), c);
  EXPECT_EQ(GetWindow(aa, GW_OWNER), nullptr);
  EXPECT_EQ(GetTopWindow(a), aa);
  EXPECT_EQ(GetWindow(c, GW_CHILD), nullptr);

  EXPECT_TRUE(IsChild(top_, ab));
  EXPECT_TRUE(IsChild(a, ab));
  EXPECT_FALSE(IsChild(b, ab));
  EXPECT_FALSE(IsChild(ab, ab));

  // Each parent comes before its own children.
  std::vector<HWND> all;
  EnumChildWindows(top_, Collect, reinterpret_cast<LPARAM>(&all));
  EXPECT_EQ(all, (std::vector<HWND>{a, aa, ab, b, c}));

  EXPECT_EQ(GetDlgCtrlID(b), 12);
  EXPECT_EQ(GetDlgItem(top_, 13), c);
  EXPECT_EQ(GetDlgItem(top_, 21), nullptr);  // only direct children count
  EXPECT_EQ(SetWindowLongPtrA(c, GWLP_ID, 14), 13);
  EXPECT_EQ(GetDlgItem(top_, 14), c);

  // Z-order moves: to the top, to the bottom, behind a sibling.
  SetWindowPos(c, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  EXPECT_EQ(GetWindow(top_, GW_CHILD), c);
  SetWindowPos(c, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  EXPECT_EQ(GetWindow(b, GW_HWNDNEXT), c);
  SetWindowPos(c, a, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  all.clear();
  for (HWND h = GetWindow(top_, GW_CHILD); h; h = GetWindow(h, GW_HWNDNEXT)) all.push_back(h);
  EXPECT_EQ(all, (std::vector<HWND>{a, c, b}));
  // An owned window names its owner.
  HWND owned = Window(top_, WS_POPUP);
  EXPECT_EQ(GetWindow(owned, GW_OWNER), top_);
}

// ---- Placement and coordinates ---------------------------------------------------------------

TEST_F(WindowManager, AChildIsPlacedInItsParentsClientArea) {
  RECT frame{0, 0, 0, 0};
  ASSERT_TRUE(AdjustWindowRectEx(&frame, WS_OVERLAPPEDWINDOW, FALSE, 0));
  // The frame of a sizable captioned window, from the metrics.
  EXPECT_EQ(-frame.left, GetSystemMetrics(SM_CXFRAME));
  EXPECT_EQ(frame.right, GetSystemMetrics(SM_CXFRAME));
  EXPECT_EQ(-frame.top, GetSystemMetrics(SM_CYFRAME) + GetSystemMetrics(SM_CYCAPTION));
  RECT client;
  GetClientRect(top_, &client);
  EXPECT_EQ(client.right, 300 - (frame.right - frame.left));
  EXPECT_EQ(client.bottom, 200 - (frame.bottom - frame.top));

  HWND c = Window(top_, WS_CHILD | WS_VISIBLE, 10, 20, 40, 30);
  RECT r;
  GetWindowRect(c, &r);
  EXPECT_EQ(r.left, 50 - frame.left + 10);
  EXPECT_EQ(r.top, 60 - frame.top + 20);
  EXPECT_EQ(r.right - r.left, 40);
  POINT p{0, 0};
  ASSERT_TRUE(ClientToScreen(c, &p));
  EXPECT_EQ(p.x, r.left);
  EXPECT_EQ(p.y, r.top);
  ASSERT_TRUE(ScreenToClient(top_, &p));
  EXPECT_EQ(p.x, 10);
  EXPECT_EQ(p.y, 20);
  POINT pts[2] = {{0, 0}, {5, 5}};
  MapWindowPoints(c, top_, pts, 2);
  EXPECT_EQ(pts[0].x, 10);
  EXPECT_EQ(pts[1].y, 25);

  // A bordered child has a smaller client area; a client edge adds its own.
  HWND edged = CreateWindowExA(WS_EX_CLIENTEDGE, WatchClass(), "", WS_CHILD | WS_BORDER, 0, 0, 40, 30, top_,
                               nullptr, nullptr, nullptr);
  made_.push_back(edged);
  GetClientRect(edged, &r);
  int inset = GetSystemMetrics(SM_CXBORDER) + GetSystemMetrics(SM_CXEDGE);
  EXPECT_EQ(r.right, 40 - 2 * inset);
}

TEST_F(WindowManager, MovingAndSizingSendThePositionMessagesInWindowsOrder) {
  HWND c = Child(top_);
  Watch({WM_WINDOWPOSCHANGING, WM_WINDOWPOSCHANGED, WM_MOVE, WM_SIZE, WM_SHOWWINDOW});
  MoveWindow(c, 5, 6, 70, 40, TRUE);
  EXPECT_EQ(gEvents, (std::vector<Event>{{c, WM_WINDOWPOSCHANGING, 0, 0},
                                         {c, WM_WINDOWPOSCHANGED, 0, 0},
                                         {c, WM_MOVE, 0, MAKELPARAM(5, 6)},
                                         {c, WM_SIZE, SIZE_RESTORED, MAKELPARAM(70, 40)}}));
  // Only what changed is reported; nothing changed, nothing after the asking.
  gEvents.clear();
  SetWindowPos(c, nullptr, 8, 6, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  EXPECT_EQ(gEvents, (std::vector<Event>{{c, WM_WINDOWPOSCHANGING, 0, 0},
                                         {c, WM_WINDOWPOSCHANGED, 0, 0},
                                         {c, WM_MOVE, 0, MAKELPARAM(8, 6)}}));
  gEvents.clear();
  MoveWindow(c, 8, 6, 70, 40, TRUE);
  EXPECT_EQ(gEvents, (std::vector<Event>{{c, WM_WINDOWPOSCHANGING, 0, 0}}));
  // Showing and hiding tell the window, without a move or a size; inside a hidden
  // parent only the style changes, in a visible one the position messages come too.
  gEvents.clear();
  ShowWindow(c, SW_HIDE);
  ShowWindow(c, SW_HIDE);
  ShowWindow(c, SW_SHOW);
  EXPECT_EQ(gEvents, (std::vector<Event>{{c, WM_SHOWWINDOW, FALSE, 0}, {c, WM_SHOWWINDOW, TRUE, 0}}));
  EXPECT_TRUE(IsWindowVisible(c) == FALSE && (GetWindowLongA(c, GWL_STYLE) & WS_VISIBLE));
  ShowWindow(top_, SW_SHOWNOACTIVATE);
  EXPECT_TRUE(IsWindowVisible(c));
  gEvents.clear();
  ShowWindow(c, SW_HIDE);
  EXPECT_EQ(gEvents, (std::vector<Event>{{c, WM_SHOWWINDOW, FALSE, 0},
                                         {c, WM_WINDOWPOSCHANGING, 0, 0},
                                         {c, WM_WINDOWPOSCHANGED, 0, 0}}));
  ShowWindow(c, SW_SHOW);
  ShowWindow(top_, SW_HIDE);
  RECT r;
  GetWindowRect(c, &r);
  POINT p{r.left, r.top};
  ScreenToClient(top_, &p);
  EXPECT_EQ(p.x, 8);
  EXPECT_EQ(r.bottom - r.top, 40);
}

LRESULT CALLBACK ClampingProc(HWND h, UINT m, WPARAM wp, LPARAM lp) {
  if (m == WM_WINDOWPOSCHANGING) {
    auto *pos = reinterpret_cast<WINDOWPOS *>(lp);
    if (!(pos->flags & SWP_NOSIZE)) pos->cx = std::min(pos->cx, 100);
  }
  return DefWindowProcA(h, m, wp, lp);
}

TEST_F(WindowManager, WindowPosChangingMayAlterTheRequest) {
  HWND c = Window(top_, WS_CHILD);
  SetWindowLongPtrA(c, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ClampingProc));
  MoveWindow(c, 0, 0, 250, 20, FALSE);
  RECT r;
  GetWindowRect(c, &r);
  EXPECT_EQ(r.right - r.left, 100);
  EXPECT_EQ(r.bottom - r.top, 20);
  SetWindowLongPtrA(c, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(WatchProc));
}

// ---- Painting ----------------------------------------------------------------------------------

TEST_F(WindowManager, PaintComesAfterPostedMessagesAndBeforeTimersUntilValidated) {
  HWND c = Child(top_, 1, 0);
  ShowWindow(top_, SW_SHOWNOACTIVATE);
  ShowWindow(c, SW_SHOWNA);
  Drain();
  Watch({WM_PAINT, WM_TIMER, WM_USER + 1});
  SetTimer(c, 1, 10, nullptr);
  Sleep(30);
  InvalidateRect(c, nullptr, TRUE);
  PostMessageA(c, WM_USER + 1, 0, 0);
  MSG m;
  std::vector<UINT> order;
  for (int i = 0; i < 3 && PeekMessageA(&m, c, 0, 0, PM_REMOVE); ++i) {
    order.push_back(m.message);
    DispatchMessageA(&m);
  }
  KillTimer(c, 1);
  EXPECT_EQ(order, (std::vector<UINT>{WM_USER + 1, WM_PAINT, WM_TIMER}));
  RECT r;
  EXPECT_FALSE(GetUpdateRect(c, &r, FALSE));

  // A window that does not validate keeps getting WM_PAINT; PeekMessage alone does not
  // validate it.
  gValidateOnPaint = false;
  InvalidateRect(c, nullptr, FALSE);
  EXPECT_TRUE(PeekMessageA(&m, c, WM_PAINT, WM_PAINT, PM_REMOVE));
  EXPECT_TRUE(PeekMessageA(&m, c, WM_PAINT, WM_PAINT, PM_REMOVE));
  ValidateRect(c, nullptr);
  EXPECT_FALSE(PeekMessageA(&m, c, WM_PAINT, WM_PAINT, PM_REMOVE));
  ShowWindow(top_, SW_HIDE);
}

TEST_F(WindowManager, UpdateWindowPaintsAtOnceAndOnlyWhatIsInvalid) {
  HWND a = Child(top_, 1, 0), b = Child(top_, 2, 0);
  ShowWindow(top_, SW_SHOWNOACTIVATE);
  ShowWindow(a, SW_SHOWNA);
  ShowWindow(b, SW_SHOWNA);
  Drain();
  Watch({WM_PAINT});
  RECT part{2, 3, 12, 13};
  InvalidateRect(a, &part, FALSE);
  RECT r;
  ASSERT_TRUE(GetUpdateRect(a, &r, FALSE));
  EXPECT_TRUE(EqualRect(&r, &part));
  EXPECT_FALSE(GetUpdateRect(b, &r, FALSE));
  UpdateWindow(a);
  UpdateWindow(b);  // nothing to paint: nothing sent
  EXPECT_EQ(gEvents, (std::vector<Event>{{a, WM_PAINT, 0, 0}}));
  EXPECT_FALSE(GetUpdateRect(a, &r, FALSE));

  // RedrawWindow can reach the children and paint them now.
  gEvents.clear();
  RedrawWindow(top_, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  EXPECT_EQ(gEvents, (std::vector<Event>{{top_, WM_PAINT, 0, 0}, {a, WM_PAINT, 0, 0}, {b, WM_PAINT, 0, 0}}));
  ShowWindow(top_, SW_HIDE);
}

TEST_F(WindowManager, InvalidatingAParentReachesTheChildrenItDoesNotClip) {
  HWND clipping = Window(nullptr, WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0, 300, 200);
  HWND a = Child(top_, 1), b = Child(top_, 2), inClipping = Child(clipping, 3);
  SetWindowPos(b, nullptr, 100, 10, 50, 30, SWP_NOZORDER | SWP_NOACTIVATE);
  ShowWindow(top_, SW_SHOWNOACTIVATE);
  ShowWindow(clipping, SW_SHOWNOACTIVATE);
  RECT r;
  // Shown, parent and children all wait for paint.
  EXPECT_TRUE(GetUpdateRect(top_, &r, FALSE));
  EXPECT_TRUE(GetUpdateRect(a, &r, FALSE));
  Drain();
  EXPECT_FALSE(GetUpdateRect(a, &r, FALSE));
  InvalidateRect(top_, nullptr, FALSE);
  InvalidateRect(clipping, nullptr, FALSE);
  EXPECT_TRUE(GetUpdateRect(a, &r, FALSE));
  EXPECT_FALSE(GetUpdateRect(inClipping, &r, FALSE));
  Drain();
  // Only the children the rectangle touches.
  RECT left{0, 0, 30, 30};
  InvalidateRect(top_, &left, TRUE);
  EXPECT_TRUE(GetUpdateRect(a, &r, FALSE));
  EXPECT_FALSE(GetUpdateRect(b, &r, FALSE));
  Drain();
  // A child that grows paints itself; one that moves leaves its old place to the parent.
  MoveWindow(b, 100, 10, 70, 40, TRUE);
  EXPECT_TRUE(GetUpdateRect(b, &r, FALSE));
  EXPECT_FALSE(GetUpdateRect(top_, &r, FALSE));
  Drain();
  MoveWindow(b, 110, 10, 70, 40, TRUE);
  EXPECT_FALSE(GetUpdateRect(b, &r, FALSE));
  EXPECT_TRUE(GetUpdateRect(top_, &r, FALSE));
  Drain();
  ShowWindow(top_, SW_HIDE);
  ShowWindow(clipping, SW_HIDE);
}

TEST_F(WindowManager, HiddenWindowsAreNotPainted) {
  HWND c = Child(top_, 1, 0);
  Watch({WM_PAINT});
  InvalidateRect(c, nullptr, TRUE);
  UpdateWindow(c);
  Drain();
  EXPECT_TRUE(gEvents.empty());
}

// ---- Metrics and colours -----------------------------------------------------------------------

TEST_F(WindowManager, TheScreenTheWorkAreaAndTheDesktopAgree) {
  RECT desk, work;
  ASSERT_TRUE(GetWindowRect(GetDesktopWindow(), &desk));
  EXPECT_EQ(desk.right - desk.left, GetSystemMetrics(SM_CXSCREEN));
  EXPECT_EQ(desk.bottom - desk.top, GetSystemMetrics(SM_CYSCREEN));
  ASSERT_TRUE(SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0));
  EXPECT_GE(work.left, desk.left);
  EXPECT_LE(work.right, desk.right);
  EXPECT_LE(work.bottom, desk.bottom);
  EXPECT_GT(work.bottom - work.top, 0);
  // The metrics a dialog layout uses are all there.
  for (int m : {SM_CYCAPTION, SM_CXBORDER, SM_CYBORDER, SM_CXEDGE, SM_CYEDGE, SM_CXDLGFRAME, SM_CYDLGFRAME,
                SM_CXFRAME, SM_CXVSCROLL, SM_CXDOUBLECLK, SM_CXSMICON, SM_CXICON})
    EXPECT_GT(GetSystemMetrics(m), 0) << m;
  EXPECT_GT(GetSystemMetrics(SM_CXFRAME), GetSystemMetrics(SM_CXBORDER));
}

TEST_F(WindowManager, TheHostUsesTheClassicLook) {
  if (!testhooks::HostLayer()) GTEST_SKIP() << "the host's fixed values";
  EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 1024);
  EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), 768);
  EXPECT_EQ(GetSystemMetrics(SM_CYCAPTION), 19);
  EXPECT_EQ(GetSystemMetrics(SM_CXDLGFRAME), 3);
  EXPECT_EQ(GetSysColor(COLOR_WINDOW), 0xFFFFFFu);
  EXPECT_EQ(GetSysColor(COLOR_BTNFACE), 0xC8D0D4u);  // RGB(212, 208, 200)
  EXPECT_EQ(GetSysColor(COLOR_WINDOWTEXT), 0u);
  RECT work;
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  EXPECT_EQ(work.bottom, 738);
}

}  // namespace
