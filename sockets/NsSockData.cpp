// The data socket: receiving and delivering units, the send queue, closing with a
// drain, idle accounting, the SOCKS handshakes and Telnet option negotiation.
#include "sockets/NsSockData.h"

#include <algorithm>
#include <cstring>

#include "sockets/NsConst.h"
#include "sockets/NsSockControl.h"

namespace {

const int kSolSocket = 0xFFFF;
const int kSoSndBuf = 0x1001;
const int kSoRcvBuf = 0x1002;
const int kWouldBlock = 10035;
const int kNotConnected = 10057;
const int kBadProtocolOption = 10042;
const int kInvalidArgument = 10022;
// Below this a buffer size is left at the platform's default.
const int32_t kMinBufferSize = 1460;
// Chunks read from a source stream; in Telnet mode escaping may double them.
const size_t kStreamChunk = 1460;
const size_t kTelnetStreamChunk = 1024;
// An unfinished Telnet subnegotiation is given up past this size.
const size_t kMaxTelnetCarry = 8192;
// SocksState after the proxy refused: the handshake is over without a connection.
const uint8_t kSocksRefused = 6;

}  // namespace

TNsDataSocket::TNsDataSocket(TNsSockControl *AControl, SOCKET AHandle, const TNsSockAddr &ALocal,
                             const TNsDataInits *AInits, const TNsSocksServerInfo *ASocksServer)
    : TNsBaseSocket(AControl, AHandle, ALocal, AInits, ASocksServer) {
  int32_t rcvBuf = 4096, sndBuf = 4096;
  if (AInits) {
    FFixedLineLength = AInits->FixedLineLength();
    FIdleTimeout = AInits->IdleTimeout();
    FLineTermChar = AInits->LineTermChar();
    FLineTerminator = AInits->LineTerminator();
    FLogOptions = AInits->LogOptions();
    FReceiveMode = AInits->ReceiveMode();
    FStripLineTerminator = AInits->StripLineTerminator();
    rcvBuf = AInits->ReceiveBufferSize();
    sndBuf = AInits->SendBufferSize();
  }
  for (uint8_t option : {TelnetOptBinary, TelnetOptSuppressGoAhead, TelnetOptStatus, TelnetOptTerminalType,
                         TelnetOptWindowSize})
    Put(FLocalWilling, option, true);
  for (uint8_t option : {TelnetOptBinary, TelnetOptEcho, TelnetOptSuppressGoAhead})
    Put(FRemoteWanted, option, true);
  // The base constructor registered with its own mask (constructors do not reach
  // overrides); this one adds read and write.
  SelectEvents();
  ApplyBufferSize(kSoRcvBuf, rcvBuf);
  ApplyBufferSize(kSoSndBuf, sndBuf);
}

TNsDataSocket::~TNsDataSocket() = default;

void TNsDataSocket::ApplyBufferSize(int Option, int32_t Size) {
  while (Size > kMinBufferSize) {
    if (WinSockAccess->setsockopt()(FHandle, kSolSocket, Option, reinterpret_cast<const char *>(&Size),
                                    sizeof Size) != SOCKET_ERROR)
      return;
    int32_t err = LastError();
    if (err == kBadProtocolOption || err == kInvalidArgument) return;
    Size /= 2;
  }
}

void TNsDataSocket::SelectEvents() { RegisterEvents(FD_READ | FD_WRITE | FD_CONNECT | FD_CLOSE); }

void TNsDataSocket::PeerClosed() {
  if (FConnected) CloseSocket();
}

void TNsDataSocket::ResetBuffer() {
  FConsumed = FUsed = 0;
  FPendingLine.clear();
  FSkippingLine = false;
  FTelnetCarry.clear();
  FSocksReply.clear();
}

void TNsDataSocket::Connect(const TNsSockAddr &ARemote, const std::string &AHostName) {
  {
    TNsLockGuard guard(FLock);
    ResetBuffer();
    FStats = TNsSockStats{};
    FStatusChanged = false;
  }
  TNsBaseSocket::Connect(ARemote, AHostName);
}

