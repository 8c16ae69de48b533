// The host layer's GDI: one table of objects (pens, brushes, fonts, bitmaps, DCs and
// icons) with Windows' lifetime rules, so tests can count what leaked. Nothing is
// drawn; text is measured by the fixed rule in gdi.h.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/winapi.h"

namespace {

constexpr LONG kInternalLeading = 2;
constexpr LONG kSystemCellHeight = 16;
constexpr int kScreenBits = 32;
constexpr int kScreenWidth = 1024, kScreenHeight = 768;
constexpr int kSystemIconSize = 32;  // SM_CXICON

enum class Kind { Pen, Brush, Font, Bitmap, Dc, Icon };

struct DcState {
  HGDIOBJ pen = nullptr, brush = nullptr, font = nullptr, bitmap = nullptr;
  COLORREF text = 0, bk = RGB(255, 255, 255);
  int bkMode = OPAQUE;
  UINT align = TA_LEFT | TA_TOP;
  POINT pos{0, 0};
};

struct Object {
  Kind kind;
  bool stock = false;
  bool deletePending = false;  // deleted while selected: freed when it leaves its DCs
  int selections = 0;          // DCs it is selected into
  LOGPEN pen{};
  LOGBRUSH brush{};
  LOGFONTA font{};
  // Bitmaps
  LONG width = 0, height = 0;
  WORD bits = 1;
  bool dib = false;
  BITMAPINFOHEADER dibHeader{};
  std::vector<unsigned char> pixels;  // DIB sections only: the bits the caller gets
  HDC selectedInto = nullptr;
  // DCs
  HWND hwnd = nullptr;
  bool memory = false;
  DcState dc;
  std::vector<DcState> saved;
  // Icons
  bool shared = false;
  BOOL isIcon = TRUE;
  DWORD hotX = 0, hotY = 0;
  bool monochrome = false;  // no colour bitmap: the mask holds both halves
};

struct Gdi {
  std::map<uintptr_t, std::unique_ptr<Object>> objects;
  uintptr_t next = 0x30000;
  std::map<int, HGDIOBJ> stock;
  HGDIOBJ defaultBitmap = nullptr;
  std::map<std::string, HICON> sharedIcons;
};

Gdi &G() {
  static Gdi *g = new Gdi;  // never destroyed: objects may die in static destructors
  return *g;
}

Object *Find(const void *h) {
  auto it = G().objects.find(reinterpret_cast<uintptr_t>(h));
  return it == G().objects.end() ? nullptr : it->second.get();
}

Object *FindKind(const void *h, Kind k) {
  Object *o = Find(h);
  return o && o->kind == k ? o : nullptr;
}

Object *FindDc(HDC h) {
  Object *o = FindKind(h, Kind::Dc);
  if (!o) SetLastError(ERROR_INVALID_HANDLE);
  return o;
}

HGDIOBJ Add(std::unique_ptr<Object> o) {
  uintptr_t h = G().next;
  G().next += 4;
  G().objects[h] = std::move(o);
  return reinterpret_cast<HGDIOBJ>(h);
}

void Free(HGDIOBJ h) { G().objects.erase(reinterpret_cast<uintptr_t>(h)); }

LONG WidthBytes(LONG width, WORD bits, int align) {
  long long bitsPerRow = static_cast<long long>(width) * bits;
  return static_cast<LONG>((bitsPerRow + align * 8 - 1) / (align * 8) * align);
}

std::unique_ptr<Object> NewBitmap(LONG width, LONG height, WORD bits) {
  auto o = std::make_unique<Object>();
  o->kind = Kind::Bitmap;
  o->width = width;
  o->height = height;
  o->bits = bits;
  return o;
}

WORD RoundBits(UINT bits) {
  if (bits == 1) return 1;
  if (bits <= 4) return 4;
  if (bits <= 8) return 8;
  if (bits <= 16) return 16;
  if (bits <= 24) return 24;
  if (bits <= 32) return 32;
  return 0;
}

LOGFONTA MakeFont(LONG height, LONG weight, BYTE charSet, const char *face) {
  LOGFONTA lf{};
  lf.lfHeight = height;
  lf.lfWeight = weight;
  lf.lfCharSet = charSet;
  snprintf(lf.lfFaceName, sizeof lf.lfFaceName, "%s", face);
  return lf;
}

HGDIOBJ DefaultBitmap();

HGDIOBJ Stock(int index) {
  Gdi &g = G();
  auto it = g.stock.find(index);
  if (it != g.stock.end()) return it->second;
  auto o = std::make_unique<Object>();
  o->stock = true;
  switch (index) {
    case WHITE_BRUSH:
    case LTGRAY_BRUSH:
    case GRAY_BRUSH:
    case DKGRAY_BRUSH:
    case BLACK_BRUSH:
    case DC_BRUSH: {
      static const BYTE kGrey[] = {255, 192, 128, 64, 0};
      BYTE v = index == DC_BRUSH ? 255 : kGrey[index];
      o->kind = Kind::Brush;
      o->brush = LOGBRUSH{BS_SOLID, RGB(v, v, v), 0};
      break;
    }
    case NULL_BRUSH:
      o->kind = Kind::Brush;
      o->brush = LOGBRUSH{BS_NULL, 0, 0};
      break;
    case WHITE_PEN:
    case BLACK_PEN:
    case DC_PEN:
      o->kind = Kind::Pen;
      o->pen = LOGPEN{PS_SOLID, POINT{0, 0}, index == WHITE_PEN ? RGB(255, 255, 255) : RGB(0, 0, 0)};
      break;
    case NULL_PEN:
      o->kind = Kind::Pen;
      o->pen = LOGPEN{PS_NULL, POINT{0, 0}, 0};
      break;
    case SYSTEM_FONT:
      o->kind = Kind::Font;
      o->font = MakeFont(kSystemCellHeight, FW_BOLD, SHIFTJIS_CHARSET, "System");
      break;
    case DEFAULT_GUI_FONT:
      o->kind = Kind::Font;
      o->font = MakeFont(-12, FW_NORMAL, SHIFTJIS_CHARSET, "MS Shell Dlg");
      break;
    case ANSI_VAR_FONT:
      o->kind = Kind::Font;
      o->font = MakeFont(12, FW_NORMAL, ANSI_CHARSET, "MS Sans Serif");
      o->font.lfPitchAndFamily = VARIABLE_PITCH | FF_SWISS;
      break;
    case ANSI_FIXED_FONT:
    case OEM_FIXED_FONT:
    case SYSTEM_FIXED_FONT:
    case DEVICE_DEFAULT_FONT:
      o->kind = Kind::Font;
      o->font = MakeFont(kSystemCellHeight, FW_NORMAL, SHIFTJIS_CHARSET, "FixedSys");
      o->font.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
      break;
    default:
      return nullptr;
  }
  HGDIOBJ h = Add(std::move(o));
  g.stock[index] = h;
  return h;
}

HGDIOBJ DefaultBitmap() {
  Gdi &g = G();
  if (!g.defaultBitmap) {
    auto o = NewBitmap(1, 1, 1);
    o->stock = true;
    g.defaultBitmap = Add(std::move(o));
  }
  return g.defaultBitmap;
}

void Select(DcState &st, HGDIOBJ *slot, HGDIOBJ obj) {
  (void)st;
  *slot = obj;
}

void AddSelection(HGDIOBJ h, HDC dc) {
  Object *o = Find(h);
  if (!o) return;
  ++o->selections;
  if (o->kind == Kind::Bitmap && !o->stock) o->selectedInto = dc;
}

void DropSelection(HGDIOBJ h) {
  Object *o = Find(h);
  if (!o) return;
  if (--o->selections <= 0) {
    o->selections = 0;
    o->selectedInto = nullptr;
    if (o->deletePending) Free(h);
  }
}

HDC NewDc(HWND hwnd, bool memory, WORD /*unused*/ = 0) {
  auto o = std::make_unique<Object>();
  o->kind = Kind::Dc;
  o->hwnd = hwnd;
  o->memory = memory;
  o->dc.pen = Stock(BLACK_PEN);
  o->dc.brush = Stock(WHITE_BRUSH);
  o->dc.font = Stock(SYSTEM_FONT);
  o->dc.bitmap = memory ? DefaultBitmap() : nullptr;
  HDC h = static_cast<HDC>(Add(std::move(o)));
  Object *dc = Find(h);
  for (HGDIOBJ s : {dc->dc.pen, dc->dc.brush, dc->dc.font, dc->dc.bitmap})
    if (s) AddSelection(s, h);
  return h;
}

void FreeDc(HDC h) {
  Object *dc = Find(h);
  if (!dc) return;
  std::vector<HGDIOBJ> held = {dc->dc.pen, dc->dc.brush, dc->dc.font, dc->dc.bitmap};
  for (const DcState &s : dc->saved)
    for (HGDIOBJ x : {s.pen, s.brush, s.font, s.bitmap}) held.push_back(x);
  Free(h);
  for (HGDIOBJ x : held)
    if (x) DropSelection(x);
}

// ---- Text measurement -------------------------------------------------------------------

struct Metrics {
  LONG height, internal, ascent, descent, ave, weight;
  BYTE charSet, pitch, italic, underline, strikeOut;
};

Metrics MetricsOf(const LOGFONTA &lf) {
  Metrics m{};
  LONG cell;
  if (lf.lfHeight < 0)
    cell = -lf.lfHeight + kInternalLeading;
  else if (lf.lfHeight > 0)
    cell = lf.lfHeight;
  else
    cell = kSystemCellHeight;
  m.height = cell;
  m.internal = cell > kInternalLeading ? kInternalLeading : 0;
  m.descent = cell / 5;
  m.ascent = cell - m.descent;
  LONG em = cell - m.internal;
  m.ave = lf.lfWidth > 0 ? lf.lfWidth : std::max<LONG>(1, (em + 1) / 2);
  m.weight = lf.lfWeight ? lf.lfWeight : FW_NORMAL;
  m.charSet = lf.lfCharSet;
  m.pitch = lf.lfPitchAndFamily;
  m.italic = lf.lfItalic;
  m.underline = lf.lfUnderline;
  m.strikeOut = lf.lfStrikeOut;
  return m;
}

Metrics DcMetrics(Object *dc) {
  Object *f = FindKind(dc->dc.font, Kind::Font);
  return MetricsOf(f ? f->font : MakeFont(kSystemCellHeight, FW_BOLD, SHIFTJIS_CHARSET, "System"));
}

bool LeadByte(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

// Width of a byte run: double-byte characters are two average widths.
LONG TextWidth(const char *s, size_t n, LONG ave, bool expandTabs) {
  LONG w = 0;
  for (size_t i = 0; i < n; ++i) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (LeadByte(c) && i + 1 < n) {
      w += 2 * ave;
      ++i;
    } else if (c == '\t' && expandTabs) {
      w += 8 * ave;
    } else {
      w += ave;
    }
  }
  return w;
}

std::string StripPrefixes(const std::string &s) {
  std::string r;
  for (size_t i = 0; i < s.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (LeadByte(c) && i + 1 < s.size()) {
      r += s[i];
      r += s[++i];
    } else if (c == '&') {
      if (i + 1 < s.size() && s[i + 1] == '&') {
        r += '&';
        ++i;
      }
    } else {
      r += s[i];
    }
  }
  return r;
}

// Splits one paragraph into lines no wider than limit where it can: a line breaks
// after a space or around a double-byte character; a word wider than the limit stays
// whole. The space a line breaks at stays on it and counts in its width, as Wine
// measures it.
std::vector<std::string> Wrap(const std::string &para, LONG limit, LONG ave, bool tabs) {
  auto unitLen = [&](size_t i) -> size_t {
    return LeadByte(static_cast<unsigned char>(para[i])) && i + 1 < para.size() ? 2 : 1;
  };
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < para.size()) {
    size_t i = start, lastBreak = std::string::npos;
    LONG width = 0;
    bool full = false;
    while (i < para.size()) {
      size_t len = unitLen(i);
      LONG w = TextWidth(para.data() + i, len, ave, tabs);
      if (width + w > limit && i > start) {
        full = true;
        break;
      }
      width += w;
      i += len;
      if (len == 2 || para[i - 1] == ' ') lastBreak = i;
    }
    if (!full) {
      lines.push_back(para.substr(start));
      break;
    }
    size_t end;
    if (para[i] == ' ') {
      end = i + 1;
    } else if (unitLen(i) == 2) {
      end = i;
    } else if (lastBreak != std::string::npos) {
      end = lastBreak;
    } else {
      end = i;
      while (end < para.size() && para[end] != ' ' && unitLen(end) == 1) ++end;
      if (end < para.size() && para[end] == ' ') ++end;
    }
    lines.push_back(para.substr(start, end - start));
    start = end;
    while (start < para.size() && para[start] == ' ') ++start;
  }
  if (lines.empty()) lines.push_back("");
  return lines;
}

