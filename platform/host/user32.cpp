// The host layer's user32: window classes and windows, the one thread's message queue,
// window timers, and the loop that sleeps in poll() until something is due. Windows'
// (and Wine's) rules are followed where the program can observe them: WM_TIMER is made
// only when no posted message waits and at most one per timer, WM_QUIT comes after the
// posted messages, destruction messages come in Wine's order.
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/host/console.h"
#include "platform/host/eventloop.h"
#include "platform/winapi.h"

namespace {

constexpr UINT kTimerMinimum = 10;  // USER_TIMER_MINIMUM
constexpr UINT kTimerMaximum = 0x7FFFFFFF;
constexpr long long kResumeThresholdMs = 2000;
constexpr DWORD kErrorTlwWithWsChild = 1406;
constexpr DWORD kErrorClassHasWindows = 1412;
constexpr DWORD kErrorInvalidThreadId = 1444;
constexpr DWORD kErrorControlIdNotFound = 1421;
const HWND kDesktop = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x10010));
// Flags Windows adds to WM_WINDOWPOSCHANGED when the client area kept its size or place.
constexpr UINT kNoClientSize = 0x0800;
constexpr UINT kNoClientMove = 0x1000;
#define SWP_NOCLIENTSIZE kNoClientSize
#define SWP_NOCLIENTMOVE kNoClientMove

struct WindowClass {
  std::string name;
  ATOM atom = 0;
  WNDCLASSA wc{};
  int windows = 0;  // live windows of the class; a class in use cannot be unregistered
};

struct Window {
  HWND handle = nullptr;
  WindowClass *cls = nullptr;
  WNDPROC proc = nullptr;
  DWORD style = 0, exStyle = 0;
  HWND parent = nullptr;  // children only
  HWND owner = nullptr;   // top-level windows only
  bool messageOnly = false;
  bool destroying = false;
  std::vector<HWND> children;  // in creation order
  std::string text;
  RECT rect{};  // relative to the parent's client area, or screen for top-level
  LONG_PTR userData = 0, id = 0;
  HINSTANCE instance = nullptr;
  std::vector<unsigned char> extra;
  WORD uiState = 0;
  bool invalid = false;  // has an update region, kept as its bounding rectangle
  bool erase = false;
  RECT update{};
};

struct Timer {
  HWND hwnd;
  UINT_PTR id;
  UINT elapse;
  TIMERPROC proc;
  long long due;  // CLOCK_MONOTONIC ms
};

struct FdWatch {
  short events;
  std::function<void(int, short)> callback;
};

struct State {
  std::map<std::string, std::unique_ptr<WindowClass>> classes;  // key: lower-case name
  std::map<HWND, std::unique_ptr<Window>> windows;
  uintptr_t nextHandle = 0x20000;
  std::map<std::string, ATOM> atoms;  // user atoms: class names and registered messages
  ATOM nextAtom = 0xC000;

  std::mutex queueLock;  // PostMessageA may come from another thread
  std::deque<MSG> posted;
  bool quitPending = false;
  int quitCode = 0;

  std::vector<Timer> timers;
  UINT_PTR nextThreadTimerId = 0x7FFF;

  std::map<int, FdWatch> fdWatches;
  int wakePipe[2] = {-1, -1};  // wakes poll() for cross-thread posts and signals
  std::thread::id loopThread = std::this_thread::get_id();

  HWND focus = nullptr, active = nullptr, foreground = nullptr, capture = nullptr;
  DWORD messageTime = 0;

  long long sleepBaseline = -1;  // CLOCK_BOOTTIME - CLOCK_MONOTONIC at the last look
  bool simulatedResume = false;
  bool justWoken = false;  // the last poll() was the one that slept: nothing since
  long long lastPollMs = -1;  // when a poll() last looked at the watched fds
};

State &S() {
  static State *s = nullptr;  // never destroyed: windows may die in static destructors
  if (!s) {
    s = new State;
    HostRegisterStandardControls();
  }
  return *s;
}

volatile sig_atomic_t gSessionSignal = 0;

long long ClockMs(clockid_t id) {
  timespec ts{};
  clock_gettime(id, &ts);
  return static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}
long long NowMs() { return ClockMs(CLOCK_MONOTONIC); }

std::string Lower(const char *s) {
  std::string r = s ? s : "";
  for (char &c : r)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return r;
}

bool IsAtomName(LPCSTR name) { return reinterpret_cast<uintptr_t>(name) < 0x10000; }

ATOM AddAtom(const char *name) {
  State &s = S();
  std::string key = Lower(name);
  auto it = s.atoms.find(key);
  if (it != s.atoms.end()) return it->second;
  if (s.nextAtom == 0) return 0;  // table full
  ATOM a = s.nextAtom++;
  s.atoms[key] = a;
  return a;
}

WindowClass *FindClass(LPCSTR name) {
  State &s = S();
  if (!name) return nullptr;
  if (IsAtomName(name)) {
    ATOM atom = static_cast<ATOM>(reinterpret_cast<uintptr_t>(name));
    for (auto &c : s.classes)
      if (c.second->atom == atom) return c.second.get();
    return nullptr;
  }
  auto it = s.classes.find(Lower(name));
  return it == s.classes.end() ? nullptr : it->second.get();
}

Window *Find(HWND h) {
  auto &w = S().windows;
  auto it = w.find(h);
  return it == w.end() ? nullptr : it->second.get();
}

Window *FindOrFail(HWND h) {
  Window *w = Find(h);
  if (!w) SetLastError(ERROR_INVALID_WINDOW_HANDLE);
  return w;
}

bool IsTopLevel(const Window &w) { return !(w.style & WS_CHILD) && !w.messageOnly && !w.parent; }

std::vector<HWND> TopLevelWindows() {
  std::vector<HWND> r;
  for (auto &w : S().windows)
    if (IsTopLevel(*w.second) && !w.second->destroying) r.push_back(w.first);
  return r;
}

// True when h is filter itself or one of its descendants.
bool WindowMatches(HWND h, HWND filter) {
  if (!filter) return true;
  if (filter == reinterpret_cast<HWND>(-1)) return h == nullptr;
  for (Window *w = Find(h); w; w = w->parent ? Find(w->parent) : nullptr)
    if (w->handle == filter) return true;
  return false;
}

bool RangeMatches(UINT msg, UINT lo, UINT hi) { return (lo == 0 && hi == 0) || (msg >= lo && msg <= hi); }

LRESULT Call(WNDPROC proc, HWND h, UINT msg, WPARAM wp, LPARAM lp) { return proc ? proc(h, msg, wp, lp) : 0; }

LRESULT Send(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  Window *w = Find(h);
  if (!w) return 0;
  return Call(w->proc, h, msg, wp, lp);
}

void EnsureWakePipe() {
  State &s = S();
  if (s.wakePipe[0] >= 0) return;
  if (pipe(s.wakePipe) != 0) return;
  for (int fd : s.wakePipe) {
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    fcntl(fd, F_SETFD, FD_CLOEXEC);
  }
}

void Wake() {
  int fd = S().wakePipe[1];
  if (fd >= 0) {
    char c = 1;
    ssize_t n = write(fd, &c, 1);
    (void)n;  // a full pipe already wakes the loop
  }
}

void SessionSignalHandler(int signo) {
  gSessionSignal = signo;
  int saved = errno;
  Wake();
  errno = saved;
}

void RemoveTimersOf(HWND h) {
  auto &t = S().timers;
  t.erase(std::remove_if(t.begin(), t.end(), [h](const Timer &x) { return x.hwnd == h; }), t.end());
}

void DropPostedFor(HWND h) {
  State &s = S();
  std::lock_guard<std::mutex> g(s.queueLock);
  s.posted.erase(std::remove_if(s.posted.begin(), s.posted.end(), [h](const MSG &m) { return m.hwnd == h; }),
                 s.posted.end());
}

void Unlink(Window &w) {
  if (w.parent) {
    if (Window *p = Find(w.parent)) {
      auto &c = p->children;
      c.erase(std::remove(c.begin(), c.end(), w.handle), c.end());
    }
  }
  w.parent = nullptr;
}

void SendDestroy(HWND h) {
  if (Window *w = Find(h)) w->destroying = true;
  Send(h, WM_DESTROY, 0, 0);
  Window *w = Find(h);
  if (!w) return;
  std::vector<HWND> kids = w->children;
  for (HWND k : kids)
    if (Find(k)) SendDestroy(k);
}

// Children go first, each sent WM_NCDESTROY before it is gone.
void FreeWindow(HWND h) {
  Window *w = Find(h);
  if (!w) return;
  std::vector<HWND> kids = w->children;
  for (HWND k : kids) FreeWindow(k);
  Send(h, WM_NCDESTROY, 0, 0);
  w = Find(h);
  if (!w) return;
  State &s = S();
  RemoveTimersOf(h);
  DropPostedFor(h);
  if (s.focus == h) s.focus = nullptr;
  if (s.capture == h) s.capture = nullptr;
  if (s.active == h) s.active = nullptr;
  if (s.foreground == h) s.foreground = nullptr;
  for (auto &o : s.windows)
    if (o.second->owner == h) o.second->owner = nullptr;
  Unlink(*w);
  w->cls->windows--;
  s.windows.erase(h);
}

HWND TopLevelOf(HWND h) {
  Window *w = Find(h);
  while (w && w->parent) w = Find(w->parent);
  return w ? w->handle : nullptr;
}

