// The host's Winsock: the ws2_32/wsock32 calls with Windows' error codes and
// WSAAsyncSelect notifications posted through the host message loop, over the BSD
// sockets of winsock_posix.cpp. Single-threaded, like the message loop it feeds.
#include <poll.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "platform/host/eventloop.h"
#include "platform/host/modules.h"
#include "platform/host/winsock_posix.h"
#include "platform/winapi.h"

namespace {

using hostsock::Option;

enum class Conn { Fresh, Connecting, Connected, Failed, Listening };

struct Sock {
  int fd = -1;
  int type = SOCK_STREAM;
  bool nonBlocking = false;
  bool bound = false;
  bool readShut = false;
  bool writeShut = false;
  Conn conn = Conn::Fresh;
  // WSAAsyncSelect registration and the events that may be posted again.
  HWND hwnd = nullptr;
  UINT msg = 0;
  long mask = 0;
  bool readArmed = false, writeArmed = false, oobArmed = false, acceptArmed = false;
  bool connectPosted = false, closePosted = false;
  bool peerClosed = false;  // the peer's end (or a reset) was seen
  bool dead = false;        // nothing more will come from the peer: stop polling
  int streamError = 0;      // a reset taken from the socket when FD_CLOSE reported it
};

// A WSAAsyncGetHostByName request whose answer has not been posted yet.
struct Lookup {
  HWND hwnd;
  UINT msg;
  char *buf;
  int buflen;
};

struct State {
  int startups = 0;
  std::map<SOCKET, Sock> socks;
  std::map<uintptr_t, Lookup> lookups;  // key: the request's handle
  uintptr_t nextLookup = 0;
  bool lookupsWatched = false;
};

State &S() {
  static State *s = new State;
  return *s;
}

int ErrnoToWsa(int e) {
  switch (e) {
    case 0:
      return 0;
    case EINTR:
      return WSAEINTR;
    case EBADF:
    case ENOTSOCK:
      return WSAENOTSOCK;
    case EACCES:
    case EPERM:
      return WSAEACCES;
    case EFAULT:
      return WSAEFAULT;
    case EINVAL:
      return WSAEINVAL;
    case EMFILE:
    case ENFILE:
      return WSAEMFILE;
    case EAGAIN:
      return WSAEWOULDBLOCK;
    case EINPROGRESS:
      return WSAEINPROGRESS;
    case EALREADY:
      return WSAEALREADY;
    case EDESTADDRREQ:
      return WSAEDESTADDRREQ;
    case EMSGSIZE:
      return WSAEMSGSIZE;
    case EPROTOTYPE:
      return WSAEPROTOTYPE;
    case ENOPROTOOPT:
      return WSAENOPROTOOPT;
    case EPROTONOSUPPORT:
      return WSAEPROTONOSUPPORT;
    case ESOCKTNOSUPPORT:
      return WSAESOCKTNOSUPPORT;
    case EOPNOTSUPP:
      return WSAEOPNOTSUPP;
    case EPFNOSUPPORT:
      return WSAEPFNOSUPPORT;
    case EAFNOSUPPORT:
      return WSAEAFNOSUPPORT;
    case EADDRINUSE:
      return WSAEADDRINUSE;
    case EADDRNOTAVAIL:
      return WSAEADDRNOTAVAIL;
    case ENETDOWN:
      return WSAENETDOWN;
    case ENETUNREACH:
      return WSAENETUNREACH;
    case ENETRESET:
      return WSAENETRESET;
    case ECONNABORTED:
      return WSAECONNABORTED;
    case ECONNRESET:
    case EPIPE:
      return WSAECONNRESET;
    case ENOBUFS:
    case ENOMEM:
      return WSAENOBUFS;
    case EISCONN:
      return WSAEISCONN;
    case ENOTCONN:
      return WSAENOTCONN;
    case ESHUTDOWN:
      return WSAESHUTDOWN;
    case ETOOMANYREFS:
      return WSAETOOMANYREFS;
    case ETIMEDOUT:
      return WSAETIMEDOUT;
    case ECONNREFUSED:
      return WSAECONNREFUSED;
    case ELOOP:
      return WSAELOOP;
    case ENAMETOOLONG:
      return WSAENAMETOOLONG;
    case EHOSTDOWN:
      return WSAEHOSTDOWN;
    case EHOSTUNREACH:
      return WSAEHOSTUNREACH;
    case ENOTEMPTY:
      return WSAENOTEMPTY;
    case EUSERS:
      return WSAEUSERS;
    case EDQUOT:
      return WSAEDQUOT;
    case ESTALE:
      return WSAESTALE;
    case EREMOTE:
      return WSAEREMOTE;
    default:
      return WSASYSCALLFAILURE;
  }
}

// A connected UDP socket that got an ICMP port-unreachable: Windows calls it a reset.
int DatagramErrorToWsa(int e) { return e == ECONNREFUSED ? WSAECONNRESET : ErrnoToWsa(e); }

int Fail(int wsaError) {
  WSASetLastError(wsaError);
  return SOCKET_ERROR;
}

// The checks every socket call starts with; null when it must fail (error set).
Sock *Enter(SOCKET s) {
  State &st = S();
  if (st.startups == 0) {
    WSASetLastError(WSANOTINITIALISED);
    return nullptr;
  }
  auto it = st.socks.find(s);
  if (it == st.socks.end()) {
    WSASetLastError(WSAENOTSOCK);
    return nullptr;
  }
  return &it->second;
}

bool Started() {
  if (S().startups > 0) return true;
  WSASetLastError(WSANOTINITIALISED);
  return false;
}

void Post(SOCKET s, Sock &k, int event, int error) {
  PostMessageA(k.hwnd, k.msg, static_cast<WPARAM>(s), WSAMAKESELECTREPLY(event, error));
}

bool Wants(const Sock &k, long event) { return k.hwnd && (k.mask & event); }

void OnReady(SOCKET s, short revents);

// What the loop must poll for, from the state and the armed events; nothing once the
// socket has nothing left to report, since poll() is level-triggered.
void Rewatch(SOCKET s, Sock &k) {
  short ev = 0;
  if (k.hwnd && k.mask && !k.dead) {
    if (k.conn == Conn::Connecting) {
      ev |= POLLOUT;
    } else if (k.type != SOCK_STREAM) {
      if (k.readArmed && (k.mask & FD_READ)) ev |= POLLIN;
      if (k.writeArmed && (k.mask & FD_WRITE)) ev |= POLLOUT;
    } else if (k.conn == Conn::Listening) {
      if (k.acceptArmed && (k.mask & FD_ACCEPT)) ev |= POLLIN;
    } else if (k.conn == Conn::Connected) {
      if (!k.peerClosed) {
        if (k.readArmed && (k.mask & FD_READ)) ev |= POLLIN;
        if (k.oobArmed && (k.mask & FD_OOB)) ev |= POLLPRI;
        if (!k.closePosted && (k.mask & FD_CLOSE)) ev |= POLLRDHUP;
      }
      if (k.writeArmed && (k.mask & FD_WRITE)) ev |= POLLOUT;
    }
  }
  if (ev)
    HostWatchFd(k.fd, ev, [s](int, short revents) { OnReady(s, revents); });
  else
    HostUnwatchFd(k.fd);
}

void ConnectDone(SOCKET s, Sock &k, int err) {
  if (err == 0) {
    k.conn = Conn::Connected;
    k.bound = true;
    if (Wants(k, FD_CONNECT) && !k.connectPosted) {
      k.connectPosted = true;
      Post(s, k, FD_CONNECT, 0);
    }
    if (Wants(k, FD_WRITE) && k.writeArmed) {
      k.writeArmed = false;
      Post(s, k, FD_WRITE, 0);
    }
  } else {
    k.conn = Conn::Failed;
    if (Wants(k, FD_CONNECT) && !k.connectPosted) {
      k.connectPosted = true;
      Post(s, k, FD_CONNECT, ErrnoToWsa(err));
    }
  }
}

// Reports the end of a stream once; afterwards it is no longer polled for reading.
void PeerClosed(SOCKET s, Sock &k, int error) {
  k.peerClosed = true;
  if (Wants(k, FD_CLOSE) && !k.closePosted) {
    k.closePosted = true;
    Post(s, k, FD_CLOSE, error);
  }
}

void OnReady(SOCKET s, short revents) {
  auto it = S().socks.find(s);
  if (it == S().socks.end()) return;
  Sock &k = it->second;
  if (k.conn == Conn::Connecting) {
    ConnectDone(s, k, hostsock::PendingError(k.fd));
  } else if (k.type != SOCK_STREAM) {
    if ((revents & (POLLIN | POLLERR)) && k.readArmed && Wants(k, FD_READ)) {
      k.readArmed = false;
      Post(s, k, FD_READ, 0);
    }
    if ((revents & POLLOUT) && k.writeArmed && Wants(k, FD_WRITE)) {
      k.writeArmed = false;
      Post(s, k, FD_WRITE, 0);
    }
  } else if (k.conn == Conn::Listening) {
    if ((revents & POLLIN) && k.acceptArmed && Wants(k, FD_ACCEPT)) {
      k.acceptArmed = false;
      Post(s, k, FD_ACCEPT, 0);
    }
  } else if (k.conn == Conn::Connected) {
    int peek = (revents & (POLLIN | POLLRDHUP | POLLHUP | POLLERR)) ? hostsock::PeekStream(k.fd) : -EAGAIN;
    if (peek == 1 && k.readArmed && Wants(k, FD_READ)) {
      k.readArmed = false;
      Post(s, k, FD_READ, 0);
    }
    if ((revents & POLLPRI) && k.oobArmed && Wants(k, FD_OOB)) {
      k.oobArmed = false;
      Post(s, k, FD_OOB, 0);
    }
    if ((revents & POLLOUT) && k.writeArmed && Wants(k, FD_WRITE)) {
      k.writeArmed = false;
      Post(s, k, FD_WRITE, 0);
    }
    if (peek == 0) {
      // The peer's end with nothing left to read.
      PeerClosed(s, k, 0);
    } else if (peek < 0 && peek != -EAGAIN) {
      // A reset; the peek took the socket's error, so recv is told it from here.
      k.streamError = -peek;
      k.dead = true;
      PeerClosed(s, k, -peek == ECONNRESET || -peek == EPIPE ? WSAECONNRESET : ErrnoToWsa(-peek));
    } else if (peek == 1 && (revents & (POLLRDHUP | POLLHUP))) {
      // The peer has ended but data remain: FD_CLOSE waits until they are read.
      k.peerClosed = true;
    }
    // Both directions are over: poll() would report it for ever.
    if (revents & POLLHUP) k.dead = true;
  }
  // A handler cannot have run in between (posting only queues), so k is still valid.
  Rewatch(s, k);
}

// A receive re-enables FD_READ; data still waiting then give the next one. After the
// peer's end the socket is not polled, so the remaining data, or their end, are looked at here.
void RearmRead(SOCKET s, Sock &k, bool oob) {
  if (oob)
    k.oobArmed = true;
  else
    k.readArmed = true;
  if (!oob && k.type == SOCK_STREAM && k.peerClosed) {
    int peek = hostsock::PeekStream(k.fd);
    if (peek == 1 && Wants(k, FD_READ)) {
      k.readArmed = false;
      Post(s, k, FD_READ, 0);
    } else if (peek == 0) {
      PeerClosed(s, k, 0);
    }
  }
  Rewatch(s, k);
}

bool CopyAddr(const hostsock::WinAddr &a, sockaddr *out, int *outLen) {
  if (!out || !outLen || *outLen < a.len) return false;
  memcpy(out, a.bytes, static_cast<size_t>(a.len));
  *outLen = a.len;
  return true;
}

SOCKET Register(int fd, int type) {
  Sock k;
  k.fd = fd;
  k.type = type;
  SOCKET s = static_cast<SOCKET>(fd);
  S().socks[s] = k;
  return s;
}

void Release(SOCKET s) {
  auto it = S().socks.find(s);
  if (it == S().socks.end()) return;
  HostUnwatchFd(it->second.fd);
  hostsock::Close(it->second.fd);
  S().socks.erase(it);
}

int Startup(WORD requested, LPWSADATA data, WORD highest) {
  BYTE major = LOBYTE(requested), minor = HIBYTE(requested);
  WORD version = requested;
  if (major > LOBYTE(highest) || (major == LOBYTE(highest) && minor > HIBYTE(highest))) version = highest;
  if (data) {
    memset(data, 0, sizeof *data);
    data->wVersion = version;
    data->wHighVersion = highest;
    strcpy(data->szDescription, "WinSock 2.0");
    strcpy(data->szSystemStatus, "Running");
    data->iMaxSockets = LOBYTE(version) == 1 ? 32767 : 0;
    data->iMaxUdpDg = LOBYTE(version) == 1 ? 65467 : 0;
  }
  if (major == 0) return WSAVERNOTSUPPORTED;
  if (!data) return WSAEFAULT;
  ++S().startups;
  return 0;
}

int WSAAPI WSAStartup1(WORD requested, LPWSADATA data) { return Startup(requested, data, MAKEWORD(1, 1)); }

// The IPPROTO_IP option numbers of Winsock 1.1, as wsock32 takes them.
int Ws1IpOption(int level, int name) {
  if (level != IPPROTO_IP) return name;
  switch (name) {
    case 2:
      return IP_MULTICAST_IF;
    case 3:
      return IP_MULTICAST_TTL;
    case 4:
      return IP_MULTICAST_LOOP;
    case 5:
      return IP_ADD_MEMBERSHIP;
    case 6:
      return IP_DROP_MEMBERSHIP;
    case 7:
      return IP_TTL;
    case 8:
      return IP_TOS;
    case 9:
      return IP_DONTFRAGMENT;
    default:
      return name;
  }
}

int WSAAPI getsockopt1(SOCKET s, int level, int name, char *value, int *len) {
  return getsockopt(s, level, Ws1IpOption(level, name), value, len);
}
int WSAAPI setsockopt1(SOCKET s, int level, int name, const char *value, int len) {
  return setsockopt(s, level, Ws1IpOption(level, name), value, len);
}

// Windows option (level, name) to the host-neutral id; false with the error to give.
bool MapOption(int level, int name, Option *opt, int *error) {
  struct Row {
    int level, name;
    Option opt;
  };
  static const Row rows[] = {
      {SOL_SOCKET, SO_DEBUG, Option::Debug},
      {SOL_SOCKET, SO_ACCEPTCONN, Option::AcceptConn},
      {SOL_SOCKET, SO_REUSEADDR, Option::ReuseAddr},
      {SOL_SOCKET, SO_KEEPALIVE, Option::KeepAlive},
      {SOL_SOCKET, SO_DONTROUTE, Option::DontRoute},
      {SOL_SOCKET, SO_BROADCAST, Option::Broadcast},
      {SOL_SOCKET, SO_LINGER, Option::Linger},
      {SOL_SOCKET, SO_OOBINLINE, Option::OobInline},
      {SOL_SOCKET, SO_SNDBUF, Option::SndBuf},
      {SOL_SOCKET, SO_RCVBUF, Option::RcvBuf},
      {SOL_SOCKET, SO_SNDLOWAT, Option::SndLowat},
      {SOL_SOCKET, SO_RCVLOWAT, Option::RcvLowat},
      {SOL_SOCKET, SO_SNDTIMEO, Option::SndTimeo},
      {SOL_SOCKET, SO_RCVTIMEO, Option::RcvTimeo},
      {SOL_SOCKET, SO_ERROR, Option::Error},
      {SOL_SOCKET, SO_TYPE, Option::Type},
      {IPPROTO_TCP, TCP_NODELAY, Option::TcpNoDelay},
      {IPPROTO_IP, IP_HDRINCL, Option::IpHdrIncl},
      {IPPROTO_IP, IP_TOS, Option::IpTos},
      {IPPROTO_IP, IP_TTL, Option::IpTtl},
      {IPPROTO_IP, IP_MULTICAST_IF, Option::IpMulticastIf},
      {IPPROTO_IP, IP_MULTICAST_TTL, Option::IpMulticastTtl},
      {IPPROTO_IP, IP_MULTICAST_LOOP, Option::IpMulticastLoop},
      {IPPROTO_IP, IP_ADD_MEMBERSHIP, Option::IpAddMembership},
      {IPPROTO_IP, IP_DROP_MEMBERSHIP, Option::IpDropMembership},
      {IPPROTO_IP, IP_DONTFRAGMENT, Option::IpDontFragment},
  };
  if (level != SOL_SOCKET && level != IPPROTO_TCP && level != IPPROTO_IP && level != IPPROTO_UDP) {
    *error = WSAEINVAL;
    return false;
  }
  for (const Row &r : rows)
    if (r.level == level && r.name == name) {
      *opt = r.opt;
      return true;
    }
  *error = WSAENOPROTOOPT;
  return false;
}

// Windows takes a BOOL or DWORD option from 1 byte up.
int ReadIntValue(const char *value, int len) {
  if (len >= 4) {
    int v;
    memcpy(&v, value, 4);
    return v;
  }
  if (len >= 2) {
    uint16_t v;
    memcpy(&v, value, 2);
    return v;
  }
  return static_cast<unsigned char>(value[0]);
}

// gethostbyname's result lives in per-thread storage until the thread's next call.
struct HostEntry {
  hostent entry{};
  std::string name;
  std::vector<uint32_t> addrs;
  std::vector<char *> addrPtrs;
  char *aliases[1] = {nullptr};
};

uint32_t Swap32(uint32_t v) {
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  return __builtin_bswap32(v);
#else
  return v;
#endif
}

uint16_t Swap16(uint16_t v) {
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  return __builtin_bswap16(v);
#else
  return v;
#endif
}

int ResolveErrorToWsa(hostsock::Resolve r) {
  switch (r) {
    case hostsock::Resolve::Ok:
      return 0;
    case hostsock::Resolve::NotFound:
      return WSAHOST_NOT_FOUND;
    case hostsock::Resolve::TryAgain:
      return WSATRY_AGAIN;
    case hostsock::Resolve::NoData:
      return WSANO_DATA;
    case hostsock::Resolve::NoMemory:
      return WSAENOBUFS;
    case hostsock::Resolve::NoRecovery:
      break;
  }
  return WSANO_RECOVERY;
}

// Lays a host entry out in the caller's buffer as Windows does: the entry, then its
// lists, addresses and name. Returns the size needed; writes only when it fits.
int PackHostEntry(const hostsock::LookupResult &r, char *buf, int buflen) {
  const size_t ptr = sizeof(char *);
  const size_t lists = (sizeof(hostent) + ptr - 1) / ptr * ptr;  // aliases[1], then the addresses
  const size_t addrs = lists + ptr * (1 + r.addrs.size() + 1);
  const size_t name = addrs + 4 * r.addrs.size();
  const size_t need = name + r.canonical.size() + 1;
  if (need > static_cast<size_t>(buflen)) return static_cast<int>(need);
  auto **aliases = reinterpret_cast<char **>(buf + lists);
  char **addrList = aliases + 1;
  aliases[0] = nullptr;
  for (size_t i = 0; i < r.addrs.size(); ++i) {
    memcpy(buf + addrs + 4 * i, &r.addrs[i], 4);
    addrList[i] = buf + addrs + 4 * i;
  }
  addrList[r.addrs.size()] = nullptr;
  memcpy(buf + name, r.canonical.c_str(), r.canonical.size() + 1);
  hostent entry{};
  entry.h_name = buf + name;
  entry.h_aliases = aliases;
  entry.h_addrtype = AF_INET;
  entry.h_length = 4;
  entry.h_addr_list = addrList;
  memcpy(buf, &entry, sizeof entry);
  return static_cast<int>(need);
}

// On the loop's thread: the answers of finished lookups, to the windows that asked.
void LookupsFinished() {
  State &st = S();
  for (const hostsock::LookupResult &r : hostsock::TakeFinishedLookups()) {
    auto it = st.lookups.find(r.id);
    if (it == st.lookups.end()) continue;  // cancelled, or the last cleanup came first
    Lookup k = it->second;
    st.lookups.erase(it);
    int error = ResolveErrorToWsa(r.status);
    int size = 0;
    if (!error) {
      size = PackHostEntry(r, k.buf, k.buflen);
      if (size > k.buflen) error = WSAENOBUFS;
    }
    PostMessageA(k.hwnd, k.msg, static_cast<WPARAM>(r.id), WSAMAKEASYNCREPLY(size, error));
  }
}

// One part of a dotted address: decimal, 0-prefixed octal or 0x-prefixed hex.
bool ParsePart(const char *&p, unsigned long long *out) {
  int base = 10;
  if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
    base = 16;
    p += 2;
  } else if (p[0] == '0') {
    base = 8;
  }
  unsigned long long v = 0;
  int digits = 0;
  for (;; ++p, ++digits) {
    int d;
    char c = *p;
    if (c >= '0' && c <= '9')
      d = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f')
      d = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F')
      d = c - 'A' + 10;
    else
      break;
    if (d >= base) return false;
    v = v * base + d;
    if (v > 0xffffffffull) return false;
  }
  if (digits == 0 && base != 8) return false;
  *out = v;
  return true;
}

}  // namespace