TNsSockStats TNsDataSocket::Stats() const {
  TNsLockGuard guard(const_cast<TNsSocketLock &>(FLock));
  return FStats;
}

void TNsDataSocket::AddCount(uint32_t TNsSockStats::*First, uint32_t TNsSockStats::*Second, uint32_t Count) {
  FStats.*First += Count;
  FStats.*Second += Count;
}

void TNsDataSocket::LogData(uint32_t EntryType, const void *Data, uint32_t Length) {
  TNsDebugLog *log = FControl->DebugLog();
  if (log && log->Enabled())
    log->AddEntry(FControl, uint32_t(FReportHandle), EntryType, reinterpret_cast<uintptr_t>(Data), Length);
}

void TNsDataSocket::AddMonitorWindow(HWND Window) {
  if (std::find(FMonitorWindows.begin(), FMonitorWindows.end(), Window) == FMonitorWindows.end())
    FMonitorWindows.push_back(Window);
}

void TNsDataSocket::RemoveMonitorWindow(HWND Window) {
  FMonitorWindows.erase(std::remove(FMonitorWindows.begin(), FMonitorWindows.end(), Window),
                        FMonitorWindows.end());
}

// ---- Receiving -------------------------------------------------------------------------

int TNsDataSocket::ReceiveOnce() {
  if (FHandle == INVALID_SOCKET || (!FConnected && !FClosing)) return 0;
  if (FConsumed == FUsed) FConsumed = FUsed = 0;
  uint32_t space = ReceiveBufferBytes - FUsed;
  if (space == 0) return 0;
  uint8_t *data = FBuffer.get() + FUsed;
  int n = WinSockAccess->recv()(FHandle, reinterpret_cast<char *>(data), int(space), 0);
  if (n == SOCKET_ERROR) {
    int32_t err = LastError();
    if (err != kWouldBlock && err != kNotConnected && !FClosing) throw ENsWinSockError(err, "Recv");
    return 0;
  }
  if (n <= 0) return 0;
  uint32_t count = uint32_t(n);
  if (FLogOptions.Contains(loLowData)) LogData(NsLogRecvApi, data, count);
  AddCount(&TNsSockStats::RawReceived, &TNsSockStats::RawReceived2, count);
  FStatusChanged = true;
  if (FSocksState == kSocksRefused) return n;  // the proxy said no: nothing it sends is data
  if (FSocksState >= 1 && FSocksState <= 4) {
    uint32_t taken = SocksReceive(data, count);
    if (!*AliveToken()) return 0;
    // Whatever follows the proxy's reply is the first data of the connection.
    std::memmove(data, data + taken, count - taken);
    count -= taken;
    if (count == 0) return n;
  }
  if (FTelnet) count = TelnetFilter(data, count);
  if (FStripHighBit)
    for (uint32_t i = 0; i < count; ++i) data[i] &= 0x7F;
  if (FEchoReceived && count > 0) Send(data, count, true);
  if (FDiscardReceived) count = 0;
  if (count > 0) {
    if (FLogOptions.Contains(loHighData)) LogData(NsLogRead, data, count);
    for (HWND w : FMonitorWindows) {
      char *copy = new char[count];
      std::memcpy(copy, data, count);
      // The receiver frees the copy; one that cannot be posted is freed here.
      if (!PostMessageA(w, NS_MONITORDATA_MSG, reinterpret_cast<WPARAM>(copy), LPARAM(count))) delete[] copy;
    }
  }
  AddCount(&TNsSockStats::Received, &TNsSockStats::Received2, count);
  FUsed += count;
  return n;
}

void TNsDataSocket::ReadReady() {
  std::shared_ptr<bool> alive = AliveToken();
  FIdleTime = 0;
  while (ReceiveOnce() > 0) {
    if (!*alive || !DeliverUnits()) return;
  }
}

