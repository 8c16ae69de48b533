// Spin edits: the repeating arrow button, the arrow pair and the numeric edit.
#include "controls/SpinEdit.h"

#include <algorithm>
#include <clocale>
#include <string>

#include "platform/uistate.h"

// ---- TRepeatButton -----------------------------------------------------------------

TRepeatButton::TRepeatButton(TComponent *AOwner) : TSpeedButton(AOwner) {}

TRepeatButton::~TRepeatButton() { delete FRepeatTimer; }

void TRepeatButton::SetFlags(TRepeatButtonFlags Value) {
  if (Value == FFlags) return;
  bool repaint = ((Value ^ FFlags) & rbFocusRect) != 0;
  FFlags = Value;
  if (repaint) Invalidate();
}

void TRepeatButton::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TSpeedButton::MouseDown(Button, Shift, X, Y);
  if (FFlags & rbAutoRepeat) {
    if (FRepeatTimer == nullptr) {
      FRepeatTimer = new TTimer(nullptr);
      // A new timer is enabled: stop it before it gets a handler, or it would tick
      // at its default period.
      FRepeatTimer->SetEnabled(false);
      FRepeatTimer->SetOnTimer([this](TObject *Sender) { TimerExpired(Sender); });
    }
    FRepeatTimer->SetInterval(InitRepeatPause);
    FRepeatTimer->SetEnabled(true);
  }
}

void TRepeatButton::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TSpeedButton::MouseUp(Button, Shift, X, Y);
  if (FRepeatTimer != nullptr) FRepeatTimer->SetEnabled(false);
}

void TRepeatButton::TimerExpired(TObject *) {
  FRepeatTimer->SetInterval(RepeatPause);
  // Dragged off the button it is drawn up again: no step until the pointer is back.
  if (FState == bsDown && MouseCapture()) {
    try {
      Click();
    } catch (...) {
      FRepeatTimer->SetEnabled(false);
      throw;
    }
  }
}

void TRepeatButton::Paint() {
  TSpeedButton::Paint();
  if (FFlags & rbFocusRect) {
    TRect R = Rect(3, 3, Width() - 3, Height() - 3);
    if (FState == bsDown) R = Rect(R.Left + 1, R.Top + 1, R.Right + 1, R.Bottom + 1);
    Canvas()->DrawFocusRect(R);
  }
}

// ---- TSpinButton -------------------------------------------------------------------

namespace {

void LoadBuiltInGlyph(TBitmap &Bitmap, const char *ResName) {
  Bitmap.LoadFromResourceName(GetModuleHandleA(nullptr), ResName);
  // The arrows are drawn on the classic face grey; whatever face the system has
  // shows through it instead.
  Bitmap.TransparentColor = clSilver;
}

}  // namespace

TSpinButton::TSpinButton(TComponent *AOwner) : TWinControl(AOwner) {
  unsigned style = ControlStyle() & ~(csAcceptsControls | csSetCaption);
  style |= csOpaque;
  if (!VisualStylesInEffect()) style |= csFramed;
  SetControlStyle(style);

  // The built-in arrows first: a missing resource fails before anything is made.
  TBitmap up, down;
  LoadBuiltInGlyph(up, "SpinUp");
  LoadBuiltInGlyph(down, "SpinDown");
  FUpButton = CreateButton();
  FUpButton->SetGlyph(&up);
  FDownButton = CreateButton();
  FDownButton->SetGlyph(&down);
  FFocusedButton = FUpButton;
  SetBounds(0, 0, 20, 25);
  SetTabStop(false);
}

TSpinButton::~TSpinButton() {
  // The arrows live on this control's window: gone before it is.
  delete FUpButton;
  delete FDownButton;
}

TRepeatButton *TSpinButton::CreateButton() {
  auto *btn = new TRepeatButton(this);
  btn->OnClick = [this](TObject *Sender) { BtnClick(Sender); };
  btn->OnMouseDown = [this](TObject *Sender, TMouseButton Button, TShiftState Shift, int X, int Y) {
    BtnMouseDown(Sender, Button, Shift, X, Y);
  };
  btn->SetVisible(true);
  btn->SetEnabled(true);
  btn->SetFlags(btn->Flags() | rbAutoRepeat);
  btn->SetParent(this);
  return btn;
}

