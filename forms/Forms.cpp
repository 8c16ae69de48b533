// Forms (top-level windows owned by the application window), the screen's list of them,
// and the application object: its hidden window with hooks, the message loop with idle
// notification and dialog keys, and the general error report.
#include "forms/Forms.h"

#include <algorithm>

#include "forms/StdCtrls.h"

namespace {

// The state word of WM_ACTIVATE that means "deactivated".
constexpr WORD kWaInactive = 0;
const char kApplicationClass[] = "TApplication";

TApplication *CreatingApplication = nullptr;  // its window's first messages come early

// Loaded for a component and then for its own components that are still loading.
void LoadTree(TComponent *c) {
  if (c->ComponentState() & csLoading) c->Loaded();
  std::vector<TComponent *> owned;
  for (int i = 0; i < c->ComponentCount(); ++i) owned.push_back(c->Components(i));
  for (TComponent *sub : owned)
    if (sub->ComponentState() & csLoading) LoadTree(sub);
}

template <class T>
T *FindInTree(const TWinControl *parent, bool (*match)(T *)) {
  std::vector<TWinControl *> list;
  parent->GetTabOrderList(list);
  for (TWinControl *c : list)
    if (auto *t = dynamic_cast<T *>(c))
      if (match(t)) return t;
  return nullptr;
}

// The control of a window or of the nearest parent window that has one (an edit inside
// a combo box belongs to the combo box); top-level windows end the search, so that an
// owned window such as a message box is never taken for its owner's.
TWinControl *ControlOfWindow(HWND Wnd) {
  for (HWND w = Wnd; w; w = (GetWindowLongA(w, GWL_STYLE) & WS_CHILD) ? GetParent(w) : nullptr)
    if (TWinControl *c = TWinControl::FindControl(w)) return c;
  return nullptr;
}

std::string ExecutableBaseName() {
  char path[MAX_PATH] = {};
  DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string s(path, n < MAX_PATH ? n : 0);
  size_t slash = s.find_last_of("\\/");
  if (slash != std::string::npos) s = s.substr(slash + 1);
  size_t dot = s.rfind('.');
  if (dot != std::string::npos && dot > 0) s = s.substr(0, dot);
  return s;
}

}  // namespace

// ---- TCustomForm --------------------------------------------------------------------------

TCustomForm::TCustomForm(TComponent *AOwner) : TWinControl(AOwner) {
  FVisible = false;
  FColor = clBtnFace;
  FControlStyle |= csAcceptsControls;
  FWidth = 320;
  FHeight = 240;
  // The derived constructor builds the design: everything made there starts loading.
  SetComponentState(csLoading);
  if (Screen) Screen->FForms.push_back(this);
}

TCustomForm::~TCustomForm() {
  Destroying();
  // Raised while only the framework's part of the form is left: handlers must not touch
  // members of a derived form.
  DoDestroy();
  if (Application && Application->FMainForm == this) Application->FMainForm = nullptr;
  if (Screen) {
    auto &forms = Screen->FForms;
    forms.erase(std::remove(forms.begin(), forms.end(), this), forms.end());
    if (Screen->FActiveForm == this) Screen->FActiveForm = nullptr;
  }
  // The owned components go while the form is still whole, so that one that hooked the
  // form's window procedure can put it back.
  DestroyComponents();
  FActiveControl = nullptr;
}

void TCustomForm::AfterConstruction() {
  std::vector<TComponent *> owned;
  for (int i = 0; i < ComponentCount(); ++i) owned.push_back(Components(i));
  for (TComponent *c : owned) LoadTree(c);
  Loaded();
  DoCreate();
  if (FVisible) {
    FVisible = false;
    SetVisible(true);
  }
}

