// Controls: the visible building blocks of a form. A TControl has bounds, a parent,
// a caption and a font; a TWinControl also owns a real window (created on first use,
// a standard control subclassed or a window class of our own) and keeps its children
// in the order the settings store walks them.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "forms/Classes.h"
#include "forms/Graphics.h"
#include "forms/Types.h"
#include "forms/UtilWindow.h"
#include "platform/winapi.h"

class TWinControl;
class TPopupMenu;

enum TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };
enum TAlignment { taLeftJustify, taRightJustify, taCenter };
enum TMouseButton { mbLeft = 0, mbRight = 1, mbMiddle = 2 };

// Set of ssShift (bit 0), ssAlt (1), ssCtrl (2), ssLeft (3), ssRight (4), ssMiddle (5),
// ssDouble (6).
using TShiftState = unsigned;
enum : unsigned {
  ssShift = 1u,
  ssAlt = 2u,
  ssCtrl = 4u,
  ssLeft = 8u,
  ssRight = 16u,
  ssMiddle = 32u,
  ssDouble = 64u
};
// The shift state of a mouse message's key flags (MK_*), and of the keyboard now
// (GetKeyState).
TShiftState KeysToShiftState(WORD Keys);
TShiftState KeyboardStateToShiftState();

using TMouseEvent =
    std::function<void(TObject *Sender, TMouseButton Button, TShiftState Shift, int X, int Y)>;
using TMouseMoveEvent = std::function<void(TObject *Sender, TShiftState Shift, int X, int Y)>;
using TKeyEvent = std::function<void(TObject *Sender, WORD &Key, TShiftState Shift)>;
using TKeyPressEvent = std::function<void(TObject *Sender, char &Key)>;

// Framework messages (control messages and reflected notifications). A WM_COMMAND or
// WM_CTLCOLOR* that a child window sends its parent comes back to the child's own
// control as CN_BASE + the message.
enum : UINT {
  CM_BASE = 0xB000,
  CM_ENABLEDCHANGED = CM_BASE + 1,
  CM_FONTCHANGED = CM_BASE + 2,
  CM_TEXTCHANGED = CM_BASE + 3,
  CM_VISIBLECHANGED = CM_BASE + 4,
  CM_ENTER = CM_BASE + 5,
  CM_EXIT = CM_BASE + 6,
  // WParam: the key (VK_RETURN, VK_ESCAPE, VK_TAB, arrows); Result 1 when handled.
  CM_DIALOGKEY = CM_BASE + 7,
  // WParam: the character of an Alt accelerator (or a plain character when the
  // focused control does not want characters); Result 1 when handled.
  CM_DIALOGCHAR = CM_BASE + 8,
  CM_FOCUSCHANGED = CM_BASE + 9,
  CM_MOUSEENTER = CM_BASE + 10,
  CM_MOUSELEAVE = CM_BASE + 11,
  CM_PARENTFONTCHANGED = CM_BASE + 12,
  CM_PARENTCOLORCHANGED = CM_BASE + 13,
  // Posted by TCustomForm::Release: the form deletes itself when it arrives.
  CM_RELEASE = CM_BASE + 14,
  CM_COLORCHANGED = CM_BASE + 15,
  CN_BASE = 0xBC00,
  CN_COMMAND = CN_BASE + WM_COMMAND,
  CN_CTLCOLOREDIT = CN_BASE + WM_CTLCOLOREDIT,
  CN_CTLCOLORLISTBOX = CN_BASE + WM_CTLCOLORLISTBOX,
  CN_CTLCOLORBTN = CN_BASE + WM_CTLCOLORBTN,
  CN_CTLCOLORSTATIC = CN_BASE + WM_CTLCOLORSTATIC,
  CN_KEYDOWN = CN_BASE + WM_KEYDOWN,
  CN_CHAR = CN_BASE + WM_CHAR,
};

// Bits of TControl::ControlStyle().
enum : unsigned {
  csAcceptsControls = 1u,
  csCaptureMouse = 2u,
  csClickEvents = 4u,
  csFramed = 8u,
  csSetCaption = 16u,
  csOpaque = 32u,
  csDoubleClicks = 64u,
  csFixedWidth = 128u,
  csFixedHeight = 256u,
};

