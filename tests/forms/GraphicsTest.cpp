#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "forms/Graphics.h"
#include "tests/forms/DibPixels.h"

namespace {

LOGFONTA FontOf(HFONT Font) {
  LOGFONTA lf{};
  EXPECT_EQ(GetObjectA(Font, sizeof lf, &lf), static_cast<int>(sizeof lf));
  return lf;
}

// The bytes of "ＭＳ Ｐゴシック" in CP932, from the code tables.
const char kDefaultFaceCp932[] = "\x82\x6C\x82\x72\x20\x82\x6F\x83\x53\x83\x56\x83\x62\x83\x4E";

TEST(FontTest, HandleCarriesTheAttributesAfterEachChange) {
  TFont font;
  LOGFONTA lf = FontOf(font.Handle());
  EXPECT_STREQ(lf.lfFaceName, kDefaultFaceCp932);
  EXPECT_EQ(lf.lfHeight, -12);
  EXPECT_EQ(lf.lfWeight, FW_NORMAL);
  EXPECT_EQ(lf.lfCharSet, SHIFTJIS_CHARSET);
  EXPECT_EQ(lf.lfQuality, DEFAULT_QUALITY);

  struct Case {
    const char *what;
    std::function<void(TFont &)> change;
    std::function<void(const LOGFONTA &)> check;
  };
  const Case cases[] = {
      {"name", [](TFont &f) { f.SetName("Arial"); },
       [](const LOGFONTA &l) { EXPECT_STREQ(l.lfFaceName, "Arial"); }},
      {"height", [](TFont &f) { f.SetHeight(-20); }, [](const LOGFONTA &l) { EXPECT_EQ(l.lfHeight, -20); }},
      {"bold", [](TFont &f) { f.SetStyle(fsBold); },
       [](const LOGFONTA &l) {
         EXPECT_EQ(l.lfWeight, FW_BOLD);
         EXPECT_EQ(l.lfItalic, 0);
       }},
      {"italic, underline, strike-out", [](TFont &f) { f.SetStyle(fsItalic | fsUnderline | fsStrikeOut); },
       [](const LOGFONTA &l) {
         EXPECT_EQ(l.lfWeight, FW_NORMAL);
         EXPECT_NE(l.lfItalic, 0);
         EXPECT_NE(l.lfUnderline, 0);
         EXPECT_NE(l.lfStrikeOut, 0);
       }},
      {"charset", [](TFont &f) { f.SetCharset(ANSI_CHARSET); },
       [](const LOGFONTA &l) { EXPECT_EQ(l.lfCharSet, ANSI_CHARSET); }},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    int changes = 0;
    font.OnChange = [&](TObject *sender) {
      EXPECT_EQ(sender, &font);
      ++changes;
    };
    c.change(font);
    EXPECT_EQ(changes, 1);
    c.check(FontOf(font.Handle()));
    c.change(font);  // the same value again is no change
    EXPECT_EQ(changes, 1);
  }
}

TEST(FontTest, LongNameIsCutBetweenCharacters) {
  // 16 double-byte characters (32 bytes) do not fit the 31 bytes of a face name: the
  // last whole character that fits is the 15th.
  std::string name;
  for (int i = 0; i < 16; ++i) name += "\x82\x60";  // "Ａ"
  TFont font;
  font.SetName(name);
  EXPECT_EQ(font.Name(), name);
  EXPECT_EQ(std::string(FontOf(font.Handle()).lfFaceName), name.substr(0, 30));
}

TEST(FontTest, AssignCopiesEveryAttribute) {
  TFont source;
  source.SetName("Courier New");
  source.SetHeight(-15);
  source.SetCharset(ANSI_CHARSET);
  source.SetStyle(fsBold | fsUnderline);
  source.SetColor(clRed);
  TFont dest;
  int changes = 0;
  dest.OnChange = [&](TObject *) { ++changes; };
  dest.Assign(&source);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(dest.Color(), clRed);
  LOGFONTA a = FontOf(source.Handle()), b = FontOf(dest.Handle());
  EXPECT_STREQ(b.lfFaceName, "Courier New");
  EXPECT_EQ(b.lfHeight, a.lfHeight);
  EXPECT_EQ(b.lfWeight, FW_BOLD);
  EXPECT_NE(b.lfUnderline, 0);
  EXPECT_EQ(b.lfCharSet, ANSI_CHARSET);
  EXPECT_NE(source.Handle(), dest.Handle());

  TBrush brush;
  EXPECT_THROW(dest.Assign(&brush), Exception);
}

TEST(BrushPenTest, HandlesHaveTheColours) {
  TBrush brush;
  brush.SetColor(0x00336699);
  LOGBRUSH lb{};
  ASSERT_GT(GetObjectA(brush.Handle(), sizeof lb, &lb), 0);
  EXPECT_EQ(lb.lbStyle, static_cast<UINT>(BS_SOLID));
  EXPECT_EQ(lb.lbColor, 0x00336699u);
  brush.SetColor(clBtnFace);  // a system colour is resolved when the handle is made
  ASSERT_GT(GetObjectA(brush.Handle(), sizeof lb, &lb), 0);
  EXPECT_EQ(lb.lbColor, GetSysColor(COLOR_BTNFACE));
  brush.SetStyle(bsClear);
  ASSERT_GT(GetObjectA(brush.Handle(), sizeof lb, &lb), 0);
  EXPECT_EQ(lb.lbStyle, static_cast<UINT>(BS_NULL));

  TPen pen;
  pen.SetColor(clNavy);
  pen.SetWidth(3);
  LOGPEN lp{};
  ASSERT_GT(GetObjectA(pen.Handle(), sizeof lp, &lp), 0);
  EXPECT_EQ(lp.lopnColor, 0x00800000u);
  EXPECT_EQ(lp.lopnWidth.x, 3);
}

TEST(CanvasTest, SelectsItsObjectsAndPutsTheOriginalsBack) {
  int gdiBefore = testhooks::LiveGdiObjectCount();
  HDC dc = CreateCompatibleDC(nullptr);
  ASSERT_NE(dc, nullptr);
  HGDIOBJ font0 = GetCurrentObject(dc, OBJ_FONT), brush0 = GetCurrentObject(dc, OBJ_BRUSH),
          pen0 = GetCurrentObject(dc, OBJ_PEN);
  {
    TCanvas canvas;
    EXPECT_THROW(canvas.FillRect(Rect(0, 0, 4, 4)), Exception);  // no DC yet
    canvas.SetHandle(dc);
    canvas.Font()->SetColor(clRed);
    canvas.FillRect(Rect(0, 0, 4, 4));
    EXPECT_EQ(GetCurrentObject(dc, OBJ_FONT), canvas.Font()->Handle());
    EXPECT_EQ(GetCurrentObject(dc, OBJ_BRUSH), canvas.Brush()->Handle());
    EXPECT_EQ(GetCurrentObject(dc, OBJ_PEN), canvas.Pen()->Handle());
    EXPECT_EQ(GetTextColor(dc), 0x000000FFu);

    // A changed font is a new handle, selected at the next drawing call.
    canvas.Font()->SetHeight(-30);
    canvas.TextOut(0, 0, "x");
    LOGFONTA lf{};
    ASSERT_GT(GetObjectA(GetCurrentObject(dc, OBJ_FONT), sizeof lf, &lf), 0);
    EXPECT_EQ(lf.lfHeight, -30);

    canvas.SetHandle(nullptr);
    EXPECT_EQ(GetCurrentObject(dc, OBJ_FONT), font0);
    EXPECT_EQ(GetCurrentObject(dc, OBJ_BRUSH), brush0);
    EXPECT_EQ(GetCurrentObject(dc, OBJ_PEN), pen0);
    canvas.SetHandle(dc);
    canvas.Rectangle(0, 0, 2, 2);
  }  // the canvas goes while its objects are selected
  EXPECT_EQ(GetCurrentObject(dc, OBJ_FONT), font0);
  DeleteDC(dc);
  if (gdiBefore >= 0) {
    EXPECT_EQ(testhooks::LiveGdiObjectCount(), gdiBefore);
  }
}

TEST(BitmapTest, AssignCopiesAndBothOwnTheirImage) {
  int gdiBefore = testhooks::LiveGdiObjectCount();
  {
    TBitmap a;
    EXPECT_TRUE(a.Empty());
    EXPECT_EQ(a.Width(), 0);
    int changes = 0;
    a.OnChange = [&](TObject *) { ++changes; };
    a.SetHandle(CreateBitmap(9, 6, 1, 1, nullptr));
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(a.Width(), 9);
    EXPECT_EQ(a.Height(), 6);
    a.TransparentColor = clSilver;

    auto *b = new TBitmap;
    b->Assign(&a);
    EXPECT_NE(b->Handle(), a.Handle());
    EXPECT_EQ(b->Width(), 9);
    EXPECT_EQ(b->Height(), 6);
    EXPECT_EQ(b->TransparentColor, clSilver);
    delete b;
    EXPECT_EQ(a.Width(), 9);  // still its own

    HBITMAP released = a.ReleaseHandle();
    EXPECT_TRUE(a.Empty());
    EXPECT_EQ(changes, 2);
    DeleteObject(released);
  }
  if (gdiBefore >= 0) {
    EXPECT_EQ(testhooks::LiveGdiObjectCount(), gdiBefore);
  }
}

TEST(BitmapTest, MissingResourceNamesTheResource) {
  TBitmap bitmap;
  try {
    bitmap.LoadFromResourceName(GetModuleHandleA(nullptr), "NoSuchGlyph");
    FAIL() << "no exception";
  } catch (const EResNotFound &e) {
    EXPECT_NE(e.Message().find("NoSuchGlyph"), std::string::npos) << e.Message();
  }
  EXPECT_TRUE(bitmap.Empty());
}

TEST(BitmapTest, DrawLeavesTheTransparentColourOut) {
  if (testhooks::HostLayer()) GTEST_SKIP() << "the host layer draws nothing";
  const COLORREF key = 0x0000FF00, back = 0x00404040;
  dibpixels::Dib image(4, 2);
  ASSERT_NE(image.Bits, nullptr);
  const COLORREF pixels[2][4] = {{0x000000FF, key, 0x00FF0000, key}, {key, 0x00FFFFFF, key, 0x00000000}};
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 4; ++x) image.Set(x, y, pixels[y][x]);
  TBitmap bitmap;
  bitmap.SetHandle(image.Release());

