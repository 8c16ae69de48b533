// The host layer has no Task Scheduler: starting at logon is left to the session's
// own means (a systemd unit, cron). Only tests reach the task here, through the seam.
#include "platform/logontask.h"

#include <errno.h>
#include <iconv.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/testhooks.h"

TLogonTaskState QueryLogonTask(const std::string &) {
  const int fake = testhooks::internal::FakeLogonTask();
  if (fake >= 0) return fake ? TLogonTaskState::Registered : TLogonTaskState::Absent;
  return TLogonTaskState::Unavailable;
}

std::string WriteTaskDefinition(const std::string &FileName, const std::string &Xml) {
  iconv_t cd = iconv_open("UTF-16LE", "CP932");
  if (cd == reinterpret_cast<iconv_t>(-1)) return "";
  std::vector<char> wide(2 + Xml.size() * 4 + 16);
  wide[0] = '\xFF';
  wide[1] = '\xFE';
  char *src = const_cast<char *>(Xml.data());
  size_t srcLeft = Xml.size();
  char *dst = wide.data() + 2;
  size_t dstLeft = wide.size() - 2;
  const bool converted = iconv(cd, &src, &srcLeft, &dst, &dstLeft) != static_cast<size_t>(-1);
  iconv_close(cd);
  if (!converted) return "";
  const char *tmp = std::getenv("TMPDIR");
  const std::string path = std::string(tmp && *tmp == '/' ? tmp : "/tmp") + "/" + FileName;
  std::FILE *f = std::fopen(path.c_str(), "wb");
  if (!f) return "";
  const size_t size = static_cast<size_t>(dst - wide.data());
  const bool written = std::fwrite(wide.data(), 1, size, f) == size;
  return std::fclose(f) == 0 && written ? path : "";
}
