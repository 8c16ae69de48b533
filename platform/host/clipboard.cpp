// Global memory handles and the clipboard of the host layer: one process-wide clipboard
// with CF_TEXT only, opened by one window at a time, owning the memory put on it, as on
// Windows. Nothing is shared with other processes.
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>

#include "platform/winapi.h"

namespace {

struct Block {
  std::unique_ptr<unsigned char[]> bytes;
  SIZE_T size = 0;
  int locks = 0;
};

struct Clipboard {
  std::map<HGLOBAL, Block> blocks;
  uintptr_t nextHandle = 0x40000;
  bool open = false;
  HWND openedBy = nullptr;
  HGLOBAL text = nullptr;  // owned by the clipboard
};

Clipboard &C() {
  static Clipboard *c = new Clipboard;  // never destroyed, like the rest of the host state
  return *c;
}

Block *FindBlock(HGLOBAL mem) {
  auto it = C().blocks.find(mem);
  return it == C().blocks.end() ? nullptr : &it->second;
}

}  // namespace

HGLOBAL WINAPI GlobalAlloc(UINT flags, SIZE_T bytes) {
  Clipboard &c = C();
  HGLOBAL h = reinterpret_cast<HGLOBAL>(c.nextHandle);
  c.nextHandle += 8;
  Block b;
  b.bytes.reset(new (std::nothrow) unsigned char[bytes ? bytes : 1]);
  if (!b.bytes) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  if (flags & GMEM_ZEROINIT) memset(b.bytes.get(), 0, bytes ? bytes : 1);
  b.size = bytes;
  c.blocks[h] = std::move(b);
  return h;
}

LPVOID WINAPI GlobalLock(HGLOBAL mem) {
  Block *b = FindBlock(mem);
  if (!b) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  ++b->locks;
  return b->bytes.get();
}

BOOL WINAPI GlobalUnlock(HGLOBAL mem) {
  Block *b = FindBlock(mem);
  if (!b) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (b->locks > 0) --b->locks;
  // Windows: TRUE while still locked, FALSE with NO_ERROR once unlocked.
  SetLastError(NO_ERROR);
  return b->locks > 0 ? TRUE : FALSE;
}

SIZE_T WINAPI GlobalSize(HGLOBAL mem) {
  Block *b = FindBlock(mem);
  return b ? b->size : 0;
}

HGLOBAL WINAPI GlobalFree(HGLOBAL mem) {
  if (!mem) return nullptr;
  if (!C().blocks.erase(mem)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return mem;
  }
  return nullptr;
}

BOOL WINAPI OpenClipboard(HWND owner) {
  Clipboard &c = C();
  if (c.open && c.openedBy != owner) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  c.open = true;
  c.openedBy = owner;
  return TRUE;
}

BOOL WINAPI CloseClipboard() {
  Clipboard &c = C();
  if (!c.open) return FALSE;
  c.open = false;
  c.openedBy = nullptr;
  return TRUE;
}

BOOL WINAPI EmptyClipboard() {
  Clipboard &c = C();
  if (!c.open) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (c.text) GlobalFree(c.text);
  c.text = nullptr;
  return TRUE;
}

HANDLE WINAPI SetClipboardData(UINT format, HANDLE mem) {
  Clipboard &c = C();
  if (!c.open || format != CF_TEXT || !FindBlock(mem)) {
    SetLastError(c.open ? ERROR_INVALID_PARAMETER : ERROR_ACCESS_DENIED);
    return nullptr;
  }
  if (c.text && c.text != mem) GlobalFree(c.text);
  c.text = mem;
  return mem;
}

HANDLE WINAPI GetClipboardData(UINT format) {
  Clipboard &c = C();
  if (!c.open || format != CF_TEXT) return nullptr;
  return c.text;
}

BOOL WINAPI IsClipboardFormatAvailable(UINT format) { return format == CF_TEXT && C().text ? TRUE : FALSE; }
