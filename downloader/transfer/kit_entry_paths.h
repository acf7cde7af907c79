// Where one kit file of locations.xml lies in the package folder and where it
// goes in the local setup folder.
#pragma once
#include <stddef.h>

#include "downloader/services/locations_config.h"
#include "downloader/services/setup_state.h"

// False (logged) for an entry whose name, .md5 name or relative folder is not a
// plain name: such an entry could reach outside the local setup folder.
bool IsSafeKitEntry(const DownloadableFile& file);
// The same test without the log line, for a second look at an entry.
bool HasPlainNames(const DownloadableFile& file);

// out = folder + the name as Windows stores it (see StoredFolderName); false when
// the name is refused or the path would not fit. out may be folder's buffer.
bool JoinStoredName(wchar_t* out, size_t capacity, const wchar_t* folder, const wchar_t* name);
// base + relativePath (when set) + leaf (when given), each joined with one
// backslash and each name as Windows stores it.
bool JoinEntryPath(const wchar_t* base, const DownloadableFile& file, const wchar_t* leaf, wchar_t* out,
                   size_t capacity);
// programFolder + relativePath (when set) + leaf.
bool PackagePath(const DownloadableFile& file, const wchar_t* leaf, wchar_t* out, size_t capacity);

// Where one entry is copied from and where it is placed.
struct KitEntryPlaces {
  wchar_t packagePath[kLongPathChars];   // programFolder + relativePath + name
  wchar_t targetFolder[kLongPathChars];  // localSetupFolder + relativePath
  wchar_t target[kLongPathChars];        // targetFolder + name
  wchar_t digestPath[kLongPathChars];    // targetFolder + md5Name
};
// False when one of the places would not fit.
bool ResolveKitEntryPlaces(const DownloadableFile& file, KitEntryPlaces* places);