void TCustomForm::FrameStyle(DWORD &Style, DWORD &ExStyle) const {
  Style = WS_CLIPCHILDREN;
  ExStyle = 0;
  switch (FBorderStyle) {
    case bsNone:
      Style |= WS_POPUP;
      break;
    case bsSingle:
      Style |= WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
      break;
    case bsSizeable:
      Style |= WS_CAPTION | WS_THICKFRAME | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
      break;
    case bsDialog:
      Style |= WS_POPUP | WS_CAPTION | WS_SYSMENU;
      ExStyle |= WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE;
      break;
    case bsToolWindow:
      Style |= WS_CAPTION | WS_SYSMENU;
      ExStyle |= WS_EX_TOOLWINDOW;
      break;
    case bsSizeToolWin:
      Style |= WS_CAPTION | WS_THICKFRAME | WS_SYSMENU;
      ExStyle |= WS_EX_TOOLWINDOW;
      break;
  }
  if (FFormStyle == fsStayOnTop) ExStyle |= WS_EX_TOPMOST;
}

void TCustomForm::CreateParams(TCreateParams &Params) {
  TWinControl::CreateParams(Params);
  DWORD style = 0, ex = 0;
  FrameStyle(style, ex);
  // Shown through SetVisible, never at creation; enabled state and caption as ever.
  Params.Style = style | (FEnabled ? 0 : WS_DISABLED);
  Params.ExStyle |= ex;
  // Owned by the application window: no taskbar button of its own.
  Params.WndParent = Application ? Application->Handle() : nullptr;
}

TRect TCustomForm::ClientRect() const {
  if (FHandle) return TWinControl::ClientRect();
  DWORD style = 0, ex = 0;
  FrameStyle(style, ex);
  RECT frame{0, 0, 0, 0};
  AdjustWindowRectEx(&frame, style, FALSE, ex);
  int frameW = static_cast<int>(frame.right - frame.left),
      frameH = static_cast<int>(frame.bottom - frame.top);
  return Rect(0, 0, std::max(0, FWidth - frameW), std::max(0, FHeight - frameH));
}

void TCustomForm::RecreateKeepingVisibility() {
  if (!FHandle) return;
  bool shown = IsWindowVisible(FHandle) != FALSE;
  RecreateWnd();
  if (shown && FHandle) ShowWindow(FHandle, SW_SHOW);
}

void TCustomForm::SetBorderStyle(TFormBorderStyle Value) {
  if (Value == FBorderStyle) return;
  FBorderStyle = Value;
  RecreateKeepingVisibility();
}

void TCustomForm::SetFormStyle(TFormStyle Value) {
  if (Value == FFormStyle) return;
  FFormStyle = Value;
  RecreateKeepingVisibility();
}

void TCustomForm::SetPosition(TPosition Value) { FPosition = Value; }

void TCustomForm::ApplyPosition() {
  int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
  switch (FPosition) {
    case poScreenCenter:
    case poDesktopCenter:
      SetBounds((sw - FWidth) / 2, (sh - FHeight) / 2, FWidth, FHeight);
      break;
    case poMainFormCenter: {
      TCustomForm *main = Application ? Application->MainForm() : nullptr;
      if (main && main != this)
        SetBounds(main->Left() + (main->Width() - FWidth) / 2, main->Top() + (main->Height() - FHeight) / 2,
                  FWidth, FHeight);
      else
        SetBounds((sw - FWidth) / 2, (sh - FHeight) / 2, FWidth, FHeight);
      break;
    }
    default:
      break;
  }
}

void TCustomForm::SetVisible(bool Value) {
  if (ComponentState() & csLoading) {
    FVisible = Value;  // shown by AfterConstruction
    return;
  }
  bool shown = FHandle && IsWindowVisible(FHandle);
  if (Value) {
    if (FVisible && shown) return;
    FVisible = true;
    CreateMissingHandles();
    int cmd = SW_SHOW;
    if (!FPositioned) {
      FPositioned = true;
      ApplyPosition();
      cmd = SW_SHOWNORMAL;
    }
    ShowWindow(FHandle, cmd);
    // Windows moved the focus in while activating the form; where the activation does
    // not reach us as WM_ACTIVATE the focus is put in here.
    HWND focus = GetFocus();
    if (!focus || (focus != FHandle && !IsChild(FHandle, focus))) {
      FocusActiveControl();
      if (Screen && GetActiveWindow() == FHandle) Screen->FActiveForm = this;
    }
  } else {
    if (!FVisible && !shown) return;
    FVisible = false;
    if (FHandle) ShowWindow(FHandle, SW_HIDE);
  }
  Perform(CM_VISIBLECHANGED, Value ? 1 : 0, 0);
}

