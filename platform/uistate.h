// What the user interface looks like on this machine: the common-controls version in
// use and whether visual styles are in effect. Both can be overridden by the test seam.
#pragma once

// Major << 16 | minor: Windows asks comctl32.dll's DllGetVersion (4.0 when it has
// none); the host layer reports 6.0.
unsigned CommonControlsVersion();
// Windows: the application is themed, a theme is active and common controls 6 are in
// use. The host layer draws nothing and reports false.
bool VisualStylesInEffect();
// Whether a balloon stays on the screen for its time-out (Windows) or is only reported
// as it is shown (the host layer writes it to stderr at once).
bool BalloonsStayOnScreen();
