// Spin edits driven the way a user's input arrives: key and character messages to the
// edit's window, mouse messages to the arrows, focus moving between controls.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "controls/AlignedSpinEdit.h"
#include "controls/SpinEdit.h"
#include "forms/Forms.h"

namespace {

struct Bounds {
  int left, top, width, height;
  bool operator==(const Bounds &o) const {
    return left == o.left && top == o.top && width == o.width && height == o.height;
  }
};

std::ostream &operator<<(std::ostream &os, const Bounds &b) {
  return os << "(" << b.left << ", " << b.top << ", " << b.width << " x " << b.height << ")";
}

Bounds BoundsOf(const TControl *c) { return {c->Left(), c->Top(), c->Width(), c->Height()}; }

LPARAM Point(int x, int y) { return MAKELPARAM(x, y); }

// The minimum height by its definition: the edit font's character height, a quarter of
// the smaller of it and the system font's, four window borders and two pixels.
int ExpectedMinHeight(TFont *font) {
  HDC dc = GetDC(nullptr);
  TEXTMETRICA sys{}, own{};
  GetTextMetricsA(dc, &sys);
  HGDIOBJ old = SelectObject(dc, font->Handle());
  GetTextMetricsA(dc, &own);
  SelectObject(dc, old);
  ReleaseDC(nullptr, dc);
  const int smaller = sys.tmHeight < own.tmHeight ? sys.tmHeight : own.tmHeight;
  return own.tmHeight + smaller / 4 + 4 * GetSystemMetrics(SM_CYBORDER) + 2;
}

class SpinEditTest : public ::testing::Test {
 protected:
  // One form for the suite: Wine waits for a window manager each time a shown
  // top-level window goes, so every test would pay seconds for a form of its own.
  static void SetUpTestSuite() {
    form = CreateForm<TForm>(nullptr);
    form->SetBounds(40, 40, 420, 220);
    other = new TEdit(form);
    other->SetParent(form);
    other->SetBounds(8, 150, 80, 21);
    form->Show();
  }
  static void TearDownTestSuite() {
    delete form;
    form = nullptr;
    other = nullptr;
  }
  void SetUp() override {
    testhooks::ResetFakeInput();
    testhooks::ResetMessageBeepCount();
    other->SetFocus();
  }
  void TearDown() override {
    // What the test made goes with it; the focus target stays for the next.
    while (form->ComponentCount() > 1) delete form->Components(form->ComponentCount() - 1);
    testhooks::ResetFakeInput();
  }

  // A spin edit on the form, with the window made, as the settings dialog has them.
  TAlignedSpinEdit *MakeSpin(int32_t min, int32_t max, const std::string &text) {
    auto *spin = new TAlignedSpinEdit(form);
    spin->SetParent(form);
    spin->SetBounds(160, 24, 57, 21);
    spin->SetMinValue(min);
    spin->SetMaxValue(max);
    spin->SetText(text);
    spin->HandleNeeded();
    return spin;
  }
  static TSpinButton *ButtonOf(TSpinEdit *spin) {
    for (int i = 0; i < spin->ControlCount(); ++i) {
      if (auto *b = dynamic_cast<TSpinButton *>(spin->Controls(i))) return b;
    }
    return nullptr;
  }
  static void Key(TWinControl *c, WORD vk) { SendMessageA(c->Handle(), WM_KEYDOWN, vk, 1); }
  static void Char(TWinControl *c, char ch) {
    SendMessageA(c->Handle(), WM_CHAR, static_cast<unsigned char>(ch), 1);
  }
  // A left click on one arrow of a spin button, at a point inside that arrow.
  static void ClickArrow(TSpinButton *b, TRepeatButton *arrow) {
    const int x = arrow->Left() + arrow->Width() / 2, y = arrow->Top() + arrow->Height() / 2;
    testhooks::SetFakeKeyDown(VK_LBUTTON, true);
    SendMessageA(b->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, Point(x, y));
    testhooks::SetFakeKeyDown(VK_LBUTTON, false);
    SendMessageA(b->Handle(), WM_LBUTTONUP, 0, Point(x, y));
  }

