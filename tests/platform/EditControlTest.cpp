// The edit control driven the way the form framework and its users drive it: typed
// characters, keys, the clipboard, EM_* messages; checked by its text, its selection
// and the notifications its parent receives. The same expectations hold under Wine.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/platform/ControlTestSupport.h"

namespace {

using ctltest::CodesFrom;
using ctltest::Key;
using ctltest::Notes;
using ctltest::Text;
using ctltest::Type;

std::pair<unsigned, unsigned> Sel(HWND e) {
  DWORD s = 0, end = 0;
  LRESULT r = SendMessageA(e, EM_GETSEL, reinterpret_cast<WPARAM>(&s), reinterpret_cast<LPARAM>(&end));
  EXPECT_EQ(r, MAKELONG(s, end));
  return {static_cast<unsigned>(s), static_cast<unsigned>(end)};
}

void SetClipboardText(HWND owner, const std::string &text) {
  HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
  ASSERT_NE(mem, nullptr);
  memcpy(GlobalLock(mem), text.c_str(), text.size() + 1);
  GlobalUnlock(mem);
  ASSERT_TRUE(OpenClipboard(owner));
  EmptyClipboard();
  ASSERT_NE(SetClipboardData(CF_TEXT, mem), nullptr);
  CloseClipboard();
}

std::string ClipboardText(HWND owner) {
  std::string r;
  if (!OpenClipboard(owner)) return "<cannot open>";
  if (HANDLE mem = GetClipboardData(CF_TEXT)) {
    r = static_cast<const char *>(GlobalLock(mem));
    GlobalUnlock(mem);
  } else {
    r = "<none>";
  }
  CloseClipboard();
  return r;
}

class Edit : public ctltest::ControlTest {};

const std::vector<int> kChanged{EN_UPDATE, EN_CHANGE};

TEST_F(Edit, TypingInsertsAtTheSelectionAndEachChangeIsReported) {
  HWND e = Make("EDIT", ES_AUTOHSCROLL);
  Type(e, "abc");
  EXPECT_EQ(Text(e), "abc");
  EXPECT_EQ(Sel(e), std::make_pair(3u, 3u));
  EXPECT_EQ(CodesFrom(e),
            (std::vector<int>{EN_UPDATE, EN_CHANGE, EN_UPDATE, EN_CHANGE, EN_UPDATE, EN_CHANGE}));
  EXPECT_TRUE(SendMessageA(e, EM_GETMODIFY, 0, 0));

  // A typed character replaces the selection; the caret ends behind it.
  SendMessageA(e, EM_SETSEL, 1, 2);
  Type(e, "X");
  EXPECT_EQ(Text(e), "aXc");
  EXPECT_EQ(Sel(e), std::make_pair(2u, 2u));
  // Backspace takes the character before the caret, Delete the one after it.
  Type(e, "\b");
  EXPECT_EQ(Text(e), "ac");
  Key(e, VK_HOME);
  Key(e, VK_DELETE);
  EXPECT_EQ(Text(e), "c");
  EXPECT_EQ(Sel(e), std::make_pair(0u, 0u));
  // Keys at the ends of the text change nothing and report nothing.
  Notes().clear();
  Type(e, "\b");
  Key(e, VK_END);
  Key(e, VK_DELETE);
  Key(e, VK_RIGHT);
  EXPECT_EQ(Text(e), "c");
  EXPECT_EQ(Sel(e), std::make_pair(1u, 1u));
  EXPECT_TRUE(CodesFrom(e).empty());
  Key(e, VK_LEFT);
  EXPECT_EQ(Sel(e), std::make_pair(0u, 0u));
}

TEST_F(Edit, SelectionMessagesClampAndOrderTheirEnds) {
  HWND e = Make("EDIT", 0, "abcdef");
  EXPECT_EQ(Sel(e), std::make_pair(0u, 0u));
  struct Row {
    WPARAM start;
    LPARAM end;
    unsigned s, e;
  } rows[] = {
      {0, -1, 0, 6},   // everything
      {4, 2, 2, 4},    // reported low end first
      {2, 100, 2, 6},  // an end past the text is the end
      {5, 5, 5, 5},
  };
  for (const Row &r : rows) {
    SendMessageA(e, EM_SETSEL, r.start, r.end);
    EXPECT_EQ(Sel(e), std::make_pair(r.s, r.e)) << r.start << "," << r.end;
  }
  // A start of -1 drops the selection where the caret is: EM_SETSEL(4, 2) left it at 2.
  SendMessageA(e, EM_SETSEL, 4, 2);
  SendMessageA(e, EM_SETSEL, static_cast<WPARAM>(-1), 0);
  EXPECT_EQ(Sel(e), std::make_pair(2u, 2u));
  SendMessageA(e, EM_SETSEL, 4, 2);
  Type(e, "-");
  EXPECT_EQ(Text(e), "ab-ef");
  EXPECT_TRUE(CodesFrom(e) == kChanged);
}

TEST_F(Edit, SetTextReplacesEverythingAndIsReportedOnlyForSingleLineEdits) {
  HWND single = Make("EDIT", 0, "start");
  HWND multi = Make("EDIT", ES_MULTILINE, "start", 101, 10, 40, 120, 60);
  // The text it was created with counts as a modification, as Windows has it.
  EXPECT_TRUE(SendMessageA(single, EM_GETMODIFY, 0, 0));
  Type(single, "x");
  EXPECT_TRUE(SendMessageA(single, EM_CANUNDO, 0, 0));
  Notes().clear();

  EXPECT_TRUE(SetWindowTextA(single, "new text"));
  EXPECT_TRUE(SetWindowTextA(multi, "line 1\r\nline 2"));
  EXPECT_EQ(Text(single), "new text");
  EXPECT_EQ(SendMessageA(single, WM_GETTEXTLENGTH, 0, 0), 8);
  EXPECT_EQ(CodesFrom(single), kChanged);
  EXPECT_TRUE(CodesFrom(multi).empty());
  // The text is as loaded: not modified, caret at the start, nothing to undo.
  EXPECT_FALSE(SendMessageA(single, EM_GETMODIFY, 0, 0));
  EXPECT_EQ(Sel(single), std::make_pair(0u, 0u));
  EXPECT_FALSE(SendMessageA(single, EM_CANUNDO, 0, 0));
  EXPECT_EQ(SendMessageA(multi, EM_GETLINECOUNT, 0, 0), 2);
  EXPECT_EQ(SendMessageA(single, EM_GETLINECOUNT, 0, 0), 1);

  // WM_GETTEXT cuts to the buffer, terminator included.
  char small[5];
  EXPECT_EQ(SendMessageA(single, WM_GETTEXT, sizeof small, reinterpret_cast<LPARAM>(small)), 4);
  EXPECT_STREQ(small, "new ");

  SendMessageA(single, EM_SETMODIFY, TRUE, 0);
  EXPECT_TRUE(SendMessageA(single, EM_GETMODIFY, 0, 0));
}

TEST_F(Edit, TheLimitCutsWhatIsTypedAndPastedButNotSetText) {
  HWND e = Make("EDIT", ES_AUTOHSCROLL);
  EXPECT_EQ(SendMessageA(e, EM_GETLIMITTEXT, 0, 0), 30000);
  SendMessageA(e, EM_LIMITTEXT, 3, 0);
  EXPECT_EQ(SendMessageA(e, EM_GETLIMITTEXT, 0, 0), 3);
  Type(e, "ab");
  Notes().clear();
  Type(e, "cd");
  EXPECT_EQ(Text(e), "abc");
  // "c" fits; "d" does not: the parent hears EN_MAXTEXT.
  std::vector<int> codes = CodesFrom(e);
  ASSERT_GE(codes.size(), 3u);
  EXPECT_EQ(std::vector<int>(codes.begin(), codes.begin() + 3),
            (std::vector<int>{EN_UPDATE, EN_CHANGE, EN_MAXTEXT}));
  // Wine goes on to report a change that did not happen; the host does not.
  if (testhooks::HostLayer()) {
    EXPECT_EQ(codes.size(), 3u);
  }

  // A paste is cut to what still fits.
  SendMessageA(e, EM_SETSEL, 1, 2);
  SetClipboardText(parent_, "XYZ");
  SendMessageA(e, WM_PASTE, 0, 0);
  EXPECT_EQ(Text(e), "aXc");

  // WM_SETTEXT is not limited; typing into an over-long text is refused.
  SetWindowTextA(e, "abcdef");
  EXPECT_EQ(Text(e), "abcdef");
  SendMessageA(e, EM_SETSEL, 6, 6);
  Type(e, "g");
  EXPECT_EQ(Text(e), "abcdef");

  // 0 lifts the limit as far as the control goes.
  SendMessageA(e, EM_SETLIMITTEXT, 0, 0);
  EXPECT_EQ(SendMessageA(e, EM_GETLIMITTEXT, 0, 0), 0x7FFFFFFE);
  HWND multi = Make("EDIT", ES_MULTILINE, "", 101);
  SendMessageA(multi, EM_SETLIMITTEXT, 0, 0);
  EXPECT_EQ(static_cast<UINT>(SendMessageA(multi, EM_GETLIMITTEXT, 0, 0)), 0xFFFFFFFFu);
}

TEST_F(Edit, StylesFilterWhatIsTyped) {
  struct Row {
    DWORD style;
    std::string typed, text;
  } rows[] = {
      {0, "aB1\r\t\x02z", "aB1z"},  // single line: Enter, Tab and control characters are dropped
      {ES_MULTILINE, "a\rb\tc\x02", "a\r\nb\tc"},  // Enter makes a line break, Tab is kept
      {ES_NUMBER, "1a2-3", "123"},
      {ES_UPPERCASE, "aBc1", "ABC1"},
      {ES_LOWERCASE, "aBc1", "abc1"},
      {ES_READONLY, "abc", ""},
  };
  int id = 200;
  for (const Row &r : rows) {
    HWND e = Make("EDIT", r.style, "", id++, 10, 10, 120, 60);
    Type(e, r.typed);
    EXPECT_EQ(Text(e), r.text) << std::hex << r.style;
  }
  // Case styles apply to WM_SETTEXT too.
  HWND upper = Make("EDIT", ES_UPPERCASE, "", id++);
  SetWindowTextA(upper, "mixed Case");
  EXPECT_EQ(Text(upper), "MIXED CASE");
}

TEST_F(Edit, ReadOnlyFollowsTheStyleAndStopsTheUserNotTheProgram) {
  HWND e = Make("EDIT", 0, "abc");
  EXPECT_TRUE(SendMessageA(e, EM_SETREADONLY, TRUE, 0));
  EXPECT_TRUE(GetWindowLongA(e, GWL_STYLE) & ES_READONLY);
  Notes().clear();
  SendMessageA(e, EM_SETSEL, 0, -1);
  Type(e, "x\b");
  Key(e, VK_DELETE);
  SendMessageA(e, WM_CLEAR, 0, 0);
  SendMessageA(e, WM_CUT, 0, 0);
  SetClipboardText(parent_, "pasted");
  SendMessageA(e, WM_PASTE, 0, 0);
  EXPECT_EQ(Text(e), "abc");
  EXPECT_TRUE(CodesFrom(e).empty());
  // The program may still replace the text.
  SendMessageA(e, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>("set"));
  EXPECT_EQ(Text(e), "set");
  EXPECT_TRUE(SendMessageA(e, EM_SETREADONLY, FALSE, 0));
  EXPECT_FALSE(GetWindowLongA(e, GWL_STYLE) & ES_READONLY);
  Type(e, "!");
  EXPECT_EQ(Text(e), "set!");
}

TEST_F(Edit, CutCopyAndPasteGoThroughTheClipboard) {
  HWND e = Make("EDIT", ES_AUTOHSCROLL, "abcd");
  SendMessageA(e, EM_SETSEL, 1, 3);
  SendMessageA(e, WM_CUT, 0, 0);
  EXPECT_EQ(Text(e), "ad");
  EXPECT_TRUE(IsClipboardFormatAvailable(CF_TEXT));
  EXPECT_EQ(ClipboardText(parent_), "bc");
  SendMessageA(e, EM_SETSEL, 2, 2);
  SendMessageA(e, WM_PASTE, 0, 0);
  EXPECT_EQ(Text(e), "adbc");
  SendMessageA(e, EM_SETSEL, 0, 1);
  SendMessageA(e, WM_COPY, 0, 0);
  EXPECT_EQ(Text(e), "adbc");
  EXPECT_EQ(ClipboardText(parent_), "a");
  // Ctrl+V typed is a paste.
  SendMessageA(e, EM_SETSEL, 4, 4);
  Type(e, "\x16");
  EXPECT_EQ(Text(e), "adbca");

  // A single line takes a pasted text up to its first line break; several lines take it all.
  SetClipboardText(parent_, "one\r\ntwo");
  SetWindowTextA(e, "");
  SendMessageA(e, WM_PASTE, 0, 0);
  EXPECT_EQ(Text(e), "one");
  HWND multi = Make("EDIT", ES_MULTILINE, "", 101, 10, 40, 120, 60);
  SendMessageA(multi, WM_PASTE, 0, 0);
  EXPECT_EQ(Text(multi), "one\r\ntwo");
  EXPECT_EQ(SendMessageA(multi, EM_GETLINECOUNT, 0, 0), 2);
}

TEST_F(Edit, UndoTakesBackTheLastRunOfTypingAndUndoingAgainRedoesIt) {
  HWND e = Make("EDIT", 0, "x");
  EXPECT_FALSE(SendMessageA(e, EM_CANUNDO, 0, 0));
  SendMessageA(e, EM_SETSEL, 1, 1);
  Type(e, "abc");
  EXPECT_TRUE(SendMessageA(e, EM_CANUNDO, 0, 0));
  Notes().clear();
  EXPECT_TRUE(SendMessageA(e, EM_UNDO, 0, 0));
  EXPECT_EQ(Text(e), "x");
  EXPECT_FALSE(CodesFrom(e).empty());
  EXPECT_EQ(CodesFrom(e).back(), EN_CHANGE);
  EXPECT_TRUE(SendMessageA(e, EM_UNDO, 0, 0));
  EXPECT_EQ(Text(e), "xabc");
  // What came back is selected.
  EXPECT_EQ(Sel(e), std::make_pair(1u, 4u));
  // Backspacing over a run comes back whole.
  SendMessageA(e, EM_SETSEL, 4, 4);
  Type(e, "\b\b");
  EXPECT_EQ(Text(e), "xa");
  SendMessageA(e, WM_UNDO, 0, 0);
  EXPECT_EQ(Text(e), "xabc");
  SendMessageA(e, EM_EMPTYUNDOBUFFER, 0, 0);
  EXPECT_FALSE(SendMessageA(e, EM_CANUNDO, 0, 0));
}

TEST_F(Edit, FocusAndDialogCodes) {
  HWND single = Make("EDIT", 0);
  HWND multi = Make("EDIT", ES_MULTILINE, "", 101);
  const LRESULT base = DLGC_WANTCHARS | DLGC_HASSETSEL | DLGC_WANTARROWS;
  EXPECT_EQ(SendMessageA(single, WM_GETDLGCODE, 0, 0), base);
  EXPECT_EQ(SendMessageA(multi, WM_GETDLGCODE, 0, 0), base | DLGC_WANTALLKEYS);
  SetFocus(single);
  SetFocus(multi);
  SetFocus(parent_);
  EXPECT_EQ(ctltest::Notes(),
            (std::vector<ctltest::Note>{
                {single, EN_SETFOCUS}, {single, EN_KILLFOCUS}, {multi, EN_SETFOCUS}, {multi, EN_KILLFOCUS}}));
  // Focus does not select anything by itself.
  SetWindowTextA(single, "text");
  SetFocus(single);
  EXPECT_EQ(Sel(single), std::make_pair(0u, 0u));
}

TEST_F(Edit, TheFormattingRectangleIsSetAndFollowsTheSize) {
  HWND e = Make("EDIT", ES_MULTILINE, "", 100, 10, 10, 200, 160);
  RECT set{4, 2, 150, 130}, got{};
  SendMessageA(e, EM_SETRECTNP, 0, reinterpret_cast<LPARAM>(&set));
  SendMessageA(e, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&got));
  EXPECT_EQ(got.left, 4);
  EXPECT_EQ(got.top, 2);
  EXPECT_EQ(got.right, 150);
  // Resizing the control starts again from its client area.
  MoveWindow(e, 10, 10, 300, 160, FALSE);
  SendMessageA(e, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&got));
  EXPECT_EQ(got.left, 0);
  EXPECT_EQ(got.top, 0);
  EXPECT_EQ(got.right, 300);
}

