// The host layer's lines on stderr (tray reports, message boxes, refusals). Under
// systemd stderr is often the journal: then each line starts with the "<n>" level
// prefix the journal reads, so errors and warnings keep their severity there.
#pragma once

#include <string>

enum HostLevel { HostLevelError = 3, HostLevelWarning = 4, HostLevelInfo = 6 };

// Writes one line (UTF-8, without its line end) to stderr, prefixed "<level>" only when
// JOURNAL_STREAM names stderr's own device and inode, as systemd sets it.
void HostReportLine(int level, const std::string &line);
bool HostStderrIsJournal();

// CP932 text in UTF-8 for the terminal; a byte that is not CP932 shows as '?'.
std::string HostCp932ToUtf8(const std::string &in);
