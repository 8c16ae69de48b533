// The host layer's shell folders: the application-data folder is the XDG config home.
#include <errno.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/winapi.h"

namespace {

std::string FolderOf(int csidl) {
  const char *home = getenv("HOME");
  std::string homeDir = home && *home == '/' ? home : "";
  const char *xdg = nullptr;
  const char *fallback = nullptr;
  switch (csidl & 0xFF) {
    case CSIDL_APPDATA:
      xdg = getenv("XDG_CONFIG_HOME");
      fallback = "/.config";
      break;
    case CSIDL_LOCAL_APPDATA:
      xdg = getenv("XDG_DATA_HOME");
      fallback = "/.local/share";
      break;
    default:
      return "";
  }
  // Relative XDG paths are to be ignored, as the XDG base-directory rules say.
  if (xdg && *xdg == '/') return xdg;
  return homeDir.empty() ? "" : homeDir + fallback;
}

bool MakeAll(const std::string &path) {
  struct stat st;
  if (stat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  size_t slash = path.find_last_of('/');
  if (slash != std::string::npos && slash > 0 && !MakeAll(path.substr(0, slash))) return false;
  return mkdir(path.c_str(), 0700) == 0 || errno == EEXIST;
}

}  // namespace

BOOL WINAPI SHGetSpecialFolderPathA(HWND, LPSTR path, int csidl, BOOL create) {
  std::string folder = FolderOf(csidl);
  if (!path || folder.empty() || folder.size() >= MAX_PATH) return FALSE;
  struct stat st;
  bool exists = stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
  if (!exists && !(create && MakeAll(folder))) return FALSE;
  strcpy(path, folder.c_str());
  return TRUE;
}