// The non-client frame of a window, as AdjustWindowRectEx adds it (plus scroll bars,
// which list boxes show only when needed and are left out for them).
RECT FrameOf(DWORD style, DWORD ex, bool menu) {
  int adjust = 0;
  if ((ex & (WS_EX_STATICEDGE | WS_EX_DLGMODALFRAME)) == WS_EX_STATICEDGE)
    adjust = 1;
  else if ((ex & WS_EX_DLGMODALFRAME) || (style & (WS_THICKFRAME | WS_DLGFRAME)))
    adjust = 2;
  if (style & WS_THICKFRAME) adjust += GetSystemMetrics(SM_CXFRAME) - GetSystemMetrics(SM_CXDLGFRAME);
  if ((style & (WS_BORDER | WS_DLGFRAME)) || (ex & WS_EX_DLGMODALFRAME)) adjust++;
  RECT f{adjust, adjust, adjust, adjust};
  if ((style & WS_CAPTION) == WS_CAPTION)
    f.top += GetSystemMetrics((ex & WS_EX_TOOLWINDOW) ? SM_CYSMCAPTION : SM_CYCAPTION);
  if (menu) f.top += GetSystemMetrics(SM_CYMENU);
  if (ex & WS_EX_CLIENTEDGE) {
    f.left += GetSystemMetrics(SM_CXEDGE);
    f.right += GetSystemMetrics(SM_CXEDGE);
    f.top += GetSystemMetrics(SM_CYEDGE);
    f.bottom += GetSystemMetrics(SM_CYEDGE);
  }
  return f;
}

bool IsListBoxClass(const Window &w) { return w.cls->name == "ListBox" || w.cls->name == "ComboLBox"; }

RECT FrameOf(const Window &w) {
  RECT f = FrameOf(w.style, w.exStyle, false);
  if (!IsListBoxClass(w)) {
    if (w.style & WS_VSCROLL) f.right += GetSystemMetrics(SM_CXVSCROLL);
    if (w.style & WS_HSCROLL) f.bottom += GetSystemMetrics(SM_CYHSCROLL);
  }
  // The client area never turns inside out.
  LONG width = w.rect.right - w.rect.left, height = w.rect.bottom - w.rect.top;
  if (f.left + f.right > width) f.right = std::max<LONG>(0, width - f.left);
  if (f.left > width) f.left = width;
  if (f.top + f.bottom > height) f.bottom = std::max<LONG>(0, height - f.top);
  if (f.top > height) f.top = height;
  return f;
}

// Screen position of the origin w's rect is measured from: its parent's client area.
void ScreenOrigin(const Window &w, LONG *x, LONG *y) {
  *x = 0;
  *y = 0;
  for (const Window *p = w.parent ? Find(w.parent) : nullptr; p; p = p->parent ? Find(p->parent) : nullptr) {
    RECT f = FrameOf(*p);
    *x += p->rect.left + f.left;
    *y += p->rect.top + f.top;
  }
}

// The client rectangle in the coordinates of the parent's client area.
RECT ClientInParent(const Window &w) {
  RECT f = FrameOf(w);
  return RECT{w.rect.left + f.left, w.rect.top + f.top, w.rect.right - f.right, w.rect.bottom - f.bottom};
}

bool Visible(HWND h) {
  Window *w = Find(h);
  if (!w) return false;
  for (; w; w = w->parent ? Find(w->parent) : nullptr)
    if (!(w->style & WS_VISIBLE)) return false;
  return true;
}

// ---- Update regions -----------------------------------------------------------------

bool RectEmpty(const RECT &r) { return r.right <= r.left || r.bottom <= r.top; }

RECT ClientRectOf(const Window &w) {
  RECT c = ClientInParent(w);
  return RECT{0, 0, c.right - c.left, c.bottom - c.top};
}

// Invalidating or validating a window reaches its children unless it clips them.
bool ChildrenIncluded(const Window &w, UINT flags) {
  if (flags & RDW_NOCHILDREN) return false;
  return (flags & RDW_ALLCHILDREN) || !(w.style & WS_CLIPCHILDREN);
}

// rect is in w's client coordinates; null means the whole client area.
void Invalidate(HWND h, const RECT *rect, UINT flags) {
  Window *w = Find(h);
  if (!w || !Visible(h)) return;
  RECT client = ClientRectOf(*w);
  RECT r = rect ? *rect : client;
  RECT clipped{std::max(r.left, client.left), std::max(r.top, client.top), std::min(r.right, client.right),
               std::min(r.bottom, client.bottom)};
  if (!RectEmpty(clipped)) {
    if (w->invalid)
      w->update = RECT{std::min(w->update.left, clipped.left), std::min(w->update.top, clipped.top),
                       std::max(w->update.right, clipped.right), std::max(w->update.bottom, clipped.bottom)};
    else
      w->update = clipped;
    w->invalid = true;
    if (flags & RDW_ERASE) w->erase = true;
  }
  if (!ChildrenIncluded(*w, flags)) return;
  std::vector<HWND> kids = w->children;
  for (HWND k : kids) {
    Window *c = Find(k);
    if (!c) continue;
    RECT kr = c->rect, kc = ClientInParent(*c);
    if (std::max(kr.left, r.left) >= std::min(kr.right, r.right) ||
        std::max(kr.top, r.top) >= std::min(kr.bottom, r.bottom))
      continue;
    RECT inKid{r.left - kc.left, r.top - kc.top, r.right - kc.left, r.bottom - kc.top};
    Invalidate(k, &inKid, flags | RDW_ALLCHILDREN);
  }
}

void Validate(HWND h, const RECT *rect, UINT flags) {
  Window *w = Find(h);
  if (!w) return;
  if (w->invalid) {
    const RECT &u = w->update;
    // Kept as a bounding rectangle: only a cut that spans one whole side shrinks it.
    if (!rect ||
        (rect->left <= u.left && rect->top <= u.top && rect->right >= u.right && rect->bottom >= u.bottom)) {
      w->invalid = w->erase = false;
      w->update = RECT{};
    } else if (rect->left <= u.left && rect->right >= u.right) {
      if (rect->top <= u.top && rect->bottom > u.top) w->update.top = rect->bottom;
      if (rect->bottom >= u.bottom && rect->top < u.bottom) w->update.bottom = rect->top;
    } else if (rect->top <= u.top && rect->bottom >= u.bottom) {
      if (rect->left <= u.left && rect->right > u.left) w->update.left = rect->right;
      if (rect->right >= u.right && rect->left < u.right) w->update.right = rect->left;
    }
    if (w->invalid && RectEmpty(w->update)) {
      w->invalid = w->erase = false;
      w->update = RECT{};
    }
  }
  if (!ChildrenIncluded(*w, flags)) return;
  std::vector<HWND> kids = w->children;
  for (HWND k : kids) Validate(k, nullptr, flags | RDW_ALLCHILDREN);
}

// Sends WM_PAINT to h (and per the flags its children) while it has an update region.
void PaintNow(HWND h, UINT flags) {
  Window *w = Find(h);
  if (!w || !Visible(h)) return;
  if (w->invalid) Send(h, WM_PAINT, 0, 0);
  if (!(w = Find(h)) || !ChildrenIncluded(*w, flags)) return;
  std::vector<HWND> kids = w->children;
  for (HWND k : kids) PaintNow(k, flags | RDW_ALLCHILDREN);
}

// The first visible window, parent before children, that waits for WM_PAINT.
HWND FindWindowToPaint(HWND h, HWND filter) {
  Window *w = Find(h);
  if (!w || !(w->style & WS_VISIBLE)) return nullptr;
  if (w->invalid && WindowMatches(h, filter)) return h;
  for (HWND k : w->children)
    if (HWND r = FindWindowToPaint(k, filter)) return r;
  return nullptr;
}

// ---- Placement ----------------------------------------------------------------------

// Moves h within its siblings' z-order (children only; top-level order is not kept).
void PlaceInZOrder(Window &w, HWND after) {
  Window *p = w.parent ? Find(w.parent) : nullptr;
  if (!p) return;
  auto &c = p->children;
  c.erase(std::remove(c.begin(), c.end(), w.handle), c.end());
  if (after == HWND_TOP || after == HWND_TOPMOST || after == HWND_NOTOPMOST) {
    c.insert(c.begin(), w.handle);
    return;
  }
  auto it = std::find(c.begin(), c.end(), after);
  if (after == HWND_BOTTOM || it == c.end())
    c.push_back(w.handle);
  else
    c.insert(it + 1, w.handle);
}

bool ZOrderUnchanged(const Window &w, HWND after) {
  Window *p = w.parent ? Find(w.parent) : nullptr;
  if (!p) return true;
  const auto &c = p->children;
  auto self = std::find(c.begin(), c.end(), w.handle);
  if (after == HWND_TOP) return self == c.begin();
  if (after == HWND_BOTTOM) return self + 1 == c.end();
  if (after == w.handle) return true;
  auto it = std::find(c.begin(), c.end(), after);
  return it != c.end() && it + 1 == self;
}

void SetVisibleFlag(HWND h, bool visible) {
  Window *w = Find(h);
  if (!w) return;
  if (visible) {
    w->style |= WS_VISIBLE;
    Invalidate(h, nullptr, RDW_ERASE | RDW_ALLCHILDREN);
  } else {
    w->style &= ~static_cast<DWORD>(WS_VISIBLE);
    Validate(h, nullptr, RDW_ALLCHILDREN);
  }
}

// Makes top the active window, as Windows does it: WM_NCACTIVATE and WM_ACTIVATE to
// the window that loses the activation, then to the one that gains it (whose
// DefWindowProc takes the focus). With no window left active the focus goes too.
void Activate(HWND top) {
  State &s = S();
  HWND old = s.active;
  if (old == top) return;
  s.active = top;
  if (old && Find(old)) {
    Send(old, WM_NCACTIVATE, FALSE, 0);
    if (Find(old)) Send(old, WM_ACTIVATE, WA_INACTIVE, reinterpret_cast<LPARAM>(top));
  }
  if (s.active != top) return;
  if (!top) {
    if (s.focus && (!old || WindowMatches(s.focus, old))) SetFocus(nullptr);
    return;
  }
  Window *w = Find(top);
  if (!w) return;
  bool minimized = (w->style & WS_MINIMIZE) != 0;
  Send(top, WM_NCACTIVATE, TRUE, 0);
  if (Find(top) && s.active == top)
    Send(top, WM_ACTIVATE, MAKEWPARAM(WA_ACTIVE, minimized ? 1 : 0), reinterpret_cast<LPARAM>(old));
}

