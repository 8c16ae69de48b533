// Calendar arithmetic for date-time values (proleptic Gregorian calendar).
#include "forms/DateUtils.h"

#include <cmath>

namespace {

// Days between 1899-12-30 and 1970-01-01.
constexpr int64_t kUnixEpochDay = 25569;

// Days since 1970-01-01 of a civil date (the usual era-based formula).
int64_t DaysFromCivil(int64_t y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int &year, int &month, int &day) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(yoe + era * 400 + (month <= 2));
}

}  // namespace

bool IsLeapYear(int Year) { return Year % 4 == 0 && (Year % 100 != 0 || Year % 400 == 0); }

int DaysInMonth(int Year, int Month) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (Month < 1 || Month > 12) return 0;
  return Month == 2 && IsLeapYear(Year) ? 29 : kDays[Month - 1];
}

bool TryEncodeDate(int Year, int Month, int Day, TDateTime &Date) {
  if (Year < 1 || Year > 9999 || Month < 1 || Month > 12 || Day < 1 || Day > DaysInMonth(Year, Month))
    return false;
  Date = static_cast<double>(DaysFromCivil(Year, Month, Day) + kUnixEpochDay);
  return true;
}

TDateTime EncodeDate(int Year, int Month, int Day) {
  TDateTime d;
  if (!TryEncodeDate(Year, Month, Day, d)) throw EConvertError("Invalid argument to date encode");
  return d;
}

bool TryEncodeTime(int Hour, int Min, int Sec, int MSec, TDateTime &Time) {
  if (Hour < 0 || Hour > 23 || Min < 0 || Min > 59 || Sec < 0 || Sec > 59 || MSec < 0 || MSec > 999)
    return false;
  Time = ((Hour * 60 + Min) * 60 + Sec) * 1000.0 + MSec;
  Time /= MSecsPerDay;
  return true;
}

TDateTime EncodeTime(int Hour, int Min, int Sec, int MSec) {
  TDateTime t;
  if (!TryEncodeTime(Hour, Min, Sec, MSec, t)) throw EConvertError("Invalid argument to time encode");
  return t;
}

TDateTimeParts DecodeDateTime(TDateTime Value) {
  if (!(Value > MinDateTime - 1.0 && Value < MaxDateTime + 1.0))
    throw EConvertError("Invalid date-time value");
  double whole = std::trunc(Value);
  int64_t day = static_cast<int64_t>(whole);
  int64_t ms = std::llround(std::fabs(Value - whole) * MSecsPerDay);
  if (ms >= 86400000) {
    ms -= 86400000;
    ++day;
  }
  TDateTimeParts p{};
  CivilFromDays(day - kUnixEpochDay, p.Year, p.Month, p.Day);
  if (p.Year > 9999) throw EConvertError("Invalid date-time value");
  p.Hour = static_cast<int>(ms / 3600000);
  p.Minute = static_cast<int>(ms / 60000 % 60);
  p.Second = static_cast<int>(ms / 1000 % 60);
  p.MSec = static_cast<int>(ms % 1000);
  // Day 0 (1899-12-30) was a Saturday.
  p.DayOfWeek = static_cast<int>(((day + 6) % 7 + 7) % 7);
  return p;
}

void DecodeDate(TDateTime Value, int &Year, int &Month, int &Day) {
  TDateTimeParts p = DecodeDateTime(Value);
  Year = p.Year;
  Month = p.Month;
  Day = p.Day;
}

void DecodeTime(TDateTime Value, int &Hour, int &Min, int &Sec, int &MSec) {
  TDateTimeParts p = DecodeDateTime(Value);
  Hour = p.Hour;
  Min = p.Minute;
  Sec = p.Second;
  MSec = p.MSec;
}

TDateTime SystemTimeToDateTime(const SYSTEMTIME &St) {
  TDateTime date = EncodeDate(St.wYear, St.wMonth, St.wDay);
  TDateTime time = EncodeTime(St.wHour, St.wMinute, St.wSecond, St.wMilliseconds);
  // Before day 0 the time counts away from zero, as the whole part does.
  return date < 0 ? date - time : date + time;
}

SYSTEMTIME DateTimeToSystemTime(TDateTime Value) {
  TDateTimeParts p = DecodeDateTime(Value);
  SYSTEMTIME st{};
  st.wYear = static_cast<WORD>(p.Year);
  st.wMonth = static_cast<WORD>(p.Month);
  st.wDayOfWeek = static_cast<WORD>(p.DayOfWeek);
  st.wDay = static_cast<WORD>(p.Day);
  st.wHour = static_cast<WORD>(p.Hour);
  st.wMinute = static_cast<WORD>(p.Minute);
  st.wSecond = static_cast<WORD>(p.Second);
  st.wMilliseconds = static_cast<WORD>(p.MSec);
  return st;
}