bool TNsDataSocket::Reply(const std::string &Text) {
  std::shared_ptr<bool> alive = AliveToken();
  FControl->DoReply(FReportHandle, Text);
  return *alive;
}

void TNsDataSocket::CompactBuffer() {
  if (FConsumed == 0) return;
  std::memmove(FBuffer.get(), FBuffer.get() + FConsumed, FUsed - FConsumed);
  FUsed -= FConsumed;
  FConsumed = 0;
}

bool TNsDataSocket::DeliverUnits() {
  switch (FReceiveMode) {
    case rmLine:
      if (FLineTerminator == ltNone) return DeliverFixed();
      return DeliverLines();
    case rmAny:
      if (FUsed > FConsumed) {
        std::string unit(reinterpret_cast<char *>(FBuffer.get()) + FConsumed, FUsed - FConsumed);
        FConsumed = FUsed = 0;
        return Reply(unit);
      }
      return true;
    case rmStream:
      if (FUsed > FConsumed) {
        if (!FStream) throw ENsProgrammerError(LoadResString(sNsProgrammerError));
        FStream->Write(FBuffer.get() + FConsumed, FUsed - FConsumed);
        FConsumed = FUsed = 0;
      }
      return true;
  }
  return true;
}

bool TNsDataSocket::DeliverLines() {
  uint8_t term;
  switch (FLineTerminator) {
    case ltCR:
      term = 13;
      break;
    case ltLF:
    case ltCRLF:
      term = 10;
      break;
    case ltOther:
      term = uint8_t(FLineTermChar);
      break;
    default:
      throw Exception(LoadResString(sNsBadTerminator));
  }
  std::shared_ptr<bool> alive = AliveToken();
  const char *buf = reinterpret_cast<const char *>(FBuffer.get());
  for (;;) {
    // Find the next terminator among the unconsumed bytes.
    uint32_t end = FUsed;
    for (uint32_t i = FConsumed; i < FUsed; ++i) {
      if (uint8_t(buf[i]) != term) continue;
      if (FLineTerminator == ltCRLF && (i == FConsumed || buf[i - 1] != 13)) continue;
      end = i;
      break;
    }
    bool found = end < FUsed;
    if (found) {
      uint32_t stop = end + 1;
      uint32_t keep = stop - FConsumed;
      if (FStripLineTerminator) keep -= FLineTerminator == ltCRLF ? 2 : 1;
      if (FSkippingLine) {
        // The tail of a line that was dropped as too long.
        FSkippingLine = false;
        FConsumed = stop;
      } else {
        std::string line;
        line.swap(FPendingLine);
        line.append(buf + FConsumed, keep);
        FConsumed = stop;
        if (!Reply(line)) return false;
      }
    }
    if (FPendingLine.size() > MaxLineBuf) {
      FPendingLine.clear();
      FPendingLine.shrink_to_fit();
      FSkippingLine = true;
      FControl->DoError(FReportHandle, LineTooLongError, LoadResString(sNsLineTooLong));
      if (!*alive) return false;
    }
    if (!found && FUsed == ReceiveBufferBytes && FUsed - FConsumed > 2) {
      // The buffer is full without a line end: keep all but the last two bytes (the
      // start of a CR LF may be among them) as the pending line. Only when no line
      // end is left: complete lines behind the one just delivered must stay lines.
      if (!FSkippingLine) FPendingLine.append(buf + FConsumed, FUsed - FConsumed - 2);
      FConsumed = FUsed - 2;
    }
    if (FConsumed > 0 && FUsed > ReceiveBufferBytes / 2) CompactBuffer();
    if (!found) return true;
  }
}

