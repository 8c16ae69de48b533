// The SNTP client against chronyd and against a scripted responder that sends what a
// real server would not: every kind of answer the client must refuse, answers from
// elsewhere, duplicates, late answers and silence.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "sntp/NsSNTP.h"
#include "tests/peers/SntpPeers.h"

namespace {

using peers::Datagram;
using peers::PumpFor;
using peers::PumpUntil;
using peers::ScriptedSntpServer;

long long RealUtcMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

// Date-time value of a Unix millisecond count.
double UnixMsToDateTime(long long ms) { return 25569.0 + static_cast<double>(ms) / MSecsPerDay; }

struct TReport {
  TDateTime TimeStamp;
  double LocalOffset, RoundTripDelay;
  uint8_t Stratum;
  bool Synchronized;
};

class SNTPClientTest : public ::testing::Test {
 protected:
  void SetUp() override {
    NsStartSocketFramework();
    testhooks::SetFakeUtcMs(RealUtcMs());
    testhooks::ClearClockSets();
    Client.reset(new TNsSNTPClient(nullptr));
    Client->OnSNTPTime = [this](TObject *Sender, TDateTime TimeStamp, double LocalOffset,
                                double RoundTripDelay, uint8_t Stratum, bool Synchronized) {
      EXPECT_EQ(Sender, Client.get());
      Reports.push_back({TimeStamp, LocalOffset, RoundTripDelay, Stratum, Synchronized});
    };
    Client->OnQueryFailed = [this](TObject *Sender, TNsSNTPFailure Failure, TSntpAnswerCheck LastRefusal) {
      EXPECT_EQ(Sender, Client.get());
      Failures.emplace_back(Failure, LastRefusal);
    };
  }
  void TearDown() override {
    Client.reset();
    NsStopSocketFramework();
    testhooks::SetFakeUtcMs(RealUtcMs());
  }

