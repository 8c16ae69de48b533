// GDI helpers for transparent images: masks are made by a colour-to-monochrome blit,
// which every GDI (and the host layer) supports, rather than TransparentBlt/MaskBlt.
#include "forms/GdiUtil.h"

#include <string>

#include "forms/Exception.h"

namespace gdiutil {

namespace {

// "Destination AND NOT source": clears the destination where the source is white.
const DWORD kRopDSna = 0x00220326;
// "Source ? destination : pattern": paints the pattern where the source is black.
const DWORD kRopPSDPxax = 0x00B8074A;
const COLORREF kBlack = 0x000000;
const COLORREF kWhite = 0xFFFFFF;

// Monochrome sources map 0 bits to the destination's text colour and 1 bits to its
// background colour; these blits want black and white.
class MonoColours {
 public:
  explicit MonoColours(HDC DC) : FDC(DC), FText(SetTextColor(DC, kBlack)), FBk(SetBkColor(DC, kWhite)) {}
  ~MonoColours() {
    SetTextColor(FDC, FText);
    SetBkColor(FDC, FBk);
  }
  MonoColours(const MonoColours &) = delete;
  MonoColours &operator=(const MonoColours &) = delete;

 private:
  HDC FDC;
  COLORREF FText, FBk;
};

}  // namespace

MemoryDC::MemoryDC(HBITMAP Bitmap) : FDC(CreateCompatibleDC(nullptr)) {
  if (!FDC) throw Exception("Cannot create a memory device context");
  FOld = SelectObject(FDC, Bitmap);
}

MemoryDC::~MemoryDC() {
  SelectObject(FDC, FOld);
  DeleteDC(FDC);
}

SIZE BitmapSize(HBITMAP Bitmap) {
  BITMAP bm{};
  if (!Bitmap || GetObjectA(Bitmap, sizeof bm, &bm) == 0) return SIZE{0, 0};
  // Bottom-up and top-down DIB sections report their height with either sign.
  return SIZE{bm.bmWidth, bm.bmHeight < 0 ? -bm.bmHeight : bm.bmHeight};
}

HBITMAP CreateScreenBitmap(int Width, int Height) {
  HDC screen = GetDC(nullptr);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, Width, Height);
  ReleaseDC(nullptr, screen);
  if (!bitmap)
    throw Exception("Cannot create a bitmap of " + std::to_string(Width) + " x " + std::to_string(Height));
  return bitmap;
}

HBITMAP CreateMonoBitmap(int Width, int Height) {
  HBITMAP bitmap = CreateBitmap(Width, Height, 1, 1, nullptr);
  if (!bitmap)
    throw Exception("Cannot create a mask of " + std::to_string(Width) + " x " + std::to_string(Height));
  return bitmap;
}

HBITMAP MakeMask(HDC Source, int X, int Y, int CopyWidth, int CopyHeight, int Width, int Height,
                 COLORREF Transparent) {
  HBITMAP mask = CreateMonoBitmap(Width, Height);
  MemoryDC dc(mask);
  PatBlt(dc.Handle(), 0, 0, Width, Height, WHITENESS);
  if (CopyWidth > 0 && CopyHeight > 0) {
    if (Transparent == CLR_NONE) {
      PatBlt(dc.Handle(), 0, 0, CopyWidth, CopyHeight, BLACKNESS);
    } else {
      // Colour to monochrome: pixels of the source's background colour become 1.
      COLORREF oldBk = SetBkColor(Source, Transparent);
      BitBlt(dc.Handle(), 0, 0, CopyWidth, CopyHeight, Source, X, Y, SRCCOPY);
      SetBkColor(Source, oldBk);
    }
  }
  return mask;
}

void BlackOutMasked(HDC Image, HDC Mask, int Width, int Height) {
  MonoColours colours(Image);
  BitBlt(Image, 0, 0, Width, Height, Mask, 0, 0, kRopDSna);
}

void DrawMasked(HDC Dest, int X, int Y, int Width, int Height, HDC Image, HDC Mask, int SrcWidth,
                int SrcHeight) {
  MonoColours colours(Dest);
  StretchBlt(Dest, X, Y, Width, Height, Mask, 0, 0, SrcWidth, SrcHeight, SRCAND);
  StretchBlt(Dest, X, Y, Width, Height, Image, 0, 0, SrcWidth, SrcHeight, SRCPAINT);
}

void PaintMaskShape(HDC Dest, int X, int Y, int Width, int Height, HDC Mask, COLORREF Color) {
  HBRUSH brush = CreateSolidBrush(Color);
  if (!brush) return;
  HGDIOBJ oldBrush = SelectObject(Dest, brush);
  {
    MonoColours colours(Dest);
    BitBlt(Dest, X, Y, Width, Height, Mask, 0, 0, kRopPSDPxax);
  }
  SelectObject(Dest, oldBrush);
  DeleteObject(brush);
}

}  // namespace gdiutil
