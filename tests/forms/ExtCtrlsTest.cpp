// The window timer run through the message loop (with a deadline, so a missing tick
// fails instead of hanging), panels' client areas, and radio groups driven through
// their buttons' windows.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "forms/ExtCtrls.h"
#include "tests/forms/ControlTestSupport.h"

using namespace controltest;

namespace {

// Handles messages until Done() holds; false when the deadline (tick time) passes first.
bool PumpUntil(const std::function<bool()> &Done, DWORD Ms = 5000) {
  DWORD start = GetTickCount();
  while (!Done()) {
    if (GetTickCount() - start > Ms) return false;
    MSG msg;
    if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    } else {
      Sleep(1);
    }
  }
  return true;
}

// ---- TTimer --------------------------------------------------------------------------------

TEST(TimerTest, TicksWhileEnabledAndStopsWhenDisabled) {
  TTimer timer(nullptr);
  timer.SetInterval(10);
  int ticks = 0;
  TObject *sender = nullptr;
  timer.SetOnTimer([&](TObject *s) {
    ++ticks;
    sender = s;
  });
  ASSERT_TRUE(PumpUntil([&] { return ticks >= 2; }));
  EXPECT_EQ(sender, &timer);
  timer.SetEnabled(false);
  ticks = 0;
  PumpUntil([] { return false; }, 60);
  EXPECT_EQ(ticks, 0);
  timer.SetEnabled(true);
  EXPECT_TRUE(PumpUntil([&] { return ticks >= 1; }));
}

TEST(TimerTest, RunsOnlyWithAnIntervalAHandlerAndEnabled) {
  struct Row {
    UINT interval;
    bool handler, enabled;
    bool runs;
  };
  const Row rows[] = {
      {10, true, true, true}, {0, true, true, false}, {10, false, true, false}, {10, true, false, false}};
  for (const Row &row : rows) {
    int before = testhooks::LiveTimerCount();
    int ticks = 0;
    {
      TTimer timer(nullptr);
      timer.SetEnabled(row.enabled);
      timer.SetInterval(row.interval);
      if (row.handler) timer.SetOnTimer([&](TObject *) { ++ticks; });
      if (before >= 0) {
        EXPECT_EQ(testhooks::LiveTimerCount(), before + (row.runs ? 1 : 0));
      }
      if (row.handler) {
        EXPECT_EQ(PumpUntil([&] { return ticks > 0; }, row.runs ? 5000 : 60), row.runs);
      }
      timer.SetOnTimer(nullptr);  // taking the handler away stops it
      if (before >= 0) {
        EXPECT_EQ(testhooks::LiveTimerCount(), before);
      }
    }
    if (before >= 0) {
      EXPECT_EQ(testhooks::LiveTimerCount(), before);
    }
  }
}

TEST(TimerTest, AHandlerMayFreeItsOwnTimer) {
  int windows = testhooks::LiveWindowCount();
  int timers = testhooks::LiveTimerCount();
  auto *timer = new TTimer(nullptr);
  bool freed = false;
  timer->SetInterval(5);
  timer->SetOnTimer([&](TObject *sender) {
    delete static_cast<TTimer *>(sender);
    freed = true;
  });
  ASSERT_TRUE(PumpUntil([&] { return freed; }));
  PumpUntil([] { return false; }, 30);  // a further tick would reach a freed timer
  if (windows >= 0) {
    EXPECT_EQ(testhooks::LiveWindowCount(), windows);
  }
  if (timers >= 0) {
    EXPECT_EQ(testhooks::LiveTimerCount(), timers);
  }
}

// ---- TPanel --------------------------------------------------------------------------------

