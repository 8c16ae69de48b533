// The socket control: the non-visual component under every socket component. Its
// hidden window receives the Winsock notifications and turns them into calls on its
// sockets and into events; it runs the heartbeat that drives idle accounting.
// TNsCustomClient adds the one data socket of a client connection.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "forms/UtilWindow.h"
#include "sockets/NsMessages.h"
#include "sockets/NsSockAccess.h"
#include "sockets/NsSockBase.h"
#include "sockets/NsSockData.h"
#include "sockets/NsSockLog.h"
#include "sockets/NsUtils.h"

enum TNsSocketType : uint8_t { stTCP, stUDP };

// No window timer could be had.
class EOutOfResources : public Exception {
 public:
  using Exception::Exception;
};

using TNsErrorEvent =
    std::function<void(TObject *Sender, SOCKET Socket, int32_t ErrCode, const std::string &ErrStr)>;
using TNsErrorReplyEvent =
    std::function<void(TObject *Sender, uint32_t Handle, int32_t ErrCode, const std::string &ErrStr)>;
using TNsLookupAddressEvent = std::function<void(TObject *Sender, uint32_t Handle, uint32_t Address)>;
using TNsLookupNameEvent = std::function<void(TObject *Sender, uint32_t Handle, const std::string &Name)>;
using TNsLookupPortEvent = std::function<void(TObject *Sender, uint32_t Handle, uint16_t Port)>;
using TNsIdleTimeoutEvent = std::function<void(TObject *Sender, SOCKET Socket, bool &Reset)>;
using TNsWriteDoneEvent =
    std::function<void(TObject *Sender, SOCKET Socket, uint32_t ItemId, uint32_t Remaining)>;
using TNsReplyEvent = std::function<void(TObject *Sender, SOCKET Socket, const std::string &Text)>;
using TNsStatusEvent = std::function<void(TObject *Sender, SOCKET Socket, const TNsSockStats &Stats,
                                          const TNsStatusRec &Info, uint8_t StatusCode)>;

// Status codes 0 to 7 for which OnStatus is raised.
using TNsStatusMask = TNsSet<uint8_t, uint8_t>;

// What message 4756 carries: the reply text, owned by the message until handled.
struct TNsDeferredReply {
  int32_t Length;
  char *Text;  // owned: new char[Length]
};

// A name-service request whose answer will arrive as message 4752.
struct TNsLookupRecord {
  HANDLE Request;
  uint8_t Kind;              // 0 host by name, 1 host by address, 2 service by name, 3 service by port
  std::vector<char> Buffer;  // what Winsock fills in
};

class TNsSockControl : public TNsBaseComponent {
 public:
  explicit TNsSockControl(TComponent *AOwner);
  ~TNsSockControl() override;

  std::string FormatLogEntry(uint32_t Socket, uint32_t EntryType, const void *Data,
                             uint32_t Length) const override;

  // Sockets of this control.
  virtual SOCKET CreateSocket() = 0;
  virtual void FreeSocket(SOCKET Socket) = 0;
  virtual bool IsActive() const { return false; }
  // Raises ENsActiveError while a socket exists.
  virtual void SetSocketType(TNsSocketType Value);

  // Event raisers: each calls its event when assigned, as the last thing it does.
  virtual void DoLookupAddress(uint32_t Handle, uint32_t Address);
  virtual void DoError(SOCKET Socket, int32_t ErrCode, const std::string &ErrStr);
  virtual void DoErrorReply(uint32_t Handle, int32_t ErrCode, const std::string &ErrStr);
  virtual void DoIdleTimeout(SOCKET Socket, bool &Reset);
  virtual void DoWriteDone(SOCKET Socket, uint32_t ItemId, uint32_t Remaining);
  virtual void DoLookupName(uint32_t Handle, const std::string &Name);
  virtual void DoLookupPort(uint32_t Handle, uint16_t Port);
  // Deferred through message 4756 unless ReplyDirect is set.
  virtual void DoReply(SOCKET Socket, const std::string &Text);
  virtual void DoLookupService(uint32_t Handle, const std::string &Name);
  virtual void DoStatus(SOCKET Socket, uint8_t StatusCode, const TNsStatusRec &Info);

