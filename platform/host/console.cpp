// Lines on stderr with the journal's level prefixes, and the command line's answers
// on the terminal.
#include "platform/host/console.h"

#include <errno.h>
#include <iconv.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include "platform/console.h"

bool HostStderrIsJournal() {
  const char *stream = getenv("JOURNAL_STREAM");
  if (!stream || !*stream) return false;
  struct stat st {};
  if (fstat(STDERR_FILENO, &st) != 0) return false;
  unsigned long long dev = 0, ino = 0;
  char tail = 0;
  if (sscanf(stream, "%llu:%llu%c", &dev, &ino, &tail) != 2) return false;
  return dev == static_cast<unsigned long long>(st.st_dev) &&
         ino == static_cast<unsigned long long>(st.st_ino);
}

void HostReportLine(int level, const std::string &line) {
  std::string out = HostStderrIsJournal() ? "<" + std::to_string(level) + ">" : std::string();
  out += line + "\n";
  fwrite(out.data(), 1, out.size(), stderr);
  fflush(stderr);
}

std::string HostCp932ToUtf8(const std::string &in) {
  iconv_t cd = iconv_open("UTF-8", "CP932");
  if (cd == reinterpret_cast<iconv_t>(-1)) return in;
  std::string out;
  std::vector<char> buf(in.size() * 4 + 16);
  char *src = const_cast<char *>(in.data());
  size_t srcLeft = in.size();
  while (srcLeft > 0) {
    char *dst = buf.data();
    size_t dstLeft = buf.size();
    size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    out.append(buf.data(), dst);
    if (r == static_cast<size_t>(-1) && errno != E2BIG) {
      out += '?';  // not CP932: shown, not dropped
      ++src;
      --srcLeft;
    }
  }
  iconv_close(cd);
  return out;
}

void ShowCommandLineText(const std::string &text, bool error) {
  const std::string utf8 = HostCp932ToUtf8(text);
  if (!error) {
    fwrite(utf8.data(), 1, utf8.size(), stdout);
    if (!utf8.empty() && utf8.back() != '\n') fputc('\n', stdout);
    fflush(stdout);
    return;
  }
  size_t start = 0;
  while (start < utf8.size()) {
    size_t end = utf8.find('\n', start);
    if (end == std::string::npos) end = utf8.size();
    HostReportLine(HostLevelError, "horolan: " + utf8.substr(start, end - start));
    start = end + 1;
  }
}
