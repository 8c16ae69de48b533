// GDI as the form framework uses it: objects and their lifetime, what a DC holds,
// bitmaps and icons, and text measurement. Where Wine's real fonts give other numbers
// than the host's fixed rule, the tests compare measurements with each other; the
// rule's own numbers are checked on the host only.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/winapi.h"

namespace {

// Leak counts are kept by the host layer only (-1 elsewhere).
class Gdi : public ::testing::Test {
 protected:
  void SetUp() override {
    FObjects = testhooks::LiveGdiObjectCount();
    FIcons = testhooks::LiveIconCount();
  }
  void TearDown() override {
    if (FObjects >= 0) {
      EXPECT_EQ(testhooks::LiveGdiObjectCount(), FObjects) << "GDI objects leaked";
    }
    if (FIcons >= 0) {
      EXPECT_EQ(testhooks::LiveIconCount(), FIcons) << "icons leaked";
    }
  }
  int FObjects = 0, FIcons = 0;
};

BITMAP BitmapOf(HGDIOBJ bm) {
  BITMAP b{};
  EXPECT_EQ(GetObjectA(bm, sizeof b, &b), static_cast<int>(sizeof b));
  return b;
}

TEST_F(Gdi, StockObjectsAreSharedAndNeverDeleted) {
  struct Stock {
    int index;
    DWORD type;
  };
  const Stock kStock[] = {{WHITE_BRUSH, OBJ_BRUSH}, {BLACK_BRUSH, OBJ_BRUSH},     {NULL_BRUSH, OBJ_BRUSH},
                          {BLACK_PEN, OBJ_PEN},     {WHITE_PEN, OBJ_PEN},         {NULL_PEN, OBJ_PEN},
                          {SYSTEM_FONT, OBJ_FONT},  {DEFAULT_GUI_FONT, OBJ_FONT}, {ANSI_VAR_FONT, OBJ_FONT}};
  for (const Stock &s : kStock) {
    HGDIOBJ h = GetStockObject(s.index);
    ASSERT_NE(h, nullptr) << s.index;
    EXPECT_EQ(GetStockObject(s.index), h) << s.index;
    EXPECT_EQ(GetObjectType(h), s.type) << s.index;
    EXPECT_TRUE(DeleteObject(h)) << s.index;  // harmless, and the object stays
    EXPECT_EQ(GetObjectType(h), s.type) << s.index;
  }
  LOGBRUSH lb{};
  ASSERT_EQ(GetObjectA(GetStockObject(NULL_BRUSH), sizeof lb, &lb), static_cast<int>(sizeof lb));
  EXPECT_EQ(lb.lbStyle, static_cast<UINT>(BS_NULL));
  ASSERT_EQ(GetObjectA(GetStockObject(BLACK_BRUSH), sizeof lb, &lb), static_cast<int>(sizeof lb));
  EXPECT_EQ(lb.lbColor, RGB(0, 0, 0));
  LOGPEN lp{};
  ASSERT_EQ(GetObjectA(GetStockObject(WHITE_PEN), sizeof lp, &lp), static_cast<int>(sizeof lp));
  EXPECT_EQ(lp.lopnColor, RGB(255, 255, 255));
  LOGFONTA lf{};
  ASSERT_EQ(GetObjectA(GetStockObject(DEFAULT_GUI_FONT), sizeof lf, &lf), static_cast<int>(sizeof lf));
  EXPECT_EQ(lf.lfHeight, -12);
  EXPECT_EQ(lf.lfCharSet, SHIFTJIS_CHARSET);  // a Japanese system
  EXPECT_EQ(GetStockObject(9999), nullptr);
}

TEST_F(Gdi, CreatedObjectsKeepWhatTheyWereMadeOfUntilDeleted) {
  HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
  HPEN pen = CreatePen(PS_DOT, 1, RGB(4, 5, 6));
  HFONT font = CreateFontA(-13, 0, 0, 0, FW_BOLD, TRUE, FALSE, FALSE, SHIFTJIS_CHARSET, OUT_DEFAULT_PRECIS,
                           CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, "ＭＳ Ｐゴシック");
  HBITMAP bitmap = CreateBitmap(3, 2, 1, 1, nullptr);
  ASSERT_TRUE(brush && pen && font && bitmap);
  if (FObjects >= 0) {
    EXPECT_EQ(testhooks::LiveGdiObjectCount(), FObjects + 4);
  }

  LOGBRUSH lb{};
  EXPECT_EQ(GetObjectA(brush, sizeof lb, &lb), static_cast<int>(sizeof lb));
  EXPECT_EQ(lb.lbStyle, static_cast<UINT>(BS_SOLID));
  EXPECT_EQ(lb.lbColor, RGB(1, 2, 3));
  LOGPEN lp{};
  EXPECT_EQ(GetObjectA(pen, sizeof lp, &lp), static_cast<int>(sizeof lp));
  EXPECT_EQ(lp.lopnStyle, static_cast<UINT>(PS_DOT));
  EXPECT_EQ(lp.lopnWidth.x, 1);
  EXPECT_EQ(lp.lopnColor, RGB(4, 5, 6));
  LOGFONTA lf{};
  EXPECT_EQ(GetObjectA(font, 0, nullptr), static_cast<int>(sizeof lf));
  EXPECT_EQ(GetObjectA(font, sizeof lf, &lf), static_cast<int>(sizeof lf));
  EXPECT_EQ(lf.lfHeight, -13);
  EXPECT_EQ(lf.lfWeight, FW_BOLD);
  EXPECT_EQ(lf.lfItalic, TRUE);
  EXPECT_EQ(lf.lfCharSet, SHIFTJIS_CHARSET);
  EXPECT_STREQ(lf.lfFaceName, "ＭＳ Ｐゴシック");
  BITMAP b = BitmapOf(bitmap);
  EXPECT_EQ(b.bmWidth, 3);
  EXPECT_EQ(b.bmHeight, 2);
  EXPECT_EQ(b.bmBitsPixel, 1);
  EXPECT_EQ(b.bmWidthBytes, 2);  // rows of a device bitmap are WORD-aligned

  for (HGDIOBJ h : {static_cast<HGDIOBJ>(brush), static_cast<HGDIOBJ>(pen), static_cast<HGDIOBJ>(font),
                    static_cast<HGDIOBJ>(bitmap)}) {
    EXPECT_TRUE(DeleteObject(h));
    EXPECT_EQ(GetObjectType(h), 0u);
    EXPECT_FALSE(DeleteObject(h));  // a second delete finds nothing
  }
}

TEST_F(Gdi, SelectionFollowsWindowsRules) {
  HDC screen = GetDC(nullptr);
  HDC mem = CreateCompatibleDC(screen);
  ASSERT_TRUE(screen && mem);
  EXPECT_EQ(GetObjectType(mem), static_cast<DWORD>(OBJ_MEMDC));
  EXPECT_EQ(GetObjectType(screen), static_cast<DWORD>(OBJ_DC));

  // A new DC holds the stock pen, brush and font; selecting returns what was there.
  HPEN pen = CreatePen(PS_SOLID, 2, RGB(9, 9, 9));
  EXPECT_EQ(SelectObject(mem, pen), GetStockObject(BLACK_PEN));
  EXPECT_EQ(GetCurrentObject(mem, OBJ_PEN), pen);
  EXPECT_EQ(SelectObject(mem, GetStockObject(NULL_BRUSH)), GetStockObject(WHITE_BRUSH));
  EXPECT_EQ(SelectObject(mem, GetStockObject(DEFAULT_GUI_FONT)), GetStockObject(SYSTEM_FONT));

  // A memory DC starts with a 1x1 monochrome bitmap, so bitmaps made for it are monochrome.
  BITMAP first = BitmapOf(GetCurrentObject(mem, OBJ_BITMAP));
  EXPECT_EQ(first.bmWidth, 1);
  EXPECT_EQ(first.bmBitsPixel, 1);
  HBITMAP mono = CreateCompatibleBitmap(mem, 8, 8);
  HBITMAP colour = CreateCompatibleBitmap(screen, 4, 4);
  EXPECT_EQ(BitmapOf(mono).bmBitsPixel, 1);
  BITMAP c = BitmapOf(colour);
  EXPECT_EQ(c.bmBitsPixel, 32);
  EXPECT_EQ(c.bmWidthBytes, 16);

  // A bitmap goes into one memory DC at a time, and never into a window's DC.
  HGDIOBJ original = SelectObject(mem, colour);
  EXPECT_NE(original, nullptr);
  HDC other = CreateCompatibleDC(screen);
  EXPECT_EQ(SelectObject(other, colour), nullptr);
  EXPECT_EQ(SelectObject(screen, mono), nullptr);

  // Deleted while selected: still there until it leaves the DC.
  EXPECT_TRUE(DeleteObject(colour));
  EXPECT_EQ(BitmapOf(colour).bmWidth, 4);
  EXPECT_EQ(SelectObject(mem, original), colour);
  EXPECT_EQ(GetObjectType(colour), 0u);
  // The same for a pen still selected when its DC is deleted.
  EXPECT_TRUE(DeleteObject(pen));
  EXPECT_TRUE(DeleteDC(mem));
  EXPECT_EQ(GetObjectType(pen), 0u);

  EXPECT_EQ(ReleaseDC(nullptr, other), 0);  // not a window's DC
  EXPECT_TRUE(DeleteDC(other));
  EXPECT_EQ(ReleaseDC(nullptr, screen), 1);
  DeleteObject(mono);
}

TEST_F(Gdi, DcAttributesAnswerWithThePreviousValue) {
  HDC dc = CreateCompatibleDC(nullptr);
  EXPECT_EQ(SetTextColor(dc, RGB(10, 20, 30)), RGB(0, 0, 0));
  EXPECT_EQ(GetTextColor(dc), RGB(10, 20, 30));
  EXPECT_EQ(SetBkColor(dc, RGB(1, 1, 1)), RGB(255, 255, 255));
  EXPECT_EQ(SetBkMode(dc, TRANSPARENT), OPAQUE);
  EXPECT_EQ(GetBkMode(dc), TRANSPARENT);
  EXPECT_EQ(SetTextAlign(dc, TA_RIGHT | TA_BOTTOM), static_cast<UINT>(TA_LEFT | TA_TOP));
  EXPECT_EQ(GetTextAlign(dc), static_cast<UINT>(TA_RIGHT | TA_BOTTOM));
  POINT was{-1, -1};
  EXPECT_TRUE(MoveToEx(dc, 5, 6, &was));
  EXPECT_EQ(was.x, 0);
  EXPECT_TRUE(LineTo(dc, 7, 8));
  EXPECT_TRUE(MoveToEx(dc, 0, 0, &was));
  EXPECT_EQ(was.x, 7);
  EXPECT_EQ(was.y, 8);
  DeleteDC(dc);
  EXPECT_EQ(SetTextColor(dc, 0), CLR_INVALID);  // a deleted DC
  EXPECT_EQ(SetBkColor(dc, 0), CLR_INVALID);
}

TEST_F(Gdi, DibSectionsHandOutTheirBits) {
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = 5;
  bi.bmiHeader.biHeight = -3;  // top-down
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 24;
  bi.bmiHeader.biCompression = BI_RGB;
  void *bits = nullptr;
  HBITMAP dib = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  ASSERT_NE(dib, nullptr);
  ASSERT_NE(bits, nullptr);
  memset(bits, 0xAB, 16 * 3);  // the whole image: 3 rows of 15 bytes padded to 16
  DIBSECTION ds{};
  ASSERT_EQ(GetObjectA(dib, sizeof ds, &ds), static_cast<int>(sizeof ds));
  EXPECT_EQ(ds.dsBm.bmWidth, 5);
  EXPECT_EQ(ds.dsBm.bmHeight, 3);
  EXPECT_EQ(ds.dsBm.bmBitsPixel, 24);
  EXPECT_EQ(ds.dsBm.bmWidthBytes, 16);
  EXPECT_EQ(ds.dsBm.bmBits, bits);
  EXPECT_EQ(ds.dsBmih.biWidth, 5);
  EXPECT_EQ(ds.dsBmih.biBitCount, 24);
  bi.bmiHeader.biBitCount = 7;
  EXPECT_EQ(CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0), nullptr);
  DeleteObject(dib);
}

