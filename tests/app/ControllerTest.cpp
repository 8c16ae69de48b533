// The synchronisation controller with the main form made for real: deferral around the
// full and half hour, the answer's arithmetic, refused answers and refused clock sets,
// priorities, resume events, the tooltip text and the run-once end.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
#include <thread>

#include "app/ServerList.h"
#include "app/LogonTask.h"
#include "app/VersionInfo.h"
#include "platform/logontask.h"
#include "app/fSelect.h"
#include "settings/IniFile.h"
#include "sntp/NsTime.h"
#include "sockets/NsMessages.h"
#include "tests/app/AppTestSupport.h"
#include "tests/peers/SntpPeers.h"

using apptest::Balloons;
using apptest::SetFakeLocalTime;
using apptest::SetupFixture;
using apptest::UtcMs;
using testsupport::Civil;

namespace {

const char *const DeferBalloon = "同期は5分後に行なわれます。";
const char *const ResumeBalloon = "1分後に同期処理を行ないます。";

// The server's transmit time as the client hands it over.
TDateTime UtcStamp(const SYSTEMTIME &st) { return SystemTimeToDateTime(st); }

// A server's answer to Request with the given transmit time (UTC).
std::vector<uint8_t> ServerAnswer(const std::vector<uint8_t> &Request, const SYSTEMTIME &Transmit) {
  std::vector<uint8_t> answer(48, 0);
  answer[0] = (4 << 3) | 4;  // version 4, server
  answer[1] = 2;
  answer[2] = 6;
  answer[3] = 0xEC;
  answer[5] = 0x01;  // root delay 1/256 s
  answer[9] = 0x02;  // root dispersion 2/256 s
  const TNtpTimestamp t = EncodeNtpTimestamp(SystemTimeToDateTime(Transmit));
  std::copy(t.begin(), t.end(), answer.begin() + 16);
  std::copy(Request.begin() + 40, Request.begin() + 48, answer.begin() + 24);
  std::copy(t.begin(), t.end(), answer.begin() + 32);
  std::copy(t.begin(), t.end(), answer.begin() + 40);
  return answer;
}

class ControllerTest : public SetupFixture {
 protected:
  // The local moment the last clock setting asked for. Each answer sets the clock
  // twice to the same value, so that a step across a daylight-saving change lands right.
  long long LastSetLocalMs() const {
    const auto &sets = testhooks::ClockSets();
    EXPECT_GE(sets.size(), 2u);
    if (sets.size() < 2) return 0;
    EXPECT_TRUE(sets.back().local);
    EXPECT_EQ(sets[sets.size() - 2].unixMs, sets.back().unixMs);
    EXPECT_EQ(sets[sets.size() - 2].local, sets.back().local);
    return sets.back().unixMs + apptest::LocalOffsetMs();
  }
  void Answer(TSetup *s, TDateTime stamp) { s->SNTPCSNTPTime(s->SNTPC, stamp, 0.0, 0.0, 2, false); }
  // The settings file: beside NTP.lst, named after the executable.
  static std::string SettingsIni(TSetup *s) {
    const std::string own = testsupport::OwnPath();
    return s->ListPath().substr(0, s->ListPath().size() - 7) +
           ChangeFileExt(own.substr(own.find_last_of("\\/") + 1), ".ini");
  }
};

TEST_F(ControllerTest, AttemptsAroundTheFullAndHalfHourAreDeferredByFiveMinutes) {
  TSetup *s = MakeSetup();
  const struct {
    WORD hour, minute, second;
    bool deferred;
  } rows[] = {
      {10, 27, 0, true},   {10, 30, 59, true}, {10, 57, 0, true}, {11, 0, 30, true},   {10, 29, 10, true},
      {10, 26, 59, false}, {10, 31, 0, false}, {11, 1, 0, false}, {10, 56, 59, false},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(testing::Message() << row.hour << ":" << row.minute << ":" << row.second);
    for (bool checkTiming : {true, false}) {
      s->SNTPC->CloseQuerySocket();
      testhooks::ClearShellNotifyCalls();
      s->CheckTiming->SetChecked(checkTiming);
      SetFakeLocalTime(Civil(2026, 12, 7, row.hour, row.minute, row.second));
      s->CheckTimerTimer(s->CheckTimer);
      const bool deferred = checkTiming && row.deferred;
      EXPECT_EQ(s->Deferred(), deferred) << "timing " << checkTiming;
      EXPECT_EQ(RequestOutstanding(s), !deferred);
      EXPECT_EQ(s->CheckTimer->Interval(), deferred ? 300000u : 30u * 60000u);
      EXPECT_TRUE(s->CheckTimer->Enabled());
      const auto balloons = Balloons();
      if (deferred) {
        ASSERT_EQ(balloons.size(), 1u);
        EXPECT_EQ(balloons[0].first, "Information");
        EXPECT_EQ(balloons[0].second, DeferBalloon);
      } else {
        EXPECT_TRUE(balloons.empty());
      }
    }
  }
  // An empty server field makes no attempt at all, not even a deferral.
  s->SNTPC->CloseQuerySocket();
  testhooks::ClearShellNotifyCalls();
  s->UseNTPServer->SetText("");
  s->CheckTiming->SetChecked(true);
  SetFakeLocalTime(Civil(2026, 12, 7, 10, 28));
  s->StartSync();
  EXPECT_FALSE(RequestOutstanding(s));
  EXPECT_TRUE(Balloons().empty());
}

TEST_F(ControllerTest, AnswerIsJapanTimePlusTheAdvance) {
  TSetup *s = MakeSetup();
  const struct {
    SYSTEMTIME utc;
    const char *minutes, *seconds;
    SYSTEMTIME local;
  } rows[] = {
      {Civil(2026, 12, 7, 1, 0, 0, 250), "0", "0", Civil(2026, 12, 7, 10, 0, 0, 250)},
      {Civil(2026, 12, 7, 1, 0, 0, 250), "90", "30", Civil(2026, 12, 7, 11, 30, 30, 250)},
      {Civil(2026, 12, 7, 23, 30), "0", "0", Civil(2026, 12, 8, 8, 30)},
      {Civil(2026, 12, 7, 1, 0), "1439", "59", Civil(2026, 12, 8, 9, 59, 59)},
      {Civil(2026, 12, 31, 20, 15, 0, 5), "0", "0", Civil(2027, 1, 1, 5, 15, 0, 5)},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(testing::Message() << row.minutes << " min " << row.seconds << " s");
    testhooks::ClearClockSets();
    s->OffsetMin->SetText(row.minutes);
    s->OffsetSec->SetText(row.seconds);
    Answer(s, UtcStamp(row.utc));
    ASSERT_EQ(testhooks::ClockSets().size(), 2u);
    EXPECT_EQ(LastSetLocalMs(), UtcMs(row.local));
    EXPECT_NE(s->LastSync(), 0.0);
  }
}

TEST_F(ControllerTest, AdvanceThatIsNoTimeOfDayRaisesAndLeavesEverythingAsItWas) {
  TSetup *s = MakeSetup();
  const std::string hint = s->TrayIcon->Hint();
  const struct {
    const char *minutes, *seconds;
  } rows[] = {{"1440", "0"}, {"0", "60"}, {"-1", "0"}, {"0", "-5"}};
  for (const auto &row : rows) {
    SCOPED_TRACE(testing::Message() << row.minutes << " min " << row.seconds << " s");
    s->OffsetMin->SetText(row.minutes);
    s->OffsetSec->SetText(row.seconds);
    EXPECT_THROW(Answer(s, UtcStamp(Civil(2026, 12, 7, 1))), EConvertError);
  }
  EXPECT_TRUE(testhooks::ClockSets().empty());
  EXPECT_EQ(s->LastSync(), 0.0);
  EXPECT_EQ(s->TrayIcon->Hint(), hint);
}

TEST_F(ControllerTest, AnswerWithoutAUsableTimeNeverReachesTheClock) {
  TSetup *s = MakeSetup();
  for (double stamp : {2.0, 1.5, 0.0, -3.0, std::numeric_limits<double>::quiet_NaN()}) {
    SCOPED_TRACE(stamp);
    EXPECT_NO_THROW(Answer(s, stamp));
  }
  EXPECT_TRUE(testhooks::ClockSets().empty());
  EXPECT_EQ(s->LastSync(), 0.0);
  // So is a time before this version was made, or an era later (an unset or
  // rolled-over server); this version's first day is a time like any other.
  const TDateTime made = EncodeDate(HL_VER_DATE_YEAR, HL_VER_DATE_MONTH, HL_VER_DATE_DAY);
  for (TDateTime stamp : {made - 1.0 / MSecsPerDay, EncodeDate(1999, 8, 22), made + 68 * 365.25, made + 40000.0}) {
    SCOPED_TRACE(stamp);
    Answer(s, stamp);
  }
  EXPECT_TRUE(testhooks::ClockSets().empty());
  Answer(s, made);
  EXPECT_EQ(testhooks::ClockSets().size(), 2u);
}

TEST_F(ControllerTest, RefusedClockSetIsNoSuccessAndIsReportedOncePerRun) {
  TSetup *s = MakeSetup();
  const std::string hint = s->TrayIcon->Hint();
  auto errorBalloons = [] {
    int n = 0;
    for (const auto &b : Balloons())
      if (b.first == "時刻設定エラー") ++n;
    return n;
  };
  testhooks::FailClockSets(ERROR_PRIVILEGE_NOT_HELD);
  Answer(s, UtcStamp(Civil(2026, 12, 7, 1)));
  Answer(s, UtcStamp(Civil(2026, 12, 7, 1, 30)));
  EXPECT_EQ(s->LastSync(), 0.0);
  EXPECT_EQ(s->TrayIcon->Hint(), hint);
  ASSERT_EQ(errorBalloons(), 1);
  for (const auto &b : Balloons())
    if (b.first == "時刻設定エラー") {
      EXPECT_NE(b.second.find("時計を設定できませんでした。"), std::string::npos);
      EXPECT_NE(b.second.find("管理者権限が必要です。"), std::string::npos);
      // Where to set it up, where the tray menu offers it.
      const bool offered = QueryLogonTask(LogonTaskName(GetLogonUserName())) != TLogonTaskState::Unavailable;
      EXPECT_EQ(b.second.find("「ログオン時に管理者として起動」") != std::string::npos, offered);
    }

  // A success ends the run; the next refusal is told again.
  testhooks::FailClockSets(0);
  Answer(s, UtcStamp(Civil(2026, 12, 7, 2)));
  EXPECT_NE(s->LastSync(), 0.0);
  EXPECT_EQ(s->TrayIcon->Hint(), s->StatusText());
  testhooks::FailClockSets(ERROR_PRIVILEGE_NOT_HELD);
  Answer(s, UtcStamp(Civil(2026, 12, 7, 3)));
  EXPECT_EQ(errorBalloons(), 2);
}

TEST_F(ControllerTest, StatusTextInBothPlatformForms) {
  TSetup *s = MakeSetup("ntp.example.jp");
  SetFakeLocalTime(Civil(2026, 12, 7, 10, 48, 0));
  // 01:48:38 UTC is 10:48:38 in Japan; the clock then reads that as its local time.
  Answer(s, UtcStamp(Civil(2026, 12, 7, 1, 48, 38)));
  ASSERT_EQ(testhooks::ClockSets().size(), 2u);
  EXPECT_EQ(s->TrayIcon->Hint().substr(0, 9), "Horolan\r\n");

  // The date is in the system's short format: yyyy/MM/dd on Windows and the host,
  // yyyy/M/d in Wine's Japanese locale.
  const SYSTEMTIME day = Civil(2026, 12, 7);
  char date[64] = {};
  ASSERT_GT(GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &day, nullptr, date, sizeof date), 0);
  if (testhooks::HostLayer()) {
    EXPECT_STREQ(date, "2026/12/07");
  }
  const std::string when = std::string(date) + " 10:48:38";
  testhooks::SetReportedVersion(6, 1, VER_PLATFORM_WIN32_NT);
  EXPECT_EQ(s->StatusText(), "Horolan\r\nNTP Server : ntp.example.jp\r\n同期は30分ごとです。\r\n前回は " +
                                 when + " に同期を行ないました。");
  testhooks::SetReportedVersion(4, 10, VER_PLATFORM_WIN32_WINDOWS);
  s->UpdateTime->SetText("1440");
  EXPECT_EQ(s->StatusText(), "ntp.example.jp@1440min. LastSync:" + when);
}