// ---- Images -----------------------------------------------------------------------------

HICON NewIcon(LONG width, LONG height, WORD bits, bool shared, BOOL isIcon = TRUE) {
  auto o = std::make_unique<Object>();
  o->kind = Kind::Icon;
  o->width = width;
  o->height = height;
  o->bits = bits;
  o->shared = shared;
  o->isIcon = isIcon;
  if (!isIcon) {
    o->hotX = static_cast<DWORD>(width / 2);
    o->hotY = static_cast<DWORD>(height / 2);
  }
  return static_cast<HICON>(Add(std::move(o)));
}

uint16_t Le16(const unsigned char *p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Le32(const unsigned char *p) {
  return static_cast<uint32_t>(p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24));
}

// The size and depth of a DIB (BITMAPINFOHEADER or the old BITMAPCOREHEADER) or a PNG.
bool DibInfo(const unsigned char *p, size_t n, LONG *w, LONG *h, WORD *bits) {
  static const unsigned char kPng[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (n >= 24 && memcmp(p, kPng, 8) == 0) {
    *w = static_cast<LONG>(__builtin_bswap32(Le32(p + 16)));
    *h = static_cast<LONG>(__builtin_bswap32(Le32(p + 20)));
    *bits = 32;
    return *w > 0 && *h > 0;
  }
  if (n < 12) return false;
  uint32_t size = Le32(p);
  if (size == 12) {
    *w = Le16(p + 4);
    *h = Le16(p + 6);
    *bits = Le16(p + 10);
  } else if (size >= 40 && n >= 40) {
    *w = static_cast<LONG>(Le32(p + 4));
    *h = static_cast<LONG>(Le32(p + 8));
    *bits = Le16(p + 14);
  } else {
    return false;
  }
  if (*h < 0) *h = -*h;
  return *w > 0 && *h > 0 && *w <= 0x10000 && *h <= 0x10000 && RoundBits(*bits) == *bits;
}

HBITMAP BitmapFromDib(const unsigned char *p, size_t n, UINT flags) {
  LONG w = 0, h = 0;
  WORD bits = 0;
  if (!DibInfo(p, n, &w, &h, &bits)) return nullptr;
  // As on Windows: a DIB section keeps the resource's depth, LR_MONOCHROME makes one
  // bit, otherwise the bitmap is made for the screen, except that a one-bit resource
  // stays monochrome.
  if (flags & LR_CREATEDIBSECTION) {
    auto o = NewBitmap(w, h, (flags & LR_MONOCHROME) ? 1 : bits);
    o->dib = true;
    o->dibHeader.biSize = sizeof(BITMAPINFOHEADER);
    o->dibHeader.biWidth = w;
    o->dibHeader.biHeight = h;
    o->dibHeader.biPlanes = 1;
    o->dibHeader.biBitCount = o->bits;
    o->pixels.assign(static_cast<size_t>(WidthBytes(w, o->bits, 4)) * static_cast<size_t>(h), 0);
    o->dibHeader.biSizeImage = static_cast<DWORD>(o->pixels.size());
    return static_cast<HBITMAP>(Add(std::move(o)));
  }
  WORD ddbBits = (bits == 1 || (flags & LR_MONOCHROME)) ? 1 : kScreenBits;
  return static_cast<HBITMAP>(Add(NewBitmap(w, h, ddbBits)));
}

bool ReadFile(const char *path, std::vector<unsigned char> *out) {
  FILE *f = fopen(path, "rb");
  if (!f) return false;
  unsigned char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) out->insert(out->end(), buf, buf + n);
  fclose(f);
  return true;
}

