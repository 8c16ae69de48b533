// The window timer and the painted containers and decorations: panels, bevels,
// shapes, and radio groups that keep one radio button per item.
#include "forms/ExtCtrls.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace {

// A 3-D frame Width pixels wide just inside Rect, which shrinks to what is left inside.
void Frame3D(TCanvas *Canvas, TRect &Rect, TColor TopLeft, TColor BottomRight, int Width) {
  Canvas->Brush()->SetStyle(bsSolid);
  for (int i = 0; i < Width && Rect.Width() > 0 && Rect.Height() > 0; ++i) {
    Canvas->Brush()->SetColor(TopLeft);
    Canvas->FillRect(::Rect(Rect.Left, Rect.Top, Rect.Right - 1, Rect.Top + 1));
    Canvas->FillRect(::Rect(Rect.Left, Rect.Top, Rect.Left + 1, Rect.Bottom - 1));
    Canvas->Brush()->SetColor(BottomRight);
    Canvas->FillRect(::Rect(Rect.Right - 1, Rect.Top, Rect.Right, Rect.Bottom));
    Canvas->FillRect(::Rect(Rect.Left, Rect.Bottom - 1, Rect.Right, Rect.Bottom));
    Rect = ::Rect(Rect.Left + 1, Rect.Top + 1, Rect.Right - 1, Rect.Bottom - 1);
  }
}

void FillStrip(TCanvas *Canvas, const TRect &Rect, TColor Color) {
  Canvas->Brush()->SetStyle(bsSolid);
  Canvas->Brush()->SetColor(Color);
  Canvas->FillRect(Rect);
}

}  // namespace

// ---- TTimer --------------------------------------------------------------------------------

TTimer::TTimer(TComponent *AOwner) : TComponent(AOwner) {
  FWindow = AllocateHWnd([this](TMessage &Message) { WndProc(Message); });
}

TTimer::~TTimer() {
  FEnabled = false;
  UpdateTimer();
  DeallocateHWnd(FWindow);
}

void TTimer::SetEnabled(bool Value) {
  if (FEnabled == Value) return;
  FEnabled = Value;
  UpdateTimer();
}

void TTimer::SetInterval(UINT Value) {
  if (FInterval == Value) return;
  FInterval = Value;
  UpdateTimer();
}

void TTimer::SetOnTimer(TNotifyEvent Value) {
  FOnTimer = std::move(Value);
  UpdateTimer();
}

void TTimer::UpdateTimer() {
  if (FRunning) KillTimer(FWindow, 1);
  FRunning = false;
  if (!FEnabled || FInterval == 0 || !FOnTimer) return;
  if (!SetTimer(FWindow, 1, FInterval, nullptr)) throw Exception("Not enough timers available");
  FRunning = true;
}

void TTimer::WndProc(TMessage &Message) {
  if (Message.Msg == WM_TIMER) {
    Timer();
    return;
  }
  Message.Result = DefWindowProcA(FWindow, Message.Msg, Message.WParam, Message.LParam);
}

void TTimer::Timer() {
  if (!FEnabled || !FOnTimer) return;
  // A copy: the handler may free this timer, and with it FOnTimer.
  TNotifyEvent handler = FOnTimer;
  handler(this);
}

// ---- TPanel --------------------------------------------------------------------------------

TPanel::TPanel(TComponent *AOwner) : TCustomControl(AOwner) {
  FWidth = 185;
  FHeight = 41;
  FColor = clBtnFace;
  FControlStyle =
      csAcceptsControls | csCaptureMouse | csClickEvents | csSetCaption | csOpaque | csDoubleClicks;
}

void TPanel::SetBorderWidth(int Value) {
  if (Value < 0) Value = 0;
  if (FBorderWidth == Value) return;
  FBorderWidth = Value;
  Realign();
  Invalidate();
}

TRect TPanel::ClientRect() const {
  TRect r = TCustomControl::ClientRect();
  int inset = FBorderWidth;
  if (BevelOuter != bvNone) inset += BevelWidth;
  if (BevelInner != bvNone) inset += BevelWidth;
  return Rect(r.Left + inset, r.Top + inset, r.Right - inset, r.Bottom - inset);
}

void TPanel::Paint() {
  TCanvas *canvas = Canvas();
  TRect r = Rect(0, 0, FWidth, FHeight);
  auto bevel = [&](TPanelBevel Bevel) {
    if (Bevel == bvNone) return;
    if (Bevel == bvSpace)
      Frame3D(canvas, r, Color(), Color(), BevelWidth);
    else if (Bevel == bvLowered)
      Frame3D(canvas, r, clBtnShadow, clBtnHighlight, BevelWidth);
    else
      Frame3D(canvas, r, clBtnHighlight, clBtnShadow, BevelWidth);
  };
  bevel(BevelOuter);
  Frame3D(canvas, r, Color(), Color(), FBorderWidth);
  bevel(BevelInner);
  FillStrip(canvas, r, Color());
  std::string text = Caption();
  if (text.empty()) return;
  canvas->Font()->Assign(Font());
  canvas->Brush()->SetStyle(bsClear);
  UINT flags = DT_SINGLELINE | DT_VCENTER | DT_EXPANDTABS;
  if (Alignment == taCenter)
    flags |= DT_CENTER;
  else if (Alignment == taRightJustify)
    flags |= DT_RIGHT;
  canvas->DrawText(text, r, flags);
}

