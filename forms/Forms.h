// Forms, the screen's list of them, and the application object: its hidden top-level
// window, the message loop with idle notification and dialog keys, window hooks, and
// the general error report.
#pragma once

#include <exception>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "forms/Controls.h"

class TButton;

enum TFormBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
enum TPosition { poDesigned, poDefault, poScreenCenter, poDesktopCenter, poMainFormCenter };
enum TFormStyle { fsNormal, fsMDIChild, fsMDIForm, fsStayOnTop };
enum TCloseAction { caNone, caHide, caFree, caMinimize };

using TCloseQueryEvent = std::function<void(TObject *Sender, bool &CanClose)>;
using TCloseEvent = std::function<void(TObject *Sender, TCloseAction &Action)>;

// A top-level window holding controls. A form's constructor builds its design
// (controls and components, their properties and handlers) while csLoading is set;
// whoever creates the form then calls AfterConstruction — CreateForm below does —
// which runs Loaded for every component, then OnCreate, then shows the form if
// Visible is set. Forms start hidden (Visible false).
class TCustomForm : public TWinControl {
 public:
  explicit TCustomForm(TComponent *AOwner);
  ~TCustomForm() override;

  void AfterConstruction();

  TFormBorderStyle BorderStyle() const { return FBorderStyle; }
  void SetBorderStyle(TFormBorderStyle Value);
  TFormStyle FormStyle() const { return FFormStyle; }
  void SetFormStyle(TFormStyle Value);
  // Applied when the form is first shown.
  TPosition Position() const { return FPosition; }
  void SetPosition(TPosition Value);

  // Shows the form and brings it to the front; Hide hides it; Close asks CloseQuery,
  // then OnClose (caHide by default) and hides — closing the main form ends the
  // application.
  void Show();
  void Close();
  virtual bool CloseQuery();
  void BringToFront();
  // Deletes the form once the messages already queued for it are handled: the safe
  // way for a form to go from inside one of its own handlers.
  void Release();
  TRect ClientRect() const override;
  // Shows with SW_SHOWNORMAL the first time
  // (placed per Position), SW_SHOW later; while loading the value is only stored.
  void SetVisible(bool Value) override;

  // The focused control while the form is active; the first tab stop when shown.
  TWinControl *ActiveControl() const { return FActiveControl; }
  void SetActiveControl(TWinControl *Control);
  // The form's Default button (Enter) and Cancel button (Esc), if any.
  TButton *DefaultButton() const;
  TButton *CancelButton() const;
  // Dialog keys and accelerators for a key message aimed at a control of this form;
  // true when the form took it. Called by the application's message loop.
  bool IsDialogMessage(MSG &Msg);

  TNotifyEvent OnCreate;
  TNotifyEvent OnDestroy;
  TNotifyEvent OnShow;
  TNotifyEvent OnHide;
  TNotifyEvent OnActivate;
  TNotifyEvent OnDeactivate;
  TCloseQueryEvent OnCloseQuery;
  TCloseEvent OnClose;

 protected:
  void WndProc(TMessage &Message) override;
  void CreateParams(TCreateParams &Params) override;
  virtual void DoCreate();
  virtual void DoDestroy();
  virtual void DoShow();
  virtual void DoHide();
  virtual void DoClose(TCloseAction &Action);
  virtual void DoActivate();
  virtual void DoDeactivate();

 private:
  friend class TWinControl;
  // The window style bits of the border style and form style.
  void FrameStyle(DWORD &Style, DWORD &ExStyle) const;
  // Moves the form where Position wants it, at its first showing.
  void ApplyPosition();
  // A control of the form got the keyboard focus.
  void FocusedControlChanged(TWinControl *Control);
  // Focuses ActiveControl, or else the first tab stop; false when there is none.
  bool FocusActiveControl();
  void RecreateKeepingVisibility();

  TFormBorderStyle FBorderStyle = bsSizeable;
  TFormStyle FFormStyle = fsNormal;
  TPosition FPosition = poDesigned;
  bool FPositioned = false;
  TWinControl *FActiveControl = nullptr;  // not owned
};

class TForm : public TCustomForm {
 public:
  using TCustomForm::TCustomForm;
};

// Creates a form and completes its construction (Loaded, OnCreate, showing).
template <class T, class... Args>
T *CreateForm(Args &&...args) {
  T *form = new T(std::forward<Args>(args)...);
  form->AfterConstruction();
  return form;
}

