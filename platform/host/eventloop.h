// Hooks of the host layer's message loop for the other parts of the host layer (the
// Winsock layer watches its sockets here) and for host-only tests. Everything runs on
// the thread that pumps messages; nothing here is thread-safe.
#pragma once

#include <functional>

// Calls `callback(fd, revents)` from inside GetMessageA/PeekMessageA/WaitMessage when
// poll() reports any of `events` (POLLIN, POLLOUT, ...) for fd; POLLERR/POLLHUP are
// passed on too when events is not 0. Watching an fd again replaces its events and
// callback. poll() is level-triggered: a watcher that does not consume what it is told
// about must narrow its events (0 keeps the fd registered but not polled), or the loop
// never sleeps. The callback may watch, unwatch or post messages.
void HostWatchFd(int fd, short events, std::function<void(int fd, short revents)> callback);
void HostUnwatchFd(int fd);

// Turns SIGTERM, SIGINT and SIGHUP into WM_QUERYENDSESSION then WM_ENDSESSION(TRUE)
// sent to every top-level window from the message loop, as at a Windows log-off.
// The program calls it once at start; nothing is installed before that.
void HostInstallSessionSignals();

// Makes the next loop wake-up see a resume from sleep, as if CLOCK_BOOTTIME had run
// ahead of CLOCK_MONOTONIC: top-level windows then get WM_POWERBROADCAST with
// PBT_APMRESUMEAUTOMATIC and PBT_APMRESUMESUSPEND.
void HostSimulateResume();