  // Per-socket reactions to the notifications of message 4753.
  virtual void SocketAccept(SOCKET Socket);
  virtual void SocketClose(SOCKET Socket);
  virtual void SocketConnect(SOCKET Socket);
  virtual void SocketOob(SOCKET Socket);
  virtual void SocketRead(SOCKET Socket);
  virtual void HeartbeatTick();
  virtual void IdleTick(uint32_t ElapsedMs);
  virtual void SocketWrite(SOCKET Socket);
  // The data socket of Socket, or nullptr; with MustExist, ENsNoSocketError instead.
  virtual TNsDataSocket *FindSocket(SOCKET Socket, bool MustExist);
  // Every message of the hidden window; descendants handle their own and call this.
  virtual void WndProc(TMessage &Message);
  virtual void AttachWindow(HWND Window);
  virtual void DetachWindow(HWND Window);

  // Byte order and addresses, through the bound Winsock functions.
  static uint32_t HostToNetLong(uint32_t Value);
  static uint16_t HostToNetShort(uint16_t Value);
  static uint32_t NetToHostLong(uint32_t Value);
  static uint16_t NetToHostShort(uint16_t Value);
  // Blocking lookup: the first address (network order) of the name, 0 when none.
  static uint32_t HostAddrByName(const std::string &Name);
  // An address of a host entry; index 0 is taken unchecked, others are range-checked.
  static uint32_t HostEntryAddr(const hostent *Entry, int Index);
  static int HostEntryAddrCount(const hostent *Entry);
  static std::string AddrToDotted(uint32_t NetAddress);
  // inet_addr of at most the first 15 characters; INADDR_NONE when not dotted.
  static uint32_t DottedToAddr(const std::string &Text);
  static std::string WinsockDescription();
  static std::string WinsockSystemStatus();
  static uint16_t WinsockVersion();

  // The heartbeat's period. Its timer runs only while some socket needs it (see
  // NeedsHeartbeat), so that an idle control never wakes the process.
  void SetHeartbeatInterval(uint32_t Ms);
  uint32_t HeartbeatInterval() const { return FHeartbeatInterval; }

  HWND WindowHandle() const { return FWindowHandle; }
  TNsDebugLog *DebugLog() const { return FDebugLog.get(); }
  TNsEventLog *EventLog() const { return FEventLog.get(); }
  TNsDataInits *DataInits() const { return FDataInits.get(); }
  bool ReplyDirect() const { return FReplyDirect; }
  void SetReplyDirect(bool Value) { FReplyDirect = Value; }
  TNsStatusMask StatusMask() const { return FStatusMask; }
  void SetStatusMask(TNsStatusMask Value) { FStatusMask = Value; }
  TNsSocketType SocketType() const { return FSocketType; }
  const std::string &ProtocolName() const { return FProtocolName; }
  int SocketTypeNumber() const { return FSocketTypeNumber; }
  const TNsSockAddr &LocalBindAddress() const { return FLocalBindAddress; }
  void SetLocalBindAddress(const TNsSockAddr &Value) { FLocalBindAddress = Value; }
  const std::vector<HWND> &AttachedWindows() const { return FAttachedWindows; }

  TNsLookupAddressEvent OnLookupAddress;
  TNsErrorEvent OnError;
  TNsErrorReplyEvent OnErrorReply;
  TNsIdleTimeoutEvent OnIdleTimeout;
  TNsWriteDoneEvent OnWriteDone;
  TNsLookupNameEvent OnLookupName;
  TNsLookupPortEvent OnLookupPort;
  TNsReplyEvent OnReply;
  TNsLookupNameEvent OnLookupService;
  TNsStatusEvent OnStatus;

