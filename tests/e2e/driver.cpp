// Works the program's windows from outside, as a user would, for the whole-program
// tests under Wine: one command per run, results on stdout, exit code 0 on success.
//   wait CLASS|- CAPTION|- MS          until a visible top-level window matches
//   gone CLASS|- CAPTION|- MS          until no visible one matches
//   list                               the visible top-level windows
//   close CLASS|- CAPTION|-            WM_CLOSE to a top-level window, shown or not
//   tray MESSAGE                       the tray callback (2048) with a mouse message
//   settext X Y TEXT / gettext X Y     the Setup dialog's child placed at X, Y
//   click CLASS|- CAPTION|- TEXT       BM_CLICK on the visible button with that text
//   key CLASS|- CAPTION|- VK           a key press posted to that window
//   layout CLASS|- CAPTION|-           client size, then each visible child:
//                                      class left top width height text
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

const UINT kTrayCallback = 2048;  // the tray icon's callback message
const char kSetupCaption[] = "Setup";

struct Match {
  const char *cls;
  const char *caption;
  bool visibleOnly;
  std::vector<HWND> found;
};

bool Is(const char *want, const std::string &have) { return std::strcmp(want, "-") == 0 || have == want; }

std::string ClassOf(HWND w) {
  char buf[256] = {};
  GetClassNameA(w, buf, sizeof buf);
  return buf;
}

std::string TextOf(HWND w) {
  char buf[1024] = {};
  // WM_GETTEXT, not GetWindowText: the window is another process's.
  SendMessageTimeoutA(w, WM_GETTEXT, sizeof buf, reinterpret_cast<LPARAM>(buf), SMTO_ABORTIFHUNG, 3000,
                      nullptr);
  return buf;
}

BOOL CALLBACK CollectTop(HWND w, LPARAM p) {
  auto *m = reinterpret_cast<Match *>(p);
  if ((IsWindowVisible(w) || !m->visibleOnly) && Is(m->cls, ClassOf(w)) && Is(m->caption, TextOf(w)))
    m->found.push_back(w);
  return TRUE;
}

HWND FindTop(const char *cls, const char *caption, bool visibleOnly = true) {
  Match m{cls, caption, visibleOnly, {}};
  EnumWindows(CollectTop, reinterpret_cast<LPARAM>(&m));
  return m.found.empty() ? nullptr : m.found.front();
}

BOOL CALLBACK CollectAll(HWND w, LPARAM p) {
  reinterpret_cast<std::vector<HWND> *>(p)->push_back(w);
  return TRUE;
}

std::vector<HWND> Children(HWND parent) {
  std::vector<HWND> all;
  EnumChildWindows(parent, CollectAll, reinterpret_cast<LPARAM>(&all));
  return all;
}

RECT InClient(HWND parent, HWND child) {
  RECT r;
  GetWindowRect(child, &r);
  MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT *>(&r), 2);
  return r;
}

// The dialog's control whose top-left corner is at X, Y of the client area.
HWND ControlAt(int x, int y) {
  HWND setup = FindTop("-", kSetupCaption);
  if (!setup) return nullptr;
  for (HWND c : Children(setup)) {
    RECT r = InClient(setup, c);
    if (r.left == x && r.top == y && GetParent(c) == setup) return c;
  }
  return nullptr;
}

// Waits while answering messages: a program that sends to every top-level window
// (a broadcast) would otherwise hang on this process's hidden windows.
void Pause(DWORD ms) {
  const DWORD end = GetTickCount() + ms;
  for (DWORD now = GetTickCount(); static_cast<int>(end - now) > 0; now = GetTickCount()) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, end - now, QS_ALLINPUT);
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
  }
}

int Wait(const char *cls, const char *caption, int ms, bool present) {
  for (int t = 0; t <= ms; t += 100) {
    if ((FindTop(cls, caption) != nullptr) == present) return 0;
    Pause(100);
  }
  std::fprintf(stderr, "driver: window %s/%s still %s\n", cls, caption, present ? "missing" : "there");
  return 1;
}