TEST_F(Gdi, PaintingHandsOutADcForTheClientArea) {
  WNDCLASSA wc{};
  wc.lpfnWndProc = DefWindowProcA;
  wc.lpszClassName = "HorolanGdiTest";
  RegisterClassA(&wc);
  HWND w =
      CreateWindowExA(0, "HorolanGdiTest", "", WS_POPUP, 0, 0, 120, 80, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(w, nullptr);
  PAINTSTRUCT ps{};
  HDC dc = BeginPaint(w, &ps);
  ASSERT_NE(dc, nullptr);
  EXPECT_EQ(ps.hdc, dc);
  EXPECT_EQ(WindowFromDC(dc), w);
  RECT client;
  GetClientRect(w, &client);
  EXPECT_GE(ps.rcPaint.left, client.left);
  EXPECT_LE(ps.rcPaint.right, client.right);
  EXPECT_TRUE(FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH))));
  EXPECT_TRUE(EndPaint(w, &ps));

  HDC wdc = GetDC(w);
  ASSERT_NE(wdc, nullptr);
  EXPECT_EQ(ReleaseDC(w, wdc), 1);
  DestroyWindow(w);
  UnregisterClassA("HorolanGdiTest", nullptr);
  EXPECT_EQ(GetDC(w), nullptr);  // a window that is gone has no DC
}

