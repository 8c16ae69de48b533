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

// ---- Leak checks ------------------------------------------------------------------
// Windows and timers alive in the host layer; -1 where the count is not kept (Windows),
// so tests can skip the check there.
int LiveWindowCount();
int LiveTimerCount();

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
}  // namespace internal

}  // namespace testhooks
