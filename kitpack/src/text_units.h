// Measures and small conversions of UTF-8 text as kitfetcher, which counts in
// UTF-16 code units, sees it.
#pragma once
#include <cstddef>
#include <string>

namespace kitpack {

// UTF-16 code units the text takes: its length for kitfetcher's fixed buffers.
size_t Utf16Units(const std::string& utf8);
// Byte offset of the first malformed sequence, or npos for valid UTF-8.
size_t FirstInvalidUtf8(const std::string& bytes);
// Appends one code point as UTF-8.
void AppendUtf8(std::string& out, unsigned long codePoint);
// Without the blanks XML allows around a node's text (space, tab, CR, LF).
std::string TrimXmlBlanks(const std::string& text);
std::string AsciiLower(const std::string& text);
bool EqualsIgnoringCase(const std::string& a, const std::string& b);

}  // namespace kitpack