TEST_F(Gdi, IconsAreCopiedAndDestroyed) {
  HICON app = LoadIconA(nullptr, IDI_APPLICATION);
  ASSERT_NE(app, nullptr);
  EXPECT_EQ(LoadIconA(nullptr, IDI_APPLICATION), app);  // shared
  ICONINFO ii{};
  ASSERT_TRUE(GetIconInfo(app, &ii));
  EXPECT_TRUE(ii.fIcon);
  ASSERT_NE(ii.hbmColor, nullptr);
  EXPECT_EQ(BitmapOf(ii.hbmColor).bmWidth, 32);
  DeleteObject(ii.hbmColor);  // GetIconInfo's bitmaps are the caller's
  DeleteObject(ii.hbmMask);
  EXPECT_TRUE(DestroyIcon(app));  // a shared icon survives
  EXPECT_TRUE(GetIconInfo(app, &ii));
  DeleteObject(ii.hbmColor);
  DeleteObject(ii.hbmMask);

  HBITMAP color = CreateBitmap(16, 16, 1, 32, nullptr);
  HBITMAP mask = CreateBitmap(16, 16, 1, 1, nullptr);
  ICONINFO make{TRUE, 0, 0, mask, color};
  HICON made = CreateIconIndirect(&make);
  ASSERT_NE(made, nullptr);
  DeleteObject(color);  // the icon keeps its own copies
  DeleteObject(mask);
  HICON copy = CopyIcon(made);
  HICON bigger = static_cast<HICON>(CopyImage(made, IMAGE_ICON, 24, 24, 0));
  ASSERT_TRUE(copy && bigger);
  EXPECT_NE(copy, made);
  for (HICON icon : {made, copy, bigger}) {
    ASSERT_TRUE(GetIconInfo(icon, &ii));
    EXPECT_EQ(BitmapOf(ii.hbmColor).bmWidth, icon == bigger ? 24 : 16);
    DeleteObject(ii.hbmColor);
    DeleteObject(ii.hbmMask);
  }
  HDC dc = GetDC(nullptr);
  EXPECT_TRUE(DrawIconEx(dc, 0, 0, made, 16, 16, 0, nullptr, DI_NORMAL));
  ReleaseDC(nullptr, dc);
  for (HICON icon : {made, copy, bigger}) EXPECT_TRUE(DestroyIcon(icon));
  EXPECT_FALSE(DestroyIcon(made));
}

