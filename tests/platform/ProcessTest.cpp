// What needs a second process: named mutexes seen across processes, the priority class
// (which a child may lower for good), and local time under another time zone. The test
// executable starts itself with only the child test enabled and the role in HOROLAN_CHILD.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

#ifndef _WIN32
#include <grp.h>
#include <sys/resource.h>
#include <unistd.h>
#endif

#include "platform/winapi.h"
#include "tests/support/TestFiles.h"

namespace {

using testsupport::Civil;

const char kRole[] = "HOROLAN_CHILD";

std::string Role() {
  char buf[256];
  DWORD n = GetEnvironmentVariableA(kRole, buf, sizeof buf);
  return n > 0 && n < sizeof buf ? std::string(buf, n) : std::string();
}

// Runs the child test in a new process with the given role (and one extra variable);
// returns its exit code, or 1000+ when it could not be run to the end.
DWORD RunChild(const std::string &role, const char *extraName = nullptr, const char *extraValue = nullptr) {
  char exe[MAX_PATH];
  if (!GetModuleFileNameA(nullptr, exe, sizeof exe)) return 1000;
  std::string cmd = std::string("\"") + exe + "\" --gtest_filter=SecondProcess.DISABLED_Child" +
                    " --gtest_also_run_disabled_tests --gtest_color=no";
  SetEnvironmentVariableA(kRole, role.c_str());
  if (extraName) SetEnvironmentVariableA(extraName, extraValue);
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  BOOL started = CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi);
  SetEnvironmentVariableA(kRole, nullptr);
  if (extraName) SetEnvironmentVariableA(extraName, nullptr);
  if (!started) return 1001;
  DWORD code = 1002;
  if (WaitForSingleObject(pi.hProcess, 120000) == WAIT_OBJECT_0) GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
  return code;
}

std::string MutexName() { return "HorolanTestMutex." + std::to_string(GetCurrentProcessId()); }

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
long long DaysSince1970(int y, int m, int d) {
  long long days = 0;
  for (int year = 1970; year < y; ++year)
    days += (year % 4 == 0 && year % 100 != 0) || year % 400 == 0 ? 366 : 365;
  static const int kBefore[] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
  bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  return days + kBefore[m - 1] + (leap && m > 2 ? 1 : 0) + d - 1;
}

// SetLocalTime asks for the UTC moment whose local time, by the host's zone, is the one
// given; the C library's localtime is the independent judge. With the zone's offset
// known (expectedOffsetMinutes), the UTC moment is checked against the hand-made sum too.
void CheckLocalTimeConversion(const char *expectedOffsetMinutes) {
  ASSERT_TRUE(testhooks::FakeClockInstalled());
  // Winter, summer and winter again: where the zone has daylight saving time the offset
  // of one conversion is wrong for the next.
  for (SYSTEMTIME local :
       {Civil(2024, 1, 15, 3, 4, 5, 600), Civil(2024, 7, 15, 23, 59, 58, 7), Civil(2024, 12, 24, 12, 0, 0, 0)}) {
    SCOPED_TRACE(local.wMonth);
    testhooks::ClearClockSets();
    ASSERT_TRUE(SetLocalTime(&local));
    ASSERT_EQ(testhooks::ClockSets().size(), 1u);
    EXPECT_TRUE(testhooks::ClockSets()[0].local);
    long long utcMs = testhooks::ClockSets()[0].unixMs;
    EXPECT_EQ(utcMs % 1000, local.wMilliseconds);

    time_t secs = static_cast<time_t>(utcMs / 1000);
    std::tm *lt = std::localtime(&secs);
    ASSERT_NE(lt, nullptr);
    EXPECT_EQ(lt->tm_year + 1900, local.wYear);
    EXPECT_EQ(lt->tm_mon + 1, local.wMonth);
    EXPECT_EQ(lt->tm_mday, local.wDay);
    EXPECT_EQ(lt->tm_hour, local.wHour);
    EXPECT_EQ(lt->tm_min, local.wMinute);
    EXPECT_EQ(lt->tm_sec, local.wSecond);

    if (expectedOffsetMinutes) {
      long long asUtc =
          ((DaysSince1970(local.wYear, local.wMonth, local.wDay) * 24 + local.wHour) * 60 + local.wMinute) *
              60000LL +
          local.wSecond * 1000LL + local.wMilliseconds;
      EXPECT_EQ(utcMs, asUtc - atoll(expectedOffsetMinutes) * 60000LL);
    }

    // Reading back gives the same local time (the fake clock has run on a little).
    SYSTEMTIME now;
    GetLocalTime(&now);
    EXPECT_EQ(now.wYear, local.wYear);
    EXPECT_EQ(now.wMonth, local.wMonth);
    EXPECT_EQ(now.wDay, local.wDay);
    EXPECT_EQ(now.wHour, local.wHour);
    EXPECT_EQ(now.wMinute, local.wMinute);
  }
}

