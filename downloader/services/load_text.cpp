#include "downloader/services/load_text.h"

#include "downloader/services/setup_state.h"

LoadedText LoadText(UINT id) {
  LoadedText t;
  t.text[0] = L'\0';
  HMODULE module = g_setup.resourceModule ? g_setup.resourceModule : GetModuleHandleW(NULL);
  // LoadStringW cuts at the buffer and always terminates; a missing id gives "".
  if (LoadStringW(module, id, t.text, static_cast<int>(kTextChars)) <= 0) t.text[0] = L'\0';
  return t;
}
