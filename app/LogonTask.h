// The scheduled task that starts Horolan with the administrator's rights at logon,
// where setting the clock needs them: its name and the schtasks.exe commands for it.
#pragma once

#include <string>

// One task per Windows user, so that users of one machine do not replace each other's.
std::string LogonTaskName(const std::string &User);
// The schtasks.exe parameters that register the task for Exe (run at this user's logon
// with the highest rights the user has) or, with Register false, remove it.
std::string LogonTaskParameters(bool Register, const std::string &TaskName, const std::string &Exe);
