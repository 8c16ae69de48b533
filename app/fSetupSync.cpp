// The synchronisation controller of the main form: when an attempt is made, what is
// done with the server's answer, the tooltip text, the process priority around ticks,
// and the end of a run-once start.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "app/BIOS.h"
#include "app/LogonTask.h"
#include "app/VersionInfo.h"
#include "app/fSetup.h"
#include "platform/logontask.h"
#include "platform/uistate.h"
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
// Failed attempts in a row before the user is warned and other servers are tried.
constexpr int FailuresBeforeWarning = 3;
// Retries after a failure wait 1, 2, 4 … minutes, at most one interval.
constexpr UINT RetryBaseMs = 60000;
// Run-once tries again at once (after a breath): the chosen server three times, then
// a few more of the list, one each.
constexpr UINT RunOnceRetryMs = 500;
constexpr int RunOnceOtherServers = 3;
// Japan's offset from UTC in minutes, and the span after this version's date within
// which a server's time is believed (a 32-bit NTP era counted from it).
constexpr int JstOffsetMinutes = 9 * 60;
constexpr double BelievableDays = 68 * 365.25;

bool IsBelievableServerTime(TDateTime utc) {
  const TDateTime made = EncodeDate(HL_VER_DATE_YEAR, HL_VER_DATE_MONTH, HL_VER_DATE_DAY);
  return utc >= made && utc < made + BelievableDays;  // false for NaN too
}

// Recordings start on the full and the half hour: keep the clock still around them.
bool IsDeferralMinute(int minute) { return minute == 0 || (minute >= 27 && minute <= 30) || minute >= 57; }

bool IsNtPlatform() {
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = 148;
  GetVersionExA(&info);
  return info.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

// The system's long time of a moment.
std::string TimeText(const SYSTEMTIME &st) {
  char time[80] = {};
  if (!GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &st, nullptr, time, sizeof time)) time[0] = 0;
  return time;
}

// The system's short date, and its long time unless the moment is midnight.
std::string DateTimeText(TDateTime value) {
  const SYSTEMTIME st = DateTimeToSystemTime(value);
  char date[80] = {};
  if (!GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, date, sizeof date)) date[0] = 0;
  std::string text = date;
  if (st.wHour || st.wMinute || st.wSecond || st.wMilliseconds) text += ' ' + TimeText(st);
  return text;
}

TDateTime LocalNow() {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  return SystemTimeToDateTime(now);
}

// Host names compare without regard to letter case (CP932-aware lower-casing).
bool SameServer(std::string a, std::string b) {
  if (a.size() != b.size()) return false;
  CharLowerBuffA(a.data(), static_cast<DWORD>(a.size()));
  CharLowerBuffA(b.data(), static_cast<DWORD>(b.size()));
  return a == b;
}