// One image of an icon directory: from a resource group (nID) or an .ico file (offset).
struct IconChoice {
  LONG width = 0, height = 0;
  WORD bits = 0;
  std::vector<unsigned char> image;
};

int Distance(LONG a, LONG b) { return static_cast<int>(a > b ? a - b : b - a); }

// Picks the entry closest to the wanted size, the deepest colour among equals.
bool ChooseIcon(const unsigned char *dir, size_t n, bool fromFile, LONG want,
                const std::vector<unsigned char> *file, IconChoice *out) {
  if (n < 6 || Le16(dir) != 0 || (Le16(dir + 2) != 1 && Le16(dir + 2) != 2)) return false;
  const size_t count = Le16(dir + 4);
  const size_t entrySize = fromFile ? 16 : 14;
  if (count == 0 || n < 6 + count * entrySize) return false;
  int best = -1, bestDist = 0;
  WORD bestBits = 0;
  for (size_t i = 0; i < count; ++i) {
    const unsigned char *e = dir + 6 + i * entrySize;
    LONG w = e[0] ? e[0] : 256;
    WORD bits = Le16(e + 6);
    int d = Distance(w, want);
    if (best < 0 || d < bestDist || (d == bestDist && bits > bestBits)) {
      best = static_cast<int>(i);
      bestDist = d;
      bestBits = bits;
    }
  }
  const unsigned char *e = dir + 6 + static_cast<size_t>(best) * entrySize;
  if (fromFile) {
    uint32_t size = Le32(e + 8), offset = Le32(e + 12);
    if (offset > file->size() || size > file->size() - offset) return false;
    out->image.assign(file->begin() + offset, file->begin() + offset + size);
  } else {
    unsigned id = Le16(e + 12);
    HRSRC r = FindResourceA(nullptr, MAKEINTRESOURCE(id), RT_ICON);
    if (!r) return false;
    const unsigned char *p = static_cast<const unsigned char *>(LockResource(LoadResource(nullptr, r)));
    out->image.assign(p, p + SizeofResource(nullptr, r));
  }
  LONG w = 0, h = 0;
  WORD bits = 0;
  if (!DibInfo(out->image.data(), out->image.size(), &w, &h, &bits)) return false;
  out->width = w;
  // An icon image's DIB holds the colour and the mask: twice the icon's height.
  bool png = out->image.size() > 4 && out->image[0] == 0x89;
  out->height = png ? h : h / 2;
  out->bits = bits;
  return out->width > 0 && out->height > 0;
}

bool ResourceBytes(LPCSTR name, LPCSTR type, std::vector<unsigned char> *out) {
  HRSRC r = FindResourceA(nullptr, name, type);
  if (!r) return false;
  const unsigned char *p = static_cast<const unsigned char *>(LockResource(LoadResource(nullptr, r)));
  out->assign(p, p + SizeofResource(nullptr, r));
  return true;
}

