// Controls and windowed controls: bounds, parents and the walk order of children,
// window creation on demand (our own classes or subclassed standard controls), the one
// trampoline every control window's messages pass through, mouse routing to
// non-windowed children, keys, focus, fonts and alignment.
#include "forms/Controls.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

#include "forms/Forms.h"

namespace {

// Every control window, by handle. A table of our own rather than GWLP_USERDATA alone,
// so that a window someone else subclassed or a foreign window is never mistaken for one.
std::unordered_map<HWND, TWinControl *> &ControlTable() {
  static auto *table = new std::unordered_map<HWND, TWinControl *>;  // lives to process end
  return *table;
}

// The control whose window of our own class is being created: its first messages
// arrive before CreateWindowExA returns.
TWinControl *CreationControl = nullptr;

// The control that SetParent is moving from one parent to another.
const TControl *ReparentingControl = nullptr;

int MouseX(LPARAM L) { return static_cast<short>(LOWORD(L)); }
int MouseY(LPARAM L) { return static_cast<short>(HIWORD(L)); }

bool IsCp932Lead(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }

bool KeyIsDown(int vk) {
  // The asynchronous state too, so that keys the test seam holds down count as well.
  return GetKeyState(vk) < 0 || GetAsyncKeyState(vk) < 0;
}

void RemoveFrom(std::vector<TWinControl *> &list, const TControl *c) {
  list.erase(std::remove(list.begin(), list.end(), c), list.end());
}

}  // namespace

TShiftState KeysToShiftState(WORD Keys) {
  TShiftState s = 0;
  if (Keys & MK_SHIFT) s |= ssShift;
  if (Keys & MK_CONTROL) s |= ssCtrl;
  if (Keys & MK_LBUTTON) s |= ssLeft;
  if (Keys & MK_RBUTTON) s |= ssRight;
  if (Keys & MK_MBUTTON) s |= ssMiddle;
  if (KeyIsDown(VK_MENU)) s |= ssAlt;
  return s;
}

TShiftState KeyboardStateToShiftState() {
  TShiftState s = 0;
  if (KeyIsDown(VK_SHIFT)) s |= ssShift;
  if (KeyIsDown(VK_MENU)) s |= ssAlt;
  if (KeyIsDown(VK_CONTROL)) s |= ssCtrl;
  if (KeyIsDown(VK_LBUTTON)) s |= ssLeft;
  if (KeyIsDown(VK_RBUTTON)) s |= ssRight;
  if (KeyIsDown(VK_MBUTTON)) s |= ssMiddle;
  return s;
}

// ---- TControl ---------------------------------------------------------------------------

TControl::TControl(TComponent *AOwner) : TComponent(AOwner), FFont(new TFont) {
  WindowProc = [this](TMessage &M) { WndProc(M); };
  FFont->OnChange = [this](TObject *) { FontChanged(); };
}

TControl::~TControl() {
  Destroying();
  if (FParent) FParent->RemoveControl(this);
  FParent = nullptr;
  FFont->OnChange = nullptr;
  delete FFont;
  delete FCanvas;
}

void TControl::SetParent(TWinControl *AParent) {
  if (AParent == FParent) return;
  if (AParent == this) throw EComponentError("A control cannot be its own parent");
  if (FParent) {
    // Moving to another parent keeps the window: InsertControl re-parents it.
    ReparentingControl = AParent ? this : nullptr;
    FParent->RemoveControl(this);
    ReparentingControl = nullptr;
  }
  if (AParent) AParent->InsertControl(this);
}

void TControl::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  if (ALeft == FLeft && ATop == FTop && AWidth == FWidth && AHeight == FHeight) return;
  Invalidate();  // the old area on the parent
  bool resized = AWidth != FWidth || AHeight != FHeight;
  FLeft = ALeft;
  FTop = ATop;
  FWidth = AWidth;
  FHeight = AHeight;
  Invalidate();
  if (resized && !(ComponentState() & csLoading)) Resize();
  if (FParent && FAlign != alNone) FParent->Realign();
}

TRect TControl::ClientRect() const { return Rect(0, 0, FWidth, FHeight); }

void TControl::SetClientSize(int AWidth, int AHeight) {
  TRect c = ClientRect();
  SetBounds(FLeft, FTop, AWidth + (FWidth - c.Width()), AHeight + (FHeight - c.Height()));
}

TPoint TControl::ClientToScreen(TPoint P) const {
  if (FParent) return FParent->ClientToScreen(TPoint{P.X + FLeft, P.Y + FTop});
  return TPoint{P.X + FLeft, P.Y + FTop};
}

TPoint TControl::ScreenToClient(TPoint P) const {
  TPoint origin = ClientToScreen(TPoint{0, 0});
  return TPoint{P.X - origin.X, P.Y - origin.Y};
}

void TControl::SetAlign(TAlign Value) {
  if (Value == FAlign) return;
  FAlign = Value;
  if (FParent) FParent->Realign();
}

