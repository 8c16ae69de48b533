// The SNTP client component. A unicast answer is believed only when it answers our own
// outstanding query (source, originate echo, sane header); anything else is dropped
// and the query keeps waiting, up to its time-out.
#include "sntp/NsSNTP.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>

namespace {

// Larger than any answer we accept, so that the real length of a datagram is known.
constexpr int ReceiveBufferSize = 1024;
// One millisecond in units of the NTP fraction word (2^32 / 1000, rounded down).
constexpr uint32_t FractionUnitsPerMs = 4294967;

// Random bits for the part of the transmit timestamp below the millisecond: an
// off-path sender must not be able to guess the originate timestamp we demand back.
uint32_t SubMillisecondNoise() {
  static std::mt19937 engine = [] {
    std::random_device device;
    std::seed_seq seed{device(), device(), device(), device(), static_cast<unsigned>(GetTickCount())};
    return std::mt19937(seed);
  }();
  return std::uniform_int_distribution<uint32_t>(0, FractionUnitsPerMs - 1)(engine);
}

// Adds Units to the big-endian 64-bit timestamp at P (seconds word carries).
void AddToTimestamp(uint8_t *P, uint32_t Units) {
  uint64_t value = 0;
  for (int i = 0; i < 8; ++i) value = (value << 8) | P[i];
  value += Units;
  for (int i = 7; i >= 0; --i) {
    P[i] = static_cast<uint8_t>(value);
    value >>= 8;
  }
}

}  // namespace

TNsCustomSNTPClient::TNsCustomSNTPClient(TComponent *AOwner) : TNsCustomClient(AOwner) {
  SetDefaultPort(SntpPort);
  SetSocketType(stUDP);
  DataInits()->SetLineTerminator(ltCRLF);
  DataInits()->SetReceiveBufferSize(1024);
}

TNsCustomSNTPClient::~TNsCustomSNTPClient() {
  SetPollTimer(false, 0);
  StopQueryTimer();
  ReleaseSocket();
}

// ---- Timers -----------------------------------------------------------------------

// Behaves as a window timer component: changing Enabled or Interval restarts the
// period, setting the same values again does not.
void TNsCustomSNTPClient::SetPollTimer(bool Enabled, uint32_t Interval) {
  if (Enabled == FPollTimerEnabled && Interval == FPollTimerInterval) return;
  FPollTimerEnabled = Enabled;
  FPollTimerInterval = Interval;
  if (FPollTimerSet) KillTimer(WindowHandle(), PollTimerId);
  FPollTimerSet = false;
  if (Enabled && Interval > 0) FPollTimerSet = SetTimer(WindowHandle(), PollTimerId, Interval, nullptr) != 0;
}

void TNsCustomSNTPClient::StopQueryTimer() {
  if (FQueryTimerSet) KillTimer(WindowHandle(), QueryTimerId);
  FQueryTimerSet = false;
}

// ---- Properties -------------------------------------------------------------------

void TNsCustomSNTPClient::SetBroadcastMode(TNsBroadcastMode Value) {
  if (Value == FBroadcastMode) return;
  FBroadcastMode = Value;
  if (Value == bmMulticast)
    PollTimerTick();
  else
    CloseQuerySocket();  // the listening socket has no use in unicast and holds port 123
}

void TNsCustomSNTPClient::SetPollInterval(int32_t Value) {
  if (FBroadcastMode == bmMulticast) return;
  FPollInterval = Value;
  // Window timers take at most 0x7FFFFFFF ms.
  const uint64_t ms = Value > 0 ? std::min<uint64_t>(uint64_t(Value) * 1000, 0x7FFFFFFF) : 0;
  SetPollTimer(Value > 0, static_cast<uint32_t>(ms));
}

// ---- Queries ----------------------------------------------------------------------

void TNsCustomSNTPClient::ReleaseSocket() {
  StopQueryTimer();
  FQueryOutstanding = false;
  FAnswerPending = false;
  if (FLookup) {
    if (WinSockAccess) WinSockAccess->WSACancelAsyncRequest()(FLookup);
    FLookup = nullptr;
  }
  if (FSocket != 0 && FSocket != INVALID_SOCKET) {
    if (WinSockAccess) WinSockAccess->closesocket()(FSocket);
    FSocket = INVALID_SOCKET;
  }
}

void TNsCustomSNTPClient::CloseQuerySocket() {
  ReleaseSocket();
  FSocket = INVALID_SOCKET;
  SetPollTimer(FPollTimerInterval != 0, FPollTimerInterval);
}

void TNsCustomSNTPClient::PollTimerTick() {
  SetPollTimer(false, FPollTimerInterval);
  RequestTime();
}

