// A popup menu "shown" without a display: the owner gets the notifications of a real
// menu and the pick comes from the test seam (nothing picked when it is not captured).
// The host layer's TrackPopupMenu is this; on Windows the seam uses it while captured.
#pragma once

#include "platform/winapi.h"

namespace platform_detail {

// Returns what TrackPopupMenuEx returns: the pick (0: none) with TPM_RETURNCMD, else
// TRUE (FALSE with an error for a bad menu or owner). Without TPM_RETURNCMD a pick is
// posted to the owner as WM_COMMAND.
BOOL TrackPopupWithoutDisplay(HMENU menu, UINT flags, int x, int y, HWND owner);

}  // namespace platform_detail
