// Text measurements on a screen DC for the controls' captions.
#include "forms/ControlText.h"

namespace controltext {

SIZE Measure(TFont *Font, const std::string &Text, UINT Flags, int Width) {
  HDC dc = GetDC(nullptr);
  HGDIOBJ old = SelectObject(dc, Font->Handle());
  RECT r{0, 0, Width, 0};
  DrawTextA(dc, Text.c_str(), static_cast<int>(Text.size()), &r, Flags | DT_CALCRECT);
  SelectObject(dc, old);
  ReleaseDC(nullptr, dc);
  return SIZE{r.right - r.left, r.bottom - r.top};
}

int CellHeight(TFont *Font) {
  HDC dc = GetDC(nullptr);
  HGDIOBJ old = SelectObject(dc, Font->Handle());
  TEXTMETRICA tm{};
  GetTextMetricsA(dc, &tm);
  SelectObject(dc, old);
  ReleaseDC(nullptr, dc);
  return tm.tmHeight;
}

bool AccelCuesHidden(TWinControl *Window) {
  if (!Window || !Window->HandleAllocated()) return false;
  return (SendMessageA(Window->Handle(), WM_QUERYUISTATE, 0, 0) & UISF_HIDEACCEL) != 0;
}

}  // namespace controltext
