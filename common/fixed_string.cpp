#include "common/fixed_string.h"

#include <string.h>
#include <wchar.h>

namespace qn {

bool JoinPath(wchar_t* out, size_t capacity, const wchar_t* folder, const wchar_t* leaf) {
  if (!out || capacity == 0) return false;
  if (!folder) folder = L"";
  if (!leaf) leaf = L"";
  size_t folderLen = wcslen(folder);
  size_t leafLen = wcslen(leaf);
  bool separator = folderLen > 0 && leafLen > 0 && folder[folderLen - 1] != L'\\' && folder[folderLen - 1] != L'/';
  size_t total = folderLen + (separator ? 1 : 0) + leafLen;
  if (total >= capacity) return false;
  memmove(out, folder, folderLen * sizeof(wchar_t));
  if (separator) out[folderLen] = L'\\';
  memmove(out + folderLen + (separator ? 1 : 0), leaf, leafLen * sizeof(wchar_t));
  out[total] = L'\0';
  return true;
}

}  // namespace qn