TEST_F(ControllerTest, PriorityFollowsTheChoiceUntilTheAnswerLeavesItIdle) {
  TSetup *s = MakeSetup();
  HANDLE self = GetCurrentProcess();
  // An unprivileged process on Linux may not take the high class, nor leave idle.
  if (!SetPriorityClass(self, HIGH_PRIORITY_CLASS) || !SetPriorityClass(self, NORMAL_PRIORITY_CLASS))
    GTEST_SKIP() << "this process may not raise its priority";
  const struct {
    int index;
    DWORD expected;
  } rows[] = {{0, HIGH_PRIORITY_CLASS}, {1, NORMAL_PRIORITY_CLASS}, {2, IDLE_PRIORITY_CLASS}};
  for (const auto &row : rows) {
    SCOPED_TRACE(row.index);
    s->PRIORITY->SetItemIndex(row.index);
    s->ApplyPriority();
    EXPECT_EQ(GetPriorityClass(self), row.expected);
    // The answer is awaited at the chosen priority; once it is dealt with, idle.
    s->CheckTimerTimer(s->CheckTimer);
    ASSERT_TRUE(RequestOutstanding(s));
    EXPECT_EQ(GetPriorityClass(self), row.expected);
    Answer(s, UtcStamp(Civil(2026, 12, 7, 1, 2, 3)));
    EXPECT_EQ(GetPriorityClass(self), static_cast<DWORD>(IDLE_PRIORITY_CLASS));
    SetPriorityClass(self, NORMAL_PRIORITY_CLASS);
  }
  // A tick that sends nothing leaves the process idle at once.
  s->UseNTPServer->SetText("");
  s->CheckTimerTimer(s->CheckTimer);
  EXPECT_EQ(GetPriorityClass(self), static_cast<DWORD>(IDLE_PRIORITY_CLASS));
  SetPriorityClass(self, NORMAL_PRIORITY_CLASS);
  // An index outside the choices leaves the class alone.
  s->PRIORITY->SetItemIndex(-1);
  s->ApplyPriority();
  EXPECT_EQ(GetPriorityClass(self), static_cast<DWORD>(NORMAL_PRIORITY_CLASS));
}

