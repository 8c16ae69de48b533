#include <gtest/gtest.h>

#include <memory>

#include "forms/ImgList.h"
#include "tests/forms/DibPixels.h"

namespace {

TBitmap *NewBitmap(int Width, int Height) {
  auto *b = new TBitmap;
  b->SetHandle(CreateBitmap(Width, Height, 1, 32, nullptr));
  return b;
}

TEST(ImageListTest, CountsFollowAddsDeletesAndSizeChanges) {
  int gdiBefore = testhooks::LiveGdiObjectCount();
  {
    TImageList list(nullptr);
    int changes = 0;
    list.OnChange = [&](TObject *sender) {
      EXPECT_EQ(sender, &list);
      ++changes;
    };
    EXPECT_EQ(list.Width(), 16);
    EXPECT_EQ(list.Height(), 16);
    std::unique_ptr<TBitmap> strip(NewBitmap(40, 16)), small(NewBitmap(8, 8)), empty(new TBitmap);
    EXPECT_EQ(list.Add(strip.get(), nullptr), 0);  // 40 pixels hold two whole images
    EXPECT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Add(small.get(), nullptr), 2);
    EXPECT_EQ(list.Count(), 3);
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(list.Add(empty.get(), nullptr), -1);
    EXPECT_EQ(list.Add(nullptr, nullptr), -1);
    EXPECT_EQ(list.Count(), 3);
    EXPECT_EQ(changes, 2);

    list.Delete(1);
    EXPECT_EQ(list.Count(), 2);
    EXPECT_THROW(list.Delete(2), Exception);
    EXPECT_EQ(changes, 3);

    EXPECT_THROW(list.SetSize(0, 16), Exception);
    list.SetSize(16, 16);  // unchanged: the images stay
    EXPECT_EQ(list.Count(), 2);
    list.SetSize(32, 32);
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(changes, 4);
    list.Clear();  // already empty
    EXPECT_EQ(changes, 4);
    EXPECT_THROW(list.AddResource(GetModuleHandleA(nullptr), "NoSuchStrip", clNone), EResNotFound);
  }
  if (gdiBefore >= 0) {
    EXPECT_EQ(testhooks::LiveGdiObjectCount(), gdiBefore);
  }
}

TEST(ImageListTest, GetIconOnValidAndInvalidIndexes) {
  int iconsBefore = testhooks::LiveIconCount();
  {
    TImageList list(nullptr);
    std::unique_ptr<TBitmap> strip(NewBitmap(32, 16));
    ASSERT_EQ(list.Add(strip.get(), nullptr), 0);
    TIcon icon;
    int changes = 0;
    icon.OnChange = [&](TObject *) { ++changes; };
    ASSERT_TRUE(list.GetIcon(1, &icon));
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(icon.Width(), 16);
    EXPECT_EQ(icon.Height(), 16);
    HICON first = icon.Handle();
    for (int bad : {-1, 2, 100}) {
      SCOPED_TRACE(bad);
      EXPECT_FALSE(list.GetIcon(bad, &icon));
      EXPECT_EQ(icon.Handle(), first);
      TBitmap bitmap;
      EXPECT_FALSE(list.GetBitmap(bad, &bitmap));
      EXPECT_TRUE(bitmap.Empty());
    }
    TBitmap bitmap;
    ASSERT_TRUE(list.GetBitmap(0, &bitmap));
    EXPECT_EQ(bitmap.Width(), 16);
    EXPECT_EQ(bitmap.TransparentColor, TImageList::kBitmapKeyColor);
  }
  if (iconsBefore >= 0) {
    EXPECT_EQ(testhooks::LiveIconCount(), iconsBefore);
  }
}