class TScreen : public TComponent {
 public:
  explicit TScreen(TComponent *AOwner);
  // Forms in creation order.
  int FormCount() const { return static_cast<int>(FForms.size()); }
  TCustomForm *Forms(int Index) const;
  TCustomForm *ActiveForm() const { return FActiveForm; }
  int Width() const;
  int Height() const;

 private:
  friend class TCustomForm;
  std::vector<TCustomForm *> FForms;   // not owned
  TCustomForm *FActiveForm = nullptr;  // not owned
};

using TIdleEvent = std::function<void(TObject *Sender, bool &Done)>;
using TExceptionEvent = std::function<void(TObject *Sender, std::exception &E)>;
// A hook on the application window sees each of its messages before the application
// does; true consumes it (Result is then the message's result).
using TWindowHook = std::function<bool(TMessage &Message)>;

class TApplication : public TComponent {
 public:
  explicit TApplication(TComponent *AOwner);
  ~TApplication() override;

  // The hidden top-level window whose caption is the title (the taskbar button of
  // the program on Windows).
  HWND Handle();
  const std::string &Title() const { return FTitle; }
  void SetTitle(const std::string &Value);
  // Whether Run shows the main form; the tray icon's start-up question may clear it.
  bool ShowMainForm = true;
  std::string HelpFile;
  TCustomForm *MainForm() const { return FMainForm; }

  void Initialize() {}
  // Creates a form owned by the application; the first one becomes the main form.
  template <class T>
  void CreateForm(T *&Reference) {
    T *form = new T(this);
    Reference = form;
    form->AfterConstruction();
    if (FMainForm == nullptr) {
      form->HandleNeeded();
      FMainForm = form;
    }
  }
  // Shows the main form if ShowMainForm is set and runs the message loop until
  // Terminate or WM_QUIT; returns then (at once without a main form).
  void Run();
  void Terminate();
  bool Terminated() const { return FTerminated; }
  // Handles every pending message, then returns.
  void ProcessMessages();
  // Waits for and handles one message; the idle step runs when the queue is empty.
  void HandleMessage();

  // Hooks on the application window; a hook added while messages are being handled
  // sees the next message. The id removes it.
  int HookMainWindow(TWindowHook Hook);
  void UnhookMainWindow(int HookId);

  // The general error report: a message box with the error's text (a full stop added
  // when its last character sorts after '.'), the title as caption, the error icon
  // and OK. OnException replaces it when assigned.
  void HandleException(std::exception &E);
  void ShowException(const std::exception &E);
  int MessageBox(const std::string &Text, const std::string &Caption, UINT Flags);
  // An error box (error icon, OK) that never stacks: while one is open, the same text
  // again is dropped and another one waits (the latest only) until it is closed.
  void ErrorBox(const std::string &Text, const std::string &Caption);

  TIdleEvent OnIdle;
  TExceptionEvent OnException;

 protected:
  virtual void Idle(const MSG &Msg);
  void WndProc(TMessage &Message);

 private:
  friend class TApplicationEvents;
  friend class TCustomForm;
  bool ProcessMessage(MSG &Msg);
  // Key messages aimed at a form's control go through the form's dialog keys first.
  bool IsKeyMsg(MSG &Msg);
  // Installs the error report into ApplicationHandleException if it is not there.
  void InstallErrorReport();
  static LRESULT CALLBACK AppWndProc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam);

  HWND FHandle = nullptr;  // owned: AllocateHWnd-style hidden top-level window
  std::string FTitle;
  TCustomForm *FMainForm = nullptr;  // not owned (owned as a component)
  bool FTerminated = false;
  std::vector<std::pair<int, TWindowHook>> FHooks;
  int FNextHookId = 1;
  std::vector<class TApplicationEvents *> FEvents;  // not owned
  bool FErrorBoxOpen = false;
  std::string FErrorBoxText;                           // of the open box
  std::optional<std::pair<std::string, std::string>> FPendingError;  // text and caption
};

// Several components may each want the application's events; each creates one of
// these (with or without owner) and assigns its handlers.
class TApplicationEvents : public TComponent {
 public:
  explicit TApplicationEvents(TComponent *AOwner);
  ~TApplicationEvents() override;
  TIdleEvent OnIdle;
};

// The one application object and screen, made when the program starts (they create
// no window until one is needed). DoneApplication frees the application with the
// forms it owns, then the screen, and leaves both nullptr: the program's last step.
extern TApplication *Application;
extern TScreen *Screen;
void DoneApplication();
