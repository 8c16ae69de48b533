// The speed button: painted on its parent, pressed with the mouse (the press follows
// the pointer while the button is held), optionally one of a group that stays down
// one at a time.
#include "forms/Buttons.h"

#include <algorithm>
#include <string>

#include "forms/ControlText.h"

namespace {

// Draws the Width x Height part at (SourceX, 0) of Bitmap at (X, Y) of Dest, leaving
// the pixels of colour Transparent (CLR_NONE: none) as they were.
void DrawBitmapPart(HDC Dest, int X, int Y, HBITMAP Bitmap, int SourceX, int Width, int Height,
                    COLORREF Transparent, bool Opaque) {
  HDC source = CreateCompatibleDC(Dest);
  HGDIOBJ oldSource = SelectObject(source, Bitmap);
  if (Opaque) {
    BitBlt(Dest, X, Y, Width, Height, source, SourceX, 0, SRCCOPY);
  } else {
    // A monochrome mask, white where the image is transparent; then dest ^ image,
    // cleared where the image is drawn, ^ image again.
    HBITMAP mask = CreateBitmap(Width, Height, 1, 1, nullptr);
    HDC maskDC = CreateCompatibleDC(Dest);
    HGDIOBJ oldMask = SelectObject(maskDC, mask);
    COLORREF oldSourceBk = SetBkColor(source, Transparent);
    BitBlt(maskDC, 0, 0, Width, Height, source, SourceX, 0, SRCCOPY);
    SetBkColor(source, oldSourceBk);
    COLORREF oldText = SetTextColor(Dest, RGB(0, 0, 0));
    COLORREF oldBk = SetBkColor(Dest, RGB(255, 255, 255));
    BitBlt(Dest, X, Y, Width, Height, source, SourceX, 0, SRCINVERT);
    BitBlt(Dest, X, Y, Width, Height, maskDC, 0, 0, SRCAND);
    BitBlt(Dest, X, Y, Width, Height, source, SourceX, 0, SRCINVERT);
    SetTextColor(Dest, oldText);
    SetBkColor(Dest, oldBk);
    SelectObject(maskDC, oldMask);
    DeleteDC(maskDC);
    DeleteObject(mask);
  }
  SelectObject(source, oldSource);
  DeleteDC(source);
}

}  // namespace

TSpeedButton::TSpeedButton(TComponent *AOwner) : TGraphicControl(AOwner), FGlyph(new TBitmap) {
  FWidth = 23;
  FHeight = 22;
  FColor = clBtnFace;
  // The click is ours: on a release over the button, after the down state is settled.
  FControlStyle = csCaptureMouse | csDoubleClicks;
  FGlyph->OnChange = [this](TObject *) { Invalidate(); };
}

TSpeedButton::~TSpeedButton() { delete FGlyph; }

void TSpeedButton::SetGlyph(const TBitmap *Value) {
  if (Value)
    FGlyph->Assign(Value);
  else
    FGlyph->SetHandle(nullptr);
  Invalidate();
}

void TSpeedButton::SetNumGlyphs(TNumGlyphs Value) {
  Value = std::max(1, std::min(Value, 4));
  if (FNumGlyphs == Value) return;
  FNumGlyphs = Value;
  Invalidate();
}

void TSpeedButton::SetDown(bool Value) {
  // Only a button of a group stays down.
  if (GroupIndex == 0) Value = false;
  if (Value == FDown) return;
  // The down button of a group goes up only when another goes down, unless all may be up.
  if (FDown && !AllowAllUp) return;
  FDown = Value;
  FState = Value ? bsExclusive : bsUp;
  Invalidate();
  if (!Value || !Parent()) return;
  TWinControl *parent = Parent();
  for (int i = 0; i < parent->ControlCount(); ++i) {
    auto *other = dynamic_cast<TSpeedButton *>(parent->Controls(i));
    if (!other || other == this || other->GroupIndex != GroupIndex || !other->FDown) continue;
    other->FDown = false;
    other->FState = bsUp;
    other->Invalidate();
  }
}

void TSpeedButton::Click() { TGraphicControl::Click(); }

void TSpeedButton::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TGraphicControl::MouseDown(Button, Shift, X, Y);
  if (Button != mbLeft || !Enabled()) return;
  if (!FDown) {
    FState = bsDown;
    Invalidate();
  }
  FDragging = true;
}

