// Fonts, brushes and pens that make their GDI objects on demand, a canvas that lends
// them to someone else's DC, and the bitmap and icon pictures.
#include "forms/Graphics.h"

#include <cstring>
#include <utility>

#include "forms/GdiUtil.h"

const char *const DefaultFontName = "ＭＳ Ｐゴシック";

COLORREF ColorToRGB(TColor Color) {
  if (Color < 0) return GetSysColor(static_cast<int>(Color & 0xFF));
  return static_cast<COLORREF>(Color);
}

namespace {

// The program's texts are CP932 whatever the system's code page is.
bool IsCp932LeadByte(unsigned char C) { return (C >= 0x81 && C <= 0x9F) || (C >= 0xE0 && C <= 0xFC); }

// At most Limit bytes of a CP932 text, never ending on the first byte of a pair.
std::string CutToBytes(const std::string &Text, size_t Limit) {
  size_t end = 0;
  while (end < Text.size()) {
    size_t step = IsCp932LeadByte(static_cast<unsigned char>(Text[end])) && end + 1 < Text.size() ? 2 : 1;
    if (end + step > Limit) break;
    end += step;
  }
  return Text.substr(0, end);
}

RECT ToRECT(const TRect &R) { return RECT{R.Left, R.Top, R.Right, R.Bottom}; }

}  // namespace

// ---- Graphics objects ---------------------------------------------------------------------

void TGraphicsObject::Changed() {
  if (OnChange) {
    TNotifyEvent handler = OnChange;  // the handler may replace OnChange
    handler(this);
  }
}

void TGraphicsObject::ChangedDeleting(HGDIOBJ Old) {
  struct Deleter {
    HGDIOBJ Object;
    ~Deleter() {
      if (Object) DeleteObject(Object);
    }
  } deleter{Old};
  TGraphicsObject::Changed();
}

TFont::TFont() : FName(DefaultFontName), FHeight(DefaultFontHeight), FCharset(SHIFTJIS_CHARSET) {}

TFont::~TFont() {
  if (FHandle) DeleteObject(FHandle);
}

void TFont::SetName(const std::string &Value) {
  if (Value == FName) return;
  FName = Value;
  Changed();
}

void TFont::SetHeight(int Value) {
  if (Value == FHeight) return;
  FHeight = Value;
  Changed();
}

void TFont::SetCharset(BYTE Value) {
  if (Value == FCharset) return;
  FCharset = Value;
  Changed();
}

void TFont::SetStyle(TFontStyles Value) {
  if (Value == FStyle) return;
  FStyle = Value;
  Changed();
}

void TFont::SetColor(TColor Value) {
  if (Value == FColor) return;
  FColor = Value;
  // The colour is not part of the font object: the handle stays.
  TGraphicsObject::Changed();
}

void TFont::Changed() {
  HGDIOBJ old = FHandle;
  FHandle = nullptr;
  ChangedDeleting(old);
}

HFONT TFont::Handle() {
  if (!FHandle) {
    std::string face = CutToBytes(FName, LF_FACESIZE - 1);
    FHandle = CreateFontA(FHeight, 0, 0, 0, (FStyle & fsBold) ? FW_BOLD : FW_NORMAL,
                          (FStyle & fsItalic) ? 1 : 0, (FStyle & fsUnderline) ? 1 : 0,
                          (FStyle & fsStrikeOut) ? 1 : 0, FCharset, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                          DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, face.c_str());
  }
  return FHandle;
}

void TFont::Assign(const TPersistent *Source) {
  auto *font = dynamic_cast<const TFont *>(Source);
  if (!font) {
    TPersistent::Assign(Source);
    return;
  }
  if (font == this) return;
  bool handleChanges = FName != font->FName || FHeight != font->FHeight || FCharset != font->FCharset ||
                       FStyle != font->FStyle;
  bool colourChanges = FColor != font->FColor;
  FName = font->FName;
  FHeight = font->FHeight;
  FCharset = font->FCharset;
  FStyle = font->FStyle;
  FColor = font->FColor;
  if (handleChanges)
    Changed();
  else if (colourChanges)
    TGraphicsObject::Changed();
}

TBrush::~TBrush() {
  if (FHandle) DeleteObject(FHandle);
}

void TBrush::SetColor(TColor Value) {
  if (Value == FColor) return;
  FColor = Value;
  // A clear brush paints nothing, whatever its colour, but its users read the colour.
  Changed();
}

