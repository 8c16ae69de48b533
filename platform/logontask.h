// Whether the task that starts the program at logon is registered with the Task
// Scheduler. Registering and removing it go through schtasks.exe, started elevated.
#pragma once

#include <string>

enum class TLogonTaskState {
  Unavailable,  // no Task Scheduler to ask (the host layer)
  Absent,
  Registered,
};

// Looks for a task of that name in the scheduler's root folder. On Windows a scheduler
// that cannot be asked counts as holding no such task, so the user may still register it.
TLogonTaskState QueryLogonTask(const std::string &Name);