void TControl::SetVisible(bool Value) {
  if (Value == FVisible) return;
  if (!Value) Invalidate();
  VisibleChanging();
  FVisible = Value;
  if (Value) Invalidate();
  Perform(CM_VISIBLECHANGED, Value ? 1 : 0, 0);
  if (FParent && FAlign != alNone) FParent->Realign();
}

bool TControl::Showing() const { return FVisible && FParent && FParent->Showing(); }

void TControl::SetEnabled(bool Value) {
  if (Value == FEnabled) return;
  FEnabled = Value;
  Perform(CM_ENABLEDCHANGED, 0, 0);
}

void TControl::SetText(const std::string &Value) {
  if (GetText() != Value) SetTextValue(Value);
}

void TControl::SetTextValue(const std::string &Value) {
  FText = Value;
  Perform(CM_TEXTCHANGED, 0, 0);
}

void TControl::SetFont(const TFont *Value) {
  int before = FFontChanges;
  FFont->Assign(Value);
  if (FFontChanges == before) FontChanged();
  FParentFont = false;
}

void TControl::SetParentFont(bool Value) {
  if (Value == FParentFont) return;
  FParentFont = Value;
  if (Value) AdoptParentFont();
}

void TControl::AdoptParentFont() {
  if (!FParentFont || !FParent) return;
  int before = FFontChanges;
  FAdoptingFont = true;
  try {
    FFont->Assign(FParent->FFont);
  } catch (...) {
    FAdoptingFont = false;
    throw;
  }
  // A font that does not report an unchanged assignment still tells our children.
  if (FFontChanges == before) FontChanged();
  FAdoptingFont = false;
}

void TControl::FontChanged() {
  ++FFontChanges;
  // A font change of our own ends following the parent's.
  if (!FAdoptingFont) FParentFont = false;
  Perform(CM_FONTCHANGED, 0, 0);
}

void TControl::SetColor(TColor Value) {
  FParentColor = false;
  if (Value == FColor) return;
  FColor = Value;
  Invalidate();
  Perform(CM_COLORCHANGED, 0, 0);
}

void TControl::SetParentColor(bool Value) {
  if (Value == FParentColor) return;
  FParentColor = Value;
  if (Value && FParent) {
    FColor = FParent->FColor;
    Invalidate();
  }
}

LRESULT TControl::Perform(UINT Msg, WPARAM WParam, LPARAM LParam) {
  TMessage m{Msg, WParam, LParam, 0};
  if (WindowProc)
    WindowProc(m);
  else
    WndProc(m);
  return m.Result;
}

void TControl::Invalidate() {
  if (!FParent || !FParent->FHandle || !FVisible) return;
  RECT r{FLeft, FTop, FLeft + FWidth, FTop + FHeight};
  InvalidateRect(FParent->FHandle, &r, TRUE);
}

void TControl::Update() {
  if (FParent) FParent->Update();
}

void TControl::Repaint() {
  Invalidate();
  Update();
}

void TControl::BringToFront() {
  if (!FParent) return;
  auto &list = FParent->FControls;
  auto it = std::find(list.begin(), list.end(), this);
  if (it == list.end()) return;  // windowed controls override the z-order through the window
  list.erase(it);
  list.push_back(this);
  Invalidate();
}

bool TControl::MouseCapture() const {
  if (auto *self = dynamic_cast<const TWinControl *>(this))
    return self->FHandle && GetCapture() == self->FHandle;
  if (!FParent || !FParent->FHandle) return false;
  return FParent->FMouseControl == this && GetCapture() == FParent->FHandle;
}

void TControl::SetMouseCapture(bool Value) {
  if (auto *self = dynamic_cast<TWinControl *>(this)) {
    // A window holds the capture itself.
    if (Value)
      SetCapture(self->Handle());
    else if (self->FHandle && GetCapture() == self->FHandle)
      ReleaseCapture();
    return;
  }
  if (!FParent) return;
  if (Value) {
    FParent->FMouseControl = this;
    SetCapture(FParent->Handle());
  } else if (FParent->FMouseControl == this) {
    FParent->FMouseControl = nullptr;
    if (FParent->FHandle && GetCapture() == FParent->FHandle) ReleaseCapture();
  }
}

void TControl::Click() {
  if (OnClick) OnClick(this);
}

void TControl::DblClick() {
  if (OnDblClick) OnDblClick(this);
}

void TControl::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (OnMouseDown) OnMouseDown(this, Button, Shift, X, Y);
}

void TControl::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (OnMouseUp) OnMouseUp(this, Button, Shift, X, Y);
}

void TControl::MouseMove(TShiftState Shift, int X, int Y) {
  if (OnMouseMove) OnMouseMove(this, Shift, X, Y);
}

TCustomForm *TControl::ParentForm() const {
  const TControl *c = this;
  while (c->FParent) c = c->FParent;
  return dynamic_cast<TCustomForm *>(const_cast<TControl *>(c));
}