void TSpinButton::LoadGlyph(TRepeatButton *Button, const TBitmap *Value, const char *ResName) {
  if (Value != nullptr && !Value->Empty()) {
    Button->SetGlyph(Value);
    return;
  }
  TBitmap builtIn;
  LoadBuiltInGlyph(builtIn, ResName);
  Button->SetGlyph(&builtIn);
  Button->SetNumGlyphs(1);
}

void TSpinButton::SetUpGlyph(const TBitmap *Value) { LoadGlyph(FUpButton, Value, "SpinUp"); }

void TSpinButton::SetDownGlyph(const TBitmap *Value) { LoadGlyph(FDownButton, Value, "SpinDown"); }

void TSpinButton::SetFocusControl(TWinControl *Value) {
  if (Value == FFocusControl) return;
  if (FFocusControl != nullptr) FFocusControl->RemoveFreeNotification(this);
  FFocusControl = Value;
  if (Value != nullptr) Value->FreeNotification(this);
}

void TSpinButton::Notification(TComponent *AComponent, TOperation Operation) {
  if (Operation == opRemove && AComponent == FFocusControl) FFocusControl = nullptr;
  TWinControl::Notification(AComponent, Operation);
}

void TSpinButton::AdjustSize(int &W, int &H) {
  if (FUpButton == nullptr || (ComponentState() & csLoading)) return;
  if (W < 15) W = 15;
  const int half = H / 2;
  FUpButton->SetBounds(0, 0, W, half);
  // The arrows share one pixel row, so their frames meet in a single line.
  FDownButton->SetBounds(0, half - 1, W, H - half + 1);
}

void TSpinButton::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  int W = AWidth, H = AHeight;
  AdjustSize(W, H);
  TWinControl::SetBounds(ALeft, ATop, W, H);
}

void TSpinButton::Loaded() {
  TWinControl::Loaded();
  // The arrows were made with this control and share its loading state.
  for (TRepeatButton *btn : {FUpButton, FDownButton}) {
    if (btn->ComponentState() & csLoading) btn->Loaded();
  }
  int W = Width(), H = Height();
  AdjustSize(W, H);
  if (W != Width() || H != Height()) TWinControl::SetBounds(Left(), Top(), W, H);
}

void TSpinButton::BtnMouseDown(TObject *Sender, TMouseButton Button, TShiftState, int, int) {
  if (Button != mbLeft) return;
  SetFocusBtn(static_cast<TRepeatButton *>(Sender));
  if (FFocusControl != nullptr && FFocusControl->CanFocus() && !FFocusControl->Focused()) {
    FFocusControl->SetFocus();
  } else if (TabStop() && !Focused() && CanFocus()) {
    SetFocus();
  }
}

void TSpinButton::BtnClick(TObject *Sender) {
  if (Sender == FUpButton) {
    DoUpClick();
  } else if (Sender == FDownButton) {
    DoDownClick();
  }
}

void TSpinButton::DoUpClick() {
  if (OnUpClick) OnUpClick(this);
}

void TSpinButton::DoDownClick() {
  if (OnDownClick) OnDownClick(this);
}

void TSpinButton::SetFocusBtn(TRepeatButton *Btn) {
  if (!TabStop() || !CanFocus() || Btn == FFocusedButton) return;
  FFocusedButton->SetFlags(FFocusedButton->Flags() & ~rbFocusRect);
  FFocusedButton = Btn;
  if (Focused()) FFocusedButton->SetFlags(FFocusedButton->Flags() | rbFocusRect);
}

void TSpinButton::KeyDown(WORD &Key, TShiftState Shift) {
  switch (Key) {
    case VK_UP:
      SetFocusBtn(FUpButton);
      FUpButton->Click();
      break;
    case VK_DOWN:
      SetFocusBtn(FDownButton);
      FDownButton->Click();
      break;
    case VK_SPACE:
      FFocusedButton->Click();
      break;
    default:
      break;
  }
  TWinControl::KeyDown(Key, Shift);
}

