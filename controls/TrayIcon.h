// The notification-area icon: one icon per component with its tooltip and balloons,
// the shell's notifications turned into mouse events, a popup menu, icon animation
// from an image list, and sending the owner form to the tray. Every icon of the
// process is served by one hidden window, TTrayIconHandler.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "controls/MsgTimer.h"
#include "forms/Classes.h"
#include "forms/Controls.h"
#include "forms/Graphics.h"
#include "forms/UtilWindow.h"
#include "platform/winapi.h"

class TImageList;
class TPopupMenu;
class TTrayIcon;

// The shell's callback message of every tray icon (WM_USER + 1024). WParam: the icon
// id, LParam: the mouse message or NIN_BALLOON* event.
constexpr UINT TRAYICON_CALLBACK_MSG = 2048;
// The name of the message the shell broadcasts when the taskbar has been re-created.
constexpr const char *TASKBAR_CREATED_MSG_NAME = "TaskbarCreated";

// Byte limits of the shell's texts, terminator excluded.
constexpr size_t TRAY_TIP_MAX = 127;
constexpr size_t TRAY_BALLOON_TITLE_MAX = 63;
constexpr size_t TRAY_BALLOON_TEXT_MAX = 255;

enum TBalloonIcon { biNone = 0, biInfo = 1, biWarning = 2, biError = 3 };

using TCycleEvent = std::function<void(TObject *Sender, int NextIndex)>;
// ShowMainForm comes in true; a handler clears it to keep the main form hidden.
using TStartupEvent = std::function<void(TObject *Sender, bool &ShowMainForm)>;

// The hidden window that receives the notifications of every tray icon and hands each
// to the icon its id names. Made by the first icon, destroyed with the last one (or at
// program end if an icon was never freed).
class TTrayIconHandler {
 public:
  // The shared handler, or nullptr while no tray icon exists.
  static TTrayIconHandler *Instance() { return FInstance; }
  HWND Handle() const { return FHandle; }
  int IconCount() const { return static_cast<int>(FIcons.size()); }
  // The registered "TaskbarCreated" number, 0 where the common controls are older
  // than 4.71 (the shell does not broadcast it there).
  UINT TaskbarCreatedMessage() const { return FTaskbarCreated; }

 private:
  friend class TTrayIcon;
  friend struct TTrayIconHandlerExitGuard;
  TTrayIconHandler();
  ~TTrayIconHandler();
  static TTrayIconHandler *Acquire(TTrayIcon *Icon, UINT &Id);
  static void Release(UINT Id);
  void WndProc(TMessage &Msg);

  static TTrayIconHandler *FInstance;  // owned; deleted when the last icon goes
  HWND FHandle = nullptr;              // owned: DeallocateHWnd in the destructor
  UINT FTaskbarCreated = 0;
  std::map<UINT, TTrayIcon *> FIcons;  // not owned: the live icons by id
  UINT FNextId = 1;
};

class TTrayIcon : public TComponent {
 public:
  explicit TTrayIcon(TComponent *AOwner);
  ~TTrayIcon() override;

  bool DesignPreview() const { return FDesignPreview; }
  void SetDesignPreview(bool Value);
  TImageList *IconList() const { return FIconList; }
  void SetIconList(TImageList *Value);
  bool CycleIcons() const { return FCycleIcons; }
  void SetCycleIcons(bool Value);
  uint32_t CycleInterval() const { return FCycleInterval; }
  void SetCycleInterval(uint32_t Value);
  // When false every mouse notification is ignored; balloon events still arrive.
  bool Enabled = true;
  const std::string &Hint() const { return FHint; }
  void SetHint(const std::string &Value);
  bool ShowHint() const { return FShowHint; }
  void SetShowHint(bool Value);
  // The icon shown (owned by the component). Changing its image updates the tray.
  TIcon *Icon() const { return FIcon; }
  // Copies Value's image; nullptr empties the icon.
  void SetIcon(const TIcon *Value);
  bool IconVisible() const { return FIconVisible; }
  void SetIconVisible(bool Value);
  int IconIndex() const { return FIconIndex; }
  void SetIconIndex(int Value);
  TPopupMenu *PopupMenu() const { return FPopupMenu; }
  void SetPopupMenu(TPopupMenu *Value);
  bool LeftPopup = false;
  bool WantEnterExitEvents() const { return FWantEnterExitEvents; }
  void SetWantEnterExitEvents(bool Value);
  bool MinimizeToTray = false;

  TNotifyEvent OnClick;
  TNotifyEvent OnDblClick;
  TMouseEvent OnMouseDown;
  TMouseEvent OnMouseUp;
  TMouseMoveEvent OnMouseMove;
  TNotifyEvent OnMouseEnter;
  TNotifyEvent OnMouseExit;
  TCycleEvent OnCycle;
  TNotifyEvent OnBalloonHintShow;
  TNotifyEvent OnBalloonHintHide;
  TNotifyEvent OnBalloonHintTimeout;
  TNotifyEvent OnBalloonHintClick;
  TNotifyEvent OnMinimizeToTray;
  TStartupEvent OnStartup;