 protected:
  // Message 4753, decoded once.
  void HandleSocketEvent(SOCKET Socket, WORD Event, WORD Error);
  // Message 4752.
  void HandleLookupDone(HANDLE Request, WORD Error);
  // Adds a request whose answer message 4752 will deliver (owned by the list).
  void AddPendingLookup(std::unique_ptr<TNsLookupRecord> Record);
  size_t PendingLookupCount() const { return FPendingLookups.size(); }
  // False once this control is destroyed: for code that calls a handler and then
  // still has work to do.
  std::shared_ptr<bool> AliveToken() const { return FAlive; }
  // Whether a socket of this control counts idle time or reports traffic on the heartbeat.
  virtual bool NeedsHeartbeat() const { return false; }
  // Starts or stops the heartbeat's timer as NeedsHeartbeat now says; call it whenever
  // that answer may have changed. Raises EOutOfResources when no timer can be had.
  void UpdateHeartbeat();

 private:
  // The one window procedure of the hidden window: decodes, dispatches, and keeps
  // every exception inside.
  void MainWndProc(TMessage &Message);
  void HandleDeferredReply(SOCKET Socket, TNsDeferredReply *Reply);

  std::unique_ptr<TNsDebugLog> FDebugLog;  // owned
  bool FReplyDirect = false;
  std::unique_ptr<TNsEventLog> FEventLog;    // owned
  HWND FWindowHandle = nullptr;              // owned: released by the destructor
  std::unique_ptr<TNsDataInits> FDataInits;  // owned
  TNsSocketType FSocketType = stTCP;
  TNsStatusMask FStatusMask{0, 1, 2};
  uint32_t FHeartbeatInterval = 0;
  bool FTimerSet = false;
  DWORD FLastHeartbeatTick = 0;
  std::string FProtocolName = "tcp";
  int FSocketTypeNumber = SOCK_STREAM;
  std::vector<std::unique_ptr<TNsLookupRecord>> FPendingLookups;  // owned
  TNsSocketLock FLookupLock;
  std::vector<HWND> FAttachedWindows;  // not owned
  TNsSockAddr FLocalBindAddress;
  std::shared_ptr<bool> FAlive = std::make_shared<bool>(true);
};

// A client: one data socket, the connection to a server, with its SOCKS settings.
class TNsCustomClient : public TNsSockControl {
 public:
  explicit TNsCustomClient(TComponent *AOwner);
  ~TNsCustomClient() override;

  SOCKET CreateSocket() override;
  void FreeSocket(SOCKET Socket) override;
  bool IsActive() const override { return FDataSocket != nullptr; }
  void DoStatus(SOCKET Socket, uint8_t StatusCode, const TNsStatusRec &Info) override;
  void IdleTick(uint32_t ElapsedMs) override;
  TNsDataSocket *FindSocket(SOCKET Socket, bool MustExist) override;
  void AttachWindow(HWND Window) override;

  // Closes and frees the data socket when Socket is its handle.
  virtual void CloseSocket(SOCKET Socket);
  // Connects to "host[:port]" (the default port when none is given); returns the handle.
  virtual SOCKET Connect(const std::string &Address);

  bool Connected() const { return FDataSocket && FDataSocket->Connected(); }
  SOCKET Handle() const { return FDataSocket ? FDataSocket->Handle() : INVALID_SOCKET; }
  TNsDataSocket *DataSocket() const { return FDataSocket.get(); }
  uint16_t DefaultPort() const { return FDefaultPort; }
  void SetDefaultPort(uint16_t Value) { FDefaultPort = Value; }
  TNsSocksServerInfo *SocksServer() const { return FSocksServer.get(); }

 protected:
  // The destination text as an address record (port in network order).
  TNsSockAddr ResolveAddress(const std::string &Address) const;
  bool NeedsHeartbeat() const override { return FDataSocket != nullptr; }

 private:
  uint16_t FDefaultPort = 0;
  std::unique_ptr<TNsSocksServerInfo> FSocksServer;  // owned
  std::unique_ptr<TNsDataSocket> FDataSocket;        // owned
};
