// The SNTP datagram (48-byte version 3 header, no extensions) and the arithmetic that
// turns NTP timestamps into date-time values and an answer into offset and delay.
// Everything here works on a buffer and doubles; only the overloads without a "now"
// read the system clock (UTC).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "forms/DateUtils.h"

constexpr size_t SntpMessageSize = 48;
using TSntpMessage = std::array<uint8_t, SntpMessageSize>;
using TNtpTimestamp = std::array<uint8_t, 8>;

// Offsets of the fields the client reads or writes.
constexpr size_t SntpModeOffset = 0;
constexpr size_t SntpStratumOffset = 1;
constexpr size_t SntpOriginateOffset = 24;
constexpr size_t SntpReceiveOffset = 32;
constexpr size_t SntpTransmitOffset = 40;
constexpr uint8_t SntpClientRequestByte = 0x1B;  // LI 0, version 3, mode 3 (client)
constexpr uint8_t SntpModeServer = 4;

// One NTP era: 2^32 seconds, also the unit of the fraction word.
constexpr double NtpFractionUnit = 4294967296.0;

// NTP seconds: seconds since 1900-01-01 00:00 UTC, fraction included.
double DateTimeToNtpSeconds(TDateTime Value);
TDateTime NtpSecondsToDateTime(double Seconds);

// Big-endian seconds word (the low 32 bits of the NTP seconds) and fraction word
// (truncated, never rounded up into the next second).
TNtpTimestamp EncodeNtpTimestamp(TDateTime Value);
// Eight zero bytes are "no time" and give 0.0. Otherwise a seconds word with its top
// bit clear belongs to the era that begins 2036-02-07 06:28:16 UTC, so that answers
// after 2036 keep their date; words with the top bit set count from 1900 (1968-2036).
double DecodeNtpTimestamp(const uint8_t *Bytes);
double DecodeNtpTimestamp(const TNtpTimestamp &Bytes);

// Zeros, the client byte, and the transmit timestamp Now (UTC).
void BuildSntpRequest(TSntpMessage &Msg, TDateTime Now);
void BuildSntpRequest(TSntpMessage &Msg);

struct TSntpAnswer {
  TDateTime TimeStamp = 2.0;     // the server's transmit time (T3), UTC, as sent
  double LocalOffset = 0.0;      // ms the local clock is behind the server
  double RoundTripDelay = 0.0;   // ms
  uint8_t Stratum = 0;           // as the server sent it, unchecked
  TDateTime CorrectedClock = 0;  // UTC clock at T4 corrected by the offset; only when Usable
  bool Usable = false;           // a server-mode answer with a transmit time
};

// Evaluates an answer; Now is the local UTC clock when it is read (T4).
TSntpAnswer EvaluateSntpAnswer(const TSntpMessage &Msg, TDateTime Now);
TSntpAnswer EvaluateSntpAnswer(const TSntpMessage &Msg);

// The system clock (UTC) as a date-time value, millisecond resolution.
TDateTime SystemClockUtc();

// Why a datagram is not an acceptable server answer to the request whose transmit
// timestamp was Sent, by the first failed check, in this order. Bytes after the 48th
// (extension fields, a MAC) are not examined.
enum TSntpAnswerCheck {
  sacAccepted,
  sacTooShort,         // fewer than 48 bytes
  sacBadVersion,       // not version 3 or 4
  sacBadMode,          // not mode 4 (server)
  sacBadOriginate,     // does not echo Sent byte for byte
  sacZeroTimestamp,    // receive or transmit timestamp is zero
  sacKissOfDeath,      // stratum 0
  sacBadStratum,       // stratum above 15
  sacUnsynchronized,   // leap indicator 3
  sacRootDistance,     // root delay / 2 + root dispersion not under 16 s
};
TSntpAnswerCheck CheckSntpAnswer(const uint8_t *Data, size_t Length, const TNtpTimestamp &Sent);
