// The system-call half of the host's Winsock (see winsock_posix.h): Windows addresses
// and option ids in, BSD sockets underneath.
#include "platform/host/winsock_posix.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>

namespace hostsock {

namespace {

const int kWinInet = 2;
const int kWinInet6 = 23;

int Fail() { return -errno; }

// Windows never hands out socket 0 and the program reads 0 as "no socket", so a
// descriptor that lands on 0 (stdin closed) is moved up.
int AvoidZero(int fd) {
  if (fd != 0) return fd;
  int moved = fcntl(fd, F_DUPFD_CLOEXEC, 1);
  int err = errno;
  close(fd);
  if (moved < 0) return -err;
  return moved;
}

int ToHost(const void *winAddr, int len, sockaddr_storage *out, socklen_t *outLen) {
  if (!winAddr || len < 2) return -EFAULT;
  const unsigned char *p = static_cast<const unsigned char *>(winAddr);
  uint16_t family;
  memcpy(&family, p, 2);
  memset(out, 0, sizeof *out);
  if (family == kWinInet) {
    if (len < 16) return -EFAULT;
    sockaddr_in *in = reinterpret_cast<sockaddr_in *>(out);
    in->sin_family = AF_INET;
    memcpy(&in->sin_port, p + 2, 2);
    memcpy(&in->sin_addr, p + 4, 4);
    *outLen = sizeof *in;
    return 0;
  }
  if (family == kWinInet6) {
    if (len < 28) return -EFAULT;
    sockaddr_in6 *in6 = reinterpret_cast<sockaddr_in6 *>(out);
    in6->sin6_family = AF_INET6;
    memcpy(&in6->sin6_port, p + 2, 2);
    memcpy(&in6->sin6_flowinfo, p + 4, 4);
    memcpy(&in6->sin6_addr, p + 8, 16);
    memcpy(&in6->sin6_scope_id, p + 24, 4);
    *outLen = sizeof *in6;
    return 0;
  }
  return -EAFNOSUPPORT;
}

void ToWin(const sockaddr_storage &in, WinAddr *out) {
  memset(out, 0, sizeof *out);
  uint16_t family;
  if (in.ss_family == AF_INET6) {
    const sockaddr_in6 &a = reinterpret_cast<const sockaddr_in6 &>(in);
    family = kWinInet6;
    memcpy(out->bytes + 2, &a.sin6_port, 2);
    memcpy(out->bytes + 4, &a.sin6_flowinfo, 4);
    memcpy(out->bytes + 8, &a.sin6_addr, 16);
    memcpy(out->bytes + 24, &a.sin6_scope_id, 4);
    out->len = 28;
  } else {
    // An unbound socket reports AF_UNSPEC; Windows answers with an AF_INET zero address.
    const sockaddr_in &a = reinterpret_cast<const sockaddr_in &>(in);
    family = kWinInet;
    if (in.ss_family == AF_INET) {
      memcpy(out->bytes + 2, &a.sin_port, 2);
      memcpy(out->bytes + 4, &a.sin_addr, 4);
    }
    out->len = 16;
  }
  memcpy(out->bytes, &family, 2);
}

int HostFlags(int winFlags) {
  const int known = 0x1 | 0x2 | 0x4 | 0x8;
  if (winFlags & ~known) return -EOPNOTSUPP;
  int flags = 0;
  if (winFlags & 0x1) flags |= MSG_OOB;
  if (winFlags & 0x2) flags |= MSG_PEEK;
  if (winFlags & 0x4) flags |= MSG_DONTROUTE;
  if (winFlags & 0x8) flags |= MSG_WAITALL;
  return flags;
}

bool HostOption(Option opt, int *level, int *name) {
  struct Row {
    Option opt;
    int level, name;
  };
  static const Row rows[] = {
      {Option::Debug, SOL_SOCKET, SO_DEBUG},
      {Option::AcceptConn, SOL_SOCKET, SO_ACCEPTCONN},
      {Option::ReuseAddr, SOL_SOCKET, SO_REUSEADDR},
      {Option::KeepAlive, SOL_SOCKET, SO_KEEPALIVE},
      {Option::DontRoute, SOL_SOCKET, SO_DONTROUTE},
      {Option::Broadcast, SOL_SOCKET, SO_BROADCAST},
      {Option::OobInline, SOL_SOCKET, SO_OOBINLINE},
      {Option::SndBuf, SOL_SOCKET, SO_SNDBUF},
      {Option::RcvBuf, SOL_SOCKET, SO_RCVBUF},
      {Option::SndLowat, SOL_SOCKET, SO_SNDLOWAT},
      {Option::RcvLowat, SOL_SOCKET, SO_RCVLOWAT},
      {Option::SndTimeo, SOL_SOCKET, SO_SNDTIMEO},
      {Option::RcvTimeo, SOL_SOCKET, SO_RCVTIMEO},
      {Option::Error, SOL_SOCKET, SO_ERROR},
      {Option::Type, SOL_SOCKET, SO_TYPE},
      {Option::TcpNoDelay, IPPROTO_TCP, TCP_NODELAY},
      {Option::IpHdrIncl, IPPROTO_IP, IP_HDRINCL},
      {Option::IpTos, IPPROTO_IP, IP_TOS},
      {Option::IpTtl, IPPROTO_IP, IP_TTL},
      {Option::IpMulticastIf, IPPROTO_IP, IP_MULTICAST_IF},
      {Option::IpMulticastTtl, IPPROTO_IP, IP_MULTICAST_TTL},
      {Option::IpMulticastLoop, IPPROTO_IP, IP_MULTICAST_LOOP},
      {Option::IpDontFragment, IPPROTO_IP, IP_MTU_DISCOVER},
  };
  for (const Row &r : rows)
    if (r.opt == opt) {
      *level = r.level;
      *name = r.name;
      return true;
    }
  return false;
}

}  // namespace

int Socket(int winFamily, int type, int protocol) {
  int family = winFamily == kWinInet ? AF_INET : winFamily == kWinInet6 ? AF_INET6 : -1;
  if (family < 0) return -EAFNOSUPPORT;
  int fd = socket(family, type | SOCK_CLOEXEC, protocol);
  if (fd < 0) return Fail();
  fd = AvoidZero(fd);
  if (fd < 0) return fd;
  return fd;
}

int Close(int fd) { return close(fd) == 0 ? 0 : Fail(); }

int SetNonBlocking(int fd, bool on) {
  int flags = fcntl(fd, F_GETFL);
  if (flags < 0) return Fail();
  flags = on ? flags | O_NONBLOCK : flags & ~O_NONBLOCK;
  return fcntl(fd, F_SETFL, flags) == 0 ? 0 : Fail();
}

int Bind(int fd, const void *winAddr, int len) {
  sockaddr_storage a;
  socklen_t alen;
  int r = ToHost(winAddr, len, &a, &alen);
  if (r < 0) return r;
  return bind(fd, reinterpret_cast<sockaddr *>(&a), alen) == 0 ? 0 : Fail();
}

int Listen(int fd, int backlog) {
  return listen(fd, std::min(std::max(backlog, 0), SOMAXCONN)) == 0 ? 0 : Fail();
}

int Accept(int fd, WinAddr *peer) {
  sockaddr_storage a{};
  socklen_t alen = sizeof a;
  int s = accept4(fd, reinterpret_cast<sockaddr *>(&a), &alen, SOCK_CLOEXEC);
  if (s < 0) return Fail();
  s = AvoidZero(s);
  if (s >= 0 && peer) ToWin(a, peer);
  return s;
}

int Connect(int fd, const void *winAddr, int len) {
  sockaddr_storage a;
  socklen_t alen;
  int r = ToHost(winAddr, len, &a, &alen);
  if (r < 0) return r;
  return connect(fd, reinterpret_cast<sockaddr *>(&a), alen) == 0 ? 0 : Fail();
}

int SockName(int fd, WinAddr *out) {
  sockaddr_storage a{};
  socklen_t alen = sizeof a;
  if (getsockname(fd, reinterpret_cast<sockaddr *>(&a), &alen) != 0) return Fail();
  ToWin(a, out);
  return 0;
}

int PeerName(int fd, WinAddr *out) {
  sockaddr_storage a{};
  socklen_t alen = sizeof a;
  if (getpeername(fd, reinterpret_cast<sockaddr *>(&a), &alen) != 0) return Fail();
  ToWin(a, out);
  return 0;
}

int Shutdown(int fd, int how) { return shutdown(fd, how) == 0 ? 0 : Fail(); }

long Recv(int fd, void *buf, long len, int winFlags, bool datagram, WinAddr *from) {
  int flags = HostFlags(winFlags);
  if (flags < 0) return flags;
  if (datagram) flags |= MSG_TRUNC;
  sockaddr_storage a{};
  socklen_t alen = sizeof a;
  ssize_t n = recvfrom(fd, buf, static_cast<size_t>(len), flags, reinterpret_cast<sockaddr *>(&a), &alen);
  if (n < 0) return Fail();
  if (from) {
    if (alen > 0 && a.ss_family != AF_UNSPEC)
      ToWin(a, from);
    else
      PeerName(fd, from);
  }
  return static_cast<long>(n);
}

long Send(int fd, const void *buf, long len, int winFlags, const void *winTo, int toLen) {
  int flags = HostFlags(winFlags);
  if (flags < 0) return flags;
  if (flags & MSG_PEEK) return -EOPNOTSUPP;
  // A peer that went away must be an error code, not SIGPIPE.
  flags |= MSG_NOSIGNAL;
  ssize_t n;
  if (winTo) {
    sockaddr_storage a;
    socklen_t alen;
    int r = ToHost(winTo, toLen, &a, &alen);
    if (r < 0) return r;
    n = sendto(fd, buf, static_cast<size_t>(len), flags, reinterpret_cast<sockaddr *>(&a), alen);
  } else {
    n = send(fd, buf, static_cast<size_t>(len), flags);
  }
  return n < 0 ? Fail() : static_cast<long>(n);
}

int BytesReadable(int fd) {
  int n = 0;
  return ioctl(fd, FIONREAD, &n) == 0 ? n : Fail();
}

int PeekStream(int fd) {
  char c;
  ssize_t n = recv(fd, &c, 1, MSG_PEEK | MSG_DONTWAIT);
  if (n < 0) return Fail();
  return n > 0 ? 1 : 0;
}

int GetIntOption(int fd, Option opt, int *value) {
  int level, name;
  if (!HostOption(opt, &level, &name)) return -ENOPROTOOPT;
  if (opt == Option::SndTimeo || opt == Option::RcvTimeo) {
    timeval tv{};
    socklen_t len = sizeof tv;
    if (getsockopt(fd, level, name, &tv, &len) != 0) return Fail();
    long long ms = static_cast<long long>(tv.tv_sec) * 1000 + tv.tv_usec / 1000;
    *value = static_cast<int>(std::min<long long>(ms, INT_MAX));
    return 0;
  }
  int v = 0;
  socklen_t len = sizeof v;
  if (getsockopt(fd, level, name, &v, &len) != 0) return Fail();
  if (opt == Option::IpDontFragment) v = v == IP_PMTUDISC_DO;
  *value = v;
  return 0;
}

int SetIntOption(int fd, Option opt, int value) {
  int level, name;
  if (!HostOption(opt, &level, &name)) return -ENOPROTOOPT;
  if (opt == Option::SndTimeo || opt == Option::RcvTimeo) {
    unsigned ms = static_cast<unsigned>(value);
    timeval tv{};
    tv.tv_sec = ms / 1000;
    tv.tv_usec = (ms % 1000) * 1000;
    return setsockopt(fd, level, name, &tv, sizeof tv) == 0 ? 0 : Fail();
  }
  if (opt == Option::IpDontFragment) value = value ? IP_PMTUDISC_DO : IP_PMTUDISC_DONT;
  return setsockopt(fd, level, name, &value, sizeof value) == 0 ? 0 : Fail();
}

int GetLinger(int fd, int *on, int *seconds) {
  struct linger l {};
  socklen_t len = sizeof l;
  if (getsockopt(fd, SOL_SOCKET, SO_LINGER, &l, &len) != 0) return Fail();
  *on = l.l_onoff;
  *seconds = l.l_linger;
  return 0;
}

int SetLinger(int fd, int on, int seconds) {
  struct linger l {};
  l.l_onoff = on;
  l.l_linger = seconds;
  return setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l) == 0 ? 0 : Fail();
}

