// Menu items, menus and the popup menu. A shown menu is a throw-away HMENU built from
// the items each time, so the items are the only state; its command ids map back to
// the items, which are unique within the process.
#include "forms/Menus.h"

#include <algorithm>
#include <string>
#include <utility>

#include "forms/ActnList.h"
#include "forms/GdiUtil.h"
#include "forms/Graphics.h"
#include "forms/ImgList.h"
#include "forms/UtilWindow.h"

namespace {

// Ids fit the 16 bits of WM_COMMAND; 0 is what TrackPopupMenu returns for "nothing".
const UINT kLastCommand = 0xFFFF;

// Never freed: items may still be destroyed while static objects are torn down.
std::vector<bool> &UsedCommands() {
  static auto *used = new std::vector<bool>(kLastCommand + 1, false);
  return *used;
}
UINT NextCommand = 1;

// The next free id after the last one handed out, so that an id just released is not
// at once given to another item.
UINT AllocateCommand() {
  std::vector<bool> &used = UsedCommands();
  for (UINT tries = 0; tries < kLastCommand; ++tries) {
    UINT id = NextCommand;
    NextCommand = NextCommand == kLastCommand ? 1 : NextCommand + 1;
    if (!used[id]) {
      used[id] = true;
      return id;
    }
  }
  throw Exception("Too many menu items");
}

void ReleaseCommand(UINT Id) {
  if (Id >= 1 && Id <= kLastCommand) UsedCommands()[Id] = false;
}

TMenuItem *FindByCommand(TMenuItem *Parent, UINT Command) {
  for (int i = 0; i < Parent->Count(); ++i) {
    TMenuItem *item = Parent->Items(i);
    if (item->Command() == Command) return item;
    if (TMenuItem *found = FindByCommand(item, Command)) return found;
  }
  return nullptr;
}

}  // namespace

// ---- Items --------------------------------------------------------------------------------

TMenuItem::TMenuItem(TComponent *AOwner) : TComponent(AOwner), FCommand(AllocateCommand()) {}

TMenuItem::~TMenuItem() {
  // The children are owned by their owner, not by us: they only lose their parent.
  for (TMenuItem *child : FItems) child->FParent = nullptr;
  FItems.clear();
  if (FParent) FParent->Remove(this);
  SetAction(nullptr);
  ReleaseCommand(FCommand);
}

void TMenuItem::SetCaption(const std::string &Value) { FCaption = Value; }
void TMenuItem::SetChecked(bool Value) { FChecked = Value; }
void TMenuItem::SetEnabled(bool Value) { FEnabled = Value; }
void TMenuItem::SetVisible(bool Value) { FVisible = Value; }
void TMenuItem::SetDefault(bool Value) { FDefault = Value; }
void TMenuItem::SetImageIndex(int Value) { FImageIndex = Value; }

void TMenuItem::SetAction(TAction *Value) {
  if (Value == FAction) return;
  if (FAction) FAction->UnRegisterChanges(this);
  FAction = Value;
  if (Value) {
    Value->RegisterChanges(this, [this] { ActionChanged(); });
    ActionChanged();
  }
}

void TMenuItem::ActionChanged() {
  if (!FAction) return;
  FCaption = FAction->Caption();
  FImageIndex = FAction->ImageIndex();
  FEnabled = FAction->Enabled();
  FVisible = FAction->Visible();
  FChecked = FAction->Checked();
}

TMenuItem *TMenuItem::Items(int Index) const {
  if (Index < 0 || Index >= Count())
    throw Exception("Menu index out of range (" + std::to_string(Index) + ")");
  return FItems[static_cast<size_t>(Index)];
}

void TMenuItem::Add(TMenuItem *Item) { Insert(Count(), Item); }

void TMenuItem::Insert(int Index, TMenuItem *Item) {
  if (!Item) throw Exception("No menu item to insert");
  if (Item->FParent) throw Exception("Menu item inserted twice");
  for (const TMenuItem *p = this; p; p = p->FParent)
    if (p == Item) throw Exception("A menu item cannot contain itself");
  if (Index < 0 || Index > Count())
    throw Exception("Menu index out of range (" + std::to_string(Index) + ")");
  FItems.insert(FItems.begin() + Index, Item);
  Item->FParent = this;
}

void TMenuItem::Remove(TMenuItem *Item) {
  auto it = std::find(FItems.begin(), FItems.end(), Item);
  if (it == FItems.end()) throw Exception("Menu item not found");
  FItems.erase(it);
  Item->FParent = nullptr;
}

int TMenuItem::MenuIndex() const {
  if (!FParent) return -1;
  auto &siblings = FParent->FItems;
  return static_cast<int>(std::find(siblings.begin(), siblings.end(), this) - siblings.begin());
}

void TMenuItem::Click() {
  if (!FEnabled) return;
  // Either call may free this item: nothing of it is touched afterwards.
  if (OnClick) {
    TNotifyEvent handler = OnClick;
    handler(this);
  } else if (FAction) {
    FAction->Execute();
  }
}

void TMenuItem::Notification(TComponent *AComponent, TOperation Operation) {
  if (Operation == opRemove && AComponent == FAction) FAction = nullptr;
  TComponent::Notification(AComponent, Operation);
}

// ---- Menus --------------------------------------------------------------------------------

TMenu::TMenu(TComponent *AOwner) : TComponent(AOwner), FItems(new TMenuItem(nullptr)) {}

TMenu::~TMenu() {
  FreeItemBitmaps();
  delete FItems;
}

void TMenu::SetImages(TImageList *Value) {
  if (Value == FImages) return;
  if (FImages) RemoveFreeNotification(FImages);
  FImages = Value;
  if (Value) FreeNotification(Value);
}