bool TControl::IsAccel(char Character, const std::string &Caption) {
  for (size_t i = 0; i < Caption.size(); ++i) {
    unsigned char b = static_cast<unsigned char>(Caption[i]);
    if (IsCp932Lead(b)) {
      ++i;  // a double-byte character is never a prefix
      continue;
    }
    if (Caption[i] != '&' || i + 1 >= Caption.size()) continue;
    if (Caption[i + 1] == '&') {
      ++i;  // "&&" is a literal ampersand
      continue;
    }
    if (IsCp932Lead(static_cast<unsigned char>(Caption[i + 1]))) return false;
    return UpperAscii(Caption[i + 1]) == UpperAscii(Character);
  }
  return false;
}

void TControl::WndProc(TMessage &Message) {
  UINT msg = Message.Msg;
  if (msg >= WM_LBUTTONDOWN && msg <= WM_MBUTTONDBLCLK && !(FControlStyle & csDoubleClicks)) {
    // Without double clicks a second press is just a press.
    if (msg == WM_LBUTTONDBLCLK) msg = WM_LBUTTONDOWN;
    if (msg == WM_RBUTTONDBLCLK) msg = WM_RBUTTONDOWN;
    if (msg == WM_MBUTTONDBLCLK) msg = WM_MBUTTONDOWN;
  }
  int x = MouseX(Message.LParam), y = MouseY(Message.LParam);
  TShiftState shift = KeysToShiftState(LOWORD(Message.WParam));
  switch (msg) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      DefaultHandler(Message);
      if (FControlStyle & csCaptureMouse) SetMouseCapture(true);
      if (msg == WM_LBUTTONDBLCLK) {
        if (FControlStyle & csClickEvents) DblClick();
        MouseDown(mbLeft, shift | ssDouble, x, y);
      } else {
        if (FControlStyle & csClickEvents) FControlState |= csClicked;
        MouseDown(mbLeft, shift, x, y);
      }
      return;
    case WM_LBUTTONUP: {
      DefaultHandler(Message);
      if (FControlStyle & csCaptureMouse) SetMouseCapture(false);
      bool clicked = (FControlState & csClicked) != 0;
      FControlState &= ~csClicked;
      if (clicked && ClientRect().Contains(TPoint{x, y})) Click();
      MouseUp(mbLeft, shift, x, y);
      return;
    }
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK:
      DefaultHandler(Message);
      MouseDown(mbRight, msg == WM_RBUTTONDBLCLK ? shift | ssDouble : shift, x, y);
      return;
    case WM_RBUTTONUP:
      DefaultHandler(Message);
      MouseUp(mbRight, shift, x, y);
      return;
    case WM_MBUTTONDOWN:
    case WM_MBUTTONDBLCLK:
      DefaultHandler(Message);
      MouseDown(mbMiddle, msg == WM_MBUTTONDBLCLK ? shift | ssDouble : shift, x, y);
      return;
    case WM_MBUTTONUP:
      DefaultHandler(Message);
      MouseUp(mbMiddle, shift, x, y);
      return;
    case WM_MOUSEMOVE:
      DefaultHandler(Message);
      MouseMove(shift, x, y);
      return;
    case CM_TEXTCHANGED:
    case CM_FONTCHANGED:
    case CM_ENABLEDCHANGED:
      Invalidate();
      DefaultHandler(Message);
      return;
    case CM_PARENTFONTCHANGED:
      AdoptParentFont();
      return;
    case CM_PARENTCOLORCHANGED:
      if (FParentColor && FParent && FColor != FParent->FColor) {
        FColor = FParent->FColor;
        Invalidate();
      }
      return;
    default:
      DefaultHandler(Message);
  }
}

void TControl::DefaultHandler(TMessage &) {}

// ---- TGraphicControl ----------------------------------------------------------------------

TGraphicControl::TGraphicControl(TComponent *AOwner) : TControl(AOwner) { FCanvas = new TCanvas; }

TGraphicControl::~TGraphicControl() = default;

// ---- TWinControl --------------------------------------------------------------------------

TWinControl::TWinControl(TComponent *AOwner) : TControl(AOwner) {}

TWinControl::~TWinControl() {
  Destroying();
  if (TCustomForm *form = ParentForm())
    if (form != this && form->FActiveControl == this) form->FActiveControl = nullptr;
  DestroyHandle();
  // Children that outlive us (their owner frees them later) are left without a parent.
  for (TControl *c : FControls) c->FParent = nullptr;
  for (TWinControl *c : FWinControls) c->FParent = nullptr;
  FControls.clear();
  FWinControls.clear();
  FTabList.clear();
  FMouseControl = nullptr;
  if (FParent) FParent->RemoveControl(this);
  FParent = nullptr;
}

TWinControl *TWinControl::FindControl(HWND Wnd) {
  if (!Wnd) return nullptr;
  auto &table = ControlTable();
  auto it = table.find(Wnd);
  return it == table.end() ? nullptr : it->second;
}

HWND TWinControl::Handle() {
  if (!FHandle) CreateHandle();
  return FHandle;
}

void TWinControl::CreateHandle() {
  if (FHandle) return;
  // The parent's creation creates its children, this one among them.
  if (FParent) FParent->HandleNeeded();
  if (FHandle) return;
  CreateWnd();
}