TEST_F(ControllerTest, ResumeSchedulesAnAttemptAfterOneMinuteAnnouncedOnce) {
  TSetup *s = MakeSetup();
  const struct {
    std::vector<WPARAM> events;
    bool scheduled;
    size_t balloons;
  } rows[] = {
      {{PBT_APMRESUMESUSPEND}, true, 1},
      {{PBT_APMRESUMECRITICAL}, true, 1},
      {{PBT_APMRESUMESTANDBY}, true, 1},
      {{PBT_APMRESUMEAUTOMATIC}, true, 1},
      {{PBT_APMRESUMEAUTOMATIC, PBT_APMRESUMESUSPEND}, true, 1},
      {{PBT_APMSUSPEND}, false, 0},
      {{PBT_APMPOWERSTATUSCHANGE}, false, 0},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(testing::Message() << "first event " << row.events[0] << ", " << row.events.size()
                                    << " events");
    SendMessageA(s->Handle(), WM_POWERBROADCAST, PBT_APMSUSPEND, 0);  // a new resume begins
    s->CheckTimer->SetInterval(1800000);
    s->CheckTimer->SetEnabled(false);
    testhooks::ClearShellNotifyCalls();
    for (WPARAM e : row.events) SendMessageA(s->Handle(), WM_POWERBROADCAST, e, 0);
    const auto balloons = Balloons();
    ASSERT_EQ(balloons.size(), row.balloons);
    if (row.balloons) {
      EXPECT_EQ(balloons[0].first, "Information");
      EXPECT_EQ(balloons[0].second, ResumeBalloon);
    }
    EXPECT_EQ(s->CheckTimer->Interval(), row.scheduled ? 60000u : 1800000u);
    EXPECT_EQ(s->CheckTimer->Enabled(), row.scheduled);
  }
}

