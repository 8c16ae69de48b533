// Spin edits: a single-line edit for a whole number with a pair of arrow buttons at its
// right edge. TRepeatButton is one arrow that repeats while held, TSpinButton the pair,
// TSpinEdit the edit with the pair, value checking and character filtering.
#pragma once

#include <cstdint>

#include "forms/Buttons.h"
#include "forms/ExtCtrls.h"
#include "forms/StdCtrls.h"

// Bits of TRepeatButton::Flags().
using TRepeatButtonFlags = unsigned;
enum : unsigned {
  rbFocusRect = 1u,   // draw a focus rectangle inside the face
  rbAutoRepeat = 2u,  // click again and again while held down
};

// A speed button that, with rbAutoRepeat, clicks itself 400 ms after the press and then
// every 100 ms while it is still pressed under the pointer.
class TRepeatButton : public TSpeedButton {
 public:
  explicit TRepeatButton(TComponent *AOwner);
  ~TRepeatButton() override;
  TRepeatButtonFlags Flags() const { return FFlags; }
  void SetFlags(TRepeatButtonFlags Value);
  // The repeat timer: nullptr until the first press.
  TTimer *RepeatTimer() const { return FRepeatTimer; }

  static constexpr UINT InitRepeatPause = 400;  // ms from the press to the first repeat
  static constexpr UINT RepeatPause = 100;      // ms between repeats

 protected:
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void Paint() override;

 private:
  void TimerExpired(TObject *Sender);

  TRepeatButtonFlags FFlags = 0;
  TTimer *FRepeatTimer = nullptr;  // owned: made on the first press
};

// The up and down arrow pair. Pressing an arrow hands the keyboard focus to
// FocusControl (the edit it steps), so the pair itself is no tab stop by default.
class TSpinButton : public TWinControl {
 public:
  explicit TSpinButton(TComponent *AOwner);
  ~TSpinButton() override;

  // Glyphs are copied; nullptr (or an empty bitmap) puts back the built-in arrow,
  // the program's bitmap resource "SpinUp" / "SpinDown".
  TBitmap *UpGlyph() const { return FUpButton->Glyph(); }
  void SetUpGlyph(const TBitmap *Value);
  TBitmap *DownGlyph() const { return FDownButton->Glyph(); }
  void SetDownGlyph(const TBitmap *Value);
  TNumGlyphs UpNumGlyphs() const { return FUpButton->NumGlyphs(); }
  void SetUpNumGlyphs(TNumGlyphs Value) { FUpButton->SetNumGlyphs(Value); }
  TNumGlyphs DownNumGlyphs() const { return FDownButton->NumGlyphs(); }
  void SetDownNumGlyphs(TNumGlyphs Value) { FDownButton->SetNumGlyphs(Value); }
  TWinControl *FocusControl() const { return FFocusControl; }
  void SetFocusControl(TWinControl *Value);

  // The arrows, for the code that lays out or inspects the pair.
  TRepeatButton *UpButton() const { return FUpButton; }
  TRepeatButton *DownButton() const { return FDownButton; }
  // The arrow that Space clicks and that shows the focus rectangle.
  TRepeatButton *FocusedButton() const { return FFocusedButton; }

  void SetBounds(int ALeft, int ATop, int AWidth, int AHeight) override;
  void Loaded() override;

  TNotifyEvent OnUpClick;
  TNotifyEvent OnDownClick;

 protected:
  void WndProc(TMessage &Message) override;
  void KeyDown(WORD &Key, TShiftState Shift) override;
  void Notification(TComponent *AComponent, TOperation Operation) override;
  virtual void DoUpClick();
  virtual void DoDownClick();

 private:
  TRepeatButton *CreateButton();
  void LoadGlyph(TRepeatButton *Button, const TBitmap *Value, const char *ResName);
  // Clamps the width and places the arrows; nothing while loading.
  void AdjustSize(int &W, int &H);
  void SetFocusBtn(TRepeatButton *Btn);
  void BtnMouseDown(TObject *Sender, TMouseButton Button, TShiftState Shift, int X, int Y);
  void BtnClick(TObject *Sender);

  TRepeatButton *FUpButton;              // owned
  TRepeatButton *FDownButton;            // owned
  TRepeatButton *FFocusedButton;         // not owned: one of the two above
  TWinControl *FFocusControl = nullptr;  // not owned: cleared when it goes
};

// An edit for a whole number between MinValue and MaxValue (no bounds when they are
// equal). Value reads the text (MinValue when it is no number); the text is bounded
// when Value is assigned and when the focus leaves the edit, never while typing.
class TSpinEdit : public TCustomEdit {
 public:
  explicit TSpinEdit(TComponent *AOwner);
  ~TSpinEdit() override;

  // false: no typing, pasting or cutting; the arrows still step.
  bool EditorEnabled() const { return FEditorEnabled; }
  void SetEditorEnabled(bool Value) { FEditorEnabled = Value; }
  int32_t Increment() const { return FIncrement; }
  void SetIncrement(int32_t Value) { FIncrement = Value; }
  int32_t MinValue() const { return FMinValue; }
  void SetMinValue(int32_t Value) { FMinValue = Value; }
  int32_t MaxValue() const { return FMaxValue; }
  void SetMaxValue(int32_t Value) { FMaxValue = Value; }
  int32_t Value() const;
  void SetValue(int32_t NewValue);

  virtual void StepUp(TObject *Sender);
  virtual void StepDown(TObject *Sender);

  void Loaded() override;

 protected:
  void WndProc(TMessage &Message) override;
  void CreateParams(TCreateParams &Params) override;
  void CreateHandleDone() override;
  void KeyDown(WORD &Key, TShiftState Shift) override;
  void KeyPress(char &Key) override;
  void DoEnter() override;
  void DoExit() override;

  int32_t CheckValue(int64_t NewValue) const;
  bool IsValidChar(char Key) const;
  // The smallest height that shows a line of text in the edit's font.
  int MinHeight();
  // Keeps the height at least MinHeight, places the arrows and sets the text area.
  void LayoutButton();
  void SetEditRect();

 private:
  TSpinButton *FButton;  // owned: child window of the edit
  bool FEditorEnabled = true;
  int32_t FIncrement = 1;
  int32_t FMinValue = 0;
  int32_t FMaxValue = 0;
  bool FLayingOut = false;
};