// Bits of TControl::ControlState().
enum : unsigned {
  csLButtonDown = 1u,
  csClicked = 2u,
  csFocusing = 4u,
  csCreating = 8u,
  csAlignmentNeeded = 16u,
};

class TControl : public TComponent {
 public:
  explicit TControl(TComponent *AOwner);
  ~TControl() override;

  TWinControl *Parent() const { return FParent; }
  // Moves the control into AParent's child list (nullptr: out of every list). A
  // window moves along to the new parent; taken out of every list, a control loses
  // its window (a child window cannot be without parent). A windowed control without
  // a window gets one when first needed, or with its parent's.
  virtual void SetParent(TWinControl *AParent);

  int Left() const { return FLeft; }
  int Top() const { return FTop; }
  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  void SetLeft(int Value) { SetBounds(Value, FTop, FWidth, FHeight); }
  void SetTop(int Value) { SetBounds(FLeft, Value, FWidth, FHeight); }
  void SetWidth(int Value) { SetBounds(FLeft, FTop, Value, FHeight); }
  void SetHeight(int Value) { SetBounds(FLeft, FTop, FWidth, Value); }
  // Left/Top are relative to the parent's client area (screen for a form).
  virtual void SetBounds(int ALeft, int ATop, int AWidth, int AHeight);
  TRect BoundsRect() const { return Bounds(FLeft, FTop, FWidth, FHeight); }
  // The client area in the control's own coordinates.
  virtual TRect ClientRect() const;
  int ClientWidth() const { return ClientRect().Width(); }
  int ClientHeight() const { return ClientRect().Height(); }
  virtual void SetClientSize(int AWidth, int AHeight);
  TPoint ClientToScreen(TPoint P) const;
  TPoint ScreenToClient(TPoint P) const;

  TAlign Align() const { return FAlign; }
  void SetAlign(TAlign Value);

  bool Visible() const { return FVisible; }
  virtual void SetVisible(bool Value);
  void Show() { SetVisible(true); }
  void Hide() { SetVisible(false); }
  // Visible and every parent visible (and, for a windowed control, its window shown).
  virtual bool Showing() const;
  bool Enabled() const { return FEnabled; }
  virtual void SetEnabled(bool Value);

  // Caption and Text are one value: a windowed control keeps it in its window.
  std::string Caption() const { return GetText(); }
  void SetCaption(const std::string &Value) { SetText(Value); }
  std::string Text() const { return GetText(); }
  void SetText(const std::string &Value);

  // The control's own font, and whether it follows its parent's instead (the
  // default): a parent's font change reaches every child that follows it.
  TFont *Font() const { return FFont; }
  void SetFont(const TFont *Value);
  bool ParentFont() const { return FParentFont; }
  void SetParentFont(bool Value);
  TColor Color() const { return FColor; }
  void SetColor(TColor Value);
  bool ParentColor() const { return FParentColor; }
  void SetParentColor(bool Value);

  std::string Hint;
  bool ShowHint = false;

  unsigned ControlStyle() const { return FControlStyle; }
  void SetControlStyle(unsigned Value) { FControlStyle = Value; }
  unsigned ControlState() const { return FControlState; }
  void SetControlState(unsigned Value) { FControlState = Value; }

  // Every message of the control goes through WindowProc, which starts as WndProc;
  // a hook replaces it and calls the previous value for what it does not consume.
  TWndMethod WindowProc;
  LRESULT Perform(UINT Msg, WPARAM WParam, LPARAM LParam);

  // Redraw: Invalidate marks the control's area, Update paints what is marked now,
  // Repaint does both at once.
  virtual void Invalidate();
  virtual void Update();
  virtual void Repaint();
  void BringToFront();

  // The capture of mouse input by this control (through its parent's window for a
  // non-windowed control).
  bool MouseCapture() const;
  void SetMouseCapture(bool Value);

  // Raises OnClick (and an action's execution, where a control has one).
  virtual void Click();
  virtual void DblClick();

