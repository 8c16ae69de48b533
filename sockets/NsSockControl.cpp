// The socket control's hidden window and its dispatch, the heartbeat, the event
// raisers and the client base with its one data socket.
#include "sockets/NsSockControl.h"

#include <algorithm>
#include <cstring>
#include <type_traits>

#include "sockets/NsConst.h"

namespace {

const UINT_PTR kHeartbeatTimerId = 1;

// The service entry that Winsock writes into a lookup's buffer, in its two layouts
// (64-bit Windows puts the protocol before the port).
struct ServEnt32 {
  char *s_name;
  char **s_aliases;
  short s_port;
  char *s_proto;
};
struct ServEnt64 {
  char *s_name;
  char **s_aliases;
  char *s_proto;
  short s_port;
};
using ServiceEntry = std::conditional_t<sizeof(void *) == 8, ServEnt64, ServEnt32>;

std::string SocketErrorText(int Error, const std::string &Api) {
  return FormatResString(sNsWinSockErrorFmt, Error, WinSockErrorText(Error).c_str(), Api.c_str());
}

std::string EndpointText(uint32_t NetAddress, uint16_t Port) {
  return TNsSockControl::AddrToDotted(NetAddress) + ":" + std::to_string(Port);
}

}  // namespace

// ---- TNsSockControl ------------------------------------------------------------------

TNsSockControl::TNsSockControl(TComponent *AOwner)
    : TNsBaseComponent(AOwner), FLocalBindAddress(NsAnyAddress()) {
  FWindowHandle = AllocateHWnd([this](TMessage &Message) { MainWndProc(Message); });
  FDebugLog.reset(new TNsDebugLog(this));
  FEventLog.reset(new TNsEventLog(this));
  FDataInits.reset(new TNsDataInits);
  FEventLog->SetDateTimeFormat("yyyy.mm.dd hh:nn:ss");
  FEventLog->SetFileName("event.log");
  SetHeartbeatInterval(500);  // armed with the first socket that needs it
  SetSocketType(stTCP);
}

TNsSockControl::~TNsSockControl() {
  *FAlive = false;
  SetHeartbeatInterval(0);
  {
    TNsLockGuard guard(FLookupLock);
    while (!FPendingLookups.empty()) {
      WinSockAccess->WSACancelAsyncRequest()(FPendingLookups.back()->Request);
      FPendingLookups.pop_back();
    }
  }
  if (FDebugLog && !FDebugLog->IsEmpty()) {
    // A log that cannot be written must not stop the component from going away.
    try {
      FDebugLog->WriteDebugLog();
    } catch (std::exception &) {
    }
  }
  // Replies still queued for this window would otherwise never be freed.
  MSG msg;
  while (PeekMessageA(&msg, FWindowHandle, NS_DEFERREDREPLY_MSG, NS_DEFERREDREPLY_MSG, PM_REMOVE)) {
    auto *reply = reinterpret_cast<TNsDeferredReply *>(msg.lParam);
    if (reply) {
      delete[] reply->Text;
      delete reply;
    }
  }
  DeallocateHWnd(FWindowHandle);
  FWindowHandle = nullptr;
}

std::string TNsSockControl::FormatLogEntry(uint32_t Socket, uint32_t EntryType, const void *Data,
                                           uint32_t Length) const {
  return NsDataLogEntryText(Socket, EntryType, Data, Length);
}

void TNsSockControl::MainWndProc(TMessage &Message) {
  // The one place where exceptions of this window stop: none may unwind through
  // DispatchMessage.
  try {
    WndProc(Message);
  } catch (std::exception &e) {
    Message.Result = 0;
    HandleWindowException(e);
  }
}

