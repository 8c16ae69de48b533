// shell32 subset of the host layer.
#pragma once

#include <cstddef>

#include "platform/host/types.h"

#define CSIDL_APPDATA 0x001a
#define CSIDL_LOCAL_APPDATA 0x001c
// CSIDL_APPDATA is the XDG config home ($XDG_CONFIG_HOME, else ~/.config).
BOOL WINAPI SHGetSpecialFolderPathA(HWND owner, LPSTR path, int csidl, BOOL create);

// ---- Notification area ------------------------------------------------------------------
// The SDK's layout of the same pointer width. NOTIFYICONDATAA_V1_SIZE and _V2_SIZE are
// offsets into it, as the SDK defines them, so they follow the ABI: 88 and 488 with
// 32-bit pointers, 104 and 504 with 64-bit ones (the mingw i686 and x86_64 headers give
// the same). 488 is therefore the V2 size of the shipped 32-bit program only.
struct GUID {
  DWORD Data1;
  WORD Data2;
  WORD Data3;
  BYTE Data4[8];
};
struct NOTIFYICONDATAA {
  DWORD cbSize;
  HWND hWnd;
  UINT uID;
  UINT uFlags;
  UINT uCallbackMessage;
  HICON hIcon;
  CHAR szTip[128];
  DWORD dwState;
  DWORD dwStateMask;
  CHAR szInfo[256];
  union {
    UINT uTimeout;
    UINT uVersion;
  };
  CHAR szInfoTitle[64];
  DWORD dwInfoFlags;
  GUID guidItem;
  HICON hBalloonIcon;
};
typedef NOTIFYICONDATAA *PNOTIFYICONDATAA;
#define NOTIFYICONDATAA_V1_SIZE offsetof(NOTIFYICONDATAA, szTip[64])
#define NOTIFYICONDATAA_V2_SIZE offsetof(NOTIFYICONDATAA, guidItem)
#define NOTIFYICONDATAA_V3_SIZE offsetof(NOTIFYICONDATAA, hBalloonIcon)
static_assert(NOTIFYICONDATAA_V2_SIZE == (sizeof(void *) == 4 ? 488 : 504),
              "NOTIFYICONDATAA must have the SDK's layout");

#define NIM_ADD 0x00000000
#define NIM_MODIFY 0x00000001
#define NIM_DELETE 0x00000002
#define NIM_SETFOCUS 0x00000003
#define NIM_SETVERSION 0x00000004
#define NIF_MESSAGE 0x00000001
#define NIF_ICON 0x00000002
#define NIF_TIP 0x00000004
#define NIF_STATE 0x00000008
#define NIF_INFO 0x00000010
#define NIF_GUID 0x00000020
#define NIF_REALTIME 0x00000040
#define NIF_SHOWTIP 0x00000080
#define NIS_HIDDEN 0x00000001
#define NIS_SHAREDICON 0x00000002
#define NIIF_NONE 0x00000000
#define NIIF_INFO 0x00000001
#define NIIF_WARNING 0x00000002
#define NIIF_ERROR 0x00000003
#define NIIF_USER 0x00000004
#define NIIF_ICON_MASK 0x0000000F
#define NIIF_NOSOUND 0x00000010
#define NIN_SELECT (WM_USER + 0)
#define NIN_KEYSELECT (NIN_SELECT | 1)
#define NIN_BALLOONSHOW (WM_USER + 2)
#define NIN_BALLOONHIDE (WM_USER + 3)
#define NIN_BALLOONTIMEOUT (WM_USER + 4)
#define NIN_BALLOONUSERCLICK (WM_USER + 5)
#define NOTIFYICON_VERSION 3
#define NOTIFYICON_VERSION_4 4

// Keeps a headless tray keyed by (hWnd, uID): adding an icon that is there, or changing
// one that is not, fails. Tooltip changes and balloons are reported on stderr in UTF-8.
BOOL WINAPI Shell_NotifyIconA(DWORD message, PNOTIFYICONDATAA data);

// ---- Opening documents --------------------------------------------------------------------
#define SE_ERR_FNF 2
#define SE_ERR_PNF 3
#define SE_ERR_ACCESSDENIED 5
#define SE_ERR_OOM 8
#define SE_ERR_SHARE 26
#define SE_ERR_ASSOCINCOMPLETE 27
#define SE_ERR_DDETIMEOUT 28
#define SE_ERR_DDEFAIL 29
#define SE_ERR_DDEBUSY 30
#define SE_ERR_NOASSOC 31
#define SE_ERR_DLLNOTFOUND 32
// "open" (or no verb) of a document, folder or address starts `xdg-open <file>`
// detached and returns at once: a value above 32 once xdg-open is started, else a
// SE_ERR_* value. Other verbs are refused (SE_ERR_NOASSOC).
HINSTANCE WINAPI ShellExecuteA(HWND hwnd, LPCSTR verb, LPCSTR file, LPCSTR parameters, LPCSTR directory,
                               INT showCmd);
