// Buttons, list boxes, combo boxes and static controls driven with mouse and key
// messages as a user would, checked by their state and by the notifications their
// parent receives, the same on the host layer and under Wine.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/platform/ControlTestSupport.h"

namespace {

using ctltest::Click;
using ctltest::CodesFrom;
using ctltest::Key;
using ctltest::Note;
using ctltest::Notes;
using ctltest::Text;

class Buttons : public ctltest::ControlTest {};

LRESULT Check(HWND b) { return SendMessageA(b, BM_GETCHECK, 0, 0); }

TEST_F(Buttons, AClickIsAPressAndAReleaseInsideTheButton) {
  HWND b = Make("BUTTON", BS_PUSHBUTTON, "OK", 1, 10, 10, 80, 24);
  Click(b, 5, 5);
  EXPECT_EQ(CodesFrom(b), (std::vector<int>{BN_CLICKED}));
  EXPECT_EQ(GetFocus(), b);
  EXPECT_EQ(GetCapture(), nullptr);
  EXPECT_EQ(SendMessageA(b, BM_GETSTATE, 0, 0), BST_FOCUS);

  // Pressed, it shows pushed and holds the mouse; released outside, it does nothing.
  Notes().clear();
  SendMessageA(b, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
  EXPECT_EQ(SendMessageA(b, BM_GETSTATE, 0, 0) & (BST_PUSHED | BST_FOCUS), BST_PUSHED | BST_FOCUS);
  EXPECT_EQ(GetCapture(), b);
  SendMessageA(b, WM_LBUTTONUP, 0, MAKELPARAM(85, 5));
  EXPECT_TRUE(CodesFrom(b).empty());
  EXPECT_EQ(GetCapture(), nullptr);
  EXPECT_FALSE(SendMessageA(b, BM_GETSTATE, 0, 0) & BST_PUSHED);

  // A release without a press is no click; BM_CLICK and the space bar are.
  SendMessageA(b, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
  EXPECT_TRUE(CodesFrom(b).empty());
  SendMessageA(b, BM_CLICK, 0, 0);
  Key(b, VK_SPACE);
  EXPECT_EQ(CodesFrom(b), (std::vector<int>{BN_CLICKED, BN_CLICKED}));
}

TEST_F(Buttons, CheckBoxesToggleByThemselvesOnlyWhenAutomatic) {
  HWND plain = Make("BUTTON", BS_CHECKBOX, "plain", 1);
  HWND autoBox = Make("BUTTON", BS_AUTOCHECKBOX, "auto", 2, 10, 40);
  HWND three = Make("BUTTON", BS_AUTO3STATE, "three", 3, 10, 70);
  Click(plain, 2, 2);
  EXPECT_EQ(Check(plain), BST_UNCHECKED);  // the owner decides
  std::vector<LRESULT> seen;
  for (int i = 0; i < 2; ++i) {
    Click(autoBox, 2, 2);
    seen.push_back(Check(autoBox));
  }
  for (int i = 0; i < 3; ++i) {
    Click(three, 2, 2);
    seen.push_back(Check(three));
  }
  EXPECT_EQ(seen, (std::vector<LRESULT>{BST_CHECKED, BST_UNCHECKED, BST_CHECKED, BST_INDETERMINATE,
                                        BST_UNCHECKED}));
  EXPECT_EQ(CodesFrom(plain), (std::vector<int>{BN_CLICKED}));
  EXPECT_EQ(CodesFrom(autoBox).size(), 2u);
  EXPECT_EQ(CodesFrom(three).size(), 3u);

  // BM_SETCHECK sends nothing and keeps within what the button can show.
  Notes().clear();
  SendMessageA(plain, BM_SETCHECK, BST_CHECKED, 0);
  EXPECT_EQ(Check(plain), BST_CHECKED);
  SendMessageA(autoBox, BM_SETCHECK, BST_INDETERMINATE, 0);
  EXPECT_EQ(Check(autoBox), BST_CHECKED);
  SendMessageA(three, BM_SETCHECK, BST_INDETERMINATE, 0);
  EXPECT_EQ(Check(three), BST_INDETERMINATE);
  EXPECT_TRUE(Notes().empty());
}

TEST_F(Buttons, AnAutomaticRadioButtonUnchecksTheOthersOfItsGroupOnly) {
  HWND a = Make("BUTTON", BS_AUTORADIOBUTTON | WS_GROUP, "a", 1, 10, 10);
  HWND b = Make("BUTTON", BS_AUTORADIOBUTTON, "b", 2, 10, 40);
  HWND c = Make("BUTTON", BS_AUTORADIOBUTTON, "c", 3, 10, 70);
  HWND other = Make("BUTTON", BS_AUTORADIOBUTTON | WS_GROUP, "other", 4, 10, 100);
  SendMessageA(a, BM_SETCHECK, BST_CHECKED, 0);
  SendMessageA(other, BM_SETCHECK, BST_CHECKED, 0);
  EXPECT_EQ(Check(other), BST_CHECKED);

  Click(b, 2, 2);
  EXPECT_EQ(Check(a), BST_UNCHECKED);
  EXPECT_EQ(Check(b), BST_CHECKED);
  EXPECT_EQ(Check(c), BST_UNCHECKED);
  EXPECT_EQ(Check(other), BST_CHECKED);
  EXPECT_EQ(CodesFrom(b), (std::vector<int>{BN_CLICKED}));
  EXPECT_TRUE(CodesFrom(a).empty());
  // The checked one of a group is its tab stop.
  EXPECT_TRUE(GetWindowLongA(b, GWL_STYLE) & WS_TABSTOP);
  EXPECT_FALSE(GetWindowLongA(a, GWL_STYLE) & WS_TABSTOP);

  // Checking by message is the program's business: the others stay as they are.
  SendMessageA(c, BM_SETCHECK, BST_CHECKED, 0);
  EXPECT_EQ(Check(b), BST_CHECKED);
  EXPECT_EQ(Check(c), BST_CHECKED);
  Click(c, 2, 2);
  EXPECT_EQ(Check(b), BST_UNCHECKED);
  // A plain radio button is left to its owner.
  HWND manual = Make("BUTTON", BS_RADIOBUTTON | WS_GROUP, "manual", 5, 10, 130);
  Click(manual, 2, 2);
  EXPECT_EQ(Check(manual), BST_UNCHECKED);
  EXPECT_EQ(CodesFrom(manual), (std::vector<int>{BN_CLICKED}));
}

TEST_F(Buttons, DialogCodesAndFocusNotifications) {
  struct Row {
    DWORD style;
    LRESULT code;
  } rows[] = {
      {BS_PUSHBUTTON, DLGC_BUTTON | DLGC_UNDEFPUSHBUTTON},
      {BS_DEFPUSHBUTTON, DLGC_BUTTON | DLGC_DEFPUSHBUTTON},
      {BS_CHECKBOX, DLGC_BUTTON},
      {BS_AUTOCHECKBOX, DLGC_BUTTON},
      {BS_AUTO3STATE, DLGC_BUTTON},
      {BS_RADIOBUTTON, DLGC_BUTTON | DLGC_RADIOBUTTON},
      {BS_AUTORADIOBUTTON, DLGC_BUTTON | DLGC_RADIOBUTTON},
      {BS_GROUPBOX, DLGC_STATIC},
      {BS_OWNERDRAW, DLGC_BUTTON},
  };
  int id = 10;
  for (const Row &r : rows) {
    HWND b = Make("BUTTON", r.style, "b", id++);
    EXPECT_EQ(SendMessageA(b, WM_GETDLGCODE, 0, 0), r.code) << r.style;
  }
  // BM_SETSTYLE turns a push button into the default one.
  HWND ok = Make("BUTTON", BS_PUSHBUTTON, "OK", id++);
  SendMessageA(ok, BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
  EXPECT_EQ(SendMessageA(ok, WM_GETDLGCODE, 0, 0), DLGC_BUTTON | DLGC_DEFPUSHBUTTON);
  EXPECT_EQ(GetWindowLongA(ok, GWL_STYLE) & BS_TYPEMASK, BS_DEFPUSHBUTTON);

  // Only BS_NOTIFY buttons report focus.
  HWND quiet = Make("BUTTON", BS_PUSHBUTTON, "quiet", id++);
  HWND loud = Make("BUTTON", BS_PUSHBUTTON | BS_NOTIFY, "loud", id++);
  Notes().clear();
  SetFocus(quiet);
  SetFocus(loud);
  SetFocus(quiet);
  EXPECT_EQ(Notes(), (std::vector<Note>{{loud, BN_SETFOCUS}, {loud, BN_KILLFOCUS}}));
}

class Lists : public ctltest::ControlTest {};

std::vector<std::string> Items(HWND lb, UINT getCount = LB_GETCOUNT, UINT getText = LB_GETTEXT) {
  std::vector<std::string> r;
  int n = static_cast<int>(SendMessageA(lb, getCount, 0, 0));
  for (int i = 0; i < n; ++i) {
    char buf[64] = {};
    SendMessageA(lb, getText, i, reinterpret_cast<LPARAM>(buf));
    r.push_back(buf);
  }
  return r;
}

LRESULT Add(HWND lb, const char *s) { return SendMessageA(lb, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(s)); }

TEST_F(Lists, SortedItemsGoInPlaceAndIndexesAreChecked) {
  HWND lb = Make("LISTBOX", LBS_SORT | LBS_NOINTEGRALHEIGHT, "", 1, 10, 10, 100, 100);
  EXPECT_EQ(Add(lb, "pear"), 0);
  EXPECT_EQ(Add(lb, "Apple"), 0);
  EXPECT_EQ(Add(lb, "banana"), 1);
  EXPECT_EQ(Add(lb, "cherry"), 2);
  // Inserting at a position does not sort; -1 appends.
  EXPECT_EQ(SendMessageA(lb, LB_INSERTSTRING, 1, reinterpret_cast<LPARAM>("zz")), 1);
  EXPECT_EQ(SendMessageA(lb, LB_INSERTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>("aa")), 5);
  EXPECT_EQ(Items(lb), (std::vector<std::string>{"Apple", "zz", "banana", "cherry", "pear", "aa"}));
  EXPECT_EQ(SendMessageA(lb, LB_INSERTSTRING, 7, reinterpret_cast<LPARAM>("far")), LB_ERR);
  EXPECT_EQ(SendMessageA(lb, LB_GETTEXTLEN, 2, 0), 6);
  EXPECT_EQ(SendMessageA(lb, LB_GETTEXTLEN, 6, 0), LB_ERR);
  char buf[16];
  EXPECT_EQ(SendMessageA(lb, LB_GETTEXT, 6, reinterpret_cast<LPARAM>(buf)), LB_ERR);
  EXPECT_EQ(SendMessageA(lb, LB_DELETESTRING, 1, 0), 5);
  EXPECT_EQ(SendMessageA(lb, LB_DELETESTRING, 5, 0), LB_ERR);
  EXPECT_EQ(SendMessageA(lb, LB_GETCOUNT, 0, 0), 5);
  // Item data rides with its item.
  EXPECT_NE(SendMessageA(lb, LB_SETITEMDATA, 2, 1234), LB_ERR);
  EXPECT_EQ(SendMessageA(lb, LB_GETITEMDATA, 2, 0), 1234);
  EXPECT_EQ(SendMessageA(lb, LB_GETITEMDATA, 9, 0), LB_ERR);
  EXPECT_EQ(SendMessageA(lb, LB_RESETCONTENT, 0, 0), 0);
  EXPECT_EQ(SendMessageA(lb, LB_GETCOUNT, 0, 0), 0);
  EXPECT_EQ(SendMessageA(lb, LB_GETCURSEL, 0, 0), LB_ERR);
}

TEST_F(Lists, FindingIgnoresCaseStartsAfterTheGivenItemAndWraps) {
  HWND lb = Make("LISTBOX", LBS_NOINTEGRALHEIGHT, "", 1, 10, 10, 100, 100);
  for (const char *s : {"ntp.example", "NTP", "time.example", "ntp", "clock"}) Add(lb, s);
  struct Row {
    UINT msg;
    int start;
    const char *s;
    LRESULT found;
  } rows[] = {
      {LB_FINDSTRINGEXACT, -1, "ntp", 1},  // the first whole match, case ignored
      {LB_FINDSTRINGEXACT, 1, "ntp", 3},   // searching after item 1
      {LB_FINDSTRINGEXACT, 3, "ntp", 1},   // wrapping round past the end
      {LB_FINDSTRINGEXACT, 1, "NTP", 3},
      {LB_FINDSTRINGEXACT, -1, "ntp.", LB_ERR},  // a prefix is not an exact match
      {LB_FINDSTRINGEXACT, -1, "CLOCK", 4},
      {LB_FINDSTRINGEXACT, 4, "clock", 4},  // the start item itself is tried last
      {LB_FINDSTRING, -1, "NTP", 0},        // prefixes
      {LB_FINDSTRING, 0, "ntp", 1},
      {LB_FINDSTRING, -1, "Time.", 2},
      {LB_FINDSTRING, -1, "x", LB_ERR},
  };
  for (const Row &r : rows)
    EXPECT_EQ(SendMessageA(lb, r.msg, static_cast<WPARAM>(r.start), reinterpret_cast<LPARAM>(r.s)), r.found)
        << r.msg << " " << r.start << " " << r.s;

  // Only single-byte letters fold: ア (83 41) and ャ (83 61) differ only in what would be
  // an ASCII letter's case, yet they are different characters.
  SendMessageA(lb, LB_RESETCONTENT, 0, 0);
  Add(lb, "ャ");
  Add(lb, "ア");
  EXPECT_EQ(SendMessageA(lb, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>("ア")), 1);
  EXPECT_EQ(SendMessageA(lb, LB_FINDSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>("ア")), 1);

  // LB_SELECTSTRING selects what LB_FINDSTRING finds, without a notification.
  Notes().clear();
  EXPECT_EQ(SendMessageA(lb, LB_SELECTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>("ャ")), 0);
  EXPECT_EQ(SendMessageA(lb, LB_GETCURSEL, 0, 0), 0);
  EXPECT_TRUE(Notes().empty());
}

TEST_F(Lists, ClickingAnItemSelectsItAndTheOwnerHearsOfIt) {
  HWND lb = Make("LISTBOX", LBS_NOTIFY | LBS_NOINTEGRALHEIGHT, "", 7, 10, 10, 100, 100);
  for (const char *s : {"zero", "one", "two", "three", "four", "five", "six", "seven"}) Add(lb, s);
  ASSERT_EQ(SendMessageA(lb, LB_SETITEMHEIGHT, 0, 20), LB_OKAY);
  EXPECT_EQ(SendMessageA(lb, LB_GETITEMHEIGHT, 0, 0), 20);
  RECT r;
  ASSERT_NE(SendMessageA(lb, LB_GETITEMRECT, 2, reinterpret_cast<LPARAM>(&r)), LB_ERR);
  EXPECT_EQ(r.top, 40);
  EXPECT_EQ(r.bottom, 60);

  Notes().clear();
  Click(lb, 5, 45);  // the third item
  EXPECT_EQ(SendMessageA(lb, LB_GETCURSEL, 0, 0), 2);
  EXPECT_EQ(GetFocus(), lb);
  EXPECT_EQ(GetCapture(), nullptr);
  // One report per click, even when the item was selected already.
  Click(lb, 5, 45);
  EXPECT_EQ(CodesFrom(lb), (std::vector<int>{LBN_SETFOCUS, LBN_SELCHANGE, LBN_SELCHANGE}));

  // A double click is down, up, double-click, up.
  Notes().clear();
  SendMessageA(lb, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 65));
  SendMessageA(lb, WM_LBUTTONUP, 0, MAKELPARAM(5, 65));
  SendMessageA(lb, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(5, 65));
  SendMessageA(lb, WM_LBUTTONUP, 0, MAKELPARAM(5, 65));
  EXPECT_EQ(SendMessageA(lb, LB_GETCURSEL, 0, 0), 3);
  EXPECT_EQ(CodesFrom(lb), (std::vector<int>{LBN_SELCHANGE, LBN_DBLCLK}));

  // Scrolled down, a click counts from the top item.
  EXPECT_EQ(SendMessageA(lb, LB_SETTOPINDEX, 2, 0), LB_OKAY);
  EXPECT_EQ(SendMessageA(lb, LB_GETTOPINDEX, 0, 0), 2);
  Click(lb, 5, 5);
  EXPECT_EQ(SendMessageA(lb, LB_GETCURSEL, 0, 0), 2);
  // The top index stops where the last page is full: 8 items, 5 to a page.
  EXPECT_EQ(SendMessageA(lb, LB_SETTOPINDEX, 7, 0), LB_OKAY);
  EXPECT_EQ(SendMessageA(lb, LB_GETTOPINDEX, 0, 0), 3);
  // Below the last item there is nothing to select.
  SendMessageA(lb, LB_SETTOPINDEX, 0, 0);
  SendMessageA(lb, LB_RESETCONTENT, 0, 0);
  Add(lb, "only");
  Click(lb, 5, 85);
  EXPECT_EQ(SendMessageA(lb, LB_GETCURSEL, 0, 0), LB_ERR);
}

TEST_F(Lists, ProgramSelectionIsSilentAndArrowKeysAreNot) {
  HWND lb = Make("LISTBOX", LBS_NOTIFY | LBS_NOINTEGRALHEIGHT, "", 7, 10, 10, 100, 100);
  HWND quiet = Make("LISTBOX", LBS_NOINTEGRALHEIGHT, "", 8, 120, 10, 100, 100);
  for (HWND h : {lb, quiet})
    for (const char *s : {"a", "b", "c"}) Add(h, s);
  SetFocus(lb);
  Notes().clear();
  EXPECT_EQ(SendMessageA(lb, LB_SETCURSEL, 1, 0), 1);
  EXPECT_EQ(SendMessageA(lb, LB_SETCURSEL, 5, 0), LB_ERR);
  EXPECT_EQ(SendMessageA(lb, LB_GETCURSEL, 0, 0), 1);  // a bad index changes nothing
  EXPECT_TRUE(Notes().empty());
  Key(lb, VK_DOWN);
  EXPECT_EQ(SendMessageA(lb, LB_GETCURSEL, 0, 0), 2);
  Key(lb, VK_UP);
  Key(lb, VK_UP);
  EXPECT_EQ(SendMessageA(lb, LB_GETCURSEL, 0, 0), 0);
  Key(lb, VK_UP);  // already at the top: reported all the same
  EXPECT_EQ(SendMessageA(lb, LB_GETCURSEL, 0, 0), 0);
  EXPECT_EQ(CodesFrom(lb), (std::vector<int>{LBN_SELCHANGE, LBN_SELCHANGE, LBN_SELCHANGE, LBN_SELCHANGE}));
  // -1 clears the selection and, as documented, answers LB_ERR.
  EXPECT_EQ(SendMessageA(lb, LB_SETCURSEL, static_cast<WPARAM>(-1), 0), LB_ERR);
  EXPECT_EQ(SendMessageA(lb, LB_GETCURSEL, 0, 0), LB_ERR);

  // The selection stays on its item when others come and go before it.
  SendMessageA(lb, LB_SETCURSEL, 1, 0);
  SendMessageA(lb, LB_INSERTSTRING, 0, reinterpret_cast<LPARAM>("new"));
  EXPECT_EQ(SendMessageA(lb, LB_GETCURSEL, 0, 0), 2);
  SendMessageA(lb, LB_DELETESTRING, 0, 0);
  EXPECT_EQ(SendMessageA(lb, LB_GETCURSEL, 0, 0), 1);
  SendMessageA(lb, LB_DELETESTRING, 1, 0);
  EXPECT_EQ(SendMessageA(lb, LB_GETCURSEL, 0, 0), LB_ERR);

  // Without LBS_NOTIFY only the focus is reported, not clicks or keys.
  Notes().clear();
  Click(quiet, 5, 5);
  Key(quiet, VK_DOWN);
  EXPECT_EQ(SendMessageA(quiet, LB_GETCURSEL, 0, 0), 1);
  EXPECT_EQ(Notes(), (std::vector<Note>{{lb, LBN_KILLFOCUS}, {quiet, LBN_SETFOCUS}}));
  EXPECT_EQ(SendMessageA(quiet, WM_GETDLGCODE, 0, 0), DLGC_WANTARROWS | DLGC_WANTCHARS);
}

TEST_F(Lists, ComboBoxTextFollowsTheSelection) {
  HWND list = Make("COMBOBOX", CBS_DROPDOWNLIST | CBS_SORT, "", 1, 10, 10, 120, 200);
  HWND drop = Make("COMBOBOX", CBS_DROPDOWN, "", 2, 10, 40, 120, 200);
  for (HWND h : {list, drop})
    for (const char *s : {"beta", "Alpha", "gamma"})
      SendMessageA(h, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(s));
  EXPECT_EQ(Items(list, CB_GETCOUNT, CB_GETLBTEXT), (std::vector<std::string>{"Alpha", "beta", "gamma"}));
  EXPECT_EQ(Items(drop, CB_GETCOUNT, CB_GETLBTEXT), (std::vector<std::string>{"beta", "Alpha", "gamma"}));
  EXPECT_EQ(SendMessageA(list, CB_GETCURSEL, 0, 0), CB_ERR);
  EXPECT_EQ(Text(list), "");

  EXPECT_EQ(SendMessageA(list, CB_SETCURSEL, 2, 0), 2);
  EXPECT_EQ(SendMessageA(list, CB_SETCURSEL, 3, 0), CB_ERR);  // out of range: kept
  EXPECT_EQ(Text(list), "gamma");
  EXPECT_EQ(SendMessageA(list, WM_GETTEXTLENGTH, 0, 0), 5);
  EXPECT_EQ(SendMessageA(drop, CB_SETCURSEL, 1, 0), 1);
  EXPECT_EQ(Text(drop), "Alpha");
  // A drop-down list's text is its selection; a drop-down's edit takes any text.
  EXPECT_EQ(SendMessageA(list, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("other")), CB_ERR);
  EXPECT_EQ(Text(list), "gamma");
  EXPECT_TRUE(SetWindowTextA(drop, "typed"));
  EXPECT_EQ(Text(drop), "typed");
  EXPECT_EQ(SendMessageA(drop, CB_GETCURSEL, 0, 0), 1);

  EXPECT_EQ(SendMessageA(list, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>("BETA")),
            1);
  EXPECT_EQ(SendMessageA(list, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>("bet")),
            CB_ERR);
  EXPECT_EQ(SendMessageA(list, CB_GETLBTEXTLEN, 0, 0), 5);
  EXPECT_EQ(SendMessageA(list, CB_GETLBTEXTLEN, 3, 0), CB_ERR);
  // Deleting the selected item leaves none.
  EXPECT_EQ(SendMessageA(list, CB_DELETESTRING, 2, 0), 2);
  EXPECT_EQ(SendMessageA(list, CB_GETCURSEL, 0, 0), CB_ERR);
  EXPECT_EQ(Text(list), "");
  SendMessageA(list, CB_RESETCONTENT, 0, 0);
  EXPECT_EQ(SendMessageA(list, CB_GETCOUNT, 0, 0), 0);
  EXPECT_TRUE(Notes().empty());
  // Leaving a drop-down list cancels whatever was being chosen in it.
  SetFocus(list);
  SetFocus(parent_);
  EXPECT_EQ(CodesFrom(list), (std::vector<int>{CBN_SETFOCUS, CBN_SELENDCANCEL, CBN_KILLFOCUS}));
}

TEST_F(Lists, OwnerDrawnItemsAreMeasuredByTheOwnerAndReportedWhenTheyGo) {
  ctltest::DeletedItems().clear();
  HWND lb = Make("LISTBOX", LBS_OWNERDRAWFIXED | LBS_NOINTEGRALHEIGHT, "", 3, 10, 10, 100, 100);
  EXPECT_EQ(SendMessageA(lb, LB_GETITEMHEIGHT, 0, 0), static_cast<LRESULT>(ctltest::kMeasuredItemHeight));
  // Without LBS_HASSTRINGS the "string" is the item's data.
  EXPECT_EQ(SendMessageA(lb, LB_ADDSTRING, 0, 11), 0);
  EXPECT_EQ(SendMessageA(lb, LB_ADDSTRING, 0, 22), 1);
  EXPECT_EQ(SendMessageA(lb, LB_ADDSTRING, 0, 33), 2);
  EXPECT_EQ(SendMessageA(lb, LB_GETITEMDATA, 1, 0), 22);
  ULONG_PTR data = 0;
  EXPECT_EQ(SendMessageA(lb, LB_GETTEXT, 2, reinterpret_cast<LPARAM>(&data)),
            static_cast<LRESULT>(sizeof(ULONG_PTR)));
  EXPECT_EQ(data, 33u);
  EXPECT_EQ(SendMessageA(lb, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), 22), 1);
  SendMessageA(lb, LB_DELETESTRING, 0, 0);
  EXPECT_EQ(ctltest::DeletedItems(), (std::vector<ULONG_PTR>{11}));
  // The items left go with the list box.
  DestroyWindow(lb);
  ASSERT_EQ(ctltest::DeletedItems().size(), 3u);
  EXPECT_EQ(ctltest::DeletedItems()[1] + ctltest::DeletedItems()[2], 55u);
}

class Statics : public ctltest::ControlTest {};

TEST_F(Statics, TextDialogCodeAndClicksWhenAskedFor) {
  HWND label = Make("STATIC", SS_LEFT, "&Server:", 1);
  HWND link = Make("STATIC", SS_NOTIFY | SS_CENTER, "link", 2, 10, 40);
  EXPECT_EQ(Text(label), "&Server:");
  EXPECT_TRUE(SetWindowTextA(label, "サーバー"));
  EXPECT_EQ(Text(label), "サーバー");
  // A short buffer gets whole characters: 5 bytes hold "サー" and the terminator.
  char buf[6] = "xxxxx";
  EXPECT_EQ(GetWindowTextA(label, buf, 5), 4);
  EXPECT_STREQ(buf, "サー");
  EXPECT_EQ(SendMessageA(label, WM_GETDLGCODE, 0, 0), DLGC_STATIC);
  EXPECT_EQ(SendMessageA(label, WM_NCHITTEST, 0, MAKELPARAM(15, 15)), HTTRANSPARENT);
  Click(label, 2, 2);
  Click(link, 2, 2);
  EXPECT_EQ(Notes(), (std::vector<Note>{{link, STN_CLICKED}}));
  // A static control never takes the focus from a click.
  EXPECT_EQ(GetFocus(), parent_);
}

TEST_F(Statics, FontsAreKeptPerControl) {
  HWND label = Make("STATIC", SS_LEFT, "a", 1);
  HWND edit = Make("EDIT", 0, "b", 2);
  HWND button = Make("BUTTON", BS_PUSHBUTTON, "c", 3);
  HWND list = Make("LISTBOX", 0, "", 4, 10, 40, 100, 100);
  HFONT font = reinterpret_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  for (HWND h : {label, edit, button, list}) {
    EXPECT_EQ(SendMessageA(h, WM_GETFONT, 0, 0), 0);
    SendMessageA(h, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageA(h, WM_GETFONT, 0, 0)), font);
  }
}

TEST_F(Statics, DestroyingTheParentTakesEveryControlWithIt) {
  if (!testhooks::HostLayer()) GTEST_SKIP() << "only the host counts windows";
  int before = testhooks::LiveWindowCount();
  HWND group = Make("BUTTON", BS_GROUPBOX, "group", 1, 0, 0, 200, 200);
  HWND inGroup = CreateWindowExA(0, "EDIT", "", WS_CHILD, 5, 20, 50, 20, group, nullptr, nullptr, nullptr);
  Make("LISTBOX", 0, "", 2);
  Make("COMBOBOX", CBS_DROPDOWNLIST, "", 3);
  Make("STATIC", 0, "s", 4);
  ASSERT_NE(inGroup, nullptr);
  EXPECT_EQ(testhooks::LiveWindowCount(), before + 5);
  SetFocus(inGroup);
  ASSERT_TRUE(DestroyWindow(parent_));
  EXPECT_EQ(testhooks::LiveWindowCount(), before - 1);
  EXPECT_FALSE(IsWindow(inGroup));
  EXPECT_EQ(GetFocus(), nullptr);
}

}  // namespace