void TNsSockControl::WndProc(TMessage &Message) {
  Message.Result = 0;
  switch (Message.Msg) {
    case WM_TIMER:
      try {
        HeartbeatTick();
      } catch (...) {
        SetHeartbeatInterval(0);
        throw;
      }
      break;
    case WM_QUERYENDSESSION:
      Message.Result = 1;
      break;
    case NS_SOCKETEVENT_MSG:
      HandleSocketEvent(SOCKET(Message.WParam), LOWORD(Message.LParam), HIWORD(Message.LParam));
      break;
    case NS_LOOKUPDONE_MSG:
      HandleLookupDone(reinterpret_cast<HANDLE>(Message.WParam), HIWORD(Message.LParam));
      break;
    case NS_FREESOCKET_MSG:
      FreeSocket(SOCKET(Message.WParam));
      break;
    case NS_DEFERREDREPLY_MSG:
      HandleDeferredReply(SOCKET(Message.WParam), reinterpret_cast<TNsDeferredReply *>(Message.LParam));
      break;
    case NS_SOCKETNOTIFY_MSG:
      if (TNsDataSocket *socket = FindSocket(SOCKET(Message.WParam), false)) socket->SendWindowSize();
      break;
    default:
      break;
  }
}

void TNsSockControl::HandleSocketEvent(SOCKET Socket, WORD Event, WORD Error) {
  try {
    if (Error != 0) {
      std::shared_ptr<bool> alive = AliveToken();
      DoError(Socket, Error, SocketErrorText(Error, NotificationName(Event)));
      if (*alive && Event == FD_CLOSE) SocketClose(Socket);
      return;
    }
    switch (Event) {
      case FD_READ:
        SocketRead(Socket);
        break;
      case FD_WRITE:
        SocketWrite(Socket);
        break;
      case FD_OOB:
        SocketOob(Socket);
        break;
      case FD_ACCEPT:
        SocketAccept(Socket);
        break;
      case FD_CONNECT:
        SocketConnect(Socket);
        break;
      case FD_CLOSE:
        SocketClose(Socket);
        break;
      default:
        break;
    }
  } catch (ENsWinSockError &e) {
    DoError(Socket, e.ErrorCode(), e.Message());
  }
}

void TNsSockControl::HandleLookupDone(HANDLE Request, WORD Error) {
  std::unique_ptr<TNsLookupRecord> record;
  {
    TNsLockGuard guard(FLookupLock);
    auto it = std::find_if(FPendingLookups.begin(), FPendingLookups.end(),
                           [&](const std::unique_ptr<TNsLookupRecord> &r) { return r->Request == Request; });
    if (it == FPendingLookups.end()) return;
    record = std::move(*it);
    FPendingLookups.erase(it);
  }
  uint32_t handle = uint32_t(reinterpret_cast<uintptr_t>(Request));
  if (Error != 0) {
    DoErrorReply(handle, Error, SocketErrorText(Error, LookupName(record->Kind)));
    return;
  }
  const char *buf = record->Buffer.data();
  switch (record->Kind) {
    case 0:
      DoLookupAddress(handle, HostEntryAddr(reinterpret_cast<const hostent *>(buf), 0));
      break;
    case 1:
      DoLookupName(handle, reinterpret_cast<const hostent *>(buf)->h_name);
      break;
    case 2:
      DoLookupPort(handle, NetToHostShort(uint16_t(reinterpret_cast<const ServiceEntry *>(buf)->s_port)));
      break;
    case 3:
      DoLookupService(handle, reinterpret_cast<const ServiceEntry *>(buf)->s_name);
      break;
    default:
      break;
  }
}

void TNsSockControl::AddPendingLookup(std::unique_ptr<TNsLookupRecord> Record) {
  TNsLockGuard guard(FLookupLock);
  FPendingLookups.push_back(std::move(Record));
}

void TNsSockControl::HandleDeferredReply(SOCKET Socket, TNsDeferredReply *Reply) {
  if (!Reply) return;
  std::string text(Reply->Text, size_t(Reply->Length));
  delete[] Reply->Text;
  delete Reply;
  if (OnReply) OnReply(this, Socket, text);
}

void TNsSockControl::SetSocketType(TNsSocketType Value) {
  if (IsActive()) throw ENsActiveError(LoadResString(sNsActiveError));
  FSocketType = Value;
  if (Value == stUDP) {
    FProtocolName = "udp";
    FSocketTypeNumber = SOCK_DGRAM;
  } else {
    FProtocolName = "tcp";
    FSocketTypeNumber = SOCK_STREAM;
  }
}

