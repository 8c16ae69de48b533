// Which datagram counts as an answer to our request: each rule by its first failure,
// and the edges of the ranges that are still accepted.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "sntp/NsTime.h"

namespace {

using Bytes = std::vector<uint8_t>;

const TNtpTimestamp Sent = {0xE9, 0x00, 0x00, 0x01, 0x12, 0x34, 0x56, 0x78};

Bytes GoodAnswer() {
  Bytes b(48, 0);
  b[0] = (4 << 3) | 4;
  b[1] = 2;
  std::copy(Sent.begin(), Sent.end(), b.begin() + 24);
  b[32] = 0xE9, b[35] = 2;  // receive
  b[40] = 0xE9, b[43] = 3;  // transmit
  return b;
}

void Put32(Bytes &b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (24 - 8 * i));
}

TEST(SntpAnswerCheckTest, EachRuleAndItsEdges) {
  const struct {
    const char *Case;
    std::function<void(Bytes &)> Change;
    TSntpAnswerCheck Expected;
  } rows[] = {
      {"as built", [](Bytes &) {}, sacAccepted},
      {"version 3", [](Bytes &b) { b[0] = (3 << 3) | 4; }, sacAccepted},
      {"68 bytes", [](Bytes &b) { b.resize(68, 0xFF); }, sacAccepted},
      {"root dispersion just under 16 s", [](Bytes &b) { Put32(b, 8, 0x000FFFFF); }, sacAccepted},
      {"root delay just under 32 s", [](Bytes &b) { Put32(b, 4, 0x001FFFFE); }, sacAccepted},
      {"stratum 15", [](Bytes &b) { b[1] = 15; }, sacAccepted},
      {"leap indicator 2", [](Bytes &b) { b[0] |= 0x80; }, sacAccepted},
      {"47 bytes of garbage", [](Bytes &b) { b.assign(47, 0xFF); }, sacTooShort},
      {"version 1", [](Bytes &b) { b[0] = (1 << 3) | 4; }, sacBadVersion},
      {"version 7 and mode 5", [](Bytes &b) { b[0] = (7 << 3) | 5; }, sacBadVersion},
      {"symmetric mode", [](Bytes &b) { b[0] = (4 << 3) | 1; }, sacBadMode},
      {"originate first byte", [](Bytes &b) { b[24] ^= 0x80; }, sacBadOriginate},
      {"zero receive", [](Bytes &b) { std::fill(b.begin() + 32, b.begin() + 40, 0); }, sacZeroTimestamp},
      {"zero transmit and stratum 0", [](Bytes &b) { std::fill(b.begin() + 40, b.end(), 0), b[1] = 0; },
       sacZeroTimestamp},
      {"stratum 0", [](Bytes &b) { b[1] = 0; }, sacKissOfDeath},
      {"stratum 255", [](Bytes &b) { b[1] = 255; }, sacBadStratum},
      {"leap indicator 3", [](Bytes &b) { b[0] |= 0xC0; }, sacUnsynchronized},
      {"root dispersion 16 s", [](Bytes &b) { Put32(b, 8, 0x00100000); }, sacRootDistance},
      {"8 s delay and 12 s dispersion", [](Bytes &b) { Put32(b, 4, 0x00080000), Put32(b, 8, 0x000C0000); },
       sacRootDistance},
      {"root delay with the top bit set", [](Bytes &b) { Put32(b, 4, 0xFFFF0000); }, sacRootDistance},
  };
  for (const auto &row : rows) {
    Bytes b = GoodAnswer();
    row.Change(b);
    EXPECT_EQ(CheckSntpAnswer(b.data(), b.size(), Sent), row.Expected) << row.Case;
  }
}

}  // namespace
