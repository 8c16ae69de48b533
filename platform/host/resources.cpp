// The host layer's resource table. Generated sources (cmake/Resources.cmake) register
// their entries from static initialisers before main; lookups follow Windows' rules
// for integer and string names.
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "platform/winapi.h"

namespace {

const HMODULE kProgram = reinterpret_cast<HMODULE>(0x400000);  // GetModuleHandleA(NULL)

struct Table {
  std::mutex lock;
  std::vector<const HostResourceEntry *> entries;
};

Table &T() {
  static Table *t = new Table;  // registered from static initialisers, used until exit
  return *t;
}

struct Key {
  bool isId = false;
  unsigned id = 0;
  std::string name;  // upper case
};

bool ParseKey(LPCSTR s, Key *out) {
  if (!s) return false;
  if (IS_INTRESOURCE(s)) {
    out->isId = true;
    out->id = static_cast<unsigned>(reinterpret_cast<ULONG_PTR>(s));
    return true;
  }
  if (s[0] == '#') {
    // "#123" names the integer resource 123.
    unsigned v = 0;
    const char *p = s + 1;
    if (!*p) return false;
    for (; *p; ++p) {
      if (*p < '0' || *p > '9') return false;
      v = v * 10 + static_cast<unsigned>(*p - '0');
      if (v > 0xFFFF) return false;
    }
    out->isId = true;
    out->id = v;
    return true;
  }
  out->isId = false;
  for (const char *p = s; *p; ++p) out->name += (*p >= 'a' && *p <= 'z') ? static_cast<char>(*p - 32) : *p;
  return true;
}

bool Matches(const Key &k, unsigned id, const char *name) {
  if (k.isId) return !name && id == k.id;
  if (!name) return false;
  Key other;
  ParseKey(name, &other);
  return !other.isId && other.name == k.name;
}

}  // namespace

void HostRegisterResources(const HostResourceEntry *entries, size_t count) {
  std::lock_guard<std::mutex> g(T().lock);
  for (size_t i = 0; i < count; ++i) T().entries.push_back(&entries[i]);
}

HRSRC WINAPI FindResourceA(HMODULE module, LPCSTR name, LPCSTR type) {
  if (module && module != kProgram) {
    SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
    return nullptr;
  }
  Key typeKey, nameKey;
  if (!ParseKey(type, &typeKey)) {
    SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
    return nullptr;
  }
  if (!ParseKey(name, &nameKey)) {
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
  }
  std::lock_guard<std::mutex> g(T().lock);
  bool typeSeen = false;
  for (const HostResourceEntry *e : T().entries) {
    if (!Matches(typeKey, e->typeId, e->typeName)) continue;
    typeSeen = true;
    if (Matches(nameKey, e->nameId, e->nameName))
      return reinterpret_cast<HRSRC>(const_cast<HostResourceEntry *>(e));
  }
  SetLastError(typeSeen ? ERROR_RESOURCE_NAME_NOT_FOUND : ERROR_RESOURCE_TYPE_NOT_FOUND);
  return nullptr;
}

HGLOBAL WINAPI LoadResource(HMODULE, HRSRC resource) {
  if (!resource) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  const HostResourceEntry *e = reinterpret_cast<const HostResourceEntry *>(resource);
  return const_cast<unsigned char *>(e->data);
}

LPVOID WINAPI LockResource(HGLOBAL data) { return data; }

DWORD WINAPI SizeofResource(HMODULE, HRSRC resource) {
  if (!resource) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  return static_cast<DWORD>(reinterpret_cast<const HostResourceEntry *>(resource)->size);
}

// Resources stay mapped for the life of the process, as in Win32.
BOOL WINAPI FreeResource(HGLOBAL) { return FALSE; }
