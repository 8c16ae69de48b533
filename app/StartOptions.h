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

// What the command line asks of this start besides running: the usage or the version
// (shown, then the program ends with 0), or an option it does not know (refused with
// 2). Options are the parameters that start with "-"; the run-once ones ("-1...") and
// every other parameter keep their old meaning and run the program.
enum class StartCommand { Run, Help, Version, BadOption };
struct StartRequest {
  StartCommand Command = StartCommand::Run;
  std::string Option;  // the refused option
};
StartRequest ParseStartCommand(const std::vector<std::string> &parameters);

// The texts shown for --help and --version; exeName is the program's file name.
std::string ProgramUsageText(const std::string &exeName);
std::string ProgramVersionText();
// Shows what a request other than Run asks for and returns the exit status.
int AnswerStartCommand(const StartRequest &request, const std::string &exePath);
