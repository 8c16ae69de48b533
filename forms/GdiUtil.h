// Small GDI helpers shared by the bitmap, the image list and the menus: device
// contexts that clean up after themselves and the mask tricks for transparent images.
#pragma once

#include "platform/winapi.h"

namespace gdiutil {

// A memory DC compatible with the screen, with one bitmap selected for its lifetime.
class MemoryDC {
 public:
  explicit MemoryDC(HBITMAP Bitmap);
  ~MemoryDC();
  MemoryDC(const MemoryDC &) = delete;
  MemoryDC &operator=(const MemoryDC &) = delete;
  HDC Handle() const { return FDC; }

 private:
  HDC FDC;
  HGDIOBJ FOld = nullptr;
};

// The width and height of a bitmap (0, 0 when it cannot be read).
SIZE BitmapSize(HBITMAP Bitmap);
// A bitmap in the screen's format, or a monochrome one; raises Exception when GDI
// refuses it.
HBITMAP CreateScreenBitmap(int Width, int Height);
HBITMAP CreateMonoBitmap(int Width, int Height);

// A Width x Height monochrome mask: 1 (white) where a pixel is transparent, 0 where it
// is drawn. Only the CopyWidth x CopyHeight corner comes from the area at (X, Y) of
// Source, with Transparent (CLR_NONE: nothing) as the transparent colour; the rest,
// past the source's edge, is transparent.
HBITMAP MakeMask(HDC Source, int X, int Y, int CopyWidth, int CopyHeight, int Width, int Height,
                 COLORREF Transparent);
// Paints the source pixels black where Mask is 1, so that the image can be drawn with
// SRCAND (mask) then SRCPAINT (image), and made into an icon.
void BlackOutMasked(HDC Image, HDC Mask, int Width, int Height);
// Draws a masked image (black where transparent) at the destination rectangle.
void DrawMasked(HDC Dest, int X, int Y, int Width, int Height, HDC Image, HDC Mask, int SrcWidth,
                int SrcHeight);
// Paints the mask's drawn pixels (0 bits) with Color, leaving the rest of Dest alone.
void PaintMaskShape(HDC Dest, int X, int Y, int Width, int Height, HDC Mask, COLORREF Color);

}  // namespace gdiutil