bool CanBeActive(HWND h) {
  Window *w = Find(h);
  return w && IsTopLevel(*w) && !w->destroying;
}

// After ShowWindow hides a window: a child that held the focus itself hands it to its
// parent (a focused descendant keeps it, as in Wine); a hidden active top-level window
// is no longer active and the focus inside it is lost.
void FocusAfterHide(HWND h) {
  State &s = S();
  Window *w = Find(h);
  if (!w) return;
  if (w->style & WS_CHILD) {
    if (s.focus != h) return;
    SetFocus(w->parent);
    if (s.focus == h) SetFocus(nullptr);  // a parent that cannot take it
    return;
  }
  if (s.active != h) return;
  Activate(nullptr);
}

// SetWindowPos as Windows does it: WM_WINDOWPOSCHANGING (which may change the request),
// the change, then WM_WINDOWPOSCHANGED, from which DefWindowProc sends WM_MOVE and WM_SIZE.
bool PlaceWindow(HWND h, HWND after, int x, int y, int cx, int cy, UINT flags) {
  Window *w = Find(h);
  if (!w) return false;
  WINDOWPOS wp{h, after, x, y, cx, cy, flags};
  if (!(wp.flags & SWP_NOSENDCHANGING)) Send(h, WM_WINDOWPOSCHANGING, 0, reinterpret_cast<LPARAM>(&wp));
  if (!(w = Find(h))) return false;
  // Redundant parts of the request are dropped, as Windows does.
  if (w->style & WS_VISIBLE)
    wp.flags &= ~static_cast<UINT>(SWP_SHOWWINDOW);
  else
    wp.flags &= ~static_cast<UINT>(SWP_HIDEWINDOW);
  wp.cx = std::max(wp.cx, 0);
  wp.cy = std::max(wp.cy, 0);
  RECT old = w->rect, oldClient = ClientInParent(*w);
  if (w->rect.right - w->rect.left == wp.cx && w->rect.bottom - w->rect.top == wp.cy) wp.flags |= SWP_NOSIZE;
  if (w->rect.left == wp.x && w->rect.top == wp.y) wp.flags |= SWP_NOMOVE;
  if (!(wp.flags & SWP_NOZORDER) && ZOrderUnchanged(*w, wp.hwndInsertAfter)) wp.flags |= SWP_NOZORDER;

  if (!(wp.flags & SWP_NOMOVE)) {
    w->rect.right = wp.x + (w->rect.right - w->rect.left);
    w->rect.bottom = wp.y + (w->rect.bottom - w->rect.top);
    w->rect.left = wp.x;
    w->rect.top = wp.y;
  }
  if (!(wp.flags & SWP_NOSIZE)) {
    w->rect.right = w->rect.left + wp.cx;
    w->rect.bottom = w->rect.top + wp.cy;
  }
  if (!(wp.flags & SWP_NOZORDER)) PlaceInZOrder(*w, wp.hwndInsertAfter);
  RECT client = ClientInParent(*w);
  if (client.left == oldClient.left && client.top == oldClient.top) wp.flags |= SWP_NOCLIENTMOVE;
  if (client.right - client.left == oldClient.right - oldClient.left &&
      client.bottom - client.top == oldClient.bottom - oldClient.top)
    wp.flags |= SWP_NOCLIENTSIZE;
  if (wp.flags & SWP_HIDEWINDOW) {
    SetVisibleFlag(h, false);
    if (w->parent && Visible(w->parent)) Invalidate(w->parent, &w->rect, RDW_ERASE | RDW_NOCHILDREN);
  }
  if (wp.flags & SWP_SHOWWINDOW) SetVisibleFlag(h, true);
  // Redrawing as Windows does it: a window that grew paints itself, and what it uncovered
  // by moving or shrinking is the parent's to paint.
  if (!(wp.flags & (SWP_NOREDRAW | SWP_SHOWWINDOW | SWP_HIDEWINDOW)) && Visible(h)) {
    RECT now = w->rect;
    if (now.right - now.left > old.right - old.left || now.bottom - now.top > old.bottom - old.top)
      Invalidate(h, nullptr, RDW_ERASE);
    bool moved = now.left != old.left || now.top != old.top;
    bool shrank = now.right - now.left < old.right - old.left || now.bottom - now.top < old.bottom - old.top;
    if ((moved || shrank) && w->parent) Invalidate(w->parent, &old, RDW_ERASE | RDW_NOCHILDREN);
    if (!(w = Find(h))) return false;
  }

  const UINT noChange = SWP_NOSIZE | SWP_NOMOVE | SWP_NOCLIENTSIZE | SWP_NOCLIENTMOVE | SWP_NOZORDER;
  const UINT status = noChange | SWP_FRAMECHANGED | SWP_HIDEWINDOW | SWP_SHOWWINDOW;
  if ((wp.flags & status) != noChange) {
    wp.x = w->rect.left;
    wp.y = w->rect.top;
    wp.cx = w->rect.right - w->rect.left;
    wp.cy = w->rect.bottom - w->rect.top;
    Send(h, WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&wp));
  }
  return true;
}

bool ValidTimerProc(LPARAM lp) {
  for (const Timer &t : S().timers)
    if (reinterpret_cast<LPARAM>(t.proc) == lp) return true;
  return false;
}

// ---- The loop's outside events --------------------------------------------------------

void Broadcast(UINT msg, WPARAM wp, LPARAM lp) {
  for (HWND h : TopLevelWindows())
    if (Find(h)) Send(h, msg, wp, lp);
}

void CheckResume() {
  State &s = S();
  long long gap = ClockMs(CLOCK_BOOTTIME) - NowMs();
  bool resumed = s.simulatedResume;
  if (s.sleepBaseline >= 0 && gap - s.sleepBaseline > kResumeThresholdMs) resumed = true;
  s.sleepBaseline = gap;
  s.simulatedResume = false;
  if (!resumed) return;
  Broadcast(WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0);
  Broadcast(WM_POWERBROADCAST, PBT_APMRESUMESUSPEND, 0);
}

void CheckSessionEnd() {
  if (!gSessionSignal) return;
  gSessionSignal = 0;
  Broadcast(WM_QUERYENDSESSION, 0, 0);
  Broadcast(WM_ENDSESSION, TRUE, 0);
  // The session is over whatever the windows answered: let the loop end.
  PostQuitMessage(0);
}

void DrainWakePipe() {
  char buf[64];
  while (S().wakePipe[0] >= 0 && read(S().wakePipe[0], buf, sizeof buf) > 0) {
  }
}

// One poll() over the watched fds and the wake pipe, then their callbacks.
void PollOnce(int timeoutMs) {
  State &s = S();
  EnsureWakePipe();
  std::vector<pollfd> fds;
  fds.push_back(pollfd{s.wakePipe[0], POLLIN, 0});
  for (auto &f : s.fdWatches)
    if (f.second.events) fds.push_back(pollfd{f.first, f.second.events, 0});
  int n = poll(fds.data(), fds.size(), timeoutMs);
  s.lastPollMs = NowMs();
  if (n > 0) {
    if (fds[0].revents) DrainWakePipe();
    for (size_t i = 1; i < fds.size(); ++i) {
      if (!fds[i].revents) continue;
      // The watch may have been dropped or replaced by an earlier callback.
      auto it = s.fdWatches.find(fds[i].fd);
      if (it == s.fdWatches.end() || !it->second.events) continue;
      auto cb = it->second.callback;
      if (cb) cb(fds[i].fd, fds[i].revents);
    }
  }
  CheckResume();
  CheckSessionEnd();
}

// The message Windows would return now, if any.
bool Retrieve(LPMSG out, HWND filter, UINT lo, UINT hi, bool remove) {
  State &s = S();
  long long now = NowMs();
  {
    std::lock_guard<std::mutex> g(s.queueLock);
    for (auto it = s.posted.begin(); it != s.posted.end(); ++it) {
      if (!WindowMatches(it->hwnd, filter) || !RangeMatches(it->message, lo, hi)) continue;
      *out = *it;
      if (remove) s.posted.erase(it);
      s.messageTime = out->time;
      return true;
    }
    if (s.quitPending) {
      *out = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(s.quitCode), 0, GetTickCount(), {0, 0}};
      if (remove) s.quitPending = false;
      return true;
    }
  }
  // WM_PAINT comes when no posted message waits, before any timer.
  if (RangeMatches(WM_PAINT, lo, hi)) {
    for (HWND top : TopLevelWindows()) {
      HWND h = FindWindowToPaint(top, filter);
      if (!h) continue;
      *out = MSG{h, WM_PAINT, 0, 0, GetTickCount(), {0, 0}};
      GetCursorPos(&out->pt);
      s.messageTime = out->time;
      return true;
    }
  }
  if (!RangeMatches(WM_TIMER, lo, hi)) return false;
  // The timer most overdue goes first.
  Timer *best = nullptr;
  for (Timer &t : s.timers)
    if (t.due <= now && WindowMatches(t.hwnd, filter) && (!best || t.due < best->due)) best = &t;
  if (!best) return false;
  *out = MSG{best->hwnd, WM_TIMER, best->id, reinterpret_cast<LPARAM>(best->proc), GetTickCount(), {0, 0}};
  GetCursorPos(&out->pt);
  s.messageTime = out->time;
  // Re-armed from its own schedule, skipping periods that passed unseen.
  if (remove)
    while (best->due <= now) best->due += best->elapse;
  return true;
}

int NextTimeout(HWND filter, UINT lo, UINT hi) {
  if (!RangeMatches(WM_TIMER, lo, hi)) return -1;
  long long now = NowMs(), next = -1;
  for (const Timer &t : S().timers)
    if (WindowMatches(t.hwnd, filter) && (next < 0 || t.due < next)) next = t.due;
  if (next < 0) return -1;
  return static_cast<int>(std::max<long long>(0, std::min<long long>(next - now, 0x7FFFFFFF)));
}

