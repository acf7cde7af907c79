#include "downloader/services/text_conversions.h"

#include <string.h>

#include "downloader/services/text_ids.h"

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
const size_t kMaxConversions = 8;

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
  for (size_t i = 0; i < sizeof(kFormattedTexts) / sizeof(kFormattedTexts[0]); ++i) {
    if (kFormattedTexts[i].id == id) return kFormattedTexts[i].conversions;
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
