// The SNTP client component: asks one time server for the time over UDP and reports
// the answer through OnSNTPTime; it can also poll on its own and, above a threshold,
// set the system clock itself.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "forms/DateUtils.h"
#include "sntp/NsTime.h"
#include "sockets/NsSock.h"

enum TNsBroadcastMode { bmUnicast, bmMulticast };

using TNsClientSNTPEvent = std::function<void(TObject *Sender, TDateTime TimeStamp, double LocalOffset,
                                              double RoundTripDelay, uint8_t Stratum, bool Synchronized)>;

// Why a unicast query ended without an answer.
enum TNsSNTPFailure {
  sfNameNotResolved,  // the server's name gave no address
  sfNoAnswer,         // the time-out passed; LastRefusal tells whether the server answered badly
};
// LastRefusal: the check that the last datagram from the server failed, sacAccepted when none came.
using TNsSNTPFailureEvent =
    std::function<void(TObject *Sender, TNsSNTPFailure Failure, TSntpAnswerCheck LastRefusal)>;

class TNsCustomSNTPClient : public TNsCustomClient {
 public:
  static constexpr uint16_t SntpPort = 123;
  // How long a unicast query waits for its answer before its socket is given up.
  static constexpr uint32_t DefaultQueryTimeout = 10000;

  explicit TNsCustomSNTPClient(TComponent *AOwner);
  ~TNsCustomSNTPClient() override;

  // Starts one query (unicast) or opens the listening socket (multicast). Raises
  // "invalid udp socket" when no socket can be made. A host name is resolved in the
  // background, within the query time-out; a name that cannot be resolved gives the
  // query up and raises OnError with the resolver's Winsock error.
  void RequestTime();
  // Closes the query socket, if any, and re-arms a running poll interval.
  void CloseQuerySocket();
  void PollTimerTick();

  TNsBroadcastMode BroadcastMode() const { return FBroadcastMode; }
  void SetBroadcastMode(TNsBroadcastMode Value);
  // Seconds between queries, each counted from the end of the previous one; 0: no polling.
  int32_t PollInterval() const { return FPollInterval; }
  void SetPollInterval(int32_t Value);
  std::string Server;  // host name or dotted address, read by every RequestTime
  // Milliseconds of offset above which the component sets the clock; 0: never.
  int32_t SyncThreshold = 0;
  uint32_t QueryTimeout() const { return FQueryTimeout; }
  void SetQueryTimeout(uint32_t Ms) { FQueryTimeout = Ms; }

  SOCKET QuerySocket() const { return FSocket; }
  // Time since the accepted answer was read from the socket, in days (0 before any),
  // so that a handler can move the answer's time on by how long it waited here.
  TDateTime SinceAnswerArrival() const;
  bool PollTimerEnabled() const { return FPollTimerEnabled; }
  uint32_t PollTimerInterval() const { return FPollTimerInterval; }

  TNsClientSNTPEvent OnSNTPTime;
  // A unicast query that ends without an answer; a query replaced or closed by its owner does not.
  TNsSNTPFailureEvent OnQueryFailed;

  void SocketRead(SOCKET Socket) override;
  void WndProc(TMessage &Message) override;

 protected:
  virtual void DoSNTPTime(TDateTime TimeStamp, double LocalOffset, double RoundTripDelay, uint8_t Stratum,
                          bool Synchronized);
  virtual void DoQueryFailed(TNsSNTPFailure Failure, TSntpAnswerCheck LastRefusal);

 private:
  enum : UINT_PTR { PollTimerId = 2, QueryTimerId = 3 };  // 1 is the control's heartbeat

  void HandleAnswer();
  void HandleLookupDone(LPARAM Reply);
  // Sends the request to FServerAddr and starts the query's time-out.
  void SendRequest();
  void SetPollTimer(bool Enabled, uint32_t Interval);
  void StopQueryTimer();
  // Closes the socket without touching the poll timer.
  void ReleaseSocket();
  // True when From is the server of the outstanding unicast query.
  bool IsFromServer(const sockaddr_in &From) const;

  TNsBroadcastMode FBroadcastMode = bmUnicast;
  int32_t FPollInterval = 0;
  uint32_t FQueryTimeout = DefaultQueryTimeout;
  SOCKET FSocket = 0;  // owned; 0 before the first query, INVALID_SOCKET once closed
  sockaddr_in FServerAddr{};
  TSntpMessage FMsg{};            // the request, then the accepted answer
  TNtpTimestamp FSentTransmit{};  // what an answer must echo as its originate timestamp
  std::chrono::steady_clock::time_point FAnswerArrival{};
  HANDLE FLookup = nullptr;        // the server name's lookup in progress, if any
  std::vector<char> FLookupEntry;  // what the lookup fills in
  bool FQueryOutstanding = false;
  TSntpAnswerCheck FLastRefusal = sacAccepted;  // of the outstanding query's server
  bool FAnswerPending = false;  // an accepted answer waits for message 4763
  bool FPollTimerEnabled = false;
  uint32_t FPollTimerInterval = 0;
  bool FPollTimerSet = false;   // window timer PollTimerId is running
  bool FQueryTimerSet = false;  // window timer QueryTimerId is running
};

class TNsSNTPClient : public TNsCustomSNTPClient {
 public:
  using TNsCustomSNTPClient::TNsCustomSNTPClient;
};