TEST_F(ControllerTest, UnusableAdvanceInARealAnswerGoesToTheGeneralErrorReport) {
  peers::ScriptedSntpServer server({"127.0.0.9:123"});
  ASSERT_TRUE(server.Ready()) << server.Failure();
  TSetup *s = MakeSetup();
  s->OffsetSec->SetText("75");
  s->StartSync();
  peers::Datagram request;
  ASSERT_TRUE(server.WaitRequest(request));
  ASSERT_EQ(request.Bytes.size(), 48u);
  server.Send(ServerAnswer(request.Bytes, Civil(2026, 12, 7, 3)), request.From);
  ASSERT_TRUE(peers::PumpUntil([] { return !testhooks::MessageBoxes().empty(); }, 5000));
  EXPECT_EQ(testhooks::MessageBoxes()[0].caption, "Horolan");
  EXPECT_EQ(testhooks::MessageBoxes()[0].type & 0xF0u, static_cast<unsigned>(MB_ICONERROR));
  EXPECT_TRUE(testhooks::ClockSets().empty());
  EXPECT_EQ(s->LastSync(), 0.0);
}

TEST_F(ControllerTest, FailuresRetrySoonerWarnOnceTryTheListAndASuccessEndsThem) {
  TSetup *s = MakeSetup("0.0.0.0");  // fails at once: no address
  s->ServerList->Items()->Clear();
  for (const char *name : {"a.example", "0.0.0.0", "", "0", "127.0.0.9"})
    s->ServerList->Items()->Add(name);
  const struct {
    const char *server;  // asked by the attempt
    UINT retryMs;        // the next attempt after its failure
    size_t warnings;
  } rows[] = {
      {"0.0.0.0", 60000, 0},          {"0.0.0.0", 120000, 0},
      {"0.0.0.0", 240000, 1},         {"0", 480000, 1},  // after three: the list, from the chosen one on
      {"127.0.0.9", 0, 1},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.server);
    s->CheckTimerTimer(s->CheckTimer);
    EXPECT_EQ(s->SNTPC->Server, row.server);
    if (row.retryMs == 0) break;  // this one was sent
    EXPECT_EQ(s->CheckTimer->Interval(), row.retryMs);
    EXPECT_TRUE(s->CheckTimer->Enabled());
    size_t warnings = 0;
    for (const auto &b : Balloons())
      if (b.first == "同期警告") {
        ++warnings;
        EXPECT_NE(b.second.find("0.0.0.0"), std::string::npos);
        EXPECT_NE(b.second.find("サーバー名からアドレスを得られません。"), std::string::npos);
        EXPECT_NE(b.second.find("次のサーバーを試します"), std::string::npos);
      }
    EXPECT_EQ(warnings, row.warnings);
    EXPECT_NE(s->TrayIcon->Hint().find("前回の同期に失敗しました"), std::string::npos);
    EXPECT_NE(s->TrayIcon->Hint().find("時計はまだ設定されていません。"), std::string::npos);
  }
  ASSERT_TRUE(RequestOutstanding(s));
  EXPECT_EQ(s->Failures(), 4);
  EXPECT_EQ(s->UseNTPServer->Text(), "0.0.0.0");
  // The list's server answers: the tooltip names it, the count and the warning start over.
  Answer(s, UtcStamp(Civil(2026, 12, 7, 1)));
  EXPECT_EQ(s->Failures(), 0);
  EXPECT_NE(s->TrayIcon->Hint().find("NTP Server : 127.0.0.9\r\n"), std::string::npos);
  EXPECT_EQ(s->TrayIcon->Hint(), s->StatusText());
  testhooks::ClearShellNotifyCalls();
  // A list with nothing but the chosen server: the warning promises no other one.
  s->ServerList->Items()->Clear();
  for (const char *name : {"", "0.0.0.0", ""}) s->ServerList->Items()->Add(name);
  for (int i = 0; i < 3; ++i) s->CheckTimerTimer(s->CheckTimer);
  EXPECT_EQ(s->SNTPC->Server, "0.0.0.0");
  ASSERT_EQ(Balloons().size(), 1u) << "a new run of failures is told again";
  EXPECT_EQ(Balloons()[0].second.find("次のサーバーを試します"), std::string::npos);
  // The retry waits at most one interval.
  s->UpdateTime->SetText("10");
  for (int i = 0; i < 4; ++i) s->CheckTimerTimer(s->CheckTimer);
  EXPECT_EQ(s->CheckTimer->Interval(), 600000u);
}

