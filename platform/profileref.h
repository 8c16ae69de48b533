// The operating system's own private-profile functions, for tests that hold the INI
// store against them. The host layer has none, so there the reference is null and such
// comparisons are skipped.
#pragma once

#include "platform/winapi.h"

namespace profileref {

struct Functions {
  DWORD(WINAPI *GetString)(LPCSTR section, LPCSTR key, LPCSTR def, LPSTR buffer, DWORD size, LPCSTR file);
  BOOL(WINAPI *WriteString)(LPCSTR section, LPCSTR key, LPCSTR value, LPCSTR file);
  UINT(WINAPI *GetInt)(LPCSTR section, LPCSTR key, INT def, LPCSTR file);
};

// The real functions, or null where the platform has none.
const Functions *Reference();

}  // namespace profileref
