// Small helpers several test suites share: the test executable's own path, whole-file
// reads and writes, and calendar times.
#pragma once

#include <fstream>
#include <sstream>
#include <string>

#include "platform/winapi.h"

namespace testsupport {

inline std::string OwnPath() {
  char path[4096] = {};
  GetModuleFileNameA(nullptr, path, sizeof path - 1);
  return path;
}

inline std::string ReadAll(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream all;
  all << in.rdbuf();
  return all.str();
}

inline bool WriteAll(const std::string &path, const std::string &bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
  return bool(out.flush());
}

inline SYSTEMTIME Civil(WORD y, WORD mo, WORD d, WORD h = 0, WORD mi = 0, WORD s = 0, WORD ms = 0) {
  SYSTEMTIME st{};
  st.wYear = y;
  st.wMonth = mo;
  st.wDay = d;
  st.wHour = h;
  st.wMinute = mi;
  st.wSecond = s;
  st.wMilliseconds = ms;
  return st;
}

}  // namespace testsupport
