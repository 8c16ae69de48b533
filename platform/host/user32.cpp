// The host layer's user32: window classes and windows, the one thread's message queue,
// window timers, and the loop that sleeps in poll() until something is due. Windows'
// (and Wine's) rules are followed where the program can observe them: WM_TIMER is made
// only when no posted message waits and at most one per timer, WM_QUIT comes after the
// posted messages, destruction messages come in Wine's order.
#include <errno.h>
#include <fcntl.h>
#include <iconv.h>
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

#include "platform/host/eventloop.h"
#include "platform/winapi.h"

namespace {

constexpr UINT kTimerMinimum = 10;  // USER_TIMER_MINIMUM
constexpr UINT kTimerMaximum = 0x7FFFFFFF;
constexpr long long kResumeThresholdMs = 2000;
constexpr DWORD kErrorTlwWithWsChild = 1406;
constexpr DWORD kErrorClassHasWindows = 1412;
constexpr DWORD kErrorInvalidThreadId = 1444;
const HWND kDesktop = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x10010));

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

  HWND focus = nullptr, active = nullptr, foreground = nullptr;
  DWORD messageTime = 0;

  long long sleepBaseline = -1;  // CLOCK_BOOTTIME - CLOCK_MONOTONIC at the last look
  bool simulatedResume = false;
};

State &S() {
  static State *s = new State;  // never destroyed: windows may die in static destructors
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

void ScreenOrigin(const Window &w, LONG *x, LONG *y) {
  *x = 0;
  *y = 0;
  for (const Window *p = w.parent ? Find(w.parent) : nullptr; p; p = p->parent ? Find(p->parent) : nullptr) {
    *x += p->rect.left;
    *y += p->rect.top;
  }
}

void ApplyBounds(HWND h, int x, int y, int cx, int cy, bool move, bool size) {
  Window *w = Find(h);
  if (!w) return;
  RECT old = w->rect;
  if (move) {
    w->rect.right = x + (old.right - old.left);
    w->rect.bottom = y + (old.bottom - old.top);
    w->rect.left = x;
    w->rect.top = y;
  }
  if (size) {
    w->rect.right = w->rect.left + std::max(cx, 0);
    w->rect.bottom = w->rect.top + std::max(cy, 0);
  }
  RECT now = w->rect;
  if (now.right - now.left != old.right - old.left || now.bottom - now.top != old.bottom - old.top)
    Send(h, WM_SIZE, 0, MAKELPARAM(now.right - now.left, now.bottom - now.top));
  if (now.left != old.left || now.top != old.top) Send(h, WM_MOVE, 0, MAKELPARAM(now.left, now.top));
}

void SetVisible(HWND h, bool visible) {
  Window *w = Find(h);
  if (!w || static_cast<bool>(w->style & WS_VISIBLE) == visible) return;
  Send(h, WM_SHOWWINDOW, visible ? TRUE : FALSE, 0);
  if ((w = Find(h)) == nullptr) return;
  if (visible)
    w->style |= WS_VISIBLE;
  else
    w->style &= ~static_cast<DWORD>(WS_VISIBLE);
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
  PollOnce(0);
  for (;;) {
    if (Retrieve(msg, filter, lo, hi, remove)) return true;
    if (!wait) return false;
    PollOnce(NextTimeout(filter, lo, hi));
  }
}

std::string Cp932ToUtf8(const std::string &in) {
  iconv_t cd = iconv_open("UTF-8", "CP932");
  if (cd == reinterpret_cast<iconv_t>(-1)) return in;
  std::string out;
  std::vector<char> buf(in.size() * 4 + 16);
  char *src = const_cast<char *>(in.data());
  size_t srcLeft = in.size();
  while (srcLeft > 0) {
    char *dst = buf.data();
    size_t dstLeft = buf.size();
    size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    out.append(buf.data(), dst);
    if (r == static_cast<size_t>(-1) && errno != E2BIG) {
      // A byte that is not CP932: show it as '?' and go on.
      out += '?';
      ++src;
      --srcLeft;
    }
  }
  iconv_close(cd);
  return out;
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
  RECT r = made->rect;
  Send(h, WM_SIZE, 0, MAKELPARAM(r.right - r.left, r.bottom - r.top));
  Send(h, WM_MOVE, 0, MAKELPARAM(r.left, r.top));
  if (style & WS_VISIBLE) SetVisible(h, true);
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
  SendDestroy(hwnd);
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
    w->style |= WS_DISABLED;
    if (S().focus && WindowMatches(S().focus, hwnd)) SetFocus(nullptr);
  }
  Send(hwnd, WM_ENABLE, enable ? TRUE : FALSE, 0);
  return wasDisabled;
}

