// Shared state of the test seam. The Win32 calls on both platforms ask it first; with
// nothing installed it stays out of the way.
#include "platform/testhooks.h"

#include <chrono>
#include <map>
#include <mutex>

namespace testhooks {
namespace {

struct FakeClock {
  bool installed = false;
  long long baseUtcMs = 0;  // what the clock read at baseSteady
  std::chrono::steady_clock::time_point baseSteady;
  unsigned long failure = 0;
  std::vector<ClockSet> sets;
};

struct Version {
  bool overridden = false;
  unsigned major = 0, minor = 0, platformId = 0;
};

struct Input {
  bool cursorSet = false;
  int x = 0, y = 0;
  std::map<int, bool> keys;
};

struct Boxes {
  bool captured = false;
  std::function<int(const MessageBoxCall &)> answer;
  std::vector<MessageBoxCall> calls;
};

struct Shell {
  bool notifyCaptured = false;
  std::vector<ShellNotifyCall> notifyCalls;
  bool executeCaptured = false;
  std::vector<ShellExecuteCall> executeCalls;
};

struct Menus {
  bool captured = false;
  std::function<unsigned(const PopupMenuCall &)> choose;
  std::vector<PopupMenuCall> calls;
};

struct UiState {
  unsigned commonControls = 0;  // 0: real
  int visualStyles = -1;        // -1: real
  int balloonsOnScreen = -1;    // -1: real
  unsigned doubleClickMs = 0;   // 0: real
};

// The seam is normally touched from one thread, but a child thread of a test may read
// the clock; one lock keeps that harmless.
std::recursive_mutex &Lock() {
  static std::recursive_mutex m;
  return m;
}
FakeClock &Clock() {
  static FakeClock c;
  return c;
}
Version &TheVersion() {
  static Version v;
  return v;
}
Input &TheInput() {
  static Input i;
  return i;
}
Boxes &TheBoxes() {
  static Boxes b;
  return b;
}

Shell &TheShell() {
  static Shell s;
  return s;
}
Menus &TheMenus() {
  static Menus m;
  return m;
}
UiState &TheUiState() {
  static UiState u;
  return u;
}

long long RealUtcMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

}  // namespace

void InstallFakeClock() {
  std::lock_guard<std::recursive_mutex> g(Lock());
  FakeClock &c = Clock();
  if (c.installed) return;
  // Starts at the real time, so code that merely reads the clock sees a sensible value.
  c.installed = true;
  c.baseUtcMs = RealUtcMs();
  c.baseSteady = std::chrono::steady_clock::now();
}

void RemoveFakeClock() {
  std::lock_guard<std::recursive_mutex> g(Lock());
  Clock().installed = false;
}

bool FakeClockInstalled() {
  std::lock_guard<std::recursive_mutex> g(Lock());
  return Clock().installed;
}

void SetFakeUtcMs(long long unixMs) {
  std::lock_guard<std::recursive_mutex> g(Lock());
  Clock().baseUtcMs = unixMs;
  Clock().baseSteady = std::chrono::steady_clock::now();
}

long long FakeUtcMs() {
  std::lock_guard<std::recursive_mutex> g(Lock());
  const FakeClock &c = Clock();
  auto elapsed = std::chrono::steady_clock::now() - c.baseSteady;
  return c.baseUtcMs + std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count();
}

void FailClockSets(unsigned long error) {
  std::lock_guard<std::recursive_mutex> g(Lock());
  Clock().failure = error;
}

const std::vector<ClockSet> &ClockSets() {
  std::lock_guard<std::recursive_mutex> g(Lock());
  return Clock().sets;
}

void ClearClockSets() {
  std::lock_guard<std::recursive_mutex> g(Lock());
  Clock().sets.clear();
}

void SetReportedVersion(unsigned major, unsigned minor, unsigned platformId) {
  std::lock_guard<std::recursive_mutex> g(Lock());
  TheVersion() = Version{true, major, minor, platformId};
}

void ResetReportedVersion() {
  std::lock_guard<std::recursive_mutex> g(Lock());
  TheVersion() = Version{};
}

void SetFakeCursorPos(int x, int y) {
  std::lock_guard<std::recursive_mutex> g(Lock());
  TheInput().cursorSet = true;
  TheInput().x = x;
  TheInput().y = y;
}

void SetFakeKeyDown(int virtualKey, bool down) {
  std::lock_guard<std::recursive_mutex> g(Lock());
  TheInput().keys[virtualKey] = down;
}

void ResetFakeInput() {
  std::lock_guard<std::recursive_mutex> g(Lock());
  TheInput() = Input{};
}

void CaptureMessageBoxes(std::function<int(const MessageBoxCall &)> answer) {
  std::lock_guard<std::recursive_mutex> g(Lock());
  TheBoxes().captured = true;
  TheBoxes().answer = std::move(answer);
}

void ReleaseMessageBoxes() {
  std::lock_guard<std::recursive_mutex> g(Lock());
  TheBoxes().captured = false;
  TheBoxes().answer = nullptr;
}

bool MessageBoxesCaptured() {
  std::lock_guard<std::recursive_mutex> g(Lock());
  return TheBoxes().captured;
}

const std::vector<MessageBoxCall> &MessageBoxes() {
  std::lock_guard<std::recursive_mutex> g(Lock());
  return TheBoxes().calls;
}

void ClearMessageBoxes() {
  std::lock_guard<std::recursive_mutex> g(Lock());
  TheBoxes().calls.clear();
}

int DefaultMessageBoxButton(unsigned type) {
  // Buttons of each MB_ type in their order on the box (winuser.h values).
  static const int kButtons[][3] = {
      {1, 0, 0},   // MB_OK: IDOK
      {1, 2, 0},   // MB_OKCANCEL
      {3, 4, 5},   // MB_ABORTRETRYIGNORE
      {6, 7, 2},   // MB_YESNOCANCEL
      {6, 7, 0},   // MB_YESNO
      {4, 2, 0},   // MB_RETRYCANCEL
      {2, 10, 11}  // MB_CANCELTRYCONTINUE: IDCANCEL, IDTRYAGAIN, IDCONTINUE
  };
  unsigned kind = type & 0xF;
  if (kind >= sizeof kButtons / sizeof kButtons[0]) kind = 0;
  unsigned index = (type >> 8) & 0xF;
  // A default beyond the last button falls back to the first, as Windows does.
  if (index > 2 || kButtons[kind][index] == 0) index = 0;
  return kButtons[kind][index];
}

void CaptureShellNotify() {
  std::lock_guard<std::recursive_mutex> g(Lock());
  TheShell().notifyCaptured = true;
}

void ReleaseShellNotify() {
  std::lock_guard<std::recursive_mutex> g(Lock());
  TheShell().notifyCaptured = false;
}

bool ShellNotifyCaptured() {
  std::lock_guard<std::recursive_mutex> g(Lock());
  return TheShell().notifyCaptured;
}

const std::vector<ShellNotifyCall> &ShellNotifyCalls() {
  std::lock_guard<std::recursive_mutex> g(Lock());
  return TheShell().notifyCalls;
}

void ClearShellNotifyCalls() {
  std::lock_guard<std::recursive_mutex> g(Lock());
  TheShell().notifyCalls.clear();
}

void CaptureShellExecute() {
  std::lock_guard<std::recursive_mutex> g(Lock());
  TheShell().executeCaptured = true;
}

void ReleaseShellExecute() {
  std::lock_guard<std::recursive_mutex> g(Lock());
  TheShell().executeCaptured = false;
}

bool ShellExecuteCaptured() {
  std::lock_guard<std::recursive_mutex> g(Lock());
  return TheShell().executeCaptured;
}

const std::vector<ShellExecuteCall> &ShellExecuteCalls() {
  std::lock_guard<std::recursive_mutex> g(Lock());
  return TheShell().executeCalls;
}

void ClearShellExecuteCalls() {
  std::lock_guard<std::recursive_mutex> g(Lock());
  TheShell().executeCalls.clear();
}

void CapturePopupMenus(std::function<unsigned(const PopupMenuCall &)> choose) {
  std::lock_guard<std::recursive_mutex> g(Lock());
  TheMenus().captured = true;
  TheMenus().choose = std::move(choose);
}

void ReleasePopupMenus() {
  std::lock_guard<std::recursive_mutex> g(Lock());
  TheMenus().captured = false;
  TheMenus().choose = nullptr;
}

bool PopupMenusCaptured() {
  std::lock_guard<std::recursive_mutex> g(Lock());
  return TheMenus().captured;
}

const std::vector<PopupMenuCall> &PopupMenuCalls() {
  std::lock_guard<std::recursive_mutex> g(Lock());
  return TheMenus().calls;
}

void ClearPopupMenuCalls() {
  std::lock_guard<std::recursive_mutex> g(Lock());
  TheMenus().calls.clear();
}

void SetReportedCommonControlsVersion(unsigned version) {
  std::lock_guard<std::recursive_mutex> g(Lock());
  TheUiState().commonControls = version;
}

void SetReportedVisualStyles(int inEffect) {
  std::lock_guard<std::recursive_mutex> g(Lock());
  TheUiState().visualStyles = inEffect < 0 ? -1 : (inEffect ? 1 : 0);
}

void SetReportedBalloonsStayOnScreen(int stay) {
  std::lock_guard<std::recursive_mutex> g(Lock());
  TheUiState().balloonsOnScreen = stay < 0 ? -1 : (stay ? 1 : 0);
}

void SetFakeDoubleClickTime(unsigned ms) {
  std::lock_guard<std::recursive_mutex> g(Lock());
  TheUiState().doubleClickMs = ms;
}

namespace {
unsigned &Beeps() {
  static unsigned count = 0;
  return count;
}
}  // namespace

unsigned MessageBeepCount() {
  std::lock_guard<std::recursive_mutex> g(Lock());
  return Beeps();
}

void ResetMessageBeepCount() {
  std::lock_guard<std::recursive_mutex> g(Lock());
  Beeps() = 0;
}

namespace {
struct StartUp {
  unsigned long openMutexFailure = 0, createMutexFailure = 0;
  unsigned trayAddFailures = 0;
  int logonTask = -1;
};
StartUp &TheStartUp() {
  static StartUp state;
  return state;
}
}  // namespace

void FailMutexCalls(unsigned long openError, unsigned long createError) {
  std::lock_guard<std::recursive_mutex> g(Lock());
  TheStartUp().openMutexFailure = openError;
  TheStartUp().createMutexFailure = createError;
}

void FailTrayAdds(unsigned count) {
  std::lock_guard<std::recursive_mutex> g(Lock());
  TheStartUp().trayAddFailures = count;
}

void SetFakeLogonTask(int state) {
  std::lock_guard<std::recursive_mutex> g(Lock());
  TheStartUp().logonTask = state < 0 ? -1 : (state ? 1 : 0);
}

namespace internal {

unsigned long ClockSetFailure() {
  std::lock_guard<std::recursive_mutex> g(Lock());
  return Clock().failure;
}

void RecordClockSet(long long unixMs, bool local) {
  std::lock_guard<std::recursive_mutex> g(Lock());
  Clock().sets.push_back(ClockSet{unixMs, local});
  SetFakeUtcMs(unixMs);
}

bool ReportedVersion(unsigned *major, unsigned *minor, unsigned *platformId) {
  std::lock_guard<std::recursive_mutex> g(Lock());
  const Version &v = TheVersion();
  if (!v.overridden) return false;
  *major = v.major;
  *minor = v.minor;
  *platformId = v.platformId;
  return true;
}

bool FakeCursorPos(int *x, int *y) {
  std::lock_guard<std::recursive_mutex> g(Lock());
  if (!TheInput().cursorSet) return false;
  *x = TheInput().x;
  *y = TheInput().y;
  return true;
}

bool FakeKeyDown(int virtualKey) {
  std::lock_guard<std::recursive_mutex> g(Lock());
  auto it = TheInput().keys.find(virtualKey);
  return it != TheInput().keys.end() && it->second;
}

bool FakeInputActive() {
  std::lock_guard<std::recursive_mutex> g(Lock());
  return TheInput().cursorSet || !TheInput().keys.empty();
}

bool CaptureMessageBox(const MessageBoxCall &call, int *answer) {
  std::function<int(const MessageBoxCall &)> fn;
  {
    std::lock_guard<std::recursive_mutex> g(Lock());
    if (!TheBoxes().captured) return false;
    TheBoxes().calls.push_back(call);
    fn = TheBoxes().answer;
  }
  // The answer runs unlocked: it may well call back into the seam.
  *answer = fn ? fn(call) : DefaultMessageBoxButton(call.type);
  return true;
}

void RecordShellNotify(const ShellNotifyCall &call) {
  std::lock_guard<std::recursive_mutex> g(Lock());
  if (TheShell().notifyCaptured) TheShell().notifyCalls.push_back(call);
}

bool CaptureShellExecute(const ShellExecuteCall &call) {
  std::lock_guard<std::recursive_mutex> g(Lock());
  if (!TheShell().executeCaptured) return false;
  TheShell().executeCalls.push_back(call);
  return true;
}

bool CapturePopupMenu(const PopupMenuCall &call, unsigned *choice) {
  std::function<unsigned(const PopupMenuCall &)> fn;
  {
    std::lock_guard<std::recursive_mutex> g(Lock());
    if (!TheMenus().captured) return false;
    TheMenus().calls.push_back(call);
    fn = TheMenus().choose;
  }
  // Unlocked, like a message box answer: the chooser may look at the seam or pump.
  *choice = fn ? fn(call) : 0;
  return true;
}

bool ReportedCommonControlsVersion(unsigned *version) {
  std::lock_guard<std::recursive_mutex> g(Lock());
  if (TheUiState().commonControls == 0) return false;
  *version = TheUiState().commonControls;
  return true;
}

int ReportedVisualStyles() {
  std::lock_guard<std::recursive_mutex> g(Lock());
  return TheUiState().visualStyles;
}

int ReportedBalloonsStayOnScreen() {
  std::lock_guard<std::recursive_mutex> g(Lock());
  return TheUiState().balloonsOnScreen;
}

unsigned FakeDoubleClickTime() {
  std::lock_guard<std::recursive_mutex> g(Lock());
  return TheUiState().doubleClickMs;
}

void RecordMessageBeep() {
  std::lock_guard<std::recursive_mutex> g(Lock());
  ++Beeps();
}

unsigned long MutexFailure(bool create) {
  std::lock_guard<std::recursive_mutex> g(Lock());
  return create ? TheStartUp().createMutexFailure : TheStartUp().openMutexFailure;
}

bool TakeTrayAddFailure() {
  std::lock_guard<std::recursive_mutex> g(Lock());
  if (TheStartUp().trayAddFailures == 0) return false;
  --TheStartUp().trayAddFailures;
  return true;
}

int FakeLogonTask() {
  std::lock_guard<std::recursive_mutex> g(Lock());
  return TheStartUp().logonTask;
}

}  // namespace internal
}  // namespace testhooks