  TNotifyEvent OnClick;
  TNotifyEvent OnDblClick;
  TMouseEvent OnMouseDown;
  TMouseEvent OnMouseUp;
  TMouseMoveEvent OnMouseMove;

  // The form the control is on (the control itself for a form), or nullptr.
  class TCustomForm *ParentForm() const;

 protected:
  virtual void WndProc(TMessage &Message);
  // The default processing of a message the handlers did not take: the window's
  // original procedure for a windowed control, nothing for the others.
  virtual void DefaultHandler(TMessage &Message);

  virtual std::string GetText() const { return FText; }
  // Stores the text; TWinControl writes it into the window. Raises CM_TEXTCHANGED.
  virtual void SetTextValue(const std::string &Value);
  // Font to create handles with: the parent's when ParentFont is set.
  virtual void FontChanged();
  virtual void VisibleChanging() {}
  virtual void Resize() {}

  virtual void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y);
  virtual void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y);
  virtual void MouseMove(TShiftState Shift, int X, int Y);

  // Paints a non-windowed control; called by its parent's WM_PAINT with Canvas set up.
  virtual void Paint() {}
  TCanvas *Canvas() const { return FCanvas; }

  // Accelerators: true when Caption holds "&" + the character (ignoring case).
  static bool IsAccel(char Character, const std::string &Caption);

  // Takes the parent's font while ParentFont is set.
  void AdoptParentFont();

  friend class TWinControl;

  TWinControl *FParent = nullptr;  // not owned
  int FLeft = 0, FTop = 0, FWidth = 0, FHeight = 0;
  TAlign FAlign = alNone;
  bool FVisible = true;
  bool FEnabled = true;
  std::string FText;
  TFont *FFont;  // owned
  bool FParentFont = true;
  TColor FColor = clWindow;
  bool FParentColor = false;
  unsigned FControlStyle = csCaptureMouse | csClickEvents | csSetCaption | csDoubleClicks;
  unsigned FControlState = 0;
  TCanvas *FCanvas = nullptr;  // owned, for controls that paint themselves

 private:
  int FFontChanges = 0;        // FontChanged calls so far
  bool FAdoptingFont = false;  // the font is being set from the parent's
};

// A non-windowed control that paints itself on its parent's window.
class TGraphicControl : public TControl {
 public:
  explicit TGraphicControl(TComponent *AOwner);
  ~TGraphicControl() override;
  using TControl::Canvas;
};

struct TCreateParams {
  std::string Caption;
  DWORD Style = 0;
  DWORD ExStyle = 0;
  int X = 0, Y = 0, Width = 0, Height = 0;
  HWND WndParent = nullptr;
  // The window class: our own (WindowClass filled in) or a standard control whose
  // class the window is created with and then subclassed (SubClassName).
  std::string WinClassName;
  std::string SubClassName;
  UINT ClassStyle = 0x0008;  // CS_DBLCLKS
};

class TWinControl : public TControl {
 public:
  explicit TWinControl(TComponent *AOwner);
  ~TWinControl() override;

  // The window, created (with the parents' windows) on first use. Raises
  // EOutOfResources-style Exception when Windows refuses it.
  HWND Handle();
  bool HandleAllocated() const { return FHandle != nullptr; }
  void HandleNeeded() { Handle(); }
  // Destroys the window and creates it again with fresh creation parameters.
  void RecreateWnd();
  // The control whose window this is, or nullptr.
  static TWinControl *FindControl(HWND Wnd);

  // Children in walk order: non-windowed first, then windowed, each in creation order.
  int ControlCount() const { return static_cast<int>(FControls.size() + FWinControls.size()); }
  TControl *Controls(int Index) const;
  bool ContainsControl(const TControl *Control) const;
  // The non-windowed child at a client point (topmost, visible, enabled), or nullptr.
  TControl *ControlAtPos(TPoint P) const;

