// The tray icon component and the hidden window that all tray icons share.
#include "controls/TrayIcon.h"

#include <climits>
#include <cstring>
#include <utility>

#include "forms/Forms.h"
#include "forms/ImgList.h"
#include "forms/Menus.h"
#include "platform/uistate.h"

namespace {

constexpr UINT kTrayFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
constexpr unsigned kTaskbarCreatedMinCommonControls = (4u << 16) | 71u;  // 4.71
constexpr UINT kDefaultTimerPeriod = 1000;
constexpr UINT kLeaveCheckPeriod = 20;
// At logon the shell may not take icons yet: a refused add is tried again this often.
constexpr UINT kAddRetryPeriod = 2000;
// Balloons held while the icon waits for the shell; the oldest go first beyond this.
constexpr size_t kHeldBalloonsMax = 8;
// WM_SIZE, WM_SHOWWINDOW and WM_SYSCOMMAND values, compared exactly.
constexpr WPARAM kSizeMinimized = 1;
constexpr LPARAM kShowParentClosing = 1;
constexpr WPARAM kSysCommandMinimize = 0xF020;
constexpr WPARAM kSysCommandRestore = 0xF120;

bool IsLeadByte(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

// Copies at most Limit bytes of S into the zero-filled Field, never splitting a
// double-byte character: a lead byte that would be the last byte kept goes too.
template <size_t N>
void CopyCut(char (&Field)[N], const std::string &S, size_t Limit) {
  static_assert(N > 0, "a field needs room for its terminator");
  if (Limit > N - 1) Limit = N - 1;
  size_t keep = S.size();
  if (keep > Limit) {
    keep = 0;
    while (keep < Limit) {
      size_t len = IsLeadByte(static_cast<unsigned char>(S[keep])) ? 2 : 1;
      if (keep + len > Limit) break;
      keep += len;
    }
  }
  std::memset(Field, 0, N);
  std::memcpy(Field, S.data(), keep);
}

DWORD BalloonIconFlag(TBalloonIcon Kind) {
  switch (Kind) {
    case biInfo:
      return NIIF_INFO;
    case biWarning:
      return NIIF_WARNING;
    case biError:
      return NIIF_ERROR;
    default:
      return NIIF_NONE;
  }
}

TShiftState KeyboardShift() {
  TShiftState shift = 0;
  if (GetAsyncKeyState(VK_SHIFT) & 0x8000) shift |= ssShift;
  if (GetAsyncKeyState(VK_CONTROL) & 0x8000) shift |= ssCtrl;
  if (GetAsyncKeyState(VK_MENU) & 0x8000) shift |= ssAlt;
  return shift;
}

// An elevated copy hears nothing from Explorer, which runs at a lower integrity level,
// unless it lets the message through. Bound at run time: the call came with Windows 7.
void AllowFromLowerIntegrity(HWND Window, UINT Message) {
  using Filter = BOOL(WINAPI *)(HWND, UINT, DWORD, void *);
  static const Filter filter = [] {
    HMODULE user32 = GetModuleHandleA("user32.dll");
    FARPROC proc = user32 ? GetProcAddress(user32, "ChangeWindowMessageFilterEx") : nullptr;
    return reinterpret_cast<Filter>(reinterpret_cast<void (*)()>(proc));
  }();
  constexpr DWORD kAllow = 1;  // MSGFLT_ALLOW
  if (filter && Window && Message) filter(Window, Message, kAllow, nullptr);
}

// Hides the application's taskbar button (its hidden top-level window) if shown.
void HideTaskbarButton() {
  if (!Application) return;
  HWND app = Application->Handle();
  if (IsWindowVisible(app)) ShowWindow(app, SW_HIDE);
}

void SetFormVisible(TCustomForm *Form, bool Visible) {
  // Through TControl: the form's own override is not public.
  static_cast<TControl *>(Form)->SetVisible(Visible);
}

// Calls a copy of the handler, so the handler survives its component being freed or
// the event being reassigned inside it.
template <typename Event, typename... Args>
void Raise(const Event &Handler, Args &&...args) {
  if (!Handler) return;
  Event handler = Handler;
  handler(std::forward<Args>(args)...);
}

// Ids are counted for the whole process, so a notification still queued for a freed
// icon never reaches a later one, even across re-creations of the shared window.
UINT NextTrayIconId = 1;

}  // namespace

// ---- Shared window ----------------------------------------------------------------------

TTrayIconHandler *TTrayIconHandler::FInstance = nullptr;

// Frees a handler that outlived every icon destructor that should have freed it.
struct TTrayIconHandlerExitGuard {
  ~TTrayIconHandlerExitGuard() {
    delete TTrayIconHandler::FInstance;
    TTrayIconHandler::FInstance = nullptr;
  }
};

TTrayIconHandler::TTrayIconHandler() {
  FHandle = AllocateHWnd([this](TMessage &Msg) { WndProc(Msg); });
  // Older shells never broadcast it, so there is nothing to listen for.
  if (CommonControlsVersion() >= kTaskbarCreatedMinCommonControls)
    FTaskbarCreated = RegisterWindowMessageA(TASKBAR_CREATED_MSG_NAME);
  AllowFromLowerIntegrity(FHandle, TRAYICON_CALLBACK_MSG);
  AllowFromLowerIntegrity(FHandle, FTaskbarCreated);
  // The application's window is the one that listens for a new taskbar.
  if (Application) AllowFromLowerIntegrity(Application->Handle(), FTaskbarCreated);
}

TTrayIconHandler::~TTrayIconHandler() { DeallocateHWnd(FHandle); }

TTrayIconHandler *TTrayIconHandler::Acquire(TTrayIcon *Icon, UINT &Id) {
  if (!FInstance) {
    FInstance = new TTrayIconHandler;
    static TTrayIconHandlerExitGuard guard;
  }
  do {
    Id = NextTrayIconId++;
  } while (Id == 0 || FInstance->FIcons.count(Id) != 0);
  FInstance->FIcons[Id] = Icon;
  return FInstance;
}

void TTrayIconHandler::Release(UINT Id) {
  if (!FInstance) return;
  FInstance->FIcons.erase(Id);
  if (FInstance->FIcons.empty()) {
    TTrayIconHandler *last = FInstance;
    FInstance = nullptr;
    delete last;
  }
}

void TTrayIconHandler::WndProc(TMessage &Msg) {
  switch (Msg.Msg) {
    case TRAYICON_CALLBACK_MSG: {
      if (Msg.WParam > UINT_MAX) return;
      auto it = FIcons.find(static_cast<UINT>(Msg.WParam));
      // The icon, and with the last icon this handler, may be freed by its events.
      if (it != FIcons.end()) it->second->HandleNotification(Msg.LParam);
      return;
    }
    case WM_QUERYENDSESSION:
    case WM_ENDSESSION:
      Msg.Result = 1;
      return;
    case WM_CLOSE:
    case WM_QUIT:
    case WM_DESTROY:
    case WM_NCDESTROY:
      // Only DeallocateHWnd may end this window.
      Msg.Result = 1;
      return;
    default:
      Msg.Result = DefWindowProcA(FHandle, Msg.Msg, Msg.WParam, Msg.LParam);
  }
}

// ---- Life while events run ----------------------------------------------------------------

// Tells a caller whether the icon survived the handlers it called: the destructor
// clears the flag of the innermost lifeline, which passes it outwards.
class TTrayIcon::TLifeline {
 public:
  explicit TLifeline(TTrayIcon *Icon) : FIcon(Icon), FOuter(Icon->FAlive) { Icon->FAlive = &FAliveFlag; }
  ~TLifeline() {
    if (FAliveFlag)
      FIcon->FAlive = FOuter;
    else if (FOuter)
      *FOuter = false;
  }
  TLifeline(const TLifeline &) = delete;
  TLifeline &operator=(const TLifeline &) = delete;
  bool Alive() const { return FAliveFlag; }

