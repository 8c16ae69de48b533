// The host layer's menus: handles, items and their states as user32 keeps them.
// MF_BYCOMMAND looks into submenus too, as Windows does; the default item is the item
// whose state carries MFS_DEFAULT.
#include <algorithm>
#include <cstddef>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/PopupTracking.h"
#include "platform/winapi.h"

namespace {

struct Item {
  UINT type = MFT_STRING;
  UINT state = 0;
  UINT id = 0;
  HMENU subMenu = nullptr;
  HBITMAP checked = nullptr, unchecked = nullptr, bitmap = nullptr;
  ULONG_PTR data = 0;
  std::string text;
  bool hasText = false;
};

struct Menu {
  bool popup = false;
  std::vector<Item> items;
};

struct Menus {
  std::map<HMENU, std::unique_ptr<Menu>> menus;
  uintptr_t next = 0x40000;
};

Menus &M() {
  static Menus *m = new Menus;  // never destroyed: menus may die in static destructors
  return *m;
}

Menu *Find(HMENU h) {
  auto it = M().menus.find(h);
  return it == M().menus.end() ? nullptr : it->second.get();
}

Menu *FindOrFail(HMENU h) {
  Menu *m = Find(h);
  if (!m) SetLastError(ERROR_INVALID_MENU_HANDLE);
  return m;
}

HMENU NewMenu(bool popup) {
  HMENU h = reinterpret_cast<HMENU>(M().next);
  M().next += 4;
  auto m = std::make_unique<Menu>();
  m->popup = popup;
  M().menus[h] = std::move(m);
  return h;
}

// Locates an item: by position in this menu, or by command in this menu and its
// submenus (depth first, as Windows searches).
struct Where {
  Menu *menu = nullptr;
  size_t index = 0;
};

bool FindByCommand(Menu *m, UINT id, Where *out, int depth) {
  if (depth > 16) return false;
  for (size_t i = 0; i < m->items.size(); ++i) {
    Item &it = m->items[i];
    if (it.subMenu) {
      Menu *sub = Find(it.subMenu);
      if (sub && FindByCommand(sub, id, out, depth + 1)) return true;
      // A popup item is found by its handle used as a command, as Windows allows.
      if (reinterpret_cast<UINT_PTR>(it.subMenu) == id) {
        *out = Where{m, i};
        return true;
      }
      continue;
    }
    if (it.id == id) {
      *out = Where{m, i};
      return true;
    }
  }
  return false;
}

bool Locate(HMENU h, UINT item, bool byPosition, Where *out) {
  Menu *m = FindOrFail(h);
  if (!m) return false;
  if (byPosition) {
    if (item >= m->items.size()) return false;
    *out = Where{m, item};
    return true;
  }
  return FindByCommand(m, item, out, 0);
}

void DestroyTree(HMENU h, int depth) {
  auto it = M().menus.find(h);
  if (it == M().menus.end()) return;
  std::unique_ptr<Menu> m = std::move(it->second);
  M().menus.erase(it);
  if (depth > 16) return;
  for (Item &i : m->items)
    if (i.subMenu) DestroyTree(i.subMenu, depth + 1);
}

// Builds an item from the legacy AppendMenu/InsertMenu/ModifyMenu arguments.
bool ItemFromFlags(UINT flags, UINT_PTR idNewItem, LPCSTR newItem, Item *out) {
  Item it;
  it.state = flags & (MF_GRAYED | MF_DISABLED | MF_CHECKED | MF_HILITE | MF_DEFAULT);
  it.type = flags & (MFT_MENUBARBREAK | MFT_MENUBREAK | MFT_RADIOCHECK | MFT_RIGHTJUSTIFY | MFT_RIGHTORDER);
  if (flags & MF_POPUP) {
    it.subMenu = reinterpret_cast<HMENU>(idNewItem);
    if (!Find(it.subMenu)) {
      SetLastError(ERROR_INVALID_MENU_HANDLE);
      return false;
    }
    // A popup item's id is its handle in the legacy calls.
    it.id = static_cast<UINT>(idNewItem);
  } else {
    it.id = static_cast<UINT>(idNewItem);
  }
  if (flags & MF_SEPARATOR) {
    // The legacy calls make separators disabled, as Wine does (InsertMenuItem does not).
    it.type |= MFT_SEPARATOR;
    it.state |= MFS_GRAYED;
  } else if (flags & MF_BITMAP) {
    it.type |= MFT_BITMAP;
    it.bitmap = reinterpret_cast<HBITMAP>(const_cast<char *>(newItem));
  } else if (flags & MF_OWNERDRAW) {
    it.type |= MFT_OWNERDRAW;
    it.data = reinterpret_cast<ULONG_PTR>(newItem);
  } else if (newItem) {
    it.text = newItem;
    it.hasText = true;
  }
  *out = it;
  return true;
}

bool ValidInfoSize(UINT cbSize) {
  // The Windows 95 size (without hbmpItem) is accepted as Windows still does.
  return cbSize == sizeof(MENUITEMINFOA) || cbSize == offsetof(MENUITEMINFOA, hbmpItem);
}

bool ApplyInfo(Item &it, const MENUITEMINFOA &info) {
  const UINT mask = info.fMask;
  if (mask & MIIM_TYPE) {
    // The old mask sets the whole type and takes dwTypeData by the type.
    it.type = info.fType;
    it.bitmap = nullptr;
    it.hasText = false;
    it.text.clear();
    if ((info.fType & (MFT_BITMAP | MFT_SEPARATOR | MFT_OWNERDRAW)) == 0 && info.dwTypeData) {
      it.text = info.dwTypeData;
      it.hasText = true;
    } else if (info.fType & MFT_BITMAP) {
      it.bitmap = reinterpret_cast<HBITMAP>(info.dwTypeData);
    }
  }
  if (mask & MIIM_FTYPE) it.type = (it.type & (MFT_BITMAP)) | (info.fType & ~static_cast<UINT>(MFT_BITMAP));
  if (mask & MIIM_STRING) {
    it.hasText = info.dwTypeData != nullptr;
    it.text = info.dwTypeData ? info.dwTypeData : "";
  }
  if (mask & MIIM_STATE) it.state = info.fState;
  if (mask & MIIM_ID) it.id = info.wID;
  if (mask & MIIM_SUBMENU) {
    if (info.hSubMenu && !Find(info.hSubMenu)) {
      SetLastError(ERROR_INVALID_MENU_HANDLE);
      return false;
    }
    it.subMenu = info.hSubMenu;
  }
  if (mask & MIIM_CHECKMARKS) {
    it.checked = info.hbmpChecked;
    it.unchecked = info.hbmpUnchecked;
  }
  if (mask & MIIM_DATA) it.data = info.dwItemData;
  if ((mask & MIIM_BITMAP) && info.cbSize == sizeof(MENUITEMINFOA)) it.bitmap = info.hbmpItem;
  return true;
}

// Copies text into a caller's buffer of cch characters: at most cch - 1 and a NUL.
UINT CopyText(const std::string &text, LPSTR buffer, UINT cch) {
  if (!buffer || cch == 0) return static_cast<UINT>(text.size());
  size_t n = std::min<size_t>(text.size(), cch - 1);
  memcpy(buffer, text.data(), n);
  buffer[n] = 0;
  return static_cast<UINT>(n);
}

UINT StateFlags(const Item &it) {
  UINT r = it.state & (MF_GRAYED | MF_DISABLED | MF_CHECKED | MF_HILITE | MF_DEFAULT);
  r |= it.type & (MF_SEPARATOR | MF_BITMAP | MF_OWNERDRAW | MF_MENUBARBREAK | MF_MENUBREAK);
  return r;
}

}  // namespace