BOOL WINAPI ShowWindow(HWND hwnd, int cmdShow) {
  Window *w = FindOrFail(hwnd);
  if (!w) return FALSE;
  BOOL was = (w->style & WS_VISIBLE) ? TRUE : FALSE;
  bool show = cmdShow != SW_HIDE;
  SetVisible(hwnd, show);
  if (show && cmdShow != SW_SHOWNOACTIVATE && cmdShow != SW_SHOWNA && cmdShow != SW_SHOWMINNOACTIVE &&
      cmdShow != SW_MINIMIZE && Find(hwnd) && IsTopLevel(*Find(hwnd)))
    S().active = hwnd;
  return was;
}

BOOL WINAPI UpdateWindow(HWND hwnd) { return IsWindow(hwnd); }

BOOL WINAPI InvalidateRect(HWND hwnd, const RECT *, BOOL) { return !hwnd || IsWindow(hwnd); }

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
  if (newParent) Find(newParent)->children.push_back(child);
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
  if (hwnd && IsTopLevel(*Find(TopLevelOf(hwnd)))) s.active = TopLevelOf(hwnd);
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
  S().active = hwnd ? TopLevelOf(hwnd) : nullptr;
  return old;
}

BOOL WINAPI SetForegroundWindow(HWND hwnd) {
  if (!FindOrFail(hwnd)) return FALSE;
  S().foreground = S().active = TopLevelOf(hwnd);
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

BOOL WINAPI MoveWindow(HWND hwnd, int x, int y, int width, int height, BOOL) {
  if (!FindOrFail(hwnd)) return FALSE;
  ApplyBounds(hwnd, x, y, width, height, true, true);
  return TRUE;
}

BOOL WINAPI SetWindowPos(HWND hwnd, HWND, int x, int y, int cx, int cy, UINT flags) {
  if (!FindOrFail(hwnd)) return FALSE;
  ApplyBounds(hwnd, x, y, cx, cy, !(flags & SWP_NOMOVE), !(flags & SWP_NOSIZE));
  if (flags & SWP_SHOWWINDOW) SetVisible(hwnd, true);
  if (flags & SWP_HIDEWINDOW) SetVisible(hwnd, false);
  return TRUE;
}

BOOL WINAPI GetWindowRect(HWND hwnd, LPRECT rect) {
  if (hwnd == kDesktop) {
    *rect = RECT{0, 0, 1280, 1024};
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
  RECT r;
  if (!GetWindowRect(hwnd, &r) || !rect) return FALSE;
  *rect = RECT{0, 0, r.right - r.left, r.bottom - r.top};
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

BOOL WINAPI MessageBeep(UINT) { return TRUE; }

int WINAPI MessageBoxA(HWND, LPCSTR text, LPCSTR caption, UINT type) {
  testhooks::MessageBoxCall call{text ? text : "", caption ? caption : "Error", type};
  int answer = 0;
  if (testhooks::internal::CaptureMessageBox(call, &answer)) return answer;
  std::string line = "[" + Cp932ToUtf8(call.caption) + "] " + Cp932ToUtf8(call.text) + "\n";
  fwrite(line.data(), 1, line.size(), stderr);
  fflush(stderr);
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