  int TabOrder() const;
  void SetTabOrder(int Value);
  bool TabStop() const { return FTabStop; }
  void SetTabStop(bool Value);
  bool CanFocus() const;
  bool Focused() const;
  virtual void SetFocus();
  // Windowed children in tab order (TabOrder 0 first), descending into containers.
  void GetTabOrderList(std::vector<TWinControl *> &List) const;
  // The next (or previous) focusable tab stop after CurControl, wrapping.
  TWinControl *FindNextControl(TWinControl *CurControl, bool GoForward, bool CheckTabStop,
                               bool CheckParent) const;
  void SelectNext(TWinControl *CurControl, bool GoForward, bool CheckTabStop);

  void Invalidate() override;
  void Update() override;
  void Repaint() override;
  void SetBounds(int ALeft, int ATop, int AWidth, int AHeight) override;
  TRect ClientRect() const override;
  void SetVisible(bool Value) override;
  void SetEnabled(bool Value) override;
  bool Showing() const override;
  void Loaded() override;

  TKeyEvent OnKeyDown;
  TKeyEvent OnKeyUp;
  TKeyPressEvent OnKeyPress;
  TNotifyEvent OnEnter;
  TNotifyEvent OnExit;

 protected:
  void WndProc(TMessage &Message) override;
  void DefaultHandler(TMessage &Message) override;
  std::string GetText() const override;
  void SetTextValue(const std::string &Value) override;
  void FontChanged() override;

  virtual void CreateParams(TCreateParams &Params);
  // Creates the window (the parents' first) unless it exists.
  void CreateHandle();
  // Destroys the children's windows, then this one (DestroyWnd).
  void DestroyHandle();
  // Creates the windows of descendants added since this window was made.
  void CreateMissingHandles();
  virtual void CreateWnd();
  virtual void CreateWindowHandle(const TCreateParams &Params);
  virtual void DestroyWnd();
  // Runs once the window exists: fonts, text and state the window must be told.
  virtual void CreateHandleDone() {}
  // Paints a windowed control of our own class (Canvas is set up); after the
  // children that are non-windowed have been painted by PaintControls.
  virtual void PaintWindow(HDC DC);
  void PaintControls(HDC DC);

  // Key handling: false from KeyDown/KeyPress when the handler cleared the key.
  virtual void KeyDown(WORD &Key, TShiftState Shift);
  virtual void KeyUp(WORD &Key, TShiftState Shift);
  virtual void KeyPress(char &Key);
  virtual void DoEnter();
  virtual void DoExit();
  // Positions children with Align set; called on resize and when children change.
  virtual void AlignControls(TControl *AControl, TRect &Rect);
  void Realign();

  void InsertControl(TControl *AControl);
  void RemoveControl(TControl *AControl);
  // Reads the bounds back from the window after Windows moved or sized it.
  void UpdateBounds();
  // Hands a mouse message over a non-windowed child (or to the one holding the
  // capture) to that child; true when it went there.
  bool IsControlMouseMsg(TMessage &Message);
  // Sends Message to every child in walk order; with StopWhenHandled only to visible,
  // enabled children and only until one answers non-zero (that answer is the result).
  void BroadcastToChildren(TMessage &Message, bool StopWhenHandled);

  HWND FHandle = nullptr;                   // owned: destroyed with the control
  WNDPROC FDefWndProc = nullptr;            // the class's procedure (standard controls)
  std::vector<TControl *> FControls;        // not owned: non-windowed children
  std::vector<TWinControl *> FWinControls;  // not owned: windowed children
  std::vector<TWinControl *> FTabList;      // not owned: windowed children in tab order
  bool FTabStop = false;
  TControl *FMouseControl = nullptr;  // not owned: graphic child under capture
  UINT FCtlId = 0;                    // the child window id given by the parent
  int FNextChildId = 1;               // the next id for a child window of ours
  bool FOwnClass = false;             // the window is of our own class (we paint it)
  bool FAligning = false;             // Realign in progress

 private:
  friend class TControl;
  static LRESULT CALLBACK InitWndProc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam);
};

// A windowed control of our own class that paints itself on a canvas.
class TCustomControl : public TWinControl {
 public:
  explicit TCustomControl(TComponent *AOwner);
  ~TCustomControl() override;
  using TControl::Canvas;

 protected:
  void PaintWindow(HDC DC) override;
  virtual void Paint() override {}
};
