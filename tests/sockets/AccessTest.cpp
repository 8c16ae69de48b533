// The Winsock access object against a fake loader (which libraries exist, what
// WSAStartup answers, how often a function is looked up) and against the real
// library.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "sockets/NsConst.h"
#include "sockets/NsSockAccess.h"

namespace {

HMODULE const Ws2Module = reinterpret_cast<HMODULE>(static_cast<INT_PTR>(0x2202));
HMODULE const Wsock32Module = reinterpret_cast<HMODULE>(static_cast<INT_PTR>(0x0101));

// What the fake system offers and what it was asked.
struct TFakeSystem {
  bool HasWs2 = true;
  bool HasWsock32 = true;
  bool Ws2LoadFails = false;
  int StartupResult = 0;
  std::vector<std::string> Opened;  // OpenFile and LoadLibraryA, in order
  std::vector<WORD> StartupVersions;
  int Cleanups = 0;
  std::vector<HMODULE> Freed;
  std::map<std::string, int> Lookups;
};
TFakeSystem Fake;

int WSAAPI FakeStartup(WORD version, LPWSADATA data) {
  Fake.StartupVersions.push_back(version);
  if (Fake.StartupResult != 0) return Fake.StartupResult;
  std::memset(data, 0, sizeof *data);
  data->wVersion = version;
  std::strcpy(data->szDescription, "fake winsock");
  std::strcpy(data->szSystemStatus, "running");
  return 0;
}
int WSAAPI FakeCleanup() {
  ++Fake.Cleanups;
  return 0;
}
u_short WSAAPI FakeHtons(u_short v) { return static_cast<u_short>((v >> 8) | (v << 8)); }

HFILE WINAPI FakeOpenFile(LPCSTR name, LPOFSTRUCT, UINT style) {
  Fake.Opened.push_back(std::string("open ") + name);
  EXPECT_EQ(style, static_cast<UINT>(OF_EXIST));
  bool exists = (std::strcmp(name, "ws2_32.dll") == 0 && Fake.HasWs2) ||
                (std::strcmp(name, "wsock32.dll") == 0 && Fake.HasWsock32);
  return exists ? 1 : HFILE_ERROR;
}
HMODULE WINAPI FakeLoadLibrary(LPCSTR name) {
  Fake.Opened.push_back(std::string("load ") + name);
  if (std::strcmp(name, "ws2_32.dll") == 0) return Fake.Ws2LoadFails ? nullptr : Ws2Module;
  if (std::strcmp(name, "wsock32.dll") == 0) return Wsock32Module;
  return nullptr;
}
FARPROC WINAPI FakeGetProcAddress(HMODULE, LPCSTR name) {
  ++Fake.Lookups[name];
  decltype(&::WSAStartup) startup = &FakeStartup;
  decltype(&::WSACleanup) cleanup = &FakeCleanup;
  decltype(&::htons) htons = &FakeHtons;
  std::string n = name;
  if (n == "WSAStartup") return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(startup));
  if (n == "WSACleanup") return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(cleanup));
  if (n == "htons") return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(htons));
  SetLastError(127);  // ERROR_PROC_NOT_FOUND
  return nullptr;
}
BOOL WINAPI FakeFreeLibrary(HMODULE module) {
  Fake.Freed.push_back(module);
  return TRUE;
}

const TNsLibraryLoader FakeLoader = {&FakeOpenFile, &FakeLoadLibrary, &FakeGetProcAddress, &FakeFreeLibrary};

class AccessTest : public ::testing::Test {
 protected:
  void SetUp() override { Fake = TFakeSystem(); }
};

