// kernel32 (and advapi32) subset of the host layer.
#pragma once

#include "platform/host/types.h"

// Errors
DWORD WINAPI GetLastError();
void WINAPI SetLastError(DWORD code);

#define FORMAT_MESSAGE_ALLOCATE_BUFFER 0x00000100
#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200
#define FORMAT_MESSAGE_FROM_STRING 0x00000400
#define FORMAT_MESSAGE_FROM_HMODULE 0x00000800
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000
#define FORMAT_MESSAGE_ARGUMENT_ARRAY 0x00002000
#define FORMAT_MESSAGE_MAX_WIDTH_MASK 0x000000FF
#define LANG_NEUTRAL 0x00
#define SUBLANG_DEFAULT 0x01
#define MAKELANGID(p, s) ((((WORD)(s)) << 10) | (WORD)(p))
// Only FORMAT_MESSAGE_FROM_SYSTEM is supported; Arguments must be null.
DWORD WINAPI FormatMessageA(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId, LPSTR buffer,
                            DWORD size, void *arguments);
HANDLE WINAPI LocalFree(HANDLE mem);

// Handles
BOOL WINAPI CloseHandle(HANDLE h);

// Mutexes: named ones are visible to every process of the same user.
struct SECURITY_ATTRIBUTES {
  DWORD nLength;
  LPVOID lpSecurityDescriptor;
  BOOL bInheritHandle;
};
typedef SECURITY_ATTRIBUTES *LPSECURITY_ATTRIBUTES;
#define SYNCHRONIZE 0x00100000L
#define MUTEX_ALL_ACCESS 0x1F0001
#define MUTANT_QUERY_STATE 0x0001
HANDLE WINAPI CreateMutexA(LPSECURITY_ATTRIBUTES attrs, BOOL initialOwner, LPCSTR name);
HANDLE WINAPI OpenMutexA(DWORD access, BOOL inherit, LPCSTR name);
BOOL WINAPI ReleaseMutex(HANDLE mutex);

// Critical sections (recursive, as on Windows)
struct CRITICAL_SECTION {
  void *impl;
  LONG RecursionCount;
};
typedef CRITICAL_SECTION *LPCRITICAL_SECTION;
void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION cs);
void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION cs);
void WINAPI EnterCriticalSection(LPCRITICAL_SECTION cs);
void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION cs);

// Time
DWORD WINAPI GetTickCount();
void WINAPI Sleep(DWORD ms);
void WINAPI GetSystemTime(LPSYSTEMTIME st);
void WINAPI GetLocalTime(LPSYSTEMTIME st);
BOOL WINAPI SetSystemTime(const SYSTEMTIME *st);
BOOL WINAPI SetLocalTime(const SYSTEMTIME *st);
BOOL WINAPI SystemTimeToFileTime(const SYSTEMTIME *st, LPFILETIME ft);
BOOL WINAPI FileTimeToSystemTime(const FILETIME *ft, LPSYSTEMTIME st);

// Processes
HANDLE WINAPI GetCurrentProcess();
DWORD WINAPI GetCurrentProcessId();
DWORD WINAPI GetCurrentThreadId();
#define IDLE_PRIORITY_CLASS 0x00000040
#define BELOW_NORMAL_PRIORITY_CLASS 0x00004000
#define NORMAL_PRIORITY_CLASS 0x00000020
#define ABOVE_NORMAL_PRIORITY_CLASS 0x00008000
#define HIGH_PRIORITY_CLASS 0x00000080
#define REALTIME_PRIORITY_CLASS 0x00000100
BOOL WINAPI SetPriorityClass(HANDLE process, DWORD priorityClass);
DWORD WINAPI GetPriorityClass(HANDLE process);

// Version
struct OSVERSIONINFOA {
  DWORD dwOSVersionInfoSize;
  DWORD dwMajorVersion;
  DWORD dwMinorVersion;
  DWORD dwBuildNumber;
  DWORD dwPlatformId;
  CHAR szCSDVersion[128];
};
typedef OSVERSIONINFOA *LPOSVERSIONINFOA, *POSVERSIONINFOA;
#define VER_PLATFORM_WIN32s 0
#define VER_PLATFORM_WIN32_WINDOWS 1
#define VER_PLATFORM_WIN32_NT 2
BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA info);

// advapi32
BOOL WINAPI GetUserNameA(LPSTR buffer, LPDWORD size);

// Files
#define INVALID_FILE_ATTRIBUTES ((DWORD)-1)
#define FILE_ATTRIBUTE_READONLY 0x00000001
#define FILE_ATTRIBUTE_HIDDEN 0x00000002
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010
#define FILE_ATTRIBUTE_ARCHIVE 0x00000020
#define FILE_ATTRIBUTE_NORMAL 0x00000080
DWORD WINAPI GetFileAttributesA(LPCSTR path);
BOOL WINAPI CreateDirectoryA(LPCSTR path, LPSECURITY_ATTRIBUTES attrs);
BOOL WINAPI RemoveDirectoryA(LPCSTR path);
DWORD WINAPI GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size);
HMODULE WINAPI GetModuleHandleA(LPCSTR name);

