#pragma once
// The forms name the fonts of the desktop they were drawn on. Where fontconfig has no alias
// of equal metrics for one of them, the toolkit is told which installed font stands in.

// Call once after the QApplication exists and before the first window is built.
void InstallFontSubstitutes();
