// Popup menus: items and their states, the default item, and TrackPopupMenu as the
// tray's menu uses it, with the pick coming from the test seam. The notifications the
// owner gets are checked against a real menu under Wine, dismissed with EndMenu.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/winapi.h"

namespace {

struct Seen {
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
};
std::vector<Seen> gSeen;
HMENU gFillOnOpen = nullptr;  // a menu the owner fills when it is about to open

bool MenuMessage(UINT m) {
  switch (m) {
    case WM_ENTERMENULOOP:
    case WM_EXITMENULOOP:
    case WM_INITMENU:
    case WM_INITMENUPOPUP:
    case WM_UNINITMENUPOPUP:
    case WM_MENUSELECT:
    case WM_COMMAND:
      return true;
    default:
      return false;
  }
}

LRESULT CALLBACK OwnerProc(HWND h, UINT m, WPARAM w, LPARAM l) {
  if (MenuMessage(m)) gSeen.push_back(Seen{m, w, l});
  if (m == WM_INITMENUPOPUP && reinterpret_cast<HMENU>(w) == gFillOnOpen)
    AppendMenuA(gFillOnOpen, MF_STRING, 77, "Added late");
  return DefWindowProcA(h, m, w, l);
}

void CALLBACK DismissMenu(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  EndMenu();
}

class Menus : public ::testing::Test {
 protected:
  void SetUp() override {
    WNDCLASSA wc{};
    wc.lpfnWndProc = OwnerProc;
    wc.lpszClassName = "HorolanMenuTest";
    RegisterClassA(&wc);
    FOwner =
        CreateWindowExA(0, "HorolanMenuTest", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(FOwner, nullptr);
    FMenusBefore = testhooks::LiveMenuCount();
    gSeen.clear();
  }
  void TearDown() override {
    testhooks::ReleasePopupMenus();
    testhooks::ClearPopupMenuCalls();
    gFillOnOpen = nullptr;
    DestroyWindow(FOwner);
    UnregisterClassA("HorolanMenuTest", nullptr);
  }
  // Settings (default), separator, Help (grayed), More > Checked, Other; Exit.
  HMENU TrayLikeMenu(HMENU *sub = nullptr) {
    HMENU m = CreatePopupMenu();
    HMENU more = CreatePopupMenu();
    AppendMenuA(m, MF_STRING, 1, "設定(&S)...");
    AppendMenuA(m, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(m, MF_STRING | MF_GRAYED, 2, "Help");
    AppendMenuA(more, MF_STRING | MF_CHECKED, 3, "Checked");
    AppendMenuA(more, MF_STRING, 5, "Other");
    AppendMenuA(m, MF_POPUP, reinterpret_cast<UINT_PTR>(more), "More");
    AppendMenuA(m, MF_STRING, 4, "Exit");
    SetMenuDefaultItem(m, 1, FALSE);
    if (sub) *sub = more;
    return m;
  }
  std::vector<UINT> SeenMessages() const {
    std::vector<UINT> r;
    for (const Seen &s : gSeen) r.push_back(s.message);
    return r;
  }
  bool CommandPosted(WPARAM *id) {
    MSG msg;
    bool found = false;
    while (PeekMessageA(&msg, FOwner, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_COMMAND) {
        *id = msg.wParam;
        EXPECT_EQ(msg.lParam, 0);
        found = true;
      }
    }
    return found;
  }
  HWND FOwner = nullptr;
  int FMenusBefore = 0;
};

TEST_F(Menus, ItemsKeepTheirIdsTextAndStates) {
  HMENU sub = nullptr;
  HMENU m = TrayLikeMenu(&sub);
  ASSERT_EQ(GetMenuItemCount(m), 5);
  const UINT kIds[] = {1, 0, 2, static_cast<UINT>(-1), 4};  // a separator is 0, a submenu -1
  for (int i = 0; i < 5; ++i) EXPECT_EQ(GetMenuItemID(m, i), kIds[i]) << i;
  EXPECT_EQ(GetSubMenu(m, 3), sub);

  char text[64];
  EXPECT_EQ(GetMenuStringA(m, 1, text, sizeof text, MF_BYCOMMAND), static_cast<int>(strlen("設定(&S)...")));
  EXPECT_STREQ(text, "設定(&S)...");
  // By command, items of submenus are found too.
  EXPECT_EQ(GetMenuStringA(m, 5, text, sizeof text, MF_BYCOMMAND), 5);
  EXPECT_STREQ(text, "Other");
  EXPECT_EQ(GetMenuStringA(m, 5, nullptr, 0, MF_BYCOMMAND), 5);
  EXPECT_EQ(GetMenuStringA(m, 99, text, sizeof text, MF_BYCOMMAND), 0);

  // Each call returns the state it replaced; -1 for an item that is not there.
  EXPECT_EQ(EnableMenuItem(m, 2, MF_ENABLED), static_cast<BOOL>(MF_GRAYED));
  EXPECT_EQ(EnableMenuItem(m, 2, MF_BYCOMMAND | MF_DISABLED), static_cast<BOOL>(MF_ENABLED));
  EXPECT_EQ(EnableMenuItem(m, 99, MF_GRAYED), -1);
  EXPECT_EQ(CheckMenuItem(m, 3, MF_UNCHECKED), static_cast<DWORD>(MF_CHECKED));
  EXPECT_EQ(CheckMenuItem(m, 4, MF_BYPOSITION | MF_CHECKED), static_cast<DWORD>(MF_UNCHECKED));
  EXPECT_EQ(CheckMenuItem(m, 99, MF_CHECKED), static_cast<DWORD>(-1));
  EXPECT_EQ(GetMenuState(m, 4, MF_BYPOSITION) & MF_CHECKED, static_cast<UINT>(MF_CHECKED));
  EXPECT_EQ(GetMenuState(m, 3, MF_BYPOSITION), static_cast<UINT>((2 << 8) | MF_POPUP));
  EXPECT_EQ(GetMenuState(m, 1, MF_BYPOSITION) & MF_SEPARATOR, static_cast<UINT>(MF_SEPARATOR));

  // Inserting before an item by command, or past the end by position.
  ASSERT_TRUE(InsertMenuA(m, 4, MF_BYCOMMAND | MF_STRING, 6, "Before exit"));
  ASSERT_TRUE(InsertMenuA(m, 99, MF_BYPOSITION | MF_STRING, 7, "Last"));
  ASSERT_EQ(GetMenuItemCount(m), 7);
  EXPECT_EQ(GetMenuItemID(m, 4), 6u);
  EXPECT_EQ(GetMenuItemID(m, 5), 4u);
  EXPECT_EQ(GetMenuItemID(m, 6), 7u);
  DestroyMenu(m);
}

TEST_F(Menus, OneDefaultItemAtATime) {
  HMENU m = TrayLikeMenu();
  SetMenuDefaultItem(m, static_cast<UINT>(-1), FALSE);
  EXPECT_EQ(GetMenuDefaultItem(m, FALSE, 0), static_cast<UINT>(-1));

  ASSERT_TRUE(SetMenuDefaultItem(m, 4, FALSE));
  EXPECT_EQ(GetMenuDefaultItem(m, FALSE, 0), 4u);
  EXPECT_EQ(GetMenuDefaultItem(m, TRUE, 0), 4u);  // Exit sits at position 4 too
  ASSERT_TRUE(SetMenuDefaultItem(m, 0, TRUE));
  EXPECT_EQ(GetMenuDefaultItem(m, FALSE, 0), 1u);
  // The default shows in the item's state, and only the new default has it.
  MENUITEMINFOA mii{};
  mii.cbSize = sizeof mii;
  mii.fMask = MIIM_STATE;
  ASSERT_TRUE(GetMenuItemInfoA(m, 1, FALSE, &mii));
  EXPECT_TRUE(mii.fState & MFS_DEFAULT);
  ASSERT_TRUE(GetMenuItemInfoA(m, 4, FALSE, &mii));
  EXPECT_FALSE(mii.fState & MFS_DEFAULT);

  // A disabled default counts only when asked for.
  EnableMenuItem(m, 1, MF_GRAYED);
  EXPECT_EQ(GetMenuDefaultItem(m, FALSE, 0), static_cast<UINT>(-1));
  EXPECT_EQ(GetMenuDefaultItem(m, FALSE, GMDI_USEDISABLED), 1u);
  EXPECT_FALSE(SetMenuDefaultItem(m, 99, FALSE));
  DestroyMenu(m);
}

TEST_F(Menus, ItemInfoRoundTrip) {
  HMENU m = CreatePopupMenu();
  HBITMAP picture = CreateBitmap(16, 16, 1, 1, nullptr);
  char text[] = "同期";
  MENUITEMINFOA in{};
  in.cbSize = sizeof in;
  in.fMask = MIIM_ID | MIIM_STRING | MIIM_FTYPE | MIIM_STATE | MIIM_DATA | MIIM_BITMAP;
  in.wID = 40;
  in.fType = MFT_RADIOCHECK;
  in.fState = MFS_CHECKED | MFS_DEFAULT;
  in.dwItemData = 0x1234;
  in.dwTypeData = text;
  in.hbmpItem = picture;
  ASSERT_TRUE(InsertMenuItemA(m, 0, TRUE, &in));

  char buffer[32] = {};
  MENUITEMINFOA out{};
  out.cbSize = sizeof out;
  out.fMask = in.fMask;
  out.dwTypeData = buffer;
  out.cch = sizeof buffer;
  ASSERT_TRUE(GetMenuItemInfoA(m, 40, FALSE, &out));
  EXPECT_EQ(out.wID, 40u);
  EXPECT_EQ(out.fType, static_cast<UINT>(MFT_RADIOCHECK));
  EXPECT_EQ(out.fState, static_cast<UINT>(MFS_CHECKED | MFS_DEFAULT));
  EXPECT_EQ(out.dwItemData, 0x1234u);
  EXPECT_EQ(out.hbmpItem, picture);
  EXPECT_STREQ(buffer, "同期");
  EXPECT_EQ(out.cch, 4u);  // bytes of CP932 text

  // Without a buffer the length is reported; a rename keeps the rest.
  out.fMask = MIIM_STRING;
  out.dwTypeData = nullptr;
  out.cch = 0;
  ASSERT_TRUE(GetMenuItemInfoA(m, 0, TRUE, &out));
  EXPECT_EQ(out.cch, 4u);
  MENUITEMINFOA rename{};
  rename.cbSize = sizeof rename;
  rename.fMask = MIIM_STRING;
  rename.dwTypeData = const_cast<char *>("Sync now");
  ASSERT_TRUE(SetMenuItemInfoA(m, 40, FALSE, &rename));
  EXPECT_EQ(GetMenuStringA(m, 40, buffer, sizeof buffer, MF_BYCOMMAND), 8);
  EXPECT_STREQ(buffer, "Sync now");
  EXPECT_EQ(GetMenuItemID(m, 0), 40u);

  // A picture-only item (MF_BITMAP) reports its bitmap and no text.
  ASSERT_TRUE(AppendMenuA(m, MF_BITMAP, 41, reinterpret_cast<LPCSTR>(picture)));
  out.fMask = MIIM_BITMAP | MIIM_FTYPE;
  out.hbmpItem = nullptr;
  ASSERT_TRUE(GetMenuItemInfoA(m, 41, FALSE, &out));
  EXPECT_EQ(out.hbmpItem, picture);
  EXPECT_TRUE(out.fType & MFT_BITMAP);

  MENUITEMINFOA bad = rename;
  bad.cbSize = 20;
  EXPECT_FALSE(SetMenuItemInfoA(m, 40, FALSE, &bad));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  DestroyMenu(m);
  DeleteObject(picture);
}

TEST_F(Menus, DeleteDestroysSubmenusRemoveKeepsThem) {
  HMENU m = CreatePopupMenu();
  HMENU a = CreatePopupMenu(), b = CreatePopupMenu(), c = CreatePopupMenu();
  AppendMenuA(a, MF_STRING, 1, "in a");
  AppendMenuA(m, MF_POPUP, reinterpret_cast<UINT_PTR>(a), "A");
  AppendMenuA(m, MF_POPUP, reinterpret_cast<UINT_PTR>(b), "B");
  AppendMenuA(m, MF_POPUP, reinterpret_cast<UINT_PTR>(c), "C");
  ASSERT_TRUE(DeleteMenu(m, 0, MF_BYPOSITION));
  EXPECT_FALSE(IsMenu(a));
  ASSERT_TRUE(RemoveMenu(m, 0, MF_BYPOSITION));
  EXPECT_TRUE(IsMenu(b));
  EXPECT_EQ(GetMenuItemCount(m), 1);
  EXPECT_FALSE(RemoveMenu(m, 5, MF_BYPOSITION));
  ASSERT_TRUE(DestroyMenu(m));
  EXPECT_FALSE(IsMenu(m));
  EXPECT_FALSE(IsMenu(c));  // destroyed with its menu
  EXPECT_EQ(GetMenuItemCount(m), -1);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_MENU_HANDLE));
  DestroyMenu(b);
  if (FMenusBefore >= 0) {
    EXPECT_EQ(testhooks::LiveMenuCount(), FMenusBefore);
  }
}

TEST_F(Menus, TheSeamRecordsTheMenuAndPicks) {
  HMENU m = TrayLikeMenu();
  HBITMAP picture = CreateBitmap(16, 16, 1, 1, nullptr);
  MENUITEMINFOA mii{};
  mii.cbSize = sizeof mii;
  mii.fMask = MIIM_BITMAP;
  mii.hbmpItem = picture;
  SetMenuItemInfoA(m, 4, FALSE, &mii);
  testhooks::CapturePopupMenus([](const testhooks::PopupMenuCall &) { return 4u; });

  EXPECT_EQ(
      TrackPopupMenu(m, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_BOTTOMALIGN, 640, 700, 0, FOwner, nullptr), 4);
  const auto &calls = testhooks::PopupMenuCalls();
  ASSERT_EQ(calls.size(), 1u);
  const testhooks::PopupMenuCall &c = calls[0];
  EXPECT_EQ(c.menu, m);
  EXPECT_EQ(c.owner, FOwner);
  EXPECT_EQ(c.x, 640);
  EXPECT_EQ(c.y, 700);
  EXPECT_EQ(c.flags, static_cast<unsigned>(TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_BOTTOMALIGN));
  struct Expected {
    unsigned id;
    const char *text;
    bool separator, grayed, isDefault, bitmap;
    size_t subItems;
  };
  const Expected kItems[] = {
      {1, "設定(&S)...", false, false, true, false, 0},
      {0, "", true, true, false, false, 0},  // AppendMenu's separators are grayed
      {2, "Help", false, true, false, false, 0},
      {static_cast<unsigned>(-1), "More", false, false, false, false, 2},
      {4, "Exit", false, false, false, true, 0},
  };
  ASSERT_EQ(c.items.size(), 5u);
  for (size_t i = 0; i < 5; ++i) {
    const testhooks::PopupMenuItem &it = c.items[i];
    EXPECT_EQ(it.id, kItems[i].id) << i;
    EXPECT_EQ(it.text, kItems[i].text) << i;
    EXPECT_EQ((it.type & MFT_SEPARATOR) != 0, kItems[i].separator) << i;
    EXPECT_EQ((it.state & MFS_GRAYED) != 0, kItems[i].grayed) << i;
    EXPECT_EQ(it.isDefault, kItems[i].isDefault) << i;
    EXPECT_EQ((it.state & MFS_DEFAULT) != 0, kItems[i].isDefault) << i;
    EXPECT_EQ(it.hasBitmap, kItems[i].bitmap) << i;
    EXPECT_EQ(it.subItems.size(), kItems[i].subItems) << i;
  }
  EXPECT_EQ(c.items[3].subItems[0].text, "Checked");
  EXPECT_TRUE(c.items[3].subItems[0].state & MFS_CHECKED);
  WPARAM id = 0;
  EXPECT_FALSE(CommandPosted(&id));  // TPM_RETURNCMD: the pick is returned, not posted
  DestroyMenu(m);
  DeleteObject(picture);
}

TEST_F(Menus, WithoutReturnCmdThePickIsPosted) {
  HMENU m = TrayLikeMenu();
  testhooks::CapturePopupMenus([](const testhooks::PopupMenuCall &) { return 5u; });  // in the submenu
  EXPECT_EQ(TrackPopupMenu(m, TPM_RIGHTBUTTON, 1, 2, 0, FOwner, nullptr), TRUE);
  // Posted, not sent: the owner has not seen it yet.
  for (const Seen &s : gSeen) EXPECT_NE(s.message, static_cast<UINT>(WM_COMMAND));
  WPARAM id = 0;
  ASSERT_TRUE(CommandPosted(&id));
  EXPECT_EQ(id, 5u);

  // Dismissed: success, and nothing posted.
  testhooks::CapturePopupMenus([](const testhooks::PopupMenuCall &) { return 0u; });
  EXPECT_EQ(TrackPopupMenuEx(m, 0, 1, 2, FOwner, nullptr), TRUE);
  EXPECT_FALSE(CommandPosted(&id));
  DestroyMenu(m);
}

TEST_F(Menus, APickTheUserCouldNotClickIsADismissal) {
  HMENU m = TrayLikeMenu();
  const unsigned kPicks[] = {2 /* grayed */, 99 /* not there */, static_cast<unsigned>(-1) /* the submenu */};
  for (unsigned pick : kPicks) {
    testhooks::CapturePopupMenus([pick](const testhooks::PopupMenuCall &) { return pick; });
    EXPECT_EQ(TrackPopupMenu(m, TPM_RETURNCMD, 0, 0, 0, FOwner, nullptr), 0) << pick;
    EXPECT_EQ(TrackPopupMenu(m, 0, 0, 0, 0, FOwner, nullptr), TRUE) << pick;
    WPARAM id = 0;
    EXPECT_FALSE(CommandPosted(&id)) << pick;
  }
  DestroyMenu(m);
}

TEST_F(Menus, TheOwnerHearsAboutTheMenuAsFromARealOne) {
  HMENU m = TrayLikeMenu();
  gFillOnOpen = m;
  const std::vector<UINT> kFull = {WM_ENTERMENULOOP,   WM_INITMENU,   WM_INITMENUPOPUP,
                                   WM_UNINITMENUPOPUP, WM_MENUSELECT, WM_EXITMENULOOP};
  const std::vector<UINT> kNoNotify = {WM_MENUSELECT, WM_EXITMENULOOP};

  // A real menu, where there is one to show: Wine shows it and EndMenu closes it.
  UINT_PTR timer = SetTimer(nullptr, 0, 200, DismissMenu);
  EXPECT_EQ(TrackPopupMenu(m, TPM_RETURNCMD, 10, 10, 0, FOwner, nullptr), 0);
  KillTimer(nullptr, timer);  // the host returns at once, before the timer is due
  EXPECT_EQ(SeenMessages(), kFull);
  ASSERT_GE(gSeen.size(), 6u);
  EXPECT_EQ(gSeen[0].wParam, static_cast<WPARAM>(TRUE));  // a popup menu's loop
  EXPECT_EQ(gSeen[1].wParam, reinterpret_cast<WPARAM>(m));
  EXPECT_EQ(gSeen[2].wParam, reinterpret_cast<WPARAM>(m));
  EXPECT_EQ(gSeen[4].wParam, MAKEWPARAM(0, 0xFFFF));  // nothing selected any more
  EXPECT_EQ(gSeen[4].lParam, 0);

  // The same through the seam; items added while opening are part of the menu.
  testhooks::CapturePopupMenus([](const testhooks::PopupMenuCall &call) {
    EXPECT_EQ(call.items.back().id, 77u);
    return 77u;
  });
  gSeen.clear();
  EXPECT_EQ(TrackPopupMenu(m, TPM_RETURNCMD, 10, 10, 0, FOwner, nullptr), 77);
  EXPECT_EQ(SeenMessages(), kFull);
  gSeen.clear();
  EXPECT_EQ(TrackPopupMenu(m, TPM_RETURNCMD | TPM_NONOTIFY, 10, 10, 0, FOwner, nullptr), 77);
  EXPECT_EQ(SeenMessages(), kNoNotify);
  ASSERT_EQ(testhooks::PopupMenuCalls().size(), 2u);
  DestroyMenu(m);
}

TEST_F(Menus, BadMenuOrOwnerFails) {
  HMENU m = TrayLikeMenu();
  HMENU gone = CreatePopupMenu();
  DestroyMenu(gone);
  for (bool captured : {false, true}) {
    if (captured) testhooks::CapturePopupMenus();
    SetLastError(0);
    EXPECT_FALSE(TrackPopupMenu(gone, TPM_RETURNCMD, 0, 0, 0, FOwner, nullptr)) << captured;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_MENU_HANDLE)) << captured;
    SetLastError(0);
    EXPECT_FALSE(TrackPopupMenu(m, 0, 0, 0, 0, reinterpret_cast<HWND>(0x1234), nullptr)) << captured;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE)) << captured;
  }
  EXPECT_TRUE(testhooks::PopupMenuCalls().empty());
  EXPECT_TRUE(gSeen.empty());
  DestroyMenu(m);
}

}  // namespace