 private:
  TTrayIcon *FIcon;  // not owned; not touched once dead
  bool *FOuter;
  bool FAliveFlag = true;
};

// What the installed hooks reach the icon through. It outlives the icon when a hook
// cannot be taken out again, and then only passes messages on.
struct TTrayIcon::THookState {
  TTrayIcon *Self = nullptr;  // nullptr once the icon is gone
  TWndMethod Previous;        // the owner's window procedure before ours
  int Depth = 0;              // owner-hook calls in progress
};

struct TTrayIcon::TOwnerHook {
  std::shared_ptr<THookState> State;
  void operator()(TMessage &Msg) const {
    // A local reference: putting the old procedure back destroys this function object.
    std::shared_ptr<THookState> state = State;
    struct Depth {
      THookState &S;
      explicit Depth(THookState &s) : S(s) { ++S.Depth; }
      ~Depth() { --S.Depth; }
    } depth(*state);
    if (state->Self && state->Self->OwnerHook(Msg)) return;
    if (state->Previous) state->Previous(Msg);
  }
};

namespace {
// Keeps the icon's own change notice from updating the tray while a setter does it once.
struct MuteIconChange {
  int &Count;
  explicit MuteIconChange(int &count) : Count(count) { ++Count; }
  ~MuteIconChange() { --Count; }
};
}  // namespace

// ---- Construction and destruction ---------------------------------------------------------

TTrayIcon::TTrayIcon(TComponent *AOwner) : TComponent(AOwner) {
  TTrayIconHandler *handler = TTrayIconHandler::Acquire(this, FIconId);
  try {
    std::memset(&FData, 0, sizeof FData);
    FData.cbSize = static_cast<DWORD>(NOTIFYICONDATAA_V2_SIZE);
    FData.hWnd = handler->Handle();
    FData.uID = FIconId;
    FData.uFlags = kTrayFlags;
    FData.uCallbackMessage = TRAYICON_CALLBACK_MSG;

    FIcon = new TIcon;
    FIcon->OnChange = [this](TObject *) { IconChanged(); };
    FCycleTimer = std::make_unique<TMsgTimer>(kDefaultTimerPeriod, [this](TObject *) { CycleTimerTick(); });
    FClickTimer = std::make_unique<TMsgTimer>(kDefaultTimerPeriod, [this](TObject *) { ClickTimerTick(); });
    FLeaveTimer = std::make_unique<TMsgTimer>(kLeaveCheckPeriod, [this](TObject *) { LeaveTimerTick(); });
    FAddRetryTimer = std::make_unique<TMsgTimer>(kAddRetryPeriod, [this](TObject *) { AddRetryTimerTick(); });
    SetDesignPreview(FDesignPreview);

    if (!(ComponentState() & csDesigning)) {
      FHooks = std::make_shared<THookState>();
      FHooks->Self = this;
      if (Application) {
        std::shared_ptr<THookState> state = FHooks;
        FAppHookId = Application->HookMainWindow([state](TMessage &Msg) {
          std::shared_ptr<THookState> s = state;
          return s->Self ? s->Self->ApplicationHook(Msg) : false;
        });
      }
      if (auto *owner = dynamic_cast<TWinControl *>(AOwner)) {
        FHooks->Previous = owner->WindowProc;
        owner->WindowProc = TOwnerHook{FHooks};
        FHookedOwner = owner;
      }
    }
  } catch (...) {
    RemoveHooks();
    FAddRetryTimer.reset();
    FLeaveTimer.reset();
    FClickTimer.reset();
    FCycleTimer.reset();
    delete FIcon;
    FIcon = nullptr;
    TTrayIconHandler::Release(FIconId);
    throw;
  }
}

TTrayIcon::~TTrayIcon() {
  if (FAlive) *FAlive = false;
  // Nothing below may be skipped because one of these failed.
  try {
    RemoveFromTray();
  } catch (...) {
  }
  try {
    SetDesignPreview(false);
  } catch (...) {
  }
  FCycleTimer.reset();
  FClickTimer.reset();
  FLeaveTimer.reset();
  FAddRetryTimer.reset();
  if (FIcon) {
    FIcon->OnChange = nullptr;
    delete FIcon;
    FIcon = nullptr;
  }
  RemoveHooks();
  // The menu must not go on naming a component that no longer exists.
  if (FPopupMenu && FPopupMenu->PopupComponent == this) FPopupMenu->PopupComponent = nullptr;
  TTrayIconHandler::Release(FIconId);
}

void TTrayIcon::RemoveHooks() {
  if (!FHooks) return;
  if (FAppHookId != 0 && Application && !(Application->ComponentState() & csDestroying))
    Application->UnhookMainWindow(FAppHookId);
  FAppHookId = 0;
  // While the owner is being destroyed (it has already let go of us) its WindowProc
  // may be gone, and inside our own hook the running function object must stay; in
  // those cases, or when another hook sits on top of ours, ours stays in place and
  // only passes messages on.
  if (FHookedOwner && FHooks->Depth == 0 && Owner() == FHookedOwner &&
      !(FHookedOwner->ComponentState() & csDestroying)) {
    const TOwnerHook *current = FHookedOwner->WindowProc.target<TOwnerHook>();
    if (current && current->State == FHooks) FHookedOwner->WindowProc = FHooks->Previous;
  }
  FHookedOwner = nullptr;
  FHooks->Self = nullptr;
  FHooks.reset();
}

void TTrayIcon::Loaded() {
  TComponent::Loaded();
  TLifeline life(this);
  if (dynamic_cast<TWinControl *>(Owner()) && !(ComponentState() & csDesigning)) {
    bool show = true;
    DoStartup(show);
    if (!life.Alive()) return;
    if (!show && Application) {
      Application->ShowMainForm = false;
      if (TCustomForm *mainForm = Application->MainForm()) {
        SetFormVisible(mainForm, false);
        HideTaskbarButton();
      }
    }
  }
  UpdateTray();
  SetIconVisible(FIconVisible);
  SetCycleIcons(FCycleIcons);
  SetWantEnterExitEvents(FWantEnterExitEvents);
  // Version 0: the shell's first behaviour, plain mouse messages as the LParam.
  FillIconData();
  FData.uVersion = 0;
  Shell_NotifyIconA(NIM_SETVERSION, &FData);
}

void TTrayIcon::Notification(TComponent *AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation != opRemove) return;
  if (AComponent == FIconList) {
    FIconList = nullptr;
    SetIconIndex(0);
  }
  if (AComponent == FPopupMenu) FPopupMenu = nullptr;
}

