// SNTP message and timestamp arithmetic.
#include "sntp/NsTime.h"

#include <algorithm>
#include <cmath>

namespace {

// The date-time value 2.0 is 1900-01-01 00:00, the start of NTP era 0.
constexpr double kNtpEpoch = 2.0;

uint32_t ReadBigEndian32(const uint8_t *p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | uint32_t{p[3]};
}

void WriteBigEndian32(uint8_t *p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v >> 24);
  p[1] = static_cast<uint8_t>(v >> 16);
  p[2] = static_cast<uint8_t>(v >> 8);
  p[3] = static_cast<uint8_t>(v);
}

// The low 32 bits of trunc(x), without the undefined conversion of a double that
// does not fit an integer: fmod keeps the value modulo 2^32 exactly.
uint32_t Low32OfTrunc(double x) {
  if (!std::isfinite(x)) return 0;
  double r = std::fmod(std::trunc(x), NtpFractionUnit);  // in (-2^32, 2^32)
  return static_cast<uint32_t>(static_cast<int64_t>(r));
}

}  // namespace

double DateTimeToNtpSeconds(TDateTime Value) { return (Value - kNtpEpoch) * SecsPerDay; }

TDateTime NtpSecondsToDateTime(double Seconds) { return Seconds / SecsPerDay + kNtpEpoch; }

TNtpTimestamp EncodeNtpTimestamp(TDateTime Value) {
  double s = DateTimeToNtpSeconds(Value);
  TNtpTimestamp out{};
  WriteBigEndian32(&out[0], Low32OfTrunc(s));
  WriteBigEndian32(&out[4], Low32OfTrunc((s - std::trunc(s)) * NtpFractionUnit));
  return out;
}

double DecodeNtpTimestamp(const uint8_t *Bytes) {
  uint32_t seconds = ReadBigEndian32(Bytes);
  uint32_t fraction = ReadBigEndian32(Bytes + 4);
  if (seconds == 0 && fraction == 0) return 0.0;
  double whole = seconds;
  if ((seconds & 0x80000000u) == 0) whole += NtpFractionUnit;
  return whole + fraction / NtpFractionUnit;
}

double DecodeNtpTimestamp(const TNtpTimestamp &Bytes) { return DecodeNtpTimestamp(Bytes.data()); }

TDateTime SystemClockUtc() {
  SYSTEMTIME st;
  GetSystemTime(&st);
  return SystemTimeToDateTime(st);
}

void BuildSntpRequest(TSntpMessage &Msg, TDateTime Now) {
  Msg.fill(0);
  Msg[SntpModeOffset] = SntpClientRequestByte;
  TNtpTimestamp t = EncodeNtpTimestamp(Now);
  std::copy(t.begin(), t.end(), Msg.begin() + SntpTransmitOffset);
}

void BuildSntpRequest(TSntpMessage &Msg) { BuildSntpRequest(Msg, SystemClockUtc()); }

TSntpAnswer EvaluateSntpAnswer(const TSntpMessage &Msg, TDateTime Now) {
  TSntpAnswer a;
  double t3 = DecodeNtpTimestamp(&Msg[SntpTransmitOffset]);
  if (t3 != 0.0 && (Msg[SntpModeOffset] & 7) == SntpModeServer) {
    double t1 = DecodeNtpTimestamp(&Msg[SntpOriginateOffset]);
    double t2 = DecodeNtpTimestamp(&Msg[SntpReceiveOffset]);
    double t4 = DateTimeToNtpSeconds(Now);
    // The time the server held the request (T3 - T2) is not part of the round trip.
    a.RoundTripDelay = ((t4 - t1) - (t3 - t2)) * 1000.0;
    double offset = ((t2 - t1) + (t3 - t4)) / 2.0;
    a.LocalOffset = offset * 1000.0;
    a.CorrectedClock = NtpSecondsToDateTime(t4 + offset);
    a.Usable = true;
  }
  a.TimeStamp = NtpSecondsToDateTime(t3);
  a.Stratum = Msg[SntpStratumOffset];
  return a;
}

TSntpAnswer EvaluateSntpAnswer(const TSntpMessage &Msg) { return EvaluateSntpAnswer(Msg, SystemClockUtc()); }

TSntpAnswerCheck CheckSntpAnswer(const uint8_t *Data, size_t Length, const TNtpTimestamp &Sent) {
  if (Length < SntpMessageSize) return sacTooShort;
  const unsigned version = (Data[0] >> 3) & 7, mode = Data[0] & 7, leap = Data[0] >> 6;
  if (version != 3 && version != 4) return sacBadVersion;
  if (mode != SntpModeServer) return sacBadMode;
  if (!std::equal(Sent.begin(), Sent.end(), Data + SntpOriginateOffset)) return sacBadOriginate;
  auto isZero = [](const uint8_t *p) { return std::all_of(p, p + 8, [](uint8_t b) { return b == 0; }); };
  if (isZero(Data + SntpReceiveOffset) || isZero(Data + SntpTransmitOffset)) return sacZeroTimestamp;
  const uint8_t stratum = Data[SntpStratumOffset];
  if (stratum == 0) return sacKissOfDeath;
  if (stratum > 15) return sacBadStratum;
  if (leap == 3) return sacUnsynchronized;
  // Root delay and dispersion are unsigned 16.16 seconds; 16 s is the protocol's "too far".
  const double rootDelay = ReadBigEndian32(Data + 4) / 65536.0;
  const double rootDispersion = ReadBigEndian32(Data + 8) / 65536.0;
  if (rootDelay / 2 + rootDispersion >= 16.0) return sacRootDistance;
  return sacAccepted;
}
