// The host layer's shell: folders (the application-data folder is the XDG config home),
// the notification area and opening documents.
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/host/console.h"
#include "platform/winapi.h"

namespace {

std::string FolderOf(int csidl) {
  const char *home = getenv("HOME");
  std::string homeDir = home && *home == '/' ? home : "";
  const char *xdg = nullptr;
  const char *fallback = nullptr;
  switch (csidl & 0xFF) {
    case CSIDL_APPDATA:
      xdg = getenv("XDG_CONFIG_HOME");
      fallback = "/.config";
      break;
    case CSIDL_LOCAL_APPDATA:
      xdg = getenv("XDG_DATA_HOME");
      fallback = "/.local/share";
      break;
    default:
      return "";
  }
  // Relative XDG paths are to be ignored, as the XDG base-directory rules say.
  if (xdg && *xdg == '/') return xdg;
  return homeDir.empty() ? "" : homeDir + fallback;
}

bool MakeAll(const std::string &path) {
  struct stat st;
  if (stat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  size_t slash = path.find_last_of('/');
  if (slash != std::string::npos && slash > 0 && !MakeAll(path.substr(0, slash))) return false;
  return mkdir(path.c_str(), 0700) == 0 || errno == EEXIST;
}

}  // namespace

BOOL WINAPI SHGetSpecialFolderPathA(HWND, LPSTR path, int csidl, BOOL create) {
  std::string folder = FolderOf(csidl);
  if (!path || folder.empty() || folder.size() >= MAX_PATH) return FALSE;
  struct stat st;
  bool exists = stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
  if (!exists && !(create && MakeAll(folder))) return FALSE;
  strcpy(path, folder.c_str());
  return TRUE;
}

// ---- Notification area ------------------------------------------------------------------
// The headless tray: icons keyed by (window, id) with the rules of Windows' tray, and a
// line on stderr for each tooltip change and balloon, for a user watching a terminal.

namespace {

struct TrayIcon {
  HWND hwnd = nullptr;
  UINT id = 0;
  UINT callbackMessage = 0;
  HICON icon = nullptr;
  std::string tip;
  DWORD state = 0;
  UINT version = 0;
};

std::vector<TrayIcon> &Tray() {
  static std::vector<TrayIcon> *t = new std::vector<TrayIcon>;  // icons may go in static destructors
  return *t;
}

TrayIcon *FindIcon(HWND hwnd, UINT id) {
  for (TrayIcon &i : Tray())
    if (i.hwnd == hwnd && i.id == id) return &i;
  return nullptr;
}

// A fixed-size field of the caller's, cut at its end even when no NUL ends it.
std::string Field(const char *p, size_t size) { return std::string(p, strnlen(p, size)); }

// One line per report: line ends in the text become spaces, other control
// characters are left out, so a text cannot forge a report line.
std::string OneLine(const std::string &cp932) {
  std::string s;
  for (char c : cp932) {
    if (c == '\r' || c == '\n' || c == '\t')
      s += ' ';
    else if (static_cast<unsigned char>(c) >= 0x20 || c < 0)
      s += c;
  }
  return HostCp932ToUtf8(s);
}

void Report(int level, const std::string &line) { HostReportLine(level, "horolan tray: " + line); }

int BalloonLevel(DWORD flags) {
  switch (flags & NIIF_ICON_MASK) {
    case NIIF_ERROR:
      return HostLevelError;
    case NIIF_WARNING:
      return HostLevelWarning;
    default:
      return HostLevelInfo;
  }
}

const char *BalloonKind(DWORD flags) {
  switch (flags & NIIF_ICON_MASK) {
    case NIIF_INFO:
      return "[info] ";
    case NIIF_WARNING:
      return "[warning] ";
    case NIIF_ERROR:
      return "[error] ";
    case NIIF_USER:
      return "[user] ";
    default:
      return "";
  }
}

// The fields this call may use, by the structure size it says it has.
struct Fields {
  bool v2;  // szTip[128] and the balloon fields
};

BOOL Notify(DWORD message, const NOTIFYICONDATAA &nid, const Fields &f) {
  TrayIcon *icon = FindIcon(nid.hWnd, nid.uID);
  switch (message) {
    case NIM_ADD:
      if (icon) return FALSE;
      Tray().emplace_back();
      icon = &Tray().back();
      icon->hwnd = nid.hWnd;
      icon->id = nid.uID;
      break;
    case NIM_MODIFY:
      if (!icon) return FALSE;
      break;
    case NIM_DELETE:
      if (!icon) return FALSE;
      Tray().erase(Tray().begin() + (icon - Tray().data()));
      return TRUE;
    case NIM_SETFOCUS:
      return icon ? TRUE : FALSE;
    case NIM_SETVERSION:
      if (!icon || !f.v2) return FALSE;
      icon->version = nid.uVersion;
      return TRUE;
    default:
      return FALSE;
  }
  if (nid.uFlags & NIF_MESSAGE) icon->callbackMessage = nid.uCallbackMessage;
  if (nid.uFlags & NIF_ICON) icon->icon = nid.hIcon;
  if (nid.uFlags & NIF_TIP) {
    std::string tip = Field(nid.szTip, f.v2 ? sizeof nid.szTip : 64);
    if (tip != icon->tip) {
      icon->tip = tip;
      Report(HostLevelInfo, "tip \"" + OneLine(tip) + "\"");
    }
  }
  if (f.v2 && (nid.uFlags & NIF_STATE))
    icon->state = (icon->state & ~nid.dwStateMask) | (nid.dwState & nid.dwStateMask);
  if (f.v2 && (nid.uFlags & NIF_INFO)) {
    // An empty text takes a balloon down; only a shown one is reported.
    std::string text = Field(nid.szInfo, sizeof nid.szInfo);
    if (!text.empty()) {
      std::string title = Field(nid.szInfoTitle, sizeof nid.szInfoTitle);
      std::string line = std::string("balloon ") + BalloonKind(nid.dwInfoFlags);
      if (!title.empty()) line += "\"" + OneLine(title) + "\": ";
      Report(BalloonLevel(nid.dwInfoFlags), line + "\"" + OneLine(text) + "\"");
    }
  }
  return TRUE;
}

}  // namespace

BOOL WINAPI Shell_NotifyIconA(DWORD message, PNOTIFYICONDATAA data) {
  if (!data) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  // The sizes Windows knows; anything else is read as the oldest layout, as Windows
  // does, but never past what the caller says it passed.
  const DWORD size = data->cbSize;
  if (size < NOTIFYICONDATAA_V1_SIZE) {
    SetLastError(ERROR_INVALID_PARAMETER);
    BOOL result = FALSE;
    testhooks::ShellNotifyCall call{message, size, data->hWnd, 0, 0, 0, nullptr, "", "", "", 0, 0, false};
    testhooks::internal::RecordShellNotify(call);
    return result;
  }
  Fields f{size == NOTIFYICONDATAA_V2_SIZE || size == NOTIFYICONDATAA_V3_SIZE ||
           size == sizeof(NOTIFYICONDATAA)};
  NOTIFYICONDATAA nid{};
  memcpy(&nid, data, f.v2 ? std::min<size_t>(size, sizeof nid) : NOTIFYICONDATAA_V1_SIZE);
  // A shell that is not ready yet takes no new icon.
  BOOL result =
      message == NIM_ADD && testhooks::internal::TakeTrayAddFailure() ? FALSE : Notify(message, nid, f);

  testhooks::ShellNotifyCall call;
  call.message = message;
  call.cbSize = size;
  call.hwnd = nid.hWnd;
  call.id = nid.uID;
  call.flags = nid.uFlags;
  call.callbackMessage = nid.uCallbackMessage;
  call.icon = nid.hIcon;
  call.tip = Field(nid.szTip, f.v2 ? sizeof nid.szTip : 64);
  call.info = f.v2 ? Field(nid.szInfo, sizeof nid.szInfo) : "";
  call.infoTitle = f.v2 ? Field(nid.szInfoTitle, sizeof nid.szInfoTitle) : "";
  call.timeoutOrVersion = f.v2 ? nid.uTimeout : 0;
  call.infoFlags = f.v2 ? nid.dwInfoFlags : 0;
  call.result = result != FALSE;
  testhooks::internal::RecordShellNotify(call);
  return result;
}

// ---- Opening documents --------------------------------------------------------------------

namespace {

bool IsAddress(const std::string &s) {
  // scheme ":" as in "https://..." or "mailto:..."; a drive-like "C:" is not one.
  size_t colon = s.find(':');
  if (colon == std::string::npos || colon < 2) return false;
  for (size_t i = 0; i < colon; ++i) {
    char c = s[i];
    bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
              (i > 0 && ((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.'));
    if (!ok) return false;
  }
  return true;
}

HINSTANCE Code(int v) { return reinterpret_cast<HINSTANCE>(static_cast<intptr_t>(v)); }

bool SameNoCase(const char *a, const char *b) {
  for (; *a && *b; ++a, ++b) {
    char x = (*a >= 'A' && *a <= 'Z') ? static_cast<char>(*a + 32) : *a;
    char y = (*b >= 'A' && *b <= 'Z') ? static_cast<char>(*b + 32) : *b;
    if (x != y) return false;
  }
  return *a == *b;
}

// Starts xdg-open in a grandchild, so nothing is left to reap and nothing waits for
// the viewer. A pipe that closes on exec tells whether xdg-open could be started.
bool StartDetached(const std::string &file, const std::string &directory) {
  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0) return false;
  pid_t child = fork();
  if (child < 0) {
    close(report[0]);
    close(report[1]);
    return false;
  }
  if (child == 0) {
    close(report[0]);
    if (fork() != 0) _exit(0);
    setsid();
    int devnull = open("/dev/null", O_RDWR);
    if (devnull >= 0) {
      dup2(devnull, 0);
      dup2(devnull, 1);
      if (devnull > 2) close(devnull);
    }
    if (!directory.empty() && chdir(directory.c_str()) != 0) {
      int err = errno;
      ssize_t w = write(report[1], &err, sizeof err);
      (void)w;
      _exit(127);
    }
    const char *argv[] = {"xdg-open", file.c_str(), nullptr};
    execvp("xdg-open", const_cast<char *const *>(argv));
    int err = errno;
    ssize_t w = write(report[1], &err, sizeof err);
    (void)w;
    _exit(127);
  }
  close(report[1]);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  int err = 0;
  ssize_t n;
  while ((n = read(report[0], &err, sizeof err)) < 0 && errno == EINTR) {
  }
  close(report[0]);
  return n == 0;
}

}  // namespace

HINSTANCE WINAPI ShellExecuteA(HWND hwnd, LPCSTR verb, LPCSTR file, LPCSTR parameters, LPCSTR directory,
                               INT showCmd) {
  testhooks::ShellExecuteCall call{hwnd,
                                   verb ? verb : "",
                                   file ? file : "",
                                   parameters ? parameters : "",
                                   directory ? directory : "",
                                   verb == nullptr,
                                   showCmd};
  if (testhooks::internal::CaptureShellExecute(call)) return Code(42);
  if (!file || !*file) return Code(SE_ERR_FNF);
  std::string target = file;
  if (!IsAddress(target)) {
    // A local document must be there now: Windows says so at once, xdg-open later.
    std::string full = target;
    if (full[0] != '/' && directory && *directory) full = std::string(directory) + "/" + full;
    struct stat st;
    if (stat(full.c_str(), &st) != 0) {
      std::string dir =
          full.substr(0, full.find_last_of('/') == std::string::npos ? 0 : full.find_last_of('/'));
      bool dirThere = dir.empty() || (stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode));
      return Code(dirThere ? SE_ERR_FNF : SE_ERR_PNF);
    }
    target = full;
  }
  // As in Windows, a missing document is reported before an unknown verb.
  if (verb && *verb && !SameNoCase(verb, "open")) return Code(SE_ERR_NOASSOC);
  if (!StartDetached(target, directory ? directory : "")) return Code(SE_ERR_NOASSOC);
  return Code(33);
}

namespace testhooks {
bool HostTrayIcons(std::vector<TrayIconState> *out) {
  if (!out) return false;
  out->clear();
  for (const TrayIcon &i : Tray())
    out->push_back(
        TrayIconState{i.hwnd, i.id, i.tip, i.icon, i.callbackMessage, (i.state & NIS_HIDDEN) != 0});
  return true;
}
}  // namespace testhooks
