// The data socket: a connected stream socket that receives into a fixed buffer and
// hands the bytes to its control as lines, fixed-length units, chunks or stream
// writes; queues what it sends; speaks SOCKS 4/4a/5 and the Telnet option protocol.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "sockets/NsSockBase.h"

// Where a data socket writes received bytes in rmStream, or reads a send from.
class TNsStream {
 public:
  virtual ~TNsStream() = default;
  // Up to Count bytes; 0 at the end.
  virtual size_t Read(void *Buffer, size_t Count) = 0;
  virtual size_t Write(const void *Buffer, size_t Count) = 0;
};

// What a Telnet peer may ask of the local terminal.
class TNsTelnetTerminal {
 public:
  virtual ~TNsTelnetTerminal() = default;
  virtual std::string TerminalType() const = 0;
  virtual uint16_t Columns() const = 0;
  virtual uint16_t Rows() const = 0;
};

// Traffic counters: received after filtering, sent payload, received raw, sent raw,
// then the same four again; every count is added to both sets.
struct TNsSockStats {
  uint32_t Received;
  uint32_t Sent;
  uint32_t RawReceived;
  uint32_t RawSent;
  uint32_t Received2;
  uint32_t Sent2;
  uint32_t RawReceived2;
  uint32_t RawSent2;
};

// Telnet commands and the options the socket knows by name.
enum : uint8_t {
  TelnetSE = 240,
  TelnetSB = 250,
  TelnetWILL = 251,
  TelnetWONT = 252,
  TelnetDO = 253,
  TelnetDONT = 254,
  TelnetIAC = 255,
  TelnetOptBinary = 0,
  TelnetOptEcho = 1,
  TelnetOptSuppressGoAhead = 3,
  TelnetOptStatus = 5,
  TelnetOptTerminalType = 24,
  TelnetOptWindowSize = 31,
};

class TNsDataSocket : public TNsBaseSocket {
 public:
  // The receive buffer; a pending partial line may grow to MaxLineBuf characters.
  static constexpr uint32_t ReceiveBufferBytes = 8192;
  static constexpr uint32_t MaxLineBuf = 1048576;
  static constexpr int32_t LineTooLongError = 8001;

  TNsDataSocket(TNsSockControl *AControl, SOCKET AHandle, const TNsSockAddr &ALocal,
                const TNsDataInits *AInits, const TNsSocksServerInfo *ASocksServer);
  ~TNsDataSocket() override;

  void SocksHandshake() override;
  void SelectEvents() override;
  void PeerClosed() override;
  void ReadReady() override;
  void Heartbeat(uint32_t ElapsedMs) override;
  void WriteReady() override;
  // Drops the queue, shuts the sending side, drains and delivers what is left, then
  // closes the handle.
  void CloseSocket() override;
  void Connect(const TNsSockAddr &ARemote, const std::string &AHostName) override;

  // Raises the control's OnIdleTimeout.
  virtual void IdleTimedOut();
  // Queues Length bytes of Data (or, with Source, the whole stream; not owned, read as
  // sending goes on). Returns 0 when everything went out at once, else the item's id.
  virtual uint32_t Send(const void *Data, uint32_t Length, bool Raw = false, bool Uncounted = false,
                        bool CloseAfter = false, TNsStream *Source = nullptr);
  // The bytes between IAC SB and IAC SE, unescaped.
  virtual void TelnetSubnegotiation(const std::string &Bytes);
  // IAC Command Option; returns whether it was handled.
  virtual bool TelnetCommand(uint8_t Command, uint8_t Option);
  // Sends the Telnet window size (message 4758).
  void SendWindowSize();

  // Received bytes are copied to these windows as message 4757.
  void AddMonitorWindow(HWND Window);
  void RemoveMonitorWindow(HWND Window);

  TNsSockStats Stats() const;
  size_t QueueCount() const { return FQueue.size(); }
  bool Writable() const { return FWritable; }
  uint32_t IdleTime() const { return FIdleTime; }
  const std::string &PendingLine() const { return FPendingLine; }
  // Where the proxy says it connected from (network order), after a SOCKS handshake.
  uint32_t SocksBoundAddress() const { return FSocksBoundAddress; }
  uint16_t SocksBoundPort() const { return FSocksBoundPort; }

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
  TNsReceiveMode ReceiveMode() const { return FReceiveMode; }
  void SetReceiveMode(TNsReceiveMode Value) { FReceiveMode = Value; }
  TNsStream *Stream() const { return FStream; }
  void SetStream(TNsStream *Value) { FStream = Value; }
  bool StripLineTerminator() const { return FStripLineTerminator; }
  void SetStripLineTerminator(bool Value) { FStripLineTerminator = Value; }
  TNsTelnetTerminal *TelnetTerminal() const { return FTelnetTerminal; }
  void SetTelnetTerminal(TNsTelnetTerminal *Value) { FTelnetTerminal = Value; }