void TSpinButton::WndProc(TMessage &Message) {
  switch (Message.Msg) {
    case WM_GETDLGCODE:
      Message.Result = DLGC_WANTARROWS;
      return;
    case WM_SETFOCUS:
      TWinControl::WndProc(Message);
      FFocusedButton->SetFlags(FFocusedButton->Flags() | rbFocusRect);
      return;
    case WM_KILLFOCUS:
      TWinControl::WndProc(Message);
      FFocusedButton->SetFlags(FFocusedButton->Flags() & ~rbFocusRect);
      return;
    default:
      TWinControl::WndProc(Message);
  }
}

// ---- TSpinEdit ---------------------------------------------------------------------

namespace {

// The text as a 32-bit signed decimal number: optional sign, then digits only.
bool ParseInt32(const std::string &Text, int32_t &Out) {
  size_t i = 0;
  bool negative = false;
  if (i < Text.size() && (Text[i] == '+' || Text[i] == '-')) negative = Text[i++] == '-';
  if (i == Text.size()) return false;
  int64_t v = 0;
  for (; i < Text.size(); ++i) {
    const char c = Text[i];
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
    if (v > int64_t{INT32_MAX} + 1) return false;
  }
  if (negative) v = -v;
  if (v > INT32_MAX) return false;
  Out = static_cast<int32_t>(v);
  return true;
}

char DecimalSeparator() {
  const char *point = std::localeconv()->decimal_point;
  return (point != nullptr && point[0] != '\0') ? point[0] : '.';
}

}  // namespace

TSpinEdit::TSpinEdit(TComponent *AOwner) : TCustomEdit(AOwner) {
  FButton = new TSpinButton(this);
  FButton->SetBounds(0, 0, 15, 17);
  FButton->SetVisible(true);
  FButton->SetParent(this);
  FButton->SetFocusControl(this);
  FButton->OnUpClick = [this](TObject *Sender) { StepUp(Sender); };
  FButton->OnDownClick = [this](TObject *Sender) { StepDown(Sender); };
  SetText("0");
  SetControlStyle(ControlStyle() & ~csSetCaption);
}

TSpinEdit::~TSpinEdit() {
  // A child window of ours: it must go while this control is still whole.
  delete FButton;
}

void TSpinEdit::Loaded() {
  TCustomEdit::Loaded();
  if (FButton->ComponentState() & csLoading) FButton->Loaded();
}

int32_t TSpinEdit::Value() const {
  int32_t v;
  return ParseInt32(Text(), v) ? v : FMinValue;
}

void TSpinEdit::SetValue(int32_t NewValue) { SetText(std::to_string(CheckValue(NewValue))); }

int32_t TSpinEdit::CheckValue(int64_t NewValue) const {
  // Steps are computed wide and held to the 32-bit range, so the largest value
  // stepped up stays the largest instead of wrapping round to the smallest.
  NewValue = std::clamp<int64_t>(NewValue, INT32_MIN, INT32_MAX);
  if (FMaxValue != FMinValue) {
    if (NewValue < FMinValue) {
      NewValue = FMinValue;
    } else if (NewValue > FMaxValue) {
      NewValue = FMaxValue;
    }
  }
  return static_cast<int32_t>(NewValue);
}

void TSpinEdit::StepUp(TObject *) {
  if (ReadOnly()) {
    MessageBeep(0);
  } else {
    SetText(std::to_string(CheckValue(int64_t{Value()} + FIncrement)));
  }
}

void TSpinEdit::StepDown(TObject *) {
  if (ReadOnly()) {
    MessageBeep(0);
  } else {
    SetText(std::to_string(CheckValue(int64_t{Value()} - FIncrement)));
  }
}

void TSpinEdit::KeyDown(WORD &Key, TShiftState Shift) {
  if (Key == VK_UP) {
    StepUp(this);
  } else if (Key == VK_DOWN) {
    StepDown(this);
  }
  TCustomEdit::KeyDown(Key, Shift);
}

bool TSpinEdit::IsValidChar(char Key) const {
  const unsigned char c = static_cast<unsigned char>(Key);
  bool ok =
      c == '+' || c == '-' || (c >= '0' && c <= '9') || Key == DecimalSeparator() || (c < 32 && c != '\r');
  if (!FEditorEnabled && ok && (c >= 32 || c == '\b')) ok = false;
  return ok;
}