// ---- Start-up and errors ---------------------------------------------------------------

int WSAAPI WSAStartup(WORD requested, LPWSADATA data) { return Startup(requested, data, MAKEWORD(2, 2)); }

int WSAAPI WSACleanup() {
  State &st = S();
  if (st.startups == 0) return Fail(WSANOTINITIALISED);
  // The last cleanup closes what the process left open, as Windows does.
  if (--st.startups == 0) {
    while (!st.socks.empty()) Release(st.socks.begin()->first);
    st.lookups.clear();
  }
  return 0;
}

// Winsock's error is the thread's last error, as on Windows.
int WSAAPI WSAGetLastError() { return static_cast<int>(GetLastError()); }
void WSAAPI WSASetLastError(int error) { SetLastError(static_cast<DWORD>(error)); }

int WSAAPI WSACancelAsyncRequest(HANDLE request) {
  if (!Started()) return SOCKET_ERROR;
  // An answered request is forgotten at once, so it is as unknown as a made-up handle.
  if (S().lookups.erase(reinterpret_cast<uintptr_t>(request)) == 0) return Fail(WSAEINVAL);
  return 0;
}

HANDLE WSAAPI WSAAsyncGetHostByName(HWND hwnd, u_int msg, const char *name, char *buf, int buflen) {
  if (!Started()) return nullptr;
  if (!name || !buf || buflen < 0) {
    WSASetLastError(WSAEFAULT);
    return nullptr;
  }
  if (!IsWindow(hwnd)) {
    WSASetLastError(WSAEINVAL);
    return nullptr;
  }
  std::string query = name;
  if (query.empty() && hostsock::HostName(&query) < 0) {
    WSASetLastError(WSANO_RECOVERY);
    return nullptr;
  }
  State &st = S();
  if (!st.lookupsWatched) {
    int fd = hostsock::LookupNotifyFd();
    if (fd < 0) {
      WSASetLastError(WSAENOBUFS);
      return nullptr;
    }
    HostWatchFd(fd, POLLIN, [](int, short) { LookupsFinished(); });
    st.lookupsWatched = true;
  }
  uintptr_t id = ++st.nextLookup;
  if (hostsock::StartLookup(id, query) < 0) {
    WSASetLastError(WSAENOBUFS);
    return nullptr;
  }
  st.lookups[id] = Lookup{hwnd, msg, buf, buflen};
  return reinterpret_cast<HANDLE>(id);
}