std::string NameKey(LPCSTR name) {
  if (IS_INTRESOURCE(name)) return "#" + std::to_string(reinterpret_cast<ULONG_PTR>(name));
  std::string s = name;
  for (char &c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  return s;
}

bool IsSystemIconId(LPCSTR name) {
  ULONG_PTR id = reinterpret_cast<ULONG_PTR>(name);
  return IS_INTRESOURCE(name) && id >= 32512 && id <= 32518;
}

HICON SharedIcon(const std::string &key, LONG w, LONG h, WORD bits) {
  auto it = G().sharedIcons.find(key);
  if (it != G().sharedIcons.end() && Find(it->second)) return it->second;
  HICON icon = NewIcon(w, h, bits, true);
  G().sharedIcons[key] = icon;
  return icon;
}

HICON LoadIconImage(HINSTANCE instance, LPCSTR name, int cx, int cy, UINT flags, BOOL isIcon) {
  if (!name) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const bool shared = (flags & LR_SHARED) != 0;
  const LONG want = cx ? cx : kSystemIconSize;
  if (!instance && !(flags & LR_LOADFROMFILE)) {
    if (!IsSystemIconId(name)) {
      SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
      return nullptr;
    }
    LONG w = cx ? cx : kSystemIconSize, h = cy ? cy : kSystemIconSize;
    if (shared) return SharedIcon("system" + NameKey(name) + "/" + std::to_string(w), w, h, 32);
    return NewIcon(w, h, 32, false, isIcon);
  }
  IconChoice choice;
  std::string key;
  if (flags & LR_LOADFROMFILE) {
    std::vector<unsigned char> file;
    if (IS_INTRESOURCE(name) || !ReadFile(name, &file)) {
      SetLastError(ERROR_FILE_NOT_FOUND);
      return nullptr;
    }
    if (!ChooseIcon(file.data(), file.size(), true, want, &file, &choice)) {
      SetLastError(ERROR_INVALID_DATA);
      return nullptr;
    }
    key = std::string("file:") + name;
  } else {
    std::vector<unsigned char> dir;
    if (!ResourceBytes(name, isIcon ? RT_GROUP_ICON : RT_GROUP_CURSOR, &dir)) return nullptr;
    if (!ChooseIcon(dir.data(), dir.size(), false, want, nullptr, &choice)) {
      SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
      return nullptr;
    }
    key = "res:" + NameKey(name);
  }
  LONG w = cx ? cx : ((flags & LR_DEFAULTSIZE) ? kSystemIconSize : choice.width);
  LONG h = cy ? cy : ((flags & LR_DEFAULTSIZE) ? kSystemIconSize : choice.height);
  if (shared) return SharedIcon(key + "/" + std::to_string(w) + "x" + std::to_string(h), w, h, choice.bits);
  return NewIcon(w, h, choice.bits, false, isIcon);
}

}  // namespace

// ---- Device contexts ----------------------------------------------------------------------

