// Run-time binding of Windows Sockets and the framework's error texts.
#include "sockets/NsSockAccess.h"

#include "sockets/NsConst.h"

TNsWinSockAccess *WinSockAccess = nullptr;

namespace {

struct TNsLibraryRow {
  const char *FileName;
  WORD Version;
};

// Tried from the last row to the first: the newer library wins when both exist.
const TNsLibraryRow LibraryTable[] = {
    {"wsock32.dll", 0x0101},
    {"ws2_32.dll", 0x0202},
};

const DWORD ErrorModNotFound = 126;

// A FARPROC is only an address; the slot's own type says how to call it.
template <class F>
F FromProc(FARPROC Proc) {
  return reinterpret_cast<F>(reinterpret_cast<void (*)()>(Proc));
}

}  // namespace

// ---- Error texts
// ------------------------------------------------------------------

std::string NsSystemErrorText(DWORD Code) {
  char buffer[1024];
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, Code, 0,
                           buffer, sizeof buffer, nullptr);
  if (n >= sizeof buffer) n = 0;
  std::string text(buffer, n);
  // The system's texts end in a line break, which would split the messages they
  // go into.
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text;
}

std::string WinSockErrorText(int Code) {
  // The table's ids are the error codes themselves; only that range is looked
  // up, so a code can never hit one of the framework's other strings.
  if (Code >= 10000 && Code < 12000) {
    std::string text = LoadResString(Code);
    if (!text.empty()) return text;
  }
  return NsSystemErrorText(static_cast<DWORD>(Code));
}

ENsWinSockError::ENsWinSockError(int ErrorCode, const std::string &Api)
    : ENsBaseException(
          FormatResString(sNsWinSockErrorFmt, ErrorCode, WinSockErrorText(ErrorCode).c_str(), Api.c_str())),
      FErrorCode(ErrorCode) {}

ENsWinSockError::ENsWinSockError(const std::string &Message) : ENsBaseException(Message) {}

// ---- Loader
// -----------------------------------------------------------------------

const TNsLibraryLoader &NsSystemLibraryLoader() {
  static const TNsLibraryLoader loader = {&::OpenFile, &::LoadLibraryA, &::GetProcAddress, &::FreeLibrary};
  return loader;
}

// ---- Access object
// ----------------------------------------------------------------

TNsWinSockAccess::TNsWinSockAccess(const TNsLibraryLoader &Loader) : FLoader(Loader) {
  for (int row = static_cast<int>(sizeof LibraryTable / sizeof LibraryTable[0]) - 1; row >= 0; --row) {
    OFSTRUCT info{};
    if (FLoader.OpenFileFn(LibraryTable[row].FileName, &info, OF_EXIST) == HFILE_ERROR) continue;
    FHandle = FLoader.LoadLibraryFn(LibraryTable[row].FileName);
    if (!FHandle) continue;
    int result;
    try {
      result = WSAStartup()(LibraryTable[row].Version, &FStartupInfo);
    } catch (...) {
      FLoader.FreeLibraryFn(FHandle);
      FHandle = nullptr;
      throw;
    }
    if (result != 0) {
      // Not started, so no WSACleanup: an unmatched one would end another
      // user's start-up in this process.
      FLoader.FreeLibraryFn(FHandle);
      FHandle = nullptr;
      throw ENsWinSockError(result, "WSAStartup");
    }
    return;
  }
}

TNsWinSockAccess::~TNsWinSockAccess() {
  if (!FHandle) return;
  try {
    WSACleanup()();
  } catch (const ENsAccessException &) {
    // A library without WSACleanup cannot be cleaned up; it is still unloaded.
  }
  FLoader.FreeLibraryFn(FHandle);
  FHandle = nullptr;
}

template <class F>
F TNsWinSockAccess::Bind(F &Slot, const char *Name) {
  Lock();
  if (!Slot && FHandle) Slot = FromProc<F>(FLoader.GetProcAddressFn(FHandle, Name));
  if (Slot) {
    Unlock();
    return Slot;
  }
  const DWORD error = FHandle ? GetLastError() : ErrorModNotFound;
  Unlock();
  throw ENsAccessException(FormatResString(sNsAccessErrorFmt, Name, NsSystemErrorText(error).c_str()));
}

#define NS_DEFINE_GETTER(name) \
  decltype(&::name) TNsWinSockAccess::name() { return Bind(F_##name, #name); }
NS_WINSOCK_FUNCTIONS(NS_DEFINE_GETTER)
#undef NS_DEFINE_GETTER

// ---- Framework start and stop
// -----------------------------------------------------

void NsStartSocketFramework(const TNsLibraryLoader &Loader) {
  if (!WinSockAccess) WinSockAccess = new TNsWinSockAccess(Loader);
}

void NsStopSocketFramework() {
  TNsWinSockAccess *access = WinSockAccess;
  WinSockAccess = nullptr;
  delete access;
}