TEST(PanelTest, TheClientAreaLiesInsideTheBorderAndTheBevels) {
  struct Row {
    TPanelBevel outer, inner;
    int bevelWidth, borderWidth;
    int inset;
  };
  const Row rows[] = {
      {bvNone, bvNone, 1, 0, 0},      {bvRaised, bvNone, 1, 0, 1}, {bvRaised, bvNone, 1, 3, 4},
      {bvLowered, bvRaised, 2, 0, 4}, {bvNone, bvNone, 1, 5, 5},   {bvSpace, bvLowered, 1, 2, 4},
  };
  for (const Row &row : rows) {
    ShownForm form;
    auto *panel = form.Add<TPanel>(0, 0, 200, 100);
    auto *child = form.Add<TPanel>(0, 0, 10, 10, panel);
    child->SetAlign(alClient);
    panel->BevelOuter = row.outer;
    panel->BevelInner = row.inner;
    panel->BevelWidth = row.bevelWidth;
    panel->SetBorderWidth(row.borderWidth);
    TRect client = panel->ClientRect();
    EXPECT_EQ(client.Left, row.inset) << "border " << row.borderWidth;
    EXPECT_EQ(client.Top, row.inset);
    EXPECT_EQ(client.Right, 200 - row.inset);
    EXPECT_EQ(client.Bottom, 100 - row.inset);
    if (row.borderWidth > 0) {  // the border's change moved the aligned child
      EXPECT_EQ(child->Left(), row.inset);
      EXPECT_EQ(child->Width(), 200 - 2 * row.inset);
    }
  }
}

// ---- Radio groups --------------------------------------------------------------------------

TRadioGroup *PriorityGroup(ShownForm &form) {
  auto *group = form.Add<TRadioGroup>(8, 168, 145, 65);
  group->SetCaption("基本優先度");
  for (const char *s : {"高", "通常", "低"}) group->Items()->Add(s);
  return group;
}

std::vector<bool> CheckedButtons(TRadioGroup *group) {
  std::vector<bool> checked;
  for (int i = 0; group->Buttons(i); ++i) {
    checked.push_back(group->Buttons(i)->Checked());
    bool shown = SendMessageA(group->Buttons(i)->Handle(), BM_GETCHECK, 0, 0) == BST_CHECKED;
    EXPECT_EQ(shown, checked.back()) << "button " << i;
  }
  return checked;
}

TEST(RadioGroupTest, OneButtonPerItemFollowsTheItems) {
  ShownForm form;
  TRadioGroup *group = PriorityGroup(form);
  group->SetItemIndex(1);
  ASSERT_EQ(group->ControlCount(), 3);
  EXPECT_EQ(group->Buttons(3), nullptr);
  EXPECT_EQ(group->Buttons(2)->Caption(), "低");
  EXPECT_EQ(CheckedButtons(group), (std::vector<bool>{false, true, false}));

  group->Items()->Delete(0);
  ASSERT_EQ(group->ControlCount(), 2);
  EXPECT_EQ(group->Buttons(0)->Caption(), "通常");
  EXPECT_EQ(group->ItemIndex(), 1);
  EXPECT_EQ(CheckedButtons(group), (std::vector<bool>{false, true}));

  group->Items()->Delete(1);  // the chosen item goes
  EXPECT_EQ(group->ItemIndex(), -1);
  EXPECT_EQ(CheckedButtons(group), (std::vector<bool>{false}));
}

TEST(RadioGroupTest, AClickOnAButtonSetsItemIndexAndRaisesTheGroupsOnClickOnce) {
  ShownForm form;
  TRadioGroup *group = PriorityGroup(form);
  group->SetItemIndex(1);
  std::vector<TObject *> clicks;
  group->OnClick = [&](TObject *s) { clicks.push_back(s); };
  Click(group->Buttons(2));
  EXPECT_EQ(group->ItemIndex(), 2);
  EXPECT_EQ(clicks, (std::vector<TObject *>{group}));
  EXPECT_EQ(CheckedButtons(group), (std::vector<bool>{false, false, true}));
  Click(group->Buttons(2));
  EXPECT_EQ(clicks.size(), 1u);
}

