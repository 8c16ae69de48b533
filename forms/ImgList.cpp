// The image list: same-sized images cut from bitmaps or drawn from icons, each kept as
// a black-backed colour bitmap and its mask.
#include "forms/ImgList.h"

#include <algorithm>
#include <string>
#include <utility>

#include "forms/GdiUtil.h"

namespace {

// Deletes a bitmap unless it was handed on.
struct BitmapGuard {
  HBITMAP Bitmap;
  ~BitmapGuard() {
    if (Bitmap) DeleteObject(Bitmap);
  }
  HBITMAP Release() { return std::exchange(Bitmap, nullptr); }
};

COLORREF TransparentRGB(TColor Color) { return Color == clNone ? CLR_NONE : ColorToRGB(Color); }

}  // namespace

TImageList::TImageList(TComponent *AOwner) : TComponent(AOwner) {}

TImageList::~TImageList() {
  for (Image &image : FImages) FreeImage(image);
}

void TImageList::FreeImage(Image &AImage) {
  if (AImage.Color) DeleteObject(AImage.Color);
  if (AImage.Mask) DeleteObject(AImage.Mask);
  AImage = Image{nullptr, nullptr};
}

void TImageList::Change() {
  if (OnChange) {
    TNotifyEvent handler = OnChange;
    handler(this);
  }
}

void TImageList::SetSize(int AWidth, int AHeight) {
  if (AWidth < 1 || AHeight < 1)
    throw Exception("Invalid image size " + std::to_string(AWidth) + " x " + std::to_string(AHeight));
  if (AWidth == FWidth && AHeight == FHeight) return;
  FWidth = AWidth;
  FHeight = AHeight;
  Clear();
}

int TImageList::AddStrip(HBITMAP Source, HBITMAP SourceMask, COLORREF Transparent) {
  SIZE size = gdiutil::BitmapSize(Source);
  if (size.cx <= 0 || size.cy <= 0) return -1;
  int first = Count();
  int pieces = std::max(1, static_cast<int>(size.cx / FWidth));
  gdiutil::MemoryDC source(Source);
  for (int i = 0; i < pieces; ++i) {
    int x = i * FWidth;
    int copyWidth = std::min(FWidth, static_cast<int>(size.cx) - x);
    int copyHeight = std::min(FHeight, static_cast<int>(size.cy));
    BitmapGuard color{gdiutil::CreateScreenBitmap(FWidth, FHeight)};
    BitmapGuard mask{nullptr};
    if (SourceMask) {
      mask.Bitmap = gdiutil::CreateMonoBitmap(FWidth, FHeight);
      gdiutil::MemoryDC maskDC(mask.Bitmap), sourceMask(SourceMask);
      PatBlt(maskDC.Handle(), 0, 0, FWidth, FHeight, WHITENESS);
      BitBlt(maskDC.Handle(), 0, 0, copyWidth, copyHeight, sourceMask.Handle(), x, 0, SRCCOPY);
    } else {
      mask.Bitmap =
          gdiutil::MakeMask(source.Handle(), x, 0, copyWidth, copyHeight, FWidth, FHeight, Transparent);
    }
    {
      gdiutil::MemoryDC colorDC(color.Bitmap), maskDC(mask.Bitmap);
      PatBlt(colorDC.Handle(), 0, 0, FWidth, FHeight, BLACKNESS);
      BitBlt(colorDC.Handle(), 0, 0, copyWidth, copyHeight, source.Handle(), x, 0, SRCCOPY);
      gdiutil::BlackOutMasked(colorDC.Handle(), maskDC.Handle(), FWidth, FHeight);
    }
    FImages.push_back(Image{color.Release(), mask.Release()});
  }
  return first;
}

int TImageList::Add(const TBitmap *Image, const TBitmap *Mask) {
  if (!Image || Image->Empty()) return -1;
  HBITMAP mask = Mask && !Mask->Empty() ? Mask->Handle() : nullptr;
  int index = AddStrip(Image->Handle(), mask, mask ? CLR_NONE : TransparentRGB(Image->TransparentColor));
  if (index >= 0) Change();
  return index;
}

