#include "downloader/services/texts.h"

#include <string.h>
#include <new>
#include <stdarg.h>

#include "common/wide_format.h"
#include "downloader/services/diagnostic_log.h"
#include "downloader/services/setup_state.h"
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
  HMODULE own = g_setup.programInstance ? g_setup.programInstance : GetModuleHandleW(nullptr);
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

namespace {

const struct {
  UINT id;
  const char* conversions;
} kFormattedTexts[] = {
    {IDS_LONG_DURATION, "dsdsds"},    // hours, word, minutes, word, seconds, word
    {IDS_SHORT_DURATION, "dsds"},     // minutes, word, seconds, word
    {IDS_UNSUPPORTED_OS, "s"},        // product
    {IDS_NOT_ENOUGH_DISK, "sd"},      // drive, megabytes short
    {IDS_COMPETITOR_FOUND, "ssss"},   // competitor, product, competitor, product
    {IDS_CPU_TOO_SLOW, "d"},          // megahertz
    {IDS_NOT_ENOUGH_RAM, "d"},        // megabytes
    {IDS_CANNOT_UNINSTALL, "sss"},    // product, competitor, product
    {IDS_OTHER_VERSION_FOUND, "ss"},  // maker, maker
    {IDS_DOWNLOAD_NEWER_FILES, "s"},  // maker
};

// More conversions than any text is formatted with; a text with more never fits.
constexpr size_t kMaxConversions = 8;

// The conversion letters of `text` into `out` (terminated); false when there
// are more than kMaxConversions. A conversion that is not a plain character
// is kept as '?', which no expectation holds.
bool CollectConversions(const wchar_t* text, char* out) {
  size_t count = 0;
  for (const wchar_t* p = text; *p; ++p) {
    if (*p != L'%') continue;
    if (p[1] == L'%') {
      ++p;
      continue;
    }
    if (count == kMaxConversions) return false;
    wchar_t kind = p[1];
    out[count++] = kind > L' ' && kind < 0x7F ? static_cast<char>(kind) : '?';
    if (kind == L'\0') break;
    ++p;
  }
  out[count] = '\0';
  return true;
}

}  // namespace

const char* ExpectedConversions(UINT id) {
  for (const auto& text : kFormattedTexts) {
    if (text.id == id) return text.conversions;
  }
  return "";
}

bool TextHasConversions(const wchar_t* text, const char* expected) {
  if (!text || !expected) return false;
  char found[kMaxConversions + 1];
  if (!CollectConversions(text, found)) return false;
  size_t length = strlen(expected);
  return strlen(found) == length && strncmp(found, expected, length) == 0;
}

bool StoreRowFits(const wchar_t* row, const wchar_t* ownRow) {
  if (!row) return false;
  if (ownRow && ownRow[0]) {
    char own[kMaxConversions + 1];
    return CollectConversions(ownRow, own) && TextHasConversions(row, own);
  }
  return TextHasConversions(row, "s") || TextHasConversions(row, "ss");
}

int ShowFormattedMessage(HWND owner, UINT textId, size_t capacity, UINT style, ...) {
  LoadedText format = LoadText(textId);
  va_list args;
  va_start(args, style);
  int n = qn::FormattedLengthV(format.text, args);
  wchar_t* text = nullptr;
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