TEST_F(ControllerTest, ErrorBoxesNeverStack) {
  TSetup *s = MakeSetup();
  int depth = 0, deepest = 0;
  testhooks::CaptureMessageBoxes([&](const testhooks::MessageBoxCall &call) {
    deepest = std::max(deepest, ++depth);
    // Errors that arrive while the box is open, as they would in its message loop.
    if (call.text == "WinSock Error (10054)") {
      s->SNTPCError(s->SNTPC, 0, 10054, "WinSock Error (10054)");
      s->SNTPCError(s->SNTPC, 0, 10065, "WinSock Error (10065)");
      s->SNTPCError(s->SNTPC, 0, 10054, "WinSock Error (10054)");
    }
    --depth;
    return IDOK;
  });
  s->SNTPCError(s->SNTPC, 0, 10054, "WinSock Error (10054)");
  EXPECT_EQ(deepest, 1);
  ASSERT_EQ(testhooks::MessageBoxes().size(), 2u) << "the repeat is dropped, the other one waits";
  EXPECT_EQ(testhooks::MessageBoxes()[0].text, "WinSock Error (10054)");
  EXPECT_EQ(testhooks::MessageBoxes()[1].text, "WinSock Error (10065)");
}

TEST_F(ControllerTest, AnswerThatWouldSetTheClockIntoTheQuietMinutesIsDeferred) {
  TSetup *s = MakeSetup();
  s->CheckTiming->SetChecked(true);
  const struct {
    SYSTEMTIME utc;  // the server's time; the local clock reads 10:26:59
    bool byHand;     // the attempt came from a double click in the list
    bool deferred;
  } rows[] = {
      {Civil(2026, 12, 7, 1, 29, 1), false, true},  // two minutes slow: would jump into :29
      {Civil(2026, 12, 7, 1, 31, 0), false, false},
      {Civil(2026, 12, 7, 1, 29, 1), true, false},  // asked for now, by hand
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(testing::Message() << row.utc.wMinute << (row.byHand ? " by hand" : ""));
    testhooks::ClearClockSets();
    testhooks::ClearShellNotifyCalls();
    SetFakeLocalTime(Civil(2026, 12, 7, 10, 26, 59));
    if (row.byHand) {
      s->ServerList->Items()->Clear();
      s->ServerList->Items()->Add("127.0.0.9");
      s->ServerList->SetItemIndex(0);
      s->ServerListDblClick(s->ServerList);
    } else {
      s->CheckTimerTimer(s->CheckTimer);
    }
    ASSERT_TRUE(RequestOutstanding(s));
    Answer(s, UtcStamp(row.utc));
    EXPECT_EQ(testhooks::ClockSets().empty(), row.deferred);
    EXPECT_EQ(s->Deferred(), row.deferred);
    if (row.deferred) {
      EXPECT_EQ(s->CheckTimer->Interval(), 300000u);
      ASSERT_FALSE(Balloons().empty());
      EXPECT_EQ(Balloons()[0].second, DeferBalloon);
    }
  }
}

