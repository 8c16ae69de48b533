// A shown form for control tests, and input delivered the way a user's arrives: mouse
// messages to a window, characters to the focused control, keys through the loop.
#pragma once

#include <memory>
#include <string>

#include "forms/Forms.h"

namespace controltest {

inline LPARAM Point(int x, int y) { return MAKELPARAM(x, y); }

inline void Press(HWND wnd, int x, int y) { SendMessageA(wnd, WM_LBUTTONDOWN, MK_LBUTTON, Point(x, y)); }
inline void Move(HWND wnd, int x, int y) { SendMessageA(wnd, WM_MOUSEMOVE, MK_LBUTTON, Point(x, y)); }
inline void Release(HWND wnd, int x, int y) { SendMessageA(wnd, WM_LBUTTONUP, 0, Point(x, y)); }
inline void ClickAt(HWND wnd, int x, int y) {
  Press(wnd, x, y);
  Release(wnd, x, y);
}
// A click in the middle of a windowed control.
inline void Click(TWinControl *c) { ClickAt(c->Handle(), c->Width() / 2, c->Height() / 2); }

inline void Type(TWinControl *c, const std::string &text) {
  for (char ch : text) SendMessageA(c->Handle(), WM_CHAR, static_cast<unsigned char>(ch), 1);
}

// A key or accelerator posted to the focused window and handled by the application's
// loop, where dialog keys are taken.
inline void PostKey(WORD vk) {
  HWND focus = GetFocus();
  PostMessageA(focus, WM_KEYDOWN, vk, 1);
  PostMessageA(focus, WM_KEYUP, vk, static_cast<LPARAM>(0xC0000001u));
  Application->ProcessMessages();
}
inline void PostAltChar(char ch) {
  PostMessageA(GetFocus(), WM_SYSCHAR, static_cast<unsigned char>(ch), static_cast<LPARAM>(0x20000001u));
  Application->ProcessMessages();
}
inline void PostChar(char ch) {
  PostMessageA(GetFocus(), WM_CHAR, static_cast<unsigned char>(ch), 1);
  Application->ProcessMessages();
}

inline DWORD StyleOf(TWinControl *c) { return static_cast<DWORD>(GetWindowLongA(c->Handle(), GWL_STYLE)); }
inline DWORD ExStyleOf(TWinControl *c) {
  return static_cast<DWORD>(GetWindowLongA(c->Handle(), GWL_EXSTYLE));
}

// A form that is shown (so that its controls can take the focus) and freed with its
// controls at the end of the test.
class ShownForm {
 public:
  ShownForm() : FForm(CreateForm<TForm>(nullptr)) {
    FForm->SetBounds(60, 60, 420, 320);
    FForm->Show();
  }
  TForm *operator->() const { return FForm.get(); }
  TForm *get() const { return FForm.get(); }

  // A control owned by the form and placed on Parent (the form by default).
  template <class T>
  T *Add(int left, int top, int width, int height, TWinControl *parent = nullptr) {
    T *c = new T(FForm.get());
    c->SetParent(parent ? parent : FForm.get());
    c->SetBounds(left, top, width, height);
    return c;
  }

 private:
  std::unique_ptr<TForm> FForm;
};

}  // namespace controltest
