// kernel32/advapi32/shell32 calls whose details the program depends on: sizes and error
// codes, time conversions, files, the environment and module binding.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>

#include "platform/winapi.h"
#include "tests/support/TestFiles.h"

namespace {

using testsupport::Civil;

unsigned long long Value(const FILETIME &ft) {
  return (static_cast<unsigned long long>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

TEST(Kernel, SystemTimeAndFileTimeConvertBothWays) {
  // 100 ns units since 1601-01-01, worked out by hand: 1970 is 134774 days on, and
  // 2000-02-29 12:34:56.789 is 11016 days and 45296.789 s after 1970.
  struct Case {
    SYSTEMTIME st;
    unsigned long long ft;
    WORD dayOfWeek;
  } cases[] = {
      {Civil(1601, 1, 1), 0ULL, 1},
      {Civil(1970, 1, 1), 116444736000000000ULL, 4},
      {Civil(2000, 2, 29, 12, 34, 56, 789), 125963012967890000ULL, 2},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.ft);
    FILETIME ft;
    ASSERT_TRUE(SystemTimeToFileTime(&c.st, &ft));
    EXPECT_EQ(Value(ft), c.ft);
    SYSTEMTIME back;
    ASSERT_TRUE(FileTimeToSystemTime(&ft, &back));
    EXPECT_EQ(back.wYear, c.st.wYear);
    EXPECT_EQ(back.wMonth, c.st.wMonth);
    EXPECT_EQ(back.wDay, c.st.wDay);
    EXPECT_EQ(back.wHour, c.st.wHour);
    EXPECT_EQ(back.wMinute, c.st.wMinute);
    EXPECT_EQ(back.wSecond, c.st.wSecond);
    EXPECT_EQ(back.wMilliseconds, c.st.wMilliseconds);
    EXPECT_EQ(back.wDayOfWeek, c.dayOfWeek);
  }
  // Dates that do not exist are refused. (29 February of a common year is refused by
  // Windows and the host, but Wine lets it through, so it is not pinned here.)
  for (SYSTEMTIME bad : {Civil(2024, 13, 1), Civil(2024, 4, 31), Civil(2024, 0, 1), Civil(2024, 1, 0),
                         Civil(2024, 1, 1, 24), Civil(2024, 1, 1, 0, 60), Civil(2024, 1, 1, 0, 0, 0, 1000)}) {
    FILETIME ft;
    EXPECT_FALSE(SystemTimeToFileTime(&bad, &ft)) << bad.wYear << "-" << bad.wMonth << "-" << bad.wDay;
  }
  SYSTEMTIME leap = Civil(2024, 2, 29);
  FILETIME ft;
  EXPECT_TRUE(SystemTimeToFileTime(&leap, &ft));
}

TEST(Kernel, GetVersionExAWantsAKnownRecordSize) {
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof info;
  ASSERT_EQ(sizeof info, 148u);
  ASSERT_TRUE(GetVersionExA(&info));
  EXPECT_EQ(info.dwPlatformId, static_cast<DWORD>(VER_PLATFORM_WIN32_NT));
  EXPECT_GE(info.dwMajorVersion, 6u);  // "Vista and later" paths apply

  // The 156-byte extended record is accepted as well.
  unsigned char ex[156] = {};
  DWORD exSize = sizeof ex;
  memcpy(ex, &exSize, sizeof exSize);
  EXPECT_TRUE(GetVersionExA(reinterpret_cast<LPOSVERSIONINFOA>(ex)));

  for (DWORD size : {0u, 147u, 149u, 200u}) {
    SCOPED_TRACE(size);
    OSVERSIONINFOA wrong{};
    wrong.dwOSVersionInfoSize = size;
    SetLastError(0);
    EXPECT_FALSE(GetVersionExA(&wrong));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  }

  testhooks::SetReportedVersion(5, 1, VER_PLATFORM_WIN32_NT);
  ASSERT_TRUE(GetVersionExA(&info));
  EXPECT_EQ(info.dwMajorVersion, 5u);
  EXPECT_EQ(info.dwMinorVersion, 1u);
  testhooks::ResetReportedVersion();
  ASSERT_TRUE(GetVersionExA(&info));
  EXPECT_GE(info.dwMajorVersion, 6u);
}

TEST(Kernel, GetUserNameACountsTheTerminatingNul) {
  char buffer[256];
  DWORD size = 0;
  SetLastError(0);
  EXPECT_FALSE(GetUserNameA(buffer, &size));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  DWORD needed = size;
  ASSERT_GE(needed, 2u);
  ASSERT_LE(needed, sizeof buffer);

  size = needed - 1;  // one short: no room for the NUL
  EXPECT_FALSE(GetUserNameA(buffer, &size));
  EXPECT_EQ(size, needed);

  size = needed;
  ASSERT_TRUE(GetUserNameA(buffer, &size));
  EXPECT_EQ(size, needed);
  EXPECT_EQ(strlen(buffer) + 1, needed);
}

TEST(Kernel, FormatMessageKnowsCommonCodesOnly) {
  char text[512];
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           ERROR_FILE_NOT_FOUND, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), text, sizeof text,
                           nullptr);
  ASSERT_GT(n, 2u);
  EXPECT_EQ(strlen(text), n);
  EXPECT_EQ(std::string(text + n - 2), "\r\n");