int TImageList::AddIcon(const TIcon *Image) {
  if (!Image || Image->Empty()) return -1;
  BitmapGuard color{gdiutil::CreateScreenBitmap(FWidth, FHeight)};
  BitmapGuard mask{gdiutil::CreateMonoBitmap(FWidth, FHeight)};
  {
    gdiutil::MemoryDC colorDC(color.Bitmap), maskDC(mask.Bitmap);
    PatBlt(colorDC.Handle(), 0, 0, FWidth, FHeight, BLACKNESS);
    PatBlt(maskDC.Handle(), 0, 0, FWidth, FHeight, WHITENESS);
    DrawIconEx(colorDC.Handle(), 0, 0, Image->Handle(), FWidth, FHeight, 0, nullptr, DI_IMAGE);
    DrawIconEx(maskDC.Handle(), 0, 0, Image->Handle(), FWidth, FHeight, 0, nullptr, DI_MASK);
    gdiutil::BlackOutMasked(colorDC.Handle(), maskDC.Handle(), FWidth, FHeight);
  }
  FImages.push_back(TImageList::Image{color.Release(), mask.Release()});
  Change();
  return Count() - 1;
}

int TImageList::AddResource(HINSTANCE Instance, const std::string &ResName, TColor TransparentColor) {
  BitmapGuard strip{
      static_cast<HBITMAP>(LoadImageA(Instance, ResName.c_str(), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION))};
  if (!strip.Bitmap) throw EResNotFound("Resource " + ResName + " not found");
  int index = AddStrip(strip.Bitmap, nullptr, TransparentRGB(TransparentColor));
  if (index >= 0) Change();
  return index;
}

void TImageList::Delete(int Index) {
  if (!ValidIndex(Index)) throw Exception("Image index " + std::to_string(Index) + " out of range");
  FreeImage(FImages[static_cast<size_t>(Index)]);
  FImages.erase(FImages.begin() + Index);
  Change();
}

void TImageList::Clear() {
  if (FImages.empty()) return;
  for (Image &image : FImages) FreeImage(image);
  FImages.clear();
  Change();
}

bool TImageList::GetIcon(int Index, TIcon *Dest) const {
  if (!ValidIndex(Index) || !Dest) return false;
  const Image &image = FImages[static_cast<size_t>(Index)];
  ICONINFO info{};
  info.fIcon = TRUE;
  info.hbmMask = image.Mask;
  info.hbmColor = image.Color;
  HICON icon = CreateIconIndirect(&info);  // copies both bitmaps
  if (!icon) return false;
  Dest->SetHandle(icon);
  return true;
}

bool TImageList::GetBitmap(int Index, TBitmap *Dest) const {
  if (!ValidIndex(Index) || !Dest) return false;
  const Image &image = FImages[static_cast<size_t>(Index)];
  BitmapGuard bitmap{gdiutil::CreateScreenBitmap(FWidth, FHeight)};
  {
    gdiutil::MemoryDC dest(bitmap.Bitmap), color(image.Color), mask(image.Mask);
    HBRUSH key = CreateSolidBrush(static_cast<COLORREF>(kBitmapKeyColor));
    RECT all{0, 0, FWidth, FHeight};
    FillRect(dest.Handle(), &all, key);
    DeleteObject(key);
    gdiutil::DrawMasked(dest.Handle(), 0, 0, FWidth, FHeight, color.Handle(), mask.Handle(), FWidth, FHeight);
  }
  Dest->TransparentColor = kBitmapKeyColor;
  Dest->SetHandle(bitmap.Release());
  return true;
}

void TImageList::Draw(TCanvas *Canvas, int X, int Y, int Index, bool Enabled) const {
  if (!Canvas || !ValidIndex(Index)) return;
  Canvas->RequiredState();
  HDC dc = Canvas->Handle();
  const Image &image = FImages[static_cast<size_t>(Index)];
  gdiutil::MemoryDC color(image.Color), mask(image.Mask);
  if (Enabled) {
    gdiutil::DrawMasked(dc, X, Y, FWidth, FHeight, color.Handle(), mask.Handle(), FWidth, FHeight);
  } else {
    gdiutil::PaintMaskShape(dc, X + 1, Y + 1, FWidth, FHeight, mask.Handle(),
                            GetSysColor(COLOR_BTNHIGHLIGHT));
    gdiutil::PaintMaskShape(dc, X, Y, FWidth, FHeight, mask.Handle(), GetSysColor(COLOR_BTNSHADOW));
  }
}