// ---- Talking to the shell -----------------------------------------------------------------

void TTrayIcon::FillIconData() {
  FData.hIcon = FIcon ? FIcon->Handle() : nullptr;
  if (!FHint.empty() && FShowHint)
    CopyCut(FData.szTip, FHint, TRAY_TIP_MAX);
  else
    std::memset(FData.szTip, 0, sizeof FData.szTip);
}

bool TTrayIcon::Notify(DWORD Message) {
  FillIconData();
  return Shell_NotifyIconA(Message, &FData) != FALSE;
}

bool TTrayIcon::AddToTray() {
  FIconVisible = true;
  if (Notify(NIM_ADD)) return true;
  // The shell may not be ready (at logon, or it timed out): keep trying. A second add
  // of an icon already there is refused too; the retry then finds it in place.
  if (FAddRetryTimer) FAddRetryTimer->SetEnabled(true);
  return false;
}

bool TTrayIcon::RemoveFromTray() {
  FIconVisible = false;
  if (FAddRetryTimer) FAddRetryTimer->SetEnabled(false);
  FHeldBalloons.clear();  // an icon taken away on purpose shows nothing more
  return Notify(NIM_DELETE);
}

void TTrayIcon::AddRetryTimerTick() {
  if (!FIconVisible) {
    FAddRetryTimer->SetEnabled(false);
    return;
  }
  if (!Notify(NIM_ADD) && !Notify(NIM_MODIFY)) return;
  FAddRetryTimer->SetEnabled(false);
  std::vector<THeldBalloon> held;
  held.swap(FHeldBalloons);
  for (const THeldBalloon &b : held) DisplayBalloon(b.Title, b.Text, b.IconKind, b.TimeoutSeconds);
}