  char tiny[4];
  SetLastError(0);
  EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           ERROR_FILE_NOT_FOUND, 0, tiny, sizeof tiny, nullptr),
            0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));

  SetLastError(0);
  EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, 0x2A5F1, 0,
                           text, sizeof text, nullptr),
            0u);
  EXPECT_EQ(GetLastError(), 317u);  // ERROR_MR_MID_NOT_FOUND

  char *allocated = nullptr;
  n = FormatMessageA(
      FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr,
      ERROR_ACCESS_DENIED, 0, reinterpret_cast<LPSTR>(&allocated), 0, nullptr);
  ASSERT_NE(allocated, nullptr);
  EXPECT_EQ(strlen(allocated), n);
  LocalFree(allocated);
}

// Files and folders, under a folder of the working directory (the build tree).
class Files : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = "horolan-files-" + std::to_string(GetCurrentProcessId());
    ASSERT_TRUE(CreateDirectoryA(dir_.c_str(), nullptr));
  }
  void TearDown() override {
    for (const char *f : {"/a", "/b", "/sub/c"}) DeleteFileA((dir_ + f).c_str());
    RemoveFolder(dir_ + "/sub");
    RemoveFolder(dir_);
  }
  static void RemoveFolder(const std::string &path) { RemoveDirectoryA(path.c_str()); }
  void Write(const std::string &name, const char *text) {
    FILE *f = fopen((dir_ + name).c_str(), "wb");
    ASSERT_NE(f, nullptr);
    fputs(text, f);
    fclose(f);
  }
  std::string Read(const std::string &name) {
    FILE *f = fopen((dir_ + name).c_str(), "rb");
    if (!f) return "<missing>";
    char buf[64] = {};
    size_t n = fread(buf, 1, sizeof buf - 1, f);
    fclose(f);
    return std::string(buf, n);
  }
  std::string dir_;
};

