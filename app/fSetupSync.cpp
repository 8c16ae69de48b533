// The synchronisation controller of the main form: when an attempt is made, what is
// done with the server's answer, the tooltip text, the process priority around ticks,
// and the end of a run-once start.
#include <cmath>
#include <cstdint>
#include <string>

#include "app/fSetup.h"
#include "platform/winapi.h"

namespace {

// The clock is set to Japan Standard Time, whatever the machine's time zone says.
constexpr int JstHours = 9;
constexpr UINT DeferralDelayMs = 300000;
constexpr UINT ResumeDelayMs = 60000;
constexpr DWORD ResumeBalloonPauseMs = 50;
constexpr uint8_t BalloonSeconds = 10;
// A run-once start waits this long beyond the client's own query time-out, so that
// the client has given up before the program ends.
constexpr UINT RunOnceMarginMs = 2000;
// An answer without a transmit time decodes to the NTP epoch, 1900-01-01 (2.0).
constexpr TDateTime NtpEpoch = 2.0;

// Recordings start on the full and the half hour: keep the clock still around them.
bool IsDeferralMinute(int minute) { return minute == 0 || (minute >= 27 && minute <= 30) || minute >= 57; }

bool IsNtPlatform() {
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = 148;
  GetVersionExA(&info);
  return info.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

// The system's short date, and its long time unless the moment is midnight.
std::string DateTimeText(TDateTime value) {
  const SYSTEMTIME st = DateTimeToSystemTime(value);
  char date[80] = {}, time[80] = {};
  if (!GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, date, sizeof date)) date[0] = 0;
  std::string text = date;
  if (st.wHour || st.wMinute || st.wSecond || st.wMilliseconds) {
    if (!GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &st, nullptr, time, sizeof time)) time[0] = 0;
    text += ' ';
    text += time;
  }
  return text;
}

std::string SystemErrorText(DWORD code) {
  char buffer[512] = {};
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                           buffer, sizeof buffer, nullptr);
  std::string text(buffer, n);
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text;
}

}  // namespace

int32_t TSetup::UpdateIntervalMs() {
  // Wraps like the 32-bit arithmetic it stands for instead of overflowing.
  return static_cast<int32_t>(static_cast<uint32_t>(UpdateTime->Value()) * 60000u);
}

void TSetup::ApplyPriority() {
  switch (PRIORITY->ItemIndex()) {
    case 0:
      SetPriorityClass(GetCurrentProcess(), HIGH_PRIORITY_CLASS);
      break;
    case 1:
      SetPriorityClass(GetCurrentProcess(), NORMAL_PRIORITY_CLASS);
      break;
    case 2:
      SetPriorityClass(GetCurrentProcess(), IDLE_PRIORITY_CLASS);
      break;
    default:
      break;
  }
}

void TSetup::StartSync() {
  const std::string server = UseNTPServer->Text();
  if (server.empty()) return;
  SNTPC->Server = server;
  if (CheckTiming->Checked()) {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    if (IsDeferralMinute(now.wMinute)) {
      FDeferred = true;
      TrayIcon->DisplayBalloon("Information", "同期は5分後に行なわれます。", biInfo, BalloonSeconds);
      CheckTimer->SetInterval(DeferralDelayMs);
      return;
    }
  }
  SNTPC->RequestTime();
}

void TSetup::CheckTimerTimer(TObject *) {
  SetPriorityClass(GetCurrentProcess(), NORMAL_PRIORITY_CLASS);
  CheckTimer->SetEnabled(false);
  CheckTimer->SetInterval(static_cast<UINT>(UpdateIntervalMs()));
  // A tick is the attempt a deferral promised; it may defer again.
  FDeferred = false;
  FResumeAnnounced = false;
  try {
    StartSync();
  } catch (...) {
    // The schedule survives a failed attempt; the error goes on to the general report.
    CheckTimer->SetEnabled(true);
    SetPriorityClass(GetCurrentProcess(), IDLE_PRIORITY_CLASS);
    throw;
  }
  if (FRunOnce && !FDeferred) {
    const SOCKET query = SNTPC->QuerySocket();
    if (query != 0 && query != INVALID_SOCKET) {
      // Give the answer (or the client's time-out) a chance before the program ends.
      FRunOnceWaiting = true;
      if (!FRunOnceTimer) {
        FRunOnceTimer = new TTimer(this);
        FRunOnceTimer->SetEnabled(false);
        FRunOnceTimer->SetOnTimer([this](TObject *) { FinishRunOnce(); });
      }
      FRunOnceTimer->SetEnabled(false);
      FRunOnceTimer->SetInterval(SNTPC->QueryTimeout() + RunOnceMarginMs);
      FRunOnceTimer->SetEnabled(true);
    } else {
      Close();  // nothing was sent: nothing to wait for
    }
  }
  CheckTimer->SetEnabled(true);
  // The answer is awaited at the chosen priority: an idle-class process may wait long.
  const SOCKET query = SNTPC->QuerySocket();
  if (query != 0 && query != INVALID_SOCKET)
    ApplyPriority();
  else
    SetPriorityClass(GetCurrentProcess(), IDLE_PRIORITY_CLASS);
}