HMENU WINAPI CreateMenu() { return NewMenu(false); }
HMENU WINAPI CreatePopupMenu() { return NewMenu(true); }

BOOL WINAPI DestroyMenu(HMENU menu) {
  if (!FindOrFail(menu)) return FALSE;
  DestroyTree(menu, 0);
  return TRUE;
}

BOOL WINAPI IsMenu(HMENU menu) { return Find(menu) ? TRUE : FALSE; }

BOOL WINAPI InsertMenuA(HMENU menu, UINT position, UINT flags, UINT_PTR idNewItem, LPCSTR newItem) {
  Menu *m = FindOrFail(menu);
  if (!m) return FALSE;
  Item it;
  if (!ItemFromFlags(flags, idNewItem, newItem, &it)) return FALSE;
  size_t index = m->items.size();
  if (flags & MF_BYPOSITION) {
    // A position past the end (such as -1) appends, as Windows does.
    if (position < m->items.size()) index = position;
  } else {
    Where w;
    if (FindByCommand(m, position, &w, 0)) {
      w.menu->items.insert(w.menu->items.begin() + static_cast<long>(w.index), it);
      return TRUE;
    }
  }
  m->items.insert(m->items.begin() + static_cast<long>(index), it);
  return TRUE;
}

BOOL WINAPI AppendMenuA(HMENU menu, UINT flags, UINT_PTR idNewItem, LPCSTR newItem) {
  return InsertMenuA(menu, static_cast<UINT>(-1), flags | MF_BYPOSITION, idNewItem, newItem);
}