// ---- Notifications -------------------------------------------------------------------------

int WSAAPI WSAAsyncSelect(SOCKET s, HWND hwnd, u_int msg, long events) {
  Sock *k = Enter(s);
  if (!k) return SOCKET_ERROR;
  if (events && !IsWindow(hwnd)) return Fail(WSAEINVAL);
  // The socket becomes non-blocking and stays so, even when notifications are cancelled.
  int r = hostsock::SetNonBlocking(k->fd, true);
  if (r < 0) return Fail(ErrnoToWsa(-r));
  k->nonBlocking = true;
  k->hwnd = events ? hwnd : nullptr;
  k->msg = events ? msg : 0;
  k->mask = events;
  k->readArmed = k->writeArmed = k->oobArmed = k->acceptArmed = true;
  Rewatch(s, *k);
  return 0;
}

// ---- Sockets ---------------------------------------------------------------------------------

SOCKET WSAAPI socket(int af, int type, int protocol) {
  if (!Started()) return INVALID_SOCKET;
  if (type != SOCK_STREAM && type != SOCK_DGRAM && type != SOCK_RAW) {
    WSASetLastError(WSAESOCKTNOSUPPORT);
    return INVALID_SOCKET;
  }
  int fd = hostsock::Socket(af, type, protocol);
  if (fd < 0) {
    WSASetLastError(ErrnoToWsa(-fd));
    return INVALID_SOCKET;
  }
  return Register(fd, type);
}

