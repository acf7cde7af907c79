#include "downloader/config/doctype_scan.h"

#include <string.h>

namespace {

const char kDeclaration[] = "<!DOCTYPE";
const size_t kDeclarationChars = sizeof(kDeclaration) - 1;

// Bytes per character, and where in them the ASCII byte sits.
struct Layout {
  size_t width;
  size_t offset;
};
const Layout kSingleBytes = {1, 0};
const Layout kUtf16Le = {2, 0};
const Layout kUtf16Be = {2, 1};
const Layout kUcs4Le = {4, 0};     // 4321
const Layout kUcs4Be = {4, 3};     // 1234
const Layout kUcs4Odd2143 = {4, 2};
const Layout kUcs4Odd3412 = {4, 1};
const Layout kLayouts[] = {kSingleBytes, kUtf16Le, kUtf16Be, kUcs4Le, kUcs4Be, kUcs4Odd2143, kUcs4Odd3412};

bool Contains(const unsigned char* data, size_t size, const Layout& layout) {
  unsigned char pattern[kDeclarationChars * 4];
  size_t length = kDeclarationChars * layout.width;
  memset(pattern, 0, length);
  for (size_t i = 0; i < kDeclarationChars; ++i) {
    pattern[i * layout.width + layout.offset] = static_cast<unsigned char>(kDeclaration[i]);
  }
  if (size < length) return false;
  for (size_t at = 0; at + length <= size; ++at) {
    if (data[at] == pattern[0] && memcmp(data + at, pattern, length) == 0) return true;
  }
  return false;
}

// How a parser lays out the document's characters, from its byte-order mark
// or, without one, from its first bytes (the XML declaration's "<?").
struct Reading {
  bool scanned;
  Layout layout;
  size_t start;  // past the byte-order mark
};

Reading LayoutOf(const unsigned char* bytes, size_t size) {
  const struct {
    const char* first;
    size_t length;
    bool scanned;
    Layout layout;
    size_t mark;
  } kSignatures[] = {
      {"\xEF\xBB\xBF", 3, true, kSingleBytes, 3},
      {"\xFF\xFE\x00\x00", 4, true, kUcs4Le, 4},
      {"\x00\x00\xFE\xFF", 4, true, kUcs4Be, 4},
      {"\x00\x00\xFF\xFE", 4, true, kUcs4Odd2143, 4},
      {"\xFE\xFF\x00\x00", 4, true, kUcs4Odd3412, 4},
      {"\xFE\xFF", 2, true, kUtf16Be, 2},
      {"\xFF\xFE", 2, true, kUtf16Le, 2},
      {"+/v8", 4, false, kSingleBytes, 0},  // UTF-7
      {"+/v9", 4, false, kSingleBytes, 0},
      {"+/v+", 4, false, kSingleBytes, 0},
      {"+/v/", 4, false, kSingleBytes, 0},
      {"\x4C\x6F\xA7\x94", 4, false, kSingleBytes, 0},  // "<?xm" in EBCDIC
      {"\x00\x00\x00\x3C", 4, true, kUcs4Be, 0},
      {"\x3C\x00\x00\x00", 4, true, kUcs4Le, 0},
      {"\x00\x00\x3C\x00", 4, true, kUcs4Odd2143, 0},
      {"\x00\x3C\x00\x00", 4, true, kUcs4Odd3412, 0},
      {"\x00\x3C\x00\x3F", 4, true, kUtf16Be, 0},
      {"\x3C\x00\x3F\x00", 4, true, kUtf16Le, 0},
  };
  for (size_t i = 0; i < sizeof(kSignatures) / sizeof(kSignatures[0]); ++i) {
    if (size >= kSignatures[i].length && memcmp(bytes, kSignatures[i].first, kSignatures[i].length) == 0) {
      Reading reading = {kSignatures[i].scanned, kSignatures[i].layout, kSignatures[i].mark};
      return reading;
    }
  }
  Reading reading = {true, kSingleBytes, 0};
  return reading;
}

// The document's first characters as long as they are ASCII, in its layout.
size_t AsciiStart(const unsigned char* bytes, size_t size, const Reading& reading, char* out, size_t capacity) {
  size_t count = 0;
  const size_t width = reading.layout.width;
  for (size_t at = reading.start; count + 1 < capacity && at + width <= size; at += width) {
    unsigned char ascii = bytes[at + reading.layout.offset];
    bool clean = ascii != 0 && ascii < 0x80;
    for (size_t b = 0; clean && b < width; ++b) clean = b == reading.layout.offset || bytes[at + b] == 0;
    if (!clean) break;
    out[count++] = static_cast<char>(ascii);
  }
  out[count] = '\0';
  return count;
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// The first `length` characters of both are the same, ASCII case aside.
bool SameStart(const char* text, const char* known, size_t length) {
  for (size_t i = 0; i < length; ++i) {
    if (Lower(text[i]) != Lower(known[i])) return false;
  }
  return true;
}

bool SameName(const char* name, size_t length, const char* known) {
  return strlen(known) == length && SameStart(name, known, length);
}

// Where `part` first occurs in text[0, length), or null.
const char* Find(const char* text, size_t length, const char* part) {
  size_t partLength = strlen(part);
  for (size_t at = 0; at + partLength <= length; ++at) {
    if (memcmp(text + at, part, partLength) == 0) return text + at;
  }
  return NULL;
}

bool HasDigitsOnly(const char* text, size_t length, size_t most) {
  if (length == 0 || length > most) return false;
  for (size_t i = 0; i < length; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
  }
  return true;
}

// Encodings in which every ASCII character is the one byte of the same value,
// so that the single-byte scan sees each declaration a parser would.
bool AsciiCompatible(const char* name, size_t length) {
  const char* const kNames[] = {"UTF-8", "US-ASCII", "ASCII", "Shift_JIS", "EUC-JP", "EUC-KR", "GB2312", "GBK",
                                "Big5"};
  for (size_t i = 0; i < sizeof(kNames) / sizeof(kNames[0]); ++i) {
    if (SameName(name, length, kNames[i])) return true;
  }
  const size_t kIsoChars = 9;  // "ISO-8859-"
  if (length > kIsoChars && SameStart(name, "ISO-8859-", kIsoChars))
    return HasDigitsOnly(name + kIsoChars, length - kIsoChars, 2);
  const size_t kWindowsChars = 11;  // "windows-125"
  if (length > kWindowsChars && SameStart(name, "windows-125", kWindowsChars))
    return HasDigitsOnly(name + kWindowsChars, length - kWindowsChars, 1);
  return false;
}

bool WideNameFits(const char* name, size_t length, size_t width) {
  const char* const kUtf16[] = {"UTF-16", "UTF-16LE", "UTF-16BE", "UCS-2", "ISO-10646-UCS-2"};
  const char* const kUcs4[] = {"UCS-4", "ISO-10646-UCS-4", "UTF-32", "UTF-32LE", "UTF-32BE"};
  const char* const* names = width == 2 ? kUtf16 : kUcs4;
  for (size_t i = 0; i < 5; ++i) {
    if (SameName(name, length, names[i])) return true;
  }
  return false;
}

// False when the XML declaration names an encoding the scan does not read,
// or cannot itself be read.
bool DeclaredEncodingScanned(const unsigned char* bytes, size_t size, const Reading& reading) {
  char start[512];
  size_t length = AsciiStart(bytes, size, reading, start, sizeof(start));
  if (length < 6 || memcmp(start, "<?xml", 5) != 0 || !IsSpace(start[5])) return true;  // no declaration
  const char* end = Find(start, length, "?>");
  if (!end) return false;
  size_t declared = static_cast<size_t>(end - start);
  // The attribute's name follows a blank ("<?xml " comes first, so one is there to look at).
  const char* p = NULL;
  for (size_t from = 0; !p && from < declared;) {
    const char* at = Find(start + from, declared - from, "encoding");
    if (!at) break;
    if (IsSpace(at[-1])) p = at;
    from = static_cast<size_t>(at - start) + 1;
  }
  if (!p) return true;  // the layout's own encoding
  for (p += 8; p < end && IsSpace(*p); ++p) {
  }
  if (p == end || *p != '=') return false;
  for (++p; p < end && IsSpace(*p); ++p) {
  }
  if (p == end || (*p != '"' && *p != '\'')) return false;
  char quote = *p;
  const char* name = ++p;
  while (p < end && *p != quote) ++p;
  if (p == end) return false;
  length = static_cast<size_t>(p - name);
  if (reading.layout.width == 1) return AsciiCompatible(name, length);
  return WideNameFits(name, length, reading.layout.width);
}

}  // namespace

DocumentTypeScan ScanForDocumentType(const unsigned char* bytes, size_t size) {
  if (!bytes && size != 0) return kDocumentUnreadable;
  for (size_t i = 0; i < sizeof(kLayouts) / sizeof(kLayouts[0]); ++i) {
    if (Contains(bytes, size, kLayouts[i])) return kDeclaresDocumentType;
  }
  Reading reading = LayoutOf(bytes, size);
  if (!reading.scanned || !DeclaredEncodingScanned(bytes, size, reading)) return kEncodingNotScanned;
  return kNoDocumentType;
}
