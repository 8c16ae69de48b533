#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "sntp/NsTime.h"

namespace {

std::string Hex(const uint8_t *p, size_t n) {
  static const char d[] = "0123456789ABCDEF";
  std::string s;
  for (size_t i = 0; i < n; ++i) {
    if (i) s += ' ';
    s += d[p[i] >> 4];
    s += d[p[i] & 15];
  }
  return s;
}

std::string Hex(const TNtpTimestamp &t) { return Hex(t.data(), t.size()); }

// Writes a timestamp from its two words, independently of EncodeNtpTimestamp.
void PutStamp(TSntpMessage &m, size_t at, uint32_t seconds, uint32_t fraction) {
  for (int i = 0; i < 4; ++i) {
    m[at + i] = static_cast<uint8_t>(seconds >> (24 - 8 * i));
    m[at + 4 + i] = static_cast<uint8_t>(fraction >> (24 - 8 * i));
  }
}

double Decode(uint32_t seconds, uint32_t fraction) {
  TSntpMessage m{};
  PutStamp(m, 0, seconds, fraction);
  return DecodeNtpTimestamp(m.data());
}

const double kEra = 4294967296.0;

TEST(NtpTimestampTest, ConversionsBetweenDayCountAndNtpSeconds) {
  EXPECT_EQ(DateTimeToNtpSeconds(2.0), 0.0);
  EXPECT_EQ(DateTimeToNtpSeconds(36526.5), 3155716800.0);
  EXPECT_EQ(DateTimeToNtpSeconds(1.0), -86400.0);
  EXPECT_EQ(NtpSecondsToDateTime(0.0), 2.0);
  EXPECT_EQ(NtpSecondsToDateTime(3155716800.0), 36526.5);
  EXPECT_EQ(NtpSecondsToDateTime(43200.0), 2.5);
}

TEST(NtpTimestampTest, EncodeWritesBigEndianWordsAndTruncatesTheFraction) {
  const TDateTime noon2000 = EncodeDate(2000, 1, 1) + EncodeTime(12, 0, 0, 0);
  EXPECT_EQ(Hex(EncodeNtpTimestamp(2.0)), "00 00 00 00 00 00 00 00");
  EXPECT_EQ(Hex(EncodeNtpTimestamp(noon2000)), "BC 18 6A C0 00 00 00 00");
  EXPECT_EQ(Hex(EncodeNtpTimestamp(EncodeDate(2000, 1, 1) + EncodeTime(12, 0, 0, 500))),
            "BC 18 6A C0 80 00 00 00");
  EXPECT_EQ(Hex(EncodeNtpTimestamp(EncodeDate(2000, 1, 1) + EncodeTime(12, 0, 0, 250))),
            "BC 18 6A C0 40 00 00 00");

  // Just under a whole second: the seconds word stays one lower, the fraction near 1.
  TNtpTimestamp under = EncodeNtpTimestamp(noon2000 - 1e-11);
  EXPECT_EQ(Hex(under.data(), 4), "BC 18 6A BF");
  EXPECT_EQ(under[4], 0xFF);

  // From 2036-02-07 06:28:16 on only the low 32 bits of the seconds are written.
  EXPECT_EQ(Hex(EncodeNtpTimestamp(EncodeDate(2040, 1, 1))), "07 54 FD 00 00 00 00 00");
  EXPECT_EQ(Hex(EncodeNtpTimestamp(EncodeDate(2036, 2, 7) + EncodeTime(6, 28, 17, 0))),
            "00 00 00 01 00 00 00 00");

  // Values no integer can hold still give defined words (no undefined conversion).
  EncodeNtpTimestamp(1e300);
  EncodeNtpTimestamp(std::nan(""));
}

TEST(NtpTimestampTest, DecodePlacesTheWordInTheRightEra) {
  EXPECT_EQ(Decode(0, 0), 0.0) << "all zero is no time at all";
  EXPECT_EQ(Decode(0xBC186AC0, 0x80000000), 3155716800.5);
  EXPECT_EQ(Decode(0xFFFFFFFF, 0), 4294967295.0);
  EXPECT_EQ(Decode(0x80000000, 0), 2147483648.0) << "1968-01-20, the first second of era 0 read as such";
  // Top bit clear: the era that starts 2036-02-07 06:28:16.
  EXPECT_EQ(Decode(0x0754FD00, 0), kEra + 123010304.0);
  EXPECT_EQ(Decode(1, 0), kEra + 1.0);
  EXPECT_EQ(Decode(0x7FFFFFFF, 0), kEra + 2147483647.0);
  EXPECT_EQ(Decode(0, 0x80000000), kEra + 0.5) << "a fraction alone is a time, in era 1";

  // A round trip through both directions keeps the date after 2036.
  const TDateTime t2040 = EncodeDate(2040, 1, 1) + EncodeTime(12, 34, 56, 500);
  EXPECT_NEAR(NtpSecondsToDateTime(DecodeNtpTimestamp(EncodeNtpTimestamp(t2040))), t2040, 1e-9);
  const TDateTime t2020 = EncodeDate(2020, 2, 29) + EncodeTime(23, 59, 59, 999);
  EXPECT_NEAR(NtpSecondsToDateTime(DecodeNtpTimestamp(EncodeNtpTimestamp(t2020))), t2020, 1e-9);
}

TEST(SntpRequestTest, OnlyTheClientByteAndTheTransmitTimeAreSet) {
  TSntpMessage m;
  m.fill(0xEE);
  const TDateTime now = EncodeDate(2000, 1, 1) + EncodeTime(12, 0, 0, 500);
  BuildSntpRequest(m, now);
  ASSERT_EQ(m.size(), 48u);
  EXPECT_EQ(m[0], 0x1B);
  for (size_t i = 1; i < 40; ++i) EXPECT_EQ(m[i], 0) << "byte " << i;
  EXPECT_EQ(Hex(&m[40], 8), "BC 18 6A C0 80 00 00 00");

  // Without a time the system clock (UTC) is read; tests run on the fake clock.
  testhooks::SetFakeUtcMs(946728000000LL);  // 2000-01-01 12:00:00 UTC
  BuildSntpRequest(m);
  double sent = DecodeNtpTimestamp(&m[40]);
  EXPECT_GE(sent, 3155716800.0);
  EXPECT_LT(sent, 3155716800.0 + 30.0);
}

struct AnswerRow {
  const char *what;
  uint8_t first;
  uint8_t stratum;
  uint32_t t3Seconds, t3Fraction;
  bool usable;
};

TEST(SntpAnswerTest, OnlyServerModeWithATransmitTimeIsUsable) {
  const uint32_t base = 3900000000u;  // 2023-08-01, top bit set
  const AnswerRow rows[] = {
      {"server, version 3", 0x1C, 2, base + 0, 0x66666666, true},
      {"server, version 4, alarm", 0xE4, 0, base, 0x66666666, true},
      {"broadcast", 0x1D, 1, base, 0x66666666, false},
      {"client echo", 0x1B, 1, base, 0x66666666, false},
      {"symmetric active", 0x19, 1, base, 0x66666666, false},
      {"server without transmit time", 0x1C, 3, 0, 0, false},
      {"server, fraction only", 0x1C, 3, 0, 0x80000000, true},
  };
  for (const AnswerRow &r : rows) {
    TSntpMessage m{};
    m[0] = r.first;
    m[1] = r.stratum;
    PutStamp(m, 24, base, 0);
    PutStamp(m, 32, base, 0x4CCCCCCC);
    PutStamp(m, 40, r.t3Seconds, r.t3Fraction);
    const double t3 = Decode(r.t3Seconds, r.t3Fraction);
    TSntpAnswer a = EvaluateSntpAnswer(m, NtpSecondsToDateTime(base + 0.5));
    EXPECT_EQ(a.Usable, r.usable) << r.what;
    EXPECT_EQ(a.Stratum, r.stratum) << r.what;
    EXPECT_DOUBLE_EQ(a.TimeStamp, t3 == 0.0 ? 2.0 : t3 / 86400.0 + 2.0) << r.what;
    if (!r.usable) {
      EXPECT_EQ(a.LocalOffset, 0.0) << r.what;
      EXPECT_EQ(a.RoundTripDelay, 0.0) << r.what;
    }
  }

  TSntpMessage empty{};
  TSntpAnswer a = EvaluateSntpAnswer(empty, 40000.0);
  EXPECT_FALSE(a.Usable);
  EXPECT_EQ(a.TimeStamp, 2.0);
  EXPECT_EQ(a.Stratum, 0);
}

TEST(SntpAnswerTest, OffsetAndDelayFromTheFourTimes) {
  // T1 = base, T2 = base + 0.3, T3 = base + 0.4, T4 = base + 0.5: the server is 0.1 s
  // ahead, and of the 0.5 s that passed here it held the request for 0.1 s.
  const uint32_t base = 3900000000u;
  TSntpMessage m{};
  m[0] = 0x24;
  PutStamp(m, 24, base, 0);
  PutStamp(m, 32, base, 0x4CCCCCCC);
  PutStamp(m, 40, base, 0x66666666);
  TSntpAnswer a = EvaluateSntpAnswer(m, (base + 0.5) / 86400.0 + 2.0);
  ASSERT_TRUE(a.Usable);
  EXPECT_NEAR(a.LocalOffset, 100.0, 0.01);
  EXPECT_NEAR(a.RoundTripDelay, 400.0, 0.01);
  EXPECT_NEAR(a.CorrectedClock, (base + 0.6) / 86400.0 + 2.0, 1e-9);
  EXPECT_NEAR(a.TimeStamp, (base + 0.4) / 86400.0 + 2.0, 1e-9);

  // The same exchange after 2036: seconds words with the top bit clear.
  const uint32_t late = 0x0754FD00;  // 2040-01-01 00:00:00
  PutStamp(m, 24, late, 0);
  PutStamp(m, 32, late + 2, 0);
  PutStamp(m, 40, late + 2, 0x80000000);
  a = EvaluateSntpAnswer(m, EncodeDate(2040, 1, 1) + EncodeTime(0, 0, 1, 0));
  ASSERT_TRUE(a.Usable);
  EXPECT_NEAR(a.LocalOffset, 1750.0, 0.01);
  EXPECT_NEAR(a.RoundTripDelay, 500.0, 0.01);
  int y, mo, d;
  DecodeDate(a.TimeStamp, y, mo, d);
  EXPECT_EQ(y, 2040);
  EXPECT_NEAR(a.CorrectedClock, EncodeDate(2040, 1, 1) + EncodeTime(0, 0, 2, 750), 1e-9);
}

TEST(SntpAnswerTest, WithoutATimeTheClockIsReadForT4) {
  // The fake clock stands at 2000-01-01 12:00:00 UTC; the server says 12:00:10.
  testhooks::SetFakeUtcMs(946728000000LL);
  TSntpMessage m{};
  m[0] = 0x1C;
  PutStamp(m, 24, 0xBC186AC0, 0);
  PutStamp(m, 32, 0xBC186AC0 + 10, 0);
  PutStamp(m, 40, 0xBC186AC0 + 10, 0);
  TSntpAnswer a = EvaluateSntpAnswer(m);
  ASSERT_TRUE(a.Usable);
  // The fake clock runs on while the test runs, so only bounds can be checked.
  EXPECT_LE(a.LocalOffset, 10000.0);
  EXPECT_GT(a.LocalOffset, 10000.0 - 15000.0);
  EXPECT_GE(a.RoundTripDelay, 0.0);
}

}  // namespace