void TSetup::FinishRunOnce() {
  if (!FRunOnceWaiting) return;
  FRunOnceWaiting = false;
  if (FRunOnceTimer) FRunOnceTimer->SetEnabled(false);
  // With the dialog open this only hides it; a later tick tries again.
  Close();
}

void TSetup::WMPowerBroadcast(TMessage &Message) {
  TForm::WndProc(Message);
  const WPARAM event = Message.WParam;
  const bool userResume =
      event == PBT_APMRESUMECRITICAL || event == PBT_APMRESUMESUSPEND || event == PBT_APMRESUMESTANDBY;
  if (event == PBT_APMSUSPEND) FResumeAnnounced = false;
  // A machine woken by a timer with nobody at it hears only the automatic resume; when
  // the user's resume follows, the balloon has been shown already.
  if (event != PBT_APMRESUMEAUTOMATIC && !userResume) return;
  const bool announce = !(userResume && FResumeAnnounced);
  FResumeAnnounced = event == PBT_APMRESUMEAUTOMATIC;
  if (announce) {
    SetForegroundWindow(Application->Handle());
    Sleep(ResumeBalloonPauseMs);
    TrayIcon->DisplayBalloon("Information", "1分後に同期処理を行ないます。", biInfo, BalloonSeconds);
  }
  CheckTimer->SetInterval(ResumeDelayMs);
  CheckTimer->SetEnabled(true);
}

void TSetup::SNTPCSNTPTime(TObject *, TDateTime TimeStamp, double, double, uint8_t, bool) {
  // A run-once start ends once the answer is dealt with, whatever came of it.
  try {
    // Refuses the NTP epoch and anything before it, NaN included.
    if (!(TimeStamp > NtpEpoch)) {
      FinishRunOnce();
      return;
    }
    const int32_t minutes = OffsetMin->Value();
    TDateTime t = TimeStamp + EncodeTime(JstHours, 0, 0, 0);
    t = t + EncodeTime(minutes / 60, minutes % 60, OffsetSec->Value(), 0);
    t = t + SNTPC->SinceAnswerArrival();  // the answer's time went on while it waited here
    const SYSTEMTIME st = DateTimeToSystemTime(t);
    if (!SetLocalTime(&st)) {
      const DWORD error = GetLastError();
      // Once per run of refusals: a machine without the privilege would hear it each tick.
      if (!FClockSetFailing) {
        FClockSetFailing = true;
        std::string text = "時計を設定できませんでした。";
        if (error == ERROR_PRIVILEGE_NOT_HELD) text += "管理者権限が必要です。";
        const std::string reason = SystemErrorText(error);
        if (!reason.empty()) text += "\r\n" + reason;
        TrayIcon->DisplayBalloon("時刻設定エラー", text, biError, BalloonSeconds);
      }
    } else {
      FClockSetFailing = false;
      SYSTEMTIME now{};
      GetLocalTime(&now);
      FLastSync = SystemTimeToDateTime(now);
      TrayIcon->SetHint(StatusText());
    }
  } catch (...) {
    SetPriorityClass(GetCurrentProcess(), IDLE_PRIORITY_CLASS);
    FinishRunOnce();
    throw;
  }
  SetPriorityClass(GetCurrentProcess(), IDLE_PRIORITY_CLASS);
  FinishRunOnce();
}

void TSetup::SNTPCError(TObject *, SOCKET, int32_t, const std::string &ErrStr) {
  SetPriorityClass(GetCurrentProcess(), IDLE_PRIORITY_CLASS);
  Application->MessageBox(ErrStr, "エラー", MB_OK | MB_ICONERROR);
  FinishRunOnce();
}

std::string TSetup::StatusText() {
  const std::string server = UseNTPServer->Text();
  const std::string minutes = std::to_string(UpdateTime->Value());
  if (IsNtPlatform())
    return Application->Title() + "\r\nNTP Server : " + server + "\r\n同期は" + minutes +
           "分ごとです。\r\n前回は " + DateTimeText(FLastSync) + " に同期を行ないました。";
  return server + "@" + minutes + "min." + " LastSync:" + DateTimeText(FLastSync);
}
