#include <gtest/gtest.h>

#include "forms/ActnList.h"
#include "forms/ImgList.h"

namespace {

TEST(ActionTest, ExecuteRunsTheHandlerOnlyWhenAssignedAndEnabled) {
  struct Case {
    bool assigned, enabled;
    bool result;
  };
  const Case cases[] = {
      {true, true, true}, {true, false, false}, {false, true, false}, {false, false, false}};
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::Message() << "assigned " << c.assigned << ", enabled " << c.enabled);
    TAction action(nullptr);
    int runs = 0;
    if (c.assigned)
      action.OnExecute = [&](TObject *sender) {
        EXPECT_EQ(sender, &action);
        ++runs;
      };
    action.SetEnabled(c.enabled);
    EXPECT_EQ(action.Execute(), c.result);
    EXPECT_EQ(runs, c.result ? 1 : 0);
  }
}

TEST(ActionTest, HandlerMayFreeItsAction) {
  auto *action = new TAction(nullptr);
  bool ran = false;
  action->OnExecute = [&](TObject *sender) {
    delete static_cast<TAction *>(sender);
    ran = true;
  };
  EXPECT_TRUE(action->Execute());
  EXPECT_TRUE(ran);
}

TEST(ActionTest, ClientsHearOfChangesUntilTheyGo) {
  TAction action(nullptr);
  auto *client = new TComponent(nullptr);
  int heard = 0;
  action.RegisterChanges(client, [&] { ++heard; });
  action.SetCaption("Go");
  action.SetCaption("Go");  // no change
  action.SetImageIndex(2);
  action.SetChecked(true);
  EXPECT_EQ(heard, 3);
  delete client;  // its registration goes with it
  action.SetVisible(false);
  EXPECT_EQ(heard, 3);

  TComponent other(nullptr);
  action.RegisterChanges(&other, [&] { ++heard; });
  action.UnRegisterChanges(&other);
  action.SetEnabled(false);
  EXPECT_EQ(heard, 3);
}

TEST(ActionListTest, ActionsJoinAndLeaveAndEitherSideMayGoFirst) {
  TComponent form(nullptr);
  auto *list1 = new TActionList(&form);
  auto *list2 = new TActionList(&form);
  auto *a = new TAction(&form);
  auto *b = new TAction(&form);
  a->SetActionList(list1);
  b->SetActionList(list1);
  ASSERT_EQ(list1->ActionCount(), 2);
  EXPECT_EQ(list1->Actions(0), a);
  EXPECT_EQ(list1->Actions(1), b);
  EXPECT_THROW(list1->Actions(2), EComponentError);

  a->SetActionList(list2);  // leaves list1
  ASSERT_EQ(list1->ActionCount(), 1);
  EXPECT_EQ(list1->Actions(0), b);
  ASSERT_EQ(list2->ActionCount(), 1);
  EXPECT_EQ(a->ActionList(), list2);

  delete b;
  EXPECT_EQ(list1->ActionCount(), 0);
  delete list2;
  EXPECT_EQ(a->ActionList(), nullptr);

  auto *images = new TImageList(&form);
  list1->SetImages(images);
  EXPECT_EQ(list1->Images(), images);
  delete images;
  EXPECT_EQ(list1->Images(), nullptr);
}

TEST(ActionListTest, AnActionTakenFromTheListsOwnershipLeavesIt) {
  TComponent other(nullptr);
  auto *list = new TActionList(nullptr);
  auto *action = new TAction(list);  // owned by the list itself
  action->SetActionList(list);
  other.InsertComponent(action);
  EXPECT_EQ(list->ActionCount(), 0);
  EXPECT_EQ(action->ActionList(), nullptr);
  action->SetActionList(list);  // joined again, the link holds until the list goes
  delete list;
  EXPECT_EQ(action->ActionList(), nullptr);
}

}  // namespace
