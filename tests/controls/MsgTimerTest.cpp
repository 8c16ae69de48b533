#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "controls/MsgTimer.h"

namespace {

// Dispatches messages until done() holds or about 3 s have passed; returns done().
template <typename Pred>
bool PumpUntil(Pred done, DWORD limitMs = 3000) {
  DWORD start = GetTickCount();
  while (!done() && GetTickCount() - start < limitMs) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    Sleep(2);
  }
  return done();
}

// Lets messages flow for a while, for checks that something does NOT happen. The
// timers involved run every 10-30 ms, so 250 ms would see several of their ticks.
void PumpFor(DWORD ms) {
  PumpUntil([] { return false; }, ms);
}

struct Counter {
  int ticks = 0;
  std::vector<TObject *> senders;
  TNotifyEvent Handler() {
    return [this](TObject *sender) {
      ++ticks;
      senders.push_back(sender);
    };
  }
};

TEST(MsgTimerTest, DefaultsAndTheSharedWindowsLifetime) {
  ASSERT_EQ(TMsgTimerHandler::Instance(), nullptr) << "no timer may outlive another test";
  const int windowsBefore = testhooks::LiveWindowCount();
  HWND shared = nullptr;
  {
    TMsgTimer plain;
    EXPECT_EQ(plain.Interval(), 1000u);
    EXPECT_FALSE(plain.Enabled());
    EXPECT_FALSE(plain.OnTimer());
    ASSERT_NE(TMsgTimerHandler::Instance(), nullptr);
    shared = TMsgTimerHandler::Instance()->Handle();
    EXPECT_TRUE(IsWindow(shared));
    EXPECT_FALSE(IsWindowVisible(shared));

    Counter c;
    auto second = std::make_unique<TMsgTimer>(25, c.Handler());
    EXPECT_EQ(second->Interval(), 25u);
    EXPECT_FALSE(second->Enabled()) << "constructed stopped, even with a handler";
    EXPECT_TRUE(second->OnTimer());
    EXPECT_NE(second->Id(), plain.Id());
    EXPECT_EQ(TMsgTimerHandler::Instance()->Handle(), shared) << "one window for all timers";
    EXPECT_EQ(TMsgTimerHandler::Instance()->TimerCount(), 2);
    second.reset();
    EXPECT_EQ(TMsgTimerHandler::Instance()->TimerCount(), 1);
    PumpFor(100);
    EXPECT_EQ(c.ticks, 0);
  }
  EXPECT_EQ(TMsgTimerHandler::Instance(), nullptr);
  EXPECT_FALSE(IsWindow(shared));
  if (windowsBefore >= 0) {
    EXPECT_EQ(testhooks::LiveWindowCount(), windowsBefore);
  }
}

TEST(MsgTimerTest, RunsUntilStoppedAndReportsItself) {
  Counter a, b;
  TMsgTimer ta(10, a.Handler()), tb(30, b.Handler());
  EXPECT_TRUE(ta.Start());
  tb.SetEnabled(true);
  EXPECT_TRUE(ta.Enabled());
  EXPECT_TRUE(tb.Enabled());
  ASSERT_TRUE(PumpUntil([&] { return a.ticks >= 3 && b.ticks >= 2; }));
  for (TObject *s : a.senders) EXPECT_EQ(s, &ta);
  for (TObject *s : b.senders) EXPECT_EQ(s, &tb);

  EXPECT_TRUE(ta.Stop(true));
  EXPECT_FALSE(ta.Enabled());
  EXPECT_FALSE(ta.Stop(true)) << "nothing left to stop";
  int seen = a.ticks;
  PumpFor(250);
  EXPECT_EQ(a.ticks, seen);
  EXPECT_GT(b.ticks, 2) << "the other timer runs on";
}

TEST(MsgTimerTest, ZeroIntervalNeverStarts) {
  Counter c;
  TMsgTimer t(0, c.Handler());
  t.SetEnabled(true);
  EXPECT_FALSE(t.Enabled());
  EXPECT_FALSE(t.Start());
  PumpFor(150);
  EXPECT_EQ(c.ticks, 0);
}

