// The Windows side of the test seam: each wrapper asks platform/testhooks.h first and
// otherwise calls the real function.
#define HOROLAN_SEAM_IMPLEMENTATION
#include <cstring>
#include <string>

#include "platform/PopupTracking.h"
#include "platform/winapi.h"

namespace {

constexpr long long kFileTimeUnixEpoch = 116444736000000000LL;

long long SystemTimeToUnixMs(const SYSTEMTIME &st, bool *ok) {
  FILETIME ft;
  *ok = SystemTimeToFileTime(&st, &ft) != FALSE;
  ULARGE_INTEGER v;
  v.LowPart = ft.dwLowDateTime;
  v.HighPart = ft.dwHighDateTime;
  return *ok ? (static_cast<long long>(v.QuadPart) - kFileTimeUnixEpoch) / 10000 : 0;
}

void UnixMsToSystemTime(long long ms, SYSTEMTIME *st) {
  ULARGE_INTEGER v;
  v.QuadPart = static_cast<ULONGLONG>(ms * 10000 + kFileTimeUnixEpoch);
  FILETIME ft{v.LowPart, v.HighPart};
  FileTimeToSystemTime(&ft, st);
}

BOOL FakeSet(long long utcMs, bool local) {
  if (unsigned long e = testhooks::internal::ClockSetFailure()) {
    SetLastError(static_cast<DWORD>(e));
    return FALSE;
  }
  testhooks::internal::RecordClockSet(utcMs, local);
  return TRUE;
}

}  // namespace

extern "C" {

void WINAPI HlGetSystemTime(LPSYSTEMTIME st) {
  if (!testhooks::FakeClockInstalled()) return GetSystemTime(st);
  UnixMsToSystemTime(testhooks::FakeUtcMs(), st);
}

void WINAPI HlGetLocalTime(LPSYSTEMTIME st) {
  if (!testhooks::FakeClockInstalled()) return GetLocalTime(st);
  SYSTEMTIME utc;
  UnixMsToSystemTime(testhooks::FakeUtcMs(), &utc);
  if (!SystemTimeToTzSpecificLocalTime(nullptr, &utc, st)) *st = utc;
}

BOOL WINAPI HlSetSystemTime(const SYSTEMTIME *st) {
  if (!testhooks::FakeClockInstalled()) return SetSystemTime(st);
  bool ok = false;
  long long ms = st ? SystemTimeToUnixMs(*st, &ok) : 0;
  if (!ok) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return FakeSet(ms, false);
}

BOOL WINAPI HlSetLocalTime(const SYSTEMTIME *st) {
  if (!testhooks::FakeClockInstalled()) return SetLocalTime(st);
  SYSTEMTIME utc;
  bool ok = st && TzSpecificLocalTimeToSystemTime(nullptr, st, &utc);
  long long ms = ok ? SystemTimeToUnixMs(utc, &ok) : 0;
  if (!ok) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return FakeSet(ms, true);
}

BOOL WINAPI HlGetVersionExA(LPOSVERSIONINFOA info) {
  if (!GetVersionExA(info)) return FALSE;
  unsigned major, minor, platform;
  if (testhooks::internal::ReportedVersion(&major, &minor, &platform)) {
    info->dwMajorVersion = major;
    info->dwMinorVersion = minor;
    info->dwPlatformId = platform;
    info->dwBuildNumber = 0;
    info->szCSDVersion[0] = 0;
  }
  return TRUE;
}

BOOL WINAPI HlGetCursorPos(LPPOINT point) {
  if (!testhooks::internal::FakeInputActive()) return GetCursorPos(point);
  if (!point) return FALSE;
  int x = 0, y = 0;
  testhooks::internal::FakeCursorPos(&x, &y);
  point->x = x;
  point->y = y;
  return TRUE;
}

SHORT WINAPI HlGetAsyncKeyState(int key) {
  if (!testhooks::internal::FakeInputActive()) return GetAsyncKeyState(key);
  return testhooks::internal::FakeKeyDown(key) ? static_cast<SHORT>(0x8000) : 0;
}

int WINAPI HlMessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
  testhooks::MessageBoxCall call{text ? text : "", caption ? caption : "Error", type};
  int answer = 0;
  if (testhooks::internal::CaptureMessageBox(call, &answer)) return answer;
  return MessageBoxA(owner, text, caption, type);
}