void TNsSockControl::SetHeartbeatInterval(uint32_t Ms) {
  if (Ms == FHeartbeatInterval) return;
  FHeartbeatInterval = Ms;
  if (FTimerSet) {
    KillTimer(FWindowHandle, kHeartbeatTimerId);
    FTimerSet = false;
  }
  UpdateHeartbeat();
}

void TNsSockControl::UpdateHeartbeat() {
  const bool wanted = FHeartbeatInterval != 0 && NeedsHeartbeat();
  if (wanted == FTimerSet) return;
  if (!wanted) {
    KillTimer(FWindowHandle, kHeartbeatTimerId);
    FTimerSet = false;
    return;
  }
  if (!SetTimer(FWindowHandle, kHeartbeatTimerId, FHeartbeatInterval, nullptr)) {
    FHeartbeatInterval = 0;
    throw EOutOfResources(LoadResString(sNsNoTimers));
  }
  FTimerSet = true;
  // Idle time counts from the moment the heartbeat starts.
  FLastHeartbeatTick = GetTickCount();
}

void TNsSockControl::HeartbeatTick() {
  DWORD now = GetTickCount();
  // Unsigned 32-bit arithmetic: correct across the wrap of the tick counter.
  uint32_t elapsed = uint32_t(now - FLastHeartbeatTick);
  FLastHeartbeatTick = now;
  IdleTick(elapsed);
}

void TNsSockControl::IdleTick(uint32_t) {}

TNsDataSocket *TNsSockControl::FindSocket(SOCKET, bool MustExist) {
  if (MustExist) throw ENsNoSocketError(LoadResString(sNsNoSocketError));
  return nullptr;
}

void TNsSockControl::SocketAccept(SOCKET) {}

void TNsSockControl::SocketClose(SOCKET Socket) {
  if (TNsDataSocket *socket = FindSocket(Socket, false)) {
    std::shared_ptr<bool> alive = AliveToken();
    socket->PeerClosed();
    if (*alive) FreeSocket(Socket);
  }
}

void TNsSockControl::SocketConnect(SOCKET Socket) {
  if (TNsDataSocket *socket = FindSocket(Socket, false)) socket->ConnectDone();
}

void TNsSockControl::SocketOob(SOCKET Socket) {
  if (TNsDataSocket *socket = FindSocket(Socket, false)) socket->OutOfBandReady();
}

void TNsSockControl::SocketRead(SOCKET Socket) {
  if (TNsDataSocket *socket = FindSocket(Socket, false)) socket->ReadReady();
}

void TNsSockControl::SocketWrite(SOCKET Socket) {
  if (TNsDataSocket *socket = FindSocket(Socket, false)) socket->WriteReady();
}

void TNsSockControl::AttachWindow(HWND Window) { FAttachedWindows.push_back(Window); }

void TNsSockControl::DetachWindow(HWND Window) {
  auto it = std::find(FAttachedWindows.begin(), FAttachedWindows.end(), Window);
  if (it != FAttachedWindows.end()) FAttachedWindows.erase(it);
}

void TNsSockControl::DoLookupAddress(uint32_t Handle, uint32_t Address) {
  if (OnLookupAddress) OnLookupAddress(this, Handle, Address);
}

void TNsSockControl::DoError(SOCKET Socket, int32_t ErrCode, const std::string &ErrStr) {
  if (OnError) OnError(this, Socket, ErrCode, ErrStr);
}

void TNsSockControl::DoErrorReply(uint32_t Handle, int32_t ErrCode, const std::string &ErrStr) {
  if (OnErrorReply) OnErrorReply(this, Handle, ErrCode, ErrStr);
}

void TNsSockControl::DoIdleTimeout(SOCKET Socket, bool &Reset) {
  if (OnIdleTimeout) OnIdleTimeout(this, Socket, Reset);
}

void TNsSockControl::DoWriteDone(SOCKET Socket, uint32_t ItemId, uint32_t Remaining) {
  if (OnWriteDone) OnWriteDone(this, Socket, ItemId, Remaining);
}

void TNsSockControl::DoLookupName(uint32_t Handle, const std::string &Name) {
  if (OnLookupName) OnLookupName(this, Handle, Name);
}

