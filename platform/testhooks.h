// Test seam of the platform layer, the same on Windows and on the host layer.
// Nothing here is used by the program itself: tests install fakes, the program only
// ever sees the Win32 calls, which consult the seam.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace testhooks {

// ---- Wall clock -------------------------------------------------------------------
// With the fake clock installed, GetSystemTime/GetLocalTime read it and
// SetSystemTime/SetLocalTime move only it; each set is recorded as the UTC time it
// stands for. The fake clock runs on from wherever it was set. Tick time
// (GetTickCount, timers) is never affected, as on Windows.
void InstallFakeClock();
void RemoveFakeClock();
bool FakeClockInstalled();
// Moves the fake clock to the given UTC moment (milliseconds since 1970-01-01).
void SetFakeUtcMs(long long unixMs);
long long FakeUtcMs();
// Makes every following clock set fail with this error (0: succeed again).
void FailClockSets(unsigned long error);
struct ClockSet {
  long long unixMs;  // the UTC moment the call asked for
  bool local;        // true for SetLocalTime, false for SetSystemTime
};
const std::vector<ClockSet> &ClockSets();
void ClearClockSets();

// ---- Reported Windows version -----------------------------------------------------
// GetVersionExA reports this instead of the real version until reset.
void SetReportedVersion(unsigned major, unsigned minor, unsigned platformId);
void ResetReportedVersion();

// ---- Cursor and key state ---------------------------------------------------------
void SetFakeCursorPos(int x, int y);
void SetFakeKeyDown(int virtualKey, bool down);
void ResetFakeInput();

// ---- Message boxes ----------------------------------------------------------------
struct MessageBoxCall {
  std::string text;     // CP932, as passed
  std::string caption;  // CP932, as passed
  unsigned type;
};
// While captured, MessageBoxA records the call and returns what the answer gives
// (default: the box's default button) instead of showing anything.
void CaptureMessageBoxes(std::function<int(const MessageBoxCall &)> answer = nullptr);
void ReleaseMessageBoxes();
bool MessageBoxesCaptured();
const std::vector<MessageBoxCall> &MessageBoxes();
void ClearMessageBoxes();

// The default button of a message box type, as Windows picks it.
int DefaultMessageBoxButton(unsigned type);

// ---- Notification area ----------------------------------------------------------------
struct ShellNotifyCall {
  unsigned message;  // NIM_*
  unsigned cbSize;
  void *hwnd;
  unsigned id;
  unsigned flags;  // NIF_*
  unsigned callbackMessage;
  void *icon;
  std::string tip, info, infoTitle;  // CP932, as passed (cut at the field's end)
  unsigned timeoutOrVersion;
  unsigned infoFlags;
  bool result;
};
// While captured, every Shell_NotifyIconA call is recorded with its result. The call is
// still made: on Windows the real tray answers, on the host layer its headless tray.
void CaptureShellNotify();
void ReleaseShellNotify();
bool ShellNotifyCaptured();
const std::vector<ShellNotifyCall> &ShellNotifyCalls();
void ClearShellNotifyCalls();
struct TrayIconState {
  void *hwnd;
  unsigned id;
  std::string tip;  // CP932
  void *icon;
  unsigned callbackMessage;
  bool hidden;
};
// The icons in the host's headless tray, in the order they were added. Returns false
// (and leaves out empty) where the tray cannot be read (Windows).
bool HostTrayIcons(std::vector<TrayIconState> *out);

// ---- Opening documents ----------------------------------------------------------------
struct ShellExecuteCall {
  void *hwnd;
  std::string verb, file, parameters, directory;  // CP932; a null pointer gives ""
  bool verbNull;                                  // verb was a null pointer
  int show;
};
// While captured, ShellExecuteA records the call and returns 42 without starting
// anything.
void CaptureShellExecute();
void ReleaseShellExecute();
bool ShellExecuteCaptured();
const std::vector<ShellExecuteCall> &ShellExecuteCalls();
void ClearShellExecuteCalls();

// ---- Popup menus ------------------------------------------------------------------------
struct PopupMenuItem {
  unsigned id;       // 0 for separators; for a submenu item what GetMenuItemID gives (-1)
  std::string text;  // CP932
  unsigned type;     // MFT_*
  unsigned state;    // MFS_*, MFS_DEFAULT included
  bool isDefault;
  bool hasBitmap;                       // hbmpItem set, or an MFT_BITMAP item
  std::vector<PopupMenuItem> subItems;  // a submenu's items
};
struct PopupMenuCall {
  void *menu;
  std::vector<PopupMenuItem> items;
  int x, y;
  unsigned flags;  // TPM_*
  void *owner;
};
// While captured, TrackPopupMenu/TrackPopupMenuEx show nothing: they record the menu
// and take the id that choose returns (0: dismissed; no choose: always dismissed) as the
// user's pick. A pick that the user could not click (unknown, disabled, a separator or
// a submenu) counts as dismissed. The owner gets the notifications of a real menu, and
// without TPM_RETURNCMD a pick is posted to it as WM_COMMAND, as Windows does.
void CapturePopupMenus(std::function<unsigned(const PopupMenuCall &)> choose = nullptr);
void ReleasePopupMenus();
bool PopupMenusCaptured();
const std::vector<PopupMenuCall> &PopupMenuCalls();
void ClearPopupMenuCalls();

