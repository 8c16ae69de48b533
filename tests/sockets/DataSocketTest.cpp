// The data socket against a line server of our own: line delivery and its limits, the
// other receive modes, the send queue with write-done and close-after, the drain on
// close; and the SOCKS handshakes and Telnet negotiation against scripted peers.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

#include "tests/sockets/ControlRecorder.h"

namespace {

using peers::PumpFor;
using peers::PumpUntil;

class DataSocketTest : public SocketTest {
 protected:
  // Connects the client to the peer and waits until both sides see the connection.
  void Open(const std::function<void(TNsDataInits &)> &Configure = nullptr) {
    if (Configure) Configure(*Client.DataInits());
    Client.Connect(Peer.Address());
    ASSERT_TRUE(PumpUntil([&] { return Client.Connected(); }));
    ASSERT_TRUE(Peer.Accept());
    ASSERT_TRUE(PumpUntil([&] { return Client.DataSocket()->Writable(); }));
  }
  bool WaitReplies(size_t Count, int TimeoutMs = 5000) {
    return PumpUntil([&] { return Client.Replies.size() >= Count; }, TimeoutMs);
  }

  peers::LoopbackPeer Peer;
  RecordingClient Client;
};

TEST_F(DataSocketTest, LinesAreCutAtTheTerminatorKind) {
  struct Row {
    TNsLineTerminator Kind;
    bool Strip;
    std::string Sent;
    std::vector<std::string> Lines;
  } rows[] = {
      {ltCRLF, true, "AB\r\n", {"AB"}},
      {ltCRLF, false, "AB\r\n", {"AB\r\n"}},
      {ltCRLF, true, "a\nb\r\n", {"a\nb"}},  // a lone LF is no line end
      {ltLF, true, "x\ny\r\n", {"x", "y\r"}},
      {ltCR, false, "p\rq\r", {"p\r", "q\r"}},
      {ltOther, true, "one;two;", {"one", "two"}},
  };
  for (const Row &row : rows) {
    RecordingClient client;
    peers::LoopbackPeer peer;
    client.DataInits()->SetLineTerminator(row.Kind);
    client.DataInits()->SetStripLineTerminator(row.Strip);
    client.DataInits()->SetLineTermChar(';');
    client.Connect(peer.Address());
    ASSERT_TRUE(PumpUntil([&] { return client.Connected(); }));
    ASSERT_TRUE(peer.Accept());
    ASSERT_TRUE(peer.Send(row.Sent + "rest"));
    ASSERT_TRUE(PumpUntil([&] { return client.Replies.size() >= row.Lines.size(); })) << row.Sent;
    PumpFor(30);
    EXPECT_EQ(client.Replies, row.Lines) << row.Sent;
    EXPECT_EQ(client.DataSocket()->Stats().Received, row.Sent.size() + 4);
  }
}

TEST_F(DataSocketTest, ALineInPiecesAndLinesLongerThanTheBufferArriveWhole) {
  Open();
  ASSERT_TRUE(Peer.Send("hel"));
  PumpFor(50);
  ASSERT_TRUE(Peer.Send("lo\r\n"));
  ASSERT_TRUE(WaitReplies(1));
  EXPECT_EQ(Client.Replies[0], "hello\r\n");

  // Longer than the 8192-byte buffer, with its CR and LF split across the cut.
  std::string big(20000, 'x');
  for (size_t i = 0; i < big.size(); i += 97) big[i] = char('a' + i % 26);
  ASSERT_TRUE(Peer.Send(big + "\r"));
  PumpFor(50);
  ASSERT_TRUE(Peer.Send("\nnext\r\n"));
  ASSERT_TRUE(WaitReplies(3));
  EXPECT_EQ(Client.Replies[1], big + "\r\n");
  EXPECT_EQ(Client.Replies[2], "next\r\n");
  EXPECT_TRUE(Client.Errors.empty());
}

TEST_F(DataSocketTest, ManyLinesArrivingAtOnceStayApartWhenTheBufferFills) {
  Open();
  std::string block;
  for (int i = 0; i < 820; ++i) {
    char line[81];
    std::snprintf(line, sizeof line, "%04d%074d\r\n", i, 0);
    block += line;
  }
  ASSERT_TRUE(Peer.Send(block));
  ASSERT_TRUE(WaitReplies(820)) << Client.Replies.size() << " lines";
  PumpFor(30);
  ASSERT_EQ(Client.Replies.size(), 820u);
  for (int i = 0; i < 820; ++i) ASSERT_EQ(Client.Replies[size_t(i)], block.substr(size_t(i) * 80, 80));
}

TEST_F(DataSocketTest, AnOverlongLineIsDroppedWithItsTailAndReported) {
  Open();
  // Pending line limit: 1048576 characters. Past it the line is dropped and its tail,
  // up to the next line end, must not show up as a line of its own.
  std::string huge(1048576 + 20000, 'z');
  ASSERT_TRUE(Peer.Send(huge + "\r\nafter\r\n", 30000));
  ASSERT_TRUE(WaitReplies(1, 30000));
  PumpFor(50);
  ASSERT_EQ(Client.Errors.size(), 1u);
  EXPECT_EQ(Client.Errors[0].Code, 8001);
  EXPECT_EQ(Client.Errors[0].Text, "Received line too long, exceeds MaxLineBuf");
  ASSERT_EQ(Client.Replies.size(), 1u);
  EXPECT_EQ(Client.Replies[0], "after\r\n");
}

TEST_F(DataSocketTest, AnyAndFixedLengthModes) {
  Open([](TNsDataInits &i) { i.SetReceiveMode(rmAny); });
  ASSERT_TRUE(Peer.Send("no line end"));
  ASSERT_TRUE(WaitReplies(1));
  EXPECT_EQ(Client.Replies[0], "no line end");

  RecordingClient fixed;
  peers::LoopbackPeer peer;
  fixed.DataInits()->SetLineTerminator(ltNone);
  fixed.DataInits()->SetFixedLineLength(4);
  fixed.Connect(peer.Address());
  ASSERT_TRUE(PumpUntil([&] { return fixed.Connected(); }));
  ASSERT_TRUE(peer.Accept());
  ASSERT_TRUE(peer.Send("abcdef"));
  PumpFor(50);
  ASSERT_TRUE(peer.Send("gh\r\nij"));
  ASSERT_TRUE(PumpUntil([&] { return fixed.Replies.size() >= 3; }));
  PumpFor(30);
  EXPECT_EQ(fixed.Replies, (std::vector<std::string>{"abcd", "efgh", "\r\nij"}));
}

TEST_F(DataSocketTest, TheSendQueueReportsWriteDoneInOrderAndCanCloseAfterTheLastItem) {
  std::vector<std::pair<uint32_t, uint32_t>> done;
  Client.OnWriteDone = [&](TObject *, SOCKET, uint32_t Id, uint32_t Remaining) {
    done.push_back({Id, Remaining});
  };
  Open();
  TNsDataSocket *socket = Client.DataSocket();
  // A small send goes out at once and has no id.
  EXPECT_EQ(socket->Send("hi", 2), 0u);
  EXPECT_EQ(Peer.Receive(2), "hi");

  // More than the socket can take without the peer reading: the rest is queued.
  std::string block(8 * 1024 * 1024, 'q');
  uint32_t first = socket->Send(block.data(), uint32_t(block.size()));
  uint32_t second = socket->Send("tail", 4, false, false, true);
  ASSERT_NE(first, 0u);
  EXPECT_EQ(second, first + 1);
  EXPECT_EQ(socket->QueueCount(), 2u);
  std::string got = Peer.Receive(block.size() + 4, 30000);
  ASSERT_EQ(got.size(), block.size() + 4);
  EXPECT_EQ(got.substr(block.size()), "tail");
  ASSERT_TRUE(PumpUntil([&] { return !Client.IsActive(); }));
  EXPECT_EQ(done, (std::vector<std::pair<uint32_t, uint32_t>>{{first, 1}, {second, 0}}));
  EXPECT_TRUE(Peer.WaitForEnd());
  EXPECT_EQ(Client.CountStatus(nsStatusClosed), 1);
}

TEST_F(DataSocketTest, CloseDeliversWhatHadArrivedAndPeerCloseFreesTheSocket) {
  Open();
  ASSERT_TRUE(Peer.Send("complete\r\npartial"));
  PumpFor(30);
  ASSERT_TRUE(WaitReplies(1));
  Client.CloseSocket(Client.Handle());
  ASSERT_TRUE(WaitReplies(2));
  EXPECT_EQ(Client.Replies[1], "partial");
  EXPECT_FALSE(Client.IsActive());

  RecordingClient other;
  peers::LoopbackPeer peer;
  other.Connect(peer.Address());
  ASSERT_TRUE(PumpUntil([&] { return other.Connected(); }));
  ASSERT_TRUE(peer.Accept());
  ASSERT_TRUE(peer.Send("last words"));
  peer.CloseConnection();
  ASSERT_TRUE(PumpUntil([&] { return !other.IsActive(); }));
  PumpFor(30);
  EXPECT_EQ(other.Replies, std::vector<std::string>{"last words"});
  EXPECT_EQ(other.CountStatus(nsStatusClosed), 1);
}

TEST_F(DataSocketTest, TrafficIsReportedOnTheHeartbeatAndSmallBufferSizesAreLeftAlone) {
  Client.DataInits()->SetReceiveBufferSize(1024);
  // What a fresh socket has by default.
  SOCKET probe = WinSockAccess->socket()(AF_INET, SOCK_STREAM, 0);
  int def = 0, len = sizeof def;
  WinSockAccess->getsockopt()(probe, 0xFFFF, 0x1002, reinterpret_cast<char *>(&def), &len);
  WinSockAccess->closesocket()(probe);

  Client.CreateSocket();
  int size = 0;
  len = sizeof size;
  WinSockAccess->getsockopt()(Client.Handle(), 0xFFFF, 0x1002, reinterpret_cast<char *>(&size), &len);
  EXPECT_EQ(size, def);

  Client.SetHeartbeatInterval(20);
  Open();

  ASSERT_TRUE(Peer.Send("12345\r\n"));
  ASSERT_TRUE(PumpUntil([&] { return Client.CountStatus(nsStatusTraffic) > 0; }));
  const RecordedStatus &traffic = Client.Statuses.back();
  EXPECT_EQ(traffic.Stats.Received, 7u);
  EXPECT_EQ(traffic.Stats.Received2, 7u);
  EXPECT_EQ(traffic.Stats.RawReceived, 7u);
  EXPECT_EQ(+traffic.Info.RemotePort, Peer.Port());
}

TEST_F(DataSocketTest, IdleTimeoutFiresUntilTheHandlerResets) {
  int fired = 0;
  Client.OnIdleTimeout = [&](TObject *, SOCKET, bool &Reset) { Reset = ++fired == 1; };
  Client.DataInits()->SetIdleTimeout(60);
  Client.SetHeartbeatInterval(20);
  Open();
  ASSERT_TRUE(PumpUntil([&] { return fired == 1; }));
  EXPECT_EQ(Client.DataSocket()->IdleTime(), 0u);
  ASSERT_TRUE(PumpUntil([&] { return fired >= 3; }));
  EXPECT_GT(Client.DataSocket()->IdleTime(), 60u);
}

// ---- SOCKS against scripted proxies ----------------------------------------------

std::string Bytes(std::initializer_list<int> Values) {
  std::string s;
  for (int v : Values) s += char(v);
  return s;
}

TEST_F(DataSocketTest, Socks5WithUserAndPasswordThenData) {
  Client.SocksServer()->Address = "127.0.0.1";
  Client.SocksServer()->Port = Peer.Port();
  Client.SocksServer()->SocksVersion = svSocks5;
  Client.SocksServer()->UserCode = "alice";
  Client.SocksServer()->Password = "s3cret";
  Client.Connect("192.0.2.3:2323");  // reached only through the proxy
  ASSERT_TRUE(PumpUntil([&] { return Client.DataSocket()->SocksState() == 2; }));
  ASSERT_TRUE(Peer.Accept());
  EXPECT_EQ(Peer.Receive(4), Bytes({5, 2, 0, 2}));
  ASSERT_TRUE(Peer.Send(Bytes({5, 2})));
  EXPECT_EQ(Peer.Receive(14), Bytes({1, 5}) + "alice" + Bytes({6}) + "s3cret");
  EXPECT_EQ(Client.CountStatus(nsStatusConnected), 0);
  ASSERT_TRUE(Peer.Send(Bytes({1, 0})));
  EXPECT_EQ(Peer.Receive(10), Bytes({5, 1, 0, 1, 192, 0, 2, 3, 0x09, 0x13}));
  // The reply and the first data in one segment.
  ASSERT_TRUE(Peer.Send(Bytes({5, 0, 0, 1, 127, 0, 0, 9, 0x1F, 0x90}) + "welcome\r\n"));
  ASSERT_TRUE(WaitReplies(1));
  EXPECT_EQ(Client.Replies[0], "welcome\r\n");
  EXPECT_EQ(Client.DataSocket()->SocksState(), 5);
  EXPECT_EQ(Client.CountStatus(nsStatusConnected), 1);
  EXPECT_EQ(Client.DataSocket()->SocksBoundPort(), WinSockAccess->htons()(8080));
  EXPECT_TRUE(Client.Errors.empty());
}

TEST_F(DataSocketTest, Socks4And4aRequestsAndARefusal) {
  Client.SocksServer()->Address = "127.0.0.1";
  Client.SocksServer()->Port = Peer.Port();
  Client.SocksServer()->UserCode = "bob";
  Client.Connect("192.0.2.7:80");
  ASSERT_TRUE(PumpUntil([&] { return Client.DataSocket()->SocksState() == 2; }));
  ASSERT_TRUE(Peer.Accept());
  EXPECT_EQ(Peer.Receive(12), Bytes({4, 1, 0, 80, 192, 0, 2, 7}) + "bob" + Bytes({0}));
  ASSERT_TRUE(Peer.Send(Bytes({0, 90, 0, 80, 192, 0, 2, 7})));
  ASSERT_TRUE(PumpUntil([&] { return Client.CountStatus(nsStatusConnected) == 1; }));
  EXPECT_EQ(Client.DataSocket()->SocksState(), 5);

  // 4a hands the name to the proxy; this proxy refuses.
  RecordingClient named;
  peers::LoopbackPeer proxy;
  named.SocksServer()->Address = "127.0.0.1";
  named.SocksServer()->Port = proxy.Port();
  named.SocksServer()->SocksVersion = svSocks4a;
  named.Connect("127.0.0.1:21");
  ASSERT_TRUE(PumpUntil([&] { return named.DataSocket()->SocksState() == 2; }));
  ASSERT_TRUE(proxy.Accept());
  EXPECT_EQ(proxy.Receive(9), Bytes({4, 1, 0, 21, 127, 0, 0, 1, 0}));  // a dotted host needs no name

  RecordingClient byName;
  peers::LoopbackPeer proxy2;
  byName.SocksServer()->Address = "127.0.0.1";
  byName.SocksServer()->Port = proxy2.Port();
  byName.SocksServer()->SocksVersion = svSocks4a;
  // A name the proxy resolves: nothing here looks it up.
  byName.CreateSocket();
  byName.DataSocket()->Connect(Loopback(21), "relay.example:21");
  ASSERT_TRUE(PumpUntil([&] { return byName.DataSocket()->SocksState() == 2; }));
  ASSERT_TRUE(proxy2.Accept());
  EXPECT_EQ(proxy2.Receive(23), Bytes({4, 1, 0, 21, 0, 0, 0, 1, 0}) + "relay.example" + Bytes({0}));
  ASSERT_TRUE(proxy2.Send(Bytes({0, 91, 0, 0, 0, 0, 0, 0}) + "junk\r\n"));
  ASSERT_TRUE(PumpUntil([&] { return !byName.Errors.empty(); }));
  PumpFor(30);
  EXPECT_EQ(byName.Errors[0].Code, 91);
  EXPECT_EQ(byName.Errors[0].Text, "SOCKS request refused - 91");
  EXPECT_EQ(byName.CountStatus(nsStatusConnected), 0);
  EXPECT_TRUE(byName.Replies.empty());
}

// ---- Telnet against a scripted option peer ---------------------------------------

TEST_F(DataSocketTest, TelnetNegotiationAnswersRequestsButNeverAnswers) {
  Open([](TNsDataInits &i) { i.SetSocketOptions({soTelnet}); });
  TNsDataSocket *socket = Client.DataSocket();
  const int IAC = 255, WILL = 251, WONT = 252, DO = 253, DONT = 254, SB = 250, SE = 240;
  // Requests: the server wants terminal type and window size from us, offers echo,
  // and offers an option we do not want.
  ASSERT_TRUE(Peer.Send(Bytes({IAC, DO, 24, IAC, DO, 31, IAC, WILL, 1, IAC, WILL, 42}) + "ok"));
  std::string answers = Peer.Receive(12 + 9);
  EXPECT_EQ(answers, Bytes({IAC, WILL, 24,  IAC, WILL, 31, IAC, SB,  31,   0, 80,
                            0,   24,   IAC, SE,  IAC,  DO, 1,   IAC, DONT, 42}));
  EXPECT_TRUE(socket->LocalEnabled(24));
  EXPECT_TRUE(socket->RemoteEnabled(1));
  EXPECT_FALSE(socket->RemoteEnabled(42));

  // The same requests again, and the peer's answers to ours: nothing is answered.
  ASSERT_TRUE(Peer.Send(Bytes({IAC, DO, 24, IAC, WILL, 1, IAC, WONT, 42})));
  // A request split across two receives, and a doubled IAC as data.
  ASSERT_TRUE(Peer.Send(Bytes({IAC, SB, 24, 1, IAC})));
  PumpFor(50);
  ASSERT_TRUE(Peer.Send(Bytes({SE, 'x', IAC, IAC, 'y', '\r', '\n'})));
  EXPECT_EQ(Peer.Receive(10), Bytes({IAC, SB, 24, 0, 'd', 'u', 'm', 'b', IAC, SE}));
  ASSERT_TRUE(WaitReplies(1));
  EXPECT_EQ(Client.Replies[0], "okx\xFFy\r\n");

  // Switching off: the peer's DONT is acknowledged once; its WONT too.
  ASSERT_TRUE(Peer.Send(Bytes({IAC, DONT, 24, IAC, WONT, 1})));
  EXPECT_EQ(Peer.Receive(6), Bytes({IAC, WONT, 24, IAC, DONT, 1}));
  EXPECT_FALSE(socket->LocalEnabled(24));
  // Our own request is settled by the answer, which is not answered again.
  socket->RequestRemoteOption(3, true);
  EXPECT_EQ(Peer.Receive(3), Bytes({IAC, DO, 3}));
  ASSERT_TRUE(Peer.Send(Bytes({IAC, WILL, 3})));
  PumpFor(80);
  EXPECT_TRUE(socket->RemoteEnabled(3));
  EXPECT_EQ(Peer.Available(), "");
  // Data with IAC is escaped on the way out.
  socket->Send("\xFF", 1);
  EXPECT_EQ(Peer.Receive(2), Bytes({IAC, IAC}));
}

}  // namespace