  // Telnet option state, local side (what we do) and remote side (what the peer does).
  bool LocalWilling(uint8_t Option) const { return Has(FLocalWilling, Option); }
  bool LocalEnabled(uint8_t Option) const { return Has(FLocalEnabled, Option); }
  bool RemoteWanted(uint8_t Option) const { return Has(FRemoteWanted, Option); }
  bool RemoteEnabled(uint8_t Option) const { return Has(FRemoteEnabled, Option); }
  void SetLocalWilling(uint8_t Option, bool Value) { Put(FLocalWilling, Option, Value); }
  void SetRemoteWanted(uint8_t Option, bool Value) { Put(FRemoteWanted, Option, Value); }
  // Asks the peer to enable (DO/WILL) or disable (DONT/WONT) an option; the answer
  // settles the state.
  void RequestRemoteOption(uint8_t Option, bool Enable);
  void RequestLocalOption(uint8_t Option, bool Enable);

 private:
  using TOptionBits = uint8_t[32];
  struct TQueueItem {
    uint32_t Id = 0;
    bool CloseAfter = false;
    bool Uncounted = false;
    bool Raw = false;
    TNsStream *Source = nullptr;  // not owned
    std::string Bytes;            // what goes on the wire (Telnet-escaped)
    uint32_t Sent = 0;
    uint32_t PayloadLength = 0;  // before escaping
  };

  static bool Has(const TOptionBits &Bits, uint8_t Option) { return (Bits[Option >> 3] >> (Option & 7)) & 1; }
  static void Put(TOptionBits &Bits, uint8_t Option, bool Value) {
    if (Value)
      Bits[Option >> 3] = uint8_t(Bits[Option >> 3] | (1u << (Option & 7)));
    else
      Bits[Option >> 3] = uint8_t(Bits[Option >> 3] & ~(1u << (Option & 7)));
  }

  void ApplyBufferSize(int Option, int32_t Size);
  // One receive call; the number of raw bytes it returned (0: nothing came).
  int ReceiveOnce();
  // Hands complete units to the control; false when a handler freed the socket.
  bool DeliverUnits();
  bool DeliverLines();
  bool DeliverFixed();
  // Everything unconsumed (and the pending line) as one unit.
  bool DeliverRest();
  bool Reply(const std::string &Text);
  void CompactBuffer();
  // Consumes SOCKS reply bytes; returns how many of Count it took.
  uint32_t SocksReceive(const uint8_t *Data, uint32_t Count);
  void SocksRefused(int Status);
  void SendSocksRequest();
  // Removes Telnet commands from Data in place; returns the data bytes left.
  uint32_t TelnetFilter(uint8_t *Data, uint32_t Count);
  void SendTelnet(uint8_t Command, uint8_t Option);
  void SendSubnegotiation(const std::string &Body);
  void LogTelnet(uint32_t Direction, uint8_t Command, uint8_t Option);
  // Sends the item's unsent rest (refilling from its stream); true when it is done.
  bool SendItem(TQueueItem &Item);
  uint32_t Queue(const void *Data, uint32_t Length, bool Raw, bool Uncounted, bool CloseAfter,
                 TNsStream *Source, bool Protocol);
  // Queues bytes of the socket's own protocols: raw, uncounted, no write-done.
  void SendProtocol(const std::string &Bytes);
  bool FillFromSource(TQueueItem &Item);
  std::string Escape(const void *Data, uint32_t Length) const;
  void AddCount(uint32_t TNsSockStats::*First, uint32_t TNsSockStats::*Second, uint32_t Count);
  void LogData(uint32_t EntryType, const void *Data, uint32_t Length);
  void ResetBuffer();
  void ReleaseQueue();

  uint32_t FFixedLineLength = 80;
  uint32_t FIdleTime = 0;
  uint32_t FIdleTimeout = 0;
  char FLineTermChar = 10;
  TNsLineTerminator FLineTerminator = ltCRLF;
  TNsLogOptionSet FLogOptions{loHighData, loTelnet};
  TNsTelnetTerminal *FTelnetTerminal = nullptr;  // not owned
  TNsReceiveMode FReceiveMode = rmLine;
  TNsStream *FStream = nullptr;  // not owned
  bool FStripLineTerminator = false;
  std::unique_ptr<uint8_t[]> FBuffer{new uint8_t[ReceiveBufferBytes]};
  uint32_t FConsumed = 0;
  uint32_t FUsed = 0;
  std::string FPendingLine;
  // Set when an over-long line was dropped: its tail, up to the next terminator, is
  // dropped too rather than handed on as if it were a line of its own.
  bool FSkippingLine = false;
  std::deque<std::unique_ptr<TQueueItem>> FQueue;  // owned
  TNsSockStats FStats{};
  bool FStatusChanged = false;
  std::string FTelnetCarry;           // an IAC sequence cut off by the end of a receive
  std::vector<HWND> FMonitorWindows;  // not owned
  uint32_t FNextItemId = 1;
  bool FWritable = false;
  bool FClosing = false;
  std::string FSocksReply;  // proxy reply bytes gathered so far
  uint32_t FSocksBoundAddress = 0;
  uint16_t FSocksBoundPort = 0;
  TOptionBits FLocalWilling{}, FLocalEnabled{}, FLocalPending{};
  TOptionBits FRemoteWanted{}, FRemoteEnabled{}, FRemotePending{};
};