TEST_F(AccessTest, PrefersWs2AndNeverTouchesWsock32) {
  {
    TNsWinSockAccess access(FakeLoader);
    EXPECT_EQ(access.LibraryHandle(), Ws2Module);
    EXPECT_EQ(Fake.Opened, (std::vector<std::string>{"open ws2_32.dll", "load ws2_32.dll"}));
    EXPECT_EQ(Fake.StartupVersions, std::vector<WORD>{0x0202});
    EXPECT_EQ(access.StartupInfo().wVersion, 0x0202);
    EXPECT_STREQ(access.StartupInfo().szDescription, "fake winsock");
    EXPECT_EQ(Fake.Cleanups, 0);
  }
  EXPECT_EQ(Fake.Cleanups, 1);
  EXPECT_EQ(Fake.Freed, std::vector<HMODULE>{Ws2Module});
}

TEST_F(AccessTest, FallsBackToWsock32WithVersion11) {
  for (int missingOrUnloadable = 0; missingOrUnloadable < 2; ++missingOrUnloadable) {
    SCOPED_TRACE(missingOrUnloadable ? "ws2_32 fails to load" : "ws2_32 missing");
    Fake = TFakeSystem();
    Fake.HasWs2 = missingOrUnloadable == 1;
    Fake.Ws2LoadFails = missingOrUnloadable == 1;
    {
      TNsWinSockAccess access(FakeLoader);
      EXPECT_EQ(access.LibraryHandle(), Wsock32Module);
      EXPECT_EQ(Fake.StartupVersions, std::vector<WORD>{0x0101});
    }
    EXPECT_EQ(Fake.Freed, std::vector<HMODULE>{Wsock32Module});
  }
}

TEST_F(AccessTest, FailingStartupRaisesAndLeavesNoAccessObject) {
  Fake.StartupResult = 10092;
  try {
    NsStartSocketFramework(FakeLoader);
    FAIL() << "no exception";
  } catch (const ENsWinSockError &e) {
    EXPECT_EQ(e.ErrorCode(), 10092);
    EXPECT_STREQ(e.what(),
                 "WinSock Error (10092): WinSock DLL version not "
                 "supported, on API 'WSAStartup'");
  }
  EXPECT_EQ(WinSockAccess, nullptr);
  // Only the first row that loaded was tried; it was unloaded but never cleaned
  // up.
  EXPECT_EQ(Fake.StartupVersions, std::vector<WORD>{0x0202});
  EXPECT_EQ(Fake.Freed, std::vector<HMODULE>{Ws2Module});
  EXPECT_EQ(Fake.Cleanups, 0);
}

TEST_F(AccessTest, NoLibraryFailsOnFirstUseOnly) {
  Fake.HasWs2 = Fake.HasWsock32 = false;
  {
    TNsWinSockAccess access(FakeLoader);
    EXPECT_EQ(access.LibraryHandle(), nullptr);
    EXPECT_EQ(Fake.Opened, (std::vector<std::string>{"open ws2_32.dll", "open wsock32.dll"}));
    try {
      access.sendto();
      FAIL() << "no exception";
    } catch (const ENsAccessException &e) {
      EXPECT_EQ(e.Message(), "Win32 error loading 'sendto' pointer: " + NsSystemErrorText(126));
    }
    EXPECT_TRUE(Fake.Lookups.empty());
  }
  EXPECT_EQ(Fake.Cleanups, 0);
  EXPECT_TRUE(Fake.Freed.empty());
}

TEST_F(AccessTest, EntryPointsAreLookedUpOnceAndFailuresRetried) {
  TNsWinSockAccess access(FakeLoader);
  EXPECT_EQ(access.htons()(0x1234), 0x3412);
  EXPECT_EQ(access.htons(), access.htons());
  EXPECT_EQ(Fake.Lookups["htons"], 1);

  for (int attempt = 1; attempt <= 2; ++attempt) {
    try {
      access.gethostbyname();
      FAIL() << "no exception";
    } catch (const ENsAccessException &e) {
      EXPECT_EQ(e.Message(), "Win32 error loading 'gethostbyname' pointer: " + NsSystemErrorText(127));
    }
    EXPECT_EQ(Fake.Lookups["gethostbyname"], attempt);
  }
}

