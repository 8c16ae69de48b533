// SNTP servers for the client's tests: chronyd, started through chronyd_peer.py on a
// loopback address, and a scripted responder inside the test process that receives
// the client's request and answers whatever the test makes of it.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/winapi.h"
#include "sockets/NsSockAccess.h"
#include "tests/peers/LoopbackPeer.h"

namespace peers {

// This folder as the compiler saw it, so the test finds its scripts beside it.
inline std::string PeersDir() {
  std::string file = __FILE__;
  return file.substr(0, file.find_last_of("/\\"));
}

inline std::string ReadTextFile(const std::string &Name) {
  std::string text;
  if (FILE *f = std::fopen(Name.c_str(), "rb")) {
    char buf[256];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
    std::fclose(f);
  }
  return text;
}

// A UDP socket on Address:Port, non-blocking, for the test to serve by hand.
inline SOCKET OpenUdp(const std::string &Address, uint16_t Port) {
  SOCKET s = WinSockAccess->socket()(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = WinSockAccess->htons()(Port);
  a.sin_addr.s_addr = WinSockAccess->inet_addr()(Address.c_str());
  if (WinSockAccess->bind()(s, reinterpret_cast<sockaddr *>(&a), sizeof a) == SOCKET_ERROR) {
    ADD_FAILURE() << "cannot bind " << Address << ":" << Port << ", error "
                  << WinSockAccess->WSAGetLastError()();
    WinSockAccess->closesocket()(s);
    return INVALID_SOCKET;
  }
  u_long on = 1;
  LoopbackPeer::Extra<int(WSAAPI *)(SOCKET, long, u_long *)>("ioctlsocket")(s, FIONBIO, &on);
  return s;
}

// A helper script of this folder, run for the length of a test. It reports on its
// WorkDir/ready file: "ready <control port>" or "failed <reason>"; a datagram "stop" to
// 127.0.0.1:<control port> ends it (it also ends by itself after a few minutes).
class PeerProcess {
 public:
  PeerProcess(const std::string &Script, const std::string &Name, const std::string &Args) {
    const char *out = std::getenv("HOROLAN_TEST_OUTPUT");
    FWorkDir = std::string(out && *out ? out : ".") + "/" + Name;
    std::remove((FWorkDir + "/ready").c_str());
    std::string command = "/usr/bin/env python3 " + PeersDir() + "/" + Script + " " + FWorkDir + " " + Args;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    std::vector<char> line(command.begin(), command.end());
    line.push_back(0);
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &info)) {
      FFailure = "cannot start " + Script + ", error " + std::to_string(GetLastError());
      return;
    }
    FProcess = info.hProcess;
    CloseHandle(info.hThread);
    for (int i = 0; i < 300; ++i) {
      std::string ready = ReadTextFile(FWorkDir + "/ready");
      if (ready.rfind("ready ", 0) == 0) {
        FControlPort = static_cast<uint16_t>(std::atoi(ready.c_str() + 6));
        return;
      }
      if (ready.rfind("failed", 0) == 0) {
        FFailure = ready;
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    FFailure = Script + " did not report";
  }
  ~PeerProcess() {
    if (FControlPort) {
      SOCKET s = WinSockAccess->socket()(AF_INET, SOCK_DGRAM, 0);
      const sockaddr_in a = ControlAddress();
      WinSockAccess->sendto()(s, "stop", 4, 0, reinterpret_cast<const sockaddr *>(&a), sizeof a);
      WinSockAccess->closesocket()(s);
    }
    if (FProcess) {
      WaitForSingleObject(FProcess, 10000);
      CloseHandle(FProcess);
    }
  }
  PeerProcess(const PeerProcess &) = delete;
  PeerProcess &operator=(const PeerProcess &) = delete;

  bool Running() const { return FControlPort != 0; }
  const std::string &Failure() const { return FFailure; }
  sockaddr_in ControlAddress() const {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = WinSockAccess->htons()(FControlPort);
    a.sin_addr.s_addr = WinSockAccess->inet_addr()("127.0.0.1");
    return a;
  }

 private:
  std::string FWorkDir;
  std::string FFailure;
  HANDLE FProcess = nullptr;  // owned
  uint16_t FControlPort = 0;
};

// chronyd on Address:123, clock control off, answering as a stratum-Stratum server.
class ChronydPeer : public PeerProcess {
 public:
  explicit ChronydPeer(const std::string &Address, int Stratum = 8)
      : PeerProcess("chronyd_peer.py", "chronyd-" + Address, Address + " " + std::to_string(Stratum)) {}
};

// One datagram a relay socket received: which socket, and who sent it.
struct Datagram {
  int Index = 0;
  std::vector<uint8_t> Bytes;
  sockaddr_in From{};
};

// A scripted SNTP server: the relay's sockets (the first is the server, the others
// send from elsewhere), served by the test between message-loop turns.
class ScriptedSntpServer {
 public:
  explicit ScriptedSntpServer(const std::vector<std::string> &Sockets)
      : FRelay("udp_relay.py", "relay-" + Sockets.at(0), Join(Sockets)) {
    if (!FRelay.Running()) return;
    FControl = OpenUdp("127.0.0.1", 0);
    const sockaddr_in relay = FRelay.ControlAddress();
    WinSockAccess->sendto()(FControl, "hello", 5, 0, reinterpret_cast<const sockaddr *>(&relay),
                            sizeof relay);
  }
  ~ScriptedSntpServer() {
    if (FControl != INVALID_SOCKET) WinSockAccess->closesocket()(FControl);
  }
  ScriptedSntpServer(const ScriptedSntpServer &) = delete;
  ScriptedSntpServer &operator=(const ScriptedSntpServer &) = delete;

  bool Ready() const { return FRelay.Running() && FControl != INVALID_SOCKET; }
  const std::string &Failure() const { return FRelay.Failure(); }

  // Runs the message loop until one of the sockets receives a datagram (true) or
  // TimeoutMs pass.
  bool WaitRequest(Datagram &Request, int TimeoutMs = 3000) {
    return PumpUntil([&] { return TryReceive(Request); }, TimeoutMs);
  }

  // Sends Bytes to To from socket Index.
  void Send(const std::vector<uint8_t> &Bytes, const sockaddr_in &To, int Index = 0) const {
    std::vector<char> packet(7 + Bytes.size());
    packet[0] = static_cast<char>(Index);
    std::memcpy(&packet[1], &To.sin_addr.s_addr, 4);
    std::memcpy(&packet[5], &To.sin_port, 2);
    if (!Bytes.empty()) std::memcpy(&packet[7], Bytes.data(), Bytes.size());
    const sockaddr_in relay = FRelay.ControlAddress();
    WinSockAccess->sendto()(FControl, packet.data(), static_cast<int>(packet.size()), 0,
                            reinterpret_cast<const sockaddr *>(&relay), sizeof relay);
  }

 private:
  static std::string Join(const std::vector<std::string> &Parts) {
    std::string all;
    for (const std::string &p : Parts) all += (all.empty() ? "" : " ") + p;
    return all;
  }
  bool TryReceive(Datagram &D) {
    char buf[2048];
    int n = WinSockAccess->recvfrom()(FControl, buf, sizeof buf, 0, nullptr, nullptr);
    if (n < 7) return false;
    D.Index = static_cast<uint8_t>(buf[0]);
    D.From = sockaddr_in{};
    D.From.sin_family = AF_INET;
    std::memcpy(&D.From.sin_addr.s_addr, buf + 1, 4);
    std::memcpy(&D.From.sin_port, buf + 5, 2);
    D.Bytes.assign(buf + 7, buf + n);
    return true;
  }

  PeerProcess FRelay;
  SOCKET FControl = INVALID_SOCKET;  // owned
};

}  // namespace peers
