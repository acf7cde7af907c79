#include "downloader/config/doctype_scan.h"

#include <string.h>

#include "common/scoped_handles.h"

namespace {

const char kDeclaration[] = "<!DOCTYPE";
const size_t kDeclarationChars = sizeof(kDeclaration) - 1;
// Bytes per character, and where in them the ASCII byte sits.
const struct Layout {
  size_t width;
  size_t offset;
} kLayouts[] = {{1, 0}, {2, 0}, {2, 1}, {4, 0}, {4, 3}};
const size_t kLayoutCount = sizeof(kLayouts) / sizeof(kLayouts[0]);
const size_t kLongestPattern = kDeclarationChars * 4;
const DWORD kChunkBytes = 16 * 1024;

struct Pattern {
  unsigned char bytes[kLongestPattern];
  size_t length;
};

void BuildPattern(const Layout& layout, Pattern* pattern) {
  memset(pattern->bytes, 0, sizeof(pattern->bytes));
  for (size_t i = 0; i < kDeclarationChars; ++i) {
    pattern->bytes[i * layout.width + layout.offset] = static_cast<unsigned char>(kDeclaration[i]);
  }
  pattern->length = kDeclarationChars * layout.width;
}

bool Contains(const unsigned char* data, size_t size, const Pattern& pattern) {
  if (size < pattern.length) return false;
  for (size_t at = 0; at + pattern.length <= size; ++at) {
    if (data[at] == pattern.bytes[0] && memcmp(data + at, pattern.bytes, pattern.length) == 0) return true;
  }
  return false;
}

}  // namespace

DocumentTypeScan ScanForDocumentType(const wchar_t* path) {
  if (!path) return kDocumentUnreadable;
  qn::ScopedHandle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                                    OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, NULL));
  if (!file.Valid()) return kDocumentUnreadable;
  Pattern patterns[kLayoutCount];
  for (size_t i = 0; i < kLayoutCount; ++i) BuildPattern(kLayouts[i], &patterns[i]);

  // Each chunk is searched together with the tail of the one before, so that
  // a declaration across a chunk boundary is found as well.
  static const size_t kCarry = kLongestPattern - 1;
  unsigned char buffer[kCarry + kChunkBytes];
  size_t kept = 0;
  for (;;) {
    DWORD read = 0;
    if (!ReadFile(file.Get(), buffer + kept, kChunkBytes, &read, NULL)) return kDocumentUnreadable;
    if (read == 0) return kNoDocumentType;
    size_t size = kept + read;
    for (size_t i = 0; i < kLayoutCount; ++i) {
      if (Contains(buffer, size, patterns[i])) return kDeclaresDocumentType;
    }
    kept = size < kCarry ? size : kCarry;
    memmove(buffer, buffer + size - kept, kept);
  }
}
