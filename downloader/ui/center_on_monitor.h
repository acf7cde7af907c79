// Placing the progress dialog in the middle of the monitor it is on.
#pragma once
#include <windows.h>

// Top-left corner that centres a window of the given rectangle on the work area;
// a window larger than the work area keeps its top-left corner inside it.
POINT CenteredPosition(const RECT& window, const RECT& workArea);

// Moves the window there (work area of its monitor, or of the primary one),
// without resizing, reordering or activating it.
void CenterOnMonitor(HWND window);
