// A test form with right-aligned spin edits and Japanese captions, captured into a BMP
// in the test output folder for people to look at. Only a real window system paints:
// the host layer draws nothing, so there the capture is skipped.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "controls/AlignedSpinEdit.h"
#include "forms/Forms.h"

namespace {

struct Capture {
  int width = 0, height = 0;
  std::vector<unsigned char> bits;  // 24-bit rows, bottom row first, padded to 4 bytes
  int Stride() const { return (width * 3 + 3) & ~3; }
  // Top-down coordinates; returns 0x00RRGGBB.
  unsigned Pixel(int x, int y) const {
    const unsigned char *p = &bits[static_cast<size_t>(height - 1 - y) * Stride() + x * 3];
    return (unsigned{p[2]} << 16) | (unsigned{p[1]} << 8) | p[0];
  }
};

// Copies what the window's client area shows. The frame is left out: without a window
// manager (Xvfb) nobody draws it, and it would come out black.
bool CaptureClient(HWND wnd, Capture &out) {
  RECT r;
  GetClientRect(wnd, &r);
  out.width = r.right;
  out.height = r.bottom;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = out.width;
  info.bmiHeader.biHeight = out.height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  HDC src = GetDC(wnd);
  HDC mem = CreateCompatibleDC(src);
  void *pixels = nullptr;
  HBITMAP dib = CreateDIBSection(mem, &info, DIB_RGB_COLORS, &pixels, nullptr, 0);
  bool ok = dib != nullptr && pixels != nullptr;
  if (ok) {
    HGDIOBJ old = SelectObject(mem, dib);
    ok = BitBlt(mem, 0, 0, out.width, out.height, src, 0, 0, SRCCOPY) != FALSE;
    // Taking the bitmap out of the DC also ends any batched drawing into it.
    SelectObject(mem, old);
    const auto *p = static_cast<const unsigned char *>(pixels);
    out.bits.assign(p, p + static_cast<size_t>(out.Stride()) * out.height);
    DeleteObject(dib);
  }
  DeleteDC(mem);
  ReleaseDC(wnd, src);
  return ok;
}

bool WriteBmp(const std::string &path, const Capture &c) {
  const DWORD imageSize = static_cast<DWORD>(c.bits.size());
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;  // "BM"
  file.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
  file.bfSize = file.bfOffBits + imageSize;
  BITMAPINFOHEADER info{};
  info.biSize = sizeof info;
  info.biWidth = c.width;
  info.biHeight = c.height;
  info.biPlanes = 1;
  info.biBitCount = 24;
  info.biCompression = BI_RGB;
  info.biSizeImage = imageSize;
  FILE *f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  bool ok = std::fwrite(&file, sizeof file, 1, f) == 1 && std::fwrite(&info, sizeof info, 1, f) == 1 &&
            std::fwrite(c.bits.data(), 1, c.bits.size(), f) == c.bits.size();
  return std::fclose(f) == 0 && ok;
}

TEST(SpinEditScreenshot, TestFormShowsItsArrowsAndIsSavedForViewing) {
  if (testhooks::HostLayer()) GTEST_SKIP() << "the host layer paints nothing, so there is no picture to take";
  const char *outDir = std::getenv("HOROLAN_TEST_OUTPUT");
  if (outDir == nullptr || *outDir == '\0') GTEST_SKIP() << "HOROLAN_TEST_OUTPUT names no output folder";
  CreateDirectoryA(outDir, nullptr);

  TForm *form = CreateForm<TForm>(nullptr);
  form->SetBorderStyle(bsDialog);
  form->SetCaption("スピンエディット");
  form->Font()->SetName(DefaultFontName);
  form->Font()->SetHeight(-12);
  form->SetLeft(24);
  form->SetTop(24);
  form->SetClientSize(400, 200);

  auto label = [&](const char *caption, int left, int top) {
    auto *l = new TLabel(form);
    l->SetParent(form);
    l->SetLeft(left);
    l->SetTop(top);
    l->SetCaption(caption);
  };
  auto spin = [&](int left, int32_t max, const char *text) {
    auto *s = new TAlignedSpinEdit(form);
    s->SetParent(form);
    s->SetBounds(left, 24, 57, 21);
    s->SetMaxValue(max);
    s->SetText(text);
    return s;
  };
  label("NTPサーバーリスト(&S)", 8, 8);
  label("分調整(&M)", 160, 8);
  label("秒調整(&S)", 240, 8);
  TAlignedSpinEdit *minutes = spin(160, 1439, "15");
  spin(240, 59, "30");
  auto *list = new TListBox(form);
  list->SetParent(form);
  list->SetBounds(8, 24, 145, 88);
  for (const char *host : {"ntp.nict.jp", "ntp.jst.mfeed.ad.jp", "time.google.com", "ntp.ring.gr.jp"})
    list->Items()->Add(host);
  auto *group = new TRadioGroup(form);
  group->SetParent(form);
  group->SetBounds(160, 56, 233, 81);
  group->SetCaption("クリック時の動作(&C)");
  for (const char *item : {"infoseekテレビ番組表", "NTPと同期", "下のアドレスをブラウザで表示"})
    group->Items()->Add(item);
  group->SetItemIndex(0);
  int boxTop = 148;
  for (const char *caption : {"起動時に時刻を更新する", "0分と30分近辺での同期を行なわない"}) {
    auto *box = new TCheckBox(form);
    box->SetParent(form);
    box->SetBounds(168, boxTop, 225, 17);
    box->SetCaption(caption);
    box->SetChecked(boxTop == 148);
    boxTop += 24;
  }

  form->Show();
  HWND wnd = form->Handle();
  SetForegroundWindow(wnd);
  RedrawWindow(wnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
  // Paint messages come when the queue is otherwise empty: let it drain a few times.
  for (int i = 0; i < 20; ++i) {
    Application->ProcessMessages();
    UpdateWindow(wnd);
    Sleep(25);
  }

  Capture shot;
  ASSERT_TRUE(CaptureClient(wnd, shot));
  const std::string path = std::string(outDir) + "/spin-edit-form.bmp";
  EXPECT_TRUE(WriteBmp(path, shot)) << path;

  // The up arrow of the first spin edit: where it is inside the captured client area.
  RECT arrowRect;
  HWND arrows = GetWindow(minutes->Handle(), GW_CHILD);
  ASSERT_NE(arrows, nullptr);
  GetWindowRect(arrows, &arrowRect);
  MapWindowPoints(nullptr, wnd, reinterpret_cast<POINT *>(&arrowRect), 2);
  const int left = arrowRect.left, top = arrowRect.top;
  const int width = arrowRect.right - arrowRect.left, height = (arrowRect.bottom - arrowRect.top) / 2;
  int black = 0;
  for (int y = top; y < top + height; ++y)
    for (int x = left; x < left + width; ++x) black += shot.Pixel(x, y) == 0;
  // The glyph's triangle has 1 + 3 + 5 + 7 black pixels.
  EXPECT_GE(black, 16) << "the up arrow's glyph is drawn";

  int differing = 0;
  for (int y = 0; y < shot.height; ++y)
    for (int x = 0; x < shot.width; ++x) differing += shot.Pixel(x, y) != shot.Pixel(0, 0);
  EXPECT_GT(differing, shot.width * shot.height / 50) << "the form painted more than a blank area";
  delete form;
}

}  // namespace
