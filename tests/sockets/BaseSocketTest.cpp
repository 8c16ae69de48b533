// The base socket against the real Winsock: options, binding, connecting, the
// connect notification with and without a proxy, closing and adopting handles.
#include <gtest/gtest.h>

#include <memory>

#include "sockets/NsSockBase.h"
#include "tests/sockets/ControlRecorder.h"

namespace {

// Records status reports itself: a base socket is no data socket, so the client's own
// OnStatus (which reads a data socket's counters) is not involved.
class StatusSpy : public TNsCustomClient {
 public:
  StatusSpy() : TNsCustomClient(nullptr) {}
  void DoStatus(SOCKET Socket, uint8_t Code, const TNsStatusRec &Info) override {
    Reports.push_back({Socket, Code, Info, {}});
  }
  std::vector<RecordedStatus> Reports;
};

class BaseSocketTest : public SocketTest {
 protected:
  int IntOption(SOCKET s, int Level, int Option) {
    int value = 0;  // Winsock writes some options as one byte
    int len = sizeof value;
    EXPECT_EQ(WinSockAccess->getsockopt()(s, Level, Option, reinterpret_cast<char *>(&value), &len), 0);
    return value;
  }
  // A port that was free a moment ago.
  uint16_t FreePort() {
    SOCKET s = WinSockAccess->socket()(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = Loopback(0);
    WinSockAccess->bind()(s, reinterpret_cast<sockaddr *>(&a), sizeof a);
    int len = sizeof a;
    WinSockAccess->getsockname()(s, reinterpret_cast<sockaddr *>(&a), &len);
    WinSockAccess->closesocket()(s);
    return WinSockAccess->ntohs()(a.sin_port);
  }
  bool CanBind(SOCKET s) {
    sockaddr_in a = Loopback(0);
    return WinSockAccess->bind()(s, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0;
  }
  // The error of connecting a connected socket again. One repeat is allowed to pass:
  // the host layer still reports the completion of the first connect once as success.
  static std::string RepeatedConnectError(TNsBaseSocket &Socket) {
    for (int attempt = 0; attempt < 2; ++attempt) {
      try {
        Socket.Connect(Loopback(1), "again");
      } catch (ENsWinSockError &e) {
        return e.Message();
      }
    }
    return "no error";
  }
  StatusSpy Control;
};

TEST_F(BaseSocketTest, SocksServerInfoAssignCopiesEveryValueAndRefusesStrangers) {
  TNsSocksServerInfo from, to;
  from.Address = "proxy.example";
  from.Password = "pw";
  from.Port = 1081;
  from.SocksVersion = svSocks5;
  from.UserCode = "me";
  to.Assign(&from);
  EXPECT_EQ(to.Address, "proxy.example");
  EXPECT_EQ(to.Password, "pw");
  EXPECT_EQ(to.Port, 1081);
  EXPECT_EQ(to.SocksVersion, svSocks5);
  EXPECT_EQ(to.UserCode, "me");

  TNsDataInits stranger;
  EXPECT_THROW(to.Assign(&stranger), Exception);
  EXPECT_EQ(to.Address, "proxy.example");
}

TEST_F(BaseSocketTest, DataInitsDefaults) {
  TNsDataInits inits;
  EXPECT_EQ(inits.FixedLineLength(), 80u);
  EXPECT_EQ(inits.IdleTimeout(), 0u);
  EXPECT_EQ(inits.LineTermChar(), 10);
  EXPECT_EQ(inits.LineTerminator(), ltCRLF);
  EXPECT_EQ(inits.LogOptions(), (TNsLogOptionSet{loHighData, loTelnet}));
  EXPECT_EQ(inits.ReceiveBufferSize(), 4096);
  EXPECT_EQ(inits.ReceiveMode(), rmLine);
  EXPECT_EQ(inits.SendBufferSize(), 4096);
  EXPECT_FALSE(inits.StripLineTerminator());
  EXPECT_EQ(inits.SocketOptions().Bits(), 0);
}

TEST_F(BaseSocketTest, OptionsAreWrittenByTypeAndAnOmittedOptionIsSwitchedOff) {
  const int sol = 0xFFFF;
  TNsBaseInits inits;
  inits.SetSocketOptions({soNoDelay, soKeepAlive, soReuseAddr, soBroadcast});
  {
    TNsBaseSocket tcp(&Control, INVALID_SOCKET, NsAnyAddress(), &inits, nullptr);
    EXPECT_EQ(tcp.SocketType(), SOCK_STREAM);
    EXPECT_NE(IntOption(tcp.Handle(), 6, 1), 0);       // TCP_NODELAY
    EXPECT_NE(IntOption(tcp.Handle(), sol, 8), 0);     // SO_KEEPALIVE
    EXPECT_NE(IntOption(tcp.Handle(), sol, 4), 0);     // SO_REUSEADDR
    EXPECT_EQ(IntOption(tcp.Handle(), sol, 0x20), 0);  // SO_BROADCAST is for datagrams only
    tcp.ApplySocketOptions({});
    EXPECT_EQ(IntOption(tcp.Handle(), 6, 1), 0);
    EXPECT_EQ(IntOption(tcp.Handle(), sol, 8), 0);
    EXPECT_EQ(IntOption(tcp.Handle(), sol, 4), 0);
    EXPECT_EQ(IntOption(tcp.Handle(), sol, 1), 0);  // SO_DEBUG
  }
  Control.SetSocketType(stUDP);
  // TCP_NODELAY on a datagram socket would be refused by Winsock and raise.
  TNsBaseSocket udp(&Control, INVALID_SOCKET, NsAnyAddress(), &inits, nullptr);
  EXPECT_EQ(udp.SocketType(), SOCK_DGRAM);
  EXPECT_NE(IntOption(udp.Handle(), sol, 0x20), 0);
  EXPECT_NE(IntOption(udp.Handle(), sol, 4), 0);
}

TEST_F(BaseSocketTest, OnlyALocalAddressOtherThanTheAnyAddressIsBound) {
  TNsBaseSocket unbound(&Control, INVALID_SOCKET, NsAnyAddress(), nullptr, nullptr);
  EXPECT_TRUE(CanBind(unbound.Handle()));  // a second bind would fail

  uint16_t port = FreePort();
  sockaddr_in portOnly = NsMakeAddress(0, WinSockAccess->htons()(port));
  TNsBaseSocket bound(&Control, INVALID_SOCKET, portOnly, nullptr, nullptr);
  sockaddr_in a{};
  int len = sizeof a;
  ASSERT_EQ(WinSockAccess->getsockname()(bound.Handle(), reinterpret_cast<sockaddr *>(&a), &len), 0);
  EXPECT_EQ(WinSockAccess->ntohs()(a.sin_port), port);
  EXPECT_FALSE(CanBind(bound.Handle()));

  // The same address again is taken: the constructor raises and keeps nothing open.
  try {
    TNsBaseSocket clash(&Control, INVALID_SOCKET, portOnly, nullptr, nullptr);
    FAIL() << "bind to a taken port did not raise";
  } catch (ENsWinSockError &e) {
    EXPECT_EQ(e.ErrorCode(), 10048);
    EXPECT_EQ(e.Message(), "WinSock Error (10048): Address already in use, on API 'Bind'");
  }
}

TEST_F(BaseSocketTest, ConnectDoneReportsConnectedUnlessAProxyHandshakeComesFirst) {
  peers::LoopbackPeer peer;
  TNsBaseSocket direct(&Control, INVALID_SOCKET, NsAnyAddress(), nullptr, nullptr);
  EXPECT_EQ(direct.SocksState(), 0);
  direct.Connect(Loopback(peer.Port()), "127.0.0.1");  // would-block is no error
  ASSERT_TRUE(peer.Accept());
  direct.ConnectDone();
  EXPECT_TRUE(direct.Connected());
  ASSERT_EQ(Control.Reports.size(), 1u);
  const RecordedStatus &r = Control.Reports[0];
  EXPECT_EQ(r.Code, nsStatusConnected);
  EXPECT_EQ(r.Socket, direct.Handle());
  EXPECT_EQ(+r.Info.RemotePort, peer.Port());  // host order
  EXPECT_EQ(+r.Info.RemoteAddress, WinSockAccess->inet_addr()("127.0.0.1"));
  EXPECT_NE(+r.Info.LocalPort, 0);
  EXPECT_EQ(+r.Info.LocalPort, WinSockAccess->ntohs()(direct.LocalAddress().sin_port));
  EXPECT_EQ(direct.RemoteHostName(), "127.0.0.1");

  // Connecting again fails at once, and the label says which connect it was.
  std::string text = RepeatedConnectError(direct);
  EXPECT_NE(text.find("WinSock Error (10056): Socket is already connected, on API 'Connect'"),
            std::string::npos)
      << text;

  peers::LoopbackPeer proxyPeer;
  TNsSocksServerInfo proxy;
  proxy.Address = "127.0.0.1";
  proxy.Port = proxyPeer.Port();
  TNsBaseSocket viaProxy(&Control, INVALID_SOCKET, NsAnyAddress(), nullptr, &proxy);
  EXPECT_EQ(viaProxy.SocksState(), 1);
  // The target is unreachable; only the proxy's port is dialled.
  viaProxy.Connect(Loopback(1), "target");
  ASSERT_TRUE(proxyPeer.Accept());
  viaProxy.ConnectDone();
  EXPECT_EQ(viaProxy.SocksState(), 2);
  EXPECT_EQ(Control.Reports.size(), 1u);  // no connected report yet
  text = RepeatedConnectError(viaProxy);
  EXPECT_NE(text.find("on API 'SocksConnect'"), std::string::npos) << text;
}

TEST_F(BaseSocketTest, CloseThenDestroyClosesTheHandleOnce) {
  auto first = std::make_unique<TNsBaseSocket>(&Control, INVALID_SOCKET, NsAnyAddress(), nullptr, nullptr);
  SOCKET handle = first->Handle();
  first->CloseSocket();
  EXPECT_EQ(first->Handle(), INVALID_SOCKET);
  ASSERT_EQ(Control.Reports.size(), 1u);
  EXPECT_EQ(Control.Reports[0].Code, nsStatusClosed);
  EXPECT_EQ(Control.Reports[0].Socket, handle);
  // Winsock may hand the number out again; destroying the closed socket must leave
  // the new owner's handle alone.
  SOCKET next = WinSockAccess->socket()(AF_INET, SOCK_STREAM, 0);
  first.reset();
  int type = 0, len = sizeof type;
  EXPECT_EQ(WinSockAccess->getsockopt()(next, 0xFFFF, 0x1008, reinterpret_cast<char *>(&type), &len), 0);
  WinSockAccess->closesocket()(next);
  EXPECT_EQ(Control.Reports.size(), 1u);
}

TEST_F(BaseSocketTest, AnAdoptedHandleKeepsItsOwnType) {
  SOCKET udp = WinSockAccess->socket()(AF_INET, SOCK_DGRAM, 0);
  ASSERT_NE(udp, INVALID_SOCKET);
  ASSERT_EQ(Control.SocketType(), stTCP);
  TNsBaseSocket adopted(&Control, udp, NsAnyAddress(), nullptr, nullptr);
  EXPECT_EQ(adopted.Handle(), udp);
  EXPECT_EQ(adopted.SocketType(), SOCK_DGRAM);
}

}  // namespace
