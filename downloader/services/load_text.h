// String-table texts from the resource module. Each call hands back a copy of
// its own, so the worker and the dialog can load texts at the same time.
#pragma once
#include <windows.h>

const size_t kTextChars = 512;

struct LoadedText {
  wchar_t text[kTextChars];
  const wchar_t* c_str() const { return text; }
  operator const wchar_t*() const { return text; }
};

LoadedText LoadText(UINT id);
