// A spin edit whose text alignment can be chosen; numbers read best right-aligned,
// which is therefore the default.
#pragma once

#include "controls/SpinEdit.h"

class TAlignedSpinEdit : public TSpinEdit {
 public:
  explicit TAlignedSpinEdit(TComponent *AOwner);
  TAlignment Alignment() const { return FAlignment; }
  // An edit takes its alignment only when its window is made: a change re-creates it.
  void SetAlignment(TAlignment Value);

 protected:
  void CreateParams(TCreateParams &Params) override;

 private:
  TAlignment FAlignment = taRightJustify;
};
