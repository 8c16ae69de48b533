// The spin edit with a chosen text alignment.
#include "controls/AlignedSpinEdit.h"

TAlignedSpinEdit::TAlignedSpinEdit(TComponent *AOwner) : TSpinEdit(AOwner) {}

void TAlignedSpinEdit::SetAlignment(TAlignment Value) {
  if (Value == FAlignment) return;
  FAlignment = Value;
  if (HandleAllocated()) RecreateWnd();
}

void TAlignedSpinEdit::CreateParams(TCreateParams &Params) {
  TSpinEdit::CreateParams(Params);
  Params.Style &= ~static_cast<DWORD>(ES_RIGHT | ES_CENTER);
  Params.Style |= ES_MULTILINE;
  if (FAlignment == taRightJustify) {
    Params.Style |= ES_RIGHT;
  } else if (FAlignment == taCenter) {
    Params.Style |= ES_CENTER;
  }
}
