#include "downloader/transfer/text_token.h"

#include <errno.h>
#include <stdio.h>
#include <wchar.h>

#include "common/scoped_handles.h"

namespace {

// The white space of formatted input in the "C" locale.
bool IsSpace(int c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

}  // namespace

TokenRead ReadFirstToken(const wchar_t* path, wchar_t* token, size_t capacity, int* error) {
  if (error) *error = 0;
  if (token && capacity) token[0] = L'\0';
  errno = 0;
  qn::ScopedStream file(path ? _wfopen(path, L"rt") : NULL);
  if (!file.Valid()) {
    if (error) *error = errno ? errno : ENOENT;
    return kTokenOpenFailed;
  }
  int c = fgetc(file.Get());
  while (c != EOF && IsSpace(c)) c = fgetc(file.Get());
  size_t length = 0;
  // A zero byte ends the text as it would end any C string.
  while (c != EOF && c != 0 && !IsSpace(c)) {
    if (!token || length + 1 >= capacity) {
      if (token && capacity) token[0] = L'\0';
      return kTokenTooLong;
    }
    token[length++] = static_cast<wchar_t>(static_cast<unsigned char>(c));
    c = fgetc(file.Get());
  }
  if (token && capacity) token[length] = L'\0';
  return kTokenRead;
}

bool WriteTokenFile(const wchar_t* path, const wchar_t* text) {
  qn::ScopedStream file(path ? _wfopen(path, L"wt") : NULL);
  if (!file.Valid()) return false;
  for (const wchar_t* p = text ? text : L""; *p; ++p) {
    int byte = *p <= 0xFF ? static_cast<int>(*p) : '?';
    if (fputc(byte, file.Get()) == EOF) break;
  }
  // Closed here, to tell whether everything written reached the file.
  FILE* stream = file.Release();
  bool written = ferror(stream) == 0;
  return fclose(stream) == 0 && written;
}
