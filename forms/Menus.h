// Popup menus: a tree of menu items with captions, images, a default item and click
// handlers, shown at a screen point. Popup returns when the menu has closed, after
// the chosen item's click.
#pragma once

#include <string>
#include <vector>

#include "forms/Classes.h"
#include "platform/winapi.h"

class TAction;
class TImageList;
class TMenu;

class TMenuItem : public TComponent {
 public:
  explicit TMenuItem(TComponent *AOwner);
  ~TMenuItem() override;

  // "-" makes the item a separator.
  const std::string &Caption() const { return FCaption; }
  void SetCaption(const std::string &Value);
  bool IsLine() const { return FCaption == "-"; }
  bool Checked() const { return FChecked; }
  void SetChecked(bool Value);
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool Value);
  bool Visible() const { return FVisible; }
  void SetVisible(bool Value);
  // Drawn bold; a tray double click clicks it.
  bool Default() const { return FDefault; }
  void SetDefault(bool Value);
  int ImageIndex() const { return FImageIndex; }  // -1: none
  void SetImageIndex(int Value);
  // Binding to an action copies its caption, image, enabled, visible and checked
  // state now and on every change; unbinding keeps the values last copied.
  TAction *Action() const { return FAction; }
  void SetAction(TAction *Value);

  // The child items. An item has at most one parent; Insert raises Exception for an
  // item that already has one (or would contain its own parent) and for an index
  // outside 0..Count(); Items and Remove raise it for an index or item not there.
  int Count() const { return static_cast<int>(FItems.size()); }
  TMenuItem *Items(int Index) const;
  void Add(TMenuItem *Item);
  void Insert(int Index, TMenuItem *Item);
  void Remove(TMenuItem *Item);
  TMenuItem *Parent() const { return FParent; }
  int MenuIndex() const;
  // The id this item has in a shown menu: unique within the process.
  UINT Command() const { return FCommand; }

  // Runs OnClick when it is assigned, otherwise the action's Execute: with both, only
  // OnClick runs (a handler of its own replaces the action's). A disabled item does
  // nothing.
  virtual void Click();
  TNotifyEvent OnClick;

 protected:
  void Notification(TComponent *AComponent, TOperation Operation) override;

 private:
  friend class TMenu;
  void ActionChanged();
  std::string FCaption;
  bool FChecked = false;
  bool FEnabled = true;
  bool FVisible = true;
  bool FDefault = false;
  int FImageIndex = -1;
  TAction *FAction = nullptr;       // not owned: cleared when it goes
  std::vector<TMenuItem *> FItems;  // not owned (owned as components)
  TMenuItem *FParent = nullptr;     // not owned
  UINT FCommand;                    // released when the item goes
};

class TMenu : public TComponent {
 public:
  explicit TMenu(TComponent *AOwner);
  ~TMenu() override;
  // The invisible root whose children are the top-level items.
  TMenuItem *Items() const { return FItems; }
  TImageList *Images() const { return FImages; }
  void SetImages(TImageList *Value);
  // The item of a shown menu's command id, or nullptr.
  TMenuItem *FindItem(UINT Command) const;

 protected:
  void Notification(TComponent *AComponent, TOperation Operation) override;
  // A popup menu handle built from the visible items (separators, state, default
  // item, images from Images, submenus), for the caller to destroy. The item images
  // made for it collect in FItemBitmaps until the caller frees them after the menu.
  HMENU BuildHandle();
  void FreeItemBitmaps();

  std::vector<HBITMAP> FItemBitmaps;  // owned while a menu is shown

 private:
  void BuildItems(HMENU Menu, const TMenuItem *Parent);
  HBITMAP MakeItemBitmap(int ImageIndex, bool Enabled) const;

  TMenuItem *FItems;              // owned
  TImageList *FImages = nullptr;  // not owned: cleared when it goes
};

class TPopupMenu : public TMenu {
 public:
  explicit TPopupMenu(TComponent *AOwner);
  ~TPopupMenu() override;
  // Whether the control that owns the menu may show it by itself (right click).
  bool AutoPopup = true;
  // The component that showed the menu last (set by it before Popup; cleared when it
  // is freed after a Popup).
  TComponent *PopupComponent = nullptr;
  // Raises OnPopup, then shows the menu at the screen point and returns when it
  // closes; the chosen item, if any, has been clicked by then. The menu's owner window
  // is a hidden window of its own.
  virtual void Popup(int X, int Y);
  TNotifyEvent OnPopup;

 protected:
  virtual void DoPopup();
  void Notification(TComponent *AComponent, TOperation Operation) override;

 private:
  HWND FWindow = nullptr;  // owned: AllocateHWnd, made at the first Popup
};