BOOL WINAPI ModifyMenuA(HMENU menu, UINT position, UINT flags, UINT_PTR idNewItem, LPCSTR newItem) {
  Where w;
  if (!Locate(menu, position, (flags & MF_BYPOSITION) != 0, &w)) return FALSE;
  Item it;
  if (!ItemFromFlags(flags, idNewItem, newItem, &it)) return FALSE;
  Item &old = w.menu->items[w.index];
  // A replaced submenu is destroyed, as Windows does when a popup item changes.
  if (old.subMenu && old.subMenu != it.subMenu) DestroyTree(old.subMenu, 0);
  old = it;
  return TRUE;
}

BOOL WINAPI InsertMenuItemA(HMENU menu, UINT item, BOOL byPosition, LPCMENUITEMINFOA info) {
  Menu *m = FindOrFail(menu);
  if (!m) return FALSE;
  if (!info || !ValidInfoSize(info->cbSize)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  Item it;
  if (!ApplyInfo(it, *info)) return FALSE;
  if (!byPosition) {
    Where w;
    if (FindByCommand(m, item, &w, 0)) {
      w.menu->items.insert(w.menu->items.begin() + static_cast<long>(w.index), it);
      return TRUE;
    }
    m->items.push_back(it);
    return TRUE;
  }
  size_t index = item < m->items.size() ? item : m->items.size();
  m->items.insert(m->items.begin() + static_cast<long>(index), it);
  return TRUE;
}

BOOL WINAPI SetMenuItemInfoA(HMENU menu, UINT item, BOOL byPosition, LPCMENUITEMINFOA info) {
  if (!info || !ValidInfoSize(info->cbSize)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  Where w;
  if (!Locate(menu, item, byPosition != FALSE, &w)) {
    if (Find(menu)) SetLastError(ERROR_MENU_ITEM_NOT_FOUND);
    return FALSE;
  }
  Item copy = w.menu->items[w.index];
  if (!ApplyInfo(copy, *info)) return FALSE;
  w.menu->items[w.index] = copy;
  return TRUE;
}

BOOL WINAPI GetMenuItemInfoA(HMENU menu, UINT item, BOOL byPosition, LPMENUITEMINFOA info) {
  if (!info || !ValidInfoSize(info->cbSize)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  Where w;
  if (!Locate(menu, item, byPosition != FALSE, &w)) {
    if (Find(menu)) SetLastError(ERROR_MENU_ITEM_NOT_FOUND);
    return FALSE;
  }
  const Item &it = w.menu->items[w.index];
  const UINT mask = info->fMask;
  if (mask & (MIIM_TYPE | MIIM_FTYPE)) info->fType = it.type;
  if (mask & MIIM_TYPE) {
    if (it.type & MFT_BITMAP) {
      info->dwTypeData = reinterpret_cast<LPSTR>(it.bitmap);
    } else if (!(it.type & (MFT_SEPARATOR | MFT_OWNERDRAW))) {
      info->cch = CopyText(it.text, info->dwTypeData, info->cch);
    }
  }
  if (mask & MIIM_STRING) {
    // An item without text reports an empty string, as Wine does.
    if (info->dwTypeData && info->cch) {
      info->cch = CopyText(it.hasText ? it.text : std::string(), info->dwTypeData, info->cch);
    } else {
      info->cch = static_cast<UINT>(it.hasText ? it.text.size() : 0);
    }
  }
  if (mask & MIIM_STATE) info->fState = it.state;
  if (mask & MIIM_ID) info->wID = it.id;
  if (mask & MIIM_SUBMENU) info->hSubMenu = it.subMenu;
  if (mask & MIIM_CHECKMARKS) {
    info->hbmpChecked = it.checked;
    info->hbmpUnchecked = it.unchecked;
  }
  if (mask & MIIM_DATA) info->dwItemData = it.data;
  if ((mask & MIIM_BITMAP) && info->cbSize == sizeof(MENUITEMINFOA)) info->hbmpItem = it.bitmap;
  return TRUE;
}

int WINAPI GetMenuItemCount(HMENU menu) {
  Menu *m = FindOrFail(menu);
  return m ? static_cast<int>(m->items.size()) : -1;
}

UINT WINAPI GetMenuItemID(HMENU menu, int position) {
  Menu *m = Find(menu);
  if (!m || position < 0 || static_cast<size_t>(position) >= m->items.size()) return static_cast<UINT>(-1);
  const Item &it = m->items[static_cast<size_t>(position)];
  return it.subMenu ? static_cast<UINT>(-1) : it.id;
}

HMENU WINAPI GetSubMenu(HMENU menu, int position) {
  Menu *m = FindOrFail(menu);
  if (!m || position < 0 || static_cast<size_t>(position) >= m->items.size()) return nullptr;
  return m->items[static_cast<size_t>(position)].subMenu;
}

int WINAPI GetMenuStringA(HMENU menu, UINT item, LPSTR buffer, int maxCount, UINT flags) {
  Where w;
  if (!Locate(menu, item, (flags & MF_BYPOSITION) != 0, &w)) return 0;
  const Item &it = w.menu->items[w.index];
  if (!it.hasText || (it.type & (MFT_SEPARATOR | MFT_BITMAP | MFT_OWNERDRAW))) {
    if (buffer && maxCount > 0) buffer[0] = 0;
    return 0;
  }
  if (!buffer) return static_cast<int>(it.text.size());
  if (maxCount <= 0) return 0;
  return static_cast<int>(CopyText(it.text, buffer, static_cast<UINT>(maxCount)));
}

UINT WINAPI GetMenuState(HMENU menu, UINT item, UINT flags) {
  Where w;
  if (!Locate(menu, item, (flags & MF_BYPOSITION) != 0, &w)) return static_cast<UINT>(-1);
  const Item &it = w.menu->items[w.index];
  if (it.subMenu) {
    Menu *sub = Find(it.subMenu);
    UINT count = sub ? static_cast<UINT>(sub->items.size()) : 0;
    return (count << 8) | (StateFlags(it) & 0xFF) | MF_POPUP;
  }
  return StateFlags(it);
}

BOOL WINAPI EnableMenuItem(HMENU menu, UINT item, UINT enable) {
  Where w;
  if (!Locate(menu, item, (enable & MF_BYPOSITION) != 0, &w)) return -1;
  Item &it = w.menu->items[w.index];
  BOOL previous = static_cast<BOOL>(it.state & (MF_GRAYED | MF_DISABLED));
  it.state = (it.state & ~static_cast<UINT>(MF_GRAYED | MF_DISABLED)) | (enable & (MF_GRAYED | MF_DISABLED));
  return previous;
}

DWORD WINAPI CheckMenuItem(HMENU menu, UINT item, UINT check) {
  Where w;
  if (!Locate(menu, item, (check & MF_BYPOSITION) != 0, &w)) return static_cast<DWORD>(-1);
  Item &it = w.menu->items[w.index];
  DWORD previous = it.state & MF_CHECKED;
  it.state = (it.state & ~static_cast<UINT>(MF_CHECKED)) | (check & MF_CHECKED);
  return previous;
}

BOOL WINAPI CheckMenuRadioItem(HMENU menu, UINT first, UINT last, UINT check, UINT flags) {
  Menu *m = FindOrFail(menu);
  if (!m) return FALSE;
  bool found = false;
  for (size_t i = 0; i < m->items.size(); ++i) {
    Item &it = m->items[i];
    UINT key = (flags & MF_BYPOSITION) ? static_cast<UINT>(i) : it.id;
    if (key < first || key > last || it.subMenu) continue;
    if (key == check) {
      it.state |= MFS_CHECKED;
      it.type |= MFT_RADIOCHECK;
      found = true;
    } else {
      it.state &= ~static_cast<UINT>(MFS_CHECKED);
    }
  }
  return found ? TRUE : FALSE;
}

BOOL WINAPI SetMenuDefaultItem(HMENU menu, UINT item, UINT byPosition) {
  Menu *m = FindOrFail(menu);
  if (!m) return FALSE;
  // The default is one item of this menu; -1 clears it.
  size_t chosen = m->items.size();
  if (item != static_cast<UINT>(-1)) {
    for (size_t i = 0; i < m->items.size(); ++i) {
      if (byPosition ? i == item : (!m->items[i].subMenu && m->items[i].id == item)) {
        chosen = i;
        break;
      }
    }
    if (chosen == m->items.size()) return FALSE;
  }
  for (size_t i = 0; i < m->items.size(); ++i) {
    if (i == chosen)
      m->items[i].state |= MFS_DEFAULT;
    else
      m->items[i].state &= ~static_cast<UINT>(MFS_DEFAULT);
  }
  return TRUE;
}

UINT WINAPI GetMenuDefaultItem(HMENU menu, UINT byPosition, UINT flags) {
  Menu *m = FindOrFail(menu);
  if (!m) return static_cast<UINT>(-1);
  for (int depth = 0; depth < 16; ++depth) {
    size_t i = 0;
    while (i < m->items.size() && !(m->items[i].state & MFS_DEFAULT)) ++i;
    if (i == m->items.size()) return static_cast<UINT>(-1);
    const Item &it = m->items[i];
    if ((it.state & MFS_GRAYED) && !(flags & GMDI_USEDISABLED)) return static_cast<UINT>(-1);
    if (it.subMenu && (flags & GMDI_GOINTOPOPUPS)) {
      Menu *sub = Find(it.subMenu);
      if (sub) {
        // A submenu without a default of its own stands for itself.
        bool subHasDefault = false;
        for (const Item &s : sub->items) subHasDefault = subHasDefault || (s.state & MFS_DEFAULT);
        if (subHasDefault) {
          m = sub;
          continue;
        }
      }
    }
    return byPosition ? static_cast<UINT>(i) : (it.subMenu ? static_cast<UINT>(-1) : it.id);
  }
  return static_cast<UINT>(-1);
}

BOOL WINAPI RemoveMenu(HMENU menu, UINT position, UINT flags) {
  Where w;
  if (!Locate(menu, position, (flags & MF_BYPOSITION) != 0, &w)) return FALSE;
  w.menu->items.erase(w.menu->items.begin() + static_cast<long>(w.index));
  return TRUE;
}

BOOL WINAPI DeleteMenu(HMENU menu, UINT position, UINT flags) {
  Where w;
  if (!Locate(menu, position, (flags & MF_BYPOSITION) != 0, &w)) return FALSE;
  HMENU sub = w.menu->items[w.index].subMenu;
  w.menu->items.erase(w.menu->items.begin() + static_cast<long>(w.index));
  if (sub) DestroyTree(sub, 0);
  return TRUE;
}

BOOL WINAPI TrackPopupMenu(HMENU menu, UINT flags, int x, int y, int, HWND owner, const RECT *) {
  return platform_detail::TrackPopupWithoutDisplay(menu, flags, x, y, owner);
}

BOOL WINAPI TrackPopupMenuEx(HMENU menu, UINT flags, int x, int y, HWND owner, LPTPMPARAMS) {
  return platform_detail::TrackPopupWithoutDisplay(menu, flags, x, y, owner);
}

// No menu is ever open on the host.
BOOL WINAPI EndMenu() { return TRUE; }

namespace testhooks {
int LiveMenuCount() { return static_cast<int>(M().menus.size()); }
}  // namespace testhooks