TEST_F(Edit, PasswordCharacterAndStyleGoTogether) {
  HWND e = Make("EDIT", ES_PASSWORD, "secret");
  EXPECT_EQ(SendMessageA(e, EM_GETPASSWORDCHAR, 0, 0), '*');
  EXPECT_EQ(Text(e), "secret");  // the program reads the real text
  SendMessageA(e, EM_SETPASSWORDCHAR, 0, 0);
  EXPECT_FALSE(GetWindowLongA(e, GWL_STYLE) & ES_PASSWORD);
  SendMessageA(e, EM_SETPASSWORDCHAR, '#', 0);
  EXPECT_TRUE(GetWindowLongA(e, GWL_STYLE) & ES_PASSWORD);
  EXPECT_EQ(SendMessageA(e, EM_GETPASSWORDCHAR, 0, 0), '#');
}

TEST_F(Edit, APasswordIsNotCopiedOut) {
  if (!testhooks::HostLayer()) GTEST_SKIP() << "the host's rule; Wine copies";
  HWND e = Make("EDIT", ES_PASSWORD, "secret");
  SetClipboardText(parent_, "before");
  SendMessageA(e, EM_SETSEL, 0, -1);
  SendMessageA(e, WM_COPY, 0, 0);
  SendMessageA(e, WM_CUT, 0, 0);
  EXPECT_EQ(ClipboardText(parent_), "before");
  EXPECT_EQ(Text(e), "secret");
}