int WSAAPI closesocket(SOCKET s) {
  if (!Enter(s)) return SOCKET_ERROR;
  // Notifications already posted stay in the queue, as on Windows.
  Release(s);
  return 0;
}

int WSAAPI bind(SOCKET s, const sockaddr *name, int namelen) {
  Sock *k = Enter(s);
  if (!k) return SOCKET_ERROR;
  if (!name || namelen < static_cast<int>(sizeof(sockaddr_in))) return Fail(WSAEFAULT);
  int r = hostsock::Bind(k->fd, name, namelen);
  if (r < 0) return Fail(ErrnoToWsa(-r));
  k->bound = true;
  return 0;
}

int WSAAPI listen(SOCKET s, int backlog) {
  Sock *k = Enter(s);
  if (!k) return SOCKET_ERROR;
  if (k->type != SOCK_STREAM) return Fail(WSAEOPNOTSUPP);
  if (!k->bound) return Fail(WSAEINVAL);
  if (k->conn == Conn::Connected || k->conn == Conn::Connecting) return Fail(WSAEISCONN);
  int r = hostsock::Listen(k->fd, backlog);
  if (r < 0) return Fail(ErrnoToWsa(-r));
  k->conn = Conn::Listening;
  Rewatch(s, *k);
  return 0;
}