void TWinControl::RecreateWnd() {
  if (!FHandle) return;
  bool focused = Focused();
  DestroyHandle();
  HandleNeeded();
  if (focused && FHandle) ::SetFocus(FHandle);
}

void TWinControl::CreateParams(TCreateParams &Params) {
  Params.Caption = FText;
  Params.Style = WS_CHILD | WS_CLIPSIBLINGS;
  if (FControlStyle & csAcceptsControls) Params.Style |= WS_CLIPCHILDREN;
  if (FVisible) Params.Style |= WS_VISIBLE;
  if (!FEnabled) Params.Style |= WS_DISABLED;
  if (FTabStop) Params.Style |= WS_TABSTOP;
  Params.X = FLeft;
  Params.Y = FTop;
  Params.Width = FWidth;
  Params.Height = FHeight;
  Params.WndParent = FParent ? FParent->FHandle : nullptr;
  Params.WinClassName = ClassName();
}

void TWinControl::CreateWnd() {
  TCreateParams params;
  CreateParams(params);
  if ((params.Style & WS_CHILD) && !params.WndParent)
    throw Exception("Control '" + Name() + "' has no parent window");
  bool own = params.SubClassName.empty();
  if (own) {
    static std::unordered_set<std::string> registered;
    if (!registered.count(params.WinClassName)) {
      WNDCLASSA wc{};
      wc.style = params.ClassStyle;
      wc.lpfnWndProc = InitWndProc;
      wc.hInstance = GetModuleHandleA(nullptr);
      wc.lpszClassName = params.WinClassName.c_str();
      if (!RegisterClassA(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        throw Exception("Cannot register the window class " + params.WinClassName + " (error " +
                        std::to_string(GetLastError()) + ")");
      registered.insert(params.WinClassName);
    }
  }
  if ((params.Style & WS_CHILD) && FParent && FCtlId == 0) FCtlId = FParent->FNextChildId++;
  FOwnClass = own;
  FDefWndProc = own ? DefWindowProcA : nullptr;
  CreationControl = own ? this : nullptr;
  try {
    CreateWindowHandle(params);
  } catch (...) {
    CreationControl = nullptr;
    throw;
  }
  CreationControl = nullptr;
  if (!FHandle)
    throw Exception("Cannot create the window of " + ClassName() + " (error " +
                    std::to_string(GetLastError()) + ")");
  if (!own) {
    ControlTable()[FHandle] = this;
    SetWindowLongPtrA(FHandle, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    FDefWndProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(FHandle, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TWinControl::InitWndProc)));
  }
  SendMessageA(FHandle, WM_SETFONT, reinterpret_cast<WPARAM>(FFont->Handle()), 0);
  CreateHandleDone();
  std::vector<TWinControl *> children = FWinControls;
  for (TWinControl *c : children)
    if (std::find(FWinControls.begin(), FWinControls.end(), c) != FWinControls.end()) c->HandleNeeded();
}

void TWinControl::CreateWindowHandle(const TCreateParams &Params) {
  const std::string &cls = Params.SubClassName.empty() ? Params.WinClassName : Params.SubClassName;
  HMENU id = (Params.Style & WS_CHILD) ? reinterpret_cast<HMENU>(static_cast<UINT_PTR>(FCtlId)) : nullptr;
  HWND wnd =
      CreateWindowExA(Params.ExStyle, cls.c_str(), Params.Caption.c_str(), Params.Style, Params.X, Params.Y,
                      Params.Width, Params.Height, Params.WndParent, id, GetModuleHandleA(nullptr), nullptr);
  // A window of our own class bound itself at its first message; this covers the rest.
  FHandle = wnd;
}

void TWinControl::CreateMissingHandles() {
  HandleNeeded();
  std::vector<TWinControl *> children = FWinControls;
  for (TWinControl *c : children)
    if (c->FParent == this) c->CreateMissingHandles();
}

void TWinControl::DestroyHandle() {
  if (!FHandle) return;
  std::vector<TWinControl *> children = FWinControls;
  for (TWinControl *c : children) c->DestroyHandle();
  DestroyWnd();
}

void TWinControl::DestroyWnd() {
  if (!FHandle) return;
  FText = GetText();
  if (FMouseControl) {
    FMouseControl = nullptr;
    if (GetCapture() == FHandle) ReleaseCapture();
  }
  HWND wnd = FHandle;
  DestroyWindow(wnd);
  // WM_NCDESTROY has unbound the window; a window that was already gone is unbound here.
  if (FHandle == wnd) {
    ControlTable().erase(wnd);
    FHandle = nullptr;
  }
}

LRESULT CALLBACK TWinControl::InitWndProc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) {
  auto &table = ControlTable();
  auto it = table.find(Wnd);
  TWinControl *control = it == table.end() ? nullptr : it->second;
  if (!control) {
    if (!CreationControl) return DefWindowProcA(Wnd, Msg, WParam, LParam);
    control = CreationControl;
    CreationControl = nullptr;
    control->FHandle = Wnd;
    table[Wnd] = control;
    SetWindowLongPtrA(Wnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(control));
  }
  TMessage m{Msg, WParam, LParam, 0};
  try {
    if (control->ComponentState() & csDestroying)
      control->DefaultHandler(m);  // a control being destroyed raises no more events
    else
      control->WindowProc(m);
  } catch (std::exception &e) {
    m.Result = 0;
    if (Application)
      Application->HandleException(e);
    else
      HandleWindowException(e);
  } catch (...) {
    m.Result = 0;
    Exception e("Unknown exception in a window message handler");
    if (Application)
      Application->HandleException(e);
    else
      HandleWindowException(e);
  }
  if (Msg == WM_NCDESTROY) {
    // The control may be gone by now: only the table says whether it still exists.
    auto after = table.find(Wnd);
    if (after != table.end()) {
      if (after->second->FHandle == Wnd) after->second->FHandle = nullptr;
      table.erase(after);
    }
  }
  return m.Result;
}

