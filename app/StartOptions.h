// What the program learns about itself at start: its executable's path, the command
// line's parameters and whether this start is a run-once start.
#pragma once

#include <string>
#include <vector>

// The full path of the running executable.
std::string ModuleFileName();

// The parameters of a command line, split by the Windows rules, without the program
// name that comes first.
std::vector<std::string> SplitParameters(const std::string &commandLine);
// SplitParameters of this process's command line.
std::vector<std::string> CommandLineParameters();

// Run-once mode: the executable's base name ends in "x1" in any letter case, or a
// parameter starts with "/1" or "-1", or the INI switch is on. No source turns it off.
bool DecideRunOnce(const std::string &exePath, const std::vector<std::string> &parameters, bool iniSwitch);