// Draws image 1 of a two-image strip whose second half has a transparent key colour in
// a checker pattern, and checks every pixel of the result.
TEST(ImageListTest, DrawnImagesAndIconsLeaveTransparentPixelsAlone) {
  if (testhooks::HostLayer()) GTEST_SKIP() << "the host layer draws nothing";
  const COLORREF key = 0x00FF00FF, ink = 0x000000FF, other = 0x00FF0000, back = 0x00008000;
  dibpixels::Dib source(8, 4);
  ASSERT_NE(source.Bits, nullptr);
  auto opaque = [](int x, int y) { return (x + y) % 2 == 0; };  // within image 1
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 8; ++x) source.Set(x, y, x < 4 ? other : (opaque(x - 4, y) ? ink : key));
  TBitmap strip;
  strip.SetHandle(source.Release());
  strip.TransparentColor = key;
  TImageList list(nullptr);
  list.SetSize(4, 4);
  ASSERT_EQ(list.Add(&strip, nullptr), 0);
  ASSERT_EQ(list.Count(), 2);
  TIcon icon;
  ASSERT_TRUE(list.GetIcon(1, &icon));

  enum Way { Enabled, Disabled, AsIcon };
  for (Way way : {Enabled, Disabled, AsIcon}) {
    SCOPED_TRACE(way);
    dibpixels::Dib dest(6, 6);
    dest.Fill(back);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, dest.Bitmap);
    {
      TCanvas canvas;
      canvas.SetHandle(dc);
      if (way == AsIcon)
        canvas.Draw(1, 1, &icon);
      else
        list.Draw(&canvas, 1, 1, 1, way == Enabled);
    }
    SelectObject(dc, old);
    DeleteDC(dc);
    auto drawn = [&](int i, int j) { return i >= 0 && i < 4 && j >= 0 && j < 4 && opaque(i, j); };
    for (int y = 0; y < 6; ++y)
      for (int x = 0; x < 6; ++x) {
        int i = x - 1, j = y - 1;
        COLORREF want = back;
        if (way != Disabled) {
          if (drawn(i, j)) want = ink;
        } else if (drawn(i, j)) {
          want = GetSysColor(COLOR_BTNSHADOW);
        } else if (drawn(i - 1, j - 1)) {
          want = GetSysColor(COLOR_BTNHIGHLIGHT);  // the emboss, one pixel down and right
        }
        EXPECT_EQ(dest.Get(x, y), want) << "at " << x << "," << y;
      }
  }
}

// res/Strip32x16.bmp, 16 colours: image 0 is red above row 8, image 1 blue left of
// column 8; the rest of both is the key colour, bright magenta.
TEST(ImageListTest, ResourceStripIsCutIntoImages) {
  HINSTANCE instance = GetModuleHandleA(nullptr);
  TBitmap whole;
  whole.LoadFromResourceName(instance, "STRIP");
  EXPECT_EQ(whole.Width(), 32);
  EXPECT_EQ(whole.Height(), 16);

  TImageList list(nullptr);
  int changes = 0;
  list.OnChange = [&](TObject *) { ++changes; };
  EXPECT_EQ(list.AddResource(instance, "STRIP", 0xFF00FF), 0);
  EXPECT_EQ(list.AddResource(instance, "STRIP", 0xFF00FF), 2);
  EXPECT_EQ(list.Count(), 4);
  EXPECT_EQ(changes, 2);
  if (testhooks::HostLayer()) return;  // nothing is drawn there

  const COLORREF back = 0x00808000, red = 0x000000FF, blue = 0x00FF0000;
  for (int index : {0, 3}) {
    SCOPED_TRACE(index);
    dibpixels::Dib dest(16, 16);
    dest.Fill(back);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, dest.Bitmap);
    {
      TCanvas canvas;
      canvas.SetHandle(dc);
      list.Draw(&canvas, 0, 0, index);
    }
    SelectObject(dc, old);
    DeleteDC(dc);
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 16; ++x) {
        COLORREF want = index == 0 ? (y < 8 ? red : back) : (x < 8 ? blue : back);
        EXPECT_EQ(dest.Get(x, y), want) << "at " << x << "," << y;
      }
  }
}

}  // namespace