HDC WINAPI GetDC(HWND hwnd) {
  if (hwnd && !IsWindow(hwnd)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  return NewDc(hwnd, false);
}

HDC WINAPI GetWindowDC(HWND hwnd) { return GetDC(hwnd); }

int WINAPI ReleaseDC(HWND, HDC hdc) {
  Object *dc = FindKind(hdc, Kind::Dc);
  if (!dc || dc->memory) return 0;
  FreeDc(hdc);
  return 1;
}

HDC WINAPI BeginPaint(HWND hwnd, LPPAINTSTRUCT ps) {
  if (!ps) return nullptr;
  if (!IsWindow(hwnd)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  HostValidateWindow(hwnd);
  *ps = PAINTSTRUCT{};
  ps->hdc = NewDc(hwnd, false);
  GetClientRect(hwnd, &ps->rcPaint);
  ps->fErase = FALSE;
  return ps->hdc;
}

BOOL WINAPI EndPaint(HWND, const PAINTSTRUCT *ps) {
  if (ps) {
    Object *dc = FindKind(ps->hdc, Kind::Dc);
    if (dc && !dc->memory) FreeDc(ps->hdc);
  }
  return TRUE;
}

HDC WINAPI CreateCompatibleDC(HDC hdc) {
  if (hdc && !FindDc(hdc)) return nullptr;
  return NewDc(nullptr, true);
}

BOOL WINAPI DeleteDC(HDC hdc) {
  // Window DCs should go back with ReleaseDC, but deleting one frees it too (Wine).
  if (!FindDc(hdc)) return FALSE;
  FreeDc(hdc);
  return TRUE;
}

HWND WINAPI WindowFromDC(HDC hdc) {
  Object *dc = FindKind(hdc, Kind::Dc);
  return dc ? dc->hwnd : nullptr;
}

int WINAPI GetDeviceCaps(HDC hdc, int index) {
  Object *dc = FindDc(hdc);
  if (!dc) return 0;
  switch (index) {
    case LOGPIXELSX:
    case LOGPIXELSY:
      return 96;
    case BITSPIXEL: {
      Object *bm = dc->memory ? FindKind(dc->dc.bitmap, Kind::Bitmap) : nullptr;
      return bm ? bm->bits : kScreenBits;
    }
    case PLANES:
      return 1;
    case HORZRES:
      return kScreenWidth;
    case VERTRES:
      return kScreenHeight;
    case NUMCOLORS:
      return -1;
    default:
      return 0;
  }
}

int WINAPI SaveDC(HDC hdc) {
  Object *dc = FindDc(hdc);
  if (!dc) return 0;
  dc->saved.push_back(dc->dc);
  for (HGDIOBJ x : {dc->dc.pen, dc->dc.brush, dc->dc.font, dc->dc.bitmap})
    if (x) AddSelection(x, hdc);
  return static_cast<int>(dc->saved.size());
}

BOOL WINAPI RestoreDC(HDC hdc, int saved) {
  Object *dc = FindDc(hdc);
  if (!dc) return FALSE;
  int depth = static_cast<int>(dc->saved.size());
  int target = saved < 0 ? depth + saved + 1 : saved;  // -1 is the last saved state
  if (target < 1 || target > depth) return FALSE;
  std::vector<HGDIOBJ> released = {dc->dc.pen, dc->dc.brush, dc->dc.font, dc->dc.bitmap};
  dc->dc = dc->saved[static_cast<size_t>(target - 1)];
  for (size_t i = static_cast<size_t>(target); i < dc->saved.size(); ++i)
    for (HGDIOBJ x : {dc->saved[i].pen, dc->saved[i].brush, dc->saved[i].font, dc->saved[i].bitmap})
      released.push_back(x);
  dc->saved.resize(static_cast<size_t>(target - 1));
  // The restored state's selections were counted when it was saved.
  for (HGDIOBJ x : released)
    if (x) DropSelection(x);
  return TRUE;
}

// ---- Objects ------------------------------------------------------------------------------

HGDIOBJ WINAPI GetStockObject(int index) { return Stock(index); }

HGDIOBJ WINAPI SelectObject(HDC hdc, HGDIOBJ obj) {
  Object *dc = FindDc(hdc);
  Object *o = Find(obj);
  if (!dc || !o || o->kind == Kind::Dc || o->kind == Kind::Icon) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  HGDIOBJ *slot = nullptr;
  switch (o->kind) {
    case Kind::Pen:
      slot = &dc->dc.pen;
      break;
    case Kind::Brush:
      slot = &dc->dc.brush;
      break;
    case Kind::Font:
      slot = &dc->dc.font;
      break;
    case Kind::Bitmap:
      // Only a memory DC takes a bitmap, and a bitmap sits in one DC at a time.
      if (!dc->memory) return nullptr;
      if (o->selectedInto && o->selectedInto != hdc) return nullptr;
      slot = &dc->dc.bitmap;
      break;
    default:
      return nullptr;
  }
  HGDIOBJ previous = *slot;
  if (previous == obj) return previous;
  Select(dc->dc, slot, obj);
  AddSelection(obj, hdc);
  if (previous) DropSelection(previous);
  return previous;
}

BOOL WINAPI DeleteObject(HGDIOBJ obj) {
  Object *o = Find(obj);
  if (!o || o->kind == Kind::Dc || o->kind == Kind::Icon) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (o->stock) return TRUE;
  if (o->selections > 0) {
    o->deletePending = true;
    return TRUE;
  }
  Free(obj);
  return TRUE;
}

int WINAPI GetObjectA(HANDLE obj, int size, LPVOID buffer) {
  // An object deleted while selected still answers until it is freed, as in Wine.
  Object *o = Find(obj);
  if (!o) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  auto copy = [&](const void *src, int n, bool partial) -> int {
    if (!buffer) return n;
    if (size < n && !partial) return 0;
    int k = std::min(size, n);
    if (k <= 0) return 0;
    memcpy(buffer, src, static_cast<size_t>(k));
    return k;
  };
  switch (o->kind) {
    case Kind::Pen:
      return copy(&o->pen, sizeof(LOGPEN), false);
    case Kind::Brush:
      return copy(&o->brush, sizeof(LOGBRUSH), true);
    case Kind::Font:
      return copy(&o->font, sizeof(LOGFONTA), true);
    case Kind::Bitmap: {
      DIBSECTION ds{};
      ds.dsBm.bmType = 0;
      ds.dsBm.bmWidth = o->width;
      ds.dsBm.bmHeight = o->height;
      ds.dsBm.bmWidthBytes = WidthBytes(o->width, o->bits, o->dib ? 4 : 2);
      ds.dsBm.bmPlanes = 1;
      ds.dsBm.bmBitsPixel = o->bits;
      ds.dsBm.bmBits = o->dib ? o->pixels.data() : nullptr;
      if (!buffer) return sizeof(BITMAP);
      if (o->dib && size >= static_cast<int>(sizeof(DIBSECTION))) {
        ds.dsBmih = o->dibHeader;
        memcpy(buffer, &ds, sizeof ds);
        return sizeof(DIBSECTION);
      }
      if (size < static_cast<int>(sizeof(BITMAP))) return 0;
      memcpy(buffer, &ds.dsBm, sizeof(BITMAP));
      return sizeof(BITMAP);
    }
    default:
      return 0;
  }
}

DWORD WINAPI GetObjectType(HGDIOBJ obj) {
  Object *o = Find(obj);
  if (!o) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  switch (o->kind) {
    case Kind::Pen:
      return OBJ_PEN;
    case Kind::Brush:
      return OBJ_BRUSH;
    case Kind::Font:
      return OBJ_FONT;
    case Kind::Bitmap:
      return OBJ_BITMAP;
    case Kind::Dc:
      return o->memory ? OBJ_MEMDC : OBJ_DC;
    default:
      return 0;
  }
}

HGDIOBJ WINAPI GetCurrentObject(HDC hdc, UINT type) {
  Object *dc = FindDc(hdc);
  if (!dc) return nullptr;
  switch (type) {
    case OBJ_PEN:
      return dc->dc.pen;
    case OBJ_BRUSH:
      return dc->dc.brush;
    case OBJ_FONT:
      return dc->dc.font;
    case OBJ_BITMAP:
      return dc->dc.bitmap ? dc->dc.bitmap : DefaultBitmap();
    default:
      return nullptr;
  }
}

HBRUSH WINAPI CreateBrushIndirect(const LOGBRUSH *lb) {
  if (!lb) return nullptr;
  auto o = std::make_unique<Object>();
  o->kind = Kind::Brush;
  o->brush = *lb;
  return static_cast<HBRUSH>(Add(std::move(o)));
}

HBRUSH WINAPI CreateSolidBrush(COLORREF color) {
  LOGBRUSH lb{BS_SOLID, color, 0};
  return CreateBrushIndirect(&lb);
}

HPEN WINAPI CreatePen(int style, int width, COLORREF color) {
  if (style < PS_SOLID || style > PS_INSIDEFRAME) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto o = std::make_unique<Object>();
  o->kind = Kind::Pen;
  o->pen = LOGPEN{static_cast<UINT>(style), POINT{width < 0 ? 0 : width, 0}, color};
  return static_cast<HPEN>(Add(std::move(o)));
}

HFONT WINAPI CreateFontIndirectA(const LOGFONTA *lf) {
  if (!lf) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto o = std::make_unique<Object>();
  o->kind = Kind::Font;
  o->font = *lf;
  // The face name is kept as a terminated string even if the caller's was not.
  o->font.lfFaceName[LF_FACESIZE - 1] = 0;
  return static_cast<HFONT>(Add(std::move(o)));
}

HFONT WINAPI CreateFontA(int height, int width, int escapement, int orientation, int weight, DWORD italic,
                         DWORD underline, DWORD strikeOut, DWORD charSet, DWORD outPrecision,
                         DWORD clipPrecision, DWORD quality, DWORD pitchAndFamily, LPCSTR faceName) {
  LOGFONTA lf{};
  lf.lfHeight = height;
  lf.lfWidth = width;
  lf.lfEscapement = escapement;
  lf.lfOrientation = orientation;
  lf.lfWeight = weight;
  lf.lfItalic = static_cast<BYTE>(italic);
  lf.lfUnderline = static_cast<BYTE>(underline);
  lf.lfStrikeOut = static_cast<BYTE>(strikeOut);
  lf.lfCharSet = static_cast<BYTE>(charSet);
  lf.lfOutPrecision = static_cast<BYTE>(outPrecision);
  lf.lfClipPrecision = static_cast<BYTE>(clipPrecision);
  lf.lfQuality = static_cast<BYTE>(quality);
  lf.lfPitchAndFamily = static_cast<BYTE>(pitchAndFamily);
  if (faceName) snprintf(lf.lfFaceName, sizeof lf.lfFaceName, "%s", faceName);
  return CreateFontIndirectA(&lf);
}

// ---- Text ---------------------------------------------------------------------------------

COLORREF WINAPI SetTextColor(HDC hdc, COLORREF color) {
  Object *dc = FindDc(hdc);
  if (!dc) return CLR_INVALID;
  COLORREF old = dc->dc.text;
  dc->dc.text = color;
  return old;
}

COLORREF WINAPI GetTextColor(HDC hdc) {
  Object *dc = FindDc(hdc);
  return dc ? dc->dc.text : CLR_INVALID;
}

COLORREF WINAPI SetBkColor(HDC hdc, COLORREF color) {
  Object *dc = FindDc(hdc);
  if (!dc) return CLR_INVALID;
  COLORREF old = dc->dc.bk;
  dc->dc.bk = color;
  return old;
}

COLORREF WINAPI GetBkColor(HDC hdc) {
  Object *dc = FindDc(hdc);
  return dc ? dc->dc.bk : CLR_INVALID;
}

int WINAPI SetBkMode(HDC hdc, int mode) {
  Object *dc = FindDc(hdc);
  if (!dc || (mode != TRANSPARENT && mode != OPAQUE)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  int old = dc->dc.bkMode;
  dc->dc.bkMode = mode;
  return old;
}

int WINAPI GetBkMode(HDC hdc) {
  Object *dc = FindDc(hdc);
  return dc ? dc->dc.bkMode : 0;
}

UINT WINAPI SetTextAlign(HDC hdc, UINT align) {
  Object *dc = FindDc(hdc);
  if (!dc) return GDI_ERROR;
  UINT old = dc->dc.align;
  dc->dc.align = align;
  return old;
}

UINT WINAPI GetTextAlign(HDC hdc) {
  Object *dc = FindDc(hdc);
  return dc ? dc->dc.align : GDI_ERROR;
}

BOOL WINAPI GetTextMetricsA(HDC hdc, LPTEXTMETRICA tm) {
  Object *dc = FindDc(hdc);
  if (!dc || !tm) return FALSE;
  Metrics m = DcMetrics(dc);
  *tm = TEXTMETRICA{};
  tm->tmHeight = m.height;
  tm->tmAscent = m.ascent;
  tm->tmDescent = m.descent;
  tm->tmInternalLeading = m.internal;
  tm->tmExternalLeading = 0;
  tm->tmAveCharWidth = m.ave;
  tm->tmMaxCharWidth = 2 * m.ave;
  tm->tmWeight = m.weight;
  tm->tmDigitizedAspectX = 96;
  tm->tmDigitizedAspectY = 96;
  tm->tmFirstChar = 0x20;
  tm->tmLastChar = 0xFC;
  tm->tmDefaultChar = 0x1F;
  tm->tmBreakChar = 0x20;
  tm->tmItalic = m.italic;
  tm->tmUnderlined = m.underline;
  tm->tmStruckOut = m.strikeOut;
  tm->tmPitchAndFamily = m.pitch;
  tm->tmCharSet = m.charSet;
  return TRUE;
}

BOOL WINAPI GetTextExtentPoint32A(HDC hdc, LPCSTR text, int count, SIZE *size) {
  Object *dc = FindDc(hdc);
  if (!dc || !size || count < 0 || (count > 0 && !text)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  Metrics m = DcMetrics(dc);
  size->cx = TextWidth(text, static_cast<size_t>(count), m.ave, false);
  size->cy = m.height;
  return TRUE;
}

int WINAPI GetTextFaceA(HDC hdc, int count, LPSTR face) {
  Object *dc = FindDc(hdc);
  if (!dc) return 0;
  Object *f = FindKind(dc->dc.font, Kind::Font);
  std::string name = f ? f->font.lfFaceName : "System";
  if (!face) return static_cast<int>(name.size()) + 1;
  if (count <= 0) return 0;
  size_t n = std::min(name.size(), static_cast<size_t>(count - 1));
  memcpy(face, name.data(), n);
  face[n] = 0;
  return static_cast<int>(n);
}

BOOL WINAPI TextOutA(HDC hdc, int, int, LPCSTR text, int count) {
  return FindDc(hdc) && count >= 0 && (count == 0 || text) ? TRUE : FALSE;
}

BOOL WINAPI ExtTextOutA(HDC hdc, int, int, UINT, const RECT *, LPCSTR text, UINT count, const INT *) {
  return FindDc(hdc) && (count == 0 || text) ? TRUE : FALSE;
}

int WINAPI DrawTextA(HDC hdc, LPCSTR text, int count, LPRECT rect, UINT format) {
  Object *dc = FindDc(hdc);
  if (!dc || !text || !rect || count == 0) return 0;
  std::string s = count < 0 ? std::string(text) : std::string(text, static_cast<size_t>(count));
  Metrics m = DcMetrics(dc);
  const LONG lineHeight = m.height;
  if (s.empty()) {
    if (format & DT_CALCRECT) {
      rect->right = rect->left;
      rect->bottom = (format & DT_SINGLELINE) ? rect->top + lineHeight : rect->top;
    }
    return lineHeight;
  }
  if (!(format & DT_NOPREFIX)) s = StripPrefixes(s);
  const bool tabs = (format & DT_EXPANDTABS) != 0;

  std::vector<std::string> lines;
  if (format & DT_SINGLELINE) {
    lines.push_back(s);
  } else {
    size_t start = 0;
    for (;;) {
      size_t end = s.find_first_of("\r\n", start);
      std::string para = s.substr(start, end == std::string::npos ? std::string::npos : end - start);
      if (format & DT_WORDBREAK) {
        for (std::string &l : Wrap(para, rect->right - rect->left, m.ave, tabs)) lines.push_back(l);
      } else {
        lines.push_back(para);
      }
      if (end == std::string::npos) break;
      start = end + ((s[end] == '\r' && end + 1 < s.size() && s[end + 1] == '\n') ? 2 : 1);
      if (start >= s.size()) break;  // a final line end opens no new line
    }
  }
  LONG width = 0;
  for (const std::string &l : lines) width = std::max(width, TextWidth(l.data(), l.size(), m.ave, tabs));
  const LONG height = lineHeight * static_cast<LONG>(lines.size());
  if (format & DT_CALCRECT) {
    rect->right = rect->left + width;
    rect->bottom = rect->top + height;
    return height;
  }
  // A single line placed lower answers with where its bottom is, as Wine computes it.
  if ((format & DT_SINGLELINE) && (format & DT_VCENTER))
    return (rect->bottom - rect->top) / 2 - lineHeight / 2 + lineHeight;
  if ((format & DT_SINGLELINE) && (format & DT_BOTTOM)) return rect->bottom - rect->top;
  return height;
}

// ---- Drawing ------------------------------------------------------------------------------

int WINAPI FillRect(HDC hdc, const RECT *rect, HBRUSH) { return FindDc(hdc) && rect ? 1 : 0; }
int WINAPI FrameRect(HDC hdc, const RECT *rect, HBRUSH) { return FindDc(hdc) && rect ? 1 : 0; }
BOOL WINAPI InvertRect(HDC hdc, const RECT *rect) { return FindDc(hdc) && rect ? TRUE : FALSE; }
BOOL WINAPI DrawFocusRect(HDC hdc, const RECT *rect) { return FindDc(hdc) && rect ? TRUE : FALSE; }

BOOL WINAPI DrawEdge(HDC hdc, LPRECT rect, UINT edge, UINT flags) {
  if (!FindDc(hdc) || !rect) return FALSE;
  if (flags & BF_ADJUST) {
    // Each edge part (outer, inner) is one pixel wide.
    int w = ((edge & BDR_OUTER) ? 1 : 0) + ((edge & BDR_INNER) ? 1 : 0);
    if (flags & BF_LEFT) rect->left += w;
    if (flags & BF_TOP) rect->top += w;
    if (flags & BF_RIGHT) rect->right -= w;
    if (flags & BF_BOTTOM) rect->bottom -= w;
  }
  return TRUE;
}

BOOL WINAPI Rectangle(HDC hdc, int, int, int, int) { return FindDc(hdc) ? TRUE : FALSE; }
BOOL WINAPI Ellipse(HDC hdc, int, int, int, int) { return FindDc(hdc) ? TRUE : FALSE; }

BOOL WINAPI Polygon(HDC hdc, const POINT *points, int count) {
  return FindDc(hdc) && points && count >= 2 ? TRUE : FALSE;
}

BOOL WINAPI Polyline(HDC hdc, const POINT *points, int count) {
  return FindDc(hdc) && points && count >= 2 ? TRUE : FALSE;
}

BOOL WINAPI MoveToEx(HDC hdc, int x, int y, LPPOINT previous) {
  Object *dc = FindDc(hdc);
  if (!dc) return FALSE;
  if (previous) *previous = dc->dc.pos;
  dc->dc.pos = POINT{x, y};
  return TRUE;
}

BOOL WINAPI LineTo(HDC hdc, int x, int y) {
  Object *dc = FindDc(hdc);
  if (!dc) return FALSE;
  dc->dc.pos = POINT{x, y};
  return TRUE;
}

COLORREF WINAPI SetPixel(HDC hdc, int, int, COLORREF color) { return FindDc(hdc) ? color : CLR_INVALID; }

BOOL WINAPI BitBlt(HDC dest, int, int, int, int, HDC src, int, int, DWORD) {
  return FindDc(dest) && (!src || FindDc(src)) ? TRUE : FALSE;
}

BOOL WINAPI StretchBlt(HDC dest, int, int, int, int, HDC src, int, int, int, int, DWORD) {
  return FindDc(dest) && (!src || FindDc(src)) ? TRUE : FALSE;
}

BOOL WINAPI PatBlt(HDC hdc, int, int, int, int, DWORD) { return FindDc(hdc) ? TRUE : FALSE; }

int WINAPI IntersectClipRect(HDC hdc, int, int, int, int) { return FindDc(hdc) ? SIMPLEREGION : ERROR; }
int WINAPI ExcludeClipRect(HDC hdc, int, int, int, int) { return FindDc(hdc) ? SIMPLEREGION : ERROR; }

BOOL WINAPI SetViewportOrgEx(HDC hdc, int, int, LPPOINT previous) {
  if (!FindDc(hdc)) return FALSE;
  if (previous) *previous = POINT{0, 0};
  return TRUE;
}

BOOL WINAPI SetWindowOrgEx(HDC hdc, int, int, LPPOINT previous) {
  if (!FindDc(hdc)) return FALSE;
  if (previous) *previous = POINT{0, 0};
  return TRUE;
}

// ---- Bitmaps ------------------------------------------------------------------------------

HBITMAP WINAPI CreateBitmap(int width, int height, UINT planes, UINT bitCount, const void *) {
  if (width < 0 || height < 0 || width > 0x10000 || height > 0x10000 || planes > 1) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (width == 0 || height == 0) return static_cast<HBITMAP>(DefaultBitmap());
  WORD bits = RoundBits(bitCount);
  if (!bits) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return static_cast<HBITMAP>(Add(NewBitmap(width, height, bits)));
}

HBITMAP WINAPI CreateCompatibleBitmap(HDC hdc, int width, int height) {
  Object *dc = FindDc(hdc);
  if (!dc) return nullptr;
  if (width <= 0 || height <= 0) return static_cast<HBITMAP>(DefaultBitmap());
  if (width > 0x10000 || height > 0x10000) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  // A memory DC makes bitmaps like the one it holds (monochrome at first).
  WORD bits = kScreenBits;
  if (dc->memory) {
    Object *bm = FindKind(dc->dc.bitmap, Kind::Bitmap);
    bits = bm ? bm->bits : 1;
  }
  return static_cast<HBITMAP>(Add(NewBitmap(width, height, bits)));
}

HBITMAP WINAPI CreateDIBSection(HDC hdc, const BITMAPINFO *info, UINT usage, void **bits, HANDLE section,
                                DWORD) {
  if (bits) *bits = nullptr;
  if ((hdc && !FindDc(hdc)) || !info || section || usage > DIB_PAL_COLORS) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const BITMAPINFOHEADER &bih = info->bmiHeader;
  LONG h = bih.biHeight < 0 ? -bih.biHeight : bih.biHeight;
  if (bih.biSize < sizeof(BITMAPINFOHEADER) || bih.biWidth <= 0 || h == 0 || bih.biWidth > 0x10000 ||
      h > 0x10000 || RoundBits(bih.biBitCount) != bih.biBitCount ||
      (bih.biCompression != BI_RGB && bih.biCompression != BI_BITFIELDS)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto o = NewBitmap(bih.biWidth, h, bih.biBitCount);
  o->dib = true;
  o->dibHeader = bih;
  o->dibHeader.biSize = sizeof(BITMAPINFOHEADER);
  o->pixels.assign(static_cast<size_t>(WidthBytes(bih.biWidth, bih.biBitCount, 4)) * static_cast<size_t>(h),
                   0);
  o->dibHeader.biSizeImage = static_cast<DWORD>(o->pixels.size());
  void *p = o->pixels.data();
  HBITMAP hb = static_cast<HBITMAP>(Add(std::move(o)));
  if (bits) *bits = p;
  return hb;
}

HBITMAP WINAPI LoadBitmapA(HINSTANCE instance, LPCSTR name) {
  return static_cast<HBITMAP>(LoadImageA(instance, name, IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR));
}

// ---- Icons --------------------------------------------------------------------------------

HICON WINAPI CreateIconIndirect(PICONINFO info) {
  if (!info) return nullptr;
  Object *mask = FindKind(info->hbmMask, Kind::Bitmap);
  Object *color = info->hbmColor ? FindKind(info->hbmColor, Kind::Bitmap) : nullptr;
  if (!mask || (info->hbmColor && !color)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  // Without a colour bitmap the mask holds the AND and XOR halves, one above the other.
  LONG w = color ? color->width : mask->width;
  LONG h = color ? color->height : mask->height / 2;
  HICON icon = NewIcon(w, h, color ? color->bits : 1, false, info->fIcon);
  Object *o = Find(icon);
  o->monochrome = color == nullptr;
  if (!info->fIcon) {
    o->hotX = info->xHotspot;
    o->hotY = info->yHotspot;
  }
  return icon;
}

BOOL WINAPI GetIconInfo(HICON icon, PICONINFO info) {
  Object *o = FindKind(icon, Kind::Icon);
  if (!o || !info) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  info->fIcon = o->isIcon;
  info->xHotspot = o->isIcon ? static_cast<DWORD>(o->width / 2) : o->hotX;
  info->yHotspot = o->isIcon ? static_cast<DWORD>(o->height / 2) : o->hotY;
  if (o->monochrome) {
    info->hbmMask = static_cast<HBITMAP>(Add(NewBitmap(o->width, o->height * 2, 1)));
    info->hbmColor = nullptr;
  } else {
    info->hbmMask = static_cast<HBITMAP>(Add(NewBitmap(o->width, o->height, 1)));
    info->hbmColor = static_cast<HBITMAP>(Add(NewBitmap(o->width, o->height, o->bits)));
  }
  return TRUE;
}

HICON WINAPI CopyIcon(HICON icon) { return static_cast<HICON>(CopyImage(icon, IMAGE_ICON, 0, 0, 0)); }

BOOL WINAPI DestroyIcon(HICON icon) {
  Object *o = FindKind(icon, Kind::Icon);
  if (!o) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!o->shared) Free(icon);
  return TRUE;
}

BOOL WINAPI DrawIconEx(HDC hdc, int, int, HICON icon, int, int, UINT, HBRUSH, UINT) {
  return FindDc(hdc) && FindKind(icon, Kind::Icon) ? TRUE : FALSE;
}

BOOL WINAPI DrawIcon(HDC hdc, int x, int y, HICON icon) {
  return DrawIconEx(hdc, x, y, icon, 0, 0, 0, nullptr, DI_NORMAL | DI_DEFAULTSIZE);
}

HICON WINAPI LoadIconA(HINSTANCE instance, LPCSTR name) {
  return LoadIconImage(instance, name, kSystemIconSize, kSystemIconSize, LR_SHARED, TRUE);
}

HANDLE WINAPI LoadImageA(HINSTANCE instance, LPCSTR name, UINT type, int cx, int cy, UINT flags) {
  if (type == IMAGE_ICON || type == IMAGE_CURSOR)
    return LoadIconImage(instance, name, cx, cy, flags, type == IMAGE_ICON);
  if (type != IMAGE_BITMAP || !name) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  std::vector<unsigned char> dib;
  if (flags & LR_LOADFROMFILE) {
    std::vector<unsigned char> file;
    if (IS_INTRESOURCE(name) || !ReadFile(name, &file)) {
      SetLastError(ERROR_FILE_NOT_FOUND);
      return nullptr;
    }
    if (file.size() < sizeof(BITMAPFILEHEADER) || file[0] != 'B' || file[1] != 'M') {
      SetLastError(ERROR_INVALID_DATA);
      return nullptr;
    }
    dib.assign(file.begin() + sizeof(BITMAPFILEHEADER), file.end());
  } else if (!ResourceBytes(name, RT_BITMAP, &dib)) {
    return nullptr;
  }
  HBITMAP bm = BitmapFromDib(dib.data(), dib.size(), flags);
  if (!bm) {
    SetLastError(ERROR_INVALID_DATA);
    return nullptr;
  }
  if (cx > 0 || cy > 0) {
    // Windows stretches to the size asked for.
    Object *o = Find(bm);
    if (cx > 0) o->width = cx;
    if (cy > 0) o->height = cy;
    if (o->dib) {
      o->dibHeader.biWidth = o->width;
      o->dibHeader.biHeight = o->height;
      o->pixels.assign(static_cast<size_t>(WidthBytes(o->width, o->bits, 4)) * static_cast<size_t>(o->height),
                       0);
      o->dibHeader.biSizeImage = static_cast<DWORD>(o->pixels.size());
    }
  }
  return bm;
}

HANDLE WINAPI CopyImage(HANDLE image, UINT type, int cx, int cy, UINT flags) {
  Object *o = Find(image);
  if (!o || (type == IMAGE_BITMAP) != (o->kind == Kind::Bitmap) ||
      (type != IMAGE_BITMAP && o->kind != Kind::Icon)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  LONG w = cx > 0 ? cx : o->width, h = cy > 0 ? cy : o->height;
  if ((flags & LR_COPYRETURNORG) && w == o->width && h == o->height) return image;
  HANDLE copy;
  if (type == IMAGE_BITMAP) {
    auto b = NewBitmap(w, h, (flags & LR_MONOCHROME) ? 1 : o->bits);
    if (o->dib || (flags & LR_CREATEDIBSECTION)) {
      b->dib = true;
      b->dibHeader = o->dibHeader;
      b->dibHeader.biSize = sizeof(BITMAPINFOHEADER);
      b->dibHeader.biWidth = w;
      b->dibHeader.biHeight = h;
      b->dibHeader.biPlanes = 1;
      b->dibHeader.biBitCount = b->bits;
      b->pixels.assign(static_cast<size_t>(WidthBytes(w, b->bits, 4)) * static_cast<size_t>(h), 0);
      b->dibHeader.biSizeImage = static_cast<DWORD>(b->pixels.size());
    }
    copy = Add(std::move(b));
  } else {
    copy = NewIcon(w, h, o->bits, false, o->isIcon);
    Object *c = Find(copy);
    c->monochrome = o->monochrome;
    c->hotX = o->hotX;
    c->hotY = o->hotY;
  }
  if (flags & LR_COPYDELETEORG) {
    if (type == IMAGE_BITMAP)
      DeleteObject(image);
    else
      DestroyIcon(static_cast<HICON>(image));
  }
  return copy;
}

namespace testhooks {

int LiveGdiObjectCount() {
  int n = 0;
  for (auto &o : G().objects)
    if (!o.second->stock && o.second->kind != Kind::Icon) ++n;
  return n;
}

int LiveIconCount() {
  int n = 0;
  for (auto &o : G().objects)
    if (o.second->kind == Kind::Icon && !o.second->shared) ++n;
  return n;
}

}  // namespace testhooks
