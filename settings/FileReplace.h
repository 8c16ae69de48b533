// Whole-file replacement for the files the program writes back (the INI file, the
// server list): an interrupted or refused write leaves the old file as it was.
#pragma once

#include <string>

// Writes bytes to path + ".tmp", flushes it and renames it over path. false when any
// step fails; the temporary file is then removed and path is untouched.
bool ReplaceWholeFile(const std::string &path, const std::string &bytes);
