#include "downloader/services/load_text.h"

#include "downloader/services/diagnostic_log.h"
#include "downloader/services/setup_state.h"
#include "downloader/services/text_conversions.h"
#include "downloader/services/text_ids.h"

namespace {

void LoadFrom(HMODULE module, UINT id, wchar_t* text) {
  // LoadStringW cuts at the buffer and always terminates; a missing id gives "".
  if (LoadStringW(module, id, text, static_cast<int>(kTextChars)) <= 0) text[0] = L'\0';
}

// The text takes exactly the arguments the program passes for its id.
bool FitsItsUse(UINT id, const wchar_t* text, HMODULE own) {
  if (id < IDS_STORE_ROW_FIRST) return TextHasConversions(text, ExpectedConversions(id));
  wchar_t ownRow[kTextChars];
  LoadFrom(own, id, ownRow);
  return StoreRowFits(text, ownRow);
}

}  // namespace

LoadedText LoadText(UINT id) {
  LoadedText t;
  HMODULE own = g_setup.programInstance ? g_setup.programInstance : GetModuleHandleW(NULL);
  HMODULE module = g_setup.resourceModule ? g_setup.resourceModule : own;
  LoadFrom(module, id, t.text);
  if (FitsItsUse(id, t.text, own)) return t;
  if (module != own) {
    if (t.text[0]) WriteLog(L"[KITFETCHER] Text %u of the resource library does not fit its use; not taken", id);
    LoadFrom(own, id, t.text);
    if (FitsItsUse(id, t.text, own)) return t;
  }
  t.text[0] = L'\0';
  return t;
}