void TCustomForm::Show() {
  SetVisible(true);
  BringToFront();
}

void TCustomForm::BringToFront() {
  if (!FHandle) return;
  SetWindowPos(FHandle, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  SetForegroundWindow(FHandle);
}

bool TCustomForm::CloseQuery() {
  bool canClose = true;
  if (OnCloseQuery) OnCloseQuery(this, canClose);
  return canClose;
}

void TCustomForm::Close() {
  if (!CloseQuery()) return;
  TCloseAction action = caHide;
  DoClose(action);
  if (action == caNone) return;
  if (Application && Application->MainForm() == this) {
    if (action == caHide) SetVisible(false);
    Application->Terminate();
    return;
  }
  switch (action) {
    case caHide:
      SetVisible(false);
      break;
    case caMinimize:
      if (FHandle) ShowWindow(FHandle, SW_MINIMIZE);
      break;
    case caFree:
      Release();
      break;
    default:
      break;
  }
}

void TCustomForm::Release() { PostMessageA(Handle(), CM_RELEASE, 0, 0); }

void TCustomForm::SetActiveControl(TWinControl *Control) {
  if (Control == FActiveControl) return;
  FActiveControl = Control;
  if (Control && FHandle && GetActiveWindow() == FHandle && Control->CanFocus()) Control->SetFocus();
}

TButton *TCustomForm::DefaultButton() const {
  return FindInTree<TButton>(this, [](TButton *b) { return b->Default(); });
}

TButton *TCustomForm::CancelButton() const {
  return FindInTree<TButton>(this, [](TButton *b) { return b->Cancel; });
}

bool TCustomForm::FocusActiveControl() {
  TWinControl *focus = FActiveControl && FActiveControl->CanFocus()
                           ? FActiveControl
                           : FindNextControl(nullptr, true, true, false);
  if (!focus) return false;
  ::SetFocus(focus->Handle());
  return true;
}

void TCustomForm::FocusedControlChanged(TWinControl *Control) {
  FActiveControl = Control;
  Perform(CM_FOCUSCHANGED, 0, reinterpret_cast<LPARAM>(Control));
}

bool TCustomForm::IsDialogMessage(MSG &Msg) {
  if (Msg.message != WM_KEYDOWN && Msg.message != WM_SYSCHAR && Msg.message != WM_CHAR) return false;
  TWinControl *target = ControlOfWindow(Msg.hwnd);
  if (!target || target->ParentForm() != this) return false;
  LRESULT code = SendMessageA(Msg.hwnd, WM_GETDLGCODE, Msg.wParam, reinterpret_cast<LPARAM>(&Msg));
  if (Msg.message == WM_SYSCHAR) return Perform(CM_DIALOGCHAR, Msg.wParam, Msg.lParam) != 0;
  if (Msg.message == WM_CHAR) {
    // A plain character is an accelerator only where it would not be typed.
    if (code & (DLGC_WANTCHARS | DLGC_WANTALLKEYS)) return false;
    if (static_cast<unsigned char>(Msg.wParam) < 0x20) return false;
    return Perform(CM_DIALOGCHAR, Msg.wParam, Msg.lParam) != 0;
  }
  TShiftState shift = KeyboardStateToShiftState();
  switch (Msg.wParam) {
    case VK_TAB:
      if (code & (DLGC_WANTTAB | DLGC_WANTALLKEYS)) return false;
      if (shift & (ssCtrl | ssAlt)) return false;
      SelectNext(target == this ? FActiveControl : target, !(shift & ssShift), true);
      return true;
    case VK_RETURN:
    case VK_ESCAPE:
      if (code & DLGC_WANTALLKEYS) return false;
      return Perform(CM_DIALOGKEY, Msg.wParam, Msg.lParam) != 0;
    case VK_LEFT:
    case VK_UP:
    case VK_RIGHT:
    case VK_DOWN:
      if (code & (DLGC_WANTARROWS | DLGC_WANTALLKEYS)) return false;
      if (Perform(CM_DIALOGKEY, Msg.wParam, Msg.lParam) != 0) return true;
      if (target != this && target->Parent()) {
        target->Parent()->SelectNext(target, Msg.wParam == VK_RIGHT || Msg.wParam == VK_DOWN, false);
        return true;
      }
      return false;
    default:
      return false;
  }
}

void TCustomForm::WndProc(TMessage &Message) {
  switch (Message.Msg) {
    case WM_CLOSE:
      Close();
      Message.Result = 0;
      return;
    case WM_QUERYENDSESSION:
      Message.Result = CloseQuery() ? 1 : 0;
      return;
    case WM_ENDSESSION:
      if (Message.WParam && Application) Application->Terminate();
      Message.Result = 0;
      return;
    case WM_ACTIVATE:
      if (LOWORD(Message.WParam) != kWaInactive) {
        if (Screen) Screen->FActiveForm = this;
        bool minimized = HIWORD(Message.WParam) != 0;
        if (minimized || !FocusActiveControl()) DefaultHandler(Message);
        DoActivate();
      } else {
        DefaultHandler(Message);
        DoDeactivate();
      }
      return;
    case WM_SHOWWINDOW:
      DefaultHandler(Message);
      // Only a show or hide of the form itself, not its owner's minimising.
      if (Message.LParam == 0) {
        if (Message.WParam)
          DoShow();
        else
          DoHide();
      }
      return;
    case CM_RELEASE:
      delete this;
      return;
    default:
      TWinControl::WndProc(Message);
  }
}

void TCustomForm::DoCreate() {
  if (!OnCreate) return;
  // A failing creation handler is reported and the form lives on, as a program without
  // a visible window must.
  try {
    OnCreate(this);
  } catch (std::exception &e) {
    if (Application)
      Application->HandleException(e);
    else
      HandleWindowException(e);
  }
}

void TCustomForm::DoDestroy() {
  if (!OnDestroy) return;
  try {
    OnDestroy(this);
  } catch (std::exception &e) {
    if (Application) Application->HandleException(e);
  }
}

void TCustomForm::DoShow() {
  if (OnShow) OnShow(this);
}

void TCustomForm::DoHide() {
  if (OnHide) OnHide(this);
}

void TCustomForm::DoClose(TCloseAction &Action) {
  if (OnClose) OnClose(this, Action);
}

void TCustomForm::DoActivate() {
  if (OnActivate) OnActivate(this);
}

void TCustomForm::DoDeactivate() {
  if (OnDeactivate) OnDeactivate(this);
}

// ---- TScreen ---------------------------------------------------------------------------------

TScreen::TScreen(TComponent *AOwner) : TComponent(AOwner) {}

TCustomForm *TScreen::Forms(int Index) const {
  if (Index < 0 || Index >= FormCount())
    throw EComponentError("List index out of bounds (" + std::to_string(Index) + ")");
  return FForms[static_cast<size_t>(Index)];
}

int TScreen::Width() const { return GetSystemMetrics(SM_CXSCREEN); }

int TScreen::Height() const { return GetSystemMetrics(SM_CYSCREEN); }

// ---- TApplication -------------------------------------------------------------------------

TApplication::TApplication(TComponent *AOwner) : TComponent(AOwner) { InstallErrorReport(); }

TApplication::~TApplication() {
  Destroying();
  // The forms go first: their windows are owned by ours.
  DestroyComponents();
  FMainForm = nullptr;
  if (FHandle) {
    HWND wnd = FHandle;
    DestroyWindow(wnd);
    FHandle = nullptr;
  }
  if (Application == this) ApplicationHandleException = nullptr;
}

void TApplication::InstallErrorReport() {
  if (!ApplicationHandleException)
    ApplicationHandleException = [](std::exception &E) {
      if (Application) Application->HandleException(E);
    };
}

HWND TApplication::Handle() {
  if (FHandle) return FHandle;
  InstallErrorReport();
  static bool registered = false;
  if (!registered) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = AppWndProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = kApplicationClass;
    if (!RegisterClassA(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
      throw Exception("Cannot register the application window class (error " +
                      std::to_string(GetLastError()) + ")");
    registered = true;
  }
  if (FTitle.empty()) FTitle = ExecutableBaseName();
  int x = GetSystemMetrics(SM_CXSCREEN) / 2, y = GetSystemMetrics(SM_CYSCREEN) / 2;
  CreatingApplication = this;
  HWND wnd = CreateWindowExA(0, kApplicationClass, FTitle.c_str(),
                             WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX, x, y, 0,
                             0, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  CreatingApplication = nullptr;
  if (!wnd)
    throw Exception("Cannot create the application window (error " + std::to_string(GetLastError()) + ")");
  FHandle = wnd;
  SetWindowLongPtrA(wnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  return FHandle;
}

LRESULT CALLBACK TApplication::AppWndProc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) {
  auto *app = reinterpret_cast<TApplication *>(GetWindowLongPtrA(Wnd, GWLP_USERDATA));
  if (!app && CreatingApplication) {
    app = CreatingApplication;
    CreatingApplication = nullptr;
    app->FHandle = Wnd;
    SetWindowLongPtrA(Wnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(app));
  }
  if (!app) return DefWindowProcA(Wnd, Msg, WParam, LParam);
  TMessage m{Msg, WParam, LParam, 0};
  try {
    app->WndProc(m);
  } catch (std::exception &e) {
    m.Result = 0;
    app->HandleException(e);
  } catch (...) {
    m.Result = 0;
    Exception e("Unknown exception in a window message handler");
    app->HandleException(e);
  }
  if (Msg == WM_NCDESTROY) {
    SetWindowLongPtrA(Wnd, GWLP_USERDATA, 0);
    if (app->FHandle == Wnd) app->FHandle = nullptr;
  }
  return m.Result;
}

void TApplication::WndProc(TMessage &Message) {
  // Hooks see the message first; one added or removed on the way counts from the next.
  std::vector<int> ids;
  for (auto &h : FHooks) ids.push_back(h.first);
  for (int id : ids) {
    auto it = std::find_if(FHooks.begin(), FHooks.end(),
                           [id](const std::pair<int, TWindowHook> &h) { return h.first == id; });
    if (it == FHooks.end()) continue;
    TWindowHook hook = it->second;  // the hook may unhook itself
    if (hook(Message)) return;
  }
  switch (Message.Msg) {
    case WM_QUERYENDSESSION:
      Message.Result = (!FMainForm || FMainForm->CloseQuery()) ? 1 : 0;
      return;
    case WM_ENDSESSION:
      if (Message.WParam) Terminate();
      Message.Result = 0;
      return;
    case WM_CLOSE:
      if (FMainForm) FMainForm->Close();
      Message.Result = 0;
      return;
    default:
      Message.Result = DefWindowProcA(FHandle, Message.Msg, Message.WParam, Message.LParam);
  }
}

void TApplication::SetTitle(const std::string &Value) {
  FTitle = Value;
  if (FHandle) SetWindowTextA(FHandle, Value.c_str());
}

void TApplication::Run() {
  InstallErrorReport();
  if (!FMainForm) return;
  if (ShowMainForm) FMainForm->SetVisible(true);
  while (!FTerminated) {
    try {
      HandleMessage();
    } catch (std::exception &e) {
      HandleException(e);
    }
  }
}

void TApplication::Terminate() {
  FTerminated = true;
  PostQuitMessage(0);
}

void TApplication::ProcessMessages() {
  InstallErrorReport();
  MSG msg{};
  while (ProcessMessage(msg)) {
  }
}

void TApplication::HandleMessage() {
  InstallErrorReport();
  MSG msg{};
  if (!ProcessMessage(msg)) Idle(msg);
}

bool TApplication::ProcessMessage(MSG &Msg) {
  if (!PeekMessageA(&Msg, nullptr, 0, 0, PM_REMOVE)) return false;
  if (Msg.message == WM_QUIT) {
    FTerminated = true;
    return true;
  }
  bool handled = false;
  try {
    handled = IsKeyMsg(Msg);
  } catch (std::exception &e) {
    // A click that a dialog key ran directly failed: reported like any handler's failure.
    HandleException(e);
    handled = true;
  }
  if (!handled) {
    TranslateMessage(&Msg);
    DispatchMessageA(&Msg);
  }
  return true;
}

bool TApplication::IsKeyMsg(MSG &Msg) {
  if (Msg.message != WM_KEYDOWN && Msg.message != WM_SYSKEYDOWN && Msg.message != WM_CHAR &&
      Msg.message != WM_SYSCHAR)
    return false;
  TWinControl *control = ControlOfWindow(Msg.hwnd);
  if (!control) return false;
  TCustomForm *form = control->ParentForm();
  return form && form->IsDialogMessage(Msg);
}

void TApplication::Idle(const MSG &) {
  bool done = true;
  if (OnIdle) OnIdle(this, done);
  std::vector<TApplicationEvents *> events = FEvents;
  for (TApplicationEvents *e : events) {
    // An earlier handler may have freed it.
    if (std::find(FEvents.begin(), FEvents.end(), e) == FEvents.end()) continue;
    if (e->OnIdle) e->OnIdle(e, done);
  }
  if (done) WaitMessage();
}

int TApplication::HookMainWindow(TWindowHook Hook) {
  int id = FNextHookId++;
  FHooks.emplace_back(id, std::move(Hook));
  return id;
}

void TApplication::UnhookMainWindow(int HookId) {
  FHooks.erase(std::remove_if(FHooks.begin(), FHooks.end(),
                              [HookId](const std::pair<int, TWindowHook> &h) { return h.first == HookId; }),
               FHooks.end());
}

void TApplication::HandleException(std::exception &E) {
  try {
    if (OnException)
      OnException(this, E);
    else
      ShowException(E);
  } catch (std::exception &again) {
    try {
      ShowException(again);
    } catch (...) {
    }
  } catch (...) {
  }
}

void TApplication::ShowException(const std::exception &E) {
  std::string text = E.what();
  // Compared unsigned: both bytes of a double-byte CP932 character sort after '.'.
  if (!text.empty() && static_cast<unsigned char>(text.back()) > '.') text += '.';
  if (FTitle.empty()) FTitle = ExecutableBaseName();
  ErrorBox(text, FTitle);
}

void TApplication::ErrorBox(const std::string &Text, const std::string &Caption) {
  // Timer and network errors arrive inside the box's own message loop; nobody may
  // come back to a screen full of boxes.
  if (FErrorBoxOpen) {
    if (Text != FErrorBoxText) FPendingError = std::make_pair(Text, Caption);
    return;
  }
  FErrorBoxOpen = true;
  std::optional<std::pair<std::string, std::string>> next = std::make_pair(Text, Caption);
  while (next) {
    FErrorBoxText = next->first;
    FPendingError.reset();
    try {
      MessageBox(next->first, next->second, MB_OK | MB_ICONERROR);
    } catch (...) {
      FErrorBoxOpen = false;
      throw;
    }
    next = FPendingError;
    if (next && next->first == FErrorBoxText) next.reset();
  }
  FErrorBoxOpen = false;
  FErrorBoxText.clear();
}

int TApplication::MessageBox(const std::string &Text, const std::string &Caption, UINT Flags) {
  // Qualified: on Windows the member's name is a macro of the message box call too.
  return ::MessageBoxA(GetActiveWindow(), Text.c_str(), Caption.c_str(), Flags);
}

// ---- TApplicationEvents ---------------------------------------------------------------------

TApplicationEvents::TApplicationEvents(TComponent *AOwner) : TComponent(AOwner) {
  if (Application) Application->FEvents.push_back(this);
}

TApplicationEvents::~TApplicationEvents() {
  if (Application) {
    auto &list = Application->FEvents;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
  }
}

// ---- The globals ------------------------------------------------------------------------------

TApplication *Application = new TApplication(nullptr);
TScreen *Screen = new TScreen(nullptr);

void DoneApplication() {
  delete Application;
  Application = nullptr;
  delete Screen;
  Screen = nullptr;
}
