#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "forms/Exception.h"
#include "forms/UtilWindow.h"

namespace {

constexpr UINT kPing = WM_USER + 17;

// Dispatches posted messages until done() holds; false if it did not within ~2 s.
template <typename Pred>
bool PumpUntil(Pred done) {
  DWORD start = GetTickCount();
  while (!done()) {
    if (GetTickCount() - start > 2000) return false;
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    Sleep(1);
  }
  return true;
}

struct HookGuard {
  ~HookGuard() { ApplicationHandleException = nullptr; }
};

TEST(UtilWindowTest, MessagesReachTheMethodAndItsResultIsReturned) {
  std::vector<TMessage> seen;
  HWND wnd = AllocateHWnd([&](TMessage &m) {
    if (m.Msg != kPing) return;
    EXPECT_EQ(m.Result, 0);
    seen.push_back(m);
    m.Result = static_cast<LRESULT>(m.WParam * 2);
  });
  ASSERT_NE(wnd, nullptr);
  EXPECT_TRUE(IsWindow(wnd));
  EXPECT_FALSE(IsWindowVisible(wnd));

  EXPECT_EQ(SendMessageA(wnd, kPing, 21, -5), 42);
  ASSERT_TRUE(PostMessageA(wnd, kPing, 7, 8));
  ASSERT_TRUE(PumpUntil([&] { return seen.size() == 2; }));
  EXPECT_EQ(seen[0].WParam, 21u);
  EXPECT_EQ(seen[0].LParam, -5);
  EXPECT_EQ(seen[1].WParam, 7u);
  EXPECT_EQ(seen[1].LParam, 8);

  // Two windows keep their own methods.
  int other = 0;
  HWND wnd2 = AllocateHWnd([&](TMessage &m) {
    if (m.Msg == kPing) ++other;
  });
  SendMessageA(wnd2, kPing, 1, 0);
  EXPECT_EQ(other, 1);
  EXPECT_EQ(seen.size(), 2u);

  DeallocateHWnd(wnd);
  DeallocateHWnd(wnd2);
  EXPECT_FALSE(IsWindow(wnd));
  EXPECT_FALSE(IsWindow(wnd2));
  DeallocateHWnd(nullptr);
}

TEST(UtilWindowTest, ExceptionsFromTheMethodGoToTheHookNotThroughDispatch) {
  HookGuard guard;
  std::vector<std::string> reported;
  ApplicationHandleException = [&](std::exception &e) { reported.push_back(e.what()); };
  bool throwStd = false;
  HWND wnd = AllocateHWnd([&](TMessage &m) {
    if (m.Msg != kPing) return;
    m.Result = 99;
    if (throwStd) throw std::runtime_error("plain");
    throw Exception("boom");
  });
  EXPECT_EQ(SendMessageA(wnd, kPing, 0, 0), 0) << "a failed handler answers 0";
  throwStd = true;
  PostMessageA(wnd, kPing, 0, 0);
  ASSERT_TRUE(PumpUntil([&] { return reported.size() == 2; }));
  EXPECT_EQ(reported, (std::vector<std::string>{"boom", "plain"}));

  // Without a hook, and with one that fails itself, the text still reaches a message box.
  testhooks::CaptureMessageBoxes();
  testhooks::ClearMessageBoxes();
  throwStd = false;
  ApplicationHandleException = nullptr;
  SendMessageA(wnd, kPing, 0, 0);
  ApplicationHandleException = [](std::exception &) { throw std::logic_error("report failed"); };
  SendMessageA(wnd, kPing, 0, 0);
  auto boxes = testhooks::MessageBoxes();
  testhooks::ReleaseMessageBoxes();
  ASSERT_EQ(boxes.size(), 2u);
  for (auto &b : boxes) {
    EXPECT_EQ(b.text, "boom");
    EXPECT_TRUE(b.type & MB_ICONERROR);
  }
  DeallocateHWnd(wnd);
}

TEST(UtilWindowTest, MethodMayDestroyItsOwnWindow) {
  auto token = std::make_shared<std::string>("captured state");
  std::weak_ptr<std::string> watch = token;
  HWND wnd = nullptr;
  std::string after;
  wnd = AllocateHWnd([&, token](TMessage &m) {
    if (m.Msg != kPing) return;
    DeallocateHWnd(wnd);
    // Still running inside the freed window's method: its captures must be alive.
    after = *token;
    m.Result = 5;
  });
  token.reset();
  EXPECT_EQ(SendMessageA(wnd, kPing, 0, 0), 5);
  EXPECT_EQ(after, "captured state");
  EXPECT_FALSE(IsWindow(wnd));
  EXPECT_TRUE(watch.expired()) << "the method is freed once its last call returns";
}

}  // namespace