SOCKET WSAAPI accept(SOCKET s, sockaddr *addr, int *addrlen) {
  Sock *k = Enter(s);
  if (!k) return INVALID_SOCKET;
  if (k->conn != Conn::Listening) {
    WSASetLastError(WSAEINVAL);
    return INVALID_SOCKET;
  }
  if (addr && (!addrlen || *addrlen < static_cast<int>(sizeof(sockaddr_in)))) {
    WSASetLastError(WSAEFAULT);
    return INVALID_SOCKET;
  }
  hostsock::WinAddr peer{};
  int fd = hostsock::Accept(k->fd, &peer);
  k->acceptArmed = true;
  Rewatch(s, *k);
  if (fd < 0) {
    WSASetLastError(ErrnoToWsa(-fd));
    return INVALID_SOCKET;
  }
  if (addr) CopyAddr(peer, addr, addrlen);
  // The new socket takes over the listener's notifications, as on Windows.
  Sock listener = *k;
  SOCKET a = Register(fd, SOCK_STREAM);
  Sock &n = S().socks[a];
  n.conn = Conn::Connected;
  n.bound = true;
  if (listener.nonBlocking) {
    hostsock::SetNonBlocking(fd, true);
    n.nonBlocking = true;
  }
  if (listener.hwnd) {
    n.hwnd = listener.hwnd;
    n.msg = listener.msg;
    n.mask = listener.mask;
    n.readArmed = n.writeArmed = n.oobArmed = n.acceptArmed = true;
    Rewatch(a, n);
  }
  return a;
}