  static TForm *form;
  static TEdit *other;
};

TForm *SpinEditTest::form = nullptr;
TEdit *SpinEditTest::other = nullptr;

TEST_F(SpinEditTest, ValueReadsTheTextUnboundedAndIsWrittenBounded) {
  struct Case {
    int32_t min, max;
    const char *text;
    int32_t value;
  } cases[] = {
      {0, 59, "99", 99},       {0, 1439, "007", 7},  {10, 1440, "", 10},
      {10, 1440, "abc", 10},   {10, 1440, "+-", 10}, {10, 1440, "12a", 10},
      {-5, 5, "-3", -3},       {0, 0, "+12", 12},    {0, 0, "-2147483648", INT32_MIN},
      {7, 9, "2147483648", 7}, {0, 0, "1.5", 0},     {10, 1440, "-", 10},
  };
  TAlignedSpinEdit *spin = MakeSpin(0, 0, "0");
  for (const Case &c : cases) {
    spin->SetMinValue(c.min);
    spin->SetMaxValue(c.max);
    spin->SetText(c.text);
    EXPECT_EQ(spin->Value(), c.value) << "text \"" << c.text << "\"";
    EXPECT_EQ(spin->Text(), c.text) << "reading never rewrites the text";
  }
  struct Assignment {
    int32_t min, max, value;
    const char *text;
  } assignments[] = {
      {10, 1440, 5, "10"}, {10, 1440, 2000, "1440"}, {10, 1440, 30, "30"},
      {0, 0, -7, "-7"},    {3, 3, 99, "99"},         {0, 59, 59, "59"},
  };
  for (const Assignment &c : assignments) {
    spin->SetMinValue(c.min);
    spin->SetMaxValue(c.max);
    spin->SetValue(c.value);
    EXPECT_EQ(spin->Text(), c.text) << c.value << " in " << c.min << ".." << c.max;
  }
}

TEST_F(SpinEditTest, LeavingTheFieldBoundsOnlyAnOutOfRangeNumber) {
  struct Case {
    int32_t min, max;
    const char *text, *after;
  } cases[] = {
      {10, 1440, "5", "10"},    {0, 59, "99", "59"},  {0, 1439, "007", "007"}, {10, 1440, "", ""},
      {10, 1440, "abc", "abc"}, {0, 0, "-99", "-99"}, {0, 59, "-0", "-0"},     {0, 59, "-4", "0"},
  };
  TAlignedSpinEdit *spin = MakeSpin(0, 0, "0");
  for (const Case &c : cases) {
    spin->SetMinValue(c.min);
    spin->SetMaxValue(c.max);
    spin->SetText(c.text);
    spin->SetFocus();
    EXPECT_EQ(spin->Text(), c.text) << "entering changes nothing";
    other->SetFocus();
    EXPECT_EQ(spin->Text(), c.after) << "\"" << c.text << "\" in " << c.min << ".." << c.max;
  }
}

TEST_F(SpinEditTest, ArrowKeysStepWithinTheBoundsUnlessReadOnly) {
  struct Case {
    int32_t min, max, increment;
    const char *text;
    WORD key;
    const char *after;
  } cases[] = {
      {0, 59, 1, "59", VK_UP, "59"},
      {0, 59, 1, "0", VK_DOWN, "0"},
      {10, 1440, 1, "30", VK_UP, "31"},
      {10, 1440, 5, "30", VK_DOWN, "25"},
      {10, 1440, 1, "5", VK_UP, "10"},
      {0, 59, 1, "abc", VK_UP, "1"},
      {0, 1439, 1, "007", VK_UP, "8"},
      // Without bounds the ends of the 32-bit range hold instead of wrapping round.
      {0, 0, 1, "2147483647", VK_UP, "2147483647"},
      {0, 0, 1, "-2147483648", VK_DOWN, "-2147483648"},
      {0, 0, 10, "2147483640", VK_UP, "2147483647"},
  };
  TAlignedSpinEdit *spin = MakeSpin(0, 0, "0");
  spin->SetFocus();
  for (const Case &c : cases) {
    spin->SetMinValue(c.min);
    spin->SetMaxValue(c.max);
    spin->SetIncrement(c.increment);
    spin->SetText(c.text);
    Key(spin, c.key);
    EXPECT_EQ(spin->Text(), c.after) << "\"" << c.text << "\" " << (c.key == VK_UP ? "up" : "down");
  }
  EXPECT_EQ(testhooks::MessageBeepCount(), 0u);

  // Read-only: keys and arrows only beep.
  spin->SetReadOnly(true);
  spin->SetText("30");
  TSpinButton *button = ButtonOf(spin);
  ASSERT_NE(button, nullptr);
  Key(spin, VK_UP);
  Key(spin, VK_DOWN);
  ClickArrow(button, button->UpButton());
  ClickArrow(button, button->DownButton());
  EXPECT_EQ(spin->Text(), "30");
  EXPECT_EQ(testhooks::MessageBeepCount(), 4u);
}

TEST_F(SpinEditTest, TypedCharactersAreFiltered) {
  struct Case {
    bool editorEnabled;
    char ch;
    const char *after;  // from "12" with the caret at the end
    bool beep;
  } cases[] = {
      {true, '5', "125", false},    {true, '-', "12-", false}, {true, '+', "12+", false},
      {true, '.', "12.", false},    {true, 'a', "12", true},   {true, ' ', "12", true},
      {true, '\r', "12", true},     {true, '\b', "1", false},  {true, '\x02', "12", false},
      {true, '\x82', "12", true},   {false, '5', "12", true},  {false, '\b', "12", true},
      {false, '\x02', "12", false}, {false, 'a', "12", true},
  };
  TAlignedSpinEdit *spin = MakeSpin(0, 0, "0");
  spin->SetFocus();
  for (const Case &c : cases) {
    spin->SetEditorEnabled(c.editorEnabled);
    spin->SetText("12");
    SendMessageA(spin->Handle(), EM_SETSEL, 2, 2);
    const unsigned before = testhooks::MessageBeepCount();
    Char(spin, c.ch);
    EXPECT_EQ(spin->Text(), c.after) << "char " << static_cast<int>(static_cast<unsigned char>(c.ch))
                                     << (c.editorEnabled ? "" : " with the editor disabled");
    EXPECT_EQ(testhooks::MessageBeepCount() - before, c.beep ? 1u : 0u)
        << "char " << static_cast<int>(static_cast<unsigned char>(c.ch));
  }
}

TEST_F(SpinEditTest, TabEnterAndEscStayDialogKeys) {
  TAlignedSpinEdit *spin = MakeSpin(0, 59, "5");
  auto *ok = new TButton(form);
  ok->SetParent(form);
  ok->SetBounds(250, 150, 64, 20);
  ok->SetDefault(true);
  auto *cancel = new TButton(form);
  cancel->SetParent(form);
  cancel->SetBounds(320, 150, 64, 20);
  cancel->Cancel = true;
  int oks = 0, cancels = 0;
  ok->OnClick = [&](TObject *) { ++oks; };
  cancel->OnClick = [&](TObject *) { ++cancels; };
  auto press = [&](WORD vk) {
    spin->SetFocus();
    PostMessageA(spin->Handle(), WM_KEYDOWN, vk, 1);
    Application->ProcessMessages();
  };
  press(VK_RETURN);
  EXPECT_EQ(oks, 1) << "Enter clicks the default button";
  press(VK_ESCAPE);
  EXPECT_EQ(cancels, 1) << "Esc clicks the cancel button";
  press(VK_TAB);
  EXPECT_FALSE(spin->Focused()) << "Tab leaves the field";
  EXPECT_EQ(spin->Text(), "5");
  EXPECT_EQ(testhooks::MessageBeepCount(), 0u);
}

TEST_F(SpinEditTest, PasteAndCutReachTheEditOnlyWhenItIsEditable) {
  struct Case {
    bool editorEnabled, readOnly, edits;
  } cases[] = {{true, false, true}, {false, false, false}, {true, true, false}};
  TAlignedSpinEdit *spin = MakeSpin(0, 0, "0");
  auto putOnClipboard = [&](const char *text) {
    ASSERT_TRUE(OpenClipboard(form->Handle()));
    EmptyClipboard();
    HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, strlen(text) + 1);
    memcpy(GlobalLock(mem), text, strlen(text) + 1);
    GlobalUnlock(mem);
    SetClipboardData(CF_TEXT, mem);
    CloseClipboard();
  };
  for (const Case &c : cases) {
    spin->SetEditorEnabled(c.editorEnabled);
    spin->SetReadOnly(c.readOnly);
    putOnClipboard("42");
    spin->SetText("7");
    SendMessageA(spin->Handle(), EM_SETSEL, 0, -1);
    SendMessageA(spin->Handle(), WM_PASTE, 0, 0);
    EXPECT_EQ(spin->Text(), c.edits ? "42" : "7")
        << "paste, editor " << c.editorEnabled << " read-only " << c.readOnly;
    spin->SetText("7");
    SendMessageA(spin->Handle(), EM_SETSEL, 0, -1);
    SendMessageA(spin->Handle(), WM_CUT, 0, 0);
    EXPECT_EQ(spin->Text(), c.edits ? "" : "7")
        << "cut, editor " << c.editorEnabled << " read-only " << c.readOnly;
  }
}

