// A lightweight periodic timer on the user-interface thread, driven by window timers.
// All timers share one hidden window that exists while at least one timer does.
#pragma once

#include <map>

#include "forms/Classes.h"
#include "forms/UtilWindow.h"
#include "platform/winapi.h"

class TMsgTimer;

// The hidden window that receives every timer's WM_TIMER and hands it to the timer
// the event id names. Made for the first timer, destroyed with the last one (or when
// the program ends, if a timer was never freed).
class TMsgTimerHandler {
 public:
  // The shared handler, or nullptr while no timer exists.
  static TMsgTimerHandler *Instance() { return FInstance; }
  HWND Handle() const { return FHandle; }
  int TimerCount() const { return static_cast<int>(FTimers.size()); }

 private:
  friend class TMsgTimer;
  friend struct TMsgTimerHandlerExitGuard;
  TMsgTimerHandler();
  ~TMsgTimerHandler();
  static TMsgTimerHandler *Acquire(TMsgTimer *Timer, UINT_PTR &Id);
  static void Release(UINT_PTR Id);
  void WndProc(TMessage &Msg);

  static TMsgTimerHandler *FInstance;       // owned; deleted when the last timer goes
  HWND FHandle = nullptr;                   // owned: DeallocateHWnd in the destructor
  std::map<UINT_PTR, TMsgTimer *> FTimers;  // not owned: the live timers by event id
  UINT_PTR FNextId = 1;
};

class TMsgTimer : public TObject {
 public:
  TMsgTimer() : TMsgTimer(1000, nullptr) {}
  TMsgTimer(UINT AInterval, TNotifyEvent AOnTimer);
  ~TMsgTimer() override;
  TMsgTimer(const TMsgTimer &) = delete;
  TMsgTimer &operator=(const TMsgTimer &) = delete;

  bool Enabled() const { return FEnabled; }
  // true starts (or restarts the full period of) the timer, false stops it.
  void SetEnabled(bool Value);
  UINT Interval() const { return FInterval; }
  // A running timer restarts with the new period; 0 stops the window timer but
  // leaves Enabled set, so a later non-zero period resumes it.
  void SetInterval(UINT Value);
  const TNotifyEvent &OnTimer() const { return FOnTimer; }
  // Clearing the handler of a running timer stops the window timer; Enabled stays.
  void SetOnTimer(TNotifyEvent Value);

  // True when Windows accepted the request. Start fails without a period.
  bool Start();
  bool Stop(bool ClearEnabled);

  // The event id passed to SetTimer; unique within the process, never reused.
  UINT_PTR Id() const { return FId; }

 protected:
  virtual void DoTimer();

 private:
  friend class TMsgTimerHandler;

  UINT_PTR FId = 0;
  bool FEnabled = false;
  bool FRunning = false;  // a window timer is set
  UINT FInterval;
  TNotifyEvent FOnTimer;
};