TEST_F(Edit, DoubleByteCharactersAreTypedAndDeletedWhole) {
  if (!testhooks::HostLayer()) GTEST_SKIP() << "Wine's edit takes each byte of a WM_CHAR pair alone";
  HWND e = Make("EDIT", 0);
  // "日本" in CP932 arrives as lead/trail WM_CHAR pairs.
  Type(e, "日本");
  EXPECT_EQ(Text(e), "日本");
  Type(e, "\b");
  EXPECT_EQ(Text(e), "日");
  Type(e, "a");
  Key(e, VK_LEFT);
  Key(e, VK_LEFT);
  Type(e, "b");
  EXPECT_EQ(Text(e), "b日a");
}

TEST_F(Edit, LimitsAndPositionsCountBytesAndNeverSplitACharacter) {
  if (!testhooks::HostLayer()) GTEST_SKIP() << "Wine counts UTF-16 units where Windows counts bytes";
  HWND e = Make("EDIT", 0);
  SendMessageA(e, EM_LIMITTEXT, 5, 0);
  Type(e, "日本語");  // 6 bytes: the third character does not fit whole
  EXPECT_EQ(Text(e), "日本");
  EXPECT_EQ(Sel(e), std::make_pair(4u, 4u));
  // A position inside a character means that character's start.
  SendMessageA(e, EM_SETSEL, 1, 3);
  EXPECT_EQ(Sel(e), std::make_pair(0u, 2u));
  char buf[4];
  EXPECT_EQ(SendMessageA(e, WM_GETTEXT, sizeof buf, reinterpret_cast<LPARAM>(buf)), 2);
  EXPECT_STREQ(buf, "日");
}

}  // namespace