// Text measured against itself: DrawText's rectangle agrees with the text's extent and
// the font's height, on any font.
TEST_F(Gdi, DrawTextCalcRectFitsTheText) {
  HDC dc = GetDC(nullptr);
  SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
  TEXTMETRICA tm{};
  ASSERT_TRUE(GetTextMetricsA(dc, &tm));
  auto extent = [&](const char *s) {
    SIZE sz{};
    EXPECT_TRUE(GetTextExtentPoint32A(dc, s, static_cast<int>(strlen(s)), &sz));
    EXPECT_EQ(sz.cy, tm.tmHeight);
    return sz.cx;
  };
  struct Case {
    const char *text;
    UINT format;
    const char *widest;  // the line that sets the width
    int lines;
  };
  const Case kCases[] = {
      {"Server", DT_SINGLELINE, "Server", 1},
      {"a\nbb\n", 0, "bb", 2},  // a final line end opens no new line
      {"a\r\n\r\nb", 0, "a", 3},
      {"&Open", DT_SINGLELINE, "Open", 1},  // the accelerator mark takes no room
      {"a&&b", DT_SINGLELINE, "a&b", 1},
      {"&Open", DT_SINGLELINE | DT_NOPREFIX, "&Open", 1},
      {"時刻の同期", DT_SINGLELINE, "時刻の同期", 1},
  };
  for (const Case &c : kCases) {
    RECT r{10, 20, 400, 300};
    int height = DrawTextA(dc, c.text, -1, &r, c.format | DT_CALCRECT);
    EXPECT_EQ(height, tm.tmHeight * c.lines) << c.text;
    EXPECT_EQ(r.left, 10) << c.text;
    EXPECT_EQ(r.top, 20) << c.text;
    EXPECT_EQ(r.right - r.left, extent(c.widest)) << c.text;
    EXPECT_EQ(r.bottom - r.top, tm.tmHeight * c.lines) << c.text;
  }

  // Word breaks wrap at the rectangle's width.
  const LONG whole = extent("aaaa aaaa");
  RECT r{0, 0, whole - 1, 100};
  EXPECT_EQ(DrawTextA(dc, "aaaa aaaa", -1, &r, DT_CALCRECT | DT_WORDBREAK), 2 * tm.tmHeight);
  EXPECT_GE(r.right, extent("aaaa"));
  EXPECT_LT(r.right, whole);
  // A word that does not fit stays whole on its line.
  r = RECT{0, 0, 2, 100};
  EXPECT_EQ(DrawTextA(dc, "aaaa", -1, &r, DT_CALCRECT | DT_WORDBREAK), tm.tmHeight);
  EXPECT_EQ(r.right, extent("aaaa"));

  // Empty text: nothing with a count of 0; an empty line with -1.
  r = RECT{0, 0, 100, 100};
  EXPECT_EQ(DrawTextA(dc, "", 0, &r, DT_CALCRECT), 0);
  EXPECT_EQ(r.right, 100);
  EXPECT_EQ(DrawTextA(dc, "", -1, &r, DT_CALCRECT | DT_SINGLELINE), tm.tmHeight);
  EXPECT_EQ(r.right, 0);
  EXPECT_EQ(r.bottom, tm.tmHeight);
  // Drawing leaves the rectangle alone; a centred or bottom line answers with the
  // offset of the text's bottom from the top.
  r = RECT{0, 0, 100, 100};
  EXPECT_EQ(DrawTextA(dc, "Server", -1, &r, DT_SINGLELINE), tm.tmHeight);
  EXPECT_NEAR(DrawTextA(dc, "Server", -1, &r, DT_SINGLELINE | DT_VCENTER), (100 + tm.tmHeight) / 2, 1);
  EXPECT_EQ(DrawTextA(dc, "Server", -1, &r, DT_SINGLELINE | DT_BOTTOM), 100);
  EXPECT_EQ(r.right, 100);
  EXPECT_EQ(r.bottom, 100);
  ReleaseDC(nullptr, dc);
}

