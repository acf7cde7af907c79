#include "downloader/services/message_box.h"

#include <new>
#include <stdarg.h>
#include <string.h>

#include "common/wide_format.h"
#include "downloader/services/load_text.h"
#include "downloader/services/setup_state.h"

int ShowFormattedMessage(HWND owner, UINT textId, size_t capacity, UINT style, ...) {
  LoadedText format = LoadText(textId);
  va_list args;
  va_start(args, style);
  int n = qn::FormattedLengthV(format.text, args);
  wchar_t* text = NULL;
  if (n >= 0 && capacity > 0) {
    text = new (std::nothrow) wchar_t[n + 1];
    if (text && qn::FormatIntoV(text, n + 1, format.text, args)) {
      if (static_cast<size_t>(n) >= capacity) text[capacity - 1] = L'\0';
    }
  }
  va_end(args);
  int answer = MessageBoxW(owner, text ? text : format.text, g_setup.locations.manufacturerName, style);
  delete[] text;
  return answer;
}

int ShowMessage(HWND owner, UINT textId, UINT style) {
  LoadedText text = LoadText(textId);
  return MessageBoxW(owner, text.text, g_setup.locations.manufacturerName, style);
}