std::string FailureText(TNsSNTPFailure failure, TSntpAnswerCheck refusal) {
  if (failure == sfNameNotResolved) return "サーバー名からアドレスを得られません。";
  switch (refusal) {
    case sacAccepted:
      return "応答がありません。";
    case sacKissOfDeath:
      return "サーバーが応答を拒否しました（Kiss-o'-Death）。";
    case sacUnsynchronized:
    case sacBadStratum:
    case sacRootDistance:
      return "サーバーの時計が同期していません。";
    case sacBadOriginate:
      return "要求に合わない応答でした（偽の応答の疑い）。";
    default:
      return "応答が正しくありません。";
  }
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

void TSetup::ShowBalloon(const std::string &Title, const std::string &Text, TBalloonIcon Kind) {
  TrayIcon->DisplayBalloon(Title, Text, Kind, BalloonSeconds);
  FBalloonShown = true;
}

std::vector<std::string> TSetup::FailoverTurns(const std::string &Chosen) const {
  // The chosen server, then the list's entries after it (from the top when it is not
  // listed), each name once.
  std::vector<std::string> turns{Chosen};
  const TStrings &items = *ServerList->Items();
  int from = 0;
  for (int i = 0; i < items.Count(); ++i)
    if (SameServer(items.Get(i), Chosen)) {
      from = i + 1;
      break;
    }
  for (int k = 0; k < items.Count(); ++k) {
    const std::string &name = items.Get((from + k) % items.Count());
    if (name.empty()) continue;
    bool seen = false;
    for (const std::string &t : turns) seen = seen || SameServer(t, name);
    if (!seen) turns.push_back(name);
  }
  return turns;
}

std::string TSetup::ServerForAttempt(const std::string &Chosen) const {
  if (FFailures < FailuresBeforeWarning) return Chosen;
  const std::vector<std::string> turns = FailoverTurns(Chosen);
  return turns[static_cast<size_t>(FFailures - FailuresBeforeWarning + 1) % turns.size()];
}

void TSetup::StartSync() {
  const std::string chosen = UseNTPServer->Text();
  if (chosen.empty()) return;
  const std::string server = ServerForAttempt(chosen);
  SNTPC->Server = server;
  if (CheckTiming->Checked()) {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    if (IsDeferralMinute(now.wMinute)) {
      FDeferred = true;
      ShowBalloon("Information", "同期は5分後に行なわれます。", biInfo);
      CheckTimer->SetInterval(DeferralDelayMs);
      return;
    }
  }
  FAttemptServer = server;
  FAttemptOpen = true;
  FTimingExempt = false;
  ++FRunOnceAttempts;
  NoteAdvance();
  SNTPC->RequestTime();  // a name that gives no address fails here and now
}

void TSetup::NoteAdvance() {
  FAdvanceMin = OffsetMin->Value();
  FAdvanceSec = OffsetSec->Value();
  FAdvanceNoted = true;
}

void TSetup::AttemptFailed(const std::string &Reason) {
  if (!FAttemptOpen) return;  // this attempt's end was counted already
  FAttemptOpen = false;
  SetPriorityClass(GetCurrentProcess(), IDLE_PRIORITY_CLASS);
  ++FFailures;
  FLastFailureAt = LocalNow();
  TrayIcon->SetHint(FailureStatusText());
  const int others = std::min(RunOnceOtherServers, std::max(0, ServerList->Items()->Count() - 1));
  const bool runOnceRetries =
      FRunOnce && FRunOnceAttempts < FailuresBeforeWarning + others && !UseNTPServer->Text().empty();
  if (FFailures >= FailuresBeforeWarning && !FFailureWarned) {
    FFailureWarned = true;
    std::string text = "NTPサーバー " + FAttemptServer + " と" + std::to_string(FFailures) +
                       "回続けて同期できませんでした。\r\n" + Reason;
    // Only when there is another server to ask, and another attempt to ask it.
    if (FailoverTurns(UseNTPServer->Text()).size() > 1 && (!FRunOnce || runOnceRetries))
      text += "\r\nサーバーリストの次のサーバーを試します。";
    ShowBalloon("同期警告", text, biWarning);
  }
  if (FRunOnce) {
    if (runOnceRetries) {
      if (FRunOnceTimer) FRunOnceTimer->SetEnabled(false);
      CheckTimer->SetInterval(RunOnceRetryMs);
      CheckTimer->SetEnabled(true);
    } else {
      FinishRunOnce(false, Reason);
    }
    return;
  }
  // Sooner than a full interval, never more often than once a minute.
  const int shift = std::min(FFailures - 1, 20);
  const uint64_t delay = std::min<uint64_t>(uint64_t(RetryBaseMs) << shift,
                                            std::max<uint64_t>(RetryBaseMs, static_cast<uint32_t>(UpdateIntervalMs())));
  CheckTimer->SetInterval(static_cast<UINT>(delay));
  CheckTimer->SetEnabled(true);
}

std::string TSetup::FailureStatusText() {
  const SYSTEMTIME at = DateTimeToSystemTime(FLastFailureAt);
  std::string text = Application->Title() + "\r\nNTP Server : " + FAttemptServer + "\r\n前回の同期に失敗しました（" +
                     TimeText(at) + "）。\r\n";
  if (FLastSync > 0.0)
    text += "時計の設定は " + DateTimeText(FLastSync) + " が最後です。";
  else
    text += "時計はまだ設定されていません。";
  return text;
}

void TSetup::CheckTimerTimer(TObject *) {
  SetPriorityClass(GetCurrentProcess(), NORMAL_PRIORITY_CLASS);
  CheckTimer->SetEnabled(false);
  CheckTimer->SetInterval(static_cast<UINT>(UpdateIntervalMs()));
  // A tick is the attempt a deferral promised; it may defer again.
  FDeferred = false;
  FResumeAnnounced = false;
  // Its window is made now: nothing slow may stand between the query and its answer.
  if (FRunOnce) MakeRunOnceTimer();
  try {
    StartSync();
  } catch (std::exception &e) {
    // The schedule survives a failed attempt; the error goes on to the general report.
    AttemptFailed(e.what());
    CheckTimer->SetEnabled(!FRunOnceEnded);
    SetPriorityClass(GetCurrentProcess(), IDLE_PRIORITY_CLASS);
    throw;
  }
  if (FRunOnce && !FDeferred && !FRunOnceEnded) {
    const SOCKET query = SNTPC->QuerySocket();
    if (query != 0 && query != INVALID_SOCKET) {
      // Give the answer (or the client's time-out) a chance before the program ends.
      FRunOnceWaiting = true;
      ArmRunOnceTimer(SNTPC->QueryTimeout() + RunOnceMarginMs);
    } else if (UseNTPServer->Text().empty()) {
      FinishRunOnce(false, "NTPサーバーが指定されていません。");  // nothing was sent: nothing to wait for
    }
  }
  CheckTimer->SetEnabled(!FRunOnceEnded);
  // The answer is awaited at the chosen priority: an idle-class process may wait long.
  const SOCKET query = SNTPC->QuerySocket();
  if (query != 0 && query != INVALID_SOCKET)
    ApplyPriority();
  else
    SetPriorityClass(GetCurrentProcess(), IDLE_PRIORITY_CLASS);
}

void TSetup::MakeRunOnceTimer() {
  if (FRunOnceTimer) return;
  FRunOnceTimer = new TTimer(this);
  FRunOnceTimer->SetEnabled(false);
  FRunOnceTimer->SetOnTimer([this](TObject *) { RunOnceTimerTimer(); });
}

void TSetup::ArmRunOnceTimer(UINT Ms) {
  MakeRunOnceTimer();
  FRunOnceTimer->SetEnabled(false);
  FRunOnceTimer->SetInterval(Ms);
  FRunOnceTimer->SetEnabled(true);
}

void TSetup::RunOnceTimerTimer() {
  FRunOnceTimer->SetEnabled(false);
  if (!FRunOnceEnded) {
    // The client never said how its query ended.
    if (FRunOnceWaiting) {
      FRunOnceWaiting = false;
      SNTPC->CloseQuerySocket();
      FinishRunOnce(false, "応答がありません。");
    }
    return;
  }
  CloseForRunOnce();
}

void TSetup::CloseForRunOnce() {
  // With the dialog open the close only hides it; the next turn ends the program.
  Close();
  if (!Application->Terminated()) ArmRunOnceTimer(SNTPC->QueryTimeout() + RunOnceMarginMs);
}

void TSetup::FinishRunOnce(bool ClockSet, const std::string &Reason) {
  if (!FRunOnce || FRunOnceEnded) return;
  FRunOnceEnded = true;
  FRunOnceWaiting = false;
  FExitCode = ClockSet ? 0 : 1;
  CheckTimer->SetEnabled(false);
  if (!ClockSet && !Reason.empty())
    ShowBalloon("同期エラー", "時計を合わせられませんでした。\r\n" + Reason, biError);
  // A balloon on the screen goes with the icon: let it be read first.
  if (FBalloonShown && BalloonsStayOnScreen())
    ArmRunOnceTimer(BalloonSeconds * 1000u);
  else
    CloseForRunOnce();
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
    ShowBalloon("Information", "1分後に同期処理を行ないます。", biInfo);
  }
  CheckTimer->SetInterval(ResumeDelayMs);
  CheckTimer->SetEnabled(true);
}