  // Shows a balloon at the icon; true when the shell took it (never while the icon is
  // not in the tray). Title and Text are cut to 63 and 255 bytes. While a refused add
  // waits for its retry the balloon is held and shown once the icon is there.
  bool DisplayBalloon(const std::string &Title, const std::string &Text, TBalloonIcon IconKind,
                      uint8_t TimeoutSeconds);

  // A form designer's preview may show the icon.
  virtual bool CanPreviewInDesigner() const { return true; }
  // Each returns true when the shell accepted the request. Adding sets IconVisible,
  // removing clears it, whatever the shell answers. A refused add is tried again from a
  // timer until the shell takes the icon (or it is removed).
  virtual bool AddToTray();
  virtual bool RemoveFromTray();
  virtual bool UpdateTray();

  void Loaded() override;

  // The value the shell and the shared window know this icon by.
  UINT IconId() const { return FIconId; }
  // The shell refused the icon and the retry timer runs.
  bool AddPending() const { return FAddRetryTimer && FAddRetryTimer->Enabled(); }

 protected:
  virtual void DoClick();
  virtual void DoDblClick();
  virtual void DoCycle();
  virtual void DoMouseDown(TMouseButton Button, TShiftState Shift, int X, int Y);
  virtual void DoMouseUp(TMouseButton Button, TShiftState Shift, int X, int Y);
  virtual void DoMouseMove(TShiftState Shift, int X, int Y);
  virtual void DoMouseEnter();
  virtual void DoMouseExit();
  virtual void DoMinimizeToTray();
  virtual void DoStartup(bool &ShowMainForm);
  virtual void DoBalloonHintShow();
  virtual void DoBalloonHintHide();
  virtual void DoBalloonHintTimeout();
  virtual void DoBalloonHintClick();
  void Notification(TComponent *AComponent, TOperation Operation) override;

  // The click-delay timer, for derived classes that want to know whether a click waits.
  TMsgTimer *ClickTimer() const { return FClickTimer.get(); }
  TMsgTimer *AddRetryTimer() const { return FAddRetryTimer.get(); }

 private:
  friend class TTrayIconHandler;
  class TLifeline;
  struct TOwnerHook;
  struct THookState;

  void HandleNotification(LPARAM Event);
  void ClickTimerTick();
  void CycleTimerTick();
  void LeaveTimerTick();
  void AddRetryTimerTick();
  void IconChanged();
  void FillIconData();
  bool Notify(DWORD Message);
  void ShowPopupMenu();
  void ClickDefaultMenuItem();
  bool ApplicationHook(TMessage &Msg);
  bool OwnerHook(TMessage &Msg);
  bool MinimizeToTrayStep(TMessage &Msg);
  void RemoveHooks();
  bool Loading() const { return (ComponentState() & csLoading) != 0; }

  UINT FIconId = 0;
  NOTIFYICONDATAA FData;
  bool FDesignPreview = false;
  TImageList *FIconList = nullptr;  // not owned: cleared when it goes
  bool FCycleIcons = false;
  uint32_t FCycleInterval = 0;
  std::string FHint;
  bool FShowHint = true;
  TIcon *FIcon = nullptr;  // owned
  bool FIconVisible = false;
  int FIconIndex = 0;
  TPopupMenu *FPopupMenu = nullptr;  // not owned: cleared when it goes
  bool FWantEnterExitEvents = false;

  std::unique_ptr<TMsgTimer> FCycleTimer;     // owned
  std::unique_ptr<TMsgTimer> FClickTimer;     // owned
  std::unique_ptr<TMsgTimer> FLeaveTimer;     // owned
  std::unique_ptr<TMsgTimer> FAddRetryTimer;  // owned

  struct THeldBalloon {
    std::string Title, Text;
    TBalloonIcon IconKind;
    uint8_t TimeoutSeconds;
  };
  std::vector<THeldBalloon> FHeldBalloons;  // waiting for the icon to reach the tray

  bool FLeftButtonDown = false;
  bool FClickPending = false;
  bool FDoubleClickSeen = false;
  bool FPointerOutside = true;
  bool FStartupPending = true;
  int FLastX = 0, FLastY = 0;
  int FIconChangeMuted = 0;  // >0: the icon's own change notice does not update the tray

  std::shared_ptr<THookState> FHooks;  // shared with the installed hook functions
  int FAppHookId = 0;
  TWinControl *FHookedOwner = nullptr;  // not owned: the owner whose WindowProc we replaced
  bool *FAlive = nullptr;               // set by TLifeline while a handler runs
};