// The host's own measurement rule (platform/host/gdi.h), worked out by hand.
TEST_F(Gdi, HostTextMetricsFollowTheFixedRule) {
  if (!testhooks::HostLayer()) GTEST_SKIP() << "real fonts measure differently";
  struct Case {
    LONG lfHeight, lfWidth;
    LONG height, ave;
  };
  const Case kCases[] = {
      {-12, 0, 14, 6},  // character height 12 + leading 2; (14 - 2 + 1) / 2
      {-9, 0, 11, 5},  {-13, 0, 15, 7},
      {16, 0, 16, 7},   // a positive height is the cell: 16 - 2 = 14 high, 7 wide
      {0, 0, 16, 7},    // the system font's
      {-12, 9, 14, 9},  // a given width wins
  };
  HDC dc = CreateCompatibleDC(nullptr);
  for (const Case &c : kCases) {
    HFONT f = CreateFontA(c.lfHeight, c.lfWidth, 0, 0, FW_NORMAL, 0, 0, 0, SHIFTJIS_CHARSET, 0, 0, 0, 0, "x");
    HGDIOBJ old = SelectObject(dc, f);
    TEXTMETRICA tm{};
    ASSERT_TRUE(GetTextMetricsA(dc, &tm));
    EXPECT_EQ(tm.tmHeight, c.height) << c.lfHeight;
    EXPECT_EQ(tm.tmInternalLeading, 2) << c.lfHeight;
    EXPECT_EQ(tm.tmAscent + tm.tmDescent, tm.tmHeight) << c.lfHeight;
    EXPECT_EQ(tm.tmAveCharWidth, c.ave) << c.lfHeight;
    SIZE sz{};
    ASSERT_TRUE(GetTextExtentPoint32A(dc, "ab時c", 5, &sz));  // 3 single-byte, 1 double-byte
    EXPECT_EQ(sz.cx, 5 * c.ave) << c.lfHeight;
    EXPECT_EQ(sz.cy, c.height) << c.lfHeight;
    SelectObject(dc, old);
    DeleteObject(f);
  }
  TEXTMETRICA tm{};
  SelectObject(dc, GetStockObject(SYSTEM_FONT));
  ASSERT_TRUE(GetTextMetricsA(dc, &tm));
  EXPECT_EQ(tm.tmHeight, 16);
  DeleteDC(dc);
}

}  // namespace