TEST_F(ControllerTest, TimeZoneThatIsNotJapansIsToldOncePerRun) {
  auto zoneWarnings = [] {
    int n = 0;
    for (const auto &b : Balloons()) n += b.first == "タイムゾーン警告";
    return n;
  };
  TSetup *s = MakeSetup();
  const bool japan = apptest::LocalOffsetMs() == 9 * 3600 * 1000LL;
  Answer(s, UtcStamp(Civil(2026, 12, 7, 1)));
  Answer(s, UtcStamp(Civil(2026, 12, 7, 2)));
  EXPECT_EQ(zoneWarnings(), japan ? 0 : 1);
  EXPECT_NE(s->LastSync(), 0.0) << "the clock is set all the same";
}

TEST_F(ControllerTest, SettingsFromTheFileAreKeptInTheFieldsRanges) {
  TSetup *s = MakeSetup();
  s->AutoIni->SaveToIni();
  const struct {
    const char *key, *value;
  } bad[] = {{"UpdateTime", "0"}, {"OffsetMin", "5000"}, {"OffsetSec", "-3"}, {"PRIORITY", "7"},
             {"ClickModeSelect", "-2"}};
  const std::string ini = SettingsIni(s);
  {
    IniFile file(ini);
    for (const auto &b : bad) file.WriteString(s->AutoIni->Section(), b.key, b.value);
  }
  delete Application;
  Application = new TApplication(nullptr);
  Application->CreateForm(::Setup);
  s = ::Setup;
  EXPECT_EQ(s->UpdateTime->Value(), 10);
  EXPECT_EQ(s->OffsetMin->Value(), 1439);
  EXPECT_EQ(s->OffsetSec->Value(), 0);
  EXPECT_EQ(s->PRIORITY->ItemIndex(), 1);
  EXPECT_EQ(s->ClickModeSelect->ItemIndex(), 0);
  EXPECT_EQ(s->CheckTimer->Interval(), s->BootUpdateTime->Checked() ? 10000u : 600000u);
  // The clamped advance makes a usable answer.
  Answer(s, UtcStamp(Civil(2026, 12, 7, 1)));
  EXPECT_EQ(testhooks::ClockSets().size(), 2u);
}

TEST_F(ControllerTest, LogOffIsNeverRefusedAndSavesWhatTheDialogHolds) {
  TSetup *s = MakeSetup("before.example");
  s->AutoIni->SaveToIni();
  s->Show();
  s->UseNTPServer->SetText("during.example");
  EXPECT_EQ(SendMessageA(s->Handle(), WM_QUERYENDSESSION, 0, 0), 1);
  EXPECT_FALSE(s->Visible());
  EXPECT_EQ(IniFile(SettingsIni(s)).ReadString(s->AutoIni->Section(), "UseNTPServer", ""), "during.example");
  // Called off: the dialog's close box only hides it again.
  SendMessageA(s->Handle(), WM_ENDSESSION, FALSE, 0);
  s->Show();
  s->Close();
  EXPECT_FALSE(Application->Terminated());
}

class RunOnceTest : public ControllerTest {
 protected:
  void SetUp() override {
    ControllerTest::SetUp();
    WriteProgramIni("[" + GetLogonUserName() + "]\r\nRunOnce=1\r\n");
  }
};

TEST_F(RunOnceTest, EndsOnlyAfterTheAnswerOfItsAttempt) {
  TSetup *s = MakeSetup();
  ASSERT_TRUE(s->RunOnce());
  s->CheckTimerTimer(s->CheckTimer);
  ASSERT_TRUE(RequestOutstanding(s));
  EXPECT_FALSE(Application->Terminated()) << "the answer has not come yet";
  Answer(s, UtcStamp(Civil(2026, 12, 7, 1)));
  EXPECT_EQ(testhooks::ClockSets().size(), 2u);
  EXPECT_TRUE(Application->Terminated());
  EXPECT_EQ(s->ExitCode(), 0);
}

