// Hidden utility windows: a window handle whose messages go to a C++ function, for the
// components that need one (timers, the tray icon, sockets) but are not controls.
#pragma once

#include <exception>
#include <functional>

#include "platform/winapi.h"

struct TMessage {
  UINT Msg;
  WPARAM WParam;
  LPARAM LParam;
  LRESULT Result;
};

using TWndMethod = std::function<void(TMessage &)>;

// Creates a hidden top-level window (so that it also hears broadcasts such as
// "TaskbarCreated") whose every message is handed to Method. Result starts at 0 and
// is what the window procedure returns; messages the method does not handle must be
// passed on with DefWindowProcA by the method itself. Raises Exception when Windows
// refuses the window.
HWND AllocateHWnd(TWndMethod Method);
// Destroys a window made by AllocateHWnd; nullptr is ignored. Safe from inside the
// window's own method.
void DeallocateHWnd(HWND Wnd);

// Where an exception thrown by a window method ends up: an exception must not unwind
// through DispatchMessage. The application object installs its error report here;
// until then (or when cleared) the message is shown in a plain message box.
extern std::function<void(std::exception &)> ApplicationHandleException;
// Hands E to ApplicationHandleException or, if none, to the plain message box.
void HandleWindowException(std::exception &E);