bool Pump(LPMSG msg, HWND filter, UINT lo, UINT hi, bool remove, bool wait) {
  State &s = S();
  // Sockets get a look before a waiting message, so a busy queue cannot starve them:
  // at least once a millisecond, which spares the messages one poll() produced (a
  // socket's answer among them) a system call each on their way. With nothing waiting,
  // a peek looks unless the poll() that just woke the loop has, and a wait's one poll()
  // below both looks and sleeps.
  const bool justPolled = s.justWoken;
  s.justWoken = false;
  MSG peek;
  const bool recent = NowMs() - s.lastPollMs < 1;
  const bool look = wait ? !recent && Retrieve(&peek, filter, lo, hi, false)
                         : !justPolled && !(recent && Retrieve(&peek, filter, lo, hi, false));
  if (look) PollOnce(0);
  for (;;) {
    if (Retrieve(msg, filter, lo, hi, remove)) return true;
    if (!wait) return false;
    PollOnce(NextTimeout(filter, lo, hi));
    s.justWoken = true;
  }
}

}  // namespace

// ---- Classes ------------------------------------------------------------------------

ATOM WINAPI RegisterClassA(const WNDCLASSA *wc) {
  if (!wc || !wc->lpszClassName || IsAtomName(wc->lpszClassName) || !*wc->lpszClassName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  State &s = S();
  std::string key = Lower(wc->lpszClassName);
  if (s.classes.count(key)) {
    SetLastError(ERROR_CLASS_ALREADY_EXISTS);
    return 0;
  }
  auto c = std::make_unique<WindowClass>();
  c->name = wc->lpszClassName;
  c->wc = *wc;
  c->wc.lpszClassName = nullptr;  // the caller's string may not outlive the class
  c->wc.lpszMenuName = nullptr;
  c->atom = AddAtom(wc->lpszClassName);
  ATOM atom = c->atom;
  s.classes[key] = std::move(c);
  return atom;
}

BOOL WINAPI UnregisterClassA(LPCSTR className, HINSTANCE) {
  WindowClass *c = FindClass(className);
  if (!c) {
    SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
    return FALSE;
  }
  if (c->windows > 0) {
    SetLastError(kErrorClassHasWindows);
    return FALSE;
  }
  S().classes.erase(Lower(c->name.c_str()));
  return TRUE;
}

BOOL WINAPI GetClassInfoA(HINSTANCE, LPCSTR className, LPWNDCLASSA wc) {
  WindowClass *c = FindClass(className);
  if (!c) {
    SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
    return FALSE;
  }
  if (wc) {
    *wc = c->wc;
    wc->lpszClassName = c->name.c_str();
  }
  return TRUE;
}

int WINAPI GetClassNameA(HWND hwnd, LPSTR buffer, int maxCount) {
  Window *w = FindOrFail(hwnd);
  if (!w || !buffer || maxCount <= 0) return 0;
  int n = std::min<int>(static_cast<int>(w->cls->name.size()), maxCount - 1);
  memcpy(buffer, w->cls->name.data(), n);
  buffer[n] = 0;
  return n;
}

// ---- Windows ----------------------------------------------------------------------

HWND WINAPI CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y,
                            int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                            LPVOID param) {
  State &s = S();
  WindowClass *cls = FindClass(className);
  if (!cls) {
    SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
    return nullptr;
  }
  bool messageOnly = parent == HWND_MESSAGE;
  if (messageOnly) parent = nullptr;
  if (parent && !Find(parent)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  if ((style & WS_CHILD) && !parent && !messageOnly) {
    SetLastError(kErrorTlwWithWsChild);
    return nullptr;
  }
  if (x == CW_USEDEFAULT) x = y = 0;
  if (width == CW_USEDEFAULT) width = height = (style & (WS_CHILD | WS_POPUP)) ? 0 : 640;

  auto w = std::make_unique<Window>();
  HWND h = reinterpret_cast<HWND>(s.nextHandle);
  s.nextHandle += 4;
  w->handle = h;
  w->cls = cls;
  w->proc = cls->wc.lpfnWndProc;
  w->style = style & ~static_cast<DWORD>(WS_VISIBLE);
  w->exStyle = exStyle;
  // Windows' corrections: top-level windows clip siblings, overlapped ones get a caption,
  // and the window edge follows the frame.
  if ((w->style & (WS_CHILD | WS_POPUP)) != WS_CHILD) {
    w->style |= WS_CLIPSIBLINGS;
    if (!(w->style & WS_POPUP)) w->style |= WS_CAPTION;
  }
  if (w->exStyle & WS_EX_DLGMODALFRAME)
    w->exStyle |= WS_EX_WINDOWEDGE;
  else if (w->style & (WS_DLGFRAME | WS_THICKFRAME)) {
    if (!((w->exStyle & WS_EX_STATICEDGE) && (w->style & (WS_CHILD | WS_POPUP))))
      w->exStyle |= WS_EX_WINDOWEDGE;
  } else {
    w->exStyle &= ~static_cast<DWORD>(WS_EX_WINDOWEDGE);
  }
  w->messageOnly = messageOnly;
  if (style & WS_CHILD) {
    w->parent = parent;
    w->id = reinterpret_cast<LONG_PTR>(menu);
  } else if (parent) {
    w->owner = TopLevelOf(parent);
  }
  w->rect = RECT{x, y, x + std::max(width, 0), y + std::max(height, 0)};
  w->instance = instance;
  w->extra.assign(cls->wc.cbWndExtra > 0 ? cls->wc.cbWndExtra : 0, 0);
  cls->windows++;
  if (w->parent) Find(parent)->children.push_back(h);
  s.windows[h] = std::move(w);

  CREATESTRUCTA cs{param,      instance,  menu,   parent, height, width, y, x, static_cast<LONG>(style),
                   windowName, className, exStyle};
  LPARAM lp = reinterpret_cast<LPARAM>(&cs);
  if (!Send(h, WM_NCCREATE, 0, lp)) {
    FreeWindow(h);
    return nullptr;
  }
  if (!Find(h)) return nullptr;
  if (Send(h, WM_CREATE, 0, lp) == -1) {
    if (Window *dead = Find(h)) {
      dead->destroying = true;
      SendDestroy(h);
      FreeWindow(h);
    }
    return nullptr;
  }
  Window *made = Find(h);
  if (!made) return nullptr;
  RECT r = ClientInParent(*made);
  Send(h, WM_SIZE, SIZE_RESTORED, MAKELPARAM(r.right - r.left, r.bottom - r.top));
  Send(h, WM_MOVE, 0, MAKELPARAM(r.left, r.top));
  if ((style & WS_VISIBLE) && Find(h)) ShowWindow(h, SW_SHOW);
  return Find(h) ? h : nullptr;
}

BOOL WINAPI DestroyWindow(HWND hwnd) {
  Window *w = FindOrFail(hwnd);
  if (!w || w->destroying) return FALSE;
  w->destroying = true;
  // Owned windows go before their owner, as on Windows.
  if (IsTopLevel(*w) || w->messageOnly) {
    std::vector<HWND> owned;
    for (auto &o : S().windows)
      if (o.second->owner == hwnd && !o.second->destroying) owned.push_back(o.first);
    for (HWND o : owned)
      if (Find(o)) DestroyWindow(o);
  }
  // A visible window is hidden first: a child by ShowWindow (so a child that has the
  // focus gives it to its parent), a top-level window by SetWindowPos (and if it was
  // active, the focus in it is lost).
  if (w->style & WS_VISIBLE) {
    if (w->style & WS_CHILD) {
      ShowWindow(hwnd, SW_HIDE);
    } else {
      PlaceWindow(hwnd, nullptr, 0, 0, 0, 0,
                  SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_HIDEWINDOW);
      FocusAfterHide(hwnd);
    }
    if (!Find(hwnd)) return TRUE;
  }
  State &s = S();
  if (s.active == hwnd) Activate(nullptr);
  // The capture goes with the window, without a WM_CAPTURECHANGED (as in Wine).
  if (s.capture && WindowMatches(s.capture, hwnd)) s.capture = nullptr;
  SendDestroy(hwnd);
  // What was focused inside a window that is gone has no focus left to lose.
  if (s.focus && WindowMatches(s.focus, hwnd)) s.focus = nullptr;
  FreeWindow(hwnd);
  return TRUE;
}

BOOL WINAPI IsWindow(HWND hwnd) { return hwnd == kDesktop || Find(hwnd) ? TRUE : FALSE; }

BOOL WINAPI IsWindowVisible(HWND hwnd) {
  for (Window *w = Find(hwnd); w; w = w->parent ? Find(w->parent) : nullptr)
    if (!(w->style & WS_VISIBLE)) return FALSE;
  return Find(hwnd) ? TRUE : FALSE;
}

BOOL WINAPI IsWindowEnabled(HWND hwnd) {
  Window *w = Find(hwnd);
  return w && !(w->style & WS_DISABLED) ? TRUE : FALSE;
}

BOOL WINAPI EnableWindow(HWND hwnd, BOOL enable) {
  Window *w = FindOrFail(hwnd);
  if (!w) return FALSE;
  bool wasDisabled = (w->style & WS_DISABLED) != 0;
  if (wasDisabled == !enable) return wasDisabled;
  if (enable) {
    w->style &= ~static_cast<DWORD>(WS_DISABLED);
  } else {
    Send(hwnd, WM_CANCELMODE, 0, 0);
    if (!(w = Find(hwnd))) return wasDisabled;
    w->style |= WS_DISABLED;
    // A disabled window can hold neither the focus nor the mouse (its children keep the
    // focus, as on Windows).
    if (S().focus == hwnd) SetFocus(nullptr);
    if (S().capture && WindowMatches(S().capture, hwnd)) ReleaseCapture();
  }
  if (Find(hwnd)) Send(hwnd, WM_ENABLE, enable ? TRUE : FALSE, 0);
  return wasDisabled;
}

BOOL WINAPI ShowWindow(HWND hwnd, int cmdShow) {
  Window *w = FindOrFail(hwnd);
  if (!w) return FALSE;
  BOOL was = (w->style & WS_VISIBLE) ? TRUE : FALSE;
  bool show = cmdShow != SW_HIDE;
  if (show != static_cast<bool>(was)) {
    Send(hwnd, WM_SHOWWINDOW, show ? TRUE : FALSE, 0);
    if (!(w = Find(hwnd))) return was;
    if ((w->style & WS_CHILD) && !Visible(w->parent)) {
      // Inside a hidden parent only the style changes, as Windows does it.
      SetVisibleFlag(hwnd, show);
    } else {
      UINT swp =
          SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | (show ? SWP_SHOWWINDOW : SWP_HIDEWINDOW);
      PlaceWindow(hwnd, HWND_TOP, w->rect.left, w->rect.top, w->rect.right - w->rect.left,
                  w->rect.bottom - w->rect.top, swp);
    }
    if (!show) FocusAfterHide(hwnd);
    if (!Find(hwnd)) return was;
  }
  if (show && cmdShow != SW_SHOWNOACTIVATE && cmdShow != SW_SHOWNA && cmdShow != SW_SHOWMINNOACTIVE &&
      cmdShow != SW_MINIMIZE && CanBeActive(hwnd))
    Activate(hwnd);
  return was;
}

BOOL WINAPI UpdateWindow(HWND hwnd) {
  return RedrawWindow(hwnd, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
}

BOOL WINAPI InvalidateRect(HWND hwnd, const RECT *rect, BOOL erase) {
  return RedrawWindow(hwnd, rect, nullptr, RDW_INVALIDATE | (erase ? RDW_ERASE : 0));
}

HWND WINAPI GetParent(HWND hwnd) {
  Window *w = FindOrFail(hwnd);
  if (!w) return nullptr;
  if (w->style & WS_CHILD) return w->parent;
  return (w->style & WS_POPUP) ? w->owner : nullptr;
}

HWND WINAPI SetParent(HWND child, HWND newParent) {
  Window *w = FindOrFail(child);
  if (!w) return nullptr;
  bool toMessage = newParent == HWND_MESSAGE;
  if (toMessage || newParent == kDesktop) newParent = nullptr;
  if (newParent) {
    // A window cannot become a descendant of itself.
    if (!Find(newParent) || WindowMatches(newParent, child)) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return nullptr;
    }
  }
  HWND old = w->parent ? w->parent : kDesktop;
  Unlink(*w);
  w->parent = newParent;
  w->messageOnly = toMessage;
  if (newParent) {
    auto &kids = Find(newParent)->children;
    kids.insert(kids.begin(), child);
  }
  return old;
}

HWND WINAPI GetDesktopWindow() { return kDesktop; }

HWND WINAPI SetFocus(HWND hwnd) {
  State &s = S();
  HWND old = s.focus;
  if (hwnd) {
    Window *w = FindOrFail(hwnd);
    if (!w) return nullptr;
    for (Window *a = w; a; a = a->parent ? Find(a->parent) : nullptr)
      if (a->style & WS_DISABLED) return nullptr;
  }
  if (hwnd == old) return old;
  if (hwnd) {
    // The window's top-level window becomes active first; its WM_ACTIVATE may move
    // the focus, and a window no longer active gets none.
    HWND top = TopLevelOf(hwnd);
    if (CanBeActive(top) && s.active != top) {
      Activate(top);
      if (!Find(hwnd) || s.active != top) return nullptr;
      if (s.focus == hwnd) return hwnd;
    }
    old = s.focus;
  }
  s.focus = hwnd;
  if (old && Find(old)) Send(old, WM_KILLFOCUS, reinterpret_cast<WPARAM>(hwnd), 0);
  if (hwnd && Find(hwnd) && s.focus == hwnd) Send(hwnd, WM_SETFOCUS, reinterpret_cast<WPARAM>(old), 0);
  return old;
}

HWND WINAPI GetFocus() { return S().focus; }
HWND WINAPI GetActiveWindow() { return S().active; }

HWND WINAPI SetActiveWindow(HWND hwnd) {
  if (hwnd && !FindOrFail(hwnd)) return nullptr;
  HWND old = S().active;
  HWND top = hwnd ? TopLevelOf(hwnd) : nullptr;
  if (top && !CanBeActive(top)) return old;  // a child: nothing changes
  Activate(top);
  return old;
}

BOOL WINAPI SetForegroundWindow(HWND hwnd) {
  if (!FindOrFail(hwnd)) return FALSE;
  HWND top = TopLevelOf(hwnd);
  S().foreground = top;
  if (CanBeActive(top)) Activate(top);
  return TRUE;
}

HWND WINAPI GetForegroundWindow() { return S().foreground; }

BOOL WINAPI SetWindowTextA(HWND hwnd, LPCSTR text) {
  if (!FindOrFail(hwnd)) return FALSE;
  return Send(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)) ? TRUE : FALSE;
}

