// A zero-terminated wide text in a fixed buffer. Every write reports whether it
// fit; an overflowing write leaves the previous content unchanged, so a path is
// never cut silently into another path.
#pragma once
#include <cstdarg>
#include <cstddef>
#include <string.h>
#include <wchar.h>
#include <stddef.h>

#include "common/wide_format.h"

namespace qn {

template <size_t N>
class FixedString {
 public:
  FixedString() { buf_[0] = L'\0'; }
  explicit FixedString(const wchar_t* text) {
    buf_[0] = L'\0';
    Assign(text);
  }

  static constexpr size_t kCapacity = N;  // terminator included

  bool Assign(const wchar_t* text) {
    if (!text) {
      Clear();
      return true;
    }
    return AssignN(text, wcslen(text));
  }
  [[nodiscard]] bool AssignN(const wchar_t* text, size_t len) {
    if (len >= N) return false;
    memmove(buf_, text, len * sizeof(wchar_t));
    buf_[len] = L'\0';
    return true;
  }
  [[nodiscard]] bool Append(const wchar_t* text) {
    if (!text) return true;
    size_t have = Length();
    size_t add = wcslen(text);
    if (add >= N - have) return false;
    memmove(buf_ + have, text, add * sizeof(wchar_t));
    buf_[have + add] = L'\0';
    return true;
  }
  [[nodiscard]] bool AppendChar(wchar_t c) {
    wchar_t one[2] = {c, L'\0'};
    return Append(one);
  }
  // Printf-style with Microsoft's %s; on overflow the old content stays.
  [[nodiscard]] bool Format(const wchar_t* format, ...) {
    wchar_t tmp[N];
    va_list args;
    va_start(args, format);
    bool ok = FormatIntoV(tmp, N, format, args);
    va_end(args);
    if (ok) memcpy(buf_, tmp, sizeof(tmp));
    return ok;
  }
  void Clear() { buf_[0] = L'\0'; }
  bool Empty() const { return buf_[0] == L'\0'; }
  size_t Length() const { return wcslen(buf_); }
  bool EndsWith(wchar_t c) const {
    size_t n = Length();
    return n > 0 && buf_[n - 1] == c;
  }
  const wchar_t* c_str() const { return buf_; }
  wchar_t* data() { return buf_; }
  operator const wchar_t*() const { return buf_; }

 private:
  wchar_t buf_[N];
};

// Copies text into a raw fixed buffer; false (and the buffer left unchanged)
// when it does not fit.
inline bool CopyText(wchar_t* dst, size_t capacity, const wchar_t* text) {
  if (!dst || capacity == 0) return false;
  if (!text) text = L"";
  size_t len = wcslen(text);
  if (len >= capacity) return false;
  memmove(dst, text, len * sizeof(wchar_t));
  dst[len] = L'\0';
  return true;
}

// Appends text to a raw fixed buffer; false (buffer unchanged) on overflow.
inline bool AppendText(wchar_t* dst, size_t capacity, const wchar_t* text) {
  if (!dst || capacity == 0) return false;
  if (!text) return true;
  size_t have = wcslen(dst);
  size_t add = wcslen(text);
  if (have >= capacity || add >= capacity - have) return false;
  memmove(dst + have, text, add * sizeof(wchar_t));
  dst[have + add] = L'\0';
  return true;
}

}  // namespace qn

// Joins path pieces with exactly one backslash between them, into fixed buffers.
namespace qn {

// out = folder + "\" + leaf (no backslash added when folder is empty or already
// ends with one). False, with out untouched, when the result would not fit.
// out may be the same buffer as folder.
bool JoinPath(wchar_t* out, size_t capacity, const wchar_t* folder, const wchar_t* leaf);

}  // namespace qn
