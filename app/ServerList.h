// The NTP server list: the built-in host names that seed NTP.lst, and reading and
// writing that file (CP932 text, one host name a line).
#pragma once

#include <string>
#include <vector>

class TStrings;

// Public NTP servers in Japan, in the order the list shows them. Only used to create
// NTP.lst when it is missing; from then on the file is the list.
constexpr int kBuiltInServerCount = 23;
extern const char *const kBuiltInServers[kBuiltInServerCount];

// The entries of NTP.lst's bytes: a line ends at CR LF, a lone CR or a lone LF; the
// text ends at the end of the bytes or at the first NUL. Empty lines are entries; a
// final line end does not start another entry.
std::vector<std::string> ParseServerList(const std::string &bytes);

// Every entry followed by CR LF, nothing else.
std::string FormatServerList(const TStrings &items);

// Replaces items' entries by the file's. Raises Exception when the file cannot be read.
void ReadServerListFile(const std::string &path, TStrings &items);

// Writes items as one whole-file replacement: a failed write leaves the old file intact
// and raises Exception naming the path.
void WriteServerListFile(const std::string &path, const TStrings &items);
