// Locale-dependent text of the host layer: the Japanese date and time formats and the
// code-page-932 aware lower-casing that Windows gives a Japanese system.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/host/kernel32.h"
#include "platform/host/types.h"
#include "platform/host/user32.h"

namespace {

bool Cp932Lead(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

bool PlausibleDate(const SYSTEMTIME &st) {
  return st.wYear >= 1601 && st.wYear <= 30827 && st.wMonth >= 1 && st.wMonth <= 12 && st.wDay >= 1 &&
         st.wDay <= 31;
}

bool PlausibleTime(const SYSTEMTIME &st) {
  return st.wHour < 24 && st.wMinute < 60 && st.wSecond < 60 && st.wMilliseconds < 1000;
}

SYSTEMTIME NowOr(const SYSTEMTIME *given) {
  SYSTEMTIME st{};
  if (given)
    st = *given;
  else
    GetLocalTime(&st);
  return st;
}

// Copies text the Windows way: size 0 asks for the size, too small a buffer fails.
int Deliver(const std::string &text, LPSTR buffer, int size) {
  const int needed = static_cast<int>(text.size()) + 1;
  if (size == 0) return needed;
  if (!buffer || size < needed) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(buffer, text.c_str(), needed);
  return needed;
}

}  // namespace

int WINAPI GetDateFormatA(LCID, DWORD flags, const SYSTEMTIME *date, LPCSTR format, LPSTR buffer, int size) {
  const SYSTEMTIME st = NowOr(date);
  if (format || size < 0 || (flags & DATE_SHORTDATE && flags & DATE_LONGDATE) || !PlausibleDate(st)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  char text[64];
  if (flags & DATE_LONGDATE)  // 年, 月, 日 in code page 932
    std::snprintf(text, sizeof text, "%u\x94\x4e%u\x8c\x8e%u\x93\xfa", st.wYear, st.wMonth, st.wDay);
  else
    std::snprintf(text, sizeof text, "%04u/%02u/%02u", st.wYear, st.wMonth, st.wDay);
  return Deliver(text, buffer, size);
}

int WINAPI GetTimeFormatA(LCID, DWORD flags, const SYSTEMTIME *time, LPCSTR format, LPSTR buffer, int size) {
  const SYSTEMTIME st = NowOr(time);
  if (format || size < 0 || !PlausibleTime(st)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  char text[32];
  if (flags & TIME_NOMINUTESORSECONDS)
    std::snprintf(text, sizeof text, "%u", st.wHour);
  else if (flags & TIME_NOSECONDS)
    std::snprintf(text, sizeof text, "%u:%02u", st.wHour, st.wMinute);
  else
    std::snprintf(text, sizeof text, "%u:%02u:%02u", st.wHour, st.wMinute, st.wSecond);
  return Deliver(text, buffer, size);
}

DWORD WINAPI CharLowerBuffA(LPSTR text, DWORD length) {
  if (!text) return 0;
  for (DWORD i = 0; i < length; ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (Cp932Lead(c) && i + 1 < length) {
      ++i;  // the trail byte belongs to the character
    } else if (c >= 'A' && c <= 'Z') {
      text[i] = static_cast<char>(c - 'A' + 'a');
    }
  }
  return length;
}

LPSTR WINAPI CharLowerA(LPSTR text) {
  const uintptr_t value = reinterpret_cast<uintptr_t>(text);
  if ((value >> 16) == 0) {
    char c = static_cast<char>(value & 0xFF);
    CharLowerBuffA(&c, 1);
    return reinterpret_cast<LPSTR>(static_cast<uintptr_t>(static_cast<unsigned char>(c)));
  }
  CharLowerBuffA(text, static_cast<DWORD>(std::strlen(text)));
  return text;
}