void TWinControl::DefaultHandler(TMessage &Message) {
  if (Message.Msg >= CN_BASE && Message.Msg < CN_BASE + 0x400) {
    // A notification nobody took: the parent's default answer, as if never reflected.
    UINT original = Message.Msg - CN_BASE;
    if (original >= WM_CTLCOLOREDIT && original <= WM_CTLCOLORSTATIC && FParent && FParent->FHandle)
      Message.Result = DefWindowProcA(FParent->FHandle, original, Message.WParam, Message.LParam);
    return;
  }
  if (Message.Msg >= CM_BASE && Message.Msg < CN_BASE) return;  // framework messages stop here
  if (!FHandle || !FDefWndProc) return;
  Message.Result = CallWindowProcA(FDefWndProc, FHandle, Message.Msg, Message.WParam, Message.LParam);
}

std::string TWinControl::GetText() const {
  if (!FHandle) return FText;
  int len = GetWindowTextLengthA(FHandle);
  if (len <= 0) return std::string();
  std::string s(static_cast<size_t>(len) + 1, '\0');
  int got = GetWindowTextA(FHandle, &s[0], len + 1);
  s.resize(got > 0 ? static_cast<size_t>(got) : 0);
  return s;
}

void TWinControl::SetTextValue(const std::string &Value) {
  FText = Value;
  if (FHandle) SetWindowTextA(FHandle, Value.c_str());
  Perform(CM_TEXTCHANGED, 0, 0);
}

void TWinControl::FontChanged() { TControl::FontChanged(); }

TControl *TWinControl::Controls(int Index) const {
  if (Index < 0 || Index >= ControlCount())
    throw EComponentError("List index out of bounds (" + std::to_string(Index) + ")");
  size_t i = static_cast<size_t>(Index);
  if (i < FControls.size()) return FControls[i];
  return FWinControls[i - FControls.size()];
}

bool TWinControl::ContainsControl(const TControl *Control) const {
  for (const TControl *c = Control; c; c = c->FParent)
    if (c == this) return true;
  return false;
}

TControl *TWinControl::ControlAtPos(TPoint P) const {
  for (auto it = FControls.rbegin(); it != FControls.rend(); ++it) {
    TControl *c = *it;
    if (c->FVisible && c->FEnabled && c->BoundsRect().Contains(P)) return c;
  }
  return nullptr;
}

void TWinControl::InsertControl(TControl *AControl) {
  AControl->FParent = this;
  if (auto *w = dynamic_cast<TWinControl *>(AControl)) {
    FWinControls.push_back(w);
    FTabList.push_back(w);
  } else {
    FControls.push_back(AControl);
  }
  if (AControl->FParentFont) AControl->AdoptParentFont();
  if (AControl->FParentColor) AControl->FColor = FColor;
  if (auto *w = dynamic_cast<TWinControl *>(AControl)) {
    // A window that exists moves along; one that does not is made when first needed.
    if (w->FHandle) ::SetParent(w->FHandle, Handle());
  } else {
    AControl->Invalidate();
  }
  if (AControl->FAlign != alNone) Realign();
}

void TWinControl::RemoveControl(TControl *AControl) {
  // By pointer only: the control may be half destroyed and no longer know its class.
  if (FMouseControl == AControl) {
    FMouseControl = nullptr;
    if (FHandle && GetCapture() == FHandle) ReleaseCapture();
  }
  auto g = std::find(FControls.begin(), FControls.end(), AControl);
  if (g != FControls.end()) {
    AControl->Invalidate();
    FControls.erase(g);
  }
  RemoveFrom(FWinControls, AControl);
  RemoveFrom(FTabList, AControl);
  if (AControl->FParent == this) {
    AControl->FParent = nullptr;
    // A child window cannot stay without its parent's window.
    auto *w = static_cast<TWinControl *>(nullptr);
    if (!(AControl->ComponentState() & csDestroying) && AControl != ReparentingControl)
      w = dynamic_cast<TWinControl *>(AControl);
    if (w) w->DestroyHandle();
  }
  if (AControl->FAlign != alNone) Realign();
}

