#include "downloader/transfer/folder_names.h"

#include <wchar.h>

namespace {

const size_t kMaxNameChars = 255;

bool IsTrailingTrimmed(wchar_t c) { return c == L'.' || c == L' '; }

// Windows takes these names, with any extension and blanks before it, for
// devices whatever folder they lie in.
bool IsReservedDeviceName(const wchar_t* name) {
  static const wchar_t* const kDevices[] = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"};
  size_t stem = wcscspn(name, L".");
  while (stem > 0 && name[stem - 1] == L' ') --stem;
  for (size_t i = 0; i < sizeof(kDevices) / sizeof(kDevices[0]); ++i) {
    if (wcslen(kDevices[i]) == stem && _wcsnicmp(name, kDevices[i], stem) == 0) return true;
  }
  if (stem != 4 || (_wcsnicmp(name, L"COM", 3) != 0 && _wcsnicmp(name, L"LPT", 3) != 0)) return false;
  wchar_t digit = name[3];
  return (digit >= L'0' && digit <= L'9') || digit == 0x00B9 || digit == 0x00B2 || digit == 0x00B3;
}

}  // namespace

bool StoredFolderName(const wchar_t* text, wchar_t* out, size_t capacity) {
  if (out && capacity) out[0] = L'\0';
  if (!text || !out || capacity == 0) return false;
  for (const wchar_t* p = text; *p; ++p) {
    if (*p < 0x20 || wcschr(L"<>:\"/\\|?*", *p)) return false;
  }
  size_t length = wcslen(text);
  while (length > 0 && IsTrailingTrimmed(text[length - 1])) --length;
  if (length == 0 || length > kMaxNameChars || length >= capacity) return false;
  wmemcpy(out, text, length);
  out[length] = L'\0';
  if (IsReservedDeviceName(out)) {
    out[0] = L'\0';
    return false;
  }
  return true;
}

bool IsPlainFolderName(const wchar_t* text) {
  wchar_t stored[kMaxNameChars + 1];
  return StoredFolderName(text, stored, kMaxNameChars + 1);
}
