// The control core driven as a user's input would drive it: the order of children,
// windows made on demand with Windows' style bits, hooks on the window procedure, font
// inheritance, mouse input for non-windowed children, key filtering, focus, alignment
// and clean destruction.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/forms/CoreTestSupport.h"

using namespace coretest;

namespace {

TEST(ControlOrderTest, NonWindowedChildrenComeFirstAndTabOrderIsSeparate) {
  auto form = NewForm();
  auto *label1 = new TMouseSpot(form.get());
  auto *edit1 = new TPlainEdit(form.get());
  auto *label2 = new TMouseSpot(form.get());
  auto *box = new TBox(form.get());
  auto *edit2 = new TPlainEdit(form.get());
  for (TControl *c : std::vector<TControl *>{label1, edit1, label2, box, edit2}) c->SetParent(form.get());

  const std::vector<TControl *> walk{label1, label2, edit1, box, edit2};
  auto children = [&] {
    std::vector<TControl *> v;
    for (int i = 0; i < form->ControlCount(); ++i) v.push_back(form->Controls(i));
    return v;
  };
  EXPECT_EQ(children(), walk);
  EXPECT_EQ(edit1->TabOrder(), 0);
  EXPECT_EQ(box->TabOrder(), 1);
  EXPECT_EQ(edit2->TabOrder(), 2);
  EXPECT_FALSE(box->TabStop());  // the base is no tab stop

  edit2->SetTabOrder(0);
  EXPECT_EQ((std::vector<int>{edit2->TabOrder(), edit1->TabOrder(), box->TabOrder()}),
            (std::vector<int>{0, 1, 2}));
  edit2->SetTabOrder(-1);
  EXPECT_EQ((std::vector<int>{edit1->TabOrder(), box->TabOrder(), edit2->TabOrder()}),
            (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(children(), walk);  // the walk order does not follow the tab order

  // A child moved to another parent leaves the first list and joins the second's end,
  // its window with it; taken out of every list it loses the window.
  HWND wnd = edit1->Handle();
  edit1->SetParent(box);
  EXPECT_EQ(edit1->Handle(), wnd);
  EXPECT_EQ(GetParent(wnd), box->Handle());
  EXPECT_EQ(form->ControlCount(), 4);
  EXPECT_EQ(box->Controls(0), edit1);
  EXPECT_EQ(edit1->TabOrder(), 0);
  EXPECT_EQ(edit2->TabOrder(), 1);
  EXPECT_THROW(form->Controls(4), Exception);
  edit1->SetParent(nullptr);
  EXPECT_FALSE(IsWindow(wnd));
  EXPECT_EQ(box->ControlCount(), 0);
}

TEST(WindowCreationTest, WindowsAreMadeOnDemandParentsFirstWithWindowsStyleBits) {
  struct Row {
    bool visible, enabled, tabStop;
  };
  const Row rows[] = {{true, true, false}, {false, true, true}, {true, false, true}, {false, false, false}};
  for (const Row &row : rows) {
    auto form = NewForm();
    auto *box = new TBox(form.get());
    box->SetParent(form.get());
    auto *first = new TBox(form.get());
    first->SetParent(box);
    auto *child = new TBox(form.get());
    child->SetParent(box);
    child->SetBounds(3, 4, 50, 20);
    child->SetVisible(row.visible);
    child->SetEnabled(row.enabled);
    child->SetTabStop(row.tabStop);
    EXPECT_FALSE(form->HandleAllocated());
    EXPECT_FALSE(child->HandleAllocated());

    HWND wnd = child->Handle();
    ASSERT_NE(wnd, nullptr);
    EXPECT_TRUE(form->HandleAllocated());
    EXPECT_EQ(GetParent(wnd), box->Handle());
    EXPECT_EQ(TWinControl::FindControl(wnd), child);
    DWORD style = static_cast<DWORD>(GetWindowLongA(wnd, GWL_STYLE));
    std::string what = "visible " + std::to_string(row.visible) + " enabled " + std::to_string(row.enabled) +
                       " tab stop " + std::to_string(row.tabStop);
    EXPECT_EQ(style & (WS_CHILD | WS_CLIPSIBLINGS), static_cast<DWORD>(WS_CHILD | WS_CLIPSIBLINGS)) << what;
    EXPECT_EQ((style & WS_VISIBLE) != 0, row.visible) << what;
    EXPECT_EQ((style & WS_DISABLED) != 0, !row.enabled) << what;
    EXPECT_EQ((style & WS_TABSTOP) != 0, row.tabStop) << what;
    // Ids count per parent: the box's children are 1 and 2 in the order they were made.
    EXPECT_EQ(GetDlgCtrlID(first->Handle()), 1) << what;
    EXPECT_EQ(GetDlgCtrlID(wnd), 2) << what;
    RECT r{};
    GetWindowRect(wnd, &r);
    EXPECT_EQ(r.right - r.left, 50);
    EXPECT_EQ(r.bottom - r.top, 20);
    char cls[64] = {};
    GetClassNameA(wnd, cls, sizeof cls);
    EXPECT_STREQ(cls, "TBox");
  }
}

TEST(WindowCreationTest, TextAndBoundsSurviveTheWindowAndComeBackFromWindows) {
  auto form = NewForm();
  auto *edit = new TPlainEdit(form.get());
  edit->SetParent(form.get());
  edit->SetBounds(10, 20, 100, 22);
  edit->SetText("before");
  EXPECT_EQ(edit->Text(), "before");
  char buf[32] = {};
  GetWindowTextA(edit->Handle(), buf, sizeof buf);
  EXPECT_STREQ(buf, "before");
  SetWindowTextA(edit->Handle(), "typed");
  EXPECT_EQ(edit->Text(), "typed");
  // Windows moves it: the control's bounds follow.
  MoveWindow(edit->Handle(), 30, 40, 120, 24, TRUE);
  EXPECT_EQ((std::vector<int>{edit->Left(), edit->Top(), edit->Width(), edit->Height()}),
            (std::vector<int>{30, 40, 120, 24}));
  HWND old = edit->Handle();
  edit->RecreateWnd();
  EXPECT_FALSE(IsWindow(old));
  EXPECT_EQ(edit->Text(), "typed");
  RECT r{};
  GetWindowRect(edit->Handle(), &r);
  EXPECT_EQ(r.right - r.left, 120);
}

TEST(WindowProcTest, AHookSeesMessagesPassesThemOnAndIsRemovedByRestoring) {
  auto form = NewForm();
  auto *edit = new TPlainEdit(form.get());
  edit->SetParent(form.get());
  edit->SetText("abcd");
  const UINT kPing = WM_USER + 7;
  std::vector<UINT> seen;
  TWndMethod previous = edit->WindowProc;
  edit->WindowProc = [&](TMessage &m) {
    seen.push_back(m.Msg);
    if (m.Msg == kPing) {
      m.Result = 42;  // consumed here
      return;
    }
    previous(m);
  };
  EXPECT_EQ(SendMessageA(edit->Handle(), kPing, 0, 0), 42);
  // Passed on: the edit's own answer comes back through the hook.
  EXPECT_EQ(SendMessageA(edit->Handle(), WM_GETTEXTLENGTH, 0, 0), 4);
  EXPECT_EQ(edit->Perform(kPing, 0, 0), 42);
  EXPECT_EQ(std::count(seen.begin(), seen.end(), kPing), 2);
  EXPECT_EQ(std::count(seen.begin(), seen.end(), static_cast<UINT>(WM_GETTEXTLENGTH)), 1);

  edit->WindowProc = previous;
  seen.clear();
  EXPECT_EQ(SendMessageA(edit->Handle(), kPing, 0, 0), 0);
  EXPECT_EQ(SendMessageA(edit->Handle(), WM_GETTEXTLENGTH, 0, 0), 4);
  EXPECT_TRUE(seen.empty());
}

TEST(FontTest, ChildrenFollowTheFormsFontUntilTheyGetOneOfTheirOwn) {
  auto form = NewForm();
  auto *box = new TBox(form.get());
  box->SetParent(form.get());
  auto *inner = new TPlainEdit(form.get());
  inner->SetParent(box);
  auto *own = new TPlainEdit(form.get());
  own->SetParent(form.get());

  EXPECT_EQ(inner->Font()->Name(), "ＭＳ Ｐゴシック");
  EXPECT_EQ(inner->Font()->Height(), -12);
  EXPECT_EQ(inner->Font()->Charset(), 128);
  EXPECT_TRUE(inner->ParentFont());

  TFont big;
  big.SetHeight(-20);
  own->SetFont(&big);
  EXPECT_FALSE(own->ParentFont());
  inner->HandleNeeded();
  own->HandleNeeded();

  form->Font()->SetName("Arial");
  form->Font()->SetHeight(-16);
  EXPECT_EQ(box->Font()->Name(), "Arial");
  EXPECT_EQ(inner->Font()->Name(), "Arial");
  EXPECT_EQ(inner->Font()->Height(), -16);
  EXPECT_TRUE(inner->ParentFont());
  // The edit's window was told the new font.
  EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageA(inner->Handle(), WM_GETFONT, 0, 0)),
            inner->Font()->Handle());
  EXPECT_EQ(own->Font()->Height(), -20);
  EXPECT_EQ(own->Font()->Name(), "ＭＳ Ｐゴシック");

  own->SetParentFont(true);
  EXPECT_EQ(own->Font()->Name(), "Arial");
  EXPECT_EQ(own->Font()->Height(), -16);

  // A control placed later takes its new parent's font at once.
  auto *late = new TPlainEdit(form.get());
  late->SetParent(box);
  EXPECT_EQ(late->Font()->Height(), -16);
}

TEST(MouseTest, AGraphicChildGetsTheMouseOverItHoldsItWhilePressedAndClicksOnlyInside) {
  auto form = NewForm();
  auto *spot = new TMouseSpot(form.get());
  spot->SetParent(form.get());
  spot->SetBounds(10, 10, 50, 20);
  std::vector<std::string> formLog;
  form->OnMouseDown = [&](TObject *, TMouseButton, TShiftState, int x, int y) {
    formLog.push_back(std::to_string(x) + "," + std::to_string(y));
  };
  HWND wnd = form->Handle();

  // Pressed inside, dragged out, released outside: no click, the capture held meanwhile.
  SendMessageA(wnd, WM_LBUTTONDOWN, MK_LBUTTON, At(15, 12));
  EXPECT_TRUE(spot->MouseCapture());
  EXPECT_EQ(GetCapture(), wnd);
  SendMessageA(wnd, WM_MOUSEMOVE, MK_LBUTTON, At(200, 100));
  SendMessageA(wnd, WM_LBUTTONUP, 0, At(200, 100));
  EXPECT_FALSE(spot->MouseCapture());
  EXPECT_NE(GetCapture(), wnd);
  EXPECT_EQ(spot->Log, (std::vector<std::string>{"down 0 5,2", "move 190,90", "up 0 190,90"}));

  // Pressed and released inside: one click, before the release is reported.
  spot->Log.clear();
  SendMessageA(wnd, WM_LBUTTONDOWN, MK_LBUTTON, At(59, 29));
  SendMessageA(wnd, WM_LBUTTONUP, 0, At(20, 20));
  EXPECT_EQ(spot->Log, (std::vector<std::string>{"down 0 49,19", "click", "up 0 10,10"}));

  // The double click's second press, and the other buttons.
  spot->Log.clear();
  SendMessageA(wnd, WM_LBUTTONDBLCLK, MK_LBUTTON, At(11, 11));
  SendMessageA(wnd, WM_LBUTTONUP, 0, At(11, 11));
  SendMessageA(wnd, WM_RBUTTONDOWN, MK_RBUTTON, At(12, 13));
  SendMessageA(wnd, WM_MBUTTONUP, 0, At(12, 13));
  EXPECT_EQ(spot->Log,
            (std::vector<std::string>{"dblclick", "down 0d 1,1", "up 0 1,1", "down 1 2,3", "up 2 2,3"}));

  // Beside it (the right edge is outside), or hidden: the form's own.
  spot->Log.clear();
  SendMessageA(wnd, WM_LBUTTONDOWN, MK_LBUTTON, At(60, 12));
  SendMessageA(wnd, WM_LBUTTONUP, 0, At(60, 12));
  spot->SetVisible(false);
  SendMessageA(wnd, WM_LBUTTONDOWN, MK_LBUTTON, At(15, 12));
  SendMessageA(wnd, WM_LBUTTONUP, 0, At(15, 12));
  EXPECT_TRUE(spot->Log.empty());
  EXPECT_EQ(formLog, (std::vector<std::string>{"60,12", "15,12"}));
}

TEST(MouseTest, AGraphicChildFreedWhileHoldingTheCaptureLeavesNothingBehind) {
  auto form = NewForm();
  auto *spot = new TMouseSpot(form.get());
  spot->SetParent(form.get());
  spot->SetBounds(0, 0, 30, 30);
  HWND wnd = form->Handle();
  SendMessageA(wnd, WM_LBUTTONDOWN, MK_LBUTTON, At(5, 5));
  ASSERT_EQ(GetCapture(), wnd);
  delete spot;
  EXPECT_NE(GetCapture(), wnd);
  EXPECT_EQ(form->ControlCount(), 0);
  // Further input goes to the form, not to freed memory.
  SendMessageA(wnd, WM_MOUSEMOVE, MK_LBUTTON, At(6, 6));
  SendMessageA(wnd, WM_LBUTTONUP, 0, At(6, 6));
}

TEST(KeyTest, KeyDownAndKeyPressHandlersFilterWhatReachesTheEdit) {
  auto form = NewForm();
  auto *edit = new TPlainEdit(form.get());
  edit->SetParent(form.get());
  edit->SetBounds(5, 5, 150, 22);
  std::vector<WORD> keys;
  edit->OnKeyPress = [](TObject *, char &key) {
    if (key == 'x') key = 0;    // dropped
    if (key == 'a') key = 'A';  // replaced
  };
  edit->OnKeyDown = [&](TObject *, WORD &key, TShiftState) {
    keys.push_back(key);
    if (key == VK_DELETE) key = 0;
  };
  HWND wnd = edit->Handle();
  for (char ch : std::string("axbx")) SendMessageA(wnd, WM_CHAR, static_cast<unsigned char>(ch), 1);
  EXPECT_EQ(edit->Text(), "Ab");

  // Delete at the start: kept out of the edit by the handler, so nothing is deleted.
  SendMessageA(wnd, EM_SETSEL, 0, 0);
  SendMessageA(wnd, WM_KEYDOWN, VK_DELETE, 1);
  EXPECT_EQ(edit->Text(), "Ab");
  // A key the handler lets through does its work: the caret moves, the next character
  // lands after the first.
  SendMessageA(wnd, WM_KEYDOWN, VK_RIGHT, 1);
  SendMessageA(wnd, WM_CHAR, 'c', 1);
  EXPECT_EQ(edit->Text(), "Acb");
  EXPECT_EQ(keys, (std::vector<WORD>{VK_DELETE, VK_RIGHT}));
}

TEST(FocusTest, LeavingOneControlComesBeforeEnteringTheNextAndTheFormFollows) {
  auto form = NewForm();
  auto *a = new TPlainEdit(form.get());
  auto *b = new TPlainEdit(form.get());
  a->SetParent(form.get());
  b->SetParent(form.get());
  b->SetTop(30);
  std::vector<std::string> log;
  for (auto *e : {a, b}) {
    std::string name = e == a ? "a" : "b";
    e->OnEnter = [&log, name](TObject *) { log.push_back("enter " + name); };
    e->OnExit = [&log, name](TObject *) { log.push_back("exit " + name); };
  }
  form->Show();
  log.clear();  // showing focused the first tab stop
  EXPECT_EQ(form->ActiveControl(), a);

  b->SetFocus();
  EXPECT_EQ(log, (std::vector<std::string>{"exit a", "enter b"}));
  EXPECT_TRUE(b->Focused());
  EXPECT_EQ(form->ActiveControl(), b);
  a->SetFocus();
  EXPECT_EQ(form->ActiveControl(), a);
  EXPECT_EQ(log.back(), "enter a");

  // The active control goes with the control.
  delete a;
  EXPECT_EQ(form->ActiveControl(), nullptr);
}

TEST(AlignTest, AlignedChildrenShareTheClientAreaTopBottomLeftRightThenClient) {
  auto form = NewForm();
  form->SetClientSize(300, 200);
  auto make = [&](TAlign align, int w, int h) {
    auto *box = new TBox(form.get());
    box->SetParent(form.get());
    box->SetBounds(0, 0, w, h);
    box->SetAlign(align);
    return box;
  };
  TBox *client = make(alClient, 10, 10);
  TBox *top = make(alTop, 10, 30);
  TBox *bottom = make(alBottom, 10, 20);
  TBox *left = make(alLeft, 40, 10);
  auto bounds = [](TControl *c) { return std::vector<int>{c->Left(), c->Top(), c->Width(), c->Height()}; };
  EXPECT_EQ(bounds(top), (std::vector<int>{0, 0, 300, 30}));
  EXPECT_EQ(bounds(bottom), (std::vector<int>{0, 180, 300, 20}));
  EXPECT_EQ(bounds(left), (std::vector<int>{0, 30, 40, 150}));
  EXPECT_EQ(bounds(client), (std::vector<int>{40, 30, 260, 150}));

  // With a window: Windows' resize brings the new layout.
  form->HandleNeeded();
  form->SetClientSize(400, 250);
  EXPECT_EQ(form->ClientWidth(), 400);
  EXPECT_EQ(form->ClientHeight(), 250);
  EXPECT_EQ(bounds(client), (std::vector<int>{40, 30, 360, 200}));
  EXPECT_EQ(bounds(bottom), (std::vector<int>{0, 230, 400, 20}));
  RECT r{};
  GetWindowRect(client->Handle(), &r);
  EXPECT_EQ(r.right - r.left, 360);

  // A hidden aligned child gives its room to the others.
  top->SetVisible(false);
  EXPECT_EQ(bounds(left), (std::vector<int>{0, 0, 40, 230}));
}

TEST(DestroyTest, AnOwnerFreesNestedControlsAndTheirWindowsCleanly) {
  int before = testhooks::LiveWindowCount();
  {
    auto form = NewForm();
    auto *outer = new TBox(form.get());
    outer->SetParent(form.get());
    auto *inner = new TBox(form.get());
    inner->SetParent(outer);
    auto *edit = new TPlainEdit(form.get());
    edit->SetParent(inner);
    auto *spot = new TMouseSpot(form.get());
    spot->SetParent(inner);
    form->Show();
    ASSERT_TRUE(IsWindow(edit->Handle()));
    HWND editWnd = edit->Handle();

    // One control freed by itself: out of its parent's lists, its window gone.
    delete edit;
    EXPECT_FALSE(IsWindow(editWnd));
    EXPECT_EQ(inner->ControlCount(), 1);
  }
  if (before >= 0) {
    EXPECT_EQ(testhooks::LiveWindowCount(), before);
  }
}

TEST(DestroyTest, AParentFreedFirstLeavesItsChildrenWithoutParent) {
  auto form = NewForm();
  auto *box = new TBox(nullptr);  // not owned by the form: freed here, before its child
  box->SetParent(form.get());
  auto *edit = new TPlainEdit(form.get());
  edit->SetParent(box);
  HWND editWnd = edit->Handle();
  delete box;
  EXPECT_EQ(edit->Parent(), nullptr);
  EXPECT_FALSE(edit->HandleAllocated());
  EXPECT_FALSE(IsWindow(editWnd));
  EXPECT_EQ(form->ControlCount(), 0);
  delete edit;  // still fine on its own
}

}  // namespace