int TWinControl::TabOrder() const {
  if (!FParent) return -1;
  auto &list = FParent->FTabList;
  auto it = std::find(list.begin(), list.end(), this);
  return it == list.end() ? -1 : static_cast<int>(it - list.begin());
}

void TWinControl::SetTabOrder(int Value) {
  if (!FParent) return;
  auto &list = FParent->FTabList;
  auto it = std::find(list.begin(), list.end(), this);
  if (it == list.end()) return;
  list.erase(it);
  if (Value < 0 || Value >= static_cast<int>(list.size()))
    list.push_back(this);
  else
    list.insert(list.begin() + Value, this);
}

void TWinControl::SetTabStop(bool Value) {
  if (Value == FTabStop) return;
  FTabStop = Value;
  if (FHandle) {
    LONG style = GetWindowLongA(FHandle, GWL_STYLE);
    SetWindowLongA(FHandle, GWL_STYLE, Value ? (style | WS_TABSTOP) : (style & ~WS_TABSTOP));
  }
}

bool TWinControl::CanFocus() const {
  const TCustomForm *form = ParentForm();
  for (const TControl *c = this; c && c != form; c = c->FParent)
    if (!c->FVisible || !c->FEnabled) return false;
  return true;
}

bool TWinControl::Focused() const { return FHandle && GetFocus() == FHandle; }

void TWinControl::SetFocus() {
  TCustomForm *form = ParentForm();
  if (form && form != this && !form->Showing()) {
    // Taken up when the form is shown.
    form->FActiveControl = this;
    return;
  }
  ::SetFocus(Handle());
}

void TWinControl::GetTabOrderList(std::vector<TWinControl *> &List) const {
  for (TWinControl *c : FTabList) {
    List.push_back(c);
    c->GetTabOrderList(List);
  }
}

TWinControl *TWinControl::FindNextControl(TWinControl *CurControl, bool GoForward, bool CheckTabStop,
                                          bool CheckParent) const {
  std::vector<TWinControl *> list;
  GetTabOrderList(list);
  if (list.empty()) return nullptr;
  int n = static_cast<int>(list.size());
  auto it = std::find(list.begin(), list.end(), CurControl);
  int start = it == list.end() ? (GoForward ? n - 1 : 0) : static_cast<int>(it - list.begin());
  int i = start;
  do {
    i = GoForward ? (i + 1) % n : (i + n - 1) % n;
    TWinControl *c = list[static_cast<size_t>(i)];
    if (c->CanFocus() && (!CheckTabStop || c->FTabStop) && (!CheckParent || c->FParent == this)) return c;
  } while (i != start);
  return nullptr;
}

void TWinControl::SelectNext(TWinControl *CurControl, bool GoForward, bool CheckTabStop) {
  TWinControl *next = FindNextControl(CurControl, GoForward, CheckTabStop, !CheckTabStop);
  if (next) next->SetFocus();
}

void TWinControl::Invalidate() {
  if (FHandle) InvalidateRect(FHandle, nullptr, TRUE);
}

void TWinControl::Update() {
  if (FHandle) UpdateWindow(FHandle);
}

void TWinControl::Repaint() {
  Invalidate();
  Update();
}

void TWinControl::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  if (ALeft == FLeft && ATop == FTop && AWidth == FWidth && AHeight == FHeight) return;
  bool resized = AWidth != FWidth || AHeight != FHeight;
  FLeft = ALeft;
  FTop = ATop;
  FWidth = AWidth;
  FHeight = AHeight;
  if (FHandle) {
    // WM_SIZE brings Realign and Resize.
    SetWindowPos(FHandle, nullptr, ALeft, ATop, AWidth, AHeight, SWP_NOZORDER | SWP_NOACTIVATE);
  } else if (resized && !(ComponentState() & csLoading)) {
    // No window to tell us: the new size takes effect at once all the same.
    Realign();
    Resize();
  }
  if (FParent && FAlign != alNone) FParent->Realign();
}

TRect TWinControl::ClientRect() const {
  if (!FHandle) return TControl::ClientRect();
  RECT r{};
  GetClientRect(FHandle, &r);
  return Rect(r.left, r.top, r.right, r.bottom);
}

void TWinControl::SetVisible(bool Value) {
  if (Value == FVisible) return;
  VisibleChanging();
  FVisible = Value;
  if (FHandle)
    SetWindowPos(
        FHandle, nullptr, 0, 0, 0, 0,
        SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | (Value ? SWP_SHOWWINDOW : SWP_HIDEWINDOW));
  Perform(CM_VISIBLECHANGED, Value ? 1 : 0, 0);
  if (FParent && FAlign != alNone) FParent->Realign();
}

void TWinControl::SetEnabled(bool Value) {
  if (Value == FEnabled) return;
  FEnabled = Value;
  if (FHandle) EnableWindow(FHandle, Value ? TRUE : FALSE);
  Perform(CM_ENABLEDCHANGED, 0, 0);
}

bool TWinControl::Showing() const {
  if (!FVisible || !FHandle || !IsWindowVisible(FHandle)) return false;
  return !FParent || FParent->Showing();
}

