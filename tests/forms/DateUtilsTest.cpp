#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "forms/DateUtils.h"

namespace {

TEST(DateUtilsTest, EncodeDateCountsDaysFrom18991230) {
  struct Row {
    int y, m, d;
    double expected;
  };
  const Row rows[] = {
      {1899, 12, 30, 0},   {1899, 12, 31, 1},   {1900, 1, 1, 2},         {1900, 3, 1, 61},
      {1970, 1, 1, 25569}, {2000, 1, 1, 36526}, {2000, 2, 29, 36585},    {2036, 2, 7, 49712},
      {1899, 12, 29, -1},  {1, 1, 1, -693593},  {9999, 12, 31, 2958465},
  };
  for (const Row &r : rows)
    EXPECT_EQ(EncodeDate(r.y, r.m, r.d), r.expected) << r.y << "-" << r.m << "-" << r.d;

  const int bad[][3] = {{1900, 2, 29}, {2100, 2, 29}, {2023, 2, 29}, {2024, 13, 1}, {2024, 0, 1},
                        {2024, 4, 31}, {2024, 1, 0},  {0, 1, 1},     {10000, 1, 1}};
  for (auto &b : bad) {
    TDateTime d = 123;
    EXPECT_FALSE(TryEncodeDate(b[0], b[1], b[2], d)) << b[0] << "-" << b[1] << "-" << b[2];
    EXPECT_EQ(d, 123) << "a refused date leaves the output alone";
    EXPECT_THROW(EncodeDate(b[0], b[1], b[2]), EConvertError);
  }
  TDateTime leap;
  EXPECT_TRUE(TryEncodeDate(2024, 2, 29, leap));
}

TEST(DateUtilsTest, EncodeTimeIsTheFractionOfTheDay) {
  EXPECT_EQ(EncodeTime(12, 0, 0, 0), 0.5);
  EXPECT_EQ(EncodeTime(6, 0, 0, 0), 0.25);
  EXPECT_DOUBLE_EQ(EncodeTime(23, 59, 59, 999), 86399999.0 / 86400000.0);
  EXPECT_DOUBLE_EQ(EncodeTime(0, 0, 1, 0), 1.0 / 86400.0);
  EXPECT_THROW(EncodeTime(24, 0, 0, 0), EConvertError);
  EXPECT_THROW(EncodeTime(0, 60, 0, 0), EConvertError);
  EXPECT_THROW(EncodeTime(0, 0, 60, 0), EConvertError);
  EXPECT_THROW(EncodeTime(0, 0, 0, 1000), EConvertError);
  EXPECT_THROW(EncodeTime(-1, 0, 0, 0), EConvertError);
}

TEST(DateUtilsTest, DecodeRoundsToTheMillisecondAndCarriesIntoTheNextDay) {
  struct Row {
    double value;
    int y, mo, d, h, mi, s, ms, dow;
  };
  const Row rows[] = {
      {36526.5, 2000, 1, 1, 12, 0, 0, 0, 6},
      {0.0, 1899, 12, 30, 0, 0, 0, 0, 6},
      {2.0, 1900, 1, 1, 0, 0, 0, 0, 1},
      {-1.25, 1899, 12, 29, 6, 0, 0, 0, 5},
      {36526 + 86399999.6 / 86400000.0, 2000, 1, 2, 0, 0, 0, 0, 0},
      {36526 + 1000.4 / 86400000.0, 2000, 1, 1, 0, 0, 1, 0, 6},
      {36526 + 45296789.0 / 86400000.0, 2000, 1, 1, 12, 34, 56, 789, 6},
      {49712 + 23296.0 / 86400.0, 2036, 2, 7, 6, 28, 16, 0, 4},
      {2958465.5, 9999, 12, 31, 12, 0, 0, 0, 5},
  };
  for (const Row &r : rows) {
    TDateTimeParts p = DecodeDateTime(r.value);
    EXPECT_EQ(p.Year, r.y) << r.value;
    EXPECT_EQ(p.Month, r.mo) << r.value;
    EXPECT_EQ(p.Day, r.d) << r.value;
    EXPECT_EQ(p.Hour, r.h) << r.value;
    EXPECT_EQ(p.Minute, r.mi) << r.value;
    EXPECT_EQ(p.Second, r.s) << r.value;
    EXPECT_EQ(p.MSec, r.ms) << r.value;
    EXPECT_EQ(p.DayOfWeek, r.dow) << r.value;
  }
  for (double bad : {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                     2958466.0, 2958465.999999996, -693594.0, 1e300})
    EXPECT_THROW(DecodeDateTime(bad), EConvertError) << bad;
}

TEST(DateUtilsTest, SystemTimeRoundTrip) {
  SYSTEMTIME st{};
  st.wYear = 2036;
  st.wMonth = 2;
  st.wDay = 7;
  st.wHour = 6;
  st.wMinute = 28;
  st.wSecond = 16;
  st.wMilliseconds = 250;
  st.wDayOfWeek = 0;  // ignored on the way in
  TDateTime v = SystemTimeToDateTime(st);
  EXPECT_DOUBLE_EQ(v, 49712 + 23296.25 / 86400.0);
  SYSTEMTIME back = DateTimeToSystemTime(v);
  EXPECT_EQ(back.wYear, 2036);
  EXPECT_EQ(back.wMonth, 2);
  EXPECT_EQ(back.wDay, 7);
  EXPECT_EQ(back.wDayOfWeek, 4);
  EXPECT_EQ(back.wHour, 6);
  EXPECT_EQ(back.wMinute, 28);
  EXPECT_EQ(back.wSecond, 16);
  EXPECT_EQ(back.wMilliseconds, 250);

  st.wMonth = 0;
  EXPECT_THROW(SystemTimeToDateTime(st), EConvertError);
}

}  // namespace
