// Fuzzes the evaluation of an SNTP answer: any datagram (short ones read as zero-filled,
// long ones cut at 48 bytes) must evaluate to finite values, and only a server-mode
// answer with a transmit time may be used to set a clock.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "sntp/NsTime.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  TSntpMessage msg{};
  std::memcpy(msg.data(), data, std::min(size, msg.size()));
  // A fixed local clock, 2024-01-01 00:00 UTC, keeps runs reproducible.
  const TDateTime now = 45292.0;
  TSntpAnswer a = EvaluateSntpAnswer(msg, now);

  const bool hasTime = std::any_of(msg.begin() + SntpTransmitOffset, msg.end(), [](uint8_t b) { return b != 0; });
  const bool expectUsable = hasTime && (msg[0] & 7) == SntpModeServer;
  if (a.Usable != expectUsable) std::abort();
  if (!std::isfinite(a.TimeStamp) || !std::isfinite(a.LocalOffset) || !std::isfinite(a.RoundTripDelay)) std::abort();
  if (a.Stratum != msg[1]) std::abort();
  // Decoded times lie between 1968 and 2104, or are the "no time" value 1900-01-01.
  if (hasTime ? (a.TimeStamp < 24857.0 || a.TimeStamp > 74568.0) : a.TimeStamp != 2.0) std::abort();
  if (!a.Usable && (a.LocalOffset != 0.0 || a.RoundTripDelay != 0.0)) std::abort();
  if (a.Usable && !std::isfinite(a.CorrectedClock)) std::abort();
  return 0;
}