#define OFS_MAXPATHNAME 128
struct OFSTRUCT {
  BYTE cBytes;
  BYTE fFixedDisk;
  WORD nErrCode;
  WORD Reserved1;
  WORD Reserved2;
  CHAR szPathName[OFS_MAXPATHNAME];
};
typedef OFSTRUCT *LPOFSTRUCT;
typedef int HFILE;
#define HFILE_ERROR ((HFILE)-1)
#define OF_READ 0x00000000
#define OF_EXIST 0x00004000
// Only OF_EXIST is supported: the built-in modules "exist" in the system folder.
HFILE WINAPI OpenFile(LPCSTR fileName, LPOFSTRUCT reOpenBuff, UINT style);

// Modules: the host's built-in modules only (see host/modules.h).
HMODULE WINAPI LoadLibraryA(LPCSTR name);
FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR name);
BOOL WINAPI FreeLibrary(HMODULE module);

// Replacing files (only MOVEFILE_REPLACE_EXISTING and MOVEFILE_WRITE_THROUGH are honoured).
#define MOVEFILE_REPLACE_EXISTING 0x00000001
#define MOVEFILE_WRITE_THROUGH 0x00000008
BOOL WINAPI MoveFileExA(LPCSTR existing, LPCSTR newName, DWORD flags);
BOOL WINAPI DeleteFileA(LPCSTR path);

// Child processes (for tests that need a second process).
struct STARTUPINFOA {
  DWORD cb;
  LPSTR lpReserved, lpDesktop, lpTitle;
  DWORD dwX, dwY, dwXSize, dwYSize, dwXCountChars, dwYCountChars, dwFillAttribute, dwFlags;
  WORD wShowWindow, cbReserved2;
  LPBYTE lpReserved2;
  HANDLE hStdInput, hStdOutput, hStdError;
};
typedef STARTUPINFOA *LPSTARTUPINFOA;
struct PROCESS_INFORMATION {
  HANDLE hProcess;
  HANDLE hThread;
  DWORD dwProcessId;
  DWORD dwThreadId;
};
typedef PROCESS_INFORMATION *LPPROCESS_INFORMATION;
#define INFINITE 0xFFFFFFFF
#define WAIT_OBJECT_0 0x00000000L
#define WAIT_TIMEOUT 0x00000102L
#define WAIT_FAILED ((DWORD)0xFFFFFFFF)
#define STILL_ACTIVE 259
// The command line is split by the Windows rules; the first word is the program.
BOOL WINAPI CreateProcessA(LPCSTR application, LPSTR commandLine, LPSECURITY_ATTRIBUTES procAttrs,
                           LPSECURITY_ATTRIBUTES threadAttrs, BOOL inherit, DWORD flags, LPVOID env,
                           LPCSTR curDir, LPSTARTUPINFOA startup, LPPROCESS_INFORMATION info);
DWORD WINAPI WaitForSingleObject(HANDLE h, DWORD ms);
BOOL WINAPI GetExitCodeProcess(HANDLE process, LPDWORD exitCode);
BOOL WINAPI SetEnvironmentVariableA(LPCSTR name, LPCSTR value);
DWORD WINAPI GetEnvironmentVariableA(LPCSTR name, LPSTR buffer, DWORD size);
LPSTR WINAPI GetCommandLineA();

// National-language formats. The host has one locale, Japanese: short date yyyy/MM/dd,
// long date yyyy'年'M'月'd'日', time H:mm:ss. Only the locale's own formats are given
// (format must be null); the result is counted in bytes with its terminating zero, and
// a size of 0 asks for the size needed.
typedef DWORD LCID;
#define LOCALE_SYSTEM_DEFAULT 0x0800
#define LOCALE_USER_DEFAULT 0x0400
#define DATE_SHORTDATE 0x00000001
#define DATE_LONGDATE 0x00000002
#define TIME_NOMINUTESORSECONDS 0x00000001
#define TIME_NOSECONDS 0x00000002
#define TIME_NOTIMEMARKER 0x00000004
#define TIME_FORCE24HOURFORMAT 0x00000008
int WINAPI GetDateFormatA(LCID locale, DWORD flags, const SYSTEMTIME *date, LPCSTR format, LPSTR buffer,
                          int size);
int WINAPI GetTimeFormatA(LCID locale, DWORD flags, const SYSTEMTIME *time, LPCSTR format, LPSTR buffer,
                          int size);
