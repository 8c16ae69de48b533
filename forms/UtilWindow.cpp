// Hidden utility windows. The method lives in a small heap block reached through
// GWLP_USERDATA; the block outlives the window when the method deallocates its own
// window, so the call in progress never runs on freed memory.
#include "forms/UtilWindow.h"

#include <string>

#include "forms/Exception.h"

std::function<void(std::exception &)> ApplicationHandleException;

namespace {

const char kUtilWindowClass[] = "HorolanUtilWindow";

struct UtilWindowData {
  TWndMethod Method;
  int Depth = 0;       // calls of Method in progress
  bool Freed = false;  // DeallocateHWnd ran while Depth > 0
};

LRESULT CALLBACK UtilWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto *data = reinterpret_cast<UtilWindowData *>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  if (!data || data->Freed) return DefWindowProcA(hwnd, msg, wParam, lParam);
  TMessage m{msg, wParam, lParam, 0};
  ++data->Depth;
  try {
    data->Method(m);
  } catch (std::exception &e) {
    m.Result = 0;
    HandleWindowException(e);
  } catch (...) {
    m.Result = 0;
    Exception e("Unknown exception in a window message handler");
    HandleWindowException(e);
  }
  if (--data->Depth == 0 && data->Freed) delete data;
  return m.Result;
}

void RegisterUtilWindowClass() {
  static bool registered = false;
  if (registered) return;
  WNDCLASSA wc{};
  wc.lpfnWndProc = UtilWindowProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = kUtilWindowClass;
  // Another module of the process may have registered it first: that is just as good.
  if (!RegisterClassA(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
    throw Exception("Cannot register the utility window class (error " + std::to_string(GetLastError()) +
                    ")");
  registered = true;
}

}  // namespace

HWND AllocateHWnd(TWndMethod Method) {
  RegisterUtilWindowClass();
  HWND wnd = CreateWindowExA(WS_EX_TOOLWINDOW, kUtilWindowClass, "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                             GetModuleHandleA(nullptr), nullptr);
  if (!wnd) throw Exception("Cannot create a utility window (error " + std::to_string(GetLastError()) + ")");
  auto *data = new UtilWindowData;
  data->Method = std::move(Method);
  SetWindowLongPtrA(wnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(data));
  return wnd;
}

void DeallocateHWnd(HWND Wnd) {
  if (!Wnd) return;
  auto *data = reinterpret_cast<UtilWindowData *>(GetWindowLongPtrA(Wnd, GWLP_USERDATA));
  SetWindowLongPtrA(Wnd, GWLP_USERDATA, 0);
  DestroyWindow(Wnd);
  if (!data) return;
  if (data->Depth > 0)
    data->Freed = true;
  else
    delete data;
}

void HandleWindowException(std::exception &E) {
  if (ApplicationHandleException) {
    // A failing report must not escape either; the plain box below still shows E.
    try {
      ApplicationHandleException(E);
      return;
    } catch (...) {
    }
  }
  MessageBoxA(nullptr, E.what(), "Error", MB_OK | MB_ICONERROR);
}
