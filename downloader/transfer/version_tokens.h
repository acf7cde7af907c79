// Product codes and .md5 tokens, read from the one-token text files of a kit:
// what to take from where.
#pragma once
#include <windows.h>
#include <stddef.h>

#include "common/result.h"
#include "downloader/services/locations_config.h"
#include "downloader/transfer/setup_folder.h"

constexpr size_t kDigestChars = 50;
constexpr DWORD kRemoteProductCodeDownloadFailed = 5006;
constexpr DWORD kNoLocalProductCode = 2;
// A local productcode.txt whose code is longer than 99 characters, or that
// cannot name a folder (the code becomes one), is not a usable code. A usable
// code is handed out as Windows stores it as a folder name.
constexpr DWORD kLocalProductCodeTooLong = ERROR_INSUFFICIENT_BUFFER;
constexpr DWORD kLocalProductCodeNotAName = ERROR_INVALID_NAME;

// 0 when read; kNoLocalProductCode without a local productcode.txt; otherwise
// the open's error number or one of the two codes above. The code is left
// empty unless the result is 0.
[[nodiscard]] DWORD ReadLocalProductCode(wchar_t* productCode);
// 0 when read; kRemoteProductCodeDownloadFailed when the download failed or
// gave no usable code; otherwise the open's error number. The code is left
// empty unless the result is 0.
[[nodiscard]] DWORD FetchRemoteProductCode(wchar_t* productCode);
// 1 when the server's .md5 text differs from the local one. Both texts are
// compared in full; a digest is handed out only when it fits its buffer of 50.
int CheckFileUpdate(const DownloadableFile& file, const wchar_t* packageFolder, wchar_t* localDigest,
                    wchar_t* remoteDigest);
int WriteDestinationDigest(const wchar_t* folder, const wchar_t* digest, const DownloadableFile& file);

// The one-token text files of a kit (productcode.txt, .md5 files): 8-bit text,
// read in text mode, whose first whitespace-delimited word is the value.
// A token file that cannot be opened.
constexpr HRESULT kTokenFileUnreadable = __HRESULT_FROM_WIN32(ERROR_OPEN_FAILED);

// Reads the first token of `path` into `token` (capacity in characters, the
// terminator included), each byte becoming one character. Leading white space
// is skipped; an empty file gives an empty token. kTokenFileUnreadable when the
// file cannot be opened, *error then holding the error number of the failed
// open; qn::kDoesNotFit, with `token` empty, for a token that does not fit: a
// cut token would be a different value.
qn::Result ReadFirstToken(const wchar_t* path, wchar_t* token, size_t capacity, int* error);

// Writes `text` as 8-bit text with no line end, truncating the file. Characters
// above 255 become '?'. Fails when the file cannot be opened or written.
qn::Result WriteTokenFile(const wchar_t* path, const wchar_t* text);
