// The common-controls version and the visual-styles state, asked of the system once
// (Windows: comctl32 and uxtheme, bound at run time so the program starts where they are
// missing) unless the test seam says otherwise.
#include "platform/uistate.h"

#include "platform/winapi.h"

#ifdef _WIN32
#include <shlwapi.h>

namespace {

unsigned AskCommonControls() {
  HMODULE lib = LoadLibraryA("comctl32.dll");
  if (!lib) return 4u << 16;
  unsigned version = 4u << 16;  // comctl32 without DllGetVersion is 4.0
  auto get =
      reinterpret_cast<DLLGETVERSIONPROC>(reinterpret_cast<void *>(GetProcAddress(lib, "DllGetVersion")));
  DLLVERSIONINFO info{};
  info.cbSize = sizeof info;
  if (get && SUCCEEDED(get(&info))) version = (info.dwMajorVersion << 16) | (info.dwMinorVersion & 0xFFFF);
  FreeLibrary(lib);
  return version;
}

bool AskThemed() {
  HMODULE lib = LoadLibraryA("uxtheme.dll");
  if (!lib) return false;
  typedef BOOL(WINAPI * Query)();
  auto appThemed = reinterpret_cast<Query>(reinterpret_cast<void *>(GetProcAddress(lib, "IsAppThemed")));
  auto themeActive = reinterpret_cast<Query>(reinterpret_cast<void *>(GetProcAddress(lib, "IsThemeActive")));
  bool themed = appThemed && themeActive && appThemed() && themeActive();
  FreeLibrary(lib);
  return themed;
}

}  // namespace

unsigned CommonControlsVersion() {
  unsigned reported = 0;
  if (testhooks::internal::ReportedCommonControlsVersion(&reported)) return reported;
  static const unsigned real = AskCommonControls();
  return real;
}

bool VisualStylesInEffect() {
  int reported = testhooks::internal::ReportedVisualStyles();
  if (reported >= 0) return reported != 0;
  return CommonControlsVersion() >= (6u << 16) && AskThemed();
}

bool BalloonsStayOnScreen() { return testhooks::internal::ReportedBalloonsStayOnScreen() != 0; }

#else

unsigned CommonControlsVersion() {
  unsigned reported = 0;
  if (testhooks::internal::ReportedCommonControlsVersion(&reported)) return reported;
  return 6u << 16;
}

// Nothing is drawn, so no theme is in effect.
bool VisualStylesInEffect() { return testhooks::internal::ReportedVisualStyles() > 0; }

bool BalloonsStayOnScreen() { return testhooks::internal::ReportedBalloonsStayOnScreen() > 0; }

#endif