bool TNsDataSocket::DeliverFixed() {
  const char *buf = reinterpret_cast<const char *>(FBuffer.get());
  if (FFixedLineLength == 0) return DeliverRest();
  for (;;) {
    size_t need = FFixedLineLength - std::min<size_t>(FPendingLine.size(), FFixedLineLength);
    uint32_t avail = FUsed - FConsumed;
    if (avail >= need) {
      std::string unit;
      unit.swap(FPendingLine);
      unit.append(buf + FConsumed, need);
      FConsumed += uint32_t(need);
      if (!Reply(unit)) return false;
      continue;
    }
    // A unit longer than the buffer collects in the pending line.
    if (FUsed == ReceiveBufferBytes) {
      FPendingLine.append(buf + FConsumed, avail);
      FConsumed = FUsed;
    }
    if (FConsumed > 0 && FUsed > ReceiveBufferBytes / 2) CompactBuffer();
    return true;
  }
}

bool TNsDataSocket::DeliverRest() {
  std::string unit;
  unit.swap(FPendingLine);
  if (FSkippingLine) unit.clear();
  FSkippingLine = false;
  unit.append(reinterpret_cast<const char *>(FBuffer.get()) + FConsumed, FUsed - FConsumed);
  FConsumed = FUsed = 0;
  if (unit.empty()) return true;
  return Reply(unit);
}

// ---- Sending ---------------------------------------------------------------------------

std::string TNsDataSocket::Escape(const void *Data, uint32_t Length) const {
  const char *p = static_cast<const char *>(Data);
  if (!FTelnet) return std::string(p, Length);
  std::string out;
  out.reserve(Length);
  for (uint32_t i = 0; i < Length; ++i) {
    out += p[i];
    if (uint8_t(p[i]) == TelnetIAC) out += p[i];
  }
  return out;
}

bool TNsDataSocket::FillFromSource(TQueueItem &Item) {
  size_t chunk = FTelnet && !Item.Raw ? kTelnetStreamChunk : kStreamChunk;
  std::string block(chunk, '\0');
  size_t got = Item.Source->Read(&block[0], chunk);
  if (got == 0) return false;
  Item.Bytes = Item.Raw ? block.substr(0, got) : Escape(block.data(), uint32_t(got));
  Item.Sent = 0;
  Item.PayloadLength = uint32_t(got);
  return true;
}

uint32_t TNsDataSocket::Send(const void *Data, uint32_t Length, bool Raw, bool Uncounted, bool CloseAfter,
                             TNsStream *Source) {
  return Queue(Data, Length, Raw, Uncounted, CloseAfter, Source, false);
}

void TNsDataSocket::SendProtocol(const std::string &Bytes) {
  Queue(Bytes.data(), uint32_t(Bytes.size()), true, true, false, nullptr, true);
}

uint32_t TNsDataSocket::Queue(const void *Data, uint32_t Length, bool Raw, bool Uncounted, bool CloseAfter,
                              TNsStream *Source, bool Protocol) {
  std::unique_ptr<TQueueItem> item(new TQueueItem);
  item->CloseAfter = CloseAfter;
  item->Uncounted = Uncounted;
  item->Raw = Raw;
  item->Source = Source;
  if (Source) {
    FillFromSource(*item);
  } else {
    item->Bytes = Raw ? std::string(static_cast<const char *>(Data), Length) : Escape(Data, Length);
    item->PayloadLength = Length;
  }
  TQueueItem *added = item.get();
  FQueue.push_back(std::move(item));
  if (FQueue.size() == 1 && FWritable) {
    if (SendItem(*added)) {
      FQueue.pop_front();
      if (CloseAfter) {
        SOCKET handle = FReportHandle;
        HWND window = FControl->WindowHandle();
        CloseSocket();
        PostMessageA(window, NS_FREESOCKET_MSG, WPARAM(handle), 0);
      }
      return 0;
    }
  }
  // The socket's own protocol bytes (SOCKS, Telnet) raise no write-done.
  if (!Protocol) added->Id = FNextItemId++;
  return added->Id;
}

