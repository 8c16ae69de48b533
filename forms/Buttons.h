// The speed button: a non-windowed push button that shows a glyph, painted on its
// parent and pressed with the mouse.
#pragma once

#include "forms/Controls.h"

enum TButtonState { bsUp, bsDisabled, bsDown, bsExclusive };
// How many images a glyph holds side by side: up, disabled, down, exclusive (1 to 4).
using TNumGlyphs = int;

class TSpeedButton : public TGraphicControl {
 public:
  explicit TSpeedButton(TComponent *AOwner);
  ~TSpeedButton() override;
  TBitmap *Glyph() const { return FGlyph; }
  // Copies Value's image (nullptr empties the glyph).
  void SetGlyph(const TBitmap *Value);
  TNumGlyphs NumGlyphs() const { return FNumGlyphs; }
  void SetNumGlyphs(TNumGlyphs Value);
  bool Flat = false;
  // Buttons of one group (GroupIndex > 0) stay down one at a time.
  int GroupIndex = 0;
  bool Down() const { return FDown; }
  void SetDown(bool Value);
  bool AllowAllUp = false;
  TButtonState State() const { return FState; }
  void Click() override;

 protected:
  void WndProc(TMessage &Message) override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseMove(TShiftState Shift, int X, int Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void Paint() override;
  // The button's face rectangle after drawing the frame (for subclasses' extras).
  TRect FaceRect() const;

  TButtonState FState = bsUp;
  bool FDragging = false;  // pressed inside and not yet released

 private:
  TBitmap *FGlyph;  // owned
  TNumGlyphs FNumGlyphs = 1;
  bool FDown = false;
};