  // A correct answer to Request: the server's clock runs OffsetMs ahead of ours.
  static std::vector<uint8_t> Answer(const Datagram &Request, double OffsetMs, uint8_t Stratum) {
    std::vector<uint8_t> a(48, 0);
    a[0] = (4 << 3) | 4;  // LI 0, version 4, server
    a[1] = Stratum;
    a[2] = 6;
    a[3] = 0xEC;
    a[5] = 0x01;  // root delay 1/256 s
    a[9] = 0x02;  // root dispersion 2/256 s
    a[12] = 'T';
    const TDateTime serverNow = SystemClockUtc() + OffsetMs / MSecsPerDay;
    const TNtpTimestamp t = EncodeNtpTimestamp(serverNow);
    std::copy(t.begin(), t.end(), a.begin() + 16);
    std::copy(Request.Bytes.begin() + 40, Request.Bytes.begin() + 48, a.begin() + 24);
    std::copy(t.begin(), t.end(), a.begin() + 32);
    std::copy(t.begin(), t.end(), a.begin() + 40);
    return a;
  }
  static TDateTime TransmitTime(const std::vector<uint8_t> &Answer) {
    return NtpSecondsToDateTime(DecodeNtpTimestamp(&Answer[40]));
  }
  bool WaitReports(size_t Count, int TimeoutMs = 3000) {
    return PumpUntil([&] { return Reports.size() >= Count; }, TimeoutMs);
  }
  uint16_t LocalPort(SOCKET S) {
    sockaddr_in a{};
    int len = sizeof a;
    if (WinSockAccess->getsockname()(S, reinterpret_cast<sockaddr *>(&a), &len) == SOCKET_ERROR) return 0;
    return WinSockAccess->ntohs()(a.sin_port);
  }
  // True when no socket holds the UDP port any more.
  static bool PortFree(uint16_t Port) {
    SOCKET s = WinSockAccess->socket()(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = WinSockAccess->htons()(Port);
    const bool free = WinSockAccess->bind()(s, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0;
    WinSockAccess->closesocket()(s);
    return free;
  }

  std::unique_ptr<TNsSNTPClient> Client;
  std::vector<TReport> Reports;
  std::vector<std::pair<TNsSNTPFailure, TSntpAnswerCheck>> Failures;
};

TEST_F(SNTPClientTest, StartsIdleWithItsDefaults) {
  EXPECT_EQ(Client->BroadcastMode(), bmUnicast);
  EXPECT_EQ(Client->PollInterval(), 0);
  EXPECT_EQ(Client->SyncThreshold, 0);
  EXPECT_EQ(Client->Server, "");
  EXPECT_FALSE(Client->PollTimerEnabled());
  EXPECT_EQ(Client->PollTimerInterval(), 0u);
  EXPECT_EQ(Client->QueryTimeout(), 10000u);
  EXPECT_EQ(Client->QuerySocket(), 0u);
  EXPECT_EQ(Client->DefaultPort(), 123);
  EXPECT_EQ(Client->SocketType(), stUDP);
  EXPECT_EQ(Client->ProtocolName(), "udp");
  EXPECT_EQ(Client->DataInits()->ReceiveBufferSize(), 1024);
  EXPECT_EQ(Client->DataInits()->LineTerminator(), ltCRLF);

  Client->SetBroadcastMode(bmUnicast);  // the same mode: nothing happens
  EXPECT_EQ(Client->QuerySocket(), 0u);
  Client->SetPollInterval(60);
  EXPECT_TRUE(Client->PollTimerEnabled());
  EXPECT_EQ(Client->PollTimerInterval(), 60000u);
  Client->SetPollInterval(-5);
  EXPECT_FALSE(Client->PollTimerEnabled());
}

TEST_F(SNTPClientTest, ChronydAnswersOnceWithTheTime) {
  peers::ChronydPeer chronyd("127.0.0.2", 8);
  ASSERT_TRUE(chronyd.Running()) << chronyd.Failure();
  Client->Server = "127.0.0.2";
  Client->RequestTime();
  ASSERT_TRUE(WaitReports(1));
  PumpFor(300);
  ASSERT_EQ(Reports.size(), 1u);
  const TReport &r = Reports[0];
  EXPECT_NEAR(r.TimeStamp, UnixMsToDateTime(RealUtcMs()), 1.0 / SecsPerDay);
  EXPECT_NEAR(r.LocalOffset, 0.0, 50.0);
  // Our stamps count whole milliseconds (SYSTEMTIME), the request's with sub-millisecond
  // noise added: the span between them may come out up to 2 ms short, and the server's
  // own hold time is taken off on top.
  EXPECT_GE(r.RoundTripDelay, -3.0);
  EXPECT_LT(r.RoundTripDelay, 100.0);
  EXPECT_EQ(r.Stratum, 8);
  EXPECT_FALSE(r.Synchronized);
  EXPECT_EQ(Client->QuerySocket(), INVALID_SOCKET);
  EXPECT_TRUE(testhooks::ClockSets().empty());
}

// Each row sends one datagram the client must refuse, then the real answer: exactly the
// real one is reported, and only it moves the clock.
TEST_F(SNTPClientTest, RefusesEverythingButTheAnswerToItsQuery) {
  using Bytes = std::vector<uint8_t>;
  const struct {
    const char *Case;
    std::function<void(Bytes &)> Spoil;
    int From;  // the relay socket the decoy comes from: 0 the server, 1 and 2 elsewhere
  } rows[] = {
      {"47 bytes", [](Bytes &b) { b.resize(47); }, 0},
      {"version 2", [](Bytes &b) { b[0] = (2 << 3) | 4; }, 0},
      {"version 5", [](Bytes &b) { b[0] = (5 << 3) | 4; }, 0},
      {"client mode", [](Bytes &b) { b[0] = (4 << 3) | 3; }, 0},
      {"broadcast mode", [](Bytes &b) { b[0] = (4 << 3) | 5; }, 0},
      {"originate differs", [](Bytes &b) { b[31] ^= 1; }, 0},
      {"zero transmit", [](Bytes &b) { std::fill(b.begin() + 40, b.end(), 0); }, 0},
      {"zero receive", [](Bytes &b) { std::fill(b.begin() + 32, b.begin() + 40, 0); }, 0},
      {"kiss-o'-death",
       [](Bytes &b) {
         b[1] = 0;
         std::copy_n("RATE", 4, b.begin() + 12);
       },
       0},
      {"stratum 16", [](Bytes &b) { b[1] = 16; }, 0},
      {"leap indicator 3", [](Bytes &b) { b[0] |= 0xC0; }, 0},
      {"root delay 32 s", [](Bytes &b) { b[4] = 0, b[5] = 0x20, b[6] = b[7] = 0; }, 0},
      {"root dispersion 16 s", [](Bytes &b) { b[8] = 0, b[9] = 0x10, b[10] = b[11] = 0; }, 0},
      {"other address", [](Bytes &) {}, 1},
      {"other port", [](Bytes &) {}, 2},
  };
  ScriptedSntpServer server({"127.0.0.3:123", "127.0.0.4:123", "127.0.0.3:1123"});
  ASSERT_TRUE(server.Ready()) << server.Failure();
  Client->Server = "127.0.0.3";
  Client->SyncThreshold = 1;
  for (const auto &row : rows) {
    SCOPED_TRACE(row.Case);
    Reports.clear();
    testhooks::SetFakeUtcMs(RealUtcMs());
    testhooks::ClearClockSets();
    Client->RequestTime();
    Datagram request;
    ASSERT_TRUE(server.WaitRequest(request));
    ASSERT_EQ(request.Bytes.size(), 48u);
    EXPECT_EQ(request.Bytes[0], 0x1B);

    // The real answer is received now and sent after the decoy, as a server holding it would.
    Bytes real = Answer(request, 5000.0, 5);
    Bytes decoy = Answer(request, 100000.0, 3);
    row.Spoil(decoy);
    server.Send(decoy, request.From, row.From);
    PumpFor(100);
    EXPECT_TRUE(Reports.empty());
    EXPECT_TRUE(testhooks::ClockSets().empty());
    ASSERT_NE(Client->QuerySocket(), INVALID_SOCKET) << "the query must go on waiting";

    const long long before = testhooks::FakeUtcMs();
    const TNtpTimestamp transmit = EncodeNtpTimestamp(SystemClockUtc() + 5000.0 / MSecsPerDay);
    std::copy(transmit.begin(), transmit.end(), real.begin() + 40);
    server.Send(real, request.From);
    ASSERT_TRUE(WaitReports(1));
    ASSERT_EQ(Reports.size(), 1u);
    EXPECT_EQ(Reports[0].Stratum, 5);
    EXPECT_NEAR(Reports[0].TimeStamp, TransmitTime(real), 0.5 / MSecsPerDay);
    EXPECT_NEAR(Reports[0].LocalOffset, 5000.0, 50.0);
    EXPECT_TRUE(Reports[0].Synchronized);
    ASSERT_EQ(testhooks::ClockSets().size(), 1u);
    EXPECT_NEAR(static_cast<double>(testhooks::ClockSets()[0].unixMs - before), 5000.0, 100.0);
    EXPECT_FALSE(testhooks::ClockSets()[0].local);
  }
}

TEST_F(SNTPClientTest, AcceptsVersion3AndAnswersWithExtensions) {
  ScriptedSntpServer server({"127.0.0.3:123"});
  ASSERT_TRUE(server.Ready()) << server.Failure();
  Client->Server = "127.0.0.3";
  for (int longer = 0; longer < 2; ++longer) {
    SCOPED_TRACE(longer ? "48 bytes + key id and MAC" : "version 3");
    Reports.clear();
    Client->RequestTime();
    Datagram request;
    ASSERT_TRUE(server.WaitRequest(request));
    std::vector<uint8_t> answer = Answer(request, 0.0, 2);
    if (longer)
      answer.resize(68, 0xA5);
    else
      answer[0] = (3 << 3) | 4;
    server.Send(answer, request.From);
    ASSERT_TRUE(WaitReports(1));
    EXPECT_EQ(Reports[0].Stratum, 2);
    EXPECT_NEAR(Reports[0].TimeStamp, TransmitTime(answer), 0.5 / MSecsPerDay);
    EXPECT_FALSE(Reports[0].Synchronized);  // threshold 0: the component leaves the clock alone
  }
  EXPECT_TRUE(testhooks::ClockSets().empty());
}

TEST_F(SNTPClientTest, DuplicateIsNotReportedAgain) {
  ScriptedSntpServer server({"127.0.0.3:123"});
  ASSERT_TRUE(server.Ready()) << server.Failure();
  Client->Server = "127.0.0.3";
  Client->RequestTime();
  Datagram request;
  ASSERT_TRUE(server.WaitRequest(request));
  const std::vector<uint8_t> answer = Answer(request, 0.0, 2);
  server.Send(answer, request.From);
  server.Send(answer, request.From);
  ASSERT_TRUE(WaitReports(1));
  PumpFor(300);
  EXPECT_EQ(Reports.size(), 1u);
  EXPECT_EQ(Client->QuerySocket(), INVALID_SOCKET);
}

TEST_F(SNTPClientTest, ReplacedQueryIsClosedAndItsLateAnswerLost) {
  ScriptedSntpServer server({"127.0.0.3:123"});
  ASSERT_TRUE(server.Ready()) << server.Failure();
  Client->Server = "127.0.0.3";
  Client->RequestTime();
  Datagram first, second;
  ASSERT_TRUE(server.WaitRequest(first));
  const uint16_t firstPort = LocalPort(Client->QuerySocket());
  ASSERT_NE(firstPort, 0);
  Client->RequestTime();
  ASSERT_TRUE(server.WaitRequest(second));
  EXPECT_NE(first.Bytes, second.Bytes);  // each request has its own transmit timestamp
  EXPECT_TRUE(PortFree(firstPort));

  server.Send(Answer(first, 0.0, 3), first.From);
  server.Send(Answer(second, 0.0, 4), second.From);
  ASSERT_TRUE(WaitReports(1));
  PumpFor(300);
  ASSERT_EQ(Reports.size(), 1u);
  EXPECT_EQ(Reports[0].Stratum, 4);
}

TEST_F(SNTPClientTest, DestroyingTheClientClosesItsQuery) {
  ScriptedSntpServer server({"127.0.0.3:123"});
  ASSERT_TRUE(server.Ready()) << server.Failure();
  Client->Server = "127.0.0.3";
  Client->RequestTime();
  Datagram request;
  ASSERT_TRUE(server.WaitRequest(request));
  const uint16_t port = LocalPort(Client->QuerySocket());
  ASSERT_NE(port, 0);
  EXPECT_FALSE(PortFree(port));
  Client.reset();
  EXPECT_TRUE(PortFree(port));
}

TEST_F(SNTPClientTest, UnansweredQueryIsGivenUpAndPollingGoesOn) {
  ScriptedSntpServer server({"127.0.0.3:123"});
  ASSERT_TRUE(server.Ready()) << server.Failure();
  Client->Server = "127.0.0.3";
  Client->SetQueryTimeout(300);
  Client->SetPollInterval(1);
  Datagram request;
  ASSERT_TRUE(server.WaitRequest(request, 2500));
  EXPECT_FALSE(Client->PollTimerEnabled());  // no second query while one waits
  const auto silentSince = std::chrono::steady_clock::now();
  ASSERT_TRUE(PumpUntil([&] { return Client->QuerySocket() == INVALID_SOCKET; }, 2000));
  const auto waited = std::chrono::steady_clock::now() - silentSince;
  EXPECT_GE(waited, std::chrono::milliseconds(250));
  EXPECT_TRUE(Reports.empty());
  const std::vector<std::pair<TNsSNTPFailure, TSntpAnswerCheck>> silent{{sfNoAnswer, sacAccepted}};
  EXPECT_EQ(Failures, silent);
  EXPECT_TRUE(Client->PollTimerEnabled());

  // The next poll comes an interval later and is answered as usual.
  ASSERT_TRUE(server.WaitRequest(request, 2500));
  server.Send(Answer(request, 0.0, 2), request.From);
  ASSERT_TRUE(WaitReports(1));
  EXPECT_EQ(Reports.size(), 1u);
  EXPECT_TRUE(Client->PollTimerEnabled());
  Client->SetPollInterval(0);
}

TEST_F(SNTPClientTest, AQueryArmsNoHeartbeat) {
  struct CountingClient : TNsSNTPClient {
    using TNsSNTPClient::TNsSNTPClient;
    void IdleTick(uint32_t) override { ++Ticks; }
    int Ticks = 0;
  } client(nullptr);
  client.SetHeartbeatInterval(20);
  ScriptedSntpServer server({"127.0.0.3:123"});
  ASSERT_TRUE(server.Ready()) << server.Failure();
  client.Server = "127.0.0.3";
  client.RequestTime();
  Datagram request;
  ASSERT_TRUE(server.WaitRequest(request));
  PumpFor(150);
  EXPECT_EQ(client.Ticks, 0);
}

// The name is resolved in the background within the query's time-out; one that cannot
// be resolved gives the query up and is reported.
TEST_F(SNTPClientTest, ANameIsLookedUpInTheBackground) {
  ScriptedSntpServer local({"127.0.0.1:123"});
  ASSERT_TRUE(local.Ready()) << local.Failure();
  std::vector<std::pair<int32_t, std::string>> errors;
  Client->OnError = [&](TObject *, SOCKET, int32_t Code, const std::string &Text) {
    errors.push_back({Code, Text});
  };
  Client->Server = "localhost";
  Client->RequestTime();
  EXPECT_NE(Client->QuerySocket(), INVALID_SOCKET);  // waiting for the name, not given up
  Datagram request;
  ASSERT_TRUE(local.WaitRequest(request));
  local.Send(Answer(request, 0.0, 2), request.From);
  ASSERT_TRUE(WaitReports(1));
  EXPECT_GE(Client->SinceAnswerArrival(), 0.0);
  EXPECT_LT(Client->SinceAnswerArrival(), 5.0 / SecsPerDay);

  // A name without an address is a failed query, not a socket error.
  Failures.clear();
  Client->Server = "no-such-host.invalid";
  Client->RequestTime();
  ASSERT_TRUE(PumpUntil([&] { return !Failures.empty(); }, 8000));
  EXPECT_EQ(Client->QuerySocket(), INVALID_SOCKET);
  EXPECT_EQ(Failures[0].first, sfNameNotResolved);
  EXPECT_TRUE(errors.empty());
  EXPECT_FALSE(local.WaitRequest(request, 300));
  EXPECT_EQ(Reports.size(), 1u);
}

TEST_F(SNTPClientTest, NoDestinationSendsNothing) {
  // A datagram to 0.0.0.0 would arrive here, on this machine's own port 123.
  ScriptedSntpServer local({"127.0.0.1:123"});
  ASSERT_TRUE(local.Ready()) << local.Failure();
  for (const char *server : {"0.0.0.0", "0", ""}) {
    SCOPED_TRACE(server);
    Failures.clear();
    Client->Server = server;
    Client->RequestTime();
    EXPECT_EQ(Client->QuerySocket(), INVALID_SOCKET);
    Datagram request;
    EXPECT_FALSE(local.WaitRequest(request, 300));
    EXPECT_TRUE(Reports.empty());
    // A name without an address is a failed query; no name at all is no query.
    const size_t failures = *server ? 1 : 0;
    ASSERT_EQ(Failures.size(), failures);
    if (failures) {
      EXPECT_EQ(Failures[0].first, sfNameNotResolved);
    }
  }
}

TEST_F(SNTPClientTest, QueryThatGetsOnlyRefusalsFailsNamingTheLastOne) {
  using Bytes = std::vector<uint8_t>;
  const struct {
    const char *Case;
    std::function<void(Bytes &)> Spoil;
    TSntpAnswerCheck Expected;
  } rows[] = {
      {"kiss-o'-death", [](Bytes &b) { b[1] = 0; }, sacKissOfDeath},
      {"unsynchronised", [](Bytes &b) { b[0] |= 0xC0; }, sacUnsynchronized},
      {"forged originate", [](Bytes &b) { b[27] ^= 0x40; }, sacBadOriginate},
  };
  ScriptedSntpServer server({"127.0.0.3:123"});
  ASSERT_TRUE(server.Ready()) << server.Failure();
  Client->Server = "127.0.0.3";
  Client->SetQueryTimeout(300);
  for (const auto &row : rows) {
    SCOPED_TRACE(row.Case);
    Failures.clear();
    Client->RequestTime();
    Datagram request;
    ASSERT_TRUE(server.WaitRequest(request));
    Bytes refused = Answer(request, 0.0, 2);
    row.Spoil(refused);
    server.Send(refused, request.From);
    ASSERT_TRUE(PumpUntil([&] { return !Failures.empty(); }, 3000));
    EXPECT_TRUE(Reports.empty());
    ASSERT_EQ(Failures.size(), 1u);
    EXPECT_EQ(Failures[0].first, sfNoAnswer);
    EXPECT_EQ(Failures[0].second, row.Expected);
  }
}

TEST_F(SNTPClientTest, ThresholdDecidesWhetherTheClientSetsTheClock) {
  const struct {
    int Threshold;
    double OffsetMs;
    bool Sets;
  } rows[] = {{100, 300.0, true}, {100, -300.0, true}, {100, 0.0, false}, {0, 300.0, false}};
  ScriptedSntpServer server({"127.0.0.3:123"});
  ASSERT_TRUE(server.Ready()) << server.Failure();
  Client->Server = "127.0.0.3";
  for (const auto &row : rows) {
    SCOPED_TRACE(std::to_string(row.Threshold) + " ms, offset " + std::to_string(row.OffsetMs));
    Reports.clear();
    testhooks::SetFakeUtcMs(RealUtcMs());
    testhooks::ClearClockSets();
    Client->SyncThreshold = row.Threshold;
    Client->RequestTime();
    Datagram request;
    ASSERT_TRUE(server.WaitRequest(request));
    const long long before = testhooks::FakeUtcMs();
    server.Send(Answer(request, row.OffsetMs, 2), request.From);
    ASSERT_TRUE(WaitReports(1));
    EXPECT_NEAR(Reports[0].LocalOffset, row.OffsetMs, 40.0);
    EXPECT_EQ(Reports[0].Synchronized, row.Sets);
    ASSERT_EQ(testhooks::ClockSets().size(), row.Sets ? 1u : 0u);
    if (row.Sets) {
      EXPECT_NEAR(static_cast<double>(testhooks::ClockSets()[0].unixMs - before), row.OffsetMs, 60.0);
    }
  }
}

TEST_F(SNTPClientTest, MulticastListensOnPort123AndReportsEveryBroadcast) {
  Client->SyncThreshold = 1;
  Client->SetBroadcastMode(bmMulticast);
  ASSERT_NE(Client->QuerySocket(), 0u);
  ASSERT_NE(Client->QuerySocket(), INVALID_SOCKET);
  EXPECT_EQ(LocalPort(Client->QuerySocket()), 123);
  Client->SetPollInterval(60);
  EXPECT_EQ(Client->PollInterval(), 0);

  SOCKET sender = peers::OpenUdp("127.0.0.5", 0);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = WinSockAccess->htons()(123);
  to.sin_addr.s_addr = WinSockAccess->inet_addr()("127.0.0.1");
  for (int i = 1; i <= 2; ++i) {
    std::vector<uint8_t> broadcast(48, 0);
    broadcast[0] = (4 << 3) | 5;
    broadcast[1] = 2;
    const TNtpTimestamp t = EncodeNtpTimestamp(SystemClockUtc() + i * 1000.0 / MSecsPerDay);
    std::copy(t.begin(), t.end(), broadcast.begin() + 40);
    WinSockAccess->sendto()(sender, reinterpret_cast<const char *>(broadcast.data()), 48, 0,
                            reinterpret_cast<const sockaddr *>(&to), sizeof to);
    ASSERT_TRUE(WaitReports(static_cast<size_t>(i)));
    EXPECT_NEAR(Reports.back().TimeStamp, TransmitTime(broadcast), 0.5 / MSecsPerDay);
    EXPECT_EQ(Reports.back().LocalOffset, 0.0);
    EXPECT_EQ(Reports.back().RoundTripDelay, 0.0);
    EXPECT_FALSE(Reports.back().Synchronized);
  }
  WinSockAccess->closesocket()(sender);
  EXPECT_TRUE(testhooks::ClockSets().empty());

  Client->SetBroadcastMode(bmUnicast);
  EXPECT_EQ(Client->QuerySocket(), INVALID_SOCKET);
  EXPECT_TRUE(PortFree(123));
}

}  // namespace
