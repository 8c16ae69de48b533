// The Windows side of the test seam: each wrapper asks platform/testhooks.h first and
// otherwise calls the real function.
#define HOROLAN_SEAM_IMPLEMENTATION
#include <cstring>

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

}  // extern "C"

namespace testhooks {
// Windows keeps no such count for us; tests skip their leak checks on -1.
int LiveWindowCount() { return -1; }
int LiveTimerCount() { return -1; }
bool HostLayer() { return false; }
bool SimulateResume() { return false; }
bool SimulateSessionEnd() { return false; }
bool OfferModule(const std::string &, const std::vector<std::pair<std::string, void (*)()>> &) {
  return false;
}
bool WithdrawModule(const std::string &) { return false; }
}  // namespace testhooks
