// Product codes and .md5 tokens: what to take from where.
#pragma once
#include <windows.h>

#include "downloader/config/locations_config.h"

const size_t kProductCodeChars = 100;
const size_t kDigestChars = 50;
const DWORD kRemoteProductCodeDownloadFailed = 5006;
const DWORD kNoLocalProductCode = 2;

DWORD ReadLocalProductCode(wchar_t* productCode);
DWORD FetchRemoteProductCode(wchar_t* productCode);
// 1 when the server's .md5 text differs from the local one.
int CheckFileUpdate(const DownloadableFile& file, const wchar_t* packageFolder, wchar_t* localDigest,
                    wchar_t* remoteDigest);
int WriteDestinationDigest(const wchar_t* folder, const wchar_t* digest, const DownloadableFile& file);
void ResolveLocalSetupFolder(const wchar_t* productCode);
// True for a text usable as one folder name: no separators, no drive, not "." or
// "..", nothing Windows forbids in a file name. An empty text is not a name.
bool IsPlainFolderName(const wchar_t* text);
