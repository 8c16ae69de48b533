// A hidden parent window that records the WM_COMMAND notifications of its controls in
// the order they arrive, for the tests of the standard controls, focus and painting.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/winapi.h"

namespace ctltest {

struct Note {
  HWND from;
  int code;
  bool operator==(const Note &o) const { return from == o.from && code == o.code; }
};

inline std::vector<Note> &Notes() {
  static std::vector<Note> notes;
  return notes;
}

// The item data of each WM_DELETEITEM, in order.
inline std::vector<ULONG_PTR> &DeletedItems() {
  static std::vector<ULONG_PTR> items;
  return items;
}

// What the parent answers to WM_MEASUREITEM.
constexpr UINT kMeasuredItemHeight = 21;

inline LRESULT CALLBACK ParentProc(HWND h, UINT m, WPARAM wp, LPARAM lp) {
  if (m == WM_COMMAND && lp) Notes().push_back(Note{reinterpret_cast<HWND>(lp), HIWORD(wp)});
  if (m == WM_MEASUREITEM) {
    reinterpret_cast<MEASUREITEMSTRUCT *>(lp)->itemHeight = kMeasuredItemHeight;
    return TRUE;
  }
  if (m == WM_DELETEITEM) {
    DeletedItems().push_back(reinterpret_cast<DELETEITEMSTRUCT *>(lp)->itemData);
    return TRUE;
  }
  if (m == WM_DRAWITEM) return TRUE;
  return DefWindowProcA(h, m, wp, lp);
}

inline const char *ParentClass() {
  static bool done = false;
  if (!done) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = ParentProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "HorolanControlTestParent";
    RegisterClassA(&wc);
    done = true;
  }
  return "HorolanControlTestParent";
}

// The notification codes one control sent, in order.
inline std::vector<int> CodesFrom(HWND control) {
  std::vector<int> r;
  for (const Note &n : Notes())
    if (n.from == control) r.push_back(n.code);
  return r;
}

inline std::string Text(HWND h) {
  char buf[512] = {};
  int n = GetWindowTextA(h, buf, sizeof buf);
  return std::string(buf, n > 0 ? n : 0);
}

inline void Type(HWND h, const std::string &bytes) {
  for (unsigned char c : bytes) SendMessageA(h, WM_CHAR, c, 1);
}

inline void Key(HWND h, WPARAM vk) {
  SendMessageA(h, WM_KEYDOWN, vk, 1);
  SendMessageA(h, WM_KEYUP, vk, 0xC0000001);
}

inline void Click(HWND h, int x, int y) {
  SendMessageA(h, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
  SendMessageA(h, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
}

// Runs every test with a fresh hidden parent that has the focus, and checks that the
// parent takes every control with it when it goes.
class ControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    windowsBefore_ = testhooks::LiveWindowCount();
    parent_ = CreateWindowExA(0, ParentClass(), "parent", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, nullptr,
                              nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(parent_, nullptr);
    // Activating the parent first keeps the focus messages of later steps the same on
    // every system (Windows focuses a window that becomes active).
    SetFocus(parent_);
    Notes().clear();
  }
  void TearDown() override {
    if (IsWindow(parent_)) DestroyWindow(parent_);
    EXPECT_EQ(testhooks::LiveWindowCount(), windowsBefore_);
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
  }
  HWND Make(const char *cls, DWORD style, const char *text = "", int id = 100, int x = 10, int y = 10,
            int w = 120, int h = 24) {
    HWND c = CreateWindowExA(0, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, parent_,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleA(nullptr),
                             nullptr);
    EXPECT_NE(c, nullptr) << cls;
    return c;
  }
  HWND parent_ = nullptr;
  int windowsBefore_ = 0;
};

}  // namespace ctltest
