// shell32 subset of the host layer.
#pragma once

#include "platform/host/types.h"

#define CSIDL_APPDATA 0x001a
#define CSIDL_LOCAL_APPDATA 0x001c
// CSIDL_APPDATA is the XDG config home ($XDG_CONFIG_HOME, else ~/.config).
BOOL WINAPI SHGetSpecialFolderPathA(HWND owner, LPSTR path, int csidl, BOOL create);
