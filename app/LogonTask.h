// The scheduled task that starts Horolan with the administrator's rights at logon,
// where setting the clock needs them: its name, its definition and the schtasks.exe
// commands that register and remove it.
#pragma once

#include <string>

// One task per Windows user, so that users of one machine do not replace each other's.
std::string LogonTaskName(const std::string &User);
// The task's definition: start Exe at User's logon, in User's session, with the highest
// rights User has; never stopped after a time limit or for running on batteries, which a
// resident program would otherwise be (three days is the scheduler's default).
std::string LogonTaskDefinition(const std::string &User, const std::string &Exe);
// The schtasks.exe parameters that register the task from the definition file or, with
// Register false, remove it.
std::string LogonTaskParameters(bool Register, const std::string &TaskName,
                                const std::string &DefinitionFile);