// ---- User-interface state ---------------------------------------------------------------
// CommonControlsVersion() reports this (major << 16 | minor) until set to 0.
void SetReportedCommonControlsVersion(unsigned version);
// VisualStylesInEffect() reports false (0) or true (1); -1 asks the system again.
void SetReportedVisualStyles(int inEffect);
// BalloonsStayOnScreen() reports false (0) or true (1); -1 tells the platform's truth.
void SetReportedBalloonsStayOnScreen(int stay);
// GetDoubleClickTime() reports this many milliseconds until set to 0.
void SetFakeDoubleClickTime(unsigned ms);

// ---- Start-up conditions -----------------------------------------------------------------
// While set, OpenMutexA and CreateMutexA fail with these errors for every name (0: that
// call goes through), as they do for a copy without the rights to a mutex another holds.
void FailMutexCalls(unsigned long openError, unsigned long createError);
// The next count NIM_ADD requests fail without reaching the tray, as when the shell is
// not ready yet (0: none).
void FailTrayAdds(unsigned count);
// QueryLogonTask() reports this until set to -1: 0 no task, 1 the task is registered.
void SetFakeLogonTask(int state);

// ---- Beeps ------------------------------------------------------------------------------
// Every MessageBeep call is counted on both platforms (Windows still sounds it).
unsigned MessageBeepCount();
void ResetMessageBeepCount();

// ---- Leak checks ------------------------------------------------------------------
// Windows and timers alive in the host layer; -1 where the count is not kept (Windows),
// so tests can skip the check there.
int LiveWindowCount();
int LiveTimerCount();
// GDI objects (DCs included, stock objects not), icons and menus alive in the host layer.
int LiveGdiObjectCount();
int LiveIconCount();
int LiveMenuCount();

// ---- Host-only events --------------------------------------------------------------
// True on the host layer, false on Windows: for the few tests of host-only behaviour.
bool HostLayer();
// Each returns false where the platform cannot fake the event (Windows), so tests skip.
// The next message-loop wake-up sees a resume from sleep.
bool SimulateResume();
// Installs the session signals and raises SIGTERM: the next wake-up ends the session.
bool SimulateSessionEnd();
// Offers a module to LoadLibraryA/GetProcAddress, or takes one (even a built-in) away.
bool OfferModule(const std::string &name, const std::vector<std::pair<std::string, void (*)()>> &exports);
bool WithdrawModule(const std::string &name);

// ---- Used by the platform layer itself ----------------------------------------------
// The Win32 calls of both platforms consult these; tests have no need for them.
namespace internal {
unsigned long ClockSetFailure();  // 0 when sets succeed
void RecordClockSet(long long unixMs, bool local);
bool ReportedVersion(unsigned *major, unsigned *minor, unsigned *platformId);
bool FakeCursorPos(int *x, int *y);  // false: no fake input installed
bool FakeKeyDown(int virtualKey);
bool FakeInputActive();  // a fake cursor or key has been set since the last reset
// Records the call and returns the answer while captured; false when not captured.
bool CaptureMessageBox(const MessageBoxCall &call, int *answer);
// Records a tray call while captured.
void RecordShellNotify(const ShellNotifyCall &call);
// Records the call while captured and returns true: the caller then starts nothing.
bool CaptureShellExecute(const ShellExecuteCall &call);
// Records the menu and returns the pick while captured; false when not captured.
bool CapturePopupMenu(const PopupMenuCall &call, unsigned *choice);
bool ReportedCommonControlsVersion(unsigned *version);  // false: ask the system
int ReportedVisualStyles();                             // -1: ask the system
int ReportedBalloonsStayOnScreen();                     // -1: the platform's truth
unsigned FakeDoubleClickTime();                         // 0: not faked
void RecordMessageBeep();
unsigned long MutexFailure(bool create);  // 0 when that mutex call goes through
bool TakeTrayAddFailure();                // true: this NIM_ADD is to fail
int FakeLogonTask();                      // -1: ask the system
}  // namespace internal

}  // namespace testhooks