void TWinControl::Loaded() {
  TControl::Loaded();
  Realign();
}

void TWinControl::UpdateBounds() {
  if (!FHandle) return;
  if (GetWindowLongA(FHandle, GWL_STYLE) & WS_MINIMIZE) return;  // the icon's place is not ours
  RECT r{};
  GetWindowRect(FHandle, &r);
  POINT origin{r.left, r.top};
  if (FParent && FParent->FHandle) ::ScreenToClient(FParent->FHandle, &origin);
  FLeft = origin.x;
  FTop = origin.y;
  FWidth = r.right - r.left;
  FHeight = r.bottom - r.top;
}

void TWinControl::PaintWindow(HDC) {}

void TWinControl::PaintControls(HDC DC) {
  std::vector<TControl *> list = FControls;
  for (TControl *c : list) {
    if (!c->FVisible || !c->FCanvas) continue;
    int saved = SaveDC(DC);
    POINT org{};
    SetViewportOrgEx(DC, 0, 0, &org);
    SetViewportOrgEx(DC, org.x + c->FLeft, org.y + c->FTop, nullptr);
    IntersectClipRect(DC, 0, 0, c->FWidth, c->FHeight);
    c->FCanvas->SetHandle(DC);
    try {
      c->Paint();
    } catch (...) {
      c->FCanvas->SetHandle(nullptr);
      RestoreDC(DC, saved);
      throw;
    }
    c->FCanvas->SetHandle(nullptr);
    RestoreDC(DC, saved);
  }
}

void TWinControl::KeyDown(WORD &Key, TShiftState Shift) {
  if (OnKeyDown) OnKeyDown(this, Key, Shift);
}

void TWinControl::KeyUp(WORD &Key, TShiftState Shift) {
  if (OnKeyUp) OnKeyUp(this, Key, Shift);
}

void TWinControl::KeyPress(char &Key) {
  if (OnKeyPress) OnKeyPress(this, Key);
}

void TWinControl::DoEnter() {
  if (OnEnter) OnEnter(this);
}

void TWinControl::DoExit() {
  if (OnExit) OnExit(this);
}

void TWinControl::AlignControls(TControl *, TRect &Rect) {
  // Each side in turn, the controls of one side by their current position (the one
  // nearest the side first), ties in list order.
  auto place = [&](TAlign side) {
    std::vector<TControl *> list;
    for (int i = 0; i < ControlCount(); ++i) {
      TControl *c = Controls(i);
      if (c->FVisible && c->FAlign == side) list.push_back(c);
    }
    std::stable_sort(list.begin(), list.end(), [side](TControl *a, TControl *b) {
      switch (side) {
        case alTop:
          return a->FTop < b->FTop;
        case alBottom:
          return a->FTop + a->FHeight > b->FTop + b->FHeight;
        case alLeft:
          return a->FLeft < b->FLeft;
        case alRight:
          return a->FLeft + a->FWidth > b->FLeft + b->FWidth;
        default:
          return false;
      }
    });
    for (TControl *c : list) {
      int w = c->FWidth, h = c->FHeight;
      switch (side) {
        case alTop:
          c->SetBounds(Rect.Left, Rect.Top, Rect.Width(), h);
          Rect.Top += c->FHeight;
          break;
        case alBottom:
          c->SetBounds(Rect.Left, Rect.Bottom - h, Rect.Width(), h);
          Rect.Bottom -= c->FHeight;
          break;
        case alLeft:
          c->SetBounds(Rect.Left, Rect.Top, w, Rect.Height());
          Rect.Left += c->FWidth;
          break;
        case alRight:
          c->SetBounds(Rect.Right - w, Rect.Top, w, Rect.Height());
          Rect.Right -= c->FWidth;
          break;
        case alClient:
          c->SetBounds(Rect.Left, Rect.Top, std::max(0, Rect.Width()), std::max(0, Rect.Height()));
          break;
        default:
          break;
      }
    }
  };
  place(alTop);
  place(alBottom);
  place(alLeft);
  place(alRight);
  place(alClient);
}

void TWinControl::Realign() {
  if (FAligning || (ComponentState() & (csLoading | csDestroying))) return;
  FAligning = true;
  try {
    TRect r = ClientRect();
    AlignControls(nullptr, r);
  } catch (...) {
    FAligning = false;
    throw;
  }
  FAligning = false;
}

bool TWinControl::IsControlMouseMsg(TMessage &Message) {
  TControl *target = nullptr;
  if (FMouseControl && FHandle && GetCapture() == FHandle)
    target = FMouseControl;
  else
    target = ControlAtPos(TPoint{MouseX(Message.LParam), MouseY(Message.LParam)});
  if (!target) return false;
  int x = MouseX(Message.LParam) - target->FLeft, y = MouseY(Message.LParam) - target->FTop;
  Message.Result = target->Perform(
      Message.Msg, Message.WParam,
      MAKELPARAM(static_cast<WORD>(static_cast<short>(x)), static_cast<WORD>(static_cast<short>(y))));
  return true;
}

