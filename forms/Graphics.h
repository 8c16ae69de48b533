// Drawing objects: colours, fonts, brushes, pens, a canvas over a device context,
// and the two pictures the program uses, bitmaps and icons. Each object owns its GDI
// handle and makes it on first use.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "forms/Classes.h"
#include "forms/Types.h"
#include "platform/winapi.h"

// An RGB value (0x00BBGGRR), or a system colour: 0x80000000 | COLOR_* index.
using TColor = int32_t;
enum : int32_t {
  clBlack = 0x000000,
  clMaroon = 0x000080,
  clGreen = 0x008000,
  clNavy = 0x800000,
  clGray = 0x808080,
  clSilver = 0xC0C0C0,
  clRed = 0x0000FF,
  clBlue = 0xFF0000,
  clWhite = 0xFFFFFF,
  clNone = 0x1FFFFFFF,
  clScrollBar = static_cast<int32_t>(0x80000000u | 0),
  clBackground = static_cast<int32_t>(0x80000000u | 1),
  clMenu = static_cast<int32_t>(0x80000000u | 4),
  clWindow = static_cast<int32_t>(0x80000000u | 5),
  clWindowFrame = static_cast<int32_t>(0x80000000u | 6),
  clWindowText = static_cast<int32_t>(0x80000000u | 8),
  clBtnFace = static_cast<int32_t>(0x80000000u | 15),
  clBtnShadow = static_cast<int32_t>(0x80000000u | 16),
  clGrayText = static_cast<int32_t>(0x80000000u | 17),
  clBtnText = static_cast<int32_t>(0x80000000u | 18),
  clBtnHighlight = static_cast<int32_t>(0x80000000u | 20),
};
// The RGB value of a colour (system colours through GetSysColor).
COLORREF ColorToRGB(TColor Color);

// Bits of TFont::Style().
using TFontStyles = unsigned;
enum : unsigned { fsBold = 1u, fsItalic = 2u, fsUnderline = 4u, fsStrikeOut = 8u };

// The framework's default font, the one every form and control starts with.
extern const char *const DefaultFontName;  // "ＭＳ Ｐゴシック"
enum : int { DefaultFontHeight = -12 };    // negative: character height in pixels

class TGraphicsObject : public TPersistent {
 public:
  TNotifyEvent OnChange;

 protected:
  // Raises OnChange.
  virtual void Changed();
  // For a change that makes the handle obsolete: the owner has already cleared its
  // handle field, so a listener that asks for Handle gets a new one; Old is deleted
  // after OnChange, once listeners (a canvas) have taken it out of their DCs.
  void ChangedDeleting(HGDIOBJ Old);
};

class TFont : public TGraphicsObject {
 public:
  TFont();
  ~TFont() override;
  // Negative Height is the character height in pixels (as LOGFONT's lfHeight).
  const std::string &Name() const { return FName; }
  void SetName(const std::string &Value);
  int Height() const { return FHeight; }
  void SetHeight(int Value);
  BYTE Charset() const { return FCharset; }  // SHIFTJIS_CHARSET 128 by default
  void SetCharset(BYTE Value);
  TFontStyles Style() const { return FStyle; }
  void SetStyle(TFontStyles Value);
  TColor Color() const { return FColor; }
  void SetColor(TColor Value);
  // The font handle, made on first use and remade after a change; owned by the font.
  // A name longer than a face name can hold is cut at a character boundary.
  HFONT Handle();
  void Assign(const TPersistent *Source) override;

 protected:
  void Changed() override;

 private:
  std::string FName;
  int FHeight;
  BYTE FCharset;
  TFontStyles FStyle = 0;
  TColor FColor = clWindowText;
  HFONT FHandle = nullptr;  // owned
};

enum TBrushStyle { bsSolid, bsClear };

class TBrush : public TGraphicsObject {
 public:
  TBrush() = default;
  ~TBrush() override;
  TColor Color() const { return FColor; }
  void SetColor(TColor Value);
  TBrushStyle Style() const { return FStyle; }
  void SetStyle(TBrushStyle Value);
  HBRUSH Handle();
  void Assign(const TPersistent *Source) override;

 protected:
  void Changed() override;

 private:
  TColor FColor = clWhite;
  TBrushStyle FStyle = bsSolid;
  HBRUSH FHandle = nullptr;  // owned
};

class TPen : public TGraphicsObject {
 public:
  TPen() = default;
  ~TPen() override;
  TColor Color() const { return FColor; }
  void SetColor(TColor Value);
  int Width() const { return FWidth; }
  void SetWidth(int Value);
  HPEN Handle();
  void Assign(const TPersistent *Source) override;

