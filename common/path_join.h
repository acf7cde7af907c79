// Joins path pieces with exactly one backslash between them, into fixed buffers.
#pragma once
#include <stddef.h>

namespace qn {

// out = folder + "\" + leaf (no backslash added when folder is empty or already
// ends with one). False, with out untouched, when the result would not fit.
// out may be the same buffer as folder.
bool JoinPath(wchar_t* out, size_t capacity, const wchar_t* folder, const wchar_t* leaf);

}  // namespace qn