TMenuItem *TMenu::FindItem(UINT Command) const {
  if (Command == 0) return nullptr;
  return FindByCommand(FItems, Command);
}

void TMenu::Notification(TComponent *AComponent, TOperation Operation) {
  if (Operation == opRemove && AComponent == FImages) FImages = nullptr;
  TComponent::Notification(AComponent, Operation);
}

HBITMAP TMenu::MakeItemBitmap(int ImageIndex, bool Enabled) const {
  // Opaque, on the menu's colour: an alpha bitmap would show a black square on
  // Windows versions that do not blend menu bitmaps.
  HBITMAP bitmap = gdiutil::CreateScreenBitmap(FImages->Width(), FImages->Height());
  try {
    gdiutil::MemoryDC dc(bitmap);
    TCanvas canvas;
    canvas.SetHandle(dc.Handle());
    canvas.Brush()->SetColor(clMenu);
    canvas.FillRect(Rect(0, 0, FImages->Width(), FImages->Height()));
    FImages->Draw(&canvas, 0, 0, ImageIndex, Enabled);
    canvas.SetHandle(nullptr);
  } catch (...) {
    DeleteObject(bitmap);
    throw;
  }
  return bitmap;
}

void TMenu::BuildItems(HMENU Menu, const TMenuItem *Parent) {
  bool defaultSet = false;
  for (TMenuItem *item : Parent->FItems) {
    if (!item->FVisible) continue;
    if (item->IsLine()) {
      if (!AppendMenuA(Menu, MF_SEPARATOR, 0, nullptr)) throw Exception("Cannot add a menu separator");
      continue;
    }
    MENUITEMINFOA info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_STRING;
    info.fType = MFT_STRING;
    info.fState =
        (item->FEnabled ? MFS_ENABLED : MFS_GRAYED) | (item->FChecked ? MFS_CHECKED : MFS_UNCHECKED);
    info.wID = item->FCommand;
    std::vector<char> text(item->FCaption.begin(), item->FCaption.end());
    text.push_back('\0');
    info.dwTypeData = text.data();
    info.cch = static_cast<UINT>(item->FCaption.size());
    HMENU sub = nullptr;
    if (!item->FItems.empty()) {
      sub = CreatePopupMenu();
      if (!sub) throw Exception("Cannot create a menu");
      try {
        BuildItems(sub, item);
      } catch (...) {
        DestroyMenu(sub);
        throw;
      }
      info.fMask |= MIIM_SUBMENU;
      info.hSubMenu = sub;
    }
    if (FImages && item->FImageIndex >= 0 && item->FImageIndex < FImages->Count()) {
      HBITMAP bitmap = nullptr;
      try {
        bitmap = MakeItemBitmap(item->FImageIndex, item->FEnabled);
      } catch (...) {
        if (sub) DestroyMenu(sub);
        throw;
      }
      FItemBitmaps.push_back(bitmap);
      info.fMask |= MIIM_BITMAP;
      info.hbmpItem = bitmap;
    }
    if (!InsertMenuItemA(Menu, static_cast<UINT>(GetMenuItemCount(Menu)), TRUE, &info)) {
      if (sub) DestroyMenu(sub);
      throw Exception("Cannot add the menu item " + item->FCaption);
    }
    // One default per menu: the first, as the tray's double click picks the first too.
    if (item->FDefault && !defaultSet) {
      SetMenuDefaultItem(Menu, item->FCommand, FALSE);
      defaultSet = true;
    }
  }
}

HMENU TMenu::BuildHandle() {
  HMENU menu = CreatePopupMenu();
  if (!menu) throw Exception("Cannot create a menu");
  try {
    BuildItems(menu, FItems);
  } catch (...) {
    DestroyMenu(menu);
    FreeItemBitmaps();
    throw;
  }
  return menu;
}

void TMenu::FreeItemBitmaps() {
  for (HBITMAP bitmap : FItemBitmaps) DeleteObject(bitmap);
  FItemBitmaps.clear();
}

// ---- Popup menu ---------------------------------------------------------------------------

TPopupMenu::TPopupMenu(TComponent *AOwner) : TMenu(AOwner) {}

TPopupMenu::~TPopupMenu() { DeallocateHWnd(FWindow); }

void TPopupMenu::DoPopup() {
  if (OnPopup) {
    TNotifyEvent handler = OnPopup;
    handler(this);
  }
}

void TPopupMenu::Popup(int X, int Y) {
  // OnPopup comes first, so that it can still change the items.
  DoPopup();
  if (PopupComponent) FreeNotification(PopupComponent);
  if (!FWindow) {
    FWindow =
        AllocateHWnd([this](TMessage &M) { M.Result = DefWindowProcA(FWindow, M.Msg, M.WParam, M.LParam); });
  }
  FreeItemBitmaps();
  HMENU menu = BuildHandle();
  // The bitmaps belong to this showing: a menu shown from inside it cannot free them.
  std::vector<HBITMAP> bitmaps;
  bitmaps.swap(FItemBitmaps);
  UINT command = static_cast<UINT>(TrackPopupMenu(
      menu, TPM_LEFTALIGN | TPM_RIGHTBUTTON | TPM_RETURNCMD | TPM_NONOTIFY, X, Y, 0, FWindow, nullptr));
  DestroyMenu(menu);
  for (HBITMAP bitmap : bitmaps) DeleteObject(bitmap);
  TMenuItem *item = FindItem(command);
  // Last: the click may free this menu.
  if (item) item->Click();
}

void TPopupMenu::Notification(TComponent *AComponent, TOperation Operation) {
  if (Operation == opRemove && AComponent == PopupComponent) PopupComponent = nullptr;
  TMenu::Notification(AComponent, Operation);
}
