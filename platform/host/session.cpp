// Session end on the host layer: termination signals become the log-off messages.
#include "platform/session.h"

#include "platform/host/eventloop.h"

void InstallSessionEndSignals() { HostInstallSessionSignals(); }
