// The single-instance guard: one copy of the program per executable name runs at a
// time. The mutex is named after the executable's file name.
#pragma once

#include <string>

// Creates the mutex named after the file name of argv0 and tells whether this process
// is the first to hold it (false: another copy runs, end at once with code 0). Raises
// Exception when the mutex cannot be created at all: running unguarded is no answer.
bool AcquireSingleInstance(const std::string &argv0);
// Releases the mutex at the program's end; harmless when it was never acquired.
void ReleaseSingleInstance();