bool TTrayIcon::UpdateTray() {
  // While the form is still being built the icon cannot be in the tray yet; Loaded
  // sends everything at once.
  if (Loading()) return false;
  return Notify(NIM_MODIFY);
}

bool TTrayIcon::DisplayBalloon(const std::string &Title, const std::string &Text, TBalloonIcon IconKind,
                               uint8_t TimeoutSeconds) {
  if (AddPending()) {
    // Shown once the shell has taken the icon, rather than lost meanwhile.
    if (FHeldBalloons.size() >= kHeldBalloonsMax) FHeldBalloons.erase(FHeldBalloons.begin());
    FHeldBalloons.push_back({Title, Text, IconKind, TimeoutSeconds});
    return false;
  }
  // Later updates must leave the balloon alone, whatever happens here.
  struct RestoreFlags {
    NOTIFYICONDATAA &Data;
    ~RestoreFlags() { Data.uFlags = kTrayFlags; }
  } restore{FData};
  FData.uFlags |= NIF_INFO;
  FData.szInfo[0] = '\0';
  UpdateTray();
  CopyCut(FData.szInfo, Text, TRAY_BALLOON_TEXT_MAX);
  CopyCut(FData.szInfoTitle, Title, TRAY_BALLOON_TITLE_MAX);
  FData.uTimeout = TimeoutSeconds * 1000u;
  FData.dwInfoFlags = BalloonIconFlag(IconKind);
  return UpdateTray();
}