TEST_F(RunOnceTest, FailedAttemptsAreRetriedAtOnceThenItEndsWithStatusOne) {
  TSetup *s = MakeSetup("0.0.0.0");  // a name without an address fails at once
  s->ServerList->Items()->Clear();
  for (const char *name : {"0.0.0.0", "0"}) s->ServerList->Items()->Add(name);
  std::vector<std::string> asked;
  // The chosen server three times, then the list's other entry once; a Winsock error
  // counts as a failure like a name without an address.
  for (int attempt = 0; attempt < 4; ++attempt) {
    SCOPED_TRACE(attempt);
    ASSERT_FALSE(Application->Terminated());
    if (attempt == 1) {
      s->UseNTPServer->SetText("127.0.0.9");
      s->CheckTimerTimer(s->CheckTimer);
      ASSERT_TRUE(RequestOutstanding(s));
      s->SNTPCError(s->SNTPC, s->SNTPC->QuerySocket(), 10054, "WinSock Error (10054)");
      s->UseNTPServer->SetText("0.0.0.0");
    } else {
      s->CheckTimerTimer(s->CheckTimer);
    }
    asked.push_back(s->SNTPC->Server);
    if (attempt < 3) {
      EXPECT_EQ(s->CheckTimer->Interval(), 500u) << "run-once tries again at once";
    }
  }
  EXPECT_EQ(asked, (std::vector<std::string>{"0.0.0.0", "127.0.0.9", "0.0.0.0", "0"}));
  EXPECT_EQ(s->UseNTPServer->Text(), "0.0.0.0") << "the choice stays";
  EXPECT_TRUE(Application->Terminated());
  EXPECT_EQ(s->ExitCode(), 1);
  ASSERT_EQ(testhooks::MessageBoxes().size(), 1u);
  EXPECT_EQ(testhooks::MessageBoxes()[0].caption, "エラー");
  EXPECT_EQ(testhooks::MessageBoxes()[0].type & 0xF0u, static_cast<unsigned>(MB_ICONERROR));
  const auto balloons = Balloons();
  ASSERT_EQ(balloons.size(), 2u);
  EXPECT_EQ(balloons[0].first, "同期警告");
  EXPECT_EQ(balloons[1].first, "同期エラー");
  EXPECT_NE(balloons[1].second.find("サーバー名からアドレスを得られません。"), std::string::npos);
  EXPECT_TRUE(testhooks::ClockSets().empty());
}

TEST_F(RunOnceTest, RefusalBalloonIsLeftOnTheScreenForItsTimeBeforeTheEnd) {
  TSetup *s = MakeSetup();
  testhooks::SetReportedBalloonsStayOnScreen(1);
  testhooks::FailClockSets(ERROR_PRIVILEGE_NOT_HELD);
  s->CheckTimerTimer(s->CheckTimer);
  const auto start = std::chrono::steady_clock::now();
  Answer(s, UtcStamp(Civil(2026, 12, 7, 1)));
  ASSERT_EQ(Balloons().size(), 1u);
  EXPECT_FALSE(Application->Terminated()) << "the icon and its balloon would go at once";
  EXPECT_TRUE(peers::PumpUntil([] { return Application->Terminated(); }, 15000));
  const auto waited =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
  EXPECT_GE(waited.count(), 9000);
  EXPECT_EQ(s->ExitCode(), 1);
}

TEST_F(RunOnceTest, TimeOutEndsItWhenNoAnswerComes) {
  TSetup *s = MakeSetup();
  // A socket that takes the request and never answers (no port-unreachable either).
  SOCKET silent = peers::OpenUdp("127.0.0.9", 123);
  if (silent == INVALID_SOCKET) GTEST_SKIP() << "port 123 cannot be bound here";
  s->SNTPC->SetQueryTimeout(300);
  s->CheckTimerTimer(s->CheckTimer);
  ASSERT_TRUE(RequestOutstanding(s));
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(peers::PumpUntil([] { return Application->Terminated(); }, 8000));
  const auto waited =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
  EXPECT_GE(waited.count(), 300) << "ended before the client gave up";
  EXPECT_TRUE(testhooks::ClockSets().empty());
  EXPECT_EQ(s->ExitCode(), 1);
  WinSockAccess->closesocket()(silent);
}

TEST_F(RunOnceTest, DeferredTickWaitsForItsAttempt) {
  TSetup *s = MakeSetup();
  s->CheckTiming->SetChecked(true);
  SetFakeLocalTime(Civil(2026, 12, 7, 10, 58));
  s->CheckTimerTimer(s->CheckTimer);
  EXPECT_TRUE(s->Deferred());
  EXPECT_FALSE(Application->Terminated());
  EXPECT_EQ(s->CheckTimer->Interval(), 300000u);
  // Five minutes later the deferred attempt is sent, and its answer ends the program.
  SetFakeLocalTime(Civil(2026, 12, 7, 11, 3));
  s->CheckTimerTimer(s->CheckTimer);
  EXPECT_FALSE(s->Deferred());
  ASSERT_TRUE(RequestOutstanding(s));
  Answer(s, UtcStamp(Civil(2026, 12, 7, 2, 3)));
  EXPECT_TRUE(Application->Terminated());
}

