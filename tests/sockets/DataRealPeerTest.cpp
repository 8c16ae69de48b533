// The data socket against real servers started beside the test by
// tests/peers/with-peers.sh: Dante as SOCKS 5 and SOCKS 4 proxy, GNU telnetd.
// Without them (the suite run on its own) these tests skip.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "tests/sockets/ControlRecorder.h"

namespace {

using peers::PumpFor;
using peers::PumpUntil;

class RealPeerTest : public SocketTest {
 protected:
  // "host:port" from the environment, split; false when the server is not running.
  static bool Server(const char *Variable, std::string &Host, uint16_t &Port) {
    const char *value = std::getenv(Variable);
    if (!value || !*value) return false;
    std::string text(value);
    size_t colon = text.find(':');
    Host = text.substr(0, colon);
    Port = uint16_t(std::stoi(text.substr(colon + 1)));
    return true;
  }
};

TEST_F(RealPeerTest, SocksProxyCarriesTheConnectionBothWays) {
  std::string host;
  uint16_t port;
  if (!Server("HOROLAN_SOCKS_PROXY", host, port)) GTEST_SKIP() << "no SOCKS proxy running";
  for (TNsSocksVersion version : {svSocks5, svSocks4}) {
    SCOPED_TRACE(version == svSocks5 ? "SOCKS 5" : "SOCKS 4");
    peers::LoopbackPeer target;
    RecordingClient client;
    client.SocksServer()->Address = host;
    client.SocksServer()->Port = port;
    client.SocksServer()->SocksVersion = version;
    client.Connect(target.Address());
    ASSERT_TRUE(
        PumpUntil([&] { return client.CountStatus(nsStatusConnected) == 1 || !client.Errors.empty(); }));
    ASSERT_TRUE(client.Errors.empty()) << client.Errors[0].Text;
    EXPECT_EQ(client.DataSocket()->SocksState(), 5);
    ASSERT_TRUE(target.Accept());
    ASSERT_TRUE(target.Send("through the proxy\r\n"));
    ASSERT_TRUE(PumpUntil([&] { return !client.Replies.empty(); }));
    EXPECT_EQ(client.Replies[0], "through the proxy\r\n");
    ASSERT_TRUE(PumpUntil([&] { return client.DataSocket()->Writable(); }));
    client.DataSocket()->Send("and back", 8);
    EXPECT_EQ(target.Receive(8), "and back");
  }
}

TEST_F(RealPeerTest, TelnetServerAcceptsOurNegotiationAndStartsTheSession) {
  std::string host;
  uint16_t port;
  if (!Server("HOROLAN_TELNET_SERVER", host, port)) GTEST_SKIP() << "no telnet server running";
  RecordingClient client;
  client.DataInits()->SetSocketOptions({soTelnet});
  client.DataInits()->SetReceiveMode(rmAny);
  std::string seen;
  client.OnReply = [&](TObject *, SOCKET, const std::string &Text) { seen += Text; };
  client.Connect(host + ":" + std::to_string(port));
  // The server starts its session only once it has the terminal type it asked for.
  ASSERT_TRUE(PumpUntil(
      [&] { return seen.find("term=") != std::string::npos && seen.find('\n') != std::string::npos; }, 10000))
      << seen;
  std::string lower = seen;
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](char c) { return char(std::tolower(uint8_t(c))); });
  EXPECT_NE(lower.find("horolan-session term=dumb"), std::string::npos) << seen;
  EXPECT_EQ(seen.find('\xFF'), std::string::npos) << "Telnet commands leaked into the data";
  TNsDataSocket *socket = client.DataSocket();
  EXPECT_TRUE(socket->LocalEnabled(TelnetOptTerminalType));
  EXPECT_TRUE(socket->LocalEnabled(TelnetOptWindowSize));
  EXPECT_FALSE(socket->LocalEnabled(32));  // terminal speed: declined
  EXPECT_TRUE(client.Errors.empty());
}

}  // namespace
