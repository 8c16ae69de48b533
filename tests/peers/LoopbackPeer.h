// A scripted TCP server on 127.0.0.1 inside the test process: it listens, accepts the
// component's connection and then sends and receives exactly what the test says,
// without blocking, so a single-threaded test can interleave it with the message loop.
// It serves as the line server and as the scripted SOCKS and Telnet peers.
#pragma once

#include <chrono>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>

#include "platform/winapi.h"
#include "sockets/NsSockAccess.h"

namespace peers {

// Runs the message loop until Done() holds or TimeoutMs passed; returns Done().
inline bool PumpUntil(const std::function<bool()> &Done, int TimeoutMs = 5000) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(TimeoutMs);
  for (;;) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
      if (Done()) return true;
    }
    if (Done()) return true;
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

// Runs the message loop for about Ms milliseconds.
inline void PumpFor(int Ms) {
  PumpUntil([] { return false; }, Ms);
}

class LoopbackPeer {
 public:
  // Functions the framework itself never binds (a server's), taken from the same library.
  template <class F>
  static F Extra(const char *Name) {
    auto fn =
        reinterpret_cast<F>(reinterpret_cast<void *>(GetProcAddress(WinSockAccess->LibraryHandle(), Name)));
    if (!fn) throw std::runtime_error(std::string("Winsock has no ") + Name);
    return fn;
  }

  LoopbackPeer() {
    FListener = WinSockAccess->socket()(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = WinSockAccess->inet_addr()("127.0.0.1");
    WinSockAccess->bind()(FListener, reinterpret_cast<sockaddr *>(&a), sizeof a);
    Extra<int(WSAAPI *)(SOCKET, int)>("listen")(FListener, 4);
    int len = sizeof a;
    WinSockAccess->getsockname()(FListener, reinterpret_cast<sockaddr *>(&a), &len);
    FPort = WinSockAccess->ntohs()(a.sin_port);
  }
  ~LoopbackPeer() {
    if (FConn != INVALID_SOCKET) WinSockAccess->closesocket()(FConn);
    WinSockAccess->closesocket()(FListener);
  }
  LoopbackPeer(const LoopbackPeer &) = delete;
  LoopbackPeer &operator=(const LoopbackPeer &) = delete;

  uint16_t Port() const { return FPort; }
  std::string Address() const { return "127.0.0.1:" + std::to_string(FPort); }

  // Takes the pending connection (the client's connect has completed by then).
  bool Accept() {
    FConn = Extra<SOCKET(WSAAPI *)(SOCKET, sockaddr *, int *)>("accept")(FListener, nullptr, nullptr);
    if (FConn == INVALID_SOCKET) return false;
    u_long on = 1;
    Extra<int(WSAAPI *)(SOCKET, long, u_long *)>("ioctlsocket")(FConn, FIONBIO, &on);
    return true;
  }

  // Sends all of Data, pumping the message loop while the client's window is full.
  bool Send(const std::string &Data, int TimeoutMs = 10000) {
    size_t sent = 0;
    return PumpUntil(
        [&] {
          while (sent < Data.size()) {
            int n = WinSockAccess->send()(FConn, Data.data() + sent, int(Data.size() - sent), 0);
            if (n <= 0) return false;
            sent += size_t(n);
          }
          return true;
        },
        TimeoutMs);
  }

  // Whatever has arrived so far (after pumping the loop briefly).
  std::string Available() {
    std::string out;
    char buf[4096];
    for (;;) {
      int n = WinSockAccess->recv()(FConn, buf, sizeof buf, 0);
      if (n <= 0) break;
      out.append(buf, size_t(n));
    }
    return out;
  }

  // Pumps until Count bytes have arrived (or the time is up) and returns them.
  std::string Receive(size_t Count, int TimeoutMs = 5000) {
    PumpUntil(
        [&] {
          FReceived += Available();
          return FReceived.size() >= Count;
        },
        TimeoutMs);
    std::string out = FReceived.substr(0, Count);
    FReceived.erase(0, out.size());
    return out;
  }

  // True once the client has closed its sending side and everything was read.
  bool WaitForEnd(int TimeoutMs = 5000) {
    return PumpUntil(
        [&] {
          char c;
          int n = WinSockAccess->recv()(FConn, &c, 1, 0);
          if (n > 0) FReceived += c;
          return n == 0;
        },
        TimeoutMs);
  }

  void CloseConnection() {
    if (FConn != INVALID_SOCKET) WinSockAccess->closesocket()(FConn);
    FConn = INVALID_SOCKET;
  }

 private:
  SOCKET FListener = INVALID_SOCKET;
  SOCKET FConn = INVALID_SOCKET;
  uint16_t FPort = 0;
  std::string FReceived;
};

}  // namespace peers
