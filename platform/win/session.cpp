// Session end on Windows: the system sends the log-off messages itself.
#include "platform/session.h"

void InstallSessionEndSignals() {}
