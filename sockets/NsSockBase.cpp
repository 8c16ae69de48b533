// The base socket: handle creation or adoption, socket options, connecting (directly
// or to a SOCKS proxy), the connect notification and closing.
#include "sockets/NsSockBase.h"

#include <cstring>

#include "sockets/NsSockAccess.h"
#include "sockets/NsSockControl.h"

namespace {

const int kSolSocket = 0xFFFF;
const int kSoType = 0x1008;
const int kSoDebug = 0x0001;
const int kSoReuseAddr = 0x0004;
const int kSoKeepAlive = 0x0008;
const int kSoDontRoute = 0x0010;
const int kSoBroadcast = 0x0020;
const int kIpProtoTcp = 6;
const int kTcpNoDelay = 1;
const int kWouldBlock = 10035;

}  // namespace

TNsSockAddr NsAnyAddress() {
  TNsSockAddr a;
  std::memset(&a, 0, sizeof a);
  a.sin_family = AF_INET;
  return a;
}

TNsSockAddr NsMakeAddress(uint32_t NetAddress, uint16_t NetPort) {
  TNsSockAddr a = NsAnyAddress();
  a.sin_port = NetPort;
  a.sin_addr.s_addr = NetAddress;
  return a;
}

void TNsSocksServerInfo::Assign(const TPersistent *Source) {
  auto *src = dynamic_cast<const TNsSocksServerInfo *>(Source);
  if (!src) {
    TNsBasePersistent::Assign(Source);
    return;
  }
  Lock();
  Address = src->Address;
  Password = src->Password;
  Port = src->Port;
  SocksVersion = src->SocksVersion;
  UserCode = src->UserCode;
  Unlock();
}

TNsBaseSocket::TNsBaseSocket(TNsSockControl *AControl, SOCKET AHandle, const TNsSockAddr &ALocal,
                             const TNsBaseInits *AInits, const TNsSocksServerInfo *ASocksServer)
    : FLocalAddress(NsAnyAddress()),
      FRemoteAddress(NsAnyAddress()),
      FSocksServer(new TNsSocksServerInfo),
      FControl(AControl) {
  if (ASocksServer) FSocksServer->Assign(ASocksServer);
  if (!FSocksServer->Address.empty()) FSocksState = 1;
  try {
    if (AHandle == INVALID_SOCKET)
      CreateHandle(ALocal, AInits);
    else
      AdoptHandle(AHandle, AInits);
  } catch (...) {
    // The destructor does not run for a half-built object: close what was opened.
    if (FHandle != INVALID_SOCKET) WinSockAccess->closesocket()(FHandle);
    FHandle = INVALID_SOCKET;
    throw;
  }
  FReportHandle = FHandle;
}

TNsBaseSocket::~TNsBaseSocket() {
  *FAlive = false;
  if (FHandle != INVALID_SOCKET) {
    WinSockAccess->closesocket()(FHandle);
    FHandle = INVALID_SOCKET;
  }
}

void TNsBaseSocket::CreateHandle(const TNsSockAddr &ALocal, const TNsBaseInits *AInits) {
  FSocketType = FControl->SocketTypeNumber();
  FHandle = WinSockAccess->socket()(AF_INET, FSocketType, 0);
  if (FHandle == INVALID_SOCKET) throw ENsWinSockError(LastError(), "Socket");
  SelectEvents();
  if (AInits) ApplySocketOptions(AInits->SocketOptions());
  TNsSockAddr any = NsAnyAddress();
  if (std::memcmp(&ALocal, &any, sizeof any) == 0) {
    FLocalAddress = any;
    return;
  }
  FLocalAddress = ALocal;
  if (WinSockAccess->bind()(FHandle, reinterpret_cast<const sockaddr *>(&FLocalAddress),
                            sizeof FLocalAddress) == SOCKET_ERROR)
    throw ENsWinSockError(LastError(), "Bind");
}

void TNsBaseSocket::AdoptHandle(SOCKET AHandle, const TNsBaseInits *AInits) {
  FHandle = AHandle;
  int type = 0;
  int len = sizeof type;
  if (WinSockAccess->getsockopt()(FHandle, kSolSocket, kSoType, reinterpret_cast<char *>(&type), &len) ==
      SOCKET_ERROR)
    throw ENsWinSockError(LastError(), "GetSockOpt");
  FSocketType = type;
  SelectEvents();
  if (AInits) ApplySocketOptions(AInits->SocketOptions());
  int nameLen = sizeof FLocalAddress;
  WinSockAccess->getsockname()(FHandle, reinterpret_cast<sockaddr *>(&FLocalAddress), &nameLen);
  nameLen = sizeof FRemoteAddress;
  WinSockAccess->getpeername()(FHandle, reinterpret_cast<sockaddr *>(&FRemoteAddress), &nameLen);
}

void TNsBaseSocket::RegisterEvents(long Mask) {
  if (FHandle == INVALID_SOCKET) return;
  if (WinSockAccess->WSAAsyncSelect()(FHandle, FControl->WindowHandle(), NS_SOCKETEVENT_MSG, Mask) ==
      SOCKET_ERROR)
    throw ENsWinSockError(LastError(), "WsaAsyncSelect");
}