int WSAAPI connect(SOCKET s, const sockaddr *name, int namelen) {
  Sock *k = Enter(s);
  if (!k) return SOCKET_ERROR;
  if (!name || namelen < static_cast<int>(sizeof(sockaddr_in))) return Fail(WSAEFAULT);
  if (k->conn == Conn::Listening) return Fail(WSAEINVAL);
  int r = hostsock::Connect(k->fd, name, namelen);
  if (k->type != SOCK_STREAM) {
    if (r < 0) return Fail(ErrnoToWsa(-r));
    k->bound = true;
    return 0;
  }
  int e = r < 0 ? -r : 0;
  if (e == EINPROGRESS || (e == 0 && k->nonBlocking)) {
    // Windows reports every non-blocking connect as pending and tells the outcome
    // with FD_CONNECT, also when the host already knows it.
    k->conn = Conn::Connecting;
    k->bound = true;
    Rewatch(s, *k);
    return Fail(WSAEWOULDBLOCK);
  }
  if (e == 0) {
    k->conn = Conn::Connected;
    k->bound = true;
    return 0;
  }
  if (k->nonBlocking && (e == ECONNREFUSED || e == ETIMEDOUT || e == EHOSTUNREACH)) {
    ConnectDone(s, *k, e);
    return Fail(WSAEWOULDBLOCK);
  }
  if (e == EALREADY && k->conn == Conn::Connecting) return Fail(WSAEALREADY);
  return Fail(ErrnoToWsa(e));
}

int WSAAPI shutdown(SOCKET s, int how) {
  Sock *k = Enter(s);
  if (!k) return SOCKET_ERROR;
  if (how < SD_RECEIVE || how > SD_BOTH) return Fail(WSAEINVAL);
  int r = hostsock::Shutdown(k->fd, how);
  if (r < 0) return Fail(ErrnoToWsa(-r));
  if (how != SD_SEND) k->readShut = true;
  if (how != SD_RECEIVE) k->writeShut = true;
  return 0;
}

int WSAAPI getsockname(SOCKET s, sockaddr *name, int *namelen) {
  Sock *k = Enter(s);
  if (!k) return SOCKET_ERROR;
  hostsock::WinAddr a{};
  int r = hostsock::SockName(k->fd, &a);
  if (r < 0) return Fail(ErrnoToWsa(-r));
  return CopyAddr(a, name, namelen) ? 0 : Fail(WSAEFAULT);
}

int WSAAPI getpeername(SOCKET s, sockaddr *name, int *namelen) {
  Sock *k = Enter(s);
  if (!k) return SOCKET_ERROR;
  hostsock::WinAddr a{};
  int r = hostsock::PeerName(k->fd, &a);
  if (r < 0) return Fail(ErrnoToWsa(-r));
  return CopyAddr(a, name, namelen) ? 0 : Fail(WSAEFAULT);
}

int WSAAPI getsockopt(SOCKET s, int level, int optname, char *optval, int *optlen) {
  Sock *k = Enter(s);
  if (!k) return SOCKET_ERROR;
  if (!optval || !optlen) return Fail(WSAEFAULT);
  if (level == SOL_SOCKET && optname == SO_DONTLINGER) {
    if (*optlen < static_cast<int>(sizeof(BOOL))) return Fail(WSAEFAULT);
    int on, secs;
    int r = hostsock::GetLinger(k->fd, &on, &secs);
    if (r < 0) return Fail(ErrnoToWsa(-r));
    BOOL v = on ? FALSE : TRUE;
    memcpy(optval, &v, sizeof v);
    *optlen = sizeof v;
    return 0;
  }
  Option opt;
  int error;
  if (!MapOption(level, optname, &opt, &error)) return Fail(error);
  if (opt == Option::Linger) {
    if (*optlen < static_cast<int>(sizeof(linger))) return Fail(WSAEFAULT);
    int on, secs;
    int r = hostsock::GetLinger(k->fd, &on, &secs);
    if (r < 0) return Fail(ErrnoToWsa(-r));
    linger l{static_cast<u_short>(on ? 1 : 0), static_cast<u_short>(secs)};
    memcpy(optval, &l, sizeof l);
    *optlen = sizeof l;
    return 0;
  }
  if (opt == Option::IpAddMembership || opt == Option::IpDropMembership) return Fail(WSAENOPROTOOPT);
  if (*optlen < static_cast<int>(sizeof(int))) return Fail(WSAEFAULT);
  int v = 0;
  if (opt == Option::Error) {
    v = ErrnoToWsa(hostsock::PendingError(k->fd));
  } else {
    int r = hostsock::GetIntOption(k->fd, opt, &v);
    if (r < 0) return Fail(ErrnoToWsa(-r));
  }
  memcpy(optval, &v, sizeof v);
  *optlen = sizeof v;
  return 0;
}

int WSAAPI setsockopt(SOCKET s, int level, int optname, const char *optval, int optlen) {
  Sock *k = Enter(s);
  if (!k) return SOCKET_ERROR;
  if (!optval || optlen < 1) return Fail(WSAEFAULT);
  if (level == SOL_SOCKET && optname == SO_DONTLINGER) {
    int r = hostsock::SetLinger(k->fd, ReadIntValue(optval, optlen) ? 0 : 1, 0);
    return r < 0 ? Fail(ErrnoToWsa(-r)) : 0;
  }
  Option opt;
  int error;
  if (!MapOption(level, optname, &opt, &error)) return Fail(error);
  int r;
  if (opt == Option::Linger) {
    if (optlen < static_cast<int>(sizeof(linger))) return Fail(WSAEFAULT);
    linger l;
    memcpy(&l, optval, sizeof l);
    r = hostsock::SetLinger(k->fd, l.l_onoff ? 1 : 0, l.l_linger);
  } else if (opt == Option::IpAddMembership || opt == Option::IpDropMembership) {
    if (optlen < static_cast<int>(sizeof(ip_mreq))) return Fail(WSAEFAULT);
    ip_mreq m;
    memcpy(&m, optval, sizeof m);
    r = hostsock::SetMembership(k->fd, opt, m.imr_multiaddr.s_addr, m.imr_interface.s_addr);
  } else if (opt == Option::Error || opt == Option::Type || opt == Option::AcceptConn) {
    return Fail(WSAENOPROTOOPT);
  } else {
    r = hostsock::SetIntOption(k->fd, opt, ReadIntValue(optval, optlen));
  }
  return r < 0 ? Fail(ErrnoToWsa(-r)) : 0;
}

