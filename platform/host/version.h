// version.dll subset of the host layer. A file's version resource is the VS_VERSIONINFO
// block linked into it (see platform/host/versionres.h); other files have none.
#pragma once

#include "platform/host/types.h"

DWORD WINAPI GetFileVersionInfoSizeA(LPCSTR fileName, LPDWORD handle);
BOOL WINAPI GetFileVersionInfoA(LPCSTR fileName, DWORD handle, DWORD len, LPVOID data);
BOOL WINAPI VerQueryValueA(LPCVOID block, LPCSTR subBlock, LPVOID *buffer, PUINT len);
