// Whole-file replacement through a temporary file beside the target.
#include "settings/FileReplace.h"

#include <cstdio>

#include "platform/winapi.h"

bool ReplaceWholeFile(const std::string &path, const std::string &bytes) {
  const std::string temp = path + ".tmp";
  std::FILE *f = std::fopen(temp.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  ok = std::fflush(f) == 0 && ok;
  ok = std::fclose(f) == 0 && ok;
  if (ok)
    ok = MoveFileExA(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
  if (!ok) DeleteFileA(temp.c_str());
  return ok;
}