int WSAAPI ioctlsocket(SOCKET s, long cmd, u_long *argp) {
  Sock *k = Enter(s);
  if (!k) return SOCKET_ERROR;
  if (!argp) return Fail(WSAEFAULT);
  uint32_t c = static_cast<uint32_t>(cmd);
  if (c == static_cast<uint32_t>(FIONBIO)) {
    bool on = *argp != 0;
    // A socket with notifications cannot be made blocking.
    if (!on && k->hwnd && k->mask) return Fail(WSAEINVAL);
    int r = hostsock::SetNonBlocking(k->fd, on);
    if (r < 0) return Fail(ErrnoToWsa(-r));
    k->nonBlocking = on;
    return 0;
  }
  if (c == static_cast<uint32_t>(FIONREAD)) {
    int n = hostsock::BytesReadable(k->fd);
    if (n < 0) return Fail(ErrnoToWsa(-n));
    *argp = static_cast<u_long>(n);
    return 0;
  }
  return Fail(WSAEINVAL);
}

// ---- Data ------------------------------------------------------------------------------------

namespace {

int Receive(SOCKET s, char *buf, int len, int flags, sockaddr *from, int *fromlen) {
  Sock *k = Enter(s);
  if (!k) return SOCKET_ERROR;
  if (len < 0 || (!buf && len > 0)) return Fail(WSAEFAULT);
  if (from && (!fromlen || *fromlen < static_cast<int>(sizeof(sockaddr_in)))) return Fail(WSAEFAULT);
  bool datagram = k->type != SOCK_STREAM;
  bool oob = (flags & MSG_OOB) != 0;
  if (k->readShut) {
    RearmRead(s, *k, oob);
    return Fail(WSAESHUTDOWN);
  }
  if (datagram && !k->bound) {
    RearmRead(s, *k, oob);
    return Fail(WSAEINVAL);
  }
  hostsock::WinAddr peer{};
  long n = hostsock::Recv(k->fd, buf, len, flags, datagram, from ? &peer : nullptr);
  int error = 0;
  if (n < 0) {
    int e = static_cast<int>(-n);
    if (e == EAGAIN && !k->nonBlocking)
      error = WSAETIMEDOUT;  // SO_RCVTIMEO ran out
    else
      error = datagram ? DatagramErrorToWsa(e) : ErrnoToWsa(e);
  } else if (n == 0 && !datagram && k->streamError) {
    // The reset that FD_CLOSE reported is what a receive after it sees, too.
    error = ErrnoToWsa(k->streamError);
    k->streamError = 0;
  } else if (from) {
    CopyAddr(peer, from, fromlen);
  }
  RearmRead(s, *k, oob);
  if (error) return Fail(error);
  // A datagram longer than the buffer: the buffer holds its start, the rest is lost.
  if (datagram && n > len) return Fail(WSAEMSGSIZE);
  return static_cast<int>(n);
}

int Transmit(SOCKET s, const char *buf, int len, int flags, const sockaddr *to, int tolen) {
  Sock *k = Enter(s);
  if (!k) return SOCKET_ERROR;
  if (len < 0 || (!buf && len > 0)) return Fail(WSAEFAULT);
  bool datagram = k->type != SOCK_STREAM;
  if (k->writeShut) return Fail(WSAESHUTDOWN);
  if (!datagram) {
    to = nullptr;  // Windows ignores the address on a connected stream
    // A non-blocking connect nobody watches completes unseen: look now.
    hostsock::WinAddr peer;
    if (k->conn == Conn::Connecting && hostsock::PeerName(k->fd, &peer) == 0) {
      ConnectDone(s, *k, 0);
      Rewatch(s, *k);
    }
    if (k->conn != Conn::Connected) return Fail(WSAENOTCONN);
  } else if (to && tolen < static_cast<int>(sizeof(sockaddr_in))) {
    return Fail(WSAEFAULT);
  }
  long n = hostsock::Send(k->fd, buf, len, flags, to, tolen);
  if (n < 0) {
    int e = static_cast<int>(-n);
    if (e == EAGAIN && !k->nonBlocking) return Fail(WSAETIMEDOUT);  // SO_SNDTIMEO ran out
    if (e == EAGAIN) {
      k->writeArmed = true;
      Rewatch(s, *k);
    }
    return Fail(datagram ? DatagramErrorToWsa(e) : ErrnoToWsa(e));
  }
  if (datagram) k->bound = true;
  return static_cast<int>(n);
}

}  // namespace

int WSAAPI recv(SOCKET s, char *buf, int len, int flags) {
  return Receive(s, buf, len, flags, nullptr, nullptr);
}

int WSAAPI recvfrom(SOCKET s, char *buf, int len, int flags, sockaddr *from, int *fromlen) {
  return Receive(s, buf, len, flags, from, fromlen);
}

int WSAAPI send(SOCKET s, const char *buf, int len, int flags) {
  return Transmit(s, buf, len, flags, nullptr, 0);
}

int WSAAPI sendto(SOCKET s, const char *buf, int len, int flags, const sockaddr *to, int tolen) {
  return Transmit(s, buf, len, flags, to, tolen);
}

// ---- Names and byte order ---------------------------------------------------------------