TEST_F(SpinEditTest, ArrowClicksStepAndFocusTheEditWithoutSelectingAll) {
  TAlignedSpinEdit *spin = MakeSpin(10, 1440, "30");
  TSpinButton *button = ButtonOf(spin);
  ASSERT_NE(button, nullptr);
  EXPECT_EQ(button->FocusControl(), spin);
  other->SetFocus();
  ClickArrow(button, button->UpButton());
  EXPECT_EQ(spin->Text(), "31");
  EXPECT_TRUE(spin->Focused()) << "a press on an arrow focuses the edit";
  DWORD start = 0, end = 0;
  SendMessageA(spin->Handle(), EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  EXPECT_EQ(start, end) << "the mouse brought the focus: nothing selected";
  ClickArrow(button, button->DownButton());
  ClickArrow(button, button->DownButton());
  EXPECT_EQ(spin->Text(), "29");

  // Entered from the keyboard, the whole text is selected.
  other->SetFocus();
  spin->SetFocus();
  SendMessageA(spin->Handle(), EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  EXPECT_EQ(start, 0u);
  EXPECT_EQ(end, 2u);
}

TEST_F(SpinEditTest, HeldArrowRepeatsAfter400MsThenEvery100MsWhilePressedUnderThePointer) {
  TAlignedSpinEdit *spin = MakeSpin(0, 0, "30");
  TSpinButton *button = ButtonOf(spin);
  ASSERT_NE(button, nullptr);
  TRepeatButton *up = button->UpButton();
  EXPECT_EQ(up->RepeatTimer(), nullptr) << "made on the first press";
  const int x = up->Left() + 4, y = up->Top() + 3;
  SendMessageA(button->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, Point(x, y));
  TTimer *timer = up->RepeatTimer();
  ASSERT_NE(timer, nullptr);
  EXPECT_TRUE(timer->Enabled());
  EXPECT_EQ(timer->Interval(), 400u);
  EXPECT_EQ(spin->Text(), "30") << "the press alone does not step";

  auto tick = [&] { timer->OnTimer()(timer); };
  tick();
  EXPECT_EQ(timer->Interval(), 100u);
  EXPECT_EQ(spin->Text(), "31");
  tick();
  EXPECT_EQ(spin->Text(), "32");
  // Dragged off the arrow it is drawn up: ticks step no more until it is back.
  SendMessageA(button->Handle(), WM_MOUSEMOVE, MK_LBUTTON, Point(x, up->Top() + 40));
  tick();
  EXPECT_EQ(spin->Text(), "32");
  SendMessageA(button->Handle(), WM_MOUSEMOVE, MK_LBUTTON, Point(x, y));
  tick();
  EXPECT_EQ(spin->Text(), "33");
  SendMessageA(button->Handle(), WM_LBUTTONUP, 0, Point(x, y));
  EXPECT_FALSE(timer->Enabled()) << "released: no more repeats";
  EXPECT_EQ(spin->Text(), "34") << "the click of the release";
}

TEST_F(SpinEditTest, ArrowsCarryTheBuiltInGlyphs) {
  TSpinButton *button = ButtonOf(MakeSpin(0, 0, "0"));
  ASSERT_NE(button, nullptr);
  // A pixel of a bitmap resource as the executable carries it (a BMP without its file
  // header, 4 bits a pixel here), as 0xRRGGBB; -1 when it is not such an image.
  auto pixel = [](const char *name, int x, int y) -> long {
    HRSRC res = FindResourceA(nullptr, name, RT_BITMAP);
    if (res == nullptr) return -1;
    const auto *p = static_cast<const unsigned char *>(LockResource(LoadResource(nullptr, res)));
    BITMAPINFOHEADER h;
    memcpy(&h, p, sizeof h);
    if (h.biBitCount != 4 || h.biWidth != 9 || h.biHeight != 6) return -1;
    const unsigned char *palette = p + h.biSize;
    const unsigned char *row = palette + 16 * 4 + (h.biHeight - 1 - y) * 8;  // bottom row first
    const int index = x % 2 == 0 ? row[x / 2] >> 4 : row[x / 2] & 15;
    const unsigned char *quad = palette + index * 4;  // blue, green, red
    return (long{quad[2]} << 16) | (long{quad[1]} << 8) | quad[0];
  };
  const long arrow = 0x000000, face = 0xC0C0C0;
  struct Probe {
    bool up;
    int x, y;
    long colour;
  } probes[] = {
      {true, 4, 1, arrow}, {true, 1, 4, arrow},  {true, 7, 4, arrow},  {true, 1, 1, face},
      {true, 0, 5, face},  {false, 4, 4, arrow}, {false, 1, 1, arrow}, {false, 7, 1, arrow},
      {false, 1, 4, face}, {false, 0, 5, face},
  };
  for (const Probe &p : probes) {
    EXPECT_EQ(pixel(p.up ? "SpinUp" : "SpinDown", p.x, p.y), p.colour)
        << (p.up ? "up" : "down") << " at " << p.x << "," << p.y;
  }
  for (TBitmap *glyph : {button->UpGlyph(), button->DownGlyph()}) {
    ASSERT_FALSE(glyph->Empty());
    EXPECT_EQ(glyph->Width(), 9);
    EXPECT_EQ(glyph->Height(), 6);
  }
  EXPECT_EQ(button->UpNumGlyphs(), 1);
  EXPECT_EQ(button->DownNumGlyphs(), 1);
  // The face grey lets the button's own face show through.
  EXPECT_EQ(button->UpGlyph()->TransparentColor, clSilver);
  EXPECT_EQ(button->DownGlyph()->TransparentColor, clSilver);

  // An own glyph replaces the arrow; none puts the built-in one back with one image.
  TBitmap own;
  own.SetHandle(CreateBitmap(8, 4, 1, 1, nullptr));
  button->SetUpGlyph(&own);
  button->SetUpNumGlyphs(2);
  EXPECT_EQ(button->UpGlyph()->Width(), 8);
  button->SetUpGlyph(nullptr);
  EXPECT_EQ(button->UpGlyph()->Width(), 9);
  EXPECT_EQ(button->UpNumGlyphs(), 1);
}

TEST_F(SpinEditTest, ArrowsSitInsideTheEditAndTheTextStopsBeforeThem) {
  TAlignedSpinEdit *spin = MakeSpin(0, 0, "0");
  TSpinButton *button = ButtonOf(spin);
  ASSERT_NE(button, nullptr);
  const int minHeight = ExpectedMinHeight(spin->Font());
  const int h = minHeight > 21 ? minHeight : 21;
  EXPECT_EQ(BoundsOf(spin), (Bounds{160, 24, 57, h}));
  // 57 - 15 - 5 = 37 across; 5 pixels less tall than the edit.
  EXPECT_EQ(BoundsOf(button), (Bounds{37, 0, 15, h - 5}));
  const int half = (h - 5) / 2;
  EXPECT_EQ(BoundsOf(button->UpButton()), (Bounds{0, 0, 15, half}));
  EXPECT_EQ(BoundsOf(button->DownButton()), (Bounds{0, half - 1, 15, h - 5 - half + 1}));

  RECT inEdit;
  GetWindowRect(button->Handle(), &inEdit);
  MapWindowPoints(nullptr, spin->Handle(), reinterpret_cast<POINT *>(&inEdit), 2);
  EXPECT_EQ(inEdit.left, 37);
  EXPECT_EQ(inEdit.top, 0);
  EXPECT_EQ(GetParent(button->Handle()), spin->Handle());
  RECT text;
  SendMessageA(spin->Handle(), EM_GETRECT, 0, reinterpret_cast<LPARAM>(&text));
  EXPECT_LE(text.right, 37 - 2 + 1) << "text area ends before the arrows";

  spin->SetWidth(80);
  EXPECT_EQ(button->Left(), 80 - 15 - 5);
  SendMessageA(spin->Handle(), EM_GETRECT, 0, reinterpret_cast<LPARAM>(&text));
  EXPECT_LE(text.right, 60 - 2 + 1);
  EXPECT_GT(text.right, 37) << "the text area follows the width";

  spin->SetHeight(5);
  EXPECT_EQ(spin->Height(), minHeight) << "never lower than one line of text";
  EXPECT_EQ(button->Height(), minHeight - 5);
}

TEST_F(SpinEditTest, AlignmentIsInTheWindowStyleAndAChangeRecreatesTheWindow) {
  TAlignedSpinEdit *spin = MakeSpin(0, 0, "123");
  EXPECT_EQ(spin->Alignment(), taRightJustify);
  auto style = [&] { return static_cast<DWORD>(GetWindowLongA(spin->Handle(), GWL_STYLE)); };
  EXPECT_EQ(style() & (ES_MULTILINE | ES_RIGHT | ES_CENTER), static_cast<DWORD>(ES_MULTILINE | ES_RIGHT));
  EXPECT_TRUE(style() & WS_CLIPCHILDREN);
  EXPECT_EQ(GetWindowLongA(spin->Handle(), GWL_EXSTYLE) & WS_EX_CLIENTEDGE, WS_EX_CLIENTEDGE);

  struct Case {
    TAlignment alignment;
    DWORD bits;
  } cases[] = {{taCenter, ES_MULTILINE | ES_CENTER},
               {taLeftJustify, ES_MULTILINE},
               {taRightJustify, ES_MULTILINE | ES_RIGHT}};
  TSpinButton *button = ButtonOf(spin);
  ASSERT_NE(button, nullptr);
  for (const Case &c : cases) {
    HWND before = spin->Handle();
    spin->SetAlignment(c.alignment);
    EXPECT_NE(spin->Handle(), before) << "a new window for alignment " << c.alignment;
    EXPECT_EQ(style() & (ES_MULTILINE | ES_RIGHT | ES_CENTER), c.bits) << "alignment " << c.alignment;
    EXPECT_EQ(spin->Text(), "123");
    EXPECT_EQ(GetParent(button->Handle()), spin->Handle()) << "the arrows moved to the new window";
  }
  HWND kept = spin->Handle();
  spin->SetAlignment(taRightJustify);
  EXPECT_EQ(spin->Handle(), kept) << "the same alignment keeps the window";
}

TEST_F(SpinEditTest, SpinButtonSplitsItsHeightAndKeepsAMinimumWidth) {
  struct Case {
    int w, h;
    Bounds up, down;
    int width;
  } cases[] = {
      {20, 25, {0, 0, 20, 12}, {0, 11, 20, 14}, 20},
      {10, 16, {0, 0, 15, 8}, {0, 7, 15, 9}, 15},
      {30, 7, {0, 0, 30, 3}, {0, 2, 30, 5}, 30},
  };
  auto *button = new TSpinButton(form);
  EXPECT_EQ(BoundsOf(button), (Bounds{0, 0, 20, 25}));
  EXPECT_FALSE(button->TabStop());
  button->SetParent(form);
  for (const Case &c : cases) {
    button->SetBounds(5, 6, c.w, c.h);
    EXPECT_EQ(BoundsOf(button), (Bounds{5, 6, c.width, c.h}));
    EXPECT_EQ(BoundsOf(button->UpButton()), c.up) << c.w << " x " << c.h;
    EXPECT_EQ(BoundsOf(button->DownButton()), c.down) << c.w << " x " << c.h;
  }
}

// A designed form: its spin button is sized while the form loads.
class LoadingForm : public TForm {
 public:
  explicit LoadingForm(TComponent *owner) : TForm(owner) {
    button = new TSpinButton(this);
    button->SetParent(this);
    button->SetBounds(4, 4, 10, 30);
    widthWhileLoading = button->Width();
    upHeightWhileLoading = button->UpButton()->Height();
  }
  TSpinButton *button;
  int widthWhileLoading = 0, upHeightWhileLoading = 0;
};

TEST_F(SpinEditTest, SpinButtonLaysOutOnceTheFormIsLoaded) {
  LoadingForm *designed = CreateForm<LoadingForm>(nullptr);
  EXPECT_EQ(designed->widthWhileLoading, 10);
  EXPECT_NE(designed->upHeightWhileLoading, 15) << "no layout while loading";
  EXPECT_EQ(BoundsOf(designed->button), (Bounds{4, 4, 15, 30}));
  EXPECT_EQ(BoundsOf(designed->button->UpButton()), (Bounds{0, 0, 15, 15}));
  EXPECT_EQ(BoundsOf(designed->button->DownButton()), (Bounds{0, 14, 15, 16}));
  delete designed;
}

TEST_F(SpinEditTest, FocusedSpinButtonTakesArrowsAndSpaceAndShowsTheFocusRectangle) {
  auto *button = new TSpinButton(form);
  button->SetParent(form);
  button->SetBounds(300, 20, 20, 25);
  int ups = 0, downs = 0;
  button->OnUpClick = [&](TObject *sender) {
    EXPECT_EQ(sender, button);
    ++ups;
  };
  button->OnDownClick = [&](TObject *) { ++downs; };
  EXPECT_EQ(SendMessageA(button->Handle(), WM_GETDLGCODE, 0, 0), DLGC_WANTARROWS);

  // Not a tab stop: keys click, but the focused arrow stays the up arrow.
  button->SetFocus();
  Key(button, VK_DOWN);
  EXPECT_EQ(downs, 1);
  EXPECT_EQ(button->FocusedButton(), button->UpButton());

  other->SetFocus();
  button->SetTabStop(true);
  button->SetFocus();
  EXPECT_EQ(button->FocusedButton(), button->UpButton());
  EXPECT_TRUE(button->UpButton()->Flags() & rbFocusRect);
  Key(button, VK_DOWN);
  EXPECT_EQ(downs, 2);
  EXPECT_EQ(button->FocusedButton(), button->DownButton());
  EXPECT_TRUE(button->DownButton()->Flags() & rbFocusRect);
  EXPECT_FALSE(button->UpButton()->Flags() & rbFocusRect);
  Key(button, VK_SPACE);
  EXPECT_EQ(downs, 3) << "Space clicks the focused arrow";
  Key(button, VK_UP);
  EXPECT_EQ(ups, 1);
  EXPECT_EQ(button->FocusedButton(), button->UpButton());
  other->SetFocus();
  EXPECT_FALSE(button->UpButton()->Flags() & rbFocusRect) << "cleared when the focus goes";
  EXPECT_EQ(ups + downs, 4);
}

}  // namespace
