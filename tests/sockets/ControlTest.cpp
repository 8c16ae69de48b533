// The socket control and the client base: notification dispatch and its errors, the
// heartbeat, deferred replies, the socket type, connecting and attached windows, and
// handlers that free the component in the middle of an event.
#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>

#include "tests/sockets/ControlRecorder.h"

namespace {

using peers::PumpFor;
using peers::PumpUntil;

class ControlTest : public SocketTest {
 protected:
  void TearDown() override { ApplicationHandleException = nullptr; }
  static LPARAM Select(WORD Event, WORD Error) { return LPARAM(MAKELONG(Event, Error)); }
};

// Counts heartbeats instead of passing them on.
class TickCounter : public TNsCustomClient {
 public:
  TickCounter() : TNsCustomClient(nullptr) {}
  void IdleTick(uint32_t ElapsedMs) override {
    ++Ticks;
    Elapsed += ElapsedMs;
  }
  int Ticks = 0;
  uint32_t Elapsed = 0;
};

// A window that keeps the status messages posted to it.
class StatusWindow {
 public:
  StatusWindow() {
    FWnd = AllocateHWnd([this](TMessage &m) {
      if (m.Msg == NS_STATUSPOST_MSG) Posts.push_back({SOCKET(m.WParam), m.LParam});
    });
  }
  ~StatusWindow() { DeallocateHWnd(FWnd); }
  HWND Handle() const { return FWnd; }
  std::vector<std::pair<SOCKET, LPARAM>> Posts;

