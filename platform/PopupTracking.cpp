// Popup menus without a display, shared by the host layer and the Windows test seam, so
// both send the owner the same messages in the same order.
#include "platform/PopupTracking.h"

#include <vector>

namespace platform_detail {
namespace {

constexpr LPARAM kHitCaption = 2;  // HTCAPTION
constexpr int kMaxDepth = 16;      // menus can be made to contain themselves; stop somewhere

std::vector<testhooks::PopupMenuItem> ReadItems(HMENU menu, int depth) {
  std::vector<testhooks::PopupMenuItem> items;
  int count = GetMenuItemCount(menu);
  for (int i = 0; i < count; ++i) {
    char text[1024] = {};
    MENUITEMINFOA mii{};
    mii.cbSize = sizeof mii;
    mii.fMask = MIIM_ID | MIIM_STRING | MIIM_FTYPE | MIIM_STATE | MIIM_SUBMENU | MIIM_BITMAP;
    mii.dwTypeData = text;
    mii.cch = sizeof text;
    if (!GetMenuItemInfoA(menu, static_cast<UINT>(i), TRUE, &mii)) continue;
    testhooks::PopupMenuItem item;
    item.id = mii.hSubMenu ? GetMenuItemID(menu, i) : mii.wID;
    if (!(mii.fType & (MFT_SEPARATOR | MFT_BITMAP | MFT_OWNERDRAW))) item.text = text;
    item.type = mii.fType;
    item.state = mii.fState;
    item.isDefault = (mii.fState & MFS_DEFAULT) != 0;
    item.hasBitmap = mii.hbmpItem != nullptr || (mii.fType & MFT_BITMAP) != 0;
    if (mii.hSubMenu && depth < kMaxDepth) item.subItems = ReadItems(mii.hSubMenu, depth + 1);
    items.push_back(item);
  }
  return items;
}

// True when the user could click an item with this command: enabled, not a separator,
// not a submenu's title.
bool Clickable(HMENU menu, UINT id, int depth) {
  int count = GetMenuItemCount(menu);
  for (int i = 0; i < count; ++i) {
    MENUITEMINFOA mii{};
    mii.cbSize = sizeof mii;
    mii.fMask = MIIM_ID | MIIM_FTYPE | MIIM_STATE | MIIM_SUBMENU;
    if (!GetMenuItemInfoA(menu, static_cast<UINT>(i), TRUE, &mii)) continue;
    if (mii.hSubMenu) {
      if (depth < kMaxDepth && Clickable(mii.hSubMenu, id, depth + 1)) return true;
      continue;
    }
    if (mii.wID == id && !(mii.fType & MFT_SEPARATOR) && !(mii.fState & MFS_GRAYED)) return true;
  }
  return false;
}

}  // namespace

BOOL TrackPopupWithoutDisplay(HMENU menu, UINT flags, int x, int y, HWND owner) {
  if (!IsMenu(menu)) {
    SetLastError(ERROR_INVALID_MENU_HANDLE);
    return FALSE;
  }
  if (!IsWindow(owner)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  const bool notify = !(flags & TPM_NONOTIFY);
  // What Wine's user32 sends, in its order (TPM_NONOTIFY keeps back only four of
  // them). The owner may still fill the menu in WM_INITMENUPOPUP: items are read after.
  if (notify) SendMessageA(owner, WM_ENTERMENULOOP, TRUE, 0);
  SendMessageA(owner, WM_SETCURSOR, reinterpret_cast<WPARAM>(owner), kHitCaption);
  if (notify) SendMessageA(owner, WM_INITMENU, reinterpret_cast<WPARAM>(menu), 0);
  if (notify) SendMessageA(owner, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(menu), 0);

  testhooks::PopupMenuCall call;
  call.menu = menu;
  call.x = x;
  call.y = y;
  call.flags = flags;
  call.owner = owner;
  unsigned choice = 0;
  if (IsMenu(menu)) {
    call.items = ReadItems(menu, 0);
    if (!testhooks::internal::CapturePopupMenu(call, &choice)) choice = 0;
    if (choice != 0 && (!IsMenu(menu) || !Clickable(menu, choice, 0))) choice = 0;
  }

  if (notify) SendMessageA(owner, WM_UNINITMENUPOPUP, reinterpret_cast<WPARAM>(menu), 0);
  SendMessageA(owner, WM_MENUSELECT, MAKEWPARAM(0, 0xFFFF), 0);
  SendMessageA(owner, WM_EXITMENULOOP, TRUE, 0);
  if (flags & TPM_RETURNCMD) return static_cast<BOOL>(choice);
  if (choice != 0 && IsWindow(owner)) PostMessageA(owner, WM_COMMAND, choice, 0);
  return TRUE;
}

}  // namespace platform_detail