BOOL WINAPI HlShell_NotifyIconA(DWORD message, PNOTIFYICONDATAA data) {
  const bool refused = message == NIM_ADD && testhooks::internal::TakeTrayAddFailure();
  BOOL result = refused ? FALSE : Shell_NotifyIconA(message, data);
  if (testhooks::ShellNotifyCaptured() && data) {
    // Only the fields that the structure's stated size covers are read.
    const DWORD size = data->cbSize;
    auto has = [&](size_t end) { return size >= end; };
    auto field = [](const char *p, size_t n) { return std::string(p, strnlen(p, n)); };
    testhooks::ShellNotifyCall call{};
    call.message = message;
    call.cbSize = size;
    if (has(NOTIFYICONDATAA_V1_SIZE)) {
      call.hwnd = data->hWnd;
      call.id = data->uID;
      call.flags = data->uFlags;
      call.callbackMessage = data->uCallbackMessage;
      call.icon = data->hIcon;
      call.tip = field(data->szTip, has(NOTIFYICONDATAA_V2_SIZE) ? sizeof data->szTip : 64);
    }
    if (has(NOTIFYICONDATAA_V2_SIZE)) {
      call.info = field(data->szInfo, sizeof data->szInfo);
      call.infoTitle = field(data->szInfoTitle, sizeof data->szInfoTitle);
      call.timeoutOrVersion = data->uTimeout;
      call.infoFlags = data->dwInfoFlags;
    }
    call.result = result != FALSE;
    testhooks::internal::RecordShellNotify(call);
  }
  return result;
}

HINSTANCE WINAPI HlShellExecuteA(HWND hwnd, LPCSTR verb, LPCSTR file, LPCSTR parameters, LPCSTR directory,
                                 INT showCmd) {
  testhooks::ShellExecuteCall call{hwnd,
                                   verb ? verb : "",
                                   file ? file : "",
                                   parameters ? parameters : "",
                                   directory ? directory : "",
                                   verb == nullptr,
                                   showCmd};
  if (testhooks::internal::CaptureShellExecute(call))
    return reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(42));
  return ShellExecuteA(hwnd, verb, file, parameters, directory, showCmd);
}

BOOL WINAPI HlTrackPopupMenu(HMENU menu, UINT flags, int x, int y, int reserved, HWND owner,
                             const RECT *rect) {
  if (testhooks::PopupMenusCaptured())
    return platform_detail::TrackPopupWithoutDisplay(menu, flags, x, y, owner);
  return TrackPopupMenu(menu, flags, x, y, reserved, owner, rect);
}

BOOL WINAPI HlTrackPopupMenuEx(HMENU menu, UINT flags, int x, int y, HWND owner, LPTPMPARAMS params) {
  if (testhooks::PopupMenusCaptured())
    return platform_detail::TrackPopupWithoutDisplay(menu, flags, x, y, owner);
  return TrackPopupMenuEx(menu, flags, x, y, owner, params);
}

HANDLE WINAPI HlOpenMutexA(DWORD access, BOOL inherit, LPCSTR name) {
  if (DWORD e = testhooks::internal::MutexFailure(false)) {
    SetLastError(e);
    return nullptr;
  }
  return OpenMutexA(access, inherit, name);
}

HANDLE WINAPI HlCreateMutexA(LPSECURITY_ATTRIBUTES attrs, BOOL initialOwner, LPCSTR name) {
  if (DWORD e = testhooks::internal::MutexFailure(true)) {
    SetLastError(e);
    return nullptr;
  }
  return CreateMutexA(attrs, initialOwner, name);
}

UINT WINAPI HlGetDoubleClickTime() {
  unsigned fake = testhooks::internal::FakeDoubleClickTime();
  return fake ? fake : GetDoubleClickTime();
}

BOOL WINAPI HlMessageBeep(UINT type) {
  testhooks::internal::RecordMessageBeep();
  return MessageBeep(type);
}

}  // extern "C"

namespace testhooks {
// Windows keeps no such count for us; tests skip their leak checks on -1.
int LiveWindowCount() { return -1; }
int LiveTimerCount() { return -1; }
int LiveGdiObjectCount() { return -1; }
int LiveIconCount() { return -1; }
int LiveMenuCount() { return -1; }
bool HostTrayIcons(std::vector<TrayIconState> *out) {
  if (out) out->clear();
  return false;
}
bool HostLayer() { return false; }
bool SimulateResume() { return false; }
bool SimulateSessionEnd() { return false; }
bool OfferModule(const std::string &, const std::vector<std::pair<std::string, void (*)()>> &) {
  return false;
}
bool WithdrawModule(const std::string &) { return false; }
}  // namespace testhooks
