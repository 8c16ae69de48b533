// Resources of the host layer: (type, name) -> bytes, registered by the sources that
// cmake/Resources.cmake generates into executables, and read back with the usual
// FindResource/LoadResource calls. Bitmaps are stored as windres stores them (a .bmp
// without its file header), icons as RT_ICON images plus their RT_GROUP_ICON directory.
#pragma once

#include <cstddef>

#include "platform/host/types.h"

DECLARE_HANDLE(HRSRC);
typedef HANDLE HGLOBAL;

#define MAKEINTRESOURCEA(i) ((LPSTR)((ULONG_PTR)((WORD)(i))))
#define MAKEINTRESOURCE MAKEINTRESOURCEA
#define IS_INTRESOURCE(r) ((((ULONG_PTR)(r)) >> 16) == 0)

#define ERROR_RESOURCE_NAME_NOT_FOUND 1814L

#define RT_CURSOR MAKEINTRESOURCE(1)
#define RT_BITMAP MAKEINTRESOURCE(2)
#define RT_ICON MAKEINTRESOURCE(3)
#define RT_MENU MAKEINTRESOURCE(4)
#define RT_DIALOG MAKEINTRESOURCE(5)
#define RT_STRING MAKEINTRESOURCE(6)
#define RT_FONTDIR MAKEINTRESOURCE(7)
#define RT_FONT MAKEINTRESOURCE(8)
#define RT_ACCELERATOR MAKEINTRESOURCE(9)
#define RT_RCDATA MAKEINTRESOURCE(10)
#define RT_MESSAGETABLE MAKEINTRESOURCE(11)
#define RT_GROUP_CURSOR MAKEINTRESOURCE(12)
#define RT_GROUP_ICON MAKEINTRESOURCE(14)
#define RT_VERSION MAKEINTRESOURCE(16)
#define RT_MANIFEST MAKEINTRESOURCE(24)

// Names and types are integers (MAKEINTRESOURCE, or "#123") or strings compared
// without regard to case, as Windows does. The module is the executable (NULL or its
// handle); the host's built-in modules have no resources.
HRSRC WINAPI FindResourceA(HMODULE module, LPCSTR name, LPCSTR type);
HGLOBAL WINAPI LoadResource(HMODULE module, HRSRC resource);
LPVOID WINAPI LockResource(HGLOBAL data);
DWORD WINAPI SizeofResource(HMODULE module, HRSRC resource);
BOOL WINAPI FreeResource(HGLOBAL data);

// ---- For generated sources ---------------------------------------------------------------
// One resource: type and name are either an integer id (the string null) or a string.
struct HostResourceEntry {
  unsigned typeId;
  const char *typeName;
  unsigned nameId;
  const char *nameName;
  const unsigned char *data;  // not owned: static data of the generated source
  size_t size;
};
// Called from static initialisers of generated sources; the table must outlive the
// process (it is static data).
void HostRegisterResources(const HostResourceEntry *entries, size_t count);
