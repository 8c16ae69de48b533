// Run-time binding of Windows Sockets: the framework never links the library, it
// reaches every Winsock function through the one process-wide WinSockAccess object.
// Also the framework's error vocabulary (WinSockErrorText and the exception family).
#pragma once

#include <string>

#include "forms/Exception.h"
#include "platform/winapi.h"
#include "sockets/NsUtils.h"

// Every Winsock function the framework binds, written once: the entry-point slots,
// their getters, the GetProcAddress lookups and the names in error texts come from it.
#define NS_WINSOCK_FUNCTIONS(X) \
  X(WSAStartup)                 \
  X(WSACleanup)                 \
  X(WSAGetLastError)            \
  X(WSAAsyncSelect)             \
  X(WSACancelAsyncRequest)      \
  X(WSAAsyncGetHostByName)      \
  X(socket)                     \
  X(bind)                       \
  X(connect)                    \
  X(closesocket)                \
  X(shutdown)                   \
  X(getsockname)                \
  X(getpeername)                \
  X(getsockopt)                 \
  X(setsockopt)                 \
  X(recv)                       \
  X(send)                       \
  X(recvfrom)                   \
  X(sendto)                     \
  X(gethostbyname)              \
  X(inet_addr)                  \
  X(inet_ntoa)                  \
  X(htons)                      \
  X(ntohs)                      \
  X(htonl)                      \
  X(ntohl)

// ---- Exceptions -------------------------------------------------------------------

class ENsBaseException : public Exception {
 public:
  using Exception::Exception;
};

// An entry point could not be found in the loaded library (or no library is loaded).
class ENsAccessException : public ENsBaseException {
 public:
  using ENsBaseException::ENsBaseException;
};

class ENsWinSockError : public ENsBaseException {
 public:
  // "WinSock Error (code): text, on API 'label'".
  ENsWinSockError(int ErrorCode, const std::string &Api);
  // A ready message; ErrorCode stays 0.
  explicit ENsWinSockError(const std::string &Message);
  int ErrorCode() const { return FErrorCode; }

 private:
  int FErrorCode = 0;
};

class ENsActiveError : public ENsBaseException {
 public:
  using ENsBaseException::ENsBaseException;
};

class ENsIndexError : public ENsBaseException {
 public:
  using ENsBaseException::ENsBaseException;
};

class ENsNoSocketError : public ENsBaseException {
 public:
  using ENsBaseException::ENsBaseException;
};

class ENsProgrammerError : public ENsBaseException {
 public:
  using ENsBaseException::ENsBaseException;
};

// The text for a Winsock error code: the framework's own table, else the system's
// message for the code (without its line end).
std::string WinSockErrorText(int Code);
// The system's message text for a Win32 error code, without its line end; empty
// when the system has none.
std::string NsSystemErrorText(DWORD Code);

// ---- Loader seam ------------------------------------------------------------------

// The four kernel32 calls the access object loads a library with. The default is the
// real ones; tests pass fakes to offer one library only or a failing WSAStartup.
struct TNsLibraryLoader {
  decltype(&::OpenFile) OpenFileFn;
  decltype(&::LoadLibraryA) LoadLibraryFn;
  decltype(&::GetProcAddress) GetProcAddressFn;
  decltype(&::FreeLibrary) FreeLibraryFn;
};
const TNsLibraryLoader &NsSystemLibraryLoader();

// ---- Access object ----------------------------------------------------------------

class TNsWinSockAccess : public TNsBaseAccess {
 public:
  // Loads "ws2_32.dll" (version 2.2), else "wsock32.dll" (1.1), and starts it.
  // A failing WSAStartup raises ENsWinSockError; no library at all is not an error
  // here, the first getter raises ENsAccessException instead.
  explicit TNsWinSockAccess(const TNsLibraryLoader &Loader = NsSystemLibraryLoader());
  ~TNsWinSockAccess() override;
  TNsWinSockAccess(const TNsWinSockAccess &) = delete;
  TNsWinSockAccess &operator=(const TNsWinSockAccess &) = delete;

  HMODULE LibraryHandle() const { return FHandle; }
  // As WSAStartup filled it in: negotiated version, description, system status.
  const WSADATA &StartupInfo() const { return FStartupInfo; }

  // One getter per bound function, named after it: the function's address, looked up
  // on first use and cached; never null (ENsAccessException instead).
#define NS_DECLARE_GETTER(name) decltype(&::name) name();
  NS_WINSOCK_FUNCTIONS(NS_DECLARE_GETTER)
#undef NS_DECLARE_GETTER

 private:
  template <class F>
  F Bind(F &Slot, const char *Name);

  TNsLibraryLoader FLoader;
  HMODULE FHandle = nullptr;  // owned: freed by the destructor
  WSADATA FStartupInfo{};
#define NS_DECLARE_SLOT(name) decltype(&::name) F_##name = nullptr;
  NS_WINSOCK_FUNCTIONS(NS_DECLARE_SLOT)
#undef NS_DECLARE_SLOT
};

// The one access object; null until the framework is started and after it stops.
extern TNsWinSockAccess *WinSockAccess;

// Creates WinSockAccess (a failing WSAStartup raises and leaves it null). Starting an
// already started framework does nothing.
void NsStartSocketFramework(const TNsLibraryLoader &Loader = NsSystemLibraryLoader());
// Frees WinSockAccess after clearing the global; call after every socket object is gone.
void NsStopSocketFramework();
