// A client component that records what its events report, for the socket tests.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sockets/NsSockControl.h"
#include "tests/peers/LoopbackPeer.h"

struct RecordedStatus {
  SOCKET Socket;
  uint8_t Code;
  TNsStatusRec Info;
  TNsSockStats Stats;
};

struct RecordedError {
  SOCKET Socket;
  int32_t Code;
  std::string Text;
};

class RecordingClient : public TNsCustomClient {
 public:
  RecordingClient() : TNsCustomClient(nullptr) {
    OnStatus = [this](TObject *Sender, SOCKET Socket, const TNsSockStats &Stats, const TNsStatusRec &Info,
                      uint8_t Code) {
      EXPECT_EQ(Sender, this);
      Statuses.push_back({Socket, Code, Info, Stats});
    };
    OnError = [this](TObject *, SOCKET Socket, int32_t Code, const std::string &Text) {
      Errors.push_back({Socket, Code, Text});
    };
    OnReply = [this](TObject *, SOCKET, const std::string &Text) { Replies.push_back(Text); };
  }

  int CountStatus(uint8_t Code) const {
    int n = 0;
    for (auto &s : Statuses) n += s.Code == Code;
    return n;
  }

  std::vector<RecordedStatus> Statuses;
  std::vector<RecordedError> Errors;
  std::vector<std::string> Replies;
};

// Every socket test needs the Winsock access object.
class SocketTest : public ::testing::Test {
 protected:
  // Before the fixtures' members, which may open sockets already.
  SocketTest() {
    if (!WinSockAccess) {
      NsStartSocketFramework();
      FStartedFramework = true;
    }
  }
  // After the members are gone; other suites expect to find the framework as it was.
  ~SocketTest() override {
    if (FStartedFramework) NsStopSocketFramework();
  }
  void SetUp() override {
    if (!WinSockAccess) NsStartSocketFramework();
    ASSERT_NE(WinSockAccess, nullptr);
  }
  bool FStartedFramework = false;
  static sockaddr_in Loopback(uint16_t Port) {
    return NsMakeAddress(WinSockAccess->inet_addr()("127.0.0.1"), WinSockAccess->htons()(Port));
  }
};