void TNsCustomSNTPClient::RequestTime() {
  ReleaseSocket();  // a replaced query's answer has nowhere to go
  FSocket = WinSockAccess->socket()(AF_INET, SOCK_DGRAM, 0);
  if (FSocket == INVALID_SOCKET) throw ENsWinSockError(LoadResString(sNsInvalidUdpSocket));
  WinSockAccess->WSAAsyncSelect()(FSocket, WindowHandle(), NS_SOCKETEVENT_MSG, FD_READ);

  if (FBroadcastMode == bmMulticast) {
    // Broadcast servers send to port 123; listen there on every local address.
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = HostToNetShort(SntpPort);
    local.sin_addr.s_addr = INADDR_ANY;
    if (WinSockAccess->bind()(FSocket, reinterpret_cast<const sockaddr *>(&local), sizeof local) ==
        SOCKET_ERROR) {
      const int error = WinSockAccess->WSAGetLastError()();
      ReleaseSocket();
      throw ENsWinSockError(error, "Bind");
    }
  }

  std::memset(&FServerAddr, 0, sizeof FServerAddr);
  FServerAddr.sin_family = AF_INET;
  FServerAddr.sin_port = HostToNetShort(SntpPort);
  if (FBroadcastMode == bmMulticast) return;
  // An empty name would resolve to this machine; so would 0.0.0.0 as a destination.
  const uint32_t dotted = Server.empty() ? 0 : WinSockAccess->inet_addr()(Server.c_str());
  if (dotted == INADDR_NONE) {
    // A name: looked up in the background, so the message loop never waits for DNS.
    FLookupEntry.assign(MAXGETHOSTSTRUCT, 0);
    FLookup = WinSockAccess->WSAAsyncGetHostByName()(WindowHandle(), NS_LOOKUPDONE_MSG, Server.c_str(),
                                                     FLookupEntry.data(), int(FLookupEntry.size()));
    if (!FLookup) {
      const int error = WinSockAccess->WSAGetLastError()();
      CloseQuerySocket();
      throw ENsWinSockError(error, "WSAAsyncGetHostByName");
    }
    if (FQueryTimeout > 0) FQueryTimerSet = SetTimer(WindowHandle(), QueryTimerId, FQueryTimeout, nullptr) != 0;
    return;
  }
  FServerAddr.sin_addr.s_addr = dotted;
  if (dotted == 0) {
    CloseQuerySocket();  // nothing to ask; a running poll interval tries again later
    if (!Server.empty()) DoQueryFailed(sfNameNotResolved, sacAccepted);
    return;
  }
  SendRequest();
}

void TNsCustomSNTPClient::HandleLookupDone(LPARAM Reply) {
  FLookup = nullptr;
  const int error = HIWORD(Reply);
  const auto *entry = reinterpret_cast<const hostent *>(FLookupEntry.data());
  const uint32_t addr = error ? 0 : HostEntryAddr(entry, 0);
  if (addr == 0 || addr == INADDR_NONE) {
    CloseQuerySocket();  // as after a time-out: a running poll interval tries again later
    DoQueryFailed(sfNameNotResolved, sacAccepted);
    return;
  }
  FServerAddr.sin_addr.s_addr = addr;
  SendRequest();
}

void TNsCustomSNTPClient::SendRequest() {
  // Tied to the server: the system drops whatever anyone else sends to this port, and
  // the answer takes the system's shorter way for a known peer. Should the tie fail, the
  // address given with the datagram does the same job.
  const bool tied = WinSockAccess->connect()(FSocket, reinterpret_cast<const sockaddr *>(&FServerAddr),
                                             sizeof FServerAddr) == 0;
  BuildSntpRequest(FMsg);
  AddToTimestamp(&FMsg[SntpTransmitOffset], SubMillisecondNoise());
  std::copy(FMsg.begin() + SntpTransmitOffset, FMsg.begin() + SntpTransmitOffset + 8, FSentTransmit.begin());
  const char *request = reinterpret_cast<const char *>(FMsg.data());
  if (tied)
    WinSockAccess->send()(FSocket, request, static_cast<int>(FMsg.size()), 0);
  else
    WinSockAccess->sendto()(FSocket, request, static_cast<int>(FMsg.size()), 0,
                            reinterpret_cast<const sockaddr *>(&FServerAddr), sizeof FServerAddr);
  FQueryOutstanding = true;
  FLastRefusal = sacAccepted;
  // After a lookup its timer runs on: the time-out covers the lookup and the answer.
  if (FQueryTimeout > 0 && !FQueryTimerSet)
    FQueryTimerSet = SetTimer(WindowHandle(), QueryTimerId, FQueryTimeout, nullptr) != 0;
}

bool TNsCustomSNTPClient::IsFromServer(const sockaddr_in &From) const {
  return FQueryOutstanding && From.sin_family == AF_INET && From.sin_addr.s_addr == FServerAddr.sin_addr.s_addr &&
         From.sin_port == FServerAddr.sin_port;
}

