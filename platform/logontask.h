// The task that starts the program at logon: whether the Task Scheduler holds it, and
// its definition written where schtasks.exe, started elevated, can read it.
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

// Writes a task definition (XML in the ANSI code page, declared UTF-16) as the Task
// Scheduler reads it, UTF-16 with a byte-order mark, under FileName in the user's
// temporary folder. Returns the file's full path, or "" when it could not be written.
std::string WriteTaskDefinition(const std::string &FileName, const std::string &Xml);
