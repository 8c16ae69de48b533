// Resources linked into the test executable with horolan_resources() (see this
// folder's CMakeLists.txt): bitmaps and an icon read back as the program reads its own.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/winapi.h"

namespace {

HINSTANCE Self() { return GetModuleHandleA(nullptr); }

BITMAP BitmapOf(HGDIOBJ bm) {
  BITMAP b{};
  EXPECT_EQ(GetObjectA(bm, sizeof b, &b), static_cast<int>(sizeof b));
  return b;
}

TEST(Resources, BitmapsLoadWithTheirSize) {
  struct Case {
    LPCSTR name;
    LONG width, height;
    WORD screenBits;  // a loaded bitmap is made for the screen; a monochrome one stays so
    WORD fileBits;
  };
  const Case kCases[] = {
      {"CHECKER", 5, 3, 32, 24},
      {"checker", 5, 3, 32, 24},  // names are compared without regard to case
      {MAKEINTRESOURCE(201), 9, 4, 1, 1},
      {"#201", 9, 4, 1, 1},
  };
  for (const Case &c : kCases) {
    HBITMAP bm = LoadBitmapA(Self(), c.name);
    ASSERT_NE(bm, nullptr);
    BITMAP b = BitmapOf(bm);
    EXPECT_EQ(b.bmWidth, c.width);
    EXPECT_EQ(b.bmHeight, c.height);
    EXPECT_EQ(b.bmBitsPixel, c.screenBits);
    DeleteObject(bm);

    HBITMAP dib = static_cast<HBITMAP>(LoadImageA(Self(), c.name, IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    ASSERT_NE(dib, nullptr);
    b = BitmapOf(dib);
    EXPECT_EQ(b.bmWidth, c.width);
    EXPECT_EQ(b.bmBitsPixel, c.fileBits);
    EXPECT_NE(b.bmBits, nullptr);
    DeleteObject(dib);
  }
  HBITMAP stretched = static_cast<HBITMAP>(LoadImageA(Self(), "CHECKER", IMAGE_BITMAP, 10, 6, 0));
  ASSERT_NE(stretched, nullptr);
  EXPECT_EQ(BitmapOf(stretched).bmWidth, 10);
  EXPECT_EQ(BitmapOf(stretched).bmHeight, 6);
  DeleteObject(stretched);
}

TEST(Resources, StoredAsTheResourceCompilerStoresThem) {
  // A bitmap resource is the .bmp without its 14-byte file header: 40 + 3 rows of 16.
  HRSRC r = FindResourceA(nullptr, "CHECKER", RT_BITMAP);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(SizeofResource(nullptr, r), 88u);
  const unsigned char *p = static_cast<const unsigned char *>(LockResource(LoadResource(nullptr, r)));
  ASSERT_NE(p, nullptr);
  BITMAPINFOHEADER bih;
  memcpy(&bih, p, sizeof bih);
  EXPECT_EQ(bih.biSize, 40u);
  EXPECT_EQ(bih.biWidth, 5);
  EXPECT_EQ(bih.biHeight, 3);
  EXPECT_EQ(bih.biBitCount, 24);

  // Raw data is kept whole: the same file, header and all.
  HRSRC raw = FindResourceA(Self(), "RAWCHECKER", RT_RCDATA);
  ASSERT_NE(raw, nullptr);
  EXPECT_EQ(SizeofResource(Self(), raw), 102u);
  const char *q = static_cast<const char *>(LockResource(LoadResource(Self(), raw)));
  EXPECT_EQ(q[0], 'B');
  EXPECT_EQ(q[1], 'M');

  // An icon file becomes a group naming one image per size.
  HRSRC group = FindResourceA(nullptr, "TWOSIZES", RT_GROUP_ICON);
  ASSERT_NE(group, nullptr);
  EXPECT_EQ(SizeofResource(nullptr, group), 6u + 2 * 14);
}

TEST(Resources, MissingOnesAreReportedAsWindowsDoes) {
  SetLastError(0);
  EXPECT_EQ(FindResourceA(nullptr, "NOSUCH", RT_BITMAP), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
  SetLastError(0);
  EXPECT_EQ(FindResourceA(nullptr, "CHECKER", MAKEINTRESOURCE(250)), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_TYPE_NOT_FOUND));
  EXPECT_EQ(LoadBitmapA(Self(), "NOSUCH"), nullptr);
  EXPECT_EQ(LoadImageA(Self(), "NOSUCH", IMAGE_ICON, 16, 16, 0), nullptr);
}

TEST(Resources, IconsPickTheImageForTheSizeAsked) {
  struct Case {
    int cx;
    UINT flags;
    LONG width;
  };
  const Case kCases[] = {{16, 0, 16}, {32, 0, 32}, {0, LR_DEFAULTSIZE, 32}};
  for (const Case &c : kCases) {
    HICON icon = static_cast<HICON>(LoadImageA(Self(), "TWOSIZES", IMAGE_ICON, c.cx, c.cx, c.flags));
    ASSERT_NE(icon, nullptr) << c.cx;
    ICONINFO ii{};
    ASSERT_TRUE(GetIconInfo(icon, &ii));
    EXPECT_TRUE(ii.fIcon);
    ASSERT_NE(ii.hbmColor, nullptr);
    EXPECT_EQ(BitmapOf(ii.hbmColor).bmWidth, c.width) << c.cx;
    EXPECT_EQ(BitmapOf(ii.hbmColor).bmHeight, c.width) << c.cx;
    DeleteObject(ii.hbmColor);
    DeleteObject(ii.hbmMask);
    EXPECT_TRUE(DestroyIcon(icon));
  }
  // LoadIcon gives the shared icon of the system's size.
  HICON shared = LoadIconA(Self(), "TWOSIZES");
  ASSERT_NE(shared, nullptr);
  EXPECT_EQ(LoadIconA(Self(), "twosizes"), shared);
  ICONINFO ii{};
  ASSERT_TRUE(GetIconInfo(shared, &ii));
  EXPECT_EQ(BitmapOf(ii.hbmColor).bmWidth, 32);
  DeleteObject(ii.hbmColor);
  DeleteObject(ii.hbmMask);
}

}  // namespace