void TNsCustomSNTPClient::SocketRead(SOCKET Socket) {
  if (Socket != FSocket || FSocket == 0 || FSocket == INVALID_SOCKET) {
    TNsCustomClient::SocketRead(Socket);
    return;
  }
  uint8_t buffer[ReceiveBufferSize];
  sockaddr_in from{};
  int fromLength = sizeof from;
  int length = WinSockAccess->recvfrom()(FSocket, reinterpret_cast<char *>(buffer), sizeof buffer, 0,
                                         reinterpret_cast<sockaddr *>(&from), &fromLength);
  if (length == SOCKET_ERROR) {
    // A datagram longer than the buffer arrives cut, with this error; its head is all we read.
    if (WinSockAccess->WSAGetLastError()() != WSAEMSGSIZE) return;
    length = sizeof buffer;
  }

  if (FBroadcastMode == bmMulticast) {
    // Broadcast servers are whoever sends; their answers carry no originate timestamp.
    FAnswerArrival = std::chrono::steady_clock::now();
    FMsg.fill(0);
    std::copy(buffer, buffer + std::min<int>(length, static_cast<int>(SntpMessageSize)), FMsg.begin());
    FServerAddr = from;
  } else {
    if (!IsFromServer(from)) return;
    const TSntpAnswerCheck check = CheckSntpAnswer(buffer, static_cast<size_t>(length), FSentTransmit);
    if (check != sacAccepted) {
      FLastRefusal = check;  // for the failure report: such a server is not silent
      return;
    }
    FAnswerArrival = std::chrono::steady_clock::now();
    std::copy(buffer, buffer + SntpMessageSize, FMsg.begin());
    FQueryOutstanding = false;  // a duplicate is no longer an answer
    StopQueryTimer();
  }
  FAnswerPending = true;
  PostMessageA(WindowHandle(), NS_SNTPANSWER_MSG, 1, 0);
}

void TNsCustomSNTPClient::HandleAnswer() {
  if (!FAnswerPending) return;  // its query was replaced or closed meanwhile
  FAnswerPending = false;
  const TSntpAnswer answer = EvaluateSntpAnswer(FMsg);
  bool synchronized = false;
  if (answer.Usable && SyncThreshold >= 1 && std::fabs(answer.LocalOffset) > SyncThreshold) {
    const SYSTEMTIME corrected = DateTimeToSystemTime(answer.CorrectedClock);
    SetSystemTime(&corrected);
    synchronized = true;
  }
  const SOCKET answered = FSocket;
  const std::shared_ptr<bool> alive = AliveToken();
  DoSNTPTime(answer.TimeStamp, answer.LocalOffset, answer.RoundTripDelay, answer.Stratum, synchronized);
  if (!*alive) return;
  // A handler may have started the next query already; that one stays open.
  if (FBroadcastMode == bmUnicast && FSocket == answered) CloseQuerySocket();
}

void TNsCustomSNTPClient::DoSNTPTime(TDateTime TimeStamp, double LocalOffset, double RoundTripDelay,
                                     uint8_t Stratum, bool Synchronized) {
  if (OnSNTPTime) OnSNTPTime(this, TimeStamp, LocalOffset, RoundTripDelay, Stratum, Synchronized);
}

void TNsCustomSNTPClient::DoQueryFailed(TNsSNTPFailure Failure, TSntpAnswerCheck LastRefusal) {
  if (OnQueryFailed) OnQueryFailed(this, Failure, LastRefusal);
}

TDateTime TNsCustomSNTPClient::SinceAnswerArrival() const {
  if (FAnswerArrival == std::chrono::steady_clock::time_point{}) return 0;
  const std::chrono::duration<double> waited = std::chrono::steady_clock::now() - FAnswerArrival;
  return waited.count() / 86400.0;
}

void TNsCustomSNTPClient::WndProc(TMessage &Message) {
  if (Message.Msg == NS_LOOKUPDONE_MSG && FLookup && reinterpret_cast<HANDLE>(Message.WParam) == FLookup) {
    HandleLookupDone(Message.LParam);
    return;
  }
  if (Message.Msg == NS_SNTPANSWER_MSG) {
    if (Message.WParam == 1) HandleAnswer();
    return;
  }
  if (Message.Msg == WM_TIMER && Message.WParam == PollTimerId) {
    PollTimerTick();
    return;
  }
  if (Message.Msg == WM_TIMER && Message.WParam == QueryTimerId) {
    // Nothing came (not even the server's address): give the query up; a running poll
    // interval starts over.
    StopQueryTimer();
    if (FQueryOutstanding || FLookup) {
      const TNsSNTPFailure failure = FLookup ? sfNameNotResolved : sfNoAnswer;
      const TSntpAnswerCheck refusal = FLastRefusal;
      CloseQuerySocket();
      DoQueryFailed(failure, refusal);  // may start the next query or free this client
    }
    return;
  }
  TNsCustomClient::WndProc(Message);
}