void TBrush::SetStyle(TBrushStyle Value) {
  if (Value == FStyle) return;
  FStyle = Value;
  Changed();
}

void TBrush::Changed() {
  HGDIOBJ old = FHandle;
  FHandle = nullptr;
  ChangedDeleting(old);
}

HBRUSH TBrush::Handle() {
  if (!FHandle) {
    LOGBRUSH lb{};
    lb.lbStyle = FStyle == bsClear ? BS_NULL : BS_SOLID;
    lb.lbColor = ColorToRGB(FColor);
    FHandle = CreateBrushIndirect(&lb);
  }
  return FHandle;
}

void TBrush::Assign(const TPersistent *Source) {
  auto *brush = dynamic_cast<const TBrush *>(Source);
  if (!brush) {
    TPersistent::Assign(Source);
    return;
  }
  if (brush == this || (FColor == brush->FColor && FStyle == brush->FStyle)) return;
  FColor = brush->FColor;
  FStyle = brush->FStyle;
  Changed();
}

TPen::~TPen() {
  if (FHandle) DeleteObject(FHandle);
}

void TPen::SetColor(TColor Value) {
  if (Value == FColor) return;
  FColor = Value;
  Changed();
}

void TPen::SetWidth(int Value) {
  if (Value == FWidth) return;
  FWidth = Value;
  Changed();
}

void TPen::Changed() {
  HGDIOBJ old = FHandle;
  FHandle = nullptr;
  ChangedDeleting(old);
}

HPEN TPen::Handle() {
  if (!FHandle) FHandle = CreatePen(PS_SOLID, FWidth, ColorToRGB(FColor));
  return FHandle;
}

void TPen::Assign(const TPersistent *Source) {
  auto *pen = dynamic_cast<const TPen *>(Source);
  if (!pen) {
    TPersistent::Assign(Source);
    return;
  }
  if (pen == this || (FColor == pen->FColor && FWidth == pen->FWidth)) return;
  FColor = pen->FColor;
  FWidth = pen->FWidth;
  Changed();
}

// ---- Canvas -------------------------------------------------------------------------------

TCanvas::TCanvas() : FFont(new TFont), FBrush(new TBrush), FPen(new TPen) {
  // A changed object has a new handle: the old one leaves the DC before it is deleted.
  FFont->OnChange = [this](TObject *) { DeselectFont(); };
  FBrush->OnChange = [this](TObject *) { DeselectBrush(); };
  FPen->OnChange = [this](TObject *) { DeselectPen(); };
}

TCanvas::~TCanvas() {
  SetHandle(nullptr);
  delete FFont;
  delete FBrush;
  delete FPen;
}

void TCanvas::SetHandle(HDC DC) {
  if (DC == FHandle) return;
  DeselectFont();
  DeselectBrush();
  DeselectPen();
  FHandle = DC;
}

void TCanvas::DeselectFont() {
  if (FHandle && FOldFont) SelectObject(FHandle, FOldFont);
  FOldFont = nullptr;
}

void TCanvas::DeselectBrush() {
  if (FHandle && FOldBrush) SelectObject(FHandle, FOldBrush);
  FOldBrush = nullptr;
}

void TCanvas::DeselectPen() {
  if (FHandle && FOldPen) SelectObject(FHandle, FOldPen);
  FOldPen = nullptr;
}

void TCanvas::RequiredState() {
  if (!FHandle) throw Exception("Canvas does not allow drawing");
  if (!FOldFont) FOldFont = SelectObject(FHandle, FFont->Handle());
  if (!FOldBrush) FOldBrush = SelectObject(FHandle, FBrush->Handle());
  if (!FOldPen) FOldPen = SelectObject(FHandle, FPen->Handle());
  SetTextColor(FHandle, ColorToRGB(FFont->Color()));
  // Text is drawn on the brush's colour, or on what is there for a clear brush.
  SetBkColor(FHandle, ColorToRGB(FBrush->Color()));
  SetBkMode(FHandle, FBrush->Style() == bsClear ? TRANSPARENT : OPAQUE);
}

void TCanvas::FillRect(const TRect &Rect) {
  RequiredState();
  RECT r = ToRECT(Rect);
  ::FillRect(FHandle, &r, FBrush->Handle());
}