void TWinControl::BroadcastToChildren(TMessage &Message, bool StopWhenHandled) {
  std::vector<TControl *> list;
  for (int i = 0; i < ControlCount(); ++i) list.push_back(Controls(i));
  for (TControl *c : list) {
    // A handler may free a later sibling; skip what left us.
    if (c->FParent != this) continue;
    if (StopWhenHandled && (!c->FVisible || !c->FEnabled)) continue;
    LRESULT r = c->Perform(Message.Msg, Message.WParam, Message.LParam);
    if (StopWhenHandled && r != 0) {
      Message.Result = r;
      return;
    }
  }
}

void TWinControl::WndProc(TMessage &Message) {
  switch (Message.Msg) {
    case WM_SETFOCUS: {
      TCustomForm *form = ParentForm();
      if (form && form != this) form->FocusedControlChanged(this);
      DefaultHandler(Message);
      DoEnter();
      return;
    }
    case WM_KILLFOCUS:
      DefaultHandler(Message);
      DoExit();
      return;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN: {
      WORD key = static_cast<WORD>(Message.WParam);
      KeyDown(key, KeyboardStateToShiftState());
      if (key == 0) return;  // handled: the window never sees it
      Message.WParam = key;
      DefaultHandler(Message);
      return;
    }
    case WM_KEYUP:
    case WM_SYSKEYUP: {
      WORD key = static_cast<WORD>(Message.WParam);
      KeyUp(key, KeyboardStateToShiftState());
      if (key == 0) return;
      Message.WParam = key;
      DefaultHandler(Message);
      return;
    }
    case WM_CHAR: {
      char c = static_cast<char>(Message.WParam);
      KeyPress(c);
      if (c == 0) return;  // dropped
      Message.WParam = static_cast<unsigned char>(c);
      DefaultHandler(Message);
      return;
    }
    case WM_COMMAND:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORSTATIC:
      if (Message.LParam) {
        TWinControl *child = FindControl(reinterpret_cast<HWND>(Message.LParam));
        if (child && child != this) {
          Message.Result = child->Perform(CN_BASE + Message.Msg, Message.WParam, Message.LParam);
          return;
        }
      }
      break;
    case WM_PAINT:
      if (FOwnClass) {
        PAINTSTRUCT ps{};
        HDC dc = BeginPaint(FHandle, &ps);
        try {
          PaintWindow(dc);
          PaintControls(dc);
        } catch (...) {
          EndPaint(FHandle, &ps);
          throw;
        }
        EndPaint(FHandle, &ps);
        return;
      }
      break;
    case WM_ERASEBKGND:
      if (FOwnClass) {
        RECT r{};
        GetClientRect(FHandle, &r);
        HBRUSH brush = CreateSolidBrush(ColorToRGB(FColor));
        FillRect(reinterpret_cast<HDC>(Message.WParam), &r, brush);
        DeleteObject(brush);
        Message.Result = 1;
        return;
      }
      break;
    case WM_WINDOWPOSCHANGED:
      UpdateBounds();
      DefaultHandler(Message);
      return;
    case WM_SIZE:
      DefaultHandler(Message);
      if (Message.WParam == SIZE_MINIMIZED) return;
      UpdateBounds();
      Realign();
      Resize();
      return;
    case WM_DESTROY:
      FText = GetText();  // the text outlives the window
      break;
    case WM_CAPTURECHANGED:
      FMouseControl = nullptr;
      break;
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
    case WM_RBUTTONDBLCLK:
    case WM_MBUTTONDOWN:
    case WM_MBUTTONUP:
    case WM_MBUTTONDBLCLK:
      if (IsControlMouseMsg(Message)) return;
      break;
    case CM_DIALOGKEY:
    case CM_DIALOGCHAR:
      BroadcastToChildren(Message, true);
      return;
    case CM_FOCUSCHANGED:
      BroadcastToChildren(Message, false);
      return;
    case CM_FONTCHANGED:
      if (FHandle) SendMessageA(FHandle, WM_SETFONT, reinterpret_cast<WPARAM>(FFont->Handle()), TRUE);
      {
        TMessage m{CM_PARENTFONTCHANGED, 0, 0, 0};
        BroadcastToChildren(m, false);
      }
      Invalidate();
      return;
    case CM_COLORCHANGED:
    case CM_PARENTCOLORCHANGED:
      TControl::WndProc(Message);
      {
        TMessage m{CM_PARENTCOLORCHANGED, 0, 0, 0};
        BroadcastToChildren(m, false);
      }
      return;
    default:
      break;
  }
  TControl::WndProc(Message);
}

// ---- TCustomControl -----------------------------------------------------------------------

TCustomControl::TCustomControl(TComponent *AOwner) : TWinControl(AOwner) { FCanvas = new TCanvas; }

TCustomControl::~TCustomControl() = default;

void TCustomControl::PaintWindow(HDC DC) {
  FCanvas->SetHandle(DC);
  try {
    Paint();
  } catch (...) {
    FCanvas->SetHandle(nullptr);
    throw;
  }
  FCanvas->SetHandle(nullptr);
}