// ---- Properties ---------------------------------------------------------------------------

void TTrayIcon::SetDesignPreview(bool Value) {
  FDesignPreview = Value;
  if ((ComponentState() & csDesigning) && CanPreviewInDesigner()) {
    if (Value)
      AddToTray();
    else
      RemoveFromTray();
  }
}

void TTrayIcon::SetIconList(TImageList *Value) {
  if (Value != FIconList) {
    if (FIconList) RemoveFreeNotification(FIconList);
    FIconList = Value;
    if (FIconList) FreeNotification(FIconList);
  }
  SetIconIndex(0);
}

void TTrayIcon::SetCycleIcons(bool Value) {
  FCycleIcons = Value;
  if (Loading()) return;
  if (Value) {
    SetIconIndex(0);
    FCycleTimer->SetInterval(FCycleInterval);
    FCycleTimer->SetEnabled(true);  // a period of 0 never starts it
  } else {
    FCycleTimer->SetEnabled(false);
  }
}

void TTrayIcon::SetCycleInterval(uint32_t Value) {
  FCycleInterval = Value;
  SetCycleIcons(FCycleIcons);
}

void TTrayIcon::SetHint(const std::string &Value) {
  FHint = Value;
  UpdateTray();
}

void TTrayIcon::SetShowHint(bool Value) {
  FShowHint = Value;
  UpdateTray();
}

void TTrayIcon::SetIcon(const TIcon *Value) {
  if (Value != FIcon) {
    MuteIconChange mute(FIconChangeMuted);
    if (Value)
      FIcon->Assign(Value);
    else
      FIcon->SetHandle(nullptr);
  }
  UpdateTray();
}

void TTrayIcon::SetIconVisible(bool Value) {
  FIconVisible = Value;
  if (Loading()) return;
  if (Value)
    AddToTray();
  else
    RemoveFromTray();
}

void TTrayIcon::SetIconIndex(int Value) {
  if (FIconList) {
    FIconIndex = Value;
    int last = FIconList->Count() - 1;
    if (FIconIndex > last) FIconIndex = last;
    MuteIconChange mute(FIconChangeMuted);
    FIconList->GetIcon(FIconIndex, FIcon);
  } else {
    FIconIndex = 0;
  }
  UpdateTray();
}

void TTrayIcon::SetPopupMenu(TPopupMenu *Value) {
  if (Value == FPopupMenu) return;
  if (FPopupMenu) RemoveFreeNotification(FPopupMenu);
  FPopupMenu = Value;
  if (FPopupMenu) FreeNotification(FPopupMenu);
}

void TTrayIcon::SetWantEnterExitEvents(bool Value) {
  FWantEnterExitEvents = Value;
  if (Loading()) return;
  FLeaveTimer->SetEnabled(Value);
}

void TTrayIcon::IconChanged() {
  if (FIconChangeMuted == 0) UpdateTray();
}

// ---- Notifications from the shell ---------------------------------------------------------