TEST_F(AccessTest, StartAndStopManageTheGlobal) {
  NsStartSocketFramework(FakeLoader);
  TNsWinSockAccess *first = WinSockAccess;
  ASSERT_NE(first, nullptr);
  NsStartSocketFramework(FakeLoader);
  EXPECT_EQ(WinSockAccess, first);
  EXPECT_EQ(Fake.StartupVersions.size(), 1u);
  NsStopSocketFramework();
  EXPECT_EQ(WinSockAccess, nullptr);
  EXPECT_EQ(Fake.Cleanups, 1);
  NsStopSocketFramework();  // stopping a stopped framework is harmless
  EXPECT_EQ(Fake.Cleanups, 1);
}

TEST(WinSockErrorTextTest, TableTextsAndSystemFallback) {
  const struct {
    int Code;
    const char *Text;
  } rows[] = {
      {10004, "Interrupted function call"},
      {10035, "Resource temporarily unavailable"},
      {10047, "Address family not supported by protocol family"},
      {10059, "Too many references; cannot splice"},
      {10071, "Too many levels of remote in path"},
      {10091, "Network subsystem is unavailable"},
      {10102, "No more data available"},
      {10110, "No more data available"},
      {10112, "Refused"},
      {11001, "Host not found"},
      {11011, "Rejected for administrative reasons - bad credentials"},
      {11015, "General error"},
  };
  for (const auto &row : rows) EXPECT_EQ(WinSockErrorText(row.Code), row.Text) << row.Code;

  // Codes outside the table, including ids of the framework's other strings,
  // get the system's own text.
  const std::string accessDenied = NsSystemErrorText(5);
  EXPECT_FALSE(accessDenied.empty());
  EXPECT_EQ(WinSockErrorText(5), accessDenied);
  EXPECT_NE(accessDenied.back(), '\n');
  EXPECT_EQ(WinSockErrorText(sNsWinSockErrorFmt), NsSystemErrorText(sNsWinSockErrorFmt));
  EXPECT_EQ(WinSockErrorText(10072), NsSystemErrorText(10072));
}

TEST(WinSockErrorTest, BothConstructions) {
  ENsWinSockError coded(10050, "Fd_Read");
  EXPECT_EQ(coded.ErrorCode(), 10050);
  EXPECT_EQ(coded.Message(), "WinSock Error (10050): Network is down, on API 'Fd_Read'");
  ENsWinSockError plain(LoadResString(sNsDestAddrRequired));
  EXPECT_EQ(plain.ErrorCode(), 0);
  EXPECT_EQ(plain.Message(), "Destination address required");
  // The whole family is caught as the framework's base and as the program's
  // base.
  try {
    throw ENsIndexError(LoadResString(sNsIndexError));
  } catch (const ENsBaseException &e) {
    EXPECT_STREQ(e.what(), "Index out of range");
  }
  EXPECT_THROW(throw ENsAccessException("x"), Exception);
}

// The real library of this platform, bound the way the program binds it.
TEST(AccessRealTest, BindsTheSystemLibrary) {
  NsStartSocketFramework();
  ASSERT_NE(WinSockAccess, nullptr);
  ASSERT_NE(WinSockAccess->LibraryHandle(), nullptr);
  EXPECT_EQ(WinSockAccess->StartupInfo().wVersion, 0x0202);
  EXPECT_EQ(WinSockAccess->htons()(0x1234), 0x3412);
  EXPECT_EQ(WinSockAccess->ntohl()(WinSockAccess->inet_addr()("127.0.0.1")), 0x7F000001u);
  SOCKET s = WinSockAccess->socket()(AF_INET, SOCK_DGRAM, 0);
  ASSERT_NE(s, INVALID_SOCKET);
  WinSockAccess->closesocket()(s);
  NsStopSocketFramework();
}

}  // namespace