bool TNsDataSocket::SendItem(TQueueItem &Item) {
  for (;;) {
    while (Item.Sent < Item.Bytes.size()) {
      const char *p = Item.Bytes.data() + Item.Sent;
      int len = int(Item.Bytes.size() - Item.Sent);
      FIdleTime = 0;
      int n = WinSockAccess->send()(FHandle, p, len, 0);
      if (n == SOCKET_ERROR) {
        int32_t err = LastError();
        if (err == kWouldBlock) {
          // Winsock says FD_WRITE when the socket can take more.
          FWritable = false;
          return false;
        }
        throw ENsWinSockError(err, "send");
      }
      if (FLogOptions.Contains(loLowData)) LogData(NsLogSendApi, p, uint32_t(n));
      AddCount(&TNsSockStats::RawSent, &TNsSockStats::RawSent2, uint32_t(n));
      FStatusChanged = true;
      Item.Sent += uint32_t(n);
    }
    if (!Item.Uncounted) {
      AddCount(&TNsSockStats::Sent, &TNsSockStats::Sent2, Item.PayloadLength);
      if (FLogOptions.Contains(loHighData))
        LogData(NsLogWrite, Item.Bytes.data(), uint32_t(Item.Bytes.size()));
    }
    FStatusChanged = true;
    if (!Item.Source || !FillFromSource(Item)) return true;
  }
}

void TNsDataSocket::WriteReady() {
  std::shared_ptr<bool> alive = AliveToken();
  FWritable = true;
  while (!FQueue.empty()) {
    TQueueItem &item = *FQueue.front();
    if (!SendItem(item)) return;
    uint32_t id = item.Id;
    bool closeAfter = item.CloseAfter;
    FQueue.pop_front();
    SOCKET handle = FReportHandle;
    HWND window = FControl->WindowHandle();
    if (id != 0) {
      FControl->DoWriteDone(handle, id, uint32_t(FQueue.size()));
      if (!*alive) return;
    }
    if (closeAfter) {
      CloseSocket();
      PostMessageA(window, NS_FREESOCKET_MSG, WPARAM(handle), 0);
      return;
    }
  }
}

void TNsDataSocket::ReleaseQueue() { FQueue.clear(); }

// ---- Closing and the heartbeat ------------------------------------------------------

void TNsDataSocket::CloseSocket() {
  std::shared_ptr<bool> alive = AliveToken();
  FConnected = false;
  FWritable = false;
  ReleaseQueue();
  bool wasOpen = FHandle != INVALID_SOCKET;
  try {
    if (wasOpen) {
      WinSockAccess->shutdown()(FHandle, 1);
      FClosing = true;
      while (ReceiveOnce() > 0) {
        if (!*alive) return;
        if (!DeliverUnits()) return;
      }
      if (!*alive) return;
      FClosing = false;
      if (!DeliverRest()) return;
    }
  } catch (...) {
    if (*alive) {
      FClosing = false;
      TNsBaseSocket::CloseSocket();
    }
    throw;
  }
  FClosing = false;
  TNsBaseSocket::CloseSocket();
}

void TNsDataSocket::IdleTimedOut() {
  std::shared_ptr<bool> alive = AliveToken();
  bool reset = false;
  FControl->DoIdleTimeout(FReportHandle, reset);
  if (*alive && reset) FIdleTime = 0;
}

void TNsDataSocket::Heartbeat(uint32_t ElapsedMs) {
  std::shared_ptr<bool> alive = AliveToken();
  if (FStatusChanged) {
    FStatusChanged = false;
    ReportStatus(nsStatusTraffic);
    if (!*alive) return;
  }
  FIdleTime += ElapsedMs;
  if (FIdleTimeout != 0 && FIdleTime > FIdleTimeout) IdleTimedOut();
}

// ---- SOCKS -----------------------------------------------------------------------------

