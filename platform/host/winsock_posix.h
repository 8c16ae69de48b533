// The BSD-socket side of the host's Winsock: thin calls that need the system's socket
// headers, which cannot share a translation unit with the Winsock names. Addresses go
// in and out in the Windows layout; failures come back as -errno.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace hostsock {

// A socket address as Windows lays it out (family 2 or 23 in the first 16 bits).
struct WinAddr {
  unsigned char bytes[28];
  int len;
};

// Socket options the Winsock side knows, independent of either system's numbers.
enum class Option {
  Debug,
  AcceptConn,
  ReuseAddr,
  KeepAlive,
  DontRoute,
  Broadcast,
  Linger,
  OobInline,
  SndBuf,
  RcvBuf,
  SndLowat,
  RcvLowat,
  SndTimeo,
  RcvTimeo,
  Error,
  Type,
  TcpNoDelay,
  IpOptions,
  IpHdrIncl,
  IpTos,
  IpTtl,
  IpMulticastIf,
  IpMulticastTtl,
  IpMulticastLoop,
  IpAddMembership,
  IpDropMembership,
  IpDontFragment,
};

// Each returns its result (>= 0) or -errno.
int Socket(int winFamily, int type, int protocol);
int Close(int fd);
int SetNonBlocking(int fd, bool on);
int Bind(int fd, const void *winAddr, int len);
int Listen(int fd, int backlog);
int Accept(int fd, WinAddr *peer);
int Connect(int fd, const void *winAddr, int len);
int SockName(int fd, WinAddr *out);
int PeerName(int fd, WinAddr *out);
int Shutdown(int fd, int how);
// winFlags are MSG_OOB/MSG_PEEK/MSG_DONTROUTE/MSG_WAITALL in Windows' numbers.
// Receives on datagram sockets report the datagram's full length, which may exceed len.
long Recv(int fd, void *buf, long len, int winFlags, bool datagram, WinAddr *from);
long Send(int fd, const void *buf, long len, int winFlags, const void *winTo, int toLen);
// Bytes waiting to be read; for a datagram socket, the size of the next datagram.
int BytesReadable(int fd);
// Whether a stream socket has data waiting (1), has seen the peer's end (0).
int PeekStream(int fd);
// Integer and boolean options; Linger takes {on, seconds}, time-outs milliseconds.
int GetIntOption(int fd, Option opt, int *value);
int SetIntOption(int fd, Option opt, int value);
int GetLinger(int fd, int *on, int *seconds);
int SetLinger(int fd, int on, int seconds);
// IpAddMembership/IpDropMembership with the group and interface in network order.
int SetMembership(int fd, Option opt, uint32_t group, uint32_t iface);
// The pending error of a socket (SO_ERROR), as an errno value; clears it.
int PendingError(int fd);

enum class Resolve { Ok, NotFound, TryAgain, NoRecovery, NoData, NoMemory };
// IPv4 addresses of a host name (network order, each once, in the resolver's order).
Resolve ResolveIPv4(const std::string &name, std::string *canonical, std::vector<uint32_t> *addrs);
int HostName(std::string *name);

// Lookups that never block the caller: each runs ResolveIPv4 on a worker thread of its
// own. Finished ones are collected on the message loop's thread: LookupNotifyFd becomes
// readable, and TakeFinishedLookups drains it and hands them over.
struct LookupResult {
  uintptr_t id;
  Resolve status;
  std::string canonical;
  std::vector<uint32_t> addrs;
};
// 0, or -errno when no thread (or no notification pipe) could be had.
int StartLookup(uintptr_t id, const std::string &name);
int LookupNotifyFd();
std::vector<LookupResult> TakeFinishedLookups();
// Host-only tests: called on the worker thread before the name is resolved (null: none),
// so that a test can hold a lookup up for as long as it likes.
void SetLookupGate(void (*gate)(const char *name));

}  // namespace hostsock