void TCanvas::FrameRect(const TRect &Rect) {
  RequiredState();
  RECT r = ToRECT(Rect);
  ::FrameRect(FHandle, &r, FBrush->Handle());
}

void TCanvas::Rectangle(int X1, int Y1, int X2, int Y2) {
  RequiredState();
  ::Rectangle(FHandle, X1, Y1, X2, Y2);
}

void TCanvas::DrawFocusRect(const TRect &Rect) {
  RequiredState();
  RECT r = ToRECT(Rect);
  ::DrawFocusRect(FHandle, &r);
}

void TCanvas::MoveTo(int X, int Y) {
  RequiredState();
  MoveToEx(FHandle, X, Y, nullptr);
}

void TCanvas::LineTo(int X, int Y) {
  RequiredState();
  ::LineTo(FHandle, X, Y);
}

void TCanvas::Polygon(const std::vector<TPoint> &Points) {
  RequiredState();
  if (Points.empty()) return;
  std::vector<POINT> points;
  points.reserve(Points.size());
  for (const TPoint &p : Points) points.push_back(POINT{p.X, p.Y});
  ::Polygon(FHandle, points.data(), static_cast<int>(points.size()));
}

void TCanvas::TextOut(int X, int Y, const std::string &Text) {
  RequiredState();
  ::TextOutA(FHandle, X, Y, Text.c_str(), static_cast<int>(Text.size()));
}

int TCanvas::DrawText(const std::string &Text, TRect &Rect, UINT Flags) {
  RequiredState();
  RECT r = ToRECT(Rect);
  // The text is the caller's const string: DrawTextA must not write ellipses into it.
  int height =
      ::DrawTextA(FHandle, Text.c_str(), static_cast<int>(Text.size()), &r, Flags & ~DT_MODIFYSTRING);
  Rect = TRect{r.left, r.top, r.right, r.bottom};
  return height;
}

int TCanvas::TextWidth(const std::string &Text) {
  RequiredState();
  SIZE size{0, 0};
  GetTextExtentPoint32A(FHandle, Text.c_str(), static_cast<int>(Text.size()), &size);
  return size.cx;
}

int TCanvas::TextHeight(const std::string &Text) {
  RequiredState();
  SIZE size{0, 0};
  GetTextExtentPoint32A(FHandle, Text.c_str(), static_cast<int>(Text.size()), &size);
  return size.cy;
}

void TCanvas::Draw(int X, int Y, TGraphic *Graphic) {
  if (!Graphic || Graphic->Empty()) return;
  RequiredState();
  Graphic->Draw(this, Bounds(X, Y, Graphic->Width(), Graphic->Height()));
}

// ---- Pictures -------------------------------------------------------------------------------

void TGraphic::Changed() {
  if (OnChange) {
    TNotifyEvent handler = OnChange;
    handler(this);
  }
}

TBitmap::~TBitmap() {
  if (FHandle) DeleteObject(FHandle);
}

int TBitmap::Width() const { return gdiutil::BitmapSize(FHandle).cx; }

int TBitmap::Height() const { return gdiutil::BitmapSize(FHandle).cy; }

void TBitmap::SetHandle(HBITMAP Value) {
  if (Value == FHandle) return;
  if (FHandle) DeleteObject(FHandle);
  FHandle = Value;
  Changed();
}

HBITMAP TBitmap::ReleaseHandle() {
  HBITMAP handle = FHandle;
  FHandle = nullptr;
  if (handle) Changed();
  return handle;
}

