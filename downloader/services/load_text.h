// String-table texts from the resource module. Each call hands back a copy of
// its own, so the worker and the dialog can load texts at the same time.
// A text whose printf conversions differ from the ones its id is formatted
// with (text_conversions.h) is never handed out: the program's own text of
// that id stands in for it, or, failing that, an empty text.
#pragma once
#include <windows.h>

const size_t kTextChars = 512;

struct LoadedText {
  wchar_t text[kTextChars];
  const wchar_t* c_str() const { return text; }
  operator const wchar_t*() const { return text; }
};

LoadedText LoadText(UINT id);
