// The one-token text files of a kit (productcode.txt, .md5 files): 8-bit text,
// read in text mode, whose first whitespace-delimited word is the value.
#pragma once
#include <stddef.h>

enum TokenRead { kTokenRead, kTokenOpenFailed, kTokenTooLong };

// Reads the first token of `path` into `token` (capacity in characters, the
// terminator included), each byte becoming one character. Leading white space
// is skipped; an empty file gives an empty token. On kTokenOpenFailed, *error
// holds the error number of the failed open. A token that does not fit leaves
// `token` empty (kTokenTooLong): a cut token would be a different value.
TokenRead ReadFirstToken(const wchar_t* path, wchar_t* token, size_t capacity, int* error);

// Writes `text` as 8-bit text with no line end, truncating the file. Characters
// above 255 become '?'. False when the file cannot be opened or written.
bool WriteTokenFile(const wchar_t* path, const wchar_t* text);
