// Wide printf-style formatting with Microsoft's meaning of %s (a wide string),
// which is what every format text of the system assumes. All formatting goes
// through here so that no caller reaches for the ISO swprintf family, whose %s
// reads a narrow string under mingw.
#pragma once
#include <cstdarg>
#include <cstddef>
#include <wchar.h>

namespace qn {

// Number of characters the formatted text needs (without terminator), or -1.
[[nodiscard]] int FormattedLengthV(const wchar_t* format, va_list args);

// Formats into buf (capacity in characters, terminator included). Returns true
// when the whole text fit. On overflow the buffer holds an empty string: a text
// cut at an arbitrary place is never handed on as if it were complete.
[[nodiscard]] bool FormatIntoV(wchar_t* buf, size_t capacity, const wchar_t* format, va_list args);
bool FormatInto(wchar_t* buf, size_t capacity, const wchar_t* format, ...);

// Formats a template that may carry at most `argCount` "%s" placeholders, each
// filled from `args` in order (missing ones with an empty text). Every other
// percent sign is copied literally, so a template coming from a document or a
// resource (URL-encoded "%20", a stray "%n") can never make formatting read an
// argument that was not passed.
[[nodiscard]] bool FormatPlaceholders(wchar_t* buf, size_t capacity, const wchar_t* templ,
                                      const wchar_t* const* args, size_t argCount);

}  // namespace qn
