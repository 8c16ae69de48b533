// Utility routines of the application (see BIOS.h).
#include "app/BIOS.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/winapi.h"
#include "settings/IniFile.h"

const char *const VersionItems[8] = {
    "\\CompanyName",    "\\FileDescription",  "\\FileVersion", "\\InternalName",
    "\\LegalCopyright", "\\OriginalFilename", "\\ProductName", "\\ProductVersion",
};

namespace {

bool IsLeadByte(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

// Where the file-name part of a path starts. Scanned character by character, since the
// second byte of a CP932 character can be a backslash (0x5C, as in "表").
size_t NameStart(const std::string &path) {
  size_t start = 0;
  for (size_t i = 0; i < path.size(); ++i) {
    const char c = path[i];
    if (IsLeadByte(static_cast<unsigned char>(c)) && i + 1 < path.size()) {
      ++i;
    } else if (c == '\\' || c == '/' || c == ':') {
      start = i + 1;
    }
  }
  return start;
}

std::string ModuleFileName() {
  // A path longer than MAX_PATH is truncated (without NUL on older Windows): grow.
  for (DWORD size = MAX_PATH; size <= 32768; size *= 2) {
    std::vector<char> buf(size + 1, '\0');
    const DWORD n = GetModuleFileNameA(nullptr, buf.data(), size);
    if (n == 0) return std::string();
    if (n < size) return std::string(buf.data(), n);
  }
  return std::string();
}

}  // namespace

const std::string &ProgramIniPath() {
  static const std::string path = ChangeFileExt(ModuleFileName(), ".ini");
  return path;
}

std::string GetLogonUserName() {
  char name[257] = {};
  DWORD size = 256;
  if (!GetUserNameA(name, &size)) return std::string();
  return std::string(name);
}

std::string ExtractBaseName(const std::string &fileName) {
  const std::string name = fileName.substr(NameStart(fileName));
  const size_t dot = name.rfind('.');  // 0x2E is never the second byte of a CP932 character
  return dot == std::string::npos ? name : name.substr(0, dot);
}

std::string ChangeFileExt(const std::string &fileName, const std::string &ext) {
  const size_t start = NameStart(fileName);
  const size_t dot = fileName.rfind('.');
  if (dot == std::string::npos || dot < start) return fileName + ext;
  return fileName.substr(0, dot) + ext;
}

bool ReadIniBool(const std::string &section, const std::string &key, bool def) {
  try {
    return IniFile(ProgramIniPath()).ReadBool(section, key, def, true);
  } catch (...) {
    return def;  // an unreadable file counts as a missing one
  }
}

std::string GetVersionInfoText(const std::string &fileName, int index) {
  if (index < 0 || index > 7) index = 2;
  const std::string item = VersionItems[index] + 1;  // without the backslash
  DWORD handle = 0;
  const DWORD size = GetFileVersionInfoSizeA(fileName.c_str(), &handle);
  if (size == 0) return "unidentified";
  std::vector<char> data(size);
  if (!GetFileVersionInfoA(fileName.c_str(), handle, size, data.data())) return "unidentified";

  void *value = nullptr;
  UINT length = 0;
  // Fewer than four bytes hold no translation to read.
  if (!VerQueryValueA(data.data(), "\\VarFileInfo\\Translation", &value, &length) || length < 4)
    return "unidentified";
  DWORD translation;
  std::memcpy(&translation, value, sizeof translation);
  char table[9];
  std::snprintf(table, sizeof table, "%04X%04X", static_cast<unsigned>(translation & 0xFFFF),
                static_cast<unsigned>(translation >> 16));

  const std::string query = std::string("\\StringFileInfo\\") + table + VersionItems[index];
  value = nullptr;
  length = 0;
  if (VerQueryValueA(data.data(), query.c_str(), &value, &length) && length > 0 && value != nullptr) {
    // The length may or may not count the NUL; the text ends at either.
    return item + " : " +
           std::string(static_cast<const char *>(value), strnlen(static_cast<const char *>(value), length));
  }
  return item + " : None";
}
