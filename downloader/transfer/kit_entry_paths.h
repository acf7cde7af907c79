// Where one kit file of locations.xml lies in the package folder and where it
// goes in the local setup folder.
#pragma once
#include <stddef.h>

#include "downloader/config/locations_config.h"

// False (logged) for an entry whose name, .md5 name or relative folder is not a
// plain name: such an entry could reach outside the local setup folder.
bool IsSafeKitEntry(const DownloadableFile& file);
// The same test without the log line, for a second look at an entry.
bool HasPlainNames(const DownloadableFile& file);

// base + relativePath (when set) + leaf (when given), each joined with one backslash.
bool JoinEntryPath(const wchar_t* base, const DownloadableFile& file, const wchar_t* leaf, wchar_t* out,
                   size_t capacity);
// programFolder + relativePath (when set) + leaf.
bool PackagePath(const DownloadableFile& file, const wchar_t* leaf, wchar_t* out, size_t capacity);
// localSetupFolder + relativePath (when set).
bool SetupTargetFolder(const DownloadableFile& file, wchar_t* out, size_t capacity);
