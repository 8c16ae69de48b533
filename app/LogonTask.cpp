// schtasks.exe commands of the logon task.
#include "app/LogonTask.h"

std::string LogonTaskName(const std::string &User) { return "Horolan (" + User + ")"; }

std::string LogonTaskParameters(bool Register, const std::string &TaskName, const std::string &Exe) {
  const std::string name = "/TN \"" + TaskName + "\"";
  if (!Register) return "/Delete " + name + " /F";
  // The program's path is quoted inside the quoted command, so spaces in it survive.
  return "/Create " + name + " /TR \"\\\"" + Exe + "\\\"\" /SC ONLOGON /RL HIGHEST /F";
}
