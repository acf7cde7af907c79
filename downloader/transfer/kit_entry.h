// One kit file of locations.xml: where it lies in the package folder, where it
// goes in the local setup folder, and the steps that place it there, the same
// whether it was downloaded or comes from an offline package.
#pragma once
#include <stddef.h>
#include <windows.h>

#include "downloader/services/locations_config.h"
#include "downloader/services/setup_state.h"
#include "downloader/transfer/kit_manifest.h"
#include "downloader/transfer/offline_copy.h"

// False (logged) for an entry whose name, .md5 name or relative folder is not a
// plain name: such an entry could reach outside the local setup folder.
[[nodiscard]] bool IsSafeKitEntry(const DownloadableFile& file);
// The same test without the log line, for a second look at an entry.
[[nodiscard]] bool HasPlainNames(const DownloadableFile& file);

// out = folder + the name as Windows stores it (see StoredFolderName); false when
// the name is refused or the path would not fit. out may be folder's buffer.
[[nodiscard]] bool JoinStoredName(wchar_t* out, size_t capacity, const wchar_t* folder, const wchar_t* name);
// base + relativePath (when set) + leaf (when given), each joined with one
// backslash and each name as Windows stores it.
[[nodiscard]] bool JoinEntryPath(const wchar_t* base, const DownloadableFile& file, const wchar_t* leaf, wchar_t* out,
                                 size_t capacity);
// programFolder + relativePath (when set) + leaf.
[[nodiscard]] bool PackagePath(const DownloadableFile& file, const wchar_t* leaf, wchar_t* out, size_t capacity);

// Where one entry is copied from and where it is placed.
struct KitEntryPlaces {
  wchar_t packagePath[kLongPathChars];   // programFolder + relativePath + name
  wchar_t targetFolder[kLongPathChars];  // localSetupFolder + relativePath
  wchar_t target[kLongPathChars];        // targetFolder + name
  wchar_t digestPath[kLongPathChars];    // targetFolder + md5Name
};
// False when one of the places would not fit.
[[nodiscard]] bool ResolveKitEntryPlaces(const DownloadableFile& file, KitEntryPlaces* places);

// The steps around placing one kit entry in the local setup folder, the same
// whether it was downloaded or comes from an offline package.
// Before the copy: creates the entry's sub-folder, writes its digest file and
// records both files as this run's (the copy's before it exists, so that a
// partial copy is taken back too).
void PrepareEntryCopy(const DownloadableFile& file, const KitEntryPlaces& places, const wchar_t* digest,
                      const wchar_t* source);
// A kit file that could not be copied is a failed transfer: the kit would be
// incomplete. Logs it; the caller ends the run with IDS_DOWNLOAD_FAILED.
void LogFailedCopy(const wchar_t* source, const wchar_t* target, DWORD error);
// CopyFileW, overwriting; the failure (logged) when the copy failed.
qn::Result CopyKitFile(const wchar_t* source, const wchar_t* target);

// Copies a kit file to its place while hashing the bytes it writes (one read
// of the source, which may lie where others can write), and keeps the copy
// only when its size and SHA-256 are the manifest line's (the log shows both
// when they are not). With `progress`, the bytes are counted as an offline
// copy's and a quit stops the copy (qn::kCancelled). qn::kRefused when the
// copy does not match. The copy is removed unless it matched.
qn::Result CopyCheckedKitFile(const wchar_t* source, const wchar_t* target, const ManifestLine& line,
                              CCopyFileStatusCallback* progress);
// A kit file into its place: unpinned, a plain copy; pinned, a copy checked
// against `line` (null: the manifest does not list the file, which is then
// never placed). The failure (logged) when nothing was placed.
qn::Result PlaceThroughGate(const KitGate& gate, const ManifestLine* line, const wchar_t* source,
                            const wchar_t* target);
// After the copy: an autorun entry is run from its folder and then deleted.
void RunAutorunEntry(const DownloadableFile& file, KitEntryPlaces& places);