void TNsSockControl::DoLookupPort(uint32_t Handle, uint16_t Port) {
  if (OnLookupPort) OnLookupPort(this, Handle, Port);
}

void TNsSockControl::DoLookupService(uint32_t Handle, const std::string &Name) {
  if (OnLookupService) OnLookupService(this, Handle, Name);
}

void TNsSockControl::DoReply(SOCKET Socket, const std::string &Text) {
  if (FReplyDirect) {
    if (OnReply) OnReply(this, Socket, Text);
    return;
  }
  auto *reply = new TNsDeferredReply;
  reply->Length = int32_t(Text.size());
  reply->Text = new char[Text.size() ? Text.size() : 1];
  std::memcpy(reply->Text, Text.data(), Text.size());
  if (!PostMessageA(FWindowHandle, NS_DEFERREDREPLY_MSG, WPARAM(Socket), reinterpret_cast<LPARAM>(reply))) {
    delete[] reply->Text;
    delete reply;
  }
}

void TNsSockControl::DoStatus(SOCKET Socket, uint8_t StatusCode, const TNsStatusRec &Info) {
  // Everything of this control is done before the handler runs, which may free it.
  bool raise = OnStatus && StatusCode <= 7 && FStatusMask.Contains(StatusCode);
  TNsSockStats stats{};
  if (raise) stats = FindSocket(Socket, true)->Stats();
  if (FEventLog && (StatusCode == nsStatusConnected || StatusCode == nsStatusClosed)) {
    std::string local = EndpointText(Info.LocalAddress, Info.LocalPort);
    std::string remote = EndpointText(Info.RemoteAddress, Info.RemotePort);
    FEventLog->WriteEvent(
        FormatResString(StatusCode == nsStatusConnected ? sNsEventConnectFmt : sNsEventCloseFmt,
                        local.c_str(), remote.c_str()));
  }
  if (raise) {
    TNsStatusEvent handler = OnStatus;
    handler(this, Socket, stats, Info, StatusCode);
  }
}

uint32_t TNsSockControl::HostToNetLong(uint32_t Value) { return WinSockAccess->htonl()(Value); }
uint16_t TNsSockControl::HostToNetShort(uint16_t Value) { return WinSockAccess->htons()(Value); }
uint32_t TNsSockControl::NetToHostLong(uint32_t Value) { return WinSockAccess->ntohl()(Value); }
uint16_t TNsSockControl::NetToHostShort(uint16_t Value) { return WinSockAccess->ntohs()(Value); }

uint32_t TNsSockControl::HostAddrByName(const std::string &Name) {
  const hostent *entry = WinSockAccess->gethostbyname()(Name.c_str());
  if (!entry || !entry->h_addr_list || !entry->h_addr_list[0]) return 0;
  uint32_t addr;
  std::memcpy(&addr, entry->h_addr_list[0], sizeof addr);
  return addr;
}

int TNsSockControl::HostEntryAddrCount(const hostent *Entry) {
  int n = 0;
  while (n < 256 && Entry->h_addr_list[n]) ++n;
  return n;
}

uint32_t TNsSockControl::HostEntryAddr(const hostent *Entry, int Index) {
  if (Index != 0 && (Index < 0 || Index >= HostEntryAddrCount(Entry)))
    throw ENsIndexError(LoadResString(sNsIndexError));
  if (!Entry->h_addr_list[Index]) return 0;
  uint32_t addr;
  std::memcpy(&addr, Entry->h_addr_list[Index], sizeof addr);
  return addr;
}

std::string TNsSockControl::AddrToDotted(uint32_t NetAddress) {
  in_addr a;
  a.s_addr = NetAddress;
  const char *text = WinSockAccess->inet_ntoa()(a);
  return text ? text : "";
}

uint32_t TNsSockControl::DottedToAddr(const std::string &Text) {
  return WinSockAccess->inet_addr()(Text.substr(0, 15).c_str());
}

std::string TNsSockControl::WinsockDescription() { return WinSockAccess->StartupInfo().szDescription; }
std::string TNsSockControl::WinsockSystemStatus() { return WinSockAccess->StartupInfo().szSystemStatus; }
uint16_t TNsSockControl::WinsockVersion() { return WinSockAccess->StartupInfo().wVersion; }