int WINAPI GetWindowTextA(HWND hwnd, LPSTR buffer, int maxCount) {
  if (!buffer || maxCount <= 0) return 0;
  buffer[0] = 0;
  if (!FindOrFail(hwnd)) return 0;
  return static_cast<int>(Send(hwnd, WM_GETTEXT, maxCount, reinterpret_cast<LPARAM>(buffer)));
}

int WINAPI GetWindowTextLengthA(HWND hwnd) {
  if (!FindOrFail(hwnd)) return 0;
  return static_cast<int>(Send(hwnd, WM_GETTEXTLENGTH, 0, 0));
}

BOOL WINAPI MoveWindow(HWND hwnd, int x, int y, int width, int height, BOOL repaint) {
  if (!FindOrFail(hwnd)) return FALSE;
  return PlaceWindow(hwnd, nullptr, x, y, width, height,
                     SWP_NOZORDER | SWP_NOACTIVATE | (repaint ? 0 : SWP_NOREDRAW))
             ? TRUE
             : FALSE;
}

BOOL WINAPI SetWindowPos(HWND hwnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags) {
  if (!FindOrFail(hwnd)) return FALSE;
  if (insertAfter == hwnd) flags |= SWP_NOZORDER;
  if (!(flags & SWP_NOZORDER) && insertAfter != HWND_TOP && insertAfter != HWND_BOTTOM &&
      insertAfter != HWND_TOPMOST && insertAfter != HWND_NOTOPMOST && !Find(insertAfter)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  return PlaceWindow(hwnd, insertAfter, x, y, cx, cy, flags) ? TRUE : FALSE;
}

BOOL WINAPI GetWindowRect(HWND hwnd, LPRECT rect) {
  if (hwnd == kDesktop) {
    if (!rect) return FALSE;
    *rect = RECT{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    return TRUE;
  }
  Window *w = FindOrFail(hwnd);
  if (!w || !rect) return FALSE;
  LONG ox, oy;
  ScreenOrigin(*w, &ox, &oy);
  *rect = RECT{w->rect.left + ox, w->rect.top + oy, w->rect.right + ox, w->rect.bottom + oy};
  return TRUE;
}

BOOL WINAPI GetClientRect(HWND hwnd, LPRECT rect) {
  if (hwnd == kDesktop) return GetWindowRect(hwnd, rect);
  Window *w = FindOrFail(hwnd);
  if (!w || !rect) return FALSE;
  *rect = ClientRectOf(*w);
  return TRUE;
}

LONG_PTR WINAPI GetWindowLongPtrA(HWND hwnd, int index) {
  Window *w = FindOrFail(hwnd);
  if (!w) return 0;
  switch (index) {
    case GWL_STYLE:
      return static_cast<LONG>(w->style);
    case GWL_EXSTYLE:
      return static_cast<LONG>(w->exStyle);
    case GWLP_WNDPROC:
      return reinterpret_cast<LONG_PTR>(w->proc);
    case GWLP_HINSTANCE:
      return reinterpret_cast<LONG_PTR>(w->instance);
    case GWLP_HWNDPARENT:
      return reinterpret_cast<LONG_PTR>(w->parent ? w->parent : w->owner);
    case GWLP_USERDATA:
      return w->userData;
    case GWLP_ID:
      return w->id;
  }
  if (index >= 0 && static_cast<size_t>(index) + sizeof(LONG_PTR) <= w->extra.size()) {
    LONG_PTR v;
    memcpy(&v, &w->extra[index], sizeof v);
    return v;
  }
  SetLastError(ERROR_INVALID_INDEX);
  return 0;
}

LONG_PTR WINAPI SetWindowLongPtrA(HWND hwnd, int index, LONG_PTR value) {
  Window *w = FindOrFail(hwnd);
  if (!w) return 0;
  LONG_PTR old;
  switch (index) {
    case GWL_STYLE:
      old = static_cast<LONG>(w->style);
      w->style = static_cast<DWORD>(value);
      return old;
    case GWL_EXSTYLE:
      old = static_cast<LONG>(w->exStyle);
      w->exStyle = static_cast<DWORD>(value);
      return old;
    case GWLP_WNDPROC:
      old = reinterpret_cast<LONG_PTR>(w->proc);
      w->proc = reinterpret_cast<WNDPROC>(value);
      return old;
    case GWLP_HINSTANCE:
      old = reinterpret_cast<LONG_PTR>(w->instance);
      w->instance = reinterpret_cast<HINSTANCE>(value);
      return old;
    case GWLP_HWNDPARENT:
      // Sets the owner of a top-level window, as on Windows.
      old = reinterpret_cast<LONG_PTR>(w->owner);
      if (!(w->style & WS_CHILD)) w->owner = reinterpret_cast<HWND>(value);
      return old;
    case GWLP_USERDATA:
      old = w->userData;
      w->userData = value;
      return old;
    case GWLP_ID:
      old = w->id;
      w->id = value;
      return old;
  }
  if (index >= 0 && static_cast<size_t>(index) + sizeof(LONG_PTR) <= w->extra.size()) {
    memcpy(&old, &w->extra[index], sizeof old);
    memcpy(&w->extra[index], &value, sizeof value);
    return old;
  }
  SetLastError(ERROR_INVALID_INDEX);
  return 0;
}

namespace {
// Win64 offers pointer-sized fields only through the ...Ptr functions.
bool PointerIndex(int index) {
  return sizeof(LONG_PTR) > sizeof(LONG) &&
         (index == GWLP_WNDPROC || index == GWLP_HINSTANCE || index == GWLP_HWNDPARENT);
}
}  // namespace

LONG WINAPI GetWindowLongA(HWND hwnd, int index) {
  if (PointerIndex(index)) {
    SetLastError(ERROR_INVALID_INDEX);
    return 0;
  }
  Window *w = Find(hwnd);
  if (w && index >= 0) {
    if (static_cast<size_t>(index) + sizeof(LONG) > w->extra.size()) {
      SetLastError(ERROR_INVALID_INDEX);
      return 0;
    }
    LONG v;
    memcpy(&v, &w->extra[index], sizeof v);
    return v;
  }
  return static_cast<LONG>(GetWindowLongPtrA(hwnd, index));
}

LONG WINAPI SetWindowLongA(HWND hwnd, int index, LONG value) {
  if (PointerIndex(index)) {
    SetLastError(ERROR_INVALID_INDEX);
    return 0;
  }
  Window *w = Find(hwnd);
  if (w && index >= 0) {
    if (static_cast<size_t>(index) + sizeof(LONG) > w->extra.size()) {
      SetLastError(ERROR_INVALID_INDEX);
      return 0;
    }
    LONG old;
    memcpy(&old, &w->extra[index], sizeof old);
    memcpy(&w->extra[index], &value, sizeof value);
    return old;
  }
  return static_cast<LONG>(SetWindowLongPtrA(hwnd, index, value));
}

HWND WINAPI FindWindowA(LPCSTR className, LPCSTR windowName) {
  WindowClass *cls = nullptr;
  if (className) {
    cls = FindClass(className);
    if (!cls) return nullptr;
  }
  std::string name = windowName ? Lower(windowName) : "";
  for (auto &e : S().windows) {
    const Window &w = *e.second;
    if (!IsTopLevel(w) || (cls && w.cls != cls)) continue;
    if (windowName && Lower(w.text.c_str()) != name) continue;
    return e.first;
  }
  return nullptr;
}

LRESULT WINAPI CallWindowProcA(WNDPROC proc, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return Call(proc, hwnd, msg, wParam, lParam);
}

LRESULT WINAPI DefWindowProcA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  Window *w = Find(hwnd);
  if (!w) return 0;
  switch (msg) {
    case WM_NCCREATE: {
      auto *cs = reinterpret_cast<const CREATESTRUCTA *>(lParam);
      if (cs && cs->lpszName && !IsAtomName(cs->lpszName)) w->text = cs->lpszName;
      return TRUE;
    }
    case WM_SETTEXT:
      w->text = lParam ? reinterpret_cast<const char *>(lParam) : "";
      return TRUE;
    case WM_GETTEXT: {
      if (wParam == 0 || !lParam) return 0;
      size_t n = std::min(w->text.size(), static_cast<size_t>(wParam) - 1);
      // A short buffer gets whole characters only: half of a double-byte one would
      // turn into another character (or none) for the reader.
      if (n < w->text.size()) {
        size_t i = 0;
        while (i < n) {
          size_t len = IsDBCSLeadByte(static_cast<BYTE>(w->text[i])) && i + 1 < w->text.size() ? 2 : 1;
          if (i + len > n) break;
          i += len;
        }
        n = i;
      }
      char *out = reinterpret_cast<char *>(lParam);
      memcpy(out, w->text.data(), n);
      out[n] = 0;
      return static_cast<LRESULT>(n);
    }
    case WM_GETTEXTLENGTH:
      return static_cast<LRESULT>(w->text.size());
    case WM_CLOSE:
      DestroyWindow(hwnd);
      return 0;
    case WM_QUERYENDSESSION:
      return TRUE;
    case WM_ERASEBKGND:
      return 1;
    case WM_MOUSEACTIVATE:
      return 1;  // MA_ACTIVATE
    case WM_CHANGEUISTATE:
      if (w->parent) return Send(w->parent, msg, wParam, lParam);
      return Send(hwnd, WM_UPDATEUISTATE, wParam, lParam);
    case WM_UPDATEUISTATE: {
      WORD flags = HIWORD(wParam) & (UISF_HIDEFOCUS | UISF_HIDEACCEL);
      switch (LOWORD(wParam)) {
        case UIS_SET:
          w->uiState |= flags;
          break;
        case UIS_CLEAR:
          w->uiState &= ~flags;
          break;
        case UIS_INITIALIZE:
          w->uiState = flags;
          break;
        default:
          return 0;
      }
      std::vector<HWND> kids = w->children;
      for (HWND k : kids) Send(k, msg, wParam, lParam);
      return 0;
    }
    case WM_QUERYUISTATE:
      return w->uiState;
    case WM_PAINT:
      // What BeginPaint/EndPaint would do: the window is painted, so it is valid.
      HostValidateWindow(hwnd);
      return 0;
    case WM_WINDOWPOSCHANGED: {
      auto *wp = reinterpret_cast<const WINDOWPOS *>(lParam);
      RECT c = ClientInParent(*w);
      if (!wp || !(wp->flags & SWP_NOCLIENTMOVE)) Send(hwnd, WM_MOVE, 0, MAKELPARAM(c.left, c.top));
      if (!wp || !(wp->flags & SWP_NOCLIENTSIZE))
        Send(hwnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(c.right - c.left, c.bottom - c.top));
      return 0;
    }
    case WM_NCHITTEST:
      return HTCLIENT;
    case WM_NCACTIVATE:
      return TRUE;
    case WM_ACTIVATE:
      // An activated window takes the focus, unless minimised.
      if (LOWORD(wParam) != WA_INACTIVE && !(w->style & WS_MINIMIZE)) SetFocus(hwnd);
      return 0;
    case WM_CANCELMODE:
      if (S().capture == hwnd) ReleaseCapture();
      return 0;
    case WM_CONTEXTMENU:
    case WM_MOUSEWHEEL:
      // Unhandled, they go up to the parent, as on Windows.
      if ((w->style & WS_CHILD) && w->parent) return Send(w->parent, msg, wParam, lParam);
      return 0;
  }
  return 0;
}

// ---- Messages ----------------------------------------------------------------------

LRESULT WINAPI SendMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (hwnd == HWND_BROADCAST) {
    Broadcast(msg, wParam, lParam);
    return 1;
  }
  if (!FindOrFail(hwnd)) return 0;
  return Send(hwnd, msg, wParam, lParam);
}