TEST(RadioGroupTest, SetItemIndexChecksOneButtonAndNamesNoItemOutOfRange) {
  struct Row {
    int requested, expected;
    int clicks;  // of the group, in all so far
  };
  const Row rows[] = {{0, 0, 1}, {0, 0, 1}, {2, 2, 2}, {5, -1, 2}, {-1, -1, 2}, {1, 1, 3}, {-7, -1, 3}};
  ShownForm form;
  TRadioGroup *group = PriorityGroup(form);
  int clicks = 0;
  group->OnClick = [&](TObject *) { ++clicks; };
  for (const Row &row : rows) {
    group->SetItemIndex(row.requested);
    EXPECT_EQ(group->ItemIndex(), row.expected) << "asked " << row.requested;
    EXPECT_EQ(clicks, row.clicks) << "asked " << row.requested;
    std::vector<bool> expected(3, false);
    if (row.expected >= 0) expected[static_cast<size_t>(row.expected)] = true;
    EXPECT_EQ(CheckedButtons(group), expected) << "asked " << row.requested;
  }
}

TEST(RadioGroupTest, ButtonsFillTheClientAreaColumnByColumn) {
  ShownForm form;
  auto *group = form.Add<TRadioGroup>(160, 56, 233, 81);
  group->SetColumns(2);
  for (const char *s : {"a", "b", "c"}) group->Items()->Add(s);
  TRadioButton *b0 = group->Buttons(0), *b1 = group->Buttons(1), *b2 = group->Buttons(2);
  EXPECT_EQ(b0->Left(), b1->Left());
  EXPECT_GT(b2->Left(), b0->Left());
  EXPECT_EQ(b2->Top(), b0->Top());
  EXPECT_GT(b1->Top(), b0->Top());
  TRect client = group->ClientRect();
  for (TRadioButton *b : {b0, b1, b2}) {
    EXPECT_GE(b->Left(), client.Left);
    EXPECT_GE(b->Top(), client.Top);
    EXPECT_LE(b->Left() + b->Width(), client.Right);
    EXPECT_LE(b->Top() + b->Height(), client.Bottom);
    EXPECT_EQ(b->Height(), b0->Height());
  }
  int width = b0->Width();
  group->SetWidth(333);
  EXPECT_GT(b0->Width(), width);
}

// A radio group set up in a form's constructor, as a designed form is.
class TGroupForm : public TForm {
 public:
  explicit TGroupForm(TComponent *AOwner) : TForm(AOwner) {
    Group = new TRadioGroup(this);
    Group->SetParent(this);
    Group->SetBounds(8, 8, 200, 100);
    Group->OnClick = [this](TObject *) { ++Clicks; };
    Group->SetItemIndex(1);  // before the items, as a design may store it
    for (const char *s : {"infoseekテレビ番組表", "NTPと同期", "下のアドレスをブラウザで表示"})
      Group->Items()->Add(s);
  }
  TRadioGroup *Group;
  int Clicks = 0;
};

TEST(RadioGroupTest, ADesignedGroupTakesItsIndexWhenLoadedWithoutAClick) {
  std::unique_ptr<TGroupForm> form(CreateForm<TGroupForm>(nullptr));
  EXPECT_EQ(form->Group->ItemIndex(), 1);
  EXPECT_EQ(form->Clicks, 0);
  EXPECT_TRUE(form->Group->Buttons(1)->Checked());
  for (int i = 0; i < 3; ++i) EXPECT_FALSE(form->Group->Buttons(i)->ComponentState() & csLoading) << i;
  form->Group->SetItemIndex(2);
  EXPECT_EQ(form->Clicks, 1);
}

TEST(RadioGroupTest, ItsAcceleratorFocusesTheCheckedButton) {
  ShownForm form;
  auto *edit = form.Add<TEdit>(8, 8, 100, 21);
  auto *group = form.Add<TRadioGroup>(160, 56, 233, 81);
  group->SetCaption("クリック時の動作(&C)");
  for (const char *s : {"a", "b", "c"}) group->Items()->Add(s);
  group->SetItemIndex(2);
  edit->SetFocus();
  PostAltChar('c');
  EXPECT_EQ(GetFocus(), group->Buttons(2)->Handle());
  EXPECT_EQ(group->ItemIndex(), 2);
}

}  // namespace