TEST(MsgTimerTest, IntervalChanges) {
  Counter c;
  TMsgTimer t(60000, c.Handler());
  t.SetEnabled(true);
  // A new period takes effect at once: one minute would never tick within the pump.
  t.SetInterval(10);
  ASSERT_TRUE(PumpUntil([&] { return c.ticks >= 2; }));

  // Zero stops the ticks but Enabled still reads true; a period resumes them.
  t.SetInterval(0);
  EXPECT_TRUE(t.Enabled());
  int seen = c.ticks;
  PumpFor(250);
  EXPECT_EQ(c.ticks, seen);
  t.SetInterval(15);
  EXPECT_TRUE(t.Enabled());
  ASSERT_TRUE(PumpUntil([&] { return c.ticks >= seen + 2; }));

  // Assigning the current value does nothing: here it would otherwise restart a
  // timer that was stopped while Enabled stayed set.
  EXPECT_TRUE(t.Stop(false));
  EXPECT_TRUE(t.Enabled());
  t.SetInterval(15);
  seen = c.ticks;
  PumpFor(250);
  EXPECT_EQ(c.ticks, seen);
  t.SetInterval(20);
  ASSERT_TRUE(PumpUntil([&] { return c.ticks > seen; }));

  // On a stopped timer a new period is only stored.
  t.SetEnabled(false);
  t.SetInterval(10);
  seen = c.ticks;
  PumpFor(150);
  EXPECT_EQ(c.ticks, seen);
  EXPECT_FALSE(t.Enabled());
}

TEST(MsgTimerTest, ClearingTheHandlerStopsTheTicksButNotEnabled) {
  Counter c;
  TMsgTimer t(10, c.Handler());
  t.SetEnabled(true);
  ASSERT_TRUE(PumpUntil([&] { return c.ticks >= 1; }));
  t.SetOnTimer(nullptr);
  EXPECT_TRUE(t.Enabled());
  Counter later;
  t.SetOnTimer(later.Handler());
  PumpFor(250);
  EXPECT_EQ(later.ticks, 0) << "a new handler alone does not restart the timer";
  t.SetEnabled(true);
  ASSERT_TRUE(PumpUntil([&] { return later.ticks >= 2; }));
}

TEST(MsgTimerTest, HandlerMayStopRestartOrFreeItsTimer) {
  {
    // Stopping from inside the event: exactly one tick.
    int ticks = 0;
    TMsgTimer t(10, nullptr);
    t.SetOnTimer([&](TObject *) {
      ++ticks;
      t.SetEnabled(false);
    });
    t.SetEnabled(true);
    ASSERT_TRUE(PumpUntil([&] { return ticks >= 1; }));
    PumpFor(150);
    EXPECT_EQ(ticks, 1);
  }
  {
    // Restarting from inside keeps it going; changing the period from inside too.
    int ticks = 0;
    TMsgTimer t(10, nullptr);
    t.SetOnTimer([&](TObject *) {
      ++ticks;
      t.SetEnabled(true);
      t.SetInterval(ticks % 2 ? 15 : 10);
    });
    t.SetEnabled(true);
    ASSERT_TRUE(PumpUntil([&] { return ticks >= 4; }));
  }
  ASSERT_EQ(TMsgTimerHandler::Instance(), nullptr);
  {
    // The last timer freed inside its own event takes the shared window with it
    // while that window's procedure is still running.
    int ticks = 0;
    auto *t = new TMsgTimer(10, nullptr);
    t->SetOnTimer([&ticks, &t](TObject *sender) {
      ++ticks;
      EXPECT_EQ(sender, t);
      delete t;
      t = nullptr;
    });
    t->SetEnabled(true);
    ASSERT_TRUE(PumpUntil([&] { return t == nullptr; }));
    EXPECT_EQ(TMsgTimerHandler::Instance(), nullptr);
    PumpFor(100);
    EXPECT_EQ(ticks, 1);
  }
}

TEST(MsgTimerTest, FreedOrStoppedTimersGetNoLateTicks) {
  const int timersBefore = testhooks::LiveTimerCount();
  Counter keep, gone, stopped;
  TMsgTimer keeper(10, keep.Handler());
  keeper.SetEnabled(true);
  TMsgTimer idle(10, stopped.Handler());
  auto victim = std::make_unique<TMsgTimer>(10, gone.Handler());
  victim->SetEnabled(true);
  ASSERT_TRUE(PumpUntil([&] { return gone.ticks >= 1; }));
  const UINT_PTR goneId = victim->Id();
  victim.reset();
  if (timersBefore >= 0) {
    EXPECT_EQ(testhooks::LiveTimerCount(), timersBefore + 1) << "its window timer is killed";
  }
  int seen = gone.ticks;

  // A tick still on its way, for a freed timer or one that is not running.
  HWND shared = TMsgTimerHandler::Instance()->Handle();
  PostMessageA(shared, WM_TIMER, goneId, 0);
  PostMessageA(shared, WM_TIMER, idle.Id(), 0);
  PostMessageA(shared, WM_TIMER, 0xDEAD, 0);
  int keepSeen = keep.ticks;
  ASSERT_TRUE(PumpUntil([&] { return keep.ticks >= keepSeen + 3; }));
  EXPECT_EQ(gone.ticks, seen);
  EXPECT_EQ(stopped.ticks, 0);
  const UINT_PTR newId = TMsgTimer().Id();
  EXPECT_NE(newId, goneId) << "ids are never reused";
}

}  // namespace
