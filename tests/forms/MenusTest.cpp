#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "forms/ActnList.h"
#include "forms/ImgList.h"
#include "forms/Menus.h"

namespace {

struct PopupCapture {
  explicit PopupCapture(std::function<unsigned(const testhooks::PopupMenuCall &)> choose) {
    testhooks::ClearPopupMenuCalls();
    testhooks::CapturePopupMenus(std::move(choose));
  }
  ~PopupCapture() {
    testhooks::ReleasePopupMenus();
    testhooks::ClearPopupMenuCalls();
  }
};

TMenuItem *NewItem(TComponent *Owner, TMenuItem *Parent, const std::string &Caption) {
  auto *item = new TMenuItem(Owner);
  item->SetCaption(Caption);
  if (Parent) Parent->Add(item);
  return item;
}

TEST(MenuItemTest, FollowsItsActionAndClickRunsOneHandler) {
  TComponent form(nullptr);
  auto *action = new TAction(&form);
  action->SetCaption("Horolan終了(&X)");
  action->SetImageIndex(0);
  int executed = 0;
  action->OnExecute = [&](TObject *sender) {
    EXPECT_EQ(sender, action);
    ++executed;
  };
  auto *item = new TMenuItem(&form);
  item->SetAction(action);
  EXPECT_EQ(item->Caption(), "Horolan終了(&X)");
  EXPECT_EQ(item->ImageIndex(), 0);

  action->SetCaption("Exit");
  action->SetImageIndex(4);
  action->SetChecked(true);
  action->SetVisible(false);
  EXPECT_EQ(item->Caption(), "Exit");
  EXPECT_EQ(item->ImageIndex(), 4);
  EXPECT_TRUE(item->Checked());
  EXPECT_FALSE(item->Visible());

  item->Click();
  EXPECT_EQ(executed, 1);
  int clicked = 0;
  item->OnClick = [&](TObject *sender) {
    EXPECT_EQ(sender, item);
    ++clicked;
  };
  item->Click();  // its own handler replaces the action's
  EXPECT_EQ(clicked, 1);
  EXPECT_EQ(executed, 1);
  action->SetEnabled(false);
  EXPECT_FALSE(item->Enabled());
  item->Click();
  EXPECT_EQ(clicked, 1);

  delete action;  // the item keeps what it had
  EXPECT_EQ(item->Action(), nullptr);
  EXPECT_EQ(item->Caption(), "Exit");
  item->OnClick = nullptr;
  item->SetEnabled(true);
  item->Click();
  EXPECT_EQ(executed, 1);
}

TEST(MenuItemTest, TreeLinksAndFreeingAnItem) {
  TComponent form(nullptr);
  TPopupMenu menu(&form);
  TMenuItem *root = menu.Items();
  TMenuItem *a = NewItem(&form, root, "a"), *c = NewItem(&form, root, "c");
  TMenuItem *b = NewItem(&form, nullptr, "b");
  root->Insert(1, b);
  ASSERT_EQ(root->Count(), 3);
  EXPECT_EQ(root->Items(1), b);
  EXPECT_EQ(b->Parent(), root);
  EXPECT_EQ(c->MenuIndex(), 2);
  EXPECT_THROW(root->Insert(0, b), Exception);  // already has a parent
  EXPECT_THROW(root->Items(3), Exception);
  TMenuItem *child = NewItem(&form, b, "b.1");
  EXPECT_THROW(child->Add(root), Exception);  // would contain itself
  EXPECT_THROW(child->Add(b), Exception);

  root->Remove(a);
  EXPECT_EQ(a->Parent(), nullptr);
  EXPECT_EQ(a->MenuIndex(), -1);
  EXPECT_THROW(root->Remove(a), Exception);

  delete b;  // leaves the tree; its child lives on without a parent
  ASSERT_EQ(root->Count(), 1);
  EXPECT_EQ(root->Items(0), c);
  EXPECT_EQ(child->Parent(), nullptr);
  EXPECT_EQ(child->Caption(), "b.1");
}

TEST(MenuItemTest, CommandsAreUniqueAndFoundAgain) {
  TComponent form(nullptr);
  TPopupMenu menu1(&form), menu2(&form);
  std::set<UINT> seen;
  std::vector<TMenuItem *> items;
  for (int i = 0; i < 50; ++i) {
    TMenuItem *parent =
        i % 10 == 0 || items.empty() ? (i < 25 ? menu1.Items() : menu2.Items()) : items.back();
    items.push_back(NewItem(&form, parent, std::to_string(i)));
    EXPECT_NE(items.back()->Command(), 0u);
    EXPECT_TRUE(seen.insert(items.back()->Command()).second);
  }
  EXPECT_EQ(menu1.FindItem(items[3]->Command()), items[3]);  // nested three deep
  EXPECT_EQ(menu2.FindItem(items[49]->Command()), items[49]);
  EXPECT_EQ(menu1.FindItem(items[49]->Command()), nullptr);
  EXPECT_EQ(menu1.FindItem(0), nullptr);
}

// The tray menu's shape: images through actions, separators, a default item, and also
// a hidden, a disabled and a submenu item.
struct TrayMenu {
  TComponent form{nullptr};
  TImageList *images = new TImageList(&form);
  TActionList *actions = new TActionList(&form);
  TPopupMenu *menu = new TPopupMenu(&form);
  TAction *setup = new TAction(&form), *help = new TAction(&form);
  TMenuItem *o1, *n2, *h1, *hidden, *w1, *sub, *subChild;
  std::vector<std::string> log;