BOOL WINAPI PostMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  State &s = S();
  if (hwnd == HWND_BROADCAST) {
    for (HWND h : TopLevelWindows()) PostMessageA(h, msg, wParam, lParam);
    return TRUE;
  }
  if (hwnd && !FindOrFail(hwnd)) return FALSE;
  {
    std::lock_guard<std::mutex> g(s.queueLock);
    s.posted.push_back(MSG{hwnd, msg, wParam, lParam, GetTickCount(), {0, 0}});
  }
  if (std::this_thread::get_id() != s.loopThread) Wake();
  return TRUE;
}

BOOL WINAPI PostThreadMessageA(DWORD threadId, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (threadId != GetCurrentThreadId()) {
    SetLastError(kErrorInvalidThreadId);
    return FALSE;
  }
  return PostMessageA(nullptr, msg, wParam, lParam);
}

void WINAPI PostQuitMessage(int exitCode) {
  State &s = S();
  std::lock_guard<std::mutex> g(s.queueLock);
  s.quitPending = true;
  s.quitCode = exitCode;
}

BOOL WINAPI GetMessageA(LPMSG msg, HWND hwnd, UINT filterMin, UINT filterMax) {
  if (!msg) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return -1;
  }
  if (hwnd && hwnd != reinterpret_cast<HWND>(-1) && !FindOrFail(hwnd)) return -1;
  Pump(msg, hwnd, filterMin, filterMax, true, true);
  return msg->message == WM_QUIT ? FALSE : TRUE;
}

BOOL WINAPI PeekMessageA(LPMSG msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT removeMsg) {
  if (!msg) return FALSE;
  if (hwnd && hwnd != reinterpret_cast<HWND>(-1) && !FindOrFail(hwnd)) return FALSE;
  return Pump(msg, hwnd, filterMin, filterMax, (removeMsg & PM_REMOVE) != 0, false) ? TRUE : FALSE;
}

BOOL WINAPI TranslateMessage(const MSG *msg) {
  if (!msg || (msg->message != WM_KEYDOWN && msg->message != WM_SYSKEYDOWN)) return FALSE;
  WPARAM vk = msg->wParam;
  int ch = 0;
  bool shift = testhooks::internal::FakeKeyDown(VK_SHIFT);
  if (vk >= 'A' && vk <= 'Z')
    ch = shift ? static_cast<int>(vk) : static_cast<int>(vk - 'A' + 'a');
  else if ((vk >= '0' && vk <= '9') || vk == VK_SPACE || vk == VK_RETURN || vk == VK_BACK || vk == VK_TAB ||
           vk == VK_ESCAPE)
    ch = static_cast<int>(vk);
  if (!ch) return FALSE;
  PostMessageA(msg->hwnd, msg->message == WM_KEYDOWN ? WM_CHAR : WM_SYSCHAR, ch, msg->lParam);
  return TRUE;
}

