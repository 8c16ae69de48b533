// The synchronisation controller with the main form made for real: deferral around the
// full and half hour, the answer's arithmetic, refused answers and refused clock sets,
// priorities, resume events, the tooltip text and the run-once end.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <limits>
#include <thread>

#include "app/ServerList.h"
#include "app/fSelect.h"
#include "sntp/NsTime.h"
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
  // The local moment the last clock set asked for.
  long long LastSetLocalMs() const {
    EXPECT_FALSE(testhooks::ClockSets().empty());
    if (testhooks::ClockSets().empty()) return 0;
    EXPECT_TRUE(testhooks::ClockSets().back().local);
    return testhooks::ClockSets().back().unixMs + apptest::LocalOffsetMs();
  }
  void Answer(TSetup *s, TDateTime stamp) { s->SNTPCSNTPTime(s->SNTPC, stamp, 0.0, 0.0, 2, false); }
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
    ASSERT_EQ(testhooks::ClockSets().size(), 1u);
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
  // The first moment after the epoch is a time like any other.
  Answer(s, 2.0 + 1.0 / MSecsPerDay);
  EXPECT_EQ(testhooks::ClockSets().size(), 1u);
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
  ASSERT_EQ(testhooks::ClockSets().size(), 1u);
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
  // An unprivileged process on Linux cannot leave the idle class again.
  if (!SetPriorityClass(self, NORMAL_PRIORITY_CLASS))
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
  EXPECT_EQ(testhooks::ClockSets().size(), 1u);
  EXPECT_TRUE(Application->Terminated());
}

TEST_F(RunOnceTest, EndsAfterTheClientsErrorWasShown) {
  TSetup *s = MakeSetup();
  s->CheckTimerTimer(s->CheckTimer);
  s->SNTPCError(s->SNTPC, s->SNTPC->QuerySocket(), 10054, "WinSock Error (10054)");
  ASSERT_EQ(testhooks::MessageBoxes().size(), 1u);
  EXPECT_EQ(testhooks::MessageBoxes()[0].caption, "エラー");
  EXPECT_EQ(testhooks::MessageBoxes()[0].type & 0xF0u, static_cast<unsigned>(MB_ICONERROR));
  EXPECT_TRUE(Application->Terminated());
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

TEST_F(RunOnceTest, AnswerFromALoopbackServerSetsTheClockThroughTheClient) {
  peers::ScriptedSntpServer server({"127.0.0.9:123"});
  ASSERT_TRUE(server.Ready()) << server.Failure();
  TSetup *s = MakeSetup();
  s->OffsetMin->SetText("2");
  s->CheckTimerTimer(s->CheckTimer);
  peers::Datagram request;
  ASSERT_TRUE(server.WaitRequest(request));
  ASSERT_EQ(request.Bytes.size(), 48u);
  server.Send(ServerAnswer(request.Bytes, Civil(2026, 12, 7, 3, 4, 5, 600)), request.From);
  EXPECT_TRUE(peers::PumpUntil([] { return Application->Terminated(); }, 5000));
  ASSERT_EQ(testhooks::ClockSets().size(), 1u);
  EXPECT_NEAR(static_cast<double>(LastSetLocalMs()),
              static_cast<double>(UtcMs(Civil(2026, 12, 7, 12, 6, 5, 600))), 1.0);
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