// ---- TNsCustomClient -----------------------------------------------------------------

TNsCustomClient::TNsCustomClient(TComponent *AOwner)
    : TNsSockControl(AOwner), FSocksServer(new TNsSocksServerInfo) {}

TNsCustomClient::~TNsCustomClient() {
  FSocksServer.reset();
  FDataSocket.reset();
}

SOCKET TNsCustomClient::CreateSocket() {
  FDataSocket.reset(
      new TNsDataSocket(this, INVALID_SOCKET, LocalBindAddress(), DataInits(), FSocksServer.get()));
  UpdateHeartbeat();
  return FDataSocket->Handle();
}

void TNsCustomClient::FreeSocket(SOCKET Socket) {
  FindSocket(Socket, true);
  FDataSocket.reset();
  UpdateHeartbeat();
}

TNsDataSocket *TNsCustomClient::FindSocket(SOCKET Socket, bool MustExist) {
  // A closed socket still answers to the handle it had until it is freed, so that its
  // closing report and the free-socket message can find it.
  if (FDataSocket && Socket != INVALID_SOCKET &&
      (FDataSocket->Handle() == Socket || FDataSocket->ReportHandle() == Socket))
    return FDataSocket.get();
  if (MustExist) throw ENsNoSocketError(LoadResString(sNsNoSocketError));
  return nullptr;
}

void TNsCustomClient::IdleTick(uint32_t ElapsedMs) {
  if (FDataSocket) FDataSocket->Heartbeat(ElapsedMs);
}

void TNsCustomClient::DoStatus(SOCKET Socket, uint8_t StatusCode, const TNsStatusRec &Info) {
  if (StatusCode == nsStatusConnected || StatusCode == nsStatusClosed) {
    LPARAM code = StatusCode == nsStatusConnected ? 0x10001 : 0x10002;
    for (HWND w : AttachedWindows()) PostMessageA(w, NS_STATUSPOST_MSG, WPARAM(Socket), code);
  }
  TNsSockControl::DoStatus(Socket, StatusCode, Info);
}

void TNsCustomClient::AttachWindow(HWND Window) {
  if (Connected()) PostMessageA(Window, NS_STATUSPOST_MSG, WPARAM(Handle()), 0x10001);
  TNsSockControl::AttachWindow(Window);
}

void TNsCustomClient::CloseSocket(SOCKET Socket) {
  TNsDataSocket *socket = FindSocket(Socket, false);
  if (!socket) return;
  std::shared_ptr<bool> alive = AliveToken();
  socket->CloseSocket();
  if (*alive && FDataSocket.get() == socket) FreeSocket(Socket);
}

TNsSockAddr TNsCustomClient::ResolveAddress(const std::string &Address) const {
  TNsAddrRec rec;
  ParseAddress(Address, rec);
  if (rec.Host.empty()) throw ENsWinSockError(LoadResString(sNsDestAddrRequired));
  uint16_t port = FDefaultPort;
  if (!rec.Port.empty()) {
    // A port past 65535 is refused rather than cut down to some other port.
    unsigned long value = 0;
    for (char c : rec.Port) {
      value = value * 10 + unsigned(c - '0');
      if (value > 65535) throw ENsWinSockError(WSAEINVAL, "Connect");
    }
    port = uint16_t(value);
  }
  uint32_t addr;
  if (rec.Host == "255.255.255.255") {
    addr = 0xFFFFFFFFu;
  } else {
    addr = DottedToAddr(rec.Host);
    if (addr == INADDR_NONE) addr = HostAddrByName(rec.Host);
  }
  return NsMakeAddress(addr, HostToNetShort(port));
}

SOCKET TNsCustomClient::Connect(const std::string &Address) {
  if (!FDataSocket)
    CreateSocket();
  else if (FDataSocket->Connected())
    throw ENsWinSockError(LoadResString(sNsAlreadyConnected));
  TNsSockAddr remote = ResolveAddress(Address);
  FDataSocket->Connect(remote, Address);
  return FDataSocket->Handle();
}
