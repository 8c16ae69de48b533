// The standard controls driven through their windows: characters typed into edits,
// clicks on buttons and lists, dialog keys and accelerators through the message loop,
// and the state each control keeps when its window is made again.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "forms/StdCtrls.h"
#include "tests/forms/ControlTestSupport.h"

using namespace controltest;

namespace {

// ---- Edits ---------------------------------------------------------------------------------

TEST(EditTest, TypingChangesTheTextAndRaisesOnChangePerCharacter) {
  ShownForm form;
  auto *edit = form.Add<TEdit>(8, 8, 120, 21);
  std::vector<std::string> seen;
  TObject *sender = nullptr;
  edit->OnChange = [&](TObject *s) {
    sender = s;
    seen.push_back(edit->Text());
  };
  edit->SetFocus();
  Type(edit, "ab");
  EXPECT_EQ(edit->Text(), "ab");
  EXPECT_EQ(seen, (std::vector<std::string>{"a", "ab"}));
  EXPECT_EQ(sender, edit);
}

TEST(EditTest, LengthLimitAndReadOnlyReachTheWindowWheneverItIsMade) {
  struct Row {
    int maxLength;
    bool readOnly;
    bool recreate;  // the window is made again before typing
    const char *expected;
  };
  const Row rows[] = {
      {0, false, false, "abcdef"}, {3, false, false, "abc"}, {3, false, true, "abc"},
      {0, true, false, ""},        {0, true, true, ""},
  };
  for (const Row &row : rows) {
    ShownForm form;
    auto *edit = form.Add<TEdit>(8, 8, 120, 21);
    edit->SetMaxLength(row.maxLength);
    edit->SetReadOnly(row.readOnly);
    edit->HandleNeeded();
    if (row.recreate) edit->RecreateWnd();
    edit->SetFocus();
    Type(edit, "abcdef");
    EXPECT_EQ(edit->Text(), row.expected)
        << "max " << row.maxLength << " read-only " << row.readOnly << " recreated " << row.recreate;
  }
}

TEST(EditTest, KeyboardEntrySelectsAllOnlyWhereAutoSelectAsksForIt) {
  struct Row {
    bool memo;
    bool autoSelect;
    int expectedLength;
  };
  // A memo never selects on entry: its lines are edited, not replaced.
  const Row rows[] = {{false, true, 5}, {false, false, 0}, {true, true, 0}};
  for (const Row &row : rows) {
    ShownForm form;
    auto *other = form.Add<TEdit>(8, 40, 120, 21);
    TCustomEdit *edit = row.memo ? static_cast<TCustomEdit *>(form.Add<TMemo>(8, 8, 120, 30))
                                 : static_cast<TCustomEdit *>(form.Add<TEdit>(8, 8, 120, 21));
    edit->AutoSelect = row.autoSelect;
    edit->SetText("hello");
    other->SetFocus();
    edit->SetFocus();
    EXPECT_EQ(edit->SelLength(), row.expectedLength) << "memo " << row.memo << " auto " << row.autoSelect;
  }
}

// ---- Memos ---------------------------------------------------------------------------------

TEST(MemoTest, LinesAreTheTextsLinesBeforeAndAfterTheWindowIsMadeAgain) {
  ShownForm form;
  auto *memo = form.Add<TMemo>(8, 8, 200, 80);
  memo->Lines()->Add("one");
  memo->Lines()->Add("two");
  memo->Lines()->Insert(1, "mid");
  EXPECT_EQ(memo->Text(), "one\r\nmid\r\ntwo");
  memo->HandleNeeded();
  EXPECT_TRUE(StyleOf(memo) & ES_MULTILINE);
  ASSERT_EQ(memo->Lines()->Count(), 3);
  EXPECT_EQ(memo->Lines()->Get(1), "mid");
  memo->Lines()->Delete(0);
  memo->RecreateWnd();
  ASSERT_EQ(memo->Lines()->Count(), 2);
  EXPECT_EQ(memo->Lines()->Get(0), "mid");
  EXPECT_EQ(memo->Text(), "mid\r\ntwo");
  EXPECT_THROW(memo->Lines()->Get(2), EStringListError);
}

TEST(MemoTest, LineBreaksOfEveryKindEndLinesAndAFinalBreakStartsNoLine) {
  struct Row {
    const char *text;
    std::vector<std::string> lines;
  };
  const Row rows[] = {
      {"", {}},
      {"a", {"a"}},
      {"a\r\nb\r\n", {"a", "b"}},
      {"a\n\nb", {"a", "", "b"}},
      {"a\rb", {"a", "b"}},
      {"\r\n", {""}},
  };
  ShownForm form;
  auto *memo = form.Add<TMemo>(8, 8, 200, 80);
  for (const Row &row : rows) {
    memo->SetText(row.text);
    std::vector<std::string> lines;
    for (int i = 0; i < memo->Lines()->Count(); ++i) lines.push_back(memo->Lines()->Get(i));
    EXPECT_EQ(lines, row.lines) << "text \"" << row.text << "\"";
  }
}

// ---- Push buttons --------------------------------------------------------------------------

TEST(ButtonTest, AMouseClickRaisesOnClickOnce) {
  ShownForm form;
  auto *button = form.Add<TButton>(8, 8, 75, 25);
  int clicks = 0;
  TObject *sender = nullptr;
  button->OnClick = [&](TObject *s) {
    ++clicks;
    sender = s;
  };
  Click(button);
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(sender, button);
}

struct DialogButtons {
  TEdit *edit;
  TButton *ok, *cancel;
  int okClicks = 0, cancelClicks = 0;
};

void AddDialogButtons(ShownForm &form, DialogButtons &d) {
  d.edit = form.Add<TEdit>(8, 8, 120, 21);
  d.ok = form.Add<TButton>(256, 232, 64, 20);
  d.ok->SetCaption("&OK");
  d.ok->SetDefault(true);
  d.cancel = form.Add<TButton>(328, 232, 64, 20);
  d.cancel->SetCaption("キャンセル");
  d.cancel->Cancel = true;
  d.ok->OnClick = [&d](TObject *) { ++d.okClicks; };
  d.cancel->OnClick = [&d](TObject *) { ++d.cancelClicks; };
}

TEST(ButtonTest, EnterClicksTheDefaultButtonAndEscTheCancelButton) {
  ShownForm form;
  DialogButtons d;
  AddDialogButtons(form, d);
  d.edit->SetFocus();
  PostKey(VK_RETURN);
  EXPECT_EQ(d.okClicks, 1);
  EXPECT_EQ(d.cancelClicks, 0);
  PostKey(VK_ESCAPE);
  EXPECT_EQ(d.okClicks, 1);
  EXPECT_EQ(d.cancelClicks, 1);
  // Its accelerator clicks a button, in either case.
  PostAltChar('x');
  PostAltChar('O');
  EXPECT_EQ(d.okClicks, 2);
  // A Default button that cannot be clicked is not.
  d.ok->SetEnabled(false);
  PostKey(VK_RETURN);
  PostAltChar('o');
  EXPECT_EQ(d.okClicks, 2);
}

TEST(ButtonTest, TheFocusedButtonIsTheDefaultOneWhileItHasTheFocus) {
  ShownForm form;
  DialogButtons d;
  AddDialogButtons(form, d);
  auto type = [](TButton *b) { return StyleOf(b) & BS_TYPEMASK; };
  d.edit->SetFocus();
  EXPECT_EQ(type(d.ok), static_cast<DWORD>(BS_DEFPUSHBUTTON));
  EXPECT_EQ(type(d.cancel), static_cast<DWORD>(BS_PUSHBUTTON));

  d.cancel->SetFocus();
  EXPECT_EQ(type(d.ok), static_cast<DWORD>(BS_PUSHBUTTON));
  EXPECT_EQ(type(d.cancel), static_cast<DWORD>(BS_DEFPUSHBUTTON));
  PostKey(VK_RETURN);
  EXPECT_EQ(d.cancelClicks, 1);
  EXPECT_EQ(d.okClicks, 0);

  d.edit->SetFocus();
  EXPECT_EQ(type(d.ok), static_cast<DWORD>(BS_DEFPUSHBUTTON));
  EXPECT_EQ(type(d.cancel), static_cast<DWORD>(BS_PUSHBUTTON));
}

// ---- Check boxes ---------------------------------------------------------------------------

TEST(CheckBoxTest, ClicksCycleThroughTheAllowedStatesRaisingOnClickEachTime) {
  struct Row {
    bool allowGrayed;
    std::vector<TCheckBoxState> states;  // after each click
  };
  const Row rows[] = {
      {false, {cbChecked, cbUnchecked, cbChecked}},
      {true, {cbChecked, cbGrayed, cbUnchecked, cbChecked}},
  };
  const WPARAM shown[] = {BST_UNCHECKED, BST_CHECKED, BST_INDETERMINATE};
  for (const Row &row : rows) {
    ShownForm form;
    auto *box = form.Add<TCheckBox>(8, 8, 120, 17);
    box->AllowGrayed = row.allowGrayed;
    int clicks = 0;
    box->OnClick = [&](TObject *) { ++clicks; };
    for (size_t i = 0; i < row.states.size(); ++i) {
      Click(box);
      EXPECT_EQ(box->State(), row.states[i]) << "grayed allowed " << row.allowGrayed << ", click " << i + 1;
      EXPECT_EQ(static_cast<WPARAM>(SendMessageA(box->Handle(), BM_GETCHECK, 0, 0)), shown[row.states[i]]);
      EXPECT_EQ(clicks, static_cast<int>(i + 1));
    }
  }
}

TEST(CheckBoxTest, SetStateRaisesOnClickOnChangeAndReachesEveryNewWindow) {
  ShownForm form;
  auto *edit = form.Add<TEdit>(8, 8, 120, 21);
  auto *box = form.Add<TCheckBox>(8, 40, 200, 17);
  box->AllowGrayed = true;
  int clicks = 0;
  box->OnClick = [&](TObject *) { ++clicks; };
  box->SetState(cbGrayed);  // before the window exists
  box->SetState(cbGrayed);
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(SendMessageA(box->Handle(), BM_GETCHECK, 0, 0), BST_INDETERMINATE);
  box->SetChecked(true);
  box->RecreateWnd();
  EXPECT_EQ(SendMessageA(box->Handle(), BM_GETCHECK, 0, 0), BST_CHECKED);
  EXPECT_EQ(clicks, 2);
  // The accelerator focuses and toggles it.
  box->SetCaption("起動時に時刻を更新する(&B)");
  edit->SetFocus();
  PostAltChar('b');
  EXPECT_EQ(box->State(), cbGrayed);
  EXPECT_EQ(GetFocus(), box->Handle());
  EXPECT_EQ(clicks, 3);
}

// ---- Radio buttons -------------------------------------------------------------------------

TEST(RadioButtonTest, CheckingOneUnchecksItsSiblingsButNotButtonsElsewhere) {
  ShownForm form;
  auto *group = form.Add<TGroupBox>(8, 8, 200, 100);
  auto *first = form.Add<TRadioButton>(8, 20, 100, 17, group);
  auto *second = form.Add<TRadioButton>(8, 40, 100, 17, group);
  auto *outside = form.Add<TRadioButton>(8, 120, 100, 17);
  std::vector<TObject *> clicked;
  for (TRadioButton *r : {first, second, outside}) r->OnClick = [&](TObject *s) { clicked.push_back(s); };
  first->SetChecked(true);
  outside->SetChecked(true);
  clicked.clear();

  Click(second);
  EXPECT_TRUE(second->Checked());
  EXPECT_FALSE(first->Checked());
  EXPECT_TRUE(outside->Checked());
  EXPECT_EQ(SendMessageA(first->Handle(), BM_GETCHECK, 0, 0), BST_UNCHECKED);
  EXPECT_EQ(SendMessageA(second->Handle(), BM_GETCHECK, 0, 0), BST_CHECKED);
  EXPECT_EQ(clicked, (std::vector<TObject *>{second}));
  // Only the checked button of a group is a tab stop.
  EXPECT_TRUE(second->TabStop());
  EXPECT_FALSE(first->TabStop());

  Click(second);  // already checked: nothing happens
  EXPECT_EQ(clicked.size(), 1u);
}

// ---- List boxes ----------------------------------------------------------------------------

TEST(ListBoxTest, ItemsAndIndexGivenBeforeTheWindowReachItAndSurviveItsRecreation) {
  ShownForm form;
  auto *list = form.Add<TListBox>(8, 8, 145, 88);
  list->Items()->Add("a");
  list->Items()->Add("b");
  list->Items()->Add("c");
  list->SetItemIndex(1);
  EXPECT_EQ(SendMessageA(list->Handle(), LB_GETCOUNT, 0, 0), 3);
  EXPECT_EQ(SendMessageA(list->Handle(), LB_GETCURSEL, 0, 0), 1);
  list->Items()->Put(2, "C");
  list->Items()->Delete(0);
  list->RecreateWnd();
  ASSERT_EQ(list->Count(), 2);
  EXPECT_EQ(list->Items()->Get(0), "b");
  EXPECT_EQ(list->Items()->Get(1), "C");
  EXPECT_EQ(list->ItemIndex(), 0);  // "b" moved up when "a" went
  EXPECT_THROW(list->Items()->Get(2), EStringListError);
}

TEST(ListBoxTest, AnIndexThatNamesNoItemSelectsNothing) {
  const int requested[] = {-5, -1, 0, 2, 3, 100};
  const int expected[] = {-1, -1, 0, 2, -1, -1};
  for (bool withWindow : {false, true}) {
    ShownForm form;
    auto *list = form.Add<TListBox>(8, 8, 145, 88);
    for (const char *s : {"a", "b", "c"}) list->Items()->Add(s);
    if (withWindow) list->HandleNeeded();
    for (size_t i = 0; i < sizeof requested / sizeof requested[0]; ++i) {
      list->SetItemIndex(1);
      list->SetItemIndex(requested[i]);
      EXPECT_EQ(list->ItemIndex(), expected[i])
          << requested[i] << (withWindow ? " with" : " without") << " window";
    }
  }
}

TEST(ListBoxTest, AClickSelectsAndRaisesOnClickADoubleClickRaisesOnDblClick) {
  ShownForm form;
  auto *list = form.Add<TListBox>(8, 8, 145, 88);
  for (const char *s : {"ntp1", "ntp2", "ntp3"}) list->Items()->Add(s);
  int clicks = 0, doubles = 0;
  list->OnClick = [&](TObject *) { ++clicks; };
  list->OnDblClick = [&](TObject *) { ++doubles; };
  int itemHeight = static_cast<int>(SendMessageA(list->Handle(), LB_GETITEMHEIGHT, 0, 0));
  ASSERT_GT(itemHeight, 0);
  ClickAt(list->Handle(), 10, itemHeight + itemHeight / 2);
  EXPECT_EQ(list->ItemIndex(), 1);
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(doubles, 0);

  SendMessageA(list->Handle(), WM_LBUTTONDBLCLK, MK_LBUTTON, Point(10, itemHeight + itemHeight / 2));
  Release(list->Handle(), 10, itemHeight + itemHeight / 2);
  EXPECT_EQ(doubles, 1);
  EXPECT_EQ(clicks, 1);  // the selection did not change

  list->SetItemIndex(2);  // the program's choice is no click
  EXPECT_EQ(clicks, 1);
}

TEST(ListBoxTest, FindExactIgnoresLetterCaseButNeverConfusesDoubleByteCharacters) {
  struct Row {
    const char *query;
    int expected;
  };
  // "ア" is 83 41 in code page 932 and "ヂ" is 83 61: their trail bytes are 'A' and 'a'.
  const Row rows[] = {
      {"NTP.Example.JP", 0},
      {"ntp.example", -1},
      {"ア", 1},
      {"ヂ", -1},
      {"time.example.jp", 3},
      {"", -1},  // the list's own search never matches an empty text, not even an empty item
  };
  for (bool withWindow : {false, true}) {
    ShownForm form;
    auto *list = form.Add<TListBox>(8, 8, 145, 88);
    for (const char *s : {"ntp.example.jp", "ア", "", "TIME.example.jp"}) list->Items()->Add(s);
    if (withWindow) list->HandleNeeded();
    for (const Row &row : rows)
      EXPECT_EQ(list->FindExact(row.query), row.expected)
          << "\"" << row.query << "\"" << (withWindow ? " with" : " without") << " window";
  }
}

TEST(ListBoxTest, TheSettingsListShowsSevenWholeItemsOfTwelvePixels) {
  struct Row {
    bool integral;
    int height;
    int expected;
  };
  // A client edge of 2 pixels each side: 88 leaves 84 pixels, seven items exactly.
  const Row rows[] = {{true, 88, 88}, {true, 95, 88}, {false, 95, 95}};
  for (const Row &row : rows) {
    ShownForm form;
    auto *list = form.Add<TListBox>(8, 72, 145, row.height);
    list->IntegralHeight = row.integral;
    list->SetItemHeight(12);
    list->HandleNeeded();
    EXPECT_EQ(SendMessageA(list->Handle(), LB_GETITEMHEIGHT, 0, 0), 12);
    EXPECT_EQ(list->Height(), row.expected) << "integral " << row.integral << " height " << row.height;
  }
}

// ---- Combo boxes ---------------------------------------------------------------------------

TEST(ComboBoxTest, ItemsAndIndexSurviveRecreationAndOnlyTheUsersPickIsReported) {
  ShownForm form;
  auto *combo = form.Add<TComboBox>(8, 8, 145, 21);
  combo->Style = csDropDownList;
  for (const char *s : {"x", "y", "z"}) combo->Items()->Add(s);
  std::vector<std::string> events;
  combo->OnClick = [&](TObject *) { events.push_back("click " + std::to_string(combo->ItemIndex())); };
  combo->OnChange = [&](TObject *) { events.push_back("change"); };
  combo->SetItemIndex(2);
  EXPECT_EQ(SendMessageA(combo->Handle(), CB_GETCOUNT, 0, 0), 3);
  EXPECT_EQ(SendMessageA(combo->Handle(), CB_GETCURSEL, 0, 0), 2);
  EXPECT_EQ(StyleOf(combo) & 3u, static_cast<DWORD>(CBS_DROPDOWNLIST));
  combo->RecreateWnd();
  EXPECT_EQ(combo->Items()->Get(2), "z");
  EXPECT_EQ(combo->ItemIndex(), 2);
  combo->SetItemIndex(7);
  EXPECT_EQ(combo->ItemIndex(), -1);
  combo->SetItemIndex(0);
  EXPECT_TRUE(events.empty());
  combo->SetFocus();
  SendMessageA(combo->Handle(), WM_KEYDOWN, VK_DOWN, 1);
  EXPECT_EQ(events, (std::vector<std::string>{"click 1", "change"}));
}

// ---- Labels and static texts ---------------------------------------------------------------

TEST(LabelTest, ItsAcceleratorMovesTheFocusToItsFocusControl) {
  ShownForm form;
  auto *first = form.Add<TEdit>(8, 24, 145, 20);
  auto *list = form.Add<TListBox>(8, 72, 145, 88);
  auto *button = form.Add<TButton>(256, 232, 64, 20);
  auto *label = form.Add<TLabel>(8, 56, 100, 12);
  label->SetCaption("NTPサーバーリスト(&S)");
  label->SetFocusControl(list);
  auto *plain = form.Add<TLabel>(8, 8, 100, 12);
  plain->SetCaption("更新間隔(&I)");  // no focus target

  first->SetFocus();
  PostAltChar('i');
  EXPECT_EQ(GetFocus(), first->Handle());
  PostAltChar('s');
  EXPECT_EQ(GetFocus(), list->Handle());

  // A plain letter is an accelerator where it would not be typed: on a button, not in an edit.
  first->SetFocus();
  PostChar('s');
  EXPECT_EQ(GetFocus(), first->Handle());
  EXPECT_EQ(first->Text(), "s");
  button->SetFocus();
  PostChar('s');
  EXPECT_EQ(GetFocus(), list->Handle());

  // Nothing happens when the target cannot take the focus, or the label shows "&" as is.
  first->SetFocus();
  list->SetEnabled(false);
  PostAltChar('s');
  EXPECT_EQ(GetFocus(), first->Handle());
  list->SetEnabled(true);
  label->ShowAccelChar = false;
  PostAltChar('s');
  EXPECT_EQ(GetFocus(), first->Handle());
}

TEST(LabelTest, AFreedFocusControlIsForgotten) {
  ShownForm form;
  auto *edit = form.Add<TEdit>(8, 24, 145, 20);
  auto *label = form.Add<TLabel>(8, 8, 100, 12);
  label->SetCaption("&Name");
  label->SetFocusControl(edit);
  delete edit;
  EXPECT_EQ(label->FocusControl(), nullptr);
  PostAltChar('n');  // must not reach the freed edit
}

TEST(LabelTest, AutoSizeFitsTheCaptionAndAPrefixTakesNoRoom) {
  ShownForm form;
  auto *label = form.Add<TLabel>(8, 8, 10, 10);
  label->SetCaption("Abc");
  int width = label->Width();
  EXPECT_GT(width, 0);
  EXPECT_GT(label->Height(), 0);
  label->SetCaption("&Abc");
  EXPECT_EQ(label->Width(), width);
  label->ShowAccelChar = false;
  label->SetCaption("x");
  label->SetCaption("&Abc");
  EXPECT_GT(label->Width(), width);
  label->SetCaption("Abcdef");
  EXPECT_GT(label->Width(), width);

  // Word-wrapped: the width stays and the lines add height.
  auto *wrapped = form.Add<TLabel>(8, 60, 40, 10);
  wrapped->WordWrap = true;
  wrapped->SetCaption("x");
  int oneLine = wrapped->Height();
  EXPECT_EQ(wrapped->Width(), 40);
  wrapped->SetCaption("aaa bbb ccc ddd eee fff");
  EXPECT_EQ(wrapped->Width(), 40);
  EXPECT_GT(wrapped->Height(), oneLine);
}

// A label made while its form is being built is sized once the form is loaded.
class TLabelForm : public TForm {
 public:
  explicit TLabelForm(TComponent *AOwner) : TForm(AOwner) {
    Label = new TLabel(this);
    Label->SetParent(this);
    Label->SetBounds(8, 8, 1, 1);
    Label->SetCaption("NTPサーバー(&N)");
  }
  TLabel *Label;
};

TEST(LabelTest, ALabelOfADesignedFormIsSizedWhenTheFormIsLoaded) {
  ShownForm form;
  auto *reference = form.Add<TLabel>(8, 8, 1, 1);
  reference->SetCaption("NTPサーバー(&N)");
  std::unique_ptr<TLabelForm> designed(CreateForm<TLabelForm>(nullptr));
  EXPECT_EQ(designed->Label->Width(), reference->Width());
  EXPECT_EQ(designed->Label->Height(), reference->Height());
  EXPECT_GT(reference->Width(), 1);
}

TEST(StaticTextTest, StyleBitsFollowTheProperties) {
  struct Row {
    bool showAccelChar;
    TStaticBorderStyle border;
    TAlignment alignment;
    DWORD present, absent;
  };
  const Row rows[] = {
      {true, sbsNone, taLeftJustify, SS_NOTIFY, SS_NOPREFIX | SS_SUNKEN | WS_BORDER | SS_CENTER | SS_RIGHT},
      {false, sbsNone, taLeftJustify, SS_NOPREFIX, SS_SUNKEN | WS_BORDER},
      {true, sbsSunken, taCenter, SS_SUNKEN | SS_CENTER, WS_BORDER | SS_NOPREFIX},
      {true, sbsSingle, taRightJustify, WS_BORDER | SS_RIGHT, SS_SUNKEN},
  };
  for (const Row &row : rows) {
    ShownForm form;
    auto *text = form.Add<TStaticText>(16, 16, 100, 20);
    text->ShowAccelChar = row.showAccelChar;
    text->BorderStyle = row.border;
    text->Alignment = row.alignment;
    DWORD style = StyleOf(text);
    EXPECT_EQ(style & row.present, row.present) << std::hex << style;
    EXPECT_EQ(style & row.absent, 0u) << std::hex << style;
  }
}

TEST(StaticTextTest, AutoSizeFitsCaptionFontAndBorder) {
  ShownForm form;
  auto *plain = form.Add<TStaticText>(16, 16, 1, 1);
  auto *framed = form.Add<TStaticText>(16, 50, 1, 1);
  framed->BorderStyle = sbsSingle;
  for (TStaticText *t : {plain, framed}) t->SetCaption("OCNのNTPサーバーを使用します");
  EXPECT_GT(plain->Width(), 1);
  EXPECT_EQ(framed->Width(), plain->Width() + 2);
  EXPECT_EQ(framed->Height(), plain->Height() + 2);
  int small = plain->Height();
  plain->Font()->SetHeight(-19);
  plain->Font()->SetStyle(fsBold);
  EXPECT_GT(plain->Height(), small);
}

// ---- Group boxes ---------------------------------------------------------------------------

TEST(GroupBoxTest, TheClientAreaLiesInsideTheFrameBelowTheCaption) {
  ShownForm form;
  auto *group = form.Add<TGroupBox>(8, 8, 185, 105);
  group->SetCaption("基本優先度");
  TRect client = group->ClientRect();
  EXPECT_GT(client.Left, 0);
  EXPECT_GE(client.Top, -group->Font()->Height());  // below a caption of that height
  EXPECT_LT(client.Right, 185);
  EXPECT_LT(client.Bottom, 105);
  auto *inside = form.Add<TEdit>(0, 0, 10, 10, group);
  inside->SetAlign(alClient);
  EXPECT_EQ(inside->Left(), client.Left);
  EXPECT_EQ(inside->Top(), client.Top);
  EXPECT_EQ(inside->Width(), client.Width());
  EXPECT_EQ(inside->Height(), client.Height());
}

}  // namespace
