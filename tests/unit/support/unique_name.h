// Names that no other test, test program or earlier run has used: for scratch
// folders, registry keys, events, and URL paths that must never be answered
// from the URL cache.
#pragma once
#include <windows.h>

#include <string>

#include "common/wide_format.h"

namespace kittest {

// stem_<process id>_<tick count>_<serial>. Wine hands out the same process ids
// run after run; the tick count counts from the machine's start, so it moves on
// between runs as well.
inline std::wstring UniqueName(const std::wstring& stem) {
  static LONG serial = 0;
  wchar_t numbers[64];
  qn::FormatInto(numbers, 64, L"_%lu_%lu_%ld", GetCurrentProcessId(), GetTickCount(), InterlockedIncrement(&serial));
  return stem + numbers;
}

}  // namespace kittest