 private:
  HWND FWnd;
};

TEST_F(ControlTest, ConstructionDefaultsAndSocketType) {
  RecordingClient client;
  EXPECT_EQ(client.SocketType(), stTCP);
  EXPECT_EQ(client.ProtocolName(), "tcp");
  EXPECT_EQ(client.SocketTypeNumber(), 1);
  EXPECT_EQ(client.HeartbeatInterval(), 500u);
  EXPECT_EQ(client.StatusMask(), (TNsStatusMask{0, 1, 2}));
  EXPECT_EQ(client.EventLog()->DateTimeFormat(), "yyyy.mm.dd hh:nn:ss");
  EXPECT_EQ(client.EventLog()->FileName(), "event.log");
  EXPECT_FALSE(client.IsActive());
  EXPECT_EQ(client.Handle(), INVALID_SOCKET);
  EXPECT_EQ(client.SocksServer()->Port, 1080);

  client.SetSocketType(stUDP);
  EXPECT_EQ(client.ProtocolName(), "udp");
  EXPECT_EQ(client.SocketTypeNumber(), 2);
  client.SetSocketType(stTCP);

  client.CreateSocket();
  EXPECT_TRUE(client.IsActive());
  try {
    client.SetSocketType(stUDP);
    FAIL() << "changing the type of an active client did not raise";
  } catch (ENsActiveError &e) {
    EXPECT_EQ(e.Message(), "Cannot set property on an active socket");
  }
  EXPECT_EQ(client.ProtocolName(), "tcp");
}

TEST_F(ControlTest, NotificationErrorsBecomeOnErrorWithTheEventName) {
  RecordingClient client;
  SOCKET s = client.CreateSocket();
  struct Row {
    WORD Event;
    WORD Error;
    const char *Text;
  } rows[] = {
      {FD_READ, 10050, "WinSock Error (10050): Network is down, on API 'Fd_Read'"},
      {FD_WRITE, 10054, "WinSock Error (10054): Connection reset by peer, on API 'Fd_Write'"},
      {FD_CONNECT, 10061, "WinSock Error (10061): Connection refused, on API 'Fd_Connect'"},
      {64, 10060, "WinSock Error (10060): Connection timed out, on API ''"},
  };
  for (const Row &row : rows) {
    client.Errors.clear();
    SendMessageA(client.WindowHandle(), NS_SOCKETEVENT_MSG, WPARAM(s), Select(row.Event, row.Error));
    ASSERT_EQ(client.Errors.size(), 1u) << row.Text;
    EXPECT_EQ(client.Errors[0].Socket, s);
    EXPECT_EQ(client.Errors[0].Code, row.Error);
    EXPECT_EQ(client.Errors[0].Text, row.Text);
    EXPECT_TRUE(client.IsActive()) << "only a close notification closes";
  }
  // A close with an error is reported, then closed and freed.
  client.Errors.clear();
  SendMessageA(client.WindowHandle(), NS_SOCKETEVENT_MSG, WPARAM(s), Select(FD_CLOSE, 10053));
  ASSERT_EQ(client.Errors.size(), 1u);
  EXPECT_EQ(client.Errors[0].Text,
            "WinSock Error (10053): Software caused connection abort, on API 'Fd_Close'");
  EXPECT_FALSE(client.IsActive());
  // Notifications for a handle that is no socket of this control do nothing.
  SendMessageA(client.WindowHandle(), NS_SOCKETEVENT_MSG, WPARAM(s + 4), Select(FD_CLOSE, 0));
  SendMessageA(client.WindowHandle(), NS_SOCKETEVENT_MSG, WPARAM(s + 4), Select(FD_READ, 0));
  EXPECT_TRUE(client.Errors.size() == 1u && client.Statuses.empty());
}

TEST_F(ControlTest, ConnectReportsToEventsAndAttachedWindowsAndCloseFreesTheSocket) {
  peers::LoopbackPeer peer;
  RecordingClient client;
  client.SetDefaultPort(peer.Port());
  StatusWindow early, late;
  client.AttachWindow(early.Handle());
  SOCKET s = client.Connect("127.0.0.1");  // the default port
  ASSERT_NE(s, INVALID_SOCKET);
  ASSERT_TRUE(PumpUntil([&] { return client.Connected(); }));
  ASSERT_TRUE(peer.Accept());
  ASSERT_EQ(client.CountStatus(nsStatusConnected), 1);
  EXPECT_EQ(client.Statuses[0].Socket, s);
  EXPECT_EQ(+client.Statuses[0].Info.RemotePort, peer.Port());

  try {
    client.Connect(peer.Address());
    FAIL() << "connect while connected did not raise";
  } catch (ENsWinSockError &e) {
    EXPECT_EQ(e.Message(), "Socket is already connected");
    EXPECT_EQ(e.ErrorCode(), 0);
  }

  client.AttachWindow(late.Handle());  // told at once that the socket is connected
  PumpFor(50);
  ASSERT_EQ(early.Posts.size(), 1u);
  EXPECT_EQ(early.Posts[0], std::make_pair(s, LPARAM(0x10001)));
  ASSERT_EQ(late.Posts.size(), 1u);
  EXPECT_EQ(late.Posts[0], std::make_pair(s, LPARAM(0x10001)));

  client.DetachWindow(late.Handle());
  client.CloseSocket(s);
  EXPECT_FALSE(client.IsActive());
  ASSERT_EQ(client.CountStatus(nsStatusClosed), 1);
  EXPECT_EQ(client.Statuses.back().Socket, s);
  PumpFor(50);
  ASSERT_EQ(early.Posts.size(), 2u);
  EXPECT_EQ(early.Posts[1], std::make_pair(s, LPARAM(0x10002)));
  EXPECT_EQ(late.Posts.size(), 1u);
  EXPECT_TRUE(peer.WaitForEnd());
}

TEST_F(ControlTest, ConnectAddressErrors) {
  RecordingClient client;
  try {
    client.Connect(":80");
    FAIL() << "connect without a host did not raise";
  } catch (ENsWinSockError &e) {
    EXPECT_EQ(e.Message(), "Destination address required");
  }
  try {
    client.Connect("127.0.0.1:65536");
    FAIL() << "a port past 65535 was accepted";
  } catch (ENsWinSockError &e) {
    EXPECT_EQ(e.Message(), "WinSock Error (10022): Invalid argument, on API 'Connect'");
  }
  EXPECT_FALSE(client.Connected());
  // A refused connection arrives as an error notification.
  uint16_t closedPort;
  {
    peers::LoopbackPeer gone;
    closedPort = gone.Port();
  }
  client.Connect("127.0.0.1:" + std::to_string(closedPort));
  ASSERT_TRUE(PumpUntil([&] { return !client.Errors.empty(); }));
  EXPECT_EQ(client.Errors[0].Code, 10061);
  EXPECT_EQ(client.Errors[0].Text, "WinSock Error (10061): Connection refused, on API 'Fd_Connect'");
  EXPECT_FALSE(client.Connected());
}

TEST_F(ControlTest, RepliesAreDeferredUnlessDirectAndQueuedOnesDieWithTheControl) {
  RecordingClient client;
  client.DoReply(7, "first");
  EXPECT_TRUE(client.Replies.empty());
  ASSERT_TRUE(PumpUntil([&] { return client.Replies.size() == 1; }));
  EXPECT_EQ(client.Replies[0], "first");
  client.SetReplyDirect(true);
  client.DoReply(7, std::string("a\0b", 3));
  ASSERT_EQ(client.Replies.size(), 2u);
  EXPECT_EQ(client.Replies[1], std::string("a\0b", 3));

  // Queued and never delivered: the sanitizer build reports a leak if they are lost.
  auto doomed = std::make_unique<RecordingClient>();
  doomed->DoReply(1, "never read");
  doomed->DoReply(1, "");
  doomed.reset();
  PumpFor(20);
}

TEST_F(ControlTest, HeartbeatRunsOnlyWhileADataSocketNeedsIt) {
  TickCounter client;
  client.SetHeartbeatInterval(20);
  PumpFor(150);
  EXPECT_EQ(client.Ticks, 0) << "a control without sockets woke up";
  SOCKET s = client.CreateSocket();
  ASSERT_TRUE(PumpUntil([&] { return client.Ticks >= 2; }, 3000));
  client.FreeSocket(s);
  PumpFor(30);  // a tick already queued may still arrive
  int ticks = client.Ticks;
  PumpFor(150);
  EXPECT_EQ(client.Ticks, ticks);
}

TEST_F(ControlTest, HeartbeatKeepsItsTimerWhenSetToTheSameValueAndStopsAtZero) {
  TickCounter client;
  client.CreateSocket();
  client.SetHeartbeatInterval(40);
  // Re-setting the current value more often than the interval must not restart it.
  ASSERT_TRUE(PumpUntil(
      [&] {
        client.SetHeartbeatInterval(40);
        return client.Ticks >= 3;
      },
      3000));
  EXPECT_GE(client.Elapsed, 60u);
  client.SetHeartbeatInterval(0);
  PumpFor(30);  // a tick already queued may still arrive
  int ticks = client.Ticks;
  PumpFor(150);
  EXPECT_EQ(client.Ticks, ticks);
}

TEST_F(ControlTest, HandlerExceptionsStayInsideTheWindow) {
  std::vector<std::string> reported;
  ApplicationHandleException = [&](std::exception &e) { reported.push_back(e.what()); };
  RecordingClient client;
  SOCKET s = client.CreateSocket();
  // A Winsock error raised by a handler becomes OnError; anything else goes to the
  // application's report.
  client.OnError = [&](TObject *, SOCKET, int32_t Code, const std::string &Text) {
    client.Errors.push_back({s, Code, Text});
    if (Code == 10050) throw std::runtime_error("handler failed");
  };
  client.OnIdleTimeout = [&](TObject *, SOCKET, bool &) { throw ENsWinSockError(10055, "Heartbeat"); };
  SendMessageA(client.WindowHandle(), NS_SOCKETEVENT_MSG, WPARAM(s), Select(FD_READ, 10050));
  ASSERT_EQ(reported.size(), 1u);
  EXPECT_EQ(reported[0], "handler failed");

  // An exception in the heartbeat stops it and is reported.
  client.DataSocket()->SetIdleTimeout(1);
  client.SetHeartbeatInterval(20);
  ASSERT_TRUE(PumpUntil([&] { return reported.size() == 2; }, 3000));
  EXPECT_EQ(reported[1], "WinSock Error (10055): No buffer space available, on API 'Heartbeat'");
  EXPECT_EQ(client.HeartbeatInterval(), 0u);
}

TEST_F(ControlTest, AHandlerMayFreeTheClientInsideItsEvent) {
  peers::LoopbackPeer peer;
  auto *client = new RecordingClient;
  bool freed = false;
  client->OnStatus = [&](TObject *, SOCKET, const TNsSockStats &, const TNsStatusRec &, uint8_t Code) {
    if (Code == nsStatusConnected) {
      delete client;
      freed = true;
    }
  };
  client->Connect(peer.Address());
  ASSERT_TRUE(PumpUntil([&] { return freed; }));
  PumpFor(30);

  // The same from OnError during a close notification, which would otherwise go on
  // to close a socket that is gone.
  auto *second = new RecordingClient;
  SOCKET s = second->CreateSocket();
  second->OnError = [&](TObject *, SOCKET, int32_t, const std::string &) { delete second; };
  SendMessageA(second->WindowHandle(), NS_SOCKETEVENT_MSG, WPARAM(s), Select(FD_CLOSE, 10054));
}

}  // namespace