void TBitmap::LoadFromResourceName(HINSTANCE Instance, const std::string &ResName) {
  auto bitmap =
      static_cast<HBITMAP>(LoadImageA(Instance, ResName.c_str(), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
  if (!bitmap) throw EResNotFound("Resource " + ResName + " not found");
  SetHandle(bitmap);
}

void TBitmap::Assign(const TPersistent *Source) {
  if (Source == nullptr) {
    SetHandle(nullptr);
    return;
  }
  auto *bitmap = dynamic_cast<const TBitmap *>(Source);
  if (!bitmap) {
    TPersistent::Assign(Source);
    return;
  }
  if (bitmap == this) return;
  HBITMAP copy = nullptr;
  if (bitmap->FHandle) {
    copy = static_cast<HBITMAP>(CopyImage(bitmap->FHandle, IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    if (!copy) throw Exception("Cannot copy the bitmap");
  }
  TransparentColor = bitmap->TransparentColor;
  SetHandle(copy);
}

void TBitmap::Draw(TCanvas *ACanvas, const TRect &Rect) {
  if (!FHandle || !ACanvas) return;
  ACanvas->RequiredState();
  HDC dest = ACanvas->Handle();
  SIZE size = gdiutil::BitmapSize(FHandle);
  gdiutil::MemoryDC source(FHandle);
  if (TransparentColor == clNone) {
    StretchBlt(dest, Rect.Left, Rect.Top, Rect.Width(), Rect.Height(), source.Handle(), 0, 0, size.cx,
               size.cy, SRCCOPY);
    return;
  }
  HBITMAP mask = gdiutil::MakeMask(source.Handle(), 0, 0, size.cx, size.cy, size.cx, size.cy,
                                   ColorToRGB(TransparentColor));
  {
    gdiutil::MemoryDC maskDC(mask);
    // dest ^ image, cleared where drawn, ^ image again: the image where drawn, dest elsewhere.
    COLORREF oldText = SetTextColor(dest, 0x000000), oldBk = SetBkColor(dest, 0xFFFFFF);
    StretchBlt(dest, Rect.Left, Rect.Top, Rect.Width(), Rect.Height(), source.Handle(), 0, 0, size.cx,
               size.cy, SRCINVERT);
    StretchBlt(dest, Rect.Left, Rect.Top, Rect.Width(), Rect.Height(), maskDC.Handle(), 0, 0, size.cx,
               size.cy, SRCAND);
    StretchBlt(dest, Rect.Left, Rect.Top, Rect.Width(), Rect.Height(), source.Handle(), 0, 0, size.cx,
               size.cy, SRCINVERT);
    SetTextColor(dest, oldText);
    SetBkColor(dest, oldBk);
  }
  DeleteObject(mask);
}

TIcon::~TIcon() {
  if (FHandle) DestroyIcon(FHandle);
}

namespace {

SIZE IconSize(HICON Icon) {
  ICONINFO info{};
  if (!Icon || !GetIconInfo(Icon, &info)) return SIZE{0, 0};
  SIZE size;
  if (info.hbmColor) {
    size = gdiutil::BitmapSize(info.hbmColor);
  } else {
    // A monochrome icon keeps its AND and XOR masks one above the other.
    size = gdiutil::BitmapSize(info.hbmMask);
    size.cy /= 2;
  }
  if (info.hbmColor) DeleteObject(info.hbmColor);
  if (info.hbmMask) DeleteObject(info.hbmMask);
  return size;
}

}  // namespace

int TIcon::Width() const { return IconSize(FHandle).cx; }

int TIcon::Height() const { return IconSize(FHandle).cy; }

void TIcon::SetHandle(HICON Value) {
  if (Value == FHandle) return;
  if (FHandle) DestroyIcon(FHandle);
  FHandle = Value;
  Changed();
}

HICON TIcon::ReleaseHandle() {
  HICON handle = FHandle;
  FHandle = nullptr;
  if (handle) Changed();
  return handle;
}

void TIcon::LoadFromResourceName(HINSTANCE Instance, const std::string &ResName) {
  auto icon = static_cast<HICON>(LoadImageA(Instance, ResName.c_str(), IMAGE_ICON, 16, 16, 0));
  if (!icon) throw EResNotFound("Resource " + ResName + " not found");
  SetHandle(icon);
}

void TIcon::Assign(const TPersistent *Source) {
  if (Source == nullptr) {
    SetHandle(nullptr);
    return;
  }
  auto *icon = dynamic_cast<const TIcon *>(Source);
  if (!icon) {
    TPersistent::Assign(Source);
    return;
  }
  if (icon == this) return;
  HICON copy = nullptr;
  if (icon->FHandle) {
    copy = CopyIcon(icon->FHandle);
    if (!copy) throw Exception("Cannot copy the icon");
  }
  SetHandle(copy);
}

void TIcon::Draw(TCanvas *ACanvas, const TRect &Rect) {
  if (!FHandle || !ACanvas) return;
  ACanvas->RequiredState();
  DrawIconEx(ACanvas->Handle(), Rect.Left, Rect.Top, FHandle, Rect.Width(), Rect.Height(), 0, nullptr,
             DI_NORMAL);
}