// ---- TBevel --------------------------------------------------------------------------------

TBevel::TBevel(TComponent *AOwner) : TGraphicControl(AOwner) {
  FWidth = 50;
  FHeight = 50;
  FControlStyle &= ~static_cast<unsigned>(csClickEvents);
}

void TBevel::Paint() {
  TCanvas *canvas = Canvas();
  TColor first = Style == bsLowered ? clBtnShadow : clBtnHighlight;
  TColor second = Style == bsLowered ? clBtnHighlight : clBtnShadow;
  int w = FWidth, h = FHeight;
  switch (Shape) {
    case bsBox: {
      TRect r = Rect(0, 0, w, h);
      Frame3D(canvas, r, first, second, 1);
      break;
    }
    case bsFrame: {
      // Two offset outlines: a groove when lowered, a ridge when raised.
      TRect outer = Rect(0, 0, w - 1, h - 1);
      Frame3D(canvas, outer, first, first, 1);
      TRect inner = Rect(1, 1, w, h);
      Frame3D(canvas, inner, second, second, 1);
      break;
    }
    case bsTopLine:
      FillStrip(canvas, Rect(0, 0, w, 1), first);
      FillStrip(canvas, Rect(0, 1, w, 2), second);
      break;
    case bsBottomLine:
      FillStrip(canvas, Rect(0, h - 2, w, h - 1), first);
      FillStrip(canvas, Rect(0, h - 1, w, h), second);
      break;
    case bsLeftLine:
      FillStrip(canvas, Rect(0, 0, 1, h), first);
      FillStrip(canvas, Rect(1, 0, 2, h), second);
      break;
    case bsRightLine:
      FillStrip(canvas, Rect(w - 2, 0, w - 1, h), first);
      FillStrip(canvas, Rect(w - 1, 0, w, h), second);
      break;
    case bsSpacer:
      break;
  }
}

// ---- TShape --------------------------------------------------------------------------------

TShape::TShape(TComponent *AOwner) : TGraphicControl(AOwner), FBrush(new TBrush), FPen(new TPen) {
  FWidth = 65;
  FHeight = 65;
  FBrush->OnChange = [this](TObject *) { Invalidate(); };
  FPen->OnChange = [this](TObject *) { Invalidate(); };
}

TShape::~TShape() {
  delete FBrush;
  delete FPen;
}

void TShape::Paint() {
  TCanvas *canvas = Canvas();
  canvas->Pen()->Assign(FPen);
  canvas->Brush()->Assign(FBrush);
  // The pen is centred on the outline: keep all of it inside the control.
  int pen = std::max(FPen->Width(), 1);
  int x = pen / 2, y = pen / 2;
  int w = FWidth - pen + 1, h = FHeight - pen + 1;
  if (Shape == stSquare || Shape == stRoundSquare || Shape == stCircle) {
    int side = std::min(w, h);
    x += (w - side) / 2;
    y += (h - side) / 2;
    w = h = side;
  }
  if (w <= 0 || h <= 0) return;
  switch (Shape) {
    case stRectangle:
    case stSquare:
      canvas->Rectangle(x, y, x + w, y + h);
      break;
    case stRoundRect:
    case stRoundSquare:
    case stEllipse:
    case stCircle: {
      // Curves as polygons, so that every canvas can draw them: quarter arcs of
      // radius a quarter of the smaller side at the corners, or the whole ellipse.
      bool ellipse = Shape == stEllipse || Shape == stCircle;
      double rx = ellipse ? w / 2.0 : std::min(w, h) / 4.0;
      double ry = ellipse ? h / 2.0 : rx;
      const double kPi = 3.14159265358979323846;
      const int kSteps = 16;  // per quarter
      struct Corner {
        double cx, cy, start;
      };
      const Corner corners[4] = {{x + w - rx, y + ry, -kPi / 2},
                                 {x + w - rx, y + h - ry, 0},
                                 {x + rx, y + h - ry, kPi / 2},
                                 {x + rx, y + ry, kPi}};
      std::vector<TPoint> points;
      for (const Corner &c : corners)
        for (int i = 0; i <= kSteps; ++i) {
          double a = c.start + (kPi / 2) * i / kSteps;
          points.push_back(TPoint{static_cast<int>(std::lround(c.cx + rx * std::cos(a))),
                                  static_cast<int>(std::lround(c.cy + ry * std::sin(a)))});
        }
      canvas->Polygon(points);
      break;
    }
  }
}