void TNsDataSocket::SocksHandshake() {
  const TNsSocksServerInfo &proxy = *FSocksServer;
  std::string request;
  if (proxy.SocksVersion == svSocks5) {
    request = std::string("\x05\x02\x00\x02", 4);
  } else {
    TNsAddrRec target;
    ParseAddress(FRemoteHostName, target);
    // SOCKS 4a lets the proxy resolve the name: address 0.0.0.1, name after the user.
    bool byName = proxy.SocksVersion == svSocks4a && !target.Host.empty() &&
                  TNsSockControl::DottedToAddr(target.Host) == INADDR_NONE;
    request += char(4);
    request += char(1);
    request.append(reinterpret_cast<const char *>(&FRemoteAddress.sin_port), 2);
    if (byName)
      request.append("\x00\x00\x00\x01", 4);
    else
      request.append(reinterpret_cast<const char *>(&FRemoteAddress.sin_addr.s_addr), 4);
    request += proxy.UserCode;
    request += char(0);
    if (byName) {
      request += target.Host;
      request += char(0);
    }
  }
  FSocksReply.clear();
  SendProtocol(request);
}

void TNsDataSocket::SendSocksRequest() {
  std::string request("\x05\x01\x00\x01", 4);
  request.append(reinterpret_cast<const char *>(&FRemoteAddress.sin_addr.s_addr), 4);
  request.append(reinterpret_cast<const char *>(&FRemoteAddress.sin_port), 2);
  FSocksState = 4;
  SendProtocol(request);
}

void TNsDataSocket::SocksRefused(int Status) {
  FControl->DoError(FReportHandle, Status, FormatResString(sNsSocksRefusedFmt, Status));
}

uint32_t TNsDataSocket::SocksReceive(const uint8_t *Data, uint32_t Count) {
  const TNsSocksServerInfo &proxy = *FSocksServer;
  uint32_t taken = 0;
  while (taken < Count && FSocksState >= 2 && FSocksState <= 4) {
    // How long the reply of the current step is.
    size_t need;
    if (proxy.SocksVersion != svSocks5)
      need = 8;
    else if (FSocksState == 4) {
      need = 5;
      if (FSocksReply.size() >= 5) {
        uint8_t type = uint8_t(FSocksReply[3]);
        need = type == 1 ? 10 : type == 4 ? 22 : 7 + uint8_t(FSocksReply[4]);
      }
    } else
      need = 2;
    while (taken < Count && FSocksReply.size() < need) FSocksReply += char(Data[taken++]);
    if (FSocksReply.size() < need) break;
    if (proxy.SocksVersion == svSocks5 && FSocksState == 4 && need == 5) continue;  // length now known
    const std::string reply = FSocksReply;
    FSocksReply.clear();
    const uint8_t status = uint8_t(reply[1]);
    if (proxy.SocksVersion != svSocks5) {
      if (status != 90) {
        SocksRefused(status);
        FSocksState = kSocksRefused;
        break;
      }
      std::memcpy(&FSocksBoundPort, reply.data() + 2, 2);
      std::memcpy(&FSocksBoundAddress, reply.data() + 4, 4);
      FSocksState = 5;
      ConnectDone();
      break;
    }
    if (FSocksState == 2) {
      if (status == 0) {
        SendSocksRequest();
      } else if (status == 2) {
        std::string user = proxy.UserCode.substr(0, 255), pass = proxy.Password.substr(0, 255);
        std::string sub;
        sub += char(1);
        sub += char(user.size());
        sub += user;
        sub += char(pass.size());
        sub += pass;
        FSocksState = 3;
        SendProtocol(sub);
      } else {
        SocksRefused(status);
        FSocksState = kSocksRefused;
        break;
      }
    } else if (FSocksState == 3) {
      if (status != 0) {
        SocksRefused(status);
        FSocksState = kSocksRefused;
        break;
      }
      SendSocksRequest();
    } else {
      if (status != 0) {
        SocksRefused(status);
        FSocksState = kSocksRefused;
        break;
      }
      if (uint8_t(reply[3]) == 1) {
        std::memcpy(&FSocksBoundAddress, reply.data() + 4, 4);
        std::memcpy(&FSocksBoundPort, reply.data() + 8, 2);
      }
      FSocksState = 5;
      ConnectDone();
      break;
    }
  }
  if (FSocksState == kSocksRefused) return Count;
  return taken;
}

