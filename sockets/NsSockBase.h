// The base socket: one Winsock handle held for a socket control, with its options, its
// local and remote addresses and the proxy it connects through; plus the settings
// objects and records that travel with every socket.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>

#include "forms/Classes.h"
#include "platform/winapi.h"
#include "sockets/NsUtils.h"

class TNsSockControl;

// A set over an enumeration numbered from 0, held in the bits of Storage.
template <class E, class Storage>
class TNsSet {
 public:
  constexpr TNsSet() = default;
  constexpr TNsSet(std::initializer_list<E> Items) {
    for (E e : Items) FBits = Storage(FBits | Bit(e));
  }
  static constexpr TNsSet FromBits(Storage Bits) {
    TNsSet s;
    s.FBits = Bits;
    return s;
  }
  constexpr bool Contains(E e) const { return (FBits & Bit(e)) != 0; }
  TNsSet &Include(E e) {
    FBits = Storage(FBits | Bit(e));
    return *this;
  }
  TNsSet &Exclude(E e) {
    FBits = Storage(FBits & ~Bit(e));
    return *this;
  }
  constexpr Storage Bits() const { return FBits; }
  constexpr bool operator==(const TNsSet &o) const { return FBits == o.FBits; }
  constexpr bool operator!=(const TNsSet &o) const { return FBits != o.FBits; }

 private:
  static constexpr Storage Bit(E e) { return Storage(Storage(1) << unsigned(e)); }
  Storage FBits = 0;
};

enum TNsSockOption : uint8_t {
  soBroadcast,
  soDebug,
  soDiscardReceived,
  soDontRoute,
  soEchoReceived,
  soEchoSent,
  soKeepAlive,
  soNoDelay,
  soReuseAddr,
  soStripHighBit,
  soTelnet
};
using TNsSockOptionSet = TNsSet<TNsSockOption, uint16_t>;

enum TNsSocksVersion : uint8_t { svSocks4, svSocks4a, svSocks5 };
enum TNsLogOption : uint8_t { loHighData, loLowData, loTelnet };
using TNsLogOptionSet = TNsSet<TNsLogOption, uint8_t>;
enum TNsReceiveMode : uint8_t { rmLine, rmStream, rmAny };

// The IPv4 socket address of every Winsock call (16 bytes, port and address in
// network order).
using TNsSockAddr = sockaddr_in;
static_assert(sizeof(TNsSockAddr) == 16, "the address record is 16 bytes");

// Family 2, port 0, address 0: a socket given this local address is not bound.
TNsSockAddr NsAnyAddress();
// The address record for an address and a port, both already in network order.
TNsSockAddr NsMakeAddress(uint32_t NetAddress, uint16_t NetPort);

#pragma pack(push, 1)
// What a socket tells its control with each connect, close or traffic report.
struct TNsStatusRec {
  uint32_t RemoteAddress;  // network order
  uint16_t RemotePort;     // host order
  uint32_t LocalAddress;   // network order
  uint16_t LocalPort;      // host order
};
#pragma pack(pop)
static_assert(sizeof(TNsStatusRec) == 12, "the status record is 12 bytes");

enum : uint8_t { nsStatusConnected = 0, nsStatusClosed = 1, nsStatusTraffic = 2 };

// The SOCKS proxy a socket connects through; an empty Address means none.
class TNsSocksServerInfo : public TNsBasePersistent {
 public:
  void Assign(const TPersistent *Source) override;

  std::string Address;
  std::string Password;
  uint16_t Port = 1080;
  TNsSocksVersion SocksVersion = svSocks4;
  std::string UserCode;
};

// Initial options of a new socket.
class TNsBaseInits : public TPersistent {
 public:
  TNsSockOptionSet SocketOptions() const { return FSocketOptions; }
  void SetSocketOptions(TNsSockOptionSet Value) { FSocketOptions = Value; }

 private:
  TNsSockOptionSet FSocketOptions;
};

// Initial settings of a new data socket.
class TNsDataInits : public TNsBaseInits {
 public:
  uint32_t FixedLineLength() const { return FFixedLineLength; }
  void SetFixedLineLength(uint32_t Value) { FFixedLineLength = Value; }
  uint32_t IdleTimeout() const { return FIdleTimeout; }
  void SetIdleTimeout(uint32_t Value) { FIdleTimeout = Value; }
  char LineTermChar() const { return FLineTermChar; }
  void SetLineTermChar(char Value) { FLineTermChar = Value; }
  TNsLineTerminator LineTerminator() const { return FLineTerminator; }
  void SetLineTerminator(TNsLineTerminator Value) { FLineTerminator = Value; }
  TNsLogOptionSet LogOptions() const { return FLogOptions; }
  void SetLogOptions(TNsLogOptionSet Value) { FLogOptions = Value; }
  int32_t ReceiveBufferSize() const { return FReceiveBufferSize; }
  void SetReceiveBufferSize(int32_t Value) { FReceiveBufferSize = Value; }
  TNsReceiveMode ReceiveMode() const { return FReceiveMode; }
  void SetReceiveMode(TNsReceiveMode Value) { FReceiveMode = Value; }
  int32_t SendBufferSize() const { return FSendBufferSize; }
  void SetSendBufferSize(int32_t Value) { FSendBufferSize = Value; }
  bool StripLineTerminator() const { return FStripLineTerminator; }
  void SetStripLineTerminator(bool Value) { FStripLineTerminator = Value; }

