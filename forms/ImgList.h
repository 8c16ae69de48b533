// A list of same-sized images (16 × 16 by default) for menus, actions and the tray
// icon's animation. Images are kept as bitmaps with a transparent colour, or icons.
#pragma once

#include <vector>

#include "forms/Graphics.h"

class TImageList : public TComponent {
 public:
  explicit TImageList(TComponent *AOwner);
  ~TImageList() override;
  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  // Changing the size empties the list.
  void SetSize(int AWidth, int AHeight);
  int Count() const { return static_cast<int>(FImages.size()); }
  // Add copies the image; returns its index. Mask may be nullptr (the bitmap's
  // TransparentColor then decides transparency).
  int Add(const TBitmap *Image, const TBitmap *Mask);
  int AddIcon(const TIcon *Image);
  // Adds the bitmap resource ResName, split into images of Width pixels; returns the
  // first new index. Raises EResNotFound when it is missing.
  int AddResource(HINSTANCE Instance, const std::string &ResName, TColor TransparentColor);
  void Delete(int Index);
  void Clear();
  // Copies image Index into Dest (an icon made from it; the bitmap and its mask).
  // An index outside the list leaves Dest as it is and returns false.
  bool GetIcon(int Index, TIcon *Dest) const;
  bool GetBitmap(int Index, TBitmap *Dest) const;
  void Draw(TCanvas *Canvas, int X, int Y, int Index, bool Enabled = true) const;
  TNotifyEvent OnChange;

 protected:
  virtual void Change();

 private:
  struct Image {
    HBITMAP Color;  // owned
    HBITMAP Mask;   // owned, may be nullptr
    HICON Icon;     // owned, may be nullptr (made on first GetIcon)
  };
  std::vector<Image> FImages;
  int FWidth = 16;
  int FHeight = 16;
};
