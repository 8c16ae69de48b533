// Winsock bound at run time: library start-up, UDP on loopback, names and byte order,
// and the error codes the socket framework reports.
#include <string>

#include "tests/platform/WinsockTestApi.h"

namespace {

TEST(WinsockLibraries, BothLibrariesExportEverythingAndNegotiateVersions) {
  struct Row {
    const char *dll;
    WORD requested;
    int result;
    WORD version;  // wVersion when the start-up succeeds
  };
  const Row rows[] = {
      {"ws2_32.dll", MAKEWORD(2, 2), 0, MAKEWORD(2, 2)},
      {"ws2_32.dll", MAKEWORD(1, 1), 0, MAKEWORD(1, 1)},
      {"ws2_32.dll", MAKEWORD(3, 0), 0, MAKEWORD(2, 2)},  // above the highest: the highest
      {"ws2_32.dll", MAKEWORD(0, 9), WSAVERNOTSUPPORTED, 0},
      {"wsock32.dll", MAKEWORD(1, 1), 0, MAKEWORD(1, 1)},
      {"wsock32.dll", MAKEWORD(0, 1), WSAVERNOTSUPPORTED, 0},
  };
  for (const Row &r : rows) {
    SCOPED_TRACE(std::string(r.dll) + " " + std::to_string(r.requested));
    WinsockApi ws(r.dll);
    ASSERT_NE(ws.lib, nullptr);
    ASSERT_EQ(ws.missing, 0);
    WSADATA data;
    memset(&data, 0xcc, sizeof data);
    ASSERT_EQ(ws.WSAStartup(r.requested, &data), r.result);
    if (r.result != 0) continue;
    EXPECT_EQ(data.wVersion, r.version);
    EXPECT_GE(data.wHighVersion, data.wVersion);
    EXPECT_LT(strlen(data.szDescription), sizeof data.szDescription);
    EXPECT_EQ(ws.WSACleanup(), 0);
  }
}

TEST(WinsockLibraries, CallsOutsideStartupFail) {
  WinsockApi ws("ws2_32.dll");
  ASSERT_EQ(ws.missing, 0);
  EXPECT_EQ(ws.WSACleanup(), SOCKET_ERROR);
  EXPECT_EQ(ws.WSAGetLastError(), WSANOTINITIALISED);
  EXPECT_EQ(ws.socket(AF_INET, SOCK_DGRAM, 0), INVALID_SOCKET);
  EXPECT_EQ(ws.WSAGetLastError(), WSANOTINITIALISED);

  // The last cleanup ends the sockets still open.
  WSADATA data;
  ASSERT_EQ(ws.WSAStartup(MAKEWORD(2, 2), &data), 0);
  SOCKET s = ws.socket(AF_INET, SOCK_DGRAM, 0);
  ASSERT_NE(s, INVALID_SOCKET);
  EXPECT_NE(s, 0u);
  ASSERT_EQ(ws.WSACleanup(), 0);
  ASSERT_EQ(ws.WSAStartup(MAKEWORD(2, 2), &data), 0);
  EXPECT_EQ(ws.closesocket(s), SOCKET_ERROR);
  EXPECT_EQ(ws.WSAGetLastError(), WSAENOTSOCK);
  EXPECT_EQ(ws.WSACleanup(), 0);
}

// Winsock 1.1 numbers its multicast options differently; wsock32 takes the old numbers.
TEST(WinsockLibraries, Wsock32TakesItsOwnOptionNumbers) {
  WinsockApi ws1("wsock32.dll"), ws2("ws2_32.dll");
  WSADATA data;
  ASSERT_EQ(ws1.WSAStartup(MAKEWORD(1, 1), &data), 0);
  SOCKET s = ws1.socket(AF_INET, SOCK_DGRAM, 0);
  ASSERT_NE(s, INVALID_SOCKET);
  const int ws1MulticastTtl = 3;
  int ttl = 7;
  EXPECT_EQ(ws1.setsockopt(s, IPPROTO_IP, ws1MulticastTtl, reinterpret_cast<const char *>(&ttl), sizeof ttl),
            0);
  int got = 0, len = sizeof got;
  EXPECT_EQ(ws2.getsockopt(s, IPPROTO_IP, IP_MULTICAST_TTL, reinterpret_cast<char *>(&got), &len), 0);
  EXPECT_EQ(got, 7);
  ws1.closesocket(s);
  ws1.WSACleanup();
}

class Winsock : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(ws.missing, 0);
    WSADATA data;
    ASSERT_EQ(ws.WSAStartup(MAKEWORD(2, 2), &data), 0);
  }
  void TearDown() override { ws.WSACleanup(); }
  WinsockApi ws{"ws2_32.dll"};
};