 private:
  uint32_t FFixedLineLength = 80;
  uint32_t FIdleTimeout = 0;
  char FLineTermChar = 10;
  TNsLineTerminator FLineTerminator = ltCRLF;
  TNsLogOptionSet FLogOptions{loHighData, loTelnet};
  int32_t FReceiveBufferSize = 4096;
  TNsReceiveMode FReceiveMode = rmLine;
  int32_t FSendBufferSize = 4096;
  bool FStripLineTerminator = false;
};

// A re-entrant lock that is only taken once the process runs a second thread.
class TNsSocketLock {
 public:
  TNsSocketLock() { InitializeCriticalSection(&FSection); }
  ~TNsSocketLock() { DeleteCriticalSection(&FSection); }
  TNsSocketLock(const TNsSocketLock &) = delete;
  TNsSocketLock &operator=(const TNsSocketLock &) = delete;
  bool Enter() {
    if (!IsMultiThread) return false;
    EnterCriticalSection(&FSection);
    return true;
  }
  void Leave() { LeaveCriticalSection(&FSection); }

 private:
  CRITICAL_SECTION FSection;
};

// Holds a TNsSocketLock for a scope. It remembers whether it entered, so leaving a
// scope after the socket died inside a report touches nothing when it never locked.
class TNsLockGuard {
 public:
  explicit TNsLockGuard(TNsSocketLock &Lock) : FLock(Lock), FEntered(Lock.Enter()) {}
  ~TNsLockGuard() {
    if (FEntered) FLock.Leave();
  }
  TNsLockGuard(const TNsLockGuard &) = delete;
  TNsLockGuard &operator=(const TNsLockGuard &) = delete;

 private:
  TNsSocketLock &FLock;
  bool FEntered;
};

class TNsBaseSocket : public TObject {
 public:
  // Creates a new handle (AHandle INVALID_SOCKET) of the control's socket type, or
  // adopts AHandle; a local address other than NsAnyAddress() is bound. A failure
  // closes what was opened and raises.
  TNsBaseSocket(TNsSockControl *AControl, SOCKET AHandle, const TNsSockAddr &ALocal,
                const TNsBaseInits *AInits, const TNsSocksServerInfo *ASocksServer);
  ~TNsBaseSocket() override;
  TNsBaseSocket(const TNsBaseSocket &) = delete;
  TNsBaseSocket &operator=(const TNsBaseSocket &) = delete;

  // Reactions to the control's notifications; the base leaves most of them empty.
  virtual void SocksHandshake() {}
  virtual void SelectEvents();
  virtual void PeerClosed();
  virtual void ConnectDone();
  virtual void OutOfBandReady() {}
  virtual void ReadReady() {}
  virtual void Heartbeat(uint32_t /*ElapsedMs*/) {}
  virtual void WriteReady() {}
  // Closes the handle (once) and reports "closed" to the control.
  virtual void CloseSocket();
  // Starts connecting to ARemote, or to the proxy when one is configured; completion
  // arrives as the connect notification.
  virtual void Connect(const TNsSockAddr &ARemote, const std::string &AHostName);

  // Writes every option of the set; a member left out is switched off.
  void ApplySocketOptions(TNsSockOptionSet Options);
  int32_t LastError() const;
  std::string RemoteHostName() const;

  bool Connected() const { return FConnected; }
  SOCKET Handle() const { return FHandle; }
  // The handle this socket was opened with, kept after CloseSocket so that the
  // closing report and late lookups can still name it.
  SOCKET ReportHandle() const { return FReportHandle; }
  int SocketType() const { return FSocketType; }
  TNsSockAddr LocalAddress() const;
  TNsSockAddr RemoteAddress() const;
  uint8_t SocksState() const { return FSocksState; }
  const TNsSocksServerInfo &SocksServer() const { return *FSocksServer; }
  TNsSockControl *Control() const { return FControl; }

 protected:
  // Registers the handle for the notifications in Mask (message 4753 to the control).
  void RegisterEvents(long Mask);
  // The status record of the current addresses, ports in host order.
  TNsStatusRec StatusRecord() const;
  // Reports Code to the control. Nothing of the socket may be touched afterwards:
  // the control's handler may have freed it.
  void ReportStatus(uint8_t Code);
  // A token that turns false when the socket is destroyed, for loops that call out
  // to handlers and must stop if one of them freed the socket.
  std::shared_ptr<bool> AliveToken() const { return FAlive; }

  TNsSocketLock FLock;
  bool FConnected = false;
  SOCKET FHandle = INVALID_SOCKET;
  SOCKET FReportHandle = INVALID_SOCKET;
  std::string FRemoteHostName;
  bool FDiscardReceived = false;
  bool FEchoReceived = false;
  bool FEchoSent = false;
  bool FStripHighBit = false;
  bool FTelnet = false;
  TNsSockAddr FLocalAddress;
  TNsSockAddr FRemoteAddress;
  std::unique_ptr<TNsSocksServerInfo> FSocksServer;  // owned copy
  uint8_t FSocksState = 0;
  int FSocketType = 0;
  TNsSockControl *FControl = nullptr;  // not owned: the control owns this socket

 private:
  void CreateHandle(const TNsSockAddr &ALocal, const TNsBaseInits *AInits);
  void AdoptHandle(SOCKET AHandle, const TNsBaseInits *AInits);

  std::shared_ptr<bool> FAlive = std::make_shared<bool>(true);
};
