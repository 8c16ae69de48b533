// On Windows the calls that the test seam can take over are redirected to wrappers
// that consult platform/testhooks.h and otherwise call the real function.
#pragma once

#include <windows.h>
// shellapi.h needs windows.h first.
#include <shellapi.h>

extern "C" {
void WINAPI HlGetSystemTime(LPSYSTEMTIME st);
void WINAPI HlGetLocalTime(LPSYSTEMTIME st);
BOOL WINAPI HlSetSystemTime(const SYSTEMTIME *st);
BOOL WINAPI HlSetLocalTime(const SYSTEMTIME *st);
BOOL WINAPI HlGetVersionExA(LPOSVERSIONINFOA info);
BOOL WINAPI HlGetCursorPos(LPPOINT point);
SHORT WINAPI HlGetAsyncKeyState(int key);
int WINAPI HlMessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);
BOOL WINAPI HlShell_NotifyIconA(DWORD message, PNOTIFYICONDATAA data);
HINSTANCE WINAPI HlShellExecuteA(HWND hwnd, LPCSTR verb, LPCSTR file, LPCSTR parameters, LPCSTR directory,
                                 INT showCmd);
BOOL WINAPI HlTrackPopupMenu(HMENU menu, UINT flags, int x, int y, int reserved, HWND owner,
                             const RECT *rect);
BOOL WINAPI HlTrackPopupMenuEx(HMENU menu, UINT flags, int x, int y, HWND owner, LPTPMPARAMS params);
HANDLE WINAPI HlOpenMutexA(DWORD access, BOOL inherit, LPCSTR name);
HANDLE WINAPI HlCreateMutexA(LPSECURITY_ATTRIBUTES attrs, BOOL initialOwner, LPCSTR name);
UINT WINAPI HlGetDoubleClickTime();
BOOL WINAPI HlMessageBeep(UINT type);
}

#ifndef HOROLAN_SEAM_IMPLEMENTATION
#define GetSystemTime HlGetSystemTime
#define GetLocalTime HlGetLocalTime
#define SetSystemTime HlSetSystemTime
#define SetLocalTime HlSetLocalTime
#undef GetVersionEx
#define GetVersionExA HlGetVersionExA
#define GetVersionEx HlGetVersionExA
#define GetCursorPos HlGetCursorPos
#define GetAsyncKeyState HlGetAsyncKeyState
#undef MessageBox
#define MessageBoxA HlMessageBoxA
#define MessageBox HlMessageBoxA
#undef Shell_NotifyIcon
#define Shell_NotifyIconA HlShell_NotifyIconA
#define Shell_NotifyIcon HlShell_NotifyIconA
#undef ShellExecute
#define ShellExecuteA HlShellExecuteA
#define ShellExecute HlShellExecuteA
#define TrackPopupMenu HlTrackPopupMenu
#define TrackPopupMenuEx HlTrackPopupMenuEx
#define GetDoubleClickTime HlGetDoubleClickTime
#undef OpenMutex
#define OpenMutexA HlOpenMutexA
#define OpenMutex HlOpenMutexA
#undef CreateMutex
#define CreateMutexA HlCreateMutexA
#define CreateMutex HlCreateMutexA
#define MessageBeep HlMessageBeep
#endif