void TSetup::SNTPCSNTPTime(TObject *, TDateTime TimeStamp, double, double, uint8_t, bool) {
  if (!IsBelievableServerTime(TimeStamp)) {
    // An unset or rolled-over server would move the clock by years.
    AttemptFailed("応答の時刻が正しくありません。");
    return;
  }
  const bool timingExempt = FTimingExempt;
  FAttemptOpen = false;
  FRunOnceWaiting = false;
  SYSTEMTIME st{};
  try {
    const int32_t minutes = FAdvanceNoted ? FAdvanceMin : OffsetMin->Value();
    const int32_t seconds = FAdvanceNoted ? FAdvanceSec : OffsetSec->Value();
    FAdvanceNoted = false;
    TDateTime t = TimeStamp + EncodeTime(JstHours, 0, 0, 0);
    t = t + EncodeTime(minutes / 60, minutes % 60, seconds, 0);
    t = t + SNTPC->SinceAnswerArrival();  // the answer's time went on while it waited here
    st = DateTimeToSystemTime(t);
  } catch (std::exception &e) {
    SetPriorityClass(GetCurrentProcess(), IDLE_PRIORITY_CLASS);
    FinishRunOnce(false, e.what());
    throw;
  }
  // A slow clock checked at :26 must not be set into the minutes being kept still.
  if (CheckTiming->Checked() && !timingExempt && IsDeferralMinute(st.wMinute)) {
    FDeferred = true;
    SetPriorityClass(GetCurrentProcess(), IDLE_PRIORITY_CLASS);
    if (FRunOnceTimer && !FRunOnceEnded) FRunOnceTimer->SetEnabled(false);
    ShowBalloon("Information", "同期は5分後に行なわれます。", biInfo);
    CheckTimer->SetInterval(DeferralDelayMs);
    CheckTimer->SetEnabled(true);
    return;
  }
  // Twice, as Windows asks: the first set may land on the other side of a
  // daylight-saving change, which the second corrects.
  const bool set = SetLocalTime(&st) && SetLocalTime(&st);
  const DWORD error = set ? 0 : GetLastError();
  // Waiting is over: back to idle until the next tick.
  SetPriorityClass(GetCurrentProcess(), IDLE_PRIORITY_CLASS);
  if (!set) {
    // Once per run of refusals: a machine without the privilege would hear it each tick.
    // The server did answer, so this is no failed attempt: other servers would not help.
    if (!FClockSetFailing) {
      FClockSetFailing = true;
      std::string text = "時計を設定できませんでした。";
      if (error == ERROR_PRIVILEGE_NOT_HELD) {
        text += "管理者権限が必要です。";
        // Only where the menu offers the logon task (not on the host layer).
        if (QueryLogonTask(LogonTaskName(GetLogonUserName())) != TLogonTaskState::Unavailable)
          text += "トレイメニューの「ログオン時に管理者として起動」で設定できます。";
      }
      const std::string reason = SystemErrorText(error);
      if (!reason.empty()) text += "\r\n" + reason;
      ShowBalloon("時刻設定エラー", text, biError);
    }
    FinishRunOnce(false);
    return;
  }
  FClockSetFailing = false;
  FFailures = 0;
  FFailureWarned = false;
  FLastSync = LocalNow();
  TrayIcon->SetHint(StatusText());
  // The clock now reads Japan's time as local time; elsewhere every other program is off.
  SYSTEMTIME utc{};
  GetSystemTime(&utc);
  const double offset = (FLastSync - SystemTimeToDateTime(utc)) * 1440.0;
  if (!FZoneWarned && std::fabs(offset - JstOffsetMinutes) > 1.0) {
    FZoneWarned = true;
    ShowBalloon("タイムゾーン警告",
                "このPCのタイムゾーンは日本標準時（UTC+9）ではありません。時計を日本時間に合わせたため、"
                "他のプログラムが示す時刻はずれます。",
                biWarning);
  }
  FinishRunOnce(true);
}

void TSetup::SNTPCError(TObject *, SOCKET, int32_t, const std::string &ErrStr) {
  SNTPC->CloseQuerySocket();  // its time-out would count the same attempt again
  AttemptFailed(ErrStr);
  Application->ErrorBox(ErrStr, "エラー");
}

void TSetup::SNTPCQueryFailed(TObject *, TNsSNTPFailure Failure, TSntpAnswerCheck LastRefusal) {
  AttemptFailed(FailureText(Failure, LastRefusal));
}

std::string TSetup::StatusText() {
  // The server that answered, which may be one of the list's after failures.
  const std::string server = FAttemptServer.empty() ? UseNTPServer->Text() : FAttemptServer;
  const std::string minutes = std::to_string(UpdateTime->Value());
  if (IsNtPlatform())
    return Application->Title() + "\r\nNTP Server : " + server + "\r\n同期は" + minutes +
           "分ごとです。\r\n前回は " + DateTimeText(FLastSync) + " に同期を行ないました。";
  return server + "@" + minutes + "min." + " LastSync:" + DateTimeText(FLastSync);
}