TEST_F(Files, DirectoriesAndAttributes) {
  SetLastError(0);
  EXPECT_FALSE(CreateDirectoryA(dir_.c_str(), nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  SetLastError(0);
  EXPECT_FALSE(CreateDirectoryA((dir_ + "/missing/sub").c_str(), nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  ASSERT_TRUE(CreateDirectoryA((dir_ + "/sub").c_str(), nullptr));

  EXPECT_NE(GetFileAttributesA((dir_ + "/sub").c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
  Write("/a", "x");
  DWORD attrs = GetFileAttributesA((dir_ + "/a").c_str());
  EXPECT_NE(attrs, INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(attrs & FILE_ATTRIBUTE_DIRECTORY, 0u);

  struct Missing {
    const char *path;
    DWORD error;
  } missing[] = {{"/nothing", ERROR_FILE_NOT_FOUND}, {"/nodir/nothing", ERROR_PATH_NOT_FOUND}};
  for (const Missing &m : missing) {
    SCOPED_TRACE(m.path);
    SetLastError(0);
    EXPECT_EQ(GetFileAttributesA((dir_ + m.path).c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), m.error);
  }
}

TEST_F(Files, MoveReplacesOnlyWhenAskedAndDeleteRemoves) {
  Write("/a", "new");
  Write("/b", "old");
  SetLastError(0);
  EXPECT_FALSE(MoveFileExA((dir_ + "/a").c_str(), (dir_ + "/b").c_str(), 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  EXPECT_EQ(Read("/b"), "old");

  ASSERT_TRUE(MoveFileExA((dir_ + "/a").c_str(), (dir_ + "/b").c_str(),
                          MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH));
  EXPECT_EQ(Read("/b"), "new");
  EXPECT_EQ(Read("/a"), "<missing>");

  SetLastError(0);
  EXPECT_FALSE(MoveFileExA((dir_ + "/a").c_str(), (dir_ + "/c").c_str(), 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

  EXPECT_TRUE(DeleteFileA((dir_ + "/b").c_str()));
  SetLastError(0);
  EXPECT_FALSE(DeleteFileA((dir_ + "/b").c_str()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST(Kernel, ModuleFileNameAndOpenFileExist) {
  char path[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
  ASSERT_GT(n, 0u);
  ASSERT_LT(n, static_cast<DWORD>(MAX_PATH));
  EXPECT_EQ(strlen(path), n);

  char shortBuf[5];
  SetLastError(0);
  EXPECT_EQ(GetModuleFileNameA(nullptr, shortBuf, sizeof shortBuf), 5u);  // cut, and says so
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(std::string(shortBuf, 4), std::string(path, 4));

  OFSTRUCT of{};
  EXPECT_NE(OpenFile(path, &of, OF_EXIST), HFILE_ERROR);
  EXPECT_GT(strlen(of.szPathName), 0u);
  EXPECT_EQ(OpenFile("horolan-no-such-file.dll", &of, OF_EXIST), HFILE_ERROR);
  EXPECT_EQ(of.nErrCode, static_cast<WORD>(ERROR_FILE_NOT_FOUND));
}

TEST(Kernel, EnvironmentVariables) {
  const char *name = "HOROLAN_TEST_VARIABLE";
  ASSERT_TRUE(SetEnvironmentVariableA(name, "value"));
  char small[3];
  EXPECT_EQ(GetEnvironmentVariableA(name, small, sizeof small), 6u);  // the size it needs
  char buf[16];
  EXPECT_EQ(GetEnvironmentVariableA(name, buf, sizeof buf), 5u);
  EXPECT_STREQ(buf, "value");
  ASSERT_TRUE(SetEnvironmentVariableA(name, nullptr));
  SetLastError(0);
  EXPECT_EQ(GetEnvironmentVariableA(name, buf, sizeof buf), 0u);
  EXPECT_EQ(GetLastError(), 203u);  // ERROR_ENVVAR_NOT_FOUND
}

TEST(Kernel, AppDataFolderExists) {
  char path[MAX_PATH] = {};
  ASSERT_TRUE(SHGetSpecialFolderPathA(nullptr, path, CSIDL_APPDATA, TRUE));
  DWORD attrs = GetFileAttributesA(path);
  ASSERT_NE(attrs, INVALID_FILE_ATTRIBUTES);
  EXPECT_NE(attrs & FILE_ATTRIBUTE_DIRECTORY, 0u);
}

TEST(Kernel, CriticalSectionsAreRecursiveAndExclusive) {
  CRITICAL_SECTION cs;
  InitializeCriticalSection(&cs);
  EnterCriticalSection(&cs);
  EnterCriticalSection(&cs);  // the owner may enter again
  bool other = false;
  std::thread t([&] {
    EnterCriticalSection(&cs);
    other = true;
    LeaveCriticalSection(&cs);
  });
  Sleep(50);
  LeaveCriticalSection(&cs);
  Sleep(50);
  EXPECT_FALSE(other);  // still held once
  LeaveCriticalSection(&cs);
  t.join();
  EXPECT_TRUE(other);
  DeleteCriticalSection(&cs);
}

// Module binding: a name not there fails with Windows' codes; a module that is there
// binds by name, in any case, with or without ".dll", and is counted.
INT_PTR WINAPI AnswerFortyTwo() { return 42; }

TEST(Kernel, LoadLibraryAndGetProcAddress) {
  SetLastError(0);
  EXPECT_EQ(LoadLibraryA("horolan-no-such-module.dll"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));

  const char *module = "kernel32.dll", *function = "GetTickCount", *again = "KERNEL32";
  bool offered = testhooks::OfferModule("horolantest.dll",
                                        {{"AnswerFortyTwo", reinterpret_cast<void (*)()>(AnswerFortyTwo)}});
  if (offered) module = "horolantest.dll", function = "AnswerFortyTwo", again = "C:\\some\\dir\\HOROLANTEST";

  HMODULE h = LoadLibraryA(module);
  ASSERT_NE(h, nullptr);
  FARPROC fn = GetProcAddress(h, function);
  ASSERT_NE(fn, nullptr);
  if (offered) {
    EXPECT_EQ(fn(), 42);
  }
  SetLastError(0);
  EXPECT_EQ(GetProcAddress(h, "HorolanNoSuchFunction"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));

  HMODULE h2 = LoadLibraryA(again);
  EXPECT_EQ(h2, h);
  EXPECT_TRUE(FreeLibrary(h2));
  EXPECT_EQ(GetProcAddress(h, function), fn);  // one load is still held
  EXPECT_TRUE(FreeLibrary(h));
  if (offered) {
    // Fully released, the handle no longer binds anything.
    EXPECT_EQ(GetProcAddress(h, function), nullptr);
    OFSTRUCT of{};
    EXPECT_NE(OpenFile("horolantest.dll", &of, OF_EXIST), HFILE_ERROR);
    EXPECT_NE(std::string(of.szPathName).find("horolantest.dll"), std::string::npos);
    EXPECT_TRUE(testhooks::WithdrawModule("horolantest.dll"));
    EXPECT_EQ(LoadLibraryA("horolantest.dll"), nullptr);
  }
}

}  // namespace
