// The single-instance guard: a named mutex per executable file name.
#include "app/DblChkNF.h"

#include "forms/Exception.h"
#include "platform/winapi.h"

namespace {
std::string GMutexName;
HANDLE GMutex = nullptr;  // owned: released and closed by ReleaseSingleInstance
}  // namespace

bool AcquireSingleInstance(const std::string &argv0) {
  const size_t cut = argv0.find_last_of("\\/:");
  GMutexName = cut == std::string::npos ? argv0 : argv0.substr(cut + 1);
  HANDLE existing = OpenMutexA(MUTEX_ALL_ACCESS, FALSE, GMutexName.c_str());
  if (existing) {
    CloseHandle(existing);
    return false;
  }
  // A copy running elevated holds a mutex that a plain start may not open: it exists.
  if (GetLastError() == ERROR_ACCESS_DENIED) return false;
  // Two copies started together may both have found no mutex: the creation itself
  // tells which of them came second.
  HANDLE created = CreateMutexA(nullptr, FALSE, GMutexName.c_str());
  if (!created && GetLastError() == ERROR_ACCESS_DENIED) return false;
  if (!created)
    throw Exception("二重起動を防ぐミューテックス \"" + GMutexName + "\" を作成できません (エラー " +
                    std::to_string(GetLastError()) + ")");
  if (created && GetLastError() == ERROR_ALREADY_EXISTS) {
    CloseHandle(created);
    return false;
  }
  GMutex = created;
  return true;
}

void ReleaseSingleInstance() {
  if (!GMutex) return;
  ReleaseMutex(GMutex);
  CloseHandle(GMutex);
  GMutex = nullptr;
}
