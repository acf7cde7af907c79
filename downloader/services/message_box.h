// Message boxes with string-table texts; the caption is the kit's maker.
#pragma once
#include <windows.h>

// Shows text `textId` formatted printf-style into `capacity` characters (a text
// that would not fit is cut at the buffer's end, never written past it).
int ShowFormattedMessage(HWND owner, UINT textId, size_t capacity, UINT style, ...);
int ShowMessage(HWND owner, UINT textId, UINT style);