 protected:
  void Changed() override;

 private:
  TColor FColor = clBlack;
  int FWidth = 1;
  HPEN FHandle = nullptr;  // owned
};

class TGraphic;

// Drawing on a device context that someone else owns (a paint call's DC): the
// canvas selects its font, brush and pen into it and puts the old ones back when
// the handle is released.
class TCanvas : public TPersistent {
 public:
  TCanvas();
  ~TCanvas() override;
  HDC Handle() const { return FHandle; }
  // Takes DC (not owned); nullptr releases the current one.
  void SetHandle(HDC DC);
  TFont *Font() const { return FFont; }
  TBrush *Brush() const { return FBrush; }
  TPen *Pen() const { return FPen; }

  void FillRect(const TRect &Rect);
  void FrameRect(const TRect &Rect);
  void Rectangle(int X1, int Y1, int X2, int Y2);
  void DrawFocusRect(const TRect &Rect);
  void MoveTo(int X, int Y);
  void LineTo(int X, int Y);
  void Polygon(const std::vector<TPoint> &Points);
  void TextOut(int X, int Y, const std::string &Text);
  // DrawTextA with Flags (DT_*) inside Rect; returns the text height.
  int DrawText(const std::string &Text, TRect &Rect, UINT Flags);
  int TextWidth(const std::string &Text);
  int TextHeight(const std::string &Text);
  // Draws Graphic at its own size; an empty or missing graphic draws nothing.
  void Draw(int X, int Y, TGraphic *Graphic);

  // Selects the font, brush and pen into the DC and sets its colours from them;
  // raises Exception when the canvas has no DC. Every drawing call does this first.
  void RequiredState();

 private:
  void DeselectFont();
  void DeselectBrush();
  void DeselectPen();

  HDC FHandle = nullptr;  // not owned
  TFont *FFont;           // owned
  TBrush *FBrush;         // owned
  TPen *FPen;             // owned
  HGDIOBJ FOldFont = nullptr, FOldBrush = nullptr, FOldPen = nullptr;
};

// A picture. OnChange (of TGraphicsObject's kind) is raised after every change of
// the image, whatever its source.
class TGraphic : public TPersistent {
 public:
  virtual bool Empty() const = 0;
  virtual int Width() const = 0;
  virtual int Height() const = 0;
  virtual void Draw(TCanvas *ACanvas, const TRect &Rect) = 0;
  TNotifyEvent OnChange;

 protected:
  virtual void Changed();
};

class TBitmap : public TGraphic {
 public:
  TBitmap() = default;
  ~TBitmap() override;
  bool Empty() const override { return FHandle == nullptr; }
  int Width() const override;
  int Height() const override;
  void Draw(TCanvas *ACanvas, const TRect &Rect) override;
  HBITMAP Handle() const { return FHandle; }
  // Takes ownership of Value (the old bitmap is deleted); nullptr empties it.
  void SetHandle(HBITMAP Value);
  // Gives up ownership: the caller deletes the returned bitmap.
  HBITMAP ReleaseHandle();
  // Loads a bitmap resource of Instance (kept as a DIB section, so its colours do not
  // depend on the screen); raises EResNotFound when it is missing.
  void LoadFromResourceName(HINSTANCE Instance, const std::string &ResName);
  // The colour that Draw leaves transparent; clNone (the default) draws it opaque.
  TColor TransparentColor = clNone;
  // Copies the image and TransparentColor of another bitmap; nullptr empties it.
  void Assign(const TPersistent *Source) override;

 private:
  HBITMAP FHandle = nullptr;  // owned
};

class TIcon : public TGraphic {
 public:
  TIcon() = default;
  ~TIcon() override;
  bool Empty() const override { return FHandle == nullptr; }
  int Width() const override;
  int Height() const override;
  void Draw(TCanvas *ACanvas, const TRect &Rect) override;
  // The icon handle; nullptr for an empty icon.
  HICON Handle() const { return FHandle; }
  // Takes ownership of Value (the old icon is destroyed).
  void SetHandle(HICON Value);
  HICON ReleaseHandle();
  // Loads an icon resource (16 × 16 wanted); raises EResNotFound when missing.
  void LoadFromResourceName(HINSTANCE Instance, const std::string &ResName);
  // Copies the other icon's image (CopyIcon), so both own a handle; nullptr empties it.
  void Assign(const TPersistent *Source) override;

 private:
  HICON FHandle = nullptr;  // owned
};

class EResNotFound : public Exception {
 public:
  using Exception::Exception;
};