void TSpinEdit::KeyPress(char &Key) {
  if (!IsValidChar(Key)) {
    Key = 0;
    MessageBeep(0);
  }
  if (Key != 0) TCustomEdit::KeyPress(Key);
}

void TSpinEdit::DoEnter() {
  // A click that brought the focus (on the text or on an arrow) keeps the caret where
  // the user put it; the base is kept from selecting on its own rule.
  if (AutoSelect && (GetAsyncKeyState(VK_LBUTTON) & 0x8000) == 0) SelectAll();
  const bool autoSelect = AutoSelect;
  AutoSelect = false;
  TCustomEdit::DoEnter();
  AutoSelect = autoSelect;
}

void TSpinEdit::DoExit() {
  TCustomEdit::DoExit();
  const int32_t v = Value();
  if (CheckValue(v) != v) SetValue(v);
}

void TSpinEdit::CreateParams(TCreateParams &Params) {
  TCustomEdit::CreateParams(Params);
  // Multi-line, because only a multi-line edit honours EM_SETRECTNP, which keeps the
  // text clear of the arrows.
  Params.Style |= ES_MULTILINE | WS_CLIPCHILDREN;
}

void TSpinEdit::CreateHandleDone() {
  TCustomEdit::CreateHandleDone();
  FButton->HandleNeeded();
  LayoutButton();
}

void TSpinEdit::WndProc(TMessage &Message) {
  switch (Message.Msg) {
    case WM_PASTE:
    case WM_CUT:
      if (FEditorEnabled && !ReadOnly()) TCustomEdit::WndProc(Message);
      return;
    case WM_GETDLGCODE:
      // Multi-line only for its text area: to the dialog it is a one-line field, so
      // Tab, Enter and Esc stay dialog keys instead of being kept by the edit.
      TCustomEdit::WndProc(Message);
      Message.Result &= ~static_cast<LRESULT>(DLGC_WANTALLKEYS);
      return;
    case WM_SIZE:
    case WM_SETFONT:
      // The edit resets its text area on both; ours goes back on top.
      TCustomEdit::WndProc(Message);
      if (HandleAllocated()) LayoutButton();
      return;
    default:
      TCustomEdit::WndProc(Message);
  }
}

int TSpinEdit::MinHeight() {
  HDC DC = GetDC(nullptr);
  TEXTMETRICA SysMetrics{}, Metrics{};
  GetTextMetricsA(DC, &SysMetrics);
  HGDIOBJ SaveFont = SelectObject(DC, Font()->Handle());
  GetTextMetricsA(DC, &Metrics);
  SelectObject(DC, SaveFont);
  ReleaseDC(nullptr, DC);
  const int I = std::min(SysMetrics.tmHeight, Metrics.tmHeight);
  return Metrics.tmHeight + I / 4 + GetSystemMetrics(SM_CYBORDER) * 4 + 2;
}

void TSpinEdit::LayoutButton() {
  // Raising the height below comes back here as WM_SIZE; this call finishes the job.
  if (FLayingOut) return;
  FLayingOut = true;
  struct Done {
    bool &Flag;
    ~Done() { Flag = false; }
  } done{FLayingOut};

  const int minHeight = MinHeight();
  if (Height() < minHeight) SetHeight(minHeight);
  if (BorderStyle() == bsSingleBorder) {
    // A sunken edit: the arrows sit inside its client edge.
    FButton->SetBounds(Width() - FButton->Width() - 5, 0, FButton->Width(), Height() - 5);
  } else {
    FButton->SetBounds(Width() - FButton->Width(), 1, FButton->Width(), Height() - 3);
  }
  SetEditRect();
}

void TSpinEdit::SetEditRect() {
  if (!HandleAllocated()) return;
  RECT client;
  GetClientRect(FHandle, &client);
  RECT R = {0, 0, client.right - FButton->Width() - 2, client.bottom + 1};
  SendMessageA(FHandle, EM_SETRECTNP, 0, reinterpret_cast<LPARAM>(&R));
}