int SetMembership(int fd, Option opt, uint32_t group, uint32_t iface) {
  ip_mreq m{};
  m.imr_multiaddr.s_addr = group;
  m.imr_interface.s_addr = iface;
  int name = opt == Option::IpAddMembership ? IP_ADD_MEMBERSHIP : IP_DROP_MEMBERSHIP;
  return setsockopt(fd, IPPROTO_IP, name, &m, sizeof m) == 0 ? 0 : Fail();
}

int PendingError(int fd) {
  int err = 0;
  socklen_t len = sizeof err;
  if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0) return errno;
  return err;
}

Resolve ResolveIPv4(const std::string &name, std::string *canonical, std::vector<uint32_t> *addrs) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_CANONNAME;
  addrinfo *list = nullptr;
  int r = getaddrinfo(name.c_str(), nullptr, &hints, &list);
  switch (r) {
    case 0:
      break;
    case EAI_NONAME:
      return Resolve::NotFound;
    case EAI_AGAIN:
      return Resolve::TryAgain;
    case EAI_NODATA:
    case EAI_ADDRFAMILY:
      return Resolve::NoData;
    case EAI_MEMORY:
      return Resolve::NoMemory;
    default:
      return Resolve::NoRecovery;
  }
  addrs->clear();
  *canonical = list && list->ai_canonname ? list->ai_canonname : name;
  for (addrinfo *ai = list; ai; ai = ai->ai_next) {
    if (ai->ai_family != AF_INET) continue;
    uint32_t a = reinterpret_cast<sockaddr_in *>(ai->ai_addr)->sin_addr.s_addr;
    if (std::find(addrs->begin(), addrs->end(), a) == addrs->end()) addrs->push_back(a);
  }
  freeaddrinfo(list);
  return addrs->empty() ? Resolve::NoData : Resolve::Ok;
}