void TNsBaseSocket::SelectEvents() { RegisterEvents(FD_CONNECT | FD_CLOSE); }

void TNsBaseSocket::ApplySocketOptions(TNsSockOptionSet Options) {
  TNsLockGuard guard(FLock);
  auto set = [&](int level, int option, TNsSockOption member) {
    int value = Options.Contains(member) ? -1 : 0;
    if (WinSockAccess->setsockopt()(FHandle, level, option, reinterpret_cast<const char *>(&value),
                                    sizeof value) == SOCKET_ERROR)
      throw ENsWinSockError(LastError(), "SetSockOpt");
  };
  if (FSocketType == SOCK_DGRAM) set(kSolSocket, kSoBroadcast, soBroadcast);
  if (FSocketType == SOCK_STREAM) {
    set(kIpProtoTcp, kTcpNoDelay, soNoDelay);
    set(kSolSocket, kSoKeepAlive, soKeepAlive);
  }
  set(kSolSocket, kSoDebug, soDebug);
  set(kSolSocket, kSoDontRoute, soDontRoute);
  set(kSolSocket, kSoReuseAddr, soReuseAddr);
  FDiscardReceived = Options.Contains(soDiscardReceived);
  FEchoReceived = Options.Contains(soEchoReceived);
  FEchoSent = Options.Contains(soEchoSent);
  FStripHighBit = Options.Contains(soStripHighBit);
  FTelnet = Options.Contains(soTelnet);
}

int32_t TNsBaseSocket::LastError() const { return WinSockAccess->WSAGetLastError()(); }

std::string TNsBaseSocket::RemoteHostName() const {
  TNsLockGuard guard(const_cast<TNsSocketLock &>(FLock));
  return FRemoteHostName;
}

TNsSockAddr TNsBaseSocket::LocalAddress() const {
  TNsLockGuard guard(const_cast<TNsSocketLock &>(FLock));
  return FLocalAddress;
}

TNsSockAddr TNsBaseSocket::RemoteAddress() const {
  TNsLockGuard guard(const_cast<TNsSocketLock &>(FLock));
  return FRemoteAddress;
}

void TNsBaseSocket::PeerClosed() {
  TNsLockGuard guard(FLock);
  FConnected = false;
}

void TNsBaseSocket::Connect(const TNsSockAddr &ARemote, const std::string &AHostName) {
  {
    TNsLockGuard guard(FLock);
    FRemoteHostName = AHostName;
    FRemoteAddress = ARemote;
  }
  TNsSockAddr target = ARemote;
  const char *label = "Connect";
  if (FSocksState != 0) {
    label = "SocksConnect";
    target = NsAnyAddress();
    target.sin_port = TNsSockControl::HostToNetShort(FSocksServer->Port);
    uint32_t addr = TNsSockControl::DottedToAddr(FSocksServer->Address);
    if (addr == INADDR_NONE) addr = TNsSockControl::HostAddrByName(FSocksServer->Address);
    target.sin_addr.s_addr = addr;
  }
  if (WinSockAccess->connect()(FHandle, reinterpret_cast<const sockaddr *>(&target), sizeof target) ==
      SOCKET_ERROR) {
    int32_t err = LastError();
    if (err != kWouldBlock) throw ENsWinSockError(err, label);
  }
}

TNsStatusRec TNsBaseSocket::StatusRecord() const {
  TNsStatusRec rec;
  rec.RemoteAddress = FRemoteAddress.sin_addr.s_addr;
  rec.RemotePort = TNsSockControl::NetToHostShort(FRemoteAddress.sin_port);
  rec.LocalAddress = FLocalAddress.sin_addr.s_addr;
  rec.LocalPort = TNsSockControl::NetToHostShort(FLocalAddress.sin_port);
  return rec;
}

void TNsBaseSocket::ReportStatus(uint8_t Code) {
  TNsStatusRec rec = StatusRecord();
  FControl->DoStatus(FReportHandle, Code, rec);
}

void TNsBaseSocket::ConnectDone() {
  TNsLockGuard guard(FLock);
  int len = sizeof FLocalAddress;
  WinSockAccess->getsockname()(FHandle, reinterpret_cast<sockaddr *>(&FLocalAddress), &len);
  FConnected = true;
  if (FSocksState == 1) {
    // Connected to the proxy only: the target is reported once the proxy has answered.
    FSocksState = 2;
    SocksHandshake();
    return;
  }
  ReportStatus(nsStatusConnected);
}

void TNsBaseSocket::CloseSocket() {
  TNsLockGuard guard(FLock);
  if (FHandle != INVALID_SOCKET) {
    WinSockAccess->closesocket()(FHandle);
    // Cleared at once so that neither a second close nor the destructor closes a
    // handle number Winsock may already have given to another socket.
    FHandle = INVALID_SOCKET;
  }
  ReportStatus(nsStatusClosed);
}
