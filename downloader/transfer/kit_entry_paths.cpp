#include "downloader/transfer/kit_entry_paths.h"

#include "common/fixed_string.h"
#include "common/path_join.h"
#include "downloader/services/diagnostic_log.h"
#include "downloader/services/setup_state.h"
#include "downloader/transfer/folder_names.h"

bool HasPlainNames(const DownloadableFile& file) {
  return IsPlainFolderName(file.name.Get()) && IsPlainFolderName(file.md5Name.Get()) &&
         (!file.relativePath.IsPresent() || IsPlainFolderName(file.relativePath.Get()));
}

bool IsSafeKitEntry(const DownloadableFile& file) {
  bool plain = HasPlainNames(file);
  if (!plain) {
    WriteLog(L"[KITFETCHER] Skipping file %s (folder %s): not a plain file or folder name", file.name.OrEmpty(),
             file.relativePath.OrEmpty());
  }
  return plain;
}

bool JoinStoredName(wchar_t* out, size_t capacity, const wchar_t* folder, const wchar_t* name) {
  wchar_t stored[kPathChars];
  return StoredFolderName(name, stored, kPathChars) && qn::JoinPath(out, capacity, folder, stored);
}

bool JoinEntryPath(const wchar_t* base, const DownloadableFile& file, const wchar_t* leaf, wchar_t* out,
                   size_t capacity) {
  if (!qn::CopyText(out, capacity, base)) return false;
  if (file.relativePath.IsPresent() && !JoinStoredName(out, capacity, out, file.relativePath.Get())) return false;
  if (leaf && !JoinStoredName(out, capacity, out, leaf)) return false;
  return true;
}

bool PackagePath(const DownloadableFile& file, const wchar_t* leaf, wchar_t* out, size_t capacity) {
  return JoinEntryPath(g_setup.programFolder, file, leaf, out, capacity);
}

bool ResolveKitEntryPlaces(const DownloadableFile& file, KitEntryPlaces* places) {
  return PackagePath(file, file.name.Get(), places->packagePath, kLongPathChars) &&
         JoinEntryPath(g_setup.worker.localSetupFolder, file, NULL, places->targetFolder, kLongPathChars) &&
         JoinStoredName(places->target, kLongPathChars, places->targetFolder, file.name.Get()) &&
         JoinStoredName(places->digestPath, kLongPathChars, places->targetFolder, file.md5Name.Get());
}
