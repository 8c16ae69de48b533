// On Windows the calls that the test seam can take over are redirected to wrappers
// that consult platform/testhooks.h and otherwise call the real function.
#pragma once

#include <windows.h>

extern "C" {
void WINAPI HlGetSystemTime(LPSYSTEMTIME st);
void WINAPI HlGetLocalTime(LPSYSTEMTIME st);
BOOL WINAPI HlSetSystemTime(const SYSTEMTIME *st);
BOOL WINAPI HlSetLocalTime(const SYSTEMTIME *st);
BOOL WINAPI HlGetVersionExA(LPOSVERSIONINFOA info);
BOOL WINAPI HlGetCursorPos(LPPOINT point);
SHORT WINAPI HlGetAsyncKeyState(int key);
int WINAPI HlMessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);
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
#endif