TEST_F(Winsock, UdpDatagramsOnLoopback) {
  SOCKET a = ws.BoundLoopback(SOCK_DGRAM), b = ws.BoundLoopback(SOCK_DGRAM);
  ASSERT_NE(a, INVALID_SOCKET);
  ASSERT_NE(b, INVALID_SOCKET);
  ws.SetReceiveTimeout(b, 2000);
  sockaddr_in to = ws.Addr("127.0.0.1", ws.PortOf(b));
  ASSERT_EQ(ws.sendto(a, "hello", 5, 0, reinterpret_cast<sockaddr *>(&to), sizeof to), 5);

  u_long pending = 0;
  // Loopback delivery may still be under way: the blocking receive below waits for it.
  char buf[64];
  sockaddr_in from;
  int fromLen = sizeof from;
  ASSERT_EQ(ws.recvfrom(b, buf, sizeof buf, MSG_PEEK, reinterpret_cast<sockaddr *>(&from), &fromLen), 5);
  EXPECT_EQ(ws.ioctlsocket(b, FIONREAD, &pending), 0);
  EXPECT_EQ(pending, 5u);
  fromLen = sizeof from;
  ASSERT_EQ(ws.recvfrom(b, buf, sizeof buf, 0, reinterpret_cast<sockaddr *>(&from), &fromLen), 5);
  EXPECT_EQ(std::string(buf, 5), "hello");
  EXPECT_EQ(fromLen, static_cast<int>(sizeof(sockaddr_in)));
  EXPECT_EQ(from.sin_family, AF_INET);
  EXPECT_EQ(ws.ntohs(from.sin_port), ws.PortOf(a));
  EXPECT_EQ(std::string(ws.inet_ntoa(from.sin_addr)), "127.0.0.1");

  // A datagram longer than the buffer: its start, WSAEMSGSIZE, and the rest is gone.
  char big[48];
  for (int i = 0; i < 48; ++i) big[i] = static_cast<char>('A' + i % 26);
  ASSERT_EQ(ws.sendto(a, big, 48, 0, reinterpret_cast<sockaddr *>(&to), sizeof to), 48);
  char small[10];
  memset(small, 0, sizeof small);
  fromLen = sizeof from;
  EXPECT_EQ(ws.recvfrom(b, small, sizeof small, 0, reinterpret_cast<sockaddr *>(&from), &fromLen),
            SOCKET_ERROR);
  EXPECT_EQ(ws.WSAGetLastError(), WSAEMSGSIZE);
  EXPECT_EQ(std::string(small, 10), "ABCDEFGHIJ");
  u_long on = 1;
  ASSERT_EQ(ws.ioctlsocket(b, FIONBIO, &on), 0);
  EXPECT_EQ(ws.recvfrom(b, buf, sizeof buf, 0, nullptr, nullptr), SOCKET_ERROR);
  EXPECT_EQ(ws.WSAGetLastError(), WSAEWOULDBLOCK);

  ws.closesocket(a);
  ws.closesocket(b);
}

TEST_F(Winsock, HostNamesResolveToIPv4) {
  hostent *h = ws.gethostbyname("localhost");
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(h->h_addrtype, AF_INET);
  EXPECT_EQ(h->h_length, 4);
  bool loopback = false;
  for (char **p = h->h_addr_list; *p; ++p) loopback |= memcmp(*p, "\x7f\x00\x00\x01", 4) == 0;
  EXPECT_TRUE(loopback);

  // A dotted address needs no resolver and comes back as the only address.
  h = ws.gethostbyname("192.0.2.7");
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(std::string(h->h_name), "192.0.2.7");
  ASSERT_NE(h->h_addr_list[0], nullptr);
  EXPECT_EQ(memcmp(h->h_addr_list[0], "\xc0\x00\x02\x07", 4), 0);
  EXPECT_EQ(h->h_addr_list[1], nullptr);

  EXPECT_EQ(ws.gethostbyname("no-such-host.invalid"), nullptr);
  EXPECT_EQ(ws.WSAGetLastError(), WSAHOST_NOT_FOUND);
}