// ---- Telnet ----------------------------------------------------------------------------

void TNsDataSocket::LogTelnet(uint32_t Direction, uint8_t Command, uint8_t Option) {
  if (!FLogOptions.Contains(loTelnet)) return;
  TNsDebugLog *log = FControl->DebugLog();
  if (log && log->Enabled())
    log->AddEntry(nullptr, uint32_t(FReportHandle), NsLogTelnet, Direction, uint32_t(Command) * 256 + Option);
}

void TNsDataSocket::SendTelnet(uint8_t Command, uint8_t Option) {
  const char seq[3] = {char(TelnetIAC), char(Command), char(Option)};
  LogTelnet(2, Command, Option);
  SendProtocol(std::string(seq, 3));
}

void TNsDataSocket::SendSubnegotiation(const std::string &Body) {
  std::string seq;
  seq += char(TelnetIAC);
  seq += char(TelnetSB);
  for (char c : Body) {
    seq += c;
    if (uint8_t(c) == TelnetIAC) seq += c;
  }
  seq += char(TelnetIAC);
  seq += char(TelnetSE);
  SendProtocol(seq);
}

void TNsDataSocket::SendWindowSize() {
  uint16_t cols = FTelnetTerminal ? FTelnetTerminal->Columns() : 80;
  uint16_t rows = FTelnetTerminal ? FTelnetTerminal->Rows() : 24;
  std::string body;
  body += char(TelnetOptWindowSize);
  body += char(cols >> 8);
  body += char(cols & 0xFF);
  body += char(rows >> 8);
  body += char(rows & 0xFF);
  SendSubnegotiation(body);
}

void TNsDataSocket::RequestRemoteOption(uint8_t Option, bool Enable) {
  if (RemoteEnabled(Option) == Enable || Has(FRemotePending, Option)) return;
  if (Enable) Put(FRemoteWanted, Option, true);
  Put(FRemotePending, Option, true);
  SendTelnet(Enable ? TelnetDO : TelnetDONT, Option);
}

void TNsDataSocket::RequestLocalOption(uint8_t Option, bool Enable) {
  if (LocalEnabled(Option) == Enable || Has(FLocalPending, Option)) return;
  if (Enable) Put(FLocalWilling, Option, true);
  Put(FLocalPending, Option, true);
  SendTelnet(Enable ? TelnetWILL : TelnetWONT, Option);
}

bool TNsDataSocket::TelnetCommand(uint8_t Command, uint8_t Option) {
  // A reply is sent only when the state changes and the peer's message was a request,
  // not the answer to one of ours (that is what the pending sets tell): so an answer
  // is never answered, and two sides using this rule cannot loop.
  LogTelnet(1, Command, Option);
  switch (Command) {
    case TelnetWILL:
      if (RemoteEnabled(Option)) {
        Put(FRemotePending, Option, false);
      } else if (RemoteWanted(Option)) {
        Put(FRemoteEnabled, Option, true);
        if (Has(FRemotePending, Option))
          Put(FRemotePending, Option, false);
        else
          SendTelnet(TelnetDO, Option);
      } else if (Has(FRemotePending, Option)) {
        Put(FRemotePending, Option, false);
      } else {
        SendTelnet(TelnetDONT, Option);
      }
      return true;
    case TelnetWONT:
      if (RemoteEnabled(Option)) {
        Put(FRemoteEnabled, Option, false);
        if (Has(FRemotePending, Option))
          Put(FRemotePending, Option, false);
        else
          SendTelnet(TelnetDONT, Option);
      } else {
        Put(FRemotePending, Option, false);
      }
      return true;
    case TelnetDO:
      if (LocalEnabled(Option)) {
        Put(FLocalPending, Option, false);
      } else if (LocalWilling(Option)) {
        Put(FLocalEnabled, Option, true);
        if (Has(FLocalPending, Option))
          Put(FLocalPending, Option, false);
        else
          SendTelnet(TelnetWILL, Option);
        if (Option == TelnetOptWindowSize) SendWindowSize();
      } else if (Has(FLocalPending, Option)) {
        Put(FLocalPending, Option, false);
      } else {
        SendTelnet(TelnetWONT, Option);
      }
      return true;
    case TelnetDONT:
      if (LocalEnabled(Option)) {
        Put(FLocalEnabled, Option, false);
        if (Has(FLocalPending, Option))
          Put(FLocalPending, Option, false);
        else
          SendTelnet(TelnetWONT, Option);
      } else {
        Put(FLocalPending, Option, false);
      }
      return true;
    default:
      return false;
  }
}

