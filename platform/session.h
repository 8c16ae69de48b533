// The end of the user's session as the program sees it. Windows ends a session with
// WM_QUERYENDSESSION/WM_ENDSESSION on its own; the host layer turns SIGTERM, SIGINT and
// SIGHUP into those messages once the program asks for it here.
#pragma once

// Call once at start, before the message loop runs.
void InstallSessionEndSignals();