TEST_F(Winsock, DottedAddressesAndByteOrder) {
  struct Row {
    const char *text;
    const char *bytes;  // network order; null: INADDR_NONE
  };
  const Row rows[] = {
      {"127.0.0.1", "\x7f\x00\x00\x01"},
      {"192.168.1.2", "\xc0\xa8\x01\x02"},
      {"10.0.0.255", "\x0a\x00\x00\xff"},
      {"255.255.255.255", "\xff\xff\xff\xff"},
      {"1.2.3.256", nullptr},
      {"1.2.3.4.5", nullptr},
      {"abc", nullptr},
      {"", nullptr},
  };
  for (const Row &r : rows) {
    SCOPED_TRACE(r.text);
    ULONG got = static_cast<ULONG>(ws.inet_addr(r.text));
    if (r.bytes)
      EXPECT_EQ(memcmp(&got, r.bytes, 4), 0) << std::hex << got;
    else
      EXPECT_EQ(got, INADDR_NONE);
  }
  EXPECT_EQ(ws.inet_addr(nullptr), static_cast<unsigned long>(INADDR_NONE));

  in_addr in;
  memcpy(&in, "\x0a\x14\x1e\xfe", 4);
  EXPECT_EQ(std::string(ws.inet_ntoa(in)), "10.20.30.254");

  u_short s = ws.htons(0x1234);
  EXPECT_EQ(memcmp(&s, "\x12\x34", 2), 0);
  EXPECT_EQ(ws.ntohs(s), 0x1234);
  ULONG l = static_cast<ULONG>(ws.htonl(0x01020304));
  EXPECT_EQ(memcmp(&l, "\x01\x02\x03\x04", 4), 0);
  EXPECT_EQ(ws.ntohl(l), 0x01020304u);
}

TEST_F(Winsock, FailuresCarryWindowsErrorCodes) {
  // The port of a bound UDP socket cannot be bound again.
  SOCKET a = ws.BoundLoopback(SOCK_DGRAM);
  SOCKET b = ws.socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in same = ws.Addr("127.0.0.1", ws.PortOf(a));
  EXPECT_EQ(ws.bind(b, reinterpret_cast<sockaddr *>(&same), sizeof same), SOCKET_ERROR);
  EXPECT_EQ(ws.WSAGetLastError(), WSAEADDRINUSE);
  // A name too short for an IPv4 address.
  EXPECT_EQ(ws.sendto(a, "x", 1, 0, reinterpret_cast<sockaddr *>(&same), 8), SOCKET_ERROR);
  EXPECT_EQ(ws.WSAGetLastError(), WSAEFAULT);
  char buf[4];
  sockaddr_in name;
  int nameLen = sizeof name;

  SOCKET t = ws.socket(AF_INET, SOCK_STREAM, 0);
  EXPECT_EQ(ws.recv(t, buf, sizeof buf, 0), SOCKET_ERROR);
  EXPECT_EQ(ws.WSAGetLastError(), WSAENOTCONN);
  nameLen = sizeof name;
  EXPECT_EQ(ws.getpeername(t, reinterpret_cast<sockaddr *>(&name), &nameLen), SOCKET_ERROR);
  EXPECT_EQ(ws.WSAGetLastError(), WSAENOTCONN);
  // A blocking connect to a port nobody listens on.
  sockaddr_in refused = ws.Addr("127.0.0.1", ws.FreePort(SOCK_STREAM));
  EXPECT_EQ(ws.connect(t, reinterpret_cast<sockaddr *>(&refused), sizeof refused), SOCKET_ERROR);
  EXPECT_EQ(ws.WSAGetLastError(), WSAECONNREFUSED);

  int level = 0x1234, value = 1;
  EXPECT_EQ(ws.setsockopt(a, level, SO_BROADCAST, reinterpret_cast<const char *>(&value), sizeof value),
            SOCKET_ERROR);
  EXPECT_EQ(ws.WSAGetLastError(), WSAEINVAL);

  // Every call on a socket that is gone.
  ws.closesocket(t);
  EXPECT_EQ(ws.closesocket(t), SOCKET_ERROR);
  EXPECT_EQ(ws.WSAGetLastError(), WSAENOTSOCK);
  EXPECT_EQ(ws.recv(t, buf, sizeof buf, 0), SOCKET_ERROR);
  EXPECT_EQ(ws.WSAGetLastError(), WSAENOTSOCK);
  EXPECT_EQ(ws.send(t, "x", 1, 0), SOCKET_ERROR);
  EXPECT_EQ(ws.WSAGetLastError(), WSAENOTSOCK);
  ws.closesocket(a);
  ws.closesocket(b);
}

}  // namespace