int HostName(std::string *name) {
  char buf[256];
  if (gethostname(buf, sizeof buf) != 0) return Fail();
  buf[sizeof buf - 1] = 0;
  *name = buf;
  return 0;
}

// ---- Lookups off the loop's thread --------------------------------------------------------

namespace {

struct Lookups {
  std::mutex lock;
  std::vector<LookupResult> finished;
  int pipe[2] = {-1, -1};
  std::atomic<void (*)(const char *)> gate{nullptr};
};

// Never destroyed: a worker still waiting for the resolver may finish during exit.
Lookups &L() {
  static Lookups *l = new Lookups;
  return *l;
}

// The notification pipe, made once; -errno when it cannot be.
int EnsureLookupPipe() {
  Lookups &l = L();
  std::lock_guard<std::mutex> g(l.lock);
  if (l.pipe[0] >= 0) return 0;
  int fds[2];
  if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return Fail();
  l.pipe[0] = fds[0];
  l.pipe[1] = fds[1];
  return 0;
}

}  // namespace

int StartLookup(uintptr_t id, const std::string &name) {
  int r = EnsureLookupPipe();
  if (r < 0) return r;
  try {
    std::thread([id, name] {
      Lookups &l = L();
      if (auto gate = l.gate.load()) gate(name.c_str());
      LookupResult result{id, Resolve::NoRecovery, {}, {}};
      result.status = ResolveIPv4(name, &result.canonical, &result.addrs);
      std::lock_guard<std::mutex> g(l.lock);
      l.finished.push_back(std::move(result));
      // A full pipe already says that something is waiting.
      char one = 1;
      if (write(l.pipe[1], &one, 1) < 0) {
      }
    }).detach();
  } catch (const std::system_error &e) {
    return -e.code().value();
  }
  return 0;
}

int LookupNotifyFd() {
  EnsureLookupPipe();
  return L().pipe[0];
}

std::vector<LookupResult> TakeFinishedLookups() {
  Lookups &l = L();
  std::lock_guard<std::mutex> g(l.lock);
  char buf[64];
  while (l.pipe[0] >= 0 && read(l.pipe[0], buf, sizeof buf) > 0) {
  }
  std::vector<LookupResult> done;
  done.swap(l.finished);
  return done;
}

void SetLookupGate(void (*gate)(const char *name)) { L().gate = gate; }

}  // namespace hostsock