TEST(SecondProcess, DISABLED_Child) {
  std::string role = Role();
  ASSERT_FALSE(role.empty()) << "run only as a child";
  size_t colon = role.find(':');
  std::string what = role.substr(0, colon), arg = colon == std::string::npos ? "" : role.substr(colon + 1);
  if (what == "mutex-exists") {
    // Created first: the answer must come from the other process, not from a handle here.
    HANDLE created = CreateMutexA(nullptr, FALSE, arg.c_str());
    EXPECT_NE(created, nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    CloseHandle(created);
    HANDLE opened = OpenMutexA(SYNCHRONIZE, FALSE, arg.c_str());
    EXPECT_NE(opened, nullptr);
    CloseHandle(opened);
  } else if (what == "mutex-gone") {
    SetLastError(0);
    EXPECT_EQ(OpenMutexA(SYNCHRONIZE, FALSE, arg.c_str()), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    HANDLE created = CreateMutexA(nullptr, FALSE, arg.c_str());
    EXPECT_NE(created, nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    CloseHandle(created);
  } else if (what == "priority") {
#ifndef _WIN32
    // As root, the same as a user or a service without the right to raise its priority.
    if (arg == "unprivileged" && geteuid() == 0) {
      ASSERT_TRUE(setgroups(0, nullptr) == 0 && setgid(65534) == 0 && setuid(65534) == 0);
    }
#endif
    HANDLE self = GetCurrentProcess();
    EXPECT_EQ(GetPriorityClass(self), static_cast<DWORD>(NORMAL_PRIORITY_CLASS));
    SetLastError(0);
    if (SetPriorityClass(self, IDLE_PRIORITY_CLASS)) {
      EXPECT_EQ(GetPriorityClass(self), static_cast<DWORD>(IDLE_PRIORITY_CLASS));
    } else {
      // A process that could not come back up is not let down.
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
      EXPECT_EQ(GetPriorityClass(self), static_cast<DWORD>(NORMAL_PRIORITY_CLASS));
    }
    // Either way it is back for the next query, as on Windows.
    EXPECT_TRUE(SetPriorityClass(self, NORMAL_PRIORITY_CLASS));
    EXPECT_EQ(GetPriorityClass(self), static_cast<DWORD>(NORMAL_PRIORITY_CLASS));
#ifndef _WIN32
    EXPECT_EQ(getpriority(PRIO_PROCESS, 0), 0);
#endif
    SetLastError(0);
    EXPECT_FALSE(SetPriorityClass(self, 0x12345));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  } else if (what == "localtime") {
    CheckLocalTimeConversion(arg.empty() ? nullptr : arg.c_str());
  } else {
    FAIL() << "unknown role " << role << " (ChildExitCodesArePassedOn asks for this on purpose)";
  }
}

TEST(SecondProcess, NamedMutexesAreSeenByOtherProcesses) {
  std::string name = MutexName();
  SetLastError(0);
  EXPECT_EQ(OpenMutexA(SYNCHRONIZE, FALSE, name.c_str()), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

  HANDLE mine = CreateMutexA(nullptr, FALSE, name.c_str());
  ASSERT_NE(mine, nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
  HANDLE second = CreateMutexA(nullptr, FALSE, name.c_str());
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  EXPECT_TRUE(CloseHandle(second));

  EXPECT_EQ(RunChild("mutex-exists:" + name), 0u);
  EXPECT_TRUE(CloseHandle(mine));
  // With the last handle closed the name is gone, here and for everyone else.
  SetLastError(0);
  EXPECT_EQ(OpenMutexA(SYNCHRONIZE, FALSE, name.c_str()), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(RunChild("mutex-gone:" + name), 0u);
}

TEST(SecondProcess, MutexOwnershipIsCountedPerThread) {
  HANDLE m = CreateMutexA(nullptr, TRUE, nullptr);  // unnamed, owned from the start
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(WaitForSingleObject(m, 0), static_cast<DWORD>(WAIT_OBJECT_0));  // recursive
  EXPECT_TRUE(ReleaseMutex(m));
  EXPECT_TRUE(ReleaseMutex(m));
  SetLastError(0);
  EXPECT_FALSE(ReleaseMutex(m));    // no longer owned
  EXPECT_EQ(GetLastError(), 288u);  // ERROR_NOT_OWNER
  EXPECT_TRUE(CloseHandle(m));
  SetLastError(0);
  EXPECT_FALSE(CloseHandle(m));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(SecondProcess, PriorityClassGoesDownOnlyWhereItCanComeBack) {
  EXPECT_EQ(RunChild("priority"), 0u);
  EXPECT_EQ(RunChild("priority:unprivileged"), 0u);
}

TEST(SecondProcess, SetLocalTimeConvertsByTheHostZone) {
  CheckLocalTimeConversion(nullptr);
  // A Windows process takes its zone from the system, not from TZ; on the host a child
  // is given a zone of its own. Japan has no daylight saving time: nine hours ahead in
  // winter and summer alike.
  if (!testhooks::HostLayer()) GTEST_SKIP() << "the zone cannot be chosen per process here";
  EXPECT_EQ(RunChild("localtime:540", "TZ", "JST-9"), 0u);
  EXPECT_EQ(RunChild("localtime", "TZ", "CET-1CEST,M3.5.0,M10.5.0/3"), 0u);
}

TEST(SecondProcess, ChildExitCodesArePassedOn) {
  // A child that fails its test ends with a non-zero code: the checks above can fail.
  DWORD code = RunChild("no-such-role");
  EXPECT_NE(code, 0u);
  EXPECT_LT(code, 1000u);
}

}  // namespace
