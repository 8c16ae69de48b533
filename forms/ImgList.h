// A list of same-sized images (16 × 16 by default) for menus, actions and the tray
// icon's animation. Each image is kept as a colour bitmap, black where it is
// transparent, and a monochrome mask (1 = transparent), so it can be drawn with two
// blits and made into an icon.
#pragma once

#include <vector>

#include "forms/Graphics.h"

class TImageList : public TComponent {
 public:
  explicit TImageList(TComponent *AOwner);
  ~TImageList() override;
  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  // Changing the size empties the list; a size below 1 raises Exception.
  void SetSize(int AWidth, int AHeight);
  int Count() const { return static_cast<int>(FImages.size()); }
  // Add copies the image; returns its index. Mask may be nullptr (the bitmap's
  // TransparentColor then decides transparency). A bitmap wider than Width adds one
  // image per Width pixels, left to right (index of the first returned); a smaller one
  // is transparent beyond its edge. An empty image adds nothing and returns -1.
  int Add(const TBitmap *Image, const TBitmap *Mask);
  // Adds the icon drawn at the list's size; -1 for an empty icon.
  int AddIcon(const TIcon *Image);
  // Adds the bitmap resource ResName, split into images of Width pixels; returns the
  // first new index. Raises EResNotFound when it is missing.
  int AddResource(HINSTANCE Instance, const std::string &ResName, TColor TransparentColor);
  // An index outside the list raises Exception.
  void Delete(int Index);
  void Clear();
  // Copies image Index into Dest (an icon made from it; the bitmap and its mask).
  // An index outside the list leaves Dest as it is and returns false.
  bool GetIcon(int Index, TIcon *Dest) const;
  // Copies image Index into Dest on a background of kBitmapKeyColor, which becomes
  // Dest's TransparentColor; false (Dest unchanged) for an index outside the list.
  bool GetBitmap(int Index, TBitmap *Dest) const;
  static constexpr TColor kBitmapKeyColor = 0xFF00FF;
  // Draws image Index at (X, Y) of Canvas; disabled, it is drawn embossed in the
  // button highlight and shadow colours. An index outside the list draws nothing.
  void Draw(TCanvas *Canvas, int X, int Y, int Index, bool Enabled = true) const;
  TNotifyEvent OnChange;

 protected:
  virtual void Change();

 private:
  struct Image {
    HBITMAP Color;  // owned
    HBITMAP Mask;   // owned
  };
  // Cuts Source (and its mask, or the mask made from Transparent, CLR_NONE for none)
  // into images; returns the first new index.
  int AddStrip(HBITMAP Source, HBITMAP SourceMask, COLORREF Transparent);
  bool ValidIndex(int Index) const { return Index >= 0 && Index < Count(); }
  static void FreeImage(Image &AImage);
  std::vector<Image> FImages;
  int FWidth = 16;
  int FHeight = 16;
};
