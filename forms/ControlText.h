// Text measurements shared by the controls that size or paint their own captions.
#pragma once

#include <string>

#include "forms/Controls.h"

namespace controltext {

// The size DrawTextA gives Text in Font on the screen (DT_CALCRECT added; Width limits
// the lines when Flags has DT_WORDBREAK).
SIZE Measure(TFont *Font, const std::string &Text, UINT Flags, int Width);
// The font's cell height (tmHeight).
int CellHeight(TFont *Font);
// Whether Window hides accelerator underlines until Alt is pressed (its keyboard-cue
// state); false when it has no window.
bool AccelCuesHidden(TWinControl *Window);

}  // namespace controltext