  TrayMenu() {
    TBitmap strip;
    strip.SetHandle(CreateBitmap(80, 16, 1, 32, nullptr));
    images->Add(&strip, nullptr);
    actions->SetImages(images);
    menu->SetImages(images);
    setup->SetCaption("環境オプション(&O)...");
    setup->SetImageIndex(4);
    setup->SetActionList(actions);
    setup->OnExecute = [this](TObject *) { log.push_back("setup"); };
    help->SetCaption("ヘルプ目次(&H)");
    help->SetImageIndex(3);
    help->SetActionList(actions);
    help->OnExecute = [this](TObject *) { log.push_back("help"); };
    TMenuItem *root = menu->Items();
    o1 = NewItem(&form, root, "");
    o1->SetAction(setup);
    n2 = NewItem(&form, root, "-");
    h1 = NewItem(&form, root, "");
    h1->SetAction(help);
    h1->SetDefault(true);
    hidden = NewItem(&form, root, "hidden");
    hidden->SetVisible(false);
    w1 = NewItem(&form, root, "Fernwick(&W)");
    w1->SetEnabled(false);
    sub = NewItem(&form, root, "more");
    subChild = NewItem(&form, sub, "inner");
    subChild->SetImageIndex(1);
    subChild->OnClick = [this](TObject *) { log.push_back("inner"); };
  }
};

TEST(PopupMenuTest, ChosenItemIsClickedAfterTheMenuClosed) {
  int menusBefore = testhooks::LiveMenuCount();
  TrayMenu tray;
  int gdiWithMenu = testhooks::LiveGdiObjectCount();
  tray.menu->OnPopup = [&](TObject *sender) {
    EXPECT_EQ(sender, tray.menu);
    tray.log.push_back("popup");
  };
  unsigned pick = tray.h1->Command();
  PopupCapture capture([&](const testhooks::PopupMenuCall &) {
    tray.log.push_back("track");
    return pick;
  });
  tray.menu->Popup(120, 340);
  EXPECT_EQ(tray.log, (std::vector<std::string>{"popup", "track", "help"}));
  if (menusBefore >= 0) {
    EXPECT_EQ(testhooks::LiveMenuCount(), menusBefore);
    EXPECT_EQ(testhooks::LiveGdiObjectCount(), gdiWithMenu);  // the item bitmaps went with it
  }

  ASSERT_EQ(testhooks::PopupMenuCalls().size(), 1u);
  const testhooks::PopupMenuCall &call = testhooks::PopupMenuCalls()[0];
  EXPECT_EQ(call.x, 120);
  EXPECT_EQ(call.y, 340);
  EXPECT_TRUE(call.flags & TPM_RETURNCMD);
  EXPECT_TRUE(call.flags & TPM_RIGHTBUTTON);
  HWND owner = static_cast<HWND>(call.owner);
  EXPECT_TRUE(IsWindow(owner));
  EXPECT_FALSE(IsWindowVisible(owner));
  // o1, separator, h1, w1, submenu: the hidden item is left out.
  ASSERT_EQ(call.items.size(), 5u);
  const auto &items = call.items;
  EXPECT_EQ(items[0].id, tray.o1->Command());
  EXPECT_EQ(items[0].text, "環境オプション(&O)...");
  EXPECT_TRUE(items[0].hasBitmap);
  EXPECT_FALSE(items[0].isDefault);
  EXPECT_TRUE(items[1].type & MFT_SEPARATOR);
  EXPECT_EQ(items[2].text, "ヘルプ目次(&H)");
  EXPECT_TRUE(items[2].isDefault);
  EXPECT_TRUE(items[2].hasBitmap);
  EXPECT_EQ(items[3].text, "Fernwick(&W)");
  EXPECT_EQ(items[3].state & MFS_GRAYED, static_cast<unsigned>(MFS_GRAYED));
  EXPECT_FALSE(items[3].hasBitmap);
  ASSERT_EQ(items[4].subItems.size(), 1u);
  EXPECT_EQ(items[4].subItems[0].text, "inner");
  EXPECT_TRUE(items[4].subItems[0].hasBitmap);

  // A submenu's item, then a dismissed menu, then a checked one.
  pick = tray.subChild->Command();
  tray.menu->Popup(0, 0);
  pick = 0;
  tray.menu->Popup(0, 0);
  tray.setup->SetChecked(true);
  pick = tray.o1->Command();
  tray.menu->Popup(0, 0);
  EXPECT_EQ(tray.log, (std::vector<std::string>{"popup", "track", "help", "popup", "track", "inner", "popup",
                                                "track", "popup", "track", "setup"}));
  ASSERT_EQ(testhooks::PopupMenuCalls().size(), 4u);
  EXPECT_TRUE(testhooks::PopupMenuCalls()[3].items[0].state & MFS_CHECKED);
  if (menusBefore >= 0) {
    EXPECT_EQ(testhooks::LiveMenuCount(), menusBefore);
    EXPECT_EQ(testhooks::LiveGdiObjectCount(), gdiWithMenu);
  }
}

TEST(PopupMenuTest, OnlyTheFirstDefaultOfAMenuIsMarked) {
  TComponent form(nullptr);
  TPopupMenu menu(&form);
  TMenuItem *items[4];
  for (int i = 0; i < 4; ++i) items[i] = NewItem(&form, menu.Items(), std::to_string(i));
  items[1]->SetDefault(true);
  items[3]->SetDefault(true);
  PopupCapture capture(nullptr);
  menu.Popup(0, 0);
  ASSERT_EQ(testhooks::PopupMenuCalls().size(), 1u);
  const auto &shown = testhooks::PopupMenuCalls()[0].items;
  ASSERT_EQ(shown.size(), 4u);
  EXPECT_FALSE(shown[0].isDefault);
  EXPECT_TRUE(shown[1].isDefault);
  EXPECT_FALSE(shown[3].isDefault);
}

TEST(PopupMenuTest, ReferencesAreClearedWhenTheirTargetsGo) {
  TComponent form(nullptr);
  auto *menu = new TPopupMenu(&form);
  auto *images = new TImageList(&form);
  auto *shower = new TComponent(&form);
  TMenuItem *item = NewItem(&form, menu->Items(), "x");
  item->SetImageIndex(0);
  menu->SetImages(images);
  menu->PopupComponent = shower;
  {
    PopupCapture capture(nullptr);
    menu->Popup(0, 0);
  }
  EXPECT_EQ(menu->PopupComponent, shower);
  delete shower;
  EXPECT_EQ(menu->PopupComponent, nullptr);
  delete images;
  EXPECT_EQ(menu->Images(), nullptr);
  delete item;
  EXPECT_EQ(menu->Items()->Count(), 0);
  PopupCapture capture(nullptr);
  menu->Popup(0, 0);  // an empty menu still shows and closes
  EXPECT_EQ(testhooks::PopupMenuCalls().size(), 1u);
}

TEST(PopupMenuTest, ClickMayFreeTheMenu) {
  TComponent form(nullptr);
  auto *menu = new TPopupMenu(&form);
  TMenuItem *item = NewItem(&form, menu->Items(), "close");
  bool freed = false;
  item->OnClick = [&](TObject *) {
    delete menu;  // and the item with nothing else: it belongs to the form
    delete item;
    freed = true;
  };
  unsigned pick = item->Command();
  PopupCapture capture([&](const testhooks::PopupMenuCall &) { return pick; });
  menu->Popup(5, 5);
  EXPECT_TRUE(freed);
}

}  // namespace