LRESULT WINAPI DispatchMessageA(const MSG *msg) {
  if (!msg) return 0;
  if (msg->message == WM_TIMER && msg->lParam) {
    // Only a callback some timer was given is called, as on Windows.
    if (!ValidTimerProc(msg->lParam)) return 0;
    reinterpret_cast<TIMERPROC>(msg->lParam)(msg->hwnd, WM_TIMER, msg->wParam, GetTickCount());
    return 0;
  }
  if (!msg->hwnd) return 0;
  if (!FindOrFail(msg->hwnd)) return 0;
  return Send(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

BOOL WINAPI WaitMessage() {
  MSG m;
  Pump(&m, nullptr, 0, 0, false, true);
  return TRUE;
}

DWORD WINAPI GetMessageTime() { return S().messageTime; }

UINT WINAPI RegisterWindowMessageA(LPCSTR name) {
  if (!name || IsAtomName(name) || !*name) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  return AddAtom(name);
}

BOOL WINAPI InSendMessage() { return FALSE; }

// ---- Timers ------------------------------------------------------------------------

UINT_PTR WINAPI SetTimer(HWND hwnd, UINT_PTR id, UINT elapse, TIMERPROC proc) {
  State &s = S();
  if (hwnd && !FindOrFail(hwnd)) return 0;
  elapse = std::min(std::max(elapse, kTimerMinimum), kTimerMaximum);
  auto existing = [&](UINT_PTR tid) {
    return std::find_if(s.timers.begin(), s.timers.end(),
                        [&](const Timer &t) { return t.hwnd == hwnd && t.id == tid; });
  };
  if (!hwnd && (id == 0 || existing(id) == s.timers.end())) {
    // Thread timers get fresh ids from the top of the range down, as Wine hands them out.
    do {
      id = s.nextThreadTimerId;
      if (--s.nextThreadTimerId <= 0x100) s.nextThreadTimerId = 0x7FFF;
    } while (existing(id) != s.timers.end());
  }
  Timer t{hwnd, id, elapse, proc, NowMs() + elapse};
  auto it = existing(id);
  if (it != s.timers.end())
    *it = t;
  else
    s.timers.push_back(t);
  return id;
}

BOOL WINAPI KillTimer(HWND hwnd, UINT_PTR id) {
  auto &t = S().timers;
  auto it = std::find_if(t.begin(), t.end(), [&](const Timer &x) { return x.hwnd == hwnd && x.id == id; });
  if (it == t.end()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  t.erase(it);
  return TRUE;
}

UINT WINAPI GetDoubleClickTime() {
  unsigned fake = testhooks::internal::FakeDoubleClickTime();
  return fake ? fake : 500;
}

// ---- Input and message boxes --------------------------------------------------------

BOOL WINAPI GetCursorPos(LPPOINT point) {
  if (!point) return FALSE;
  int x = 0, y = 0;
  testhooks::internal::FakeCursorPos(&x, &y);
  point->x = x;
  point->y = y;
  return TRUE;
}

SHORT WINAPI GetAsyncKeyState(int key) {
  return testhooks::internal::FakeKeyDown(key) ? static_cast<SHORT>(0x8000) : 0;
}

SHORT WINAPI GetKeyState(int key) {
  return testhooks::internal::FakeKeyDown(key) ? static_cast<SHORT>(0x8000) : 0;
}

BOOL WINAPI MessageBeep(UINT) {
  testhooks::internal::RecordMessageBeep();  // nothing to sound; tests count the calls
  return TRUE;
}

int WINAPI MessageBoxA(HWND, LPCSTR text, LPCSTR caption, UINT type) {
  testhooks::MessageBoxCall call{text ? text : "", caption ? caption : "Error", type};
  int answer = 0;
  if (testhooks::internal::CaptureMessageBox(call, &answer)) return answer;
  const UINT icon = type & MB_ICONMASK;
  const int level = icon == MB_ICONERROR     ? HostLevelError
                    : icon == MB_ICONWARNING ? HostLevelWarning
                                             : HostLevelInfo;
  HostReportLine(level, "[" + HostCp932ToUtf8(call.caption) + "] " + HostCp932ToUtf8(call.text));
  return testhooks::DefaultMessageBoxButton(type);
}

// ---- Loop hooks and leak counts -------------------------------------------------------

void HostWatchFd(int fd, short events, std::function<void(int, short)> callback) {
  S().fdWatches[fd] = FdWatch{events, std::move(callback)};
}

void HostUnwatchFd(int fd) { S().fdWatches.erase(fd); }

void HostInstallSessionSignals() {
  EnsureWakePipe();
  struct sigaction sa {};
  sa.sa_handler = SessionSignalHandler;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  for (int sig : {SIGTERM, SIGINT, SIGHUP}) sigaction(sig, &sa, nullptr);
}

void HostSimulateResume() { S().simulatedResume = true; }

namespace testhooks {
int LiveWindowCount() { return static_cast<int>(S().windows.size()); }
int LiveTimerCount() { return static_cast<int>(S().timers.size()); }
bool HostLayer() { return true; }
bool SimulateResume() {
  HostSimulateResume();
  return true;
}
bool SimulateSessionEnd() {
  HostInstallSessionSignals();
  raise(SIGTERM);
  return true;
}
}  // namespace testhooks

// ---- Window relations ------------------------------------------------------------------

namespace {
const std::vector<HWND> *SiblingsOf(const Window &w, std::vector<HWND> *topLevel) {
  if (w.parent) {
    Window *p = Find(w.parent);
    return p ? &p->children : nullptr;
  }
  *topLevel = TopLevelWindows();
  return topLevel;
}
}  // namespace

HWND WINAPI GetWindow(HWND hwnd, UINT cmd) {
  if (hwnd == kDesktop) {
    if (cmd != GW_CHILD) return nullptr;
    std::vector<HWND> top = TopLevelWindows();
    return top.empty() ? nullptr : top.front();
  }
  Window *w = FindOrFail(hwnd);
  if (!w) return nullptr;
  switch (cmd) {
    case GW_CHILD:
      return w->children.empty() ? nullptr : w->children.front();
    case GW_OWNER:
      return (w->style & WS_CHILD) ? nullptr : w->owner;
    case GW_HWNDFIRST:
    case GW_HWNDLAST:
    case GW_HWNDNEXT:
    case GW_HWNDPREV: {
      std::vector<HWND> top;
      const std::vector<HWND> *sib = SiblingsOf(*w, &top);
      if (!sib || sib->empty()) return nullptr;
      if (cmd == GW_HWNDFIRST) return sib->front();
      if (cmd == GW_HWNDLAST) return sib->back();
      auto it = std::find(sib->begin(), sib->end(), hwnd);
      if (it == sib->end()) return nullptr;
      if (cmd == GW_HWNDNEXT) return it + 1 == sib->end() ? nullptr : *(it + 1);
      return it == sib->begin() ? nullptr : *(it - 1);
    }
  }
  SetLastError(ERROR_INVALID_PARAMETER);
  return nullptr;
}

HWND WINAPI GetTopWindow(HWND hwnd) { return GetWindow(hwnd ? hwnd : kDesktop, GW_CHILD); }

BOOL WINAPI IsChild(HWND parent, HWND hwnd) {
  for (Window *w = Find(hwnd); w && (w->style & WS_CHILD) && w->parent; w = Find(w->parent))
    if (w->parent == parent) return TRUE;
  return FALSE;
}

namespace {
// Each window's children are listed before it is reported, so a callback that
// creates or destroys windows does not disturb the walk (Wine does the same).
bool EnumLevel(const std::vector<HWND> &list, WNDENUMPROC proc, LPARAM lParam) {
  for (HWND h : list) {
    Window *w = Find(h);
    if (!w) continue;
    std::vector<HWND> kids = w->children;
    if (!proc(h, lParam)) return false;
    if (!EnumLevel(kids, proc, lParam)) return false;
  }
  return true;
}
}  // namespace

BOOL WINAPI EnumChildWindows(HWND parent, WNDENUMPROC proc, LPARAM lParam) {
  if (!proc) return FALSE;
  if (!parent || parent == kDesktop) return EnumLevel(TopLevelWindows(), proc, lParam) ? TRUE : FALSE;
  Window *w = FindOrFail(parent);
  if (!w) return FALSE;
  std::vector<HWND> kids = w->children;
  return EnumLevel(kids, proc, lParam) ? TRUE : FALSE;
}

BOOL WINAPI EnumWindows(WNDENUMPROC proc, LPARAM lParam) {
  if (!proc) return FALSE;
  for (HWND h : TopLevelWindows())
    if (Find(h) && !proc(h, lParam)) return FALSE;
  return TRUE;
}

BOOL WINAPI EnumThreadWindows(DWORD threadId, WNDENUMPROC proc, LPARAM lParam) {
  if (threadId != GetCurrentThreadId()) return FALSE;
  return EnumWindows(proc, lParam);
}

int WINAPI GetDlgCtrlID(HWND hwnd) {
  Window *w = FindOrFail(hwnd);
  return w ? static_cast<int>(w->id) : 0;
}

HWND WINAPI GetDlgItem(HWND dialog, int id) {
  Window *w = FindOrFail(dialog);
  if (!w) return nullptr;
  for (HWND k : w->children)
    if (Window *c = Find(k))
      if (static_cast<int>(c->id) == id) return k;
  SetLastError(kErrorControlIdNotFound);
  return nullptr;
}

// ---- Capture ---------------------------------------------------------------------------

HWND WINAPI SetCapture(HWND hwnd) {
  State &s = S();
  HWND old = s.capture;
  if (hwnd && !FindOrFail(hwnd)) return nullptr;
  s.capture = hwnd;
  // Told even when it takes the capture again itself.
  if (old && Find(old)) Send(old, WM_CAPTURECHANGED, 0, reinterpret_cast<LPARAM>(hwnd));
  return old;
}

BOOL WINAPI ReleaseCapture() {
  State &s = S();
  HWND old = s.capture;
  s.capture = nullptr;
  if (old && Find(old)) Send(old, WM_CAPTURECHANGED, 0, 0);
  return TRUE;
}

HWND WINAPI GetCapture() { return S().capture; }

// ---- Coordinates -----------------------------------------------------------------------

namespace {
bool ClientOrigin(HWND hwnd, LONG *x, LONG *y) {
  *x = *y = 0;
  if (!hwnd || hwnd == kDesktop) return true;
  Window *w = FindOrFail(hwnd);
  if (!w) return false;
  ScreenOrigin(*w, x, y);
  RECT c = ClientInParent(*w);
  *x += c.left;
  *y += c.top;
  return true;
}
}  // namespace

BOOL WINAPI ClientToScreen(HWND hwnd, LPPOINT point) {
  LONG x, y;
  if (!point || !ClientOrigin(hwnd, &x, &y)) return FALSE;
  point->x += x;
  point->y += y;
  return TRUE;
}

BOOL WINAPI ScreenToClient(HWND hwnd, LPPOINT point) {
  LONG x, y;
  if (!point || !ClientOrigin(hwnd, &x, &y)) return FALSE;
  point->x -= x;
  point->y -= y;
  return TRUE;
}

int WINAPI MapWindowPoints(HWND from, HWND to, LPPOINT points, UINT count) {
  LONG fx, fy, tx, ty;
  SetLastError(0);
  if (!ClientOrigin(from, &fx, &fy) || !ClientOrigin(to, &tx, &ty)) return 0;
  LONG dx = fx - tx, dy = fy - ty;
  for (UINT i = 0; points && i < count; ++i) {
    points[i].x += dx;
    points[i].y += dy;
  }
  return MAKELONG(static_cast<WORD>(static_cast<SHORT>(dx)), static_cast<WORD>(static_cast<SHORT>(dy)));
}

BOOL WINAPI AdjustWindowRectEx(LPRECT rect, DWORD style, BOOL menu, DWORD exStyle) {
  if (!rect) return FALSE;
  RECT f = FrameOf(style, exStyle, menu != FALSE);
  rect->left -= f.left;
  rect->top -= f.top;
  rect->right += f.right;
  rect->bottom += f.bottom;
  return TRUE;
}

BOOL WINAPI AdjustWindowRect(LPRECT rect, DWORD style, BOOL menu) {
  return AdjustWindowRectEx(rect, style, menu, 0);
}

// ---- Rectangles ------------------------------------------------------------------------

BOOL WINAPI SetRect(LPRECT rect, int left, int top, int right, int bottom) {
  if (!rect) return FALSE;
  *rect = RECT{left, top, right, bottom};
  return TRUE;
}
BOOL WINAPI SetRectEmpty(LPRECT rect) { return SetRect(rect, 0, 0, 0, 0); }
BOOL WINAPI IsRectEmpty(const RECT *rect) { return !rect || RectEmpty(*rect); }
BOOL WINAPI PtInRect(const RECT *rect, POINT pt) {
  return rect && pt.x >= rect->left && pt.x < rect->right && pt.y >= rect->top && pt.y < rect->bottom;
}
BOOL WINAPI OffsetRect(LPRECT rect, int dx, int dy) {
  if (!rect) return FALSE;
  rect->left += dx;
  rect->right += dx;
  rect->top += dy;
  rect->bottom += dy;
  return TRUE;
}
BOOL WINAPI InflateRect(LPRECT rect, int dx, int dy) {
  if (!rect) return FALSE;
  rect->left -= dx;
  rect->right += dx;
  rect->top -= dy;
  rect->bottom += dy;
  return TRUE;
}
BOOL WINAPI IntersectRect(LPRECT dest, const RECT *a, const RECT *b) {
  if (!dest || !a || !b) return FALSE;
  RECT r{std::max(a->left, b->left), std::max(a->top, b->top), std::min(a->right, b->right),
         std::min(a->bottom, b->bottom)};
  if (RectEmpty(*a) || RectEmpty(*b) || RectEmpty(r)) {
    *dest = RECT{};
    return FALSE;
  }
  *dest = r;
  return TRUE;
}
BOOL WINAPI UnionRect(LPRECT dest, const RECT *a, const RECT *b) {
  if (!dest || !a || !b) return FALSE;
  if (RectEmpty(*a)) {
    *dest = RectEmpty(*b) ? RECT{} : *b;
  } else if (RectEmpty(*b)) {
    *dest = *a;
  } else {
    *dest = RECT{std::min(a->left, b->left), std::min(a->top, b->top), std::max(a->right, b->right),
                 std::max(a->bottom, b->bottom)};
  }
  return !RectEmpty(*dest);
}
BOOL WINAPI EqualRect(const RECT *a, const RECT *b) {
  return a && b && a->left == b->left && a->top == b->top && a->right == b->right && a->bottom == b->bottom;
}
BOOL WINAPI CopyRect(LPRECT dest, const RECT *src) {
  if (!dest || !src) return FALSE;
  *dest = *src;
  return TRUE;
}

// ---- System metrics, parameters, colours ---------------------------------------------

namespace {
constexpr int kScreenWidth = 1024, kScreenHeight = 768, kTaskBarHeight = 30;
}

int WINAPI GetSystemMetrics(int index) {
  switch (index) {
    case SM_CXSCREEN:
    case SM_CXVIRTUALSCREEN:
    case SM_CXFULLSCREEN:
      return kScreenWidth;
    case SM_CYSCREEN:
    case SM_CYVIRTUALSCREEN:
      return kScreenHeight;
    case SM_CYFULLSCREEN:
      return kScreenHeight - kTaskBarHeight - 19;
    case SM_CXVSCROLL:
    case SM_CYHSCROLL:
    case SM_CYVSCROLL:
    case SM_CXHSCROLL:
    case SM_CYVTHUMB:
    case SM_CXHTHUMB:
      return 16;
    case SM_CYCAPTION:
    case SM_CYMENU:
      return 19;
    case SM_CYSMCAPTION:
      return 15;
    case SM_CXBORDER:
    case SM_CYBORDER:
    case SM_CXFOCUSBORDER:
    case SM_CYFOCUSBORDER:
    case SM_MOUSEPRESENT:
    case SM_DBCSENABLED:
    case SM_CMONITORS:
      return 1;
    case SM_CXDLGFRAME:
    case SM_CYDLGFRAME:
      return 3;
    case SM_CXFRAME:
    case SM_CYFRAME:
      return 4;
    case SM_CXEDGE:
    case SM_CYEDGE:
      return 2;
    case SM_CXICON:
    case SM_CYICON:
    case SM_CXCURSOR:
    case SM_CYCURSOR:
      return 32;
    case SM_CXSMICON:
    case SM_CYSMICON:
      return 16;
    case SM_CXSIZE:
    case SM_CYSIZE:
      return 18;
    case SM_CXMIN:
    case SM_CXMINTRACK:
      return 112;
    case SM_CYMIN:
    case SM_CYMINTRACK:
      return 27;
    case SM_CXDOUBLECLK:
    case SM_CYDOUBLECLK:
      return 4;
    case SM_CXMENUCHECK:
    case SM_CYMENUCHECK:
      return 13;
    case SM_CMOUSEBUTTONS:
      return 3;
  }
  return 0;
}

BOOL WINAPI SystemParametersInfoA(UINT action, UINT, PVOID data, UINT) {
  if (action == SPI_GETWORKAREA && data) {
    *static_cast<RECT *>(data) = RECT{0, 0, kScreenWidth, kScreenHeight - kTaskBarHeight};
    return TRUE;
  }
  SetLastError(ERROR_INVALID_PARAMETER);
  return FALSE;
}

DWORD WINAPI GetSysColor(int index) {
  // The classic "Windows Standard" scheme, as RGB(r, g, b) values.
  static const DWORD kColors[] = {
      0xC8D0D4, 0xA56E3A, 0x6A240A, 0x808080, 0xC8D0D4, 0xFFFFFF, 0x000000, 0x000000,
      0x000000, 0xFFFFFF, 0xC8D0D4, 0xC8D0D4, 0x808080, 0x6A240A, 0xFFFFFF, 0xC8D0D4,
      0x808080, 0x808080, 0x000000, 0xC8D0D4, 0xFFFFFF, 0x404040, 0xC8D0D4, 0x000000,
      0xE1FFFF, 0xB5B5B5, 0x800000, 0xF0CAA6, 0xC0C0C0, 0x6A240A, 0xC8D0D4,
  };
  if (index < 0 || index >= static_cast<int>(sizeof kColors / sizeof kColors[0])) return 0;
  return kColors[index];
}

// ---- Painting ----------------------------------------------------------------------------

BOOL WINAPI RedrawWindow(HWND hwnd, const RECT *rect, HRGN, UINT flags) {
  if (!hwnd) hwnd = kDesktop;
  if (hwnd == kDesktop) {
    for (HWND h : TopLevelWindows()) RedrawWindow(h, nullptr, nullptr, flags | RDW_ALLCHILDREN);
    return TRUE;
  }
  if (!FindOrFail(hwnd)) return FALSE;
  if (flags & RDW_INVALIDATE)
    Invalidate(hwnd, rect, flags);
  else if (flags & RDW_VALIDATE)
    Validate(hwnd, rect, flags);
  if (flags & RDW_UPDATENOW) PaintNow(hwnd, flags);
  return TRUE;
}

BOOL WINAPI ValidateRect(HWND hwnd, const RECT *rect) {
  return RedrawWindow(hwnd, rect, nullptr, RDW_VALIDATE);
}

BOOL WINAPI GetUpdateRect(HWND hwnd, LPRECT rect, BOOL erase) {
  Window *w = FindOrFail(hwnd);
  if (!w) return FALSE;
  bool invalid = w->invalid;
  if (rect) *rect = invalid ? w->update : RECT{};
  // Nothing is drawn, so the erase Windows would do here only uses up the erase flag.
  if (invalid && erase) w->erase = false;
  return invalid ? TRUE : FALSE;
}

void HostValidateWindow(HWND hwnd) {
  if (Window *w = Find(hwnd)) {
    w->invalid = w->erase = false;
    w->update = RECT{};
  }
}