void TSpeedButton::MouseMove(TShiftState Shift, int X, int Y) {
  TGraphicControl::MouseMove(Shift, X, Y);
  if (!FDragging) return;
  bool inside = X >= 0 && X < FWidth && Y >= 0 && Y < FHeight;
  TButtonState state = FDown ? bsExclusive : (inside ? bsDown : bsUp);
  if (state != FState) {
    FState = state;
    Invalidate();
  }
}

void TSpeedButton::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TGraphicControl::MouseUp(Button, Shift, X, Y);
  if (!FDragging || Button != mbLeft) return;
  FDragging = false;
  bool inside = X >= 0 && X < FWidth && Y >= 0 && Y < FHeight;
  if (GroupIndex == 0) {
    FState = bsUp;
  } else if (inside) {
    SetDown(!FDown);
    FState = FDown ? bsExclusive : bsUp;
  } else {
    FState = FDown ? bsExclusive : bsUp;
  }
  Invalidate();
  // Last: the handler may free the button.
  if (inside) Click();
}

TRect TSpeedButton::FaceRect() const {
  int inset = Flat ? 1 : 2;
  return Rect(inset, inset, FWidth - inset, FHeight - inset);
}

void TSpeedButton::Paint() {
  TCanvas *canvas = Canvas();
  TButtonState state = Enabled() ? FState : bsDisabled;
  bool pressed = state == bsDown || state == bsExclusive;
  canvas->Brush()->SetStyle(bsSolid);
  canvas->Brush()->SetColor(Color());
  canvas->FillRect(Rect(0, 0, FWidth, FHeight));
  RECT frame{0, 0, FWidth, FHeight};
  HDC dc = canvas->Handle();
  if (!Flat)
    DrawEdge(dc, &frame, pressed ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT);
  else if (pressed)
    DrawEdge(dc, &frame, BDR_SUNKENOUTER, BF_RECT);

  // The image for the state, falling back to a nearer one the glyph does not hold:
  // exclusive to down, down and disabled to up.
  int image = static_cast<int>(state);
  if (image == bsExclusive && FNumGlyphs <= bsExclusive) image = bsDown;
  if (image >= FNumGlyphs) image = bsUp;
  int offset = pressed ? 1 : 0;
  std::string caption = Caption();
  int glyphWidth = 0, glyphHeight = 0;
  if (!FGlyph->Empty()) {
    glyphWidth = FGlyph->Width() / FNumGlyphs;
    glyphHeight = FGlyph->Height();
  }
  SIZE text{0, 0};
  if (!caption.empty()) text = controltext::Measure(Font(), caption, DT_SINGLELINE, 0);
  const int kSpacing = 4;
  int total = glyphWidth + static_cast<int>(text.cx) + (glyphWidth && text.cx ? kSpacing : 0);
  int x = (FWidth - total) / 2 + offset;
  if (glyphWidth > 0) {
    int y = (FHeight - glyphHeight) / 2 + offset;
    COLORREF transparent = ColorToRGB(FGlyph->TransparentColor);
    DrawBitmapPart(dc, x, y, FGlyph->Handle(), image * glyphWidth, glyphWidth, glyphHeight, transparent,
                   FGlyph->TransparentColor == clNone);
    x += glyphWidth + kSpacing;
  }
  if (!caption.empty()) {
    canvas->Font()->Assign(Font());
    if (state == bsDisabled) canvas->Font()->SetColor(clGrayText);
    canvas->Brush()->SetStyle(bsClear);
    TRect r = Rect(x, offset, x + text.cx, FHeight + offset);
    canvas->DrawText(caption, r, DT_SINGLELINE | DT_VCENTER | DT_LEFT);
  }
}

void TSpeedButton::WndProc(TMessage &Message) {
  switch (Message.Msg) {
    case CM_DIALOGCHAR:
      if (IsAccel(static_cast<char>(Message.WParam), Caption()) && Enabled() && Visible() && Parent() &&
          Parent()->Showing()) {
        Message.Result = 1;
        Click();
        return;
      }
      TGraphicControl::WndProc(Message);
      return;
    default:
      TGraphicControl::WndProc(Message);
  }
}
