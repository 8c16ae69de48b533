// Window-message timers and their shared hidden window.
#include "controls/MsgTimer.h"

TMsgTimerHandler *TMsgTimerHandler::FInstance = nullptr;

// Frees a handler that outlived every destructor that should have freed it. Made
// after the first window, so it goes before the window system's own state does.
struct TMsgTimerHandlerExitGuard {
  ~TMsgTimerHandlerExitGuard() {
    delete TMsgTimerHandler::FInstance;
    TMsgTimerHandler::FInstance = nullptr;
  }
};

TMsgTimerHandler::TMsgTimerHandler() {
  FHandle = AllocateHWnd([this](TMessage &Msg) { WndProc(Msg); });
}

TMsgTimerHandler::~TMsgTimerHandler() { DeallocateHWnd(FHandle); }

TMsgTimerHandler *TMsgTimerHandler::Acquire(TMsgTimer *Timer, UINT_PTR &Id) {
  if (!FInstance) {
    FInstance = new TMsgTimerHandler;
    static TMsgTimerHandlerExitGuard guard;
  }
  // Ids are counted rather than taken from the timer's address, so a message left
  // over from a freed timer can never reach a new one at the same address.
  Id = FInstance->FNextId++;
  FInstance->FTimers[Id] = Timer;
  return FInstance;
}

void TMsgTimerHandler::Release(UINT_PTR Id) {
  if (!FInstance) return;
  FInstance->FTimers.erase(Id);
  if (FInstance->FTimers.empty()) {
    TMsgTimerHandler *last = FInstance;
    FInstance = nullptr;
    delete last;
  }
}

void TMsgTimerHandler::WndProc(TMessage &Msg) {
  if (Msg.Msg == WM_TIMER) {
    auto it = FTimers.find(Msg.WParam);
    // A tick that was already on its way when the timer stopped is dropped.
    if (it != FTimers.end() && it->second->FRunning) {
      // The timer, and with the last timer this handler, may be freed by the event.
      it->second->DoTimer();
      return;
    }
  }
  Msg.Result = DefWindowProcA(FHandle, Msg.Msg, Msg.WParam, Msg.LParam);
}

TMsgTimer::TMsgTimer(UINT AInterval, TNotifyEvent AOnTimer)
    : FInterval(AInterval), FOnTimer(std::move(AOnTimer)) {
  TMsgTimerHandler::Acquire(this, FId);
}

TMsgTimer::~TMsgTimer() {
  if (FEnabled || FRunning) Stop(true);
  TMsgTimerHandler::Release(FId);
}

void TMsgTimer::SetEnabled(bool Value) {
  if (Value)
    Start();
  else
    Stop(true);
}

void TMsgTimer::SetInterval(UINT Value) {
  if (Value == FInterval) return;
  FInterval = Value;
  if (!FEnabled) return;
  if (Value != 0)
    Start();
  else
    Stop(false);
}

void TMsgTimer::SetOnTimer(TNotifyEvent Value) {
  FOnTimer = std::move(Value);
  if (!FOnTimer && FEnabled) Stop(false);
}

bool TMsgTimer::Start() {
  if (FInterval == 0) return false;
  if (FEnabled) Stop(true);
  TMsgTimerHandler *handler = TMsgTimerHandler::Instance();
  bool ok = handler && SetTimer(handler->Handle(), FId, FInterval, nullptr) != 0;
  FRunning = ok;
  if (ok) FEnabled = true;
  return ok;
}

bool TMsgTimer::Stop(bool ClearEnabled) {
  if (ClearEnabled) FEnabled = false;
  FRunning = false;
  TMsgTimerHandler *handler = TMsgTimerHandler::Instance();
  return handler && KillTimer(handler->Handle(), FId) != FALSE;
}

void TMsgTimer::DoTimer() {
  if (!FOnTimer) return;
  // A copy, so the handler survives its timer being freed or reassigned inside it.
  TNotifyEvent handler = FOnTimer;
  handler(this);
}