  for (TColor transparent : {static_cast<TColor>(key), static_cast<TColor>(clNone)}) {
    SCOPED_TRACE(transparent == clNone ? "opaque" : "transparent");
    bitmap.TransparentColor = transparent;
    dibpixels::Dib dest(6, 4);
    dest.Fill(back);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, dest.Bitmap);
    {
      TCanvas canvas;
      canvas.SetHandle(dc);
      canvas.Draw(1, 1, &bitmap);
    }
    SelectObject(dc, old);
    DeleteDC(dc);
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 6; ++x) {
        bool inside = x >= 1 && x < 5 && y >= 1 && y < 3;
        COLORREF want = back;
        if (inside) {
          COLORREF p = pixels[y - 1][x - 1];
          want = (p == key && transparent != clNone) ? back : p;
        }
        EXPECT_EQ(dest.Get(x, y), want) << "at " << x << "," << y;
      }
  }
}

TEST(IconTest, CopiesOwnTheirHandles) {
  int iconsBefore = testhooks::LiveIconCount();
  HBITMAP color = CreateBitmap(16, 16, 1, 32, nullptr), mask = CreateBitmap(16, 16, 1, 1, nullptr);
  ICONINFO info{TRUE, 0, 0, mask, color};
  HICON made = CreateIconIndirect(&info);
  DeleteObject(color);
  DeleteObject(mask);
  ASSERT_NE(made, nullptr);
  {
    auto *a = new TIcon;
    int changes = 0;
    a->OnChange = [&](TObject *) { ++changes; };
    a->SetHandle(made);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(a->Width(), 16);
    EXPECT_EQ(a->Height(), 16);

    TIcon b;
    int bChanges = 0;
    b.OnChange = [&](TObject *) { ++bChanges; };
    b.Assign(a);
    EXPECT_EQ(bChanges, 1);
    ASSERT_NE(b.Handle(), nullptr);
    EXPECT_NE(b.Handle(), a->Handle());
    delete a;  // destroys its own icon only
    ICONINFO left{};
    ASSERT_TRUE(GetIconInfo(b.Handle(), &left));
    DeleteObject(left.hbmColor);
    DeleteObject(left.hbmMask);
    EXPECT_EQ(b.Width(), 16);

    TIcon empty;
    b.Assign(&empty);
    EXPECT_TRUE(b.Empty());
    EXPECT_EQ(bChanges, 2);
    EXPECT_THROW(b.LoadFromResourceName(GetModuleHandleA(nullptr), "NoSuchIcon"), EResNotFound);
  }
  if (iconsBefore >= 0) {
    EXPECT_EQ(testhooks::LiveIconCount(), iconsBefore);
  }
}

}  // namespace