int WSAAPI gethostname(char *name, int namelen) {
  if (!Started()) return SOCKET_ERROR;
  if (!name) return Fail(WSAEFAULT);
  std::string host;
  int r = hostsock::HostName(&host);
  if (r < 0) return Fail(ErrnoToWsa(-r));
  if (namelen <= static_cast<int>(host.size())) return Fail(WSAEFAULT);
  memcpy(name, host.c_str(), host.size() + 1);
  return 0;
}

hostent *WSAAPI gethostbyname(const char *name) {
  if (!Started()) return nullptr;
  std::string query = name ? name : "";
  if (query.empty() && hostsock::HostName(&query) < 0) {
    WSASetLastError(WSANO_RECOVERY);
    return nullptr;
  }
  static thread_local HostEntry he;
  std::string canonical;
  std::vector<uint32_t> addrs;
  hostsock::Resolve found = hostsock::ResolveIPv4(query, &canonical, &addrs);
  if (found != hostsock::Resolve::Ok) {
    WSASetLastError(ResolveErrorToWsa(found));
    return nullptr;
  }
  he.name = canonical;
  he.addrs = addrs;
  he.addrPtrs.clear();
  for (uint32_t &a : he.addrs) he.addrPtrs.push_back(reinterpret_cast<char *>(&a));
  he.addrPtrs.push_back(nullptr);
  he.entry.h_name = &he.name[0];
  he.entry.h_aliases = he.aliases;
  he.entry.h_addrtype = AF_INET;
  he.entry.h_length = 4;
  he.entry.h_addr_list = he.addrPtrs.data();
  return &he.entry;
}

unsigned long WSAAPI inet_addr(const char *cp) {
  if (!cp || !*cp) return INADDR_NONE;
  unsigned long long parts[4];
  int n = 0;
  const char *p = cp;
  for (;;) {
    if (n == 4 || !ParsePart(p, &parts[n])) return INADDR_NONE;
    ++n;
    if (*p != '.') break;
    ++p;
  }
  if (*p && *p != ' ' && *p != '\t' && *p != '\n' && *p != '\r') return INADDR_NONE;
  // The last part fills the bytes the others leave: a, a.b (8.24), a.b.c (8.8.16).
  static const unsigned long long lastMax[4] = {0xffffffffull, 0xffffffull, 0xffffull, 0xffull};
  uint32_t value = 0;
  for (int i = 0; i < n - 1; ++i) {
    if (parts[i] > 0xff) return INADDR_NONE;
    value |= static_cast<uint32_t>(parts[i]) << (24 - 8 * i);
  }
  if (parts[n - 1] > lastMax[n - 1]) return INADDR_NONE;
  value |= static_cast<uint32_t>(parts[n - 1]);
  return Swap32(value);
}

char *WSAAPI inet_ntoa(in_addr in) {
  static thread_local char text[16];
  snprintf(text, sizeof text, "%u.%u.%u.%u", in.S_un.S_un_b.s_b1, in.S_un.S_un_b.s_b2, in.S_un.S_un_b.s_b3,
           in.S_un.S_un_b.s_b4);
  return text;
}

u_short WSAAPI htons(u_short v) { return Swap16(v); }
u_short WSAAPI ntohs(u_short v) { return Swap16(v); }
u_long WSAAPI htonl(u_long v) { return Swap32(static_cast<uint32_t>(v)); }
u_long WSAAPI ntohl(u_long v) { return Swap32(static_cast<uint32_t>(v)); }

// ---- Modules -----------------------------------------------------------------------------

int HostLiveSocketCount() { return static_cast<int>(S().socks.size()); }

void HostRegisterWinsockModules() {
// Through void (*)(), the generic function pointer type the compiler lets one cast to.
#define EXPORT(name, fn) HostExport{name, reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(fn))}
  std::vector<HostExport> common = {
      EXPORT("WSACleanup", &WSACleanup),
      EXPORT("WSAGetLastError", &WSAGetLastError),
      EXPORT("WSASetLastError", &WSASetLastError),
      EXPORT("WSAAsyncSelect", &WSAAsyncSelect),
      EXPORT("WSACancelAsyncRequest", &WSACancelAsyncRequest),
      EXPORT("WSAAsyncGetHostByName", &WSAAsyncGetHostByName),
      EXPORT("socket", &socket),
      EXPORT("bind", &bind),
      EXPORT("listen", &listen),
      EXPORT("accept", &accept),
      EXPORT("connect", &connect),
      EXPORT("closesocket", &closesocket),
      EXPORT("shutdown", &shutdown),
      EXPORT("getsockname", &getsockname),
      EXPORT("getpeername", &getpeername),
      EXPORT("ioctlsocket", &ioctlsocket),
      EXPORT("recv", &recv),
      EXPORT("send", &send),
      EXPORT("recvfrom", &recvfrom),
      EXPORT("sendto", &sendto),
      EXPORT("gethostbyname", &gethostbyname),
      EXPORT("gethostname", &gethostname),
      EXPORT("inet_addr", &inet_addr),
      EXPORT("inet_ntoa", &inet_ntoa),
      EXPORT("htons", &htons),
      EXPORT("ntohs", &ntohs),
      EXPORT("htonl", &htonl),
      EXPORT("ntohl", &ntohl),
  };
  std::vector<HostExport> ws2 = common;
  ws2.push_back(EXPORT("WSAStartup", &WSAStartup));
  ws2.push_back(EXPORT("getsockopt", &getsockopt));
  ws2.push_back(EXPORT("setsockopt", &setsockopt));
  std::vector<HostExport> ws1 = common;
  ws1.push_back(EXPORT("WSAStartup", &WSAStartup1));
  ws1.push_back(EXPORT("getsockopt", &getsockopt1));
  ws1.push_back(EXPORT("setsockopt", &setsockopt1));
#undef EXPORT
  HostRegisterModule("ws2_32.dll", ws2);
  HostRegisterModule("wsock32.dll", ws1);
}
