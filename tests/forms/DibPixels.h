// Test helpers: 32-bit top-down DIB sections whose pixels a test can write and read
// directly, so that drawing results can be checked where GDI really draws (Windows,
// Wine); the host layer draws nothing, and tests skip their pixel checks there.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/winapi.h"

namespace dibpixels {

// Pixels in memory are 0x00RRGGBB; COLORREF is 0x00BBGGRR.
inline uint32_t ToPixel(COLORREF c) { return (c & 0xFF) << 16 | (c & 0xFF00) | ((c >> 16) & 0xFF); }

struct Dib {
  HBITMAP Bitmap = nullptr;
  uint32_t *Bits = nullptr;
  int Width = 0, Height = 0;

  Dib(int W, int H) : Width(W), Height(H) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = W;
    info.bmiHeader.biHeight = -H;  // top-down: row 0 first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void *bits = nullptr;
    Bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    Bits = static_cast<uint32_t *>(bits);
  }
  ~Dib() {
    if (Bitmap) DeleteObject(Bitmap);
  }
  Dib(const Dib &) = delete;
  Dib &operator=(const Dib &) = delete;
  // Hands the bitmap on (to a TBitmap); Bits stay readable while the new owner lives.
  HBITMAP Release() {
    HBITMAP b = Bitmap;
    Bitmap = nullptr;
    return b;
  }
  void Set(int X, int Y, COLORREF C) { Bits[Y * Width + X] = ToPixel(C); }
  COLORREF Get(int X, int Y) const {
    uint32_t p = Bits[Y * Width + X] & 0xFFFFFF;
    return (p & 0xFF) << 16 | (p & 0xFF00) | ((p >> 16) & 0xFF);
  }
  void Fill(COLORREF C) {
    for (int i = 0; i < Width * Height; ++i) Bits[i] = ToPixel(C);
  }
};

}  // namespace dibpixels
