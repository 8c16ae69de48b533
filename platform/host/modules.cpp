// The host layer's module loader: LoadLibraryA and GetProcAddress bind the built-in
// modules registered here, so code above the platform binds them as it binds DLLs.
#include "platform/host/modules.h"

#include <sys/stat.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>

#include "platform/winapi.h"

namespace {

struct Module {
  std::string name;  // as registered
  std::map<std::string, FARPROC> exports;
  int loads = 0;
  HMODULE handle = nullptr;
};

struct Registry {
  std::recursive_mutex lock;
  std::map<std::string, Module> modules;  // key: lower-case name without ".dll"
  uintptr_t nextHandle = 0x7A000000;
  bool builtinsRegistered = false;
};

Registry &R() {
  static Registry *r = new Registry;
  return *r;
}

// Built-in modules whose code lives in other files of the host layer are registered
// here (a direct call, so the linker keeps them): add one line per module file.
void HostRegisterBuiltinModules() { HostRegisterWinsockModules(); }

void EnsureBuiltins() {
  Registry &r = R();
  if (r.builtinsRegistered) return;
  r.builtinsRegistered = true;
  HostRegisterBuiltinModules();
}

// "C:\dir\WS2_32.DLL", "ws2_32.dll" and "ws2_32" all name the module "ws2_32".
std::string ModuleKey(const std::string &path) {
  size_t slash = path.find_last_of("/\\");
  std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  for (char &c : base)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  if (base.size() > 4 && base.compare(base.size() - 4, 4, ".dll") == 0) base.resize(base.size() - 4);
  return base;
}

Module *ByHandle(HMODULE h) {
  for (auto &m : R().modules)
    if (m.second.handle == h && m.second.loads > 0) return &m.second;
  return nullptr;
}

}  // namespace

void HostRegisterModule(const std::string &name, std::vector<HostExport> exports) {
  Registry &r = R();
  std::lock_guard<std::recursive_mutex> g(r.lock);
  Module &m = r.modules[ModuleKey(name)];
  m.name = name;
  m.exports.clear();
  for (const HostExport &e : exports) m.exports[e.name] = e.proc;
}

void HostUnregisterModule(const std::string &name) {
  Registry &r = R();
  std::lock_guard<std::recursive_mutex> g(r.lock);
  EnsureBuiltins();
  r.modules.erase(ModuleKey(name));
}

bool HostModuleRegistered(const std::string &name) {
  Registry &r = R();
  std::lock_guard<std::recursive_mutex> g(r.lock);
  EnsureBuiltins();
  return r.modules.count(ModuleKey(name)) != 0;
}

HMODULE WINAPI LoadLibraryA(LPCSTR name) {
  Registry &r = R();
  std::lock_guard<std::recursive_mutex> g(r.lock);
  EnsureBuiltins();
  auto it = name ? r.modules.find(ModuleKey(name)) : r.modules.end();
  if (it == r.modules.end()) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  Module &m = it->second;
  if (m.loads++ == 0) {
    m.handle = reinterpret_cast<HMODULE>(r.nextHandle);
    r.nextHandle += 0x10000;
  }
  return m.handle;
}

FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR name) {
  Registry &r = R();
  std::lock_guard<std::recursive_mutex> g(r.lock);
  Module *m = ByHandle(module);
  if (!m) {
    SetLastError(module ? ERROR_MOD_NOT_FOUND : ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  // Ordinals are not exported by the built-in modules.
  if (!name || reinterpret_cast<uintptr_t>(name) < 0x10000) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  auto it = m->exports.find(name);
  if (it == m->exports.end()) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  return it->second;
}

BOOL WINAPI FreeLibrary(HMODULE module) {
  Registry &r = R();
  std::lock_guard<std::recursive_mutex> g(r.lock);
  Module *m = ByHandle(module);
  if (!m) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return FALSE;
  }
  if (--m->loads == 0) m->handle = nullptr;
  return TRUE;
}

HMODULE WINAPI GetModuleHandleA(LPCSTR name) {
  if (!name) return reinterpret_cast<HMODULE>(0x400000);  // the program itself
  Registry &r = R();
  std::lock_guard<std::recursive_mutex> g(r.lock);
  auto it = r.modules.find(ModuleKey(name));
  if (it == r.modules.end() || it->second.loads == 0) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  return it->second.handle;
}

HFILE WINAPI OpenFile(LPCSTR fileName, LPOFSTRUCT of, UINT style) {
  if (!of) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return HFILE_ERROR;
  }
  memset(of, 0, sizeof *of);
  of->cBytes = sizeof *of;
  of->fFixedDisk = 1;
  std::string found;
  if (fileName && (style & OF_EXIST)) {
    bool hasPath = strpbrk(fileName, "/\\") != nullptr;
    if (!hasPath && HostModuleRegistered(fileName)) {
      // Built-in modules live in the system folder, as far as the caller can tell.
      std::string key = ModuleKey(fileName);
      found = "C:\\windows\\system32\\" + key + ".dll";
    } else {
      struct stat st;
      char full[PATH_MAX];
      if (stat(fileName, &st) == 0 && !S_ISDIR(st.st_mode))
        found = realpath(fileName, full) ? full : fileName;
    }
  }
  if (found.empty()) {
    of->nErrCode = static_cast<WORD>(style & OF_EXIST ? ERROR_FILE_NOT_FOUND : ERROR_NOT_SUPPORTED);
    SetLastError(of->nErrCode);
    return HFILE_ERROR;
  }
  strncpy(of->szPathName, found.c_str(), sizeof of->szPathName - 1);
  return 1;
}

namespace testhooks {
bool OfferModule(const std::string &name, const std::vector<std::pair<std::string, void (*)()>> &exports) {
  std::vector<HostExport> list;
  for (const auto &e : exports)
    list.push_back(HostExport{e.first.c_str(), reinterpret_cast<FARPROC>(e.second)});
  HostRegisterModule(name, list);
  return true;
}
bool WithdrawModule(const std::string &name) {
  HostUnregisterModule(name);
  return true;
}
}  // namespace testhooks
