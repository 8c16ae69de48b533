// The one header through which the program reaches the operating system.
// On Windows it is the real SDK plus the test seam's redirections; elsewhere the
// host layer supplies the same names with the Windows semantics the program relies on.
#pragma once

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <mmsystem.h>
#include <shellapi.h>
#include <shlobj.h>
#include "platform/win/seam.h"
#else
#include "platform/host/types.h"
#include "platform/host/kernel32.h"
#include "platform/host/user32.h"
#include "platform/host/gdi.h"
#include "platform/host/menus.h"
#include "platform/host/resources.h"
#include "platform/host/controls.h"
#include "platform/host/shell32.h"
#include "platform/host/version.h"
#include "platform/host/winsock.h"
#endif

#include "platform/testhooks.h"
