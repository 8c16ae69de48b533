// Winsock as the socket framework reaches it: bound by name from a loaded library, so
// the same tests hold the host's modules and Windows' (Wine's) DLLs to one behaviour.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/winapi.h"

#define WINSOCK_TEST_FUNCTIONS(X) \
  X(WSAStartup)                   \
  X(WSACleanup)                   \
  X(WSAGetLastError)              \
  X(WSAAsyncSelect)               \
  X(WSACancelAsyncRequest)        \
  X(WSAAsyncGetHostByName)        \
  X(socket)                       \
  X(bind)                         \
  X(listen)                       \
  X(accept)                       \
  X(connect)                      \
  X(closesocket)                  \
  X(shutdown)                     \
  X(getsockname)                  \
  X(getpeername)                  \
  X(getsockopt)                   \
  X(setsockopt)                   \
  X(ioctlsocket)                  \
  X(recv)                         \
  X(send)                         \
  X(recvfrom)                     \
  X(sendto)                       \
  X(gethostbyname)                \
  X(inet_addr)                    \
  X(inet_ntoa)                    \
  X(htons)                        \
  X(ntohs)                        \
  X(htonl)                        \
  X(ntohl)

struct WinsockApi {
  HMODULE lib = nullptr;
  int missing = 0;  // entry points the library did not have
#define WINSOCK_TEST_SLOT(name) decltype(&::name) name = nullptr;
  WINSOCK_TEST_FUNCTIONS(WINSOCK_TEST_SLOT)
#undef WINSOCK_TEST_SLOT

  explicit WinsockApi(const char *dll) {
    lib = LoadLibraryA(dll);
    if (!lib) return;
#define WINSOCK_TEST_BIND(name)                                                                         \
  name = reinterpret_cast<decltype(&::name)>(reinterpret_cast<void (*)()>(GetProcAddress(lib, #name))); \
  if (!name) ++missing;
    WINSOCK_TEST_FUNCTIONS(WINSOCK_TEST_BIND)
#undef WINSOCK_TEST_BIND
  }
  ~WinsockApi() {
    if (lib) FreeLibrary(lib);
  }
  WinsockApi(const WinsockApi &) = delete;
  WinsockApi &operator=(const WinsockApi &) = delete;

  // 127.0.0.1 (or any dotted address) and a port in host order.
  sockaddr_in Addr(const char *dotted, u_short port) const {
    sockaddr_in a;
    memset(&a, 0, sizeof a);
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = static_cast<ULONG>(inet_addr(dotted));
    return a;
  }
  u_short PortOf(SOCKET s) const {
    sockaddr_in a;
    int len = sizeof a;
    if (getsockname(s, reinterpret_cast<sockaddr *>(&a), &len) != 0) return 0;
    return ntohs(a.sin_port);
  }
  // A socket bound to 127.0.0.1 on a port the system picks.
  SOCKET BoundLoopback(int type) const {
    SOCKET s = socket(AF_INET, type, 0);
    sockaddr_in a = Addr("127.0.0.1", 0);
    if (s != INVALID_SOCKET && bind(s, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0) {
      closesocket(s);
      return INVALID_SOCKET;
    }
    return s;
  }
  // A loopback port nothing listens on: bound once, then released.
  u_short FreePort(int type) const {
    SOCKET s = BoundLoopback(type);
    u_short port = PortOf(s);
    closesocket(s);
    return port;
  }
  // Bounds a blocking receive, so a missing datagram fails the test instead of hanging.
  void SetReceiveTimeout(SOCKET s, DWORD ms) const {
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char *>(&ms), sizeof ms);
  }
};

// A window that collects socket notifications through the message loop.
class NotifyWindow {
 public:
  static const UINT kMessage = 4753;
  struct Note {
    SOCKET socket;
    int event;
    int error;
    bool operator==(const Note &o) const {
      return socket == o.socket && event == o.event && error == o.error;
    }
  };

  NotifyWindow() {
    WNDCLASSA wc;
    memset(&wc, 0, sizeof wc);
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "WinsockTestNotify";
    RegisterClassA(&wc);
    FHandle =
        CreateWindowExA(0, "WinsockTestNotify", "", 0, 0, 0, 0, 0, nullptr, nullptr, wc.hInstance, nullptr);
    // The timer keeps WaitMessage from sleeping past the deadline.
    SetTimer(FHandle, 1, 20, nullptr);
  }
  ~NotifyWindow() {
    KillTimer(FHandle, 1);
    DestroyWindow(FHandle);
  }
  HWND Handle() const { return FHandle; }

  // Pumps until `want` notifications came or `ms` passed; returns them in order.
  std::vector<Note> Pump(size_t want, DWORD ms) {
    std::vector<Note> got;
    DWORD start = GetTickCount();
    for (;;) {
      MSG m;
      while (got.size() < want && PeekMessageA(&m, FHandle, 0, 0, PM_REMOVE))
        if (m.message == kMessage)
          got.push_back(
              Note{static_cast<SOCKET>(m.wParam), WSAGETSELECTEVENT(m.lParam), WSAGETSELECTERROR(m.lParam)});
      if (got.size() >= want || GetTickCount() - start >= ms) return got;
      WaitMessage();
    }
  }

 private:
  HWND FHandle = nullptr;
};

inline std::ostream &operator<<(std::ostream &os, const NotifyWindow::Note &n) {
  return os << "{socket " << n.socket << ", event " << n.event << ", error " << n.error << "}";
}