BOOL CALLBACK PostTray(HWND w, LPARAM message) {
  if (ClassOf(w) == "HorolanUtilWindow") PostMessageA(w, kTrayCallback, 1, message);
  return TRUE;
}

int Layout(HWND top) {
  RECT c;
  GetClientRect(top, &c);
  std::printf("client %ld %ld\n", c.right, c.bottom);
  for (HWND w : Children(top)) {
    if (!IsWindowVisible(w)) continue;
    RECT r = InClient(top, w);
    std::printf("%s %ld %ld %ld %ld %s\n", ClassOf(w).c_str(), r.left, r.top, r.right - r.left,
                r.bottom - r.top, TextOf(w).c_str());
  }
  return 0;
}

}  // namespace

int main(int argc, char **argv) {
  std::vector<std::string> a(argv, argv + argc);
  auto need = [&](size_t n) {
    if (a.size() < n) {
      std::fprintf(stderr, "driver: too few arguments for %s\n", a.size() > 1 ? a[1].c_str() : "(none)");
      std::exit(2);
    }
  };
  need(2);
  const std::string &cmd = a[1];
  if (cmd == "wait" || cmd == "gone") {
    need(5);
    return Wait(argv[2], argv[3], std::atoi(argv[4]), cmd == "wait");
  }
  if (cmd == "list") {
    Match m{"-", "-", true, {}};
    EnumWindows(CollectTop, reinterpret_cast<LPARAM>(&m));
    for (HWND w : m.found) {
      RECT r;
      GetWindowRect(w, &r);
      std::printf("%s %ld %ld %ld %ld %s\n", ClassOf(w).c_str(), r.left, r.top, r.right - r.left,
                  r.bottom - r.top, TextOf(w).c_str());
    }
    return 0;
  }
  if (cmd == "close") {
    need(4);
    // Hidden windows too: closing the hidden main form ends the program.
    HWND w = FindTop(argv[2], argv[3], false);
    if (!w) return 1;
    PostMessageA(w, WM_CLOSE, 0, 0);
    return 0;
  }
  if (cmd == "tray") {
    need(3);
    EnumWindows(PostTray, static_cast<LPARAM>(std::strtol(argv[2], nullptr, 0)));
    return 0;
  }
  if (cmd == "settext" || cmd == "gettext") {
    need(cmd == "settext" ? 5 : 4);
    HWND c = ControlAt(std::atoi(argv[2]), std::atoi(argv[3]));
    if (!c) {
      std::fprintf(stderr, "driver: no control at %s, %s\n", argv[2], argv[3]);
      return 1;
    }
    if (cmd == "settext")
      SendMessageA(c, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(argv[4]));
    else
      std::printf("%s\n", TextOf(c).c_str());
    return 0;
  }
  if (cmd == "click" || cmd == "key" || cmd == "layout") {
    need(cmd == "layout" ? 4 : 5);
    HWND top = FindTop(argv[2], argv[3]);
    if (!top) {
      std::fprintf(stderr, "driver: no window %s/%s\n", argv[2], argv[3]);
      return 1;
    }
    if (cmd == "layout") return Layout(top);
    if (cmd == "key") {
      WPARAM vk = static_cast<WPARAM>(std::strtol(argv[4], nullptr, 0));
      PostMessageA(top, WM_KEYDOWN, vk, 1);
      PostMessageA(top, WM_KEYUP, vk, static_cast<LPARAM>(0xC0000001u));
      return 0;
    }
    for (HWND w : Children(top)) {
      if (IsWindowVisible(w) && _stricmp(ClassOf(w).c_str(), "Button") == 0 && TextOf(w) == argv[4]) {
        // Posted: the click may open a modal window, which would hold a sent message.
        PostMessageA(w, BM_CLICK, 0, 0);
        return 0;
      }
    }
    std::fprintf(stderr, "driver: no button %s\n", argv[4]);
    return 1;
  }
  std::fprintf(stderr, "driver: unknown command %s\n", cmd.c_str());
  return 2;
}
