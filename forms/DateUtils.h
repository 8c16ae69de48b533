// Date-time values: a double counting days since 1899-12-30 00:00, the fraction being
// the time of day. Before that day the whole part is the (negative) day and the
// fraction's magnitude the time, so -1.25 is 1899-12-29 06:00.
#pragma once

#include <cstdint>

#include "forms/Exception.h"
#include "platform/winapi.h"

using TDateTime = double;

class EConvertError : public Exception {
 public:
  using Exception::Exception;
};

constexpr double SecsPerDay = 86400.0;
constexpr double MSecsPerDay = 86400000.0;
// The days 0001-01-01 and 9999-12-31: the calendar routines accept these and the days between.
constexpr double MinDateTime = -693593.0;
constexpr double MaxDateTime = 2958465.0;

bool IsLeapYear(int Year);
int DaysInMonth(int Year, int Month);

// Year 1..9999, a real month and day; false (or EConvertError) otherwise.
bool TryEncodeDate(int Year, int Month, int Day, TDateTime &Date);
TDateTime EncodeDate(int Year, int Month, int Day);
// Hour 0..23, Min and Sec 0..59, MSec 0..999.
bool TryEncodeTime(int Hour, int Min, int Sec, int MSec, TDateTime &Time);
TDateTime EncodeTime(int Hour, int Min, int Sec, int MSec);

struct TDateTimeParts {
  int Year, Month, Day, Hour, Minute, Second, MSec;
  int DayOfWeek;  // 0 = Sunday, as SYSTEMTIME counts
};
// Splits a value rounded to the millisecond; a time that rounds up to 24:00 belongs
// to the next day. Raises EConvertError for NaN and for values outside those days.
TDateTimeParts DecodeDateTime(TDateTime Value);
void DecodeDate(TDateTime Value, int &Year, int &Month, int &Day);
void DecodeTime(TDateTime Value, int &Hour, int &Min, int &Sec, int &MSec);

// SYSTEMTIME <-> date-time value at millisecond resolution; wDayOfWeek is ignored on
// the way in and filled on the way out. An invalid SYSTEMTIME raises EConvertError.
TDateTime SystemTimeToDateTime(const SYSTEMTIME &St);
SYSTEMTIME DateTimeToSystemTime(TDateTime Value);
