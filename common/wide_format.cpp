#include "common/wide_format.h"

#include <stdio.h>
#include <string.h>

namespace qn {

int FormattedLengthV(const wchar_t* format, va_list args) {
  if (!format) return -1;
  va_list copy;
  va_copy(copy, args);
  int n = _vscwprintf(format, copy);
  va_end(copy);
  return n;
}

bool FormatIntoV(wchar_t* buf, size_t capacity, const wchar_t* format, va_list args) {
  if (!buf || capacity == 0) return false;
  buf[0] = L'\0';
  if (!format) return false;
  int needed = FormattedLengthV(format, args);
  if (needed < 0 || static_cast<size_t>(needed) >= capacity) return false;
  va_list copy;
  va_copy(copy, args);
  int written = _vsnwprintf(buf, capacity, format, copy);
  va_end(copy);
  if (written != needed) {
    buf[0] = L'\0';
    return false;
  }
  buf[capacity - 1] = L'\0';
  return true;
}

bool FormatInto(wchar_t* buf, size_t capacity, const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  bool ok = FormatIntoV(buf, capacity, format, args);
  va_end(args);
  return ok;
}

bool FormatPlaceholders(wchar_t* buf, size_t capacity, const wchar_t* templ,
                        const wchar_t* const* args, size_t argCount) {
  if (!buf || capacity == 0) return false;
  buf[0] = L'\0';
  if (!templ) return false;
  size_t out = 0;
  size_t next = 0;
  for (const wchar_t* p = templ; *p; ++p) {
    const wchar_t* piece = p;
    size_t pieceLen = 1;
    if (p[0] == L'%' && p[1] == L's') {
      const wchar_t* arg = (next < argCount && args && args[next]) ? args[next] : L"";
      ++next;
      piece = arg;
      pieceLen = wcslen(arg);
      ++p;
    }
    if (pieceLen >= capacity - out) {
      buf[0] = L'\0';
      return false;
    }
    memcpy(buf + out, piece, pieceLen * sizeof(wchar_t));
    out += pieceLen;
  }
  buf[out] = L'\0';
  return true;
}

}  // namespace qn