void TNsDataSocket::TelnetSubnegotiation(const std::string &Bytes) {
  if (Bytes.size() < 2 || uint8_t(Bytes[1]) != 1) return;  // only SEND requests are answered
  const uint8_t option = uint8_t(Bytes[0]);
  if (option == TelnetOptTerminalType && LocalEnabled(TelnetOptTerminalType)) {
    std::string body("\x18\x00", 2);
    body += FTelnetTerminal ? FTelnetTerminal->TerminalType() : std::string("dumb");
    SendSubnegotiation(body);
  } else if (option == TelnetOptStatus) {
    std::string body("\x05\x00", 2);
    for (int o = 0; o < 256; ++o) {
      if (LocalEnabled(uint8_t(o))) {
        body += char(TelnetWILL);
        body += char(o);
      }
      if (RemoteEnabled(uint8_t(o))) {
        body += char(TelnetDO);
        body += char(o);
      }
    }
    SendSubnegotiation(body);
  }
}

uint32_t TNsDataSocket::TelnetFilter(uint8_t *Data, uint32_t Count) {
  std::string in;
  in.swap(FTelnetCarry);
  in.append(reinterpret_cast<const char *>(Data), Count);
  std::shared_ptr<bool> alive = AliveToken();
  uint32_t out = 0;
  size_t i = 0;
  while (i < in.size()) {
    uint8_t c = uint8_t(in[i]);
    if (c != TelnetIAC) {
      Data[out++] = c;
      ++i;
      continue;
    }
    if (i + 1 >= in.size()) break;  // IAC at the end: wait for the rest
    uint8_t cmd = uint8_t(in[i + 1]);
    if (cmd == TelnetIAC) {
      Data[out++] = TelnetIAC;
      i += 2;
    } else if (cmd == TelnetSB) {
      // Look for IAC SE, undoubling IAC IAC on the way.
      std::string body;
      size_t j = i + 2;
      bool complete = false;
      while (j + 1 < in.size()) {
        if (uint8_t(in[j]) == TelnetIAC) {
          if (uint8_t(in[j + 1]) == TelnetSE) {
            complete = true;
            j += 2;
            break;
          }
          if (uint8_t(in[j + 1]) == TelnetIAC) {
            body += in[j];
            j += 2;
            continue;
          }
        }
        body += in[j++];
      }
      if (!complete) break;
      TelnetSubnegotiation(body);
      if (!*alive) return 0;
      i = j;
    } else if (cmd >= TelnetWILL && cmd <= TelnetDONT) {
      if (i + 2 >= in.size()) break;
      TelnetCommand(cmd, uint8_t(in[i + 2]));
      if (!*alive) return 0;
      i += 3;
    } else {
      // Two-byte commands (NOP, GA, AYT, ...) carry no data.
      i += 2;
    }
  }
  if (i < in.size()) {
    FTelnetCarry = in.substr(i);
    // A subnegotiation that never ends must not grow without bound.
    if (FTelnetCarry.size() > kMaxTelnetCarry) FTelnetCarry.clear();
  }
  return out;
}
