// NTP.lst: the server list kept apart from the INI file.
#include "app/ServerList.h"

#include <cstdio>

#include "forms/Classes.h"
#include "forms/Exception.h"
#include "settings/FileReplace.h"

// The 10th and the 13th are the same name, as the list has always had it. Every name
// has an IPv4 address (the client asks for nothing else); the providers' names are the
// ones the first-run wizard offers.
const char *const kBuiltInServers[kBuiltInServerCount] = {
    "ntp.nict.jp",          "ntp.jst.mfeed.ad.jp", "ntp1.jst.mfeed.ad.jp",      "ntp2.jst.mfeed.ad.jp",
    "ntp3.jst.mfeed.ad.jp", "ntp1.ocn.ne.jp",      "ats1.e-timing.ne.jp",       "s2csntp.miz.nao.ac.jp",
    "ntp.ring.gr.jp",       "jp.pool.ntp.org",     "0.jp.pool.ntp.org",         "1.jp.pool.ntp.org",
    "jp.pool.ntp.org",      "2.jp.pool.ntp.org",   "3.jp.pool.ntp.org",         "ntp.nc.u-tokyo.ac.jp",
    "ntp1.plala.or.jp",     "ntp.odn.ne.jp",       "ntp.so-net.ne.jp",          "ntp02.dion.ne.jp",
    "ntp.asahi-net.or.jp",  "ntp1.sakura.ad.jp",   "ntp.dnsbalance.ring.gr.jp",
};

namespace {

// A name typed in an editor may carry blanks around it; a host name has none.
std::string Trimmed(const std::string &entry) {
  const size_t first = entry.find_first_not_of(" \t");
  if (first == std::string::npos) return std::string();
  return entry.substr(first, entry.find_last_not_of(" \t") - first + 1);
}

}  // namespace

std::vector<std::string> ParseServerList(const std::string &bytes) {
  const size_t end = bytes.find('\0') == std::string::npos ? bytes.size() : bytes.find('\0');
  std::vector<std::string> entries;
  // Editors that save UTF-8 may start the file with a byte-order mark.
  size_t start = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 && end >= 3 ? 3 : 0;
  for (size_t i = start; i < end; ++i) {
    if (bytes[i] != '\r' && bytes[i] != '\n') continue;
    entries.push_back(Trimmed(bytes.substr(start, i - start)));
    if (bytes[i] == '\r' && i + 1 < end && bytes[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < end) entries.push_back(Trimmed(bytes.substr(start, end - start)));
  // A mark left between blanks at the start would come back as the file's own mark.
  while (!entries.empty() && entries[0].compare(0, 3, "\xEF\xBB\xBF") == 0)
    entries[0] = Trimmed(entries[0].substr(3));
  return entries;
}

std::string FormatServerList(const TStrings &items) {
  std::string text;
  for (int i = 0; i < items.Count(); ++i) text += items.Get(i) + "\r\n";
  return text;
}

void ReadServerListFile(const std::string &path, TStrings &items) {
  std::FILE *f = std::fopen(path.c_str(), "rb");
  if (!f) throw Exception(path + " を読み込めません");
  std::string bytes;
  char buffer[8192];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes.append(buffer, n);
  const bool failed = std::ferror(f) != 0;
  std::fclose(f);
  if (failed) throw Exception(path + " を読み込めません");
  items.BeginUpdate();
  items.Clear();
  for (const std::string &entry : ParseServerList(bytes)) items.Add(entry);
  items.EndUpdate();
}

void WriteServerListFile(const std::string &path, const TStrings &items) {
  if (!ReplaceWholeFile(path, FormatServerList(items))) throw Exception(path + " に書き込めません");
}