void TTrayIcon::HandleNotification(LPARAM Event) {
  TLifeline life(this);
  auto isMouse = [](LPARAM e) { return e >= WM_MOUSEMOVE && e <= WM_MBUTTONUP; };
  if (isMouse(Event) && !Enabled) return;
  // Where the pointer and keys are now, not when the shell queued the message.
  POINT pt{0, 0};
  TShiftState shift = 0;
  if (isMouse(Event)) {
    GetCursorPos(&pt);
    shift = KeyboardShift();
  }
  const int x = pt.x, y = pt.y;

  switch (Event) {
    case WM_MOUSEMOVE:
      if (FWantEnterExitEvents && FPointerOutside) {
        FPointerOutside = false;
        DoMouseEnter();
        if (!life.Alive()) return;
      }
      FLastX = x;
      FLastY = y;
      DoMouseMove(shift, x, y);
      return;
    case WM_LBUTTONDOWN:
      if (OnDblClick) {
        // A double click left over from a time without a timer would swallow this click.
        if (!FClickTimer->Enabled()) FDoubleClickSeen = false;
        FClickTimer->SetInterval(GetDoubleClickTime());
        FClickTimer->SetEnabled(true);
      }
      DoMouseDown(mbLeft, shift | ssLeft, x, y);
      if (!life.Alive()) return;
      FLeftButtonDown = true;
      if (LeftPopup) ShowPopupMenu();
      return;
    case WM_LBUTTONUP:
      if (FLeftButtonDown) {
        FClickPending = true;
        if (!FClickTimer->Enabled()) {
          FLeftButtonDown = false;
          FClickPending = false;
          DoClick();
          if (!life.Alive()) return;
        }
      }
      FLeftButtonDown = false;
      DoMouseUp(mbLeft, shift | ssLeft, x, y);
      return;
    case WM_LBUTTONDBLCLK:
      FClickPending = false;
      FDoubleClickSeen = true;
      DoDblClick();
      if (!life.Alive()) return;
      ClickDefaultMenuItem();
      return;
    case WM_RBUTTONDOWN:
      DoMouseDown(mbRight, shift | ssRight, x, y);
      if (!life.Alive()) return;
      ShowPopupMenu();
      return;
    case WM_RBUTTONUP:
      DoMouseUp(mbRight, shift | ssRight, x, y);
      return;
    case WM_MBUTTONDOWN:
      DoMouseDown(mbMiddle, shift | ssMiddle, x, y);
      return;
    case WM_MBUTTONUP:
      DoMouseUp(mbMiddle, shift | ssMiddle, x, y);
      return;
    case NIN_BALLOONSHOW:
      DoBalloonHintShow();
      return;
    case NIN_BALLOONHIDE:
      DoBalloonHintHide();
      return;
    case NIN_BALLOONTIMEOUT:
      DoBalloonHintTimeout();
      return;
    case NIN_BALLOONUSERCLICK:
      DoBalloonHintClick();
      return;
    default:
      return;  // right and middle double clicks among them
  }
}

void TTrayIcon::ShowPopupMenu() {
  if (!FPopupMenu || !FPopupMenu->AutoPopup) return;
  POINT pt;
  if (!GetCursorPos(&pt)) return;
  TLifeline life(this);
  // The menu closes properly only when the application is in the foreground; the
  // pending messages let the switch take effect first.
  if (Application) {
    SetForegroundWindow(Application->Handle());
    Application->ProcessMessages();
    if (!life.Alive() || !FPopupMenu) return;
  }
  TPopupMenu *menu = FPopupMenu;
  menu->PopupComponent = this;
  menu->Popup(pt.x, pt.y);
  if (!life.Alive()) return;
  // Lets the owner's window see a message after the menu, as the shell expects.
  if (auto *owner = dynamic_cast<TWinControl *>(Owner())) PostMessageA(owner->Handle(), WM_NULL, 0, 0);
}

void TTrayIcon::ClickDefaultMenuItem() {
  if (!FPopupMenu || !FPopupMenu->AutoPopup || LeftPopup) return;
  TMenuItem *root = FPopupMenu->Items();
  TMenuItem *found = nullptr;
  for (int i = root->Count() - 1; i >= 0; --i)
    if (root->Items(i)->Default()) found = root->Items(i);
  if (found) found->Click();
}

// ---- Timers -------------------------------------------------------------------------------

void TTrayIcon::ClickTimerTick() {
  FClickTimer->SetEnabled(false);
  // Only a release marks a click; a press still held when the time runs out is
  // reported at its release instead.
  const bool click = FClickPending && !FDoubleClickSeen;
  FDoubleClickSeen = false;
  if (click) {
    FClickPending = false;
    DoClick();
  }
}

void TTrayIcon::CycleTimerTick() {
  if (!FIconList) return;
  TLifeline life(this);
  FIconList->GetIcon(FIconIndex, FIcon);
  DoCycle();
  if (!life.Alive() || !FIconList) return;
  int next = FIconIndex + 1;
  if (next >= FIconList->Count()) next = 0;
  SetIconIndex(next);
}