TEST_F(RunOnceTest, AnswerFromALoopbackServerSetsTheClockThroughTheClientWithTheTimeItWaited) {
  peers::ScriptedSntpServer server({"127.0.0.9:123"});
  ASSERT_TRUE(server.Ready()) << server.Failure();
  TSetup *s = MakeSetup();
  s->OffsetMin->SetText("2");
  s->CheckTimerTimer(s->CheckTimer);
  peers::Datagram request;
  ASSERT_TRUE(server.WaitRequest(request));
  ASSERT_EQ(request.Bytes.size(), 48u);
  server.Send(ServerAnswer(request.Bytes, Civil(2026, 12, 7, 3, 4, 5, 600)), request.From);
  // The client reads the answer; it then waits in the queue, as behind a busy loop.
  MSG m;
  const DWORD end = GetTickCount() + 5000;
  while (!PeekMessageA(&m, nullptr, NS_SNTPANSWER_MSG, NS_SNTPANSWER_MSG, PM_NOREMOVE) && GetTickCount() < end)
    if (PeekMessageA(&m, nullptr, NS_SOCKETEVENT_MSG, NS_SOCKETEVENT_MSG, PM_REMOVE))
      DispatchMessageA(&m);
    else
      Sleep(1);
  const int heldMs = 300;
  Sleep(heldMs);
  EXPECT_TRUE(peers::PumpUntil([] { return Application->Terminated(); }, 5000));
  ASSERT_EQ(testhooks::ClockSets().size(), 2u);
  // The time the answer waited here is added: the server's time went on meanwhile.
  const long long late = LastSetLocalMs() - UtcMs(Civil(2026, 12, 7, 12, 6, 5, 600));
  EXPECT_GE(late, heldMs - 1);
  EXPECT_LT(late, heldMs + 2000);
}

TEST_F(SetupFixture, FirstStartWithoutAServerWarnsAndOpensTheWizard) {
  // Leave an empty server in the settings, then start again.
  MakeSetup("");
  ::Setup->AutoIni->SaveToIni();
  delete Application;
  Application = new TApplication(nullptr);
  Application->SetTitle("Horolan");
  testhooks::ClearShellNotifyCalls();
  Application->CreateForm(::Setup);
  auto balloons = Balloons();
  ASSERT_EQ(balloons.size(), 1u);
  EXPECT_EQ(balloons[0].first, "設定警告");
  EXPECT_EQ(balloons[0].second, "NTPサーバーが指定されていません。");
  ASSERT_NE(SelectForm, nullptr);
  EXPECT_EQ(SelectForm->Owner(), ::Setup);
  EXPECT_TRUE(SelectForm->Visible());
  EXPECT_TRUE(::Setup->CheckTimer->Enabled());
  EXPECT_FALSE(::Setup->RunOnce());

  // With a server set, neither.
  ::Setup->UseNTPServer->SetText("ntp.example.jp");
  ::Setup->AutoIni->SaveToIni();
  delete Application;
  SelectForm = nullptr;
  Application = new TApplication(nullptr);
  testhooks::ClearShellNotifyCalls();
  Application->CreateForm(::Setup);
  EXPECT_TRUE(Balloons().empty());
  EXPECT_EQ(SelectForm, nullptr);
  EXPECT_EQ(::Setup->UseNTPServer->Text(), "ntp.example.jp");
}

TEST_F(SetupFixture, ListFileIsCreatedFromTheBuiltInNamesOnceAndThenIsTheList) {
  char appData[MAX_PATH + 1] = {};
  SHGetSpecialFolderPathA(nullptr, appData, CSIDL_APPDATA, FALSE);
  const char delim = appData[0] == '/' ? '/' : '\\';
  const std::string expected = std::string(appData) + delim + "Fernwick" + delim + "NTP.lst";
  auto restart = [] {
    delete Application;
    Application = new TApplication(nullptr);
    Application->CreateForm(::Setup);
  };

  MakeSetup();
  ASSERT_EQ(::Setup->ListPath(), expected);
  std::remove(expected.c_str());
  restart();
  ASSERT_EQ(::Setup->ServerList->Items()->Count(), kBuiltInServerCount);
  EXPECT_EQ(::Setup->ServerList->Items()->Strings(0), kBuiltInServers[0]);
  const std::string written = testsupport::ReadAll(expected);
  EXPECT_EQ(written.substr(0, std::string(kBuiltInServers[0]).size() + 2),
            std::string(kBuiltInServers[0]) + "\r\n");

  // An existing file replaces the built-in list, even an empty one.
  ASSERT_TRUE(testsupport::WriteAll(expected, ""));
  restart();
  EXPECT_EQ(::Setup->ServerList->Items()->Count(), 0);
  ASSERT_TRUE(testsupport::WriteAll(expected, "a.example\nb.example\r\n"));
  restart();
  EXPECT_EQ(::Setup->ServerList->Items()->Count(), 2);
  std::remove(expected.c_str());

  // Before Vista the list lives beside the executable.
  testhooks::SetReportedVersion(5, 1, VER_PLATFORM_WIN32_NT);
  const std::string own = testsupport::OwnPath();
  const std::string beside = own.substr(0, own.find_last_of("\\/") + 1) + "NTP.lst";
  restart();
  EXPECT_EQ(::Setup->ListPath(), beside);
  EXPECT_EQ(::Setup->ServerList->Items()->Count(), kBuiltInServerCount);
  std::remove(beside.c_str());
}

}  // namespace