// ---- TCustomRadioGroup ---------------------------------------------------------------------

TCustomRadioGroup::TCustomRadioGroup(TComponent *AOwner) : TCustomGroupBox(AOwner) {
  auto *items = new TStringList;
  items->OnChange = [this](TObject *) { UpdateButtons(); };
  FItems.reset(items);
}

TCustomRadioGroup::~TCustomRadioGroup() {
  FUpdating = true;
  for (TRadioButton *button : FButtons) delete button;
  FButtons.clear();
}

void TCustomRadioGroup::SetItems(const TStrings *Value) {
  if (Value)
    FItems->Assign(Value);
  else
    FItems->Clear();
}

TRadioButton *TCustomRadioGroup::Buttons(int Index) const {
  if (Index < 0 || Index >= static_cast<int>(FButtons.size())) return nullptr;
  return FButtons[static_cast<size_t>(Index)];
}

void TCustomRadioGroup::SetItemIndex(int Value) {
  // While the design is read the items may not be there yet: Loaded checks it.
  if (ComponentState() & csLoading) {
    FItemIndex = Value;
    return;
  }
  if (Value < -1 || Value >= FItems->Count()) Value = -1;
  if (Value == FItemIndex) return;
  FItemIndex = Value;
  FUpdating = true;
  for (size_t i = 0; i < FButtons.size(); ++i) FButtons[i]->SetChecked(static_cast<int>(i) == Value);
  FUpdating = false;
  if (Value >= 0) Click();
}

void TCustomRadioGroup::SetColumns(int Value) {
  Value = std::max(1, std::min(Value, 16));
  if (FColumns == Value) return;
  FColumns = Value;
  ArrangeButtons();
}

void TCustomRadioGroup::UpdateButtons() {
  int count = FItems->Count();
  if (!(ComponentState() & csLoading) && FItemIndex >= count) FItemIndex = -1;
  FUpdating = true;
  while (static_cast<int>(FButtons.size()) > count) {
    delete FButtons.back();
    FButtons.pop_back();
  }
  while (static_cast<int>(FButtons.size()) < count) {
    auto *button = new TRadioButton(this);
    button->OnClick = [this](TObject *Sender) { ButtonClick(Sender); };
    button->SetParent(this);
    FButtons.push_back(button);
  }
  for (int i = 0; i < count; ++i) {
    TRadioButton *button = FButtons[static_cast<size_t>(i)];
    button->SetCaption(FItems->Get(i));
    button->SetEnabled(Enabled());
    button->SetChecked(i == FItemIndex);
  }
  FUpdating = false;
  ArrangeButtons();
}

void TCustomRadioGroup::ArrangeButtons() {
  if (FButtons.empty()) return;
  int count = static_cast<int>(FButtons.size());
  int rows = (count + FColumns - 1) / FColumns;
  TRect area = ClientRect();
  const int kIndent = 6;  // from the frame to the first column's circles
  int columnWidth = std::max((area.Width() - kIndent) / FColumns, 0);
  int rowHeight = std::max(area.Height() / rows, 0);
  int top = area.Top + (area.Height() - rowHeight * rows) / 2;
  for (int i = 0; i < count; ++i) {
    int column = i / rows, row = i % rows;
    FButtons[static_cast<size_t>(i)]->SetBounds(area.Left + kIndent + column * columnWidth,
                                                top + row * rowHeight, columnWidth, rowHeight);
  }
}

void TCustomRadioGroup::ButtonClick(TObject *Sender) {
  if (FUpdating) return;
  auto it = std::find(FButtons.begin(), FButtons.end(), Sender);
  if (it == FButtons.end()) return;
  FItemIndex = static_cast<int>(it - FButtons.begin());
  Click();
}

void TCustomRadioGroup::Loaded() {
  TCustomGroupBox::Loaded();
  // The buttons were made while the group was loading; nobody else ends that for them.
  for (TRadioButton *button : FButtons)
    if (button->ComponentState() & csLoading) button->Loaded();
  if (FItemIndex < -1 || FItemIndex >= FItems->Count()) FItemIndex = -1;
  UpdateButtons();
}

void TCustomRadioGroup::Resize() {
  TCustomGroupBox::Resize();
  ArrangeButtons();
}

void TCustomRadioGroup::WndProc(TMessage &Message) {
  TCustomGroupBox::WndProc(Message);
  switch (Message.Msg) {
    case CM_FONTCHANGED:
      ArrangeButtons();  // the caption's height moves the client area
      break;
    case CM_ENABLEDCHANGED:
      for (TRadioButton *button : FButtons) button->SetEnabled(Enabled());
      break;
  }
}