void TTrayIcon::LeaveTimerTick() {
  if (FPointerOutside) return;
  POINT pt;
  if (!GetCursorPos(&pt)) return;
  if (pt.x != FLastX || pt.y != FLastY) {
    FPointerOutside = true;
    DoMouseExit();
  }
}

// ---- Hooks --------------------------------------------------------------------------------

bool TTrayIcon::ApplicationHook(TMessage &Msg) {
  TLifeline life(this);
  switch (Msg.Msg) {
    case WM_SIZE:
      if (Msg.WParam == kSizeMinimized && MinimizeToTray) DoMinimizeToTray();
      break;
    case WM_WINDOWPOSCHANGED:
      if (FStartupPending && Application && Application->MainForm()) {
        if (Application->MainForm()->FormStyle() == fsMDIForm) {
          bool show = true;
          DoStartup(show);
          if (!life.Alive()) return false;
          if (!show) HideTaskbarButton();
        }
        FStartupPending = false;
      }
      break;
    case WM_SYSCOMMAND:
      if (Msg.WParam == kSysCommandRestore && Application && Application->MainForm())
        SetFormVisible(Application->MainForm(), true);
      break;
    default: {
      TTrayIconHandler *handler = TTrayIconHandler::Instance();
      if (handler && handler->TaskbarCreatedMessage() != 0 && Msg.Msg == handler->TaskbarCreatedMessage() &&
          FIconVisible)
        AddToTray();  // the new taskbar starts empty
    }
  }
  return false;  // the application sees every message too
}

bool TTrayIcon::OwnerHook(TMessage &Msg) {
  switch (Msg.Msg) {
    case WM_SHOWWINDOW:
      if (Msg.WParam == 1 && Msg.LParam == 0) {
        if (Application) SetForegroundWindow(Application->Handle());
        SetForegroundWindow(FHookedOwner->Handle());
        return false;
      }
      if (Msg.WParam == 0 && Msg.LParam == kShowParentClosing && !(Application && Application->Terminated()))
        return MinimizeToTrayStep(Msg);
      return false;
    case WM_SYSCOMMAND:
      if (Msg.WParam == kSysCommandMinimize) return MinimizeToTrayStep(Msg);
      return false;
    default:
      return false;
  }
}

bool TTrayIcon::MinimizeToTrayStep(TMessage &Msg) {
  if (!MinimizeToTray || !OnMinimizeToTray) return false;
  DoMinimizeToTray();  // raises OnMinimizeToTray
  Msg.Result = 1;
  return true;
}

// ---- Event raisers ------------------------------------------------------------------------

void TTrayIcon::DoClick() { Raise(OnClick, this); }

void TTrayIcon::DoDblClick() { Raise(OnDblClick, this); }

void TTrayIcon::DoCycle() {
  if (!OnCycle) return;
  int next = FIconList && FIconIndex < FIconList->Count() ? FIconIndex + 1 : 0;
  Raise(OnCycle, this, next);
}

void TTrayIcon::DoMouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  Raise(OnMouseDown, this, Button, Shift, X, Y);
}

void TTrayIcon::DoMouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  Raise(OnMouseUp, this, Button, Shift, X, Y);
}

void TTrayIcon::DoMouseMove(TShiftState Shift, int X, int Y) { Raise(OnMouseMove, this, Shift, X, Y); }

void TTrayIcon::DoMouseEnter() { Raise(OnMouseEnter, this); }

void TTrayIcon::DoMouseExit() { Raise(OnMouseExit, this); }

void TTrayIcon::DoMinimizeToTray() {
  TLifeline life(this);
  Raise(OnMinimizeToTray, this);
  if (!life.Alive()) return;
  if (dynamic_cast<TWinControl *>(Owner()) && Application && Application->MainForm()) {
    SetFormVisible(Application->MainForm(), false);
    if (!life.Alive()) return;
    HideTaskbarButton();
  }
  SetIconVisible(true);
}

void TTrayIcon::DoStartup(bool &ShowMainForm) { Raise(OnStartup, this, ShowMainForm); }

void TTrayIcon::DoBalloonHintShow() { Raise(OnBalloonHintShow, this); }

void TTrayIcon::DoBalloonHintHide() { Raise(OnBalloonHintHide, this); }

void TTrayIcon::DoBalloonHintTimeout() { Raise(OnBalloonHintTimeout, this); }

void TTrayIcon::DoBalloonHintClick() { Raise(OnBalloonHintClick, this); }
