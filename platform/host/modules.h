// Built-in modules of the host layer: what LoadLibraryA/GetProcAddress can bind.
// A module is a name ("ws2_32.dll") and its exported functions; LoadLibraryA matches
// the file name part of its argument against the name without regard to case, with or
// without ".dll".
#pragma once

#include <string>
#include <vector>

#include "platform/host/types.h"

struct HostExport {
  const char *name;
  FARPROC proc;  // any function, cast with reinterpret_cast<FARPROC>
};

// Registers (or replaces) a module. Registration may happen at any time before the
// module is loaded. A module in a .cpp that nothing else references would be dropped by
// the linker from the static library: register it from HostRegisterBuiltinModules() in
// platform/host/modules.cpp, which the registry calls once, on first use.
void HostRegisterModule(const std::string &name, std::vector<HostExport> exports);
void HostUnregisterModule(const std::string &name);
bool HostModuleRegistered(const std::string &name);
