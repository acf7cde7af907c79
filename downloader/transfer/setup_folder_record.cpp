#include "downloader/transfer/setup_folder_record.h"

#include <shlwapi.h>
#include <string>
#include <vector>

#include "downloader/services/diagnostic_log.h"
#include "downloader/services/path_tree_removal.h"
#include "downloader/services/setup_state.h"
#include "downloader/transfer/local_setup_folder.h"

namespace {

enum FolderClaim {
  kNothingClaimed,  // no local setup folder was prepared
  kWholeFolder,     // the folder belongs to this product's kit
  kPlacedItemsOnly  // shared folder: only what this run placed is ours
};

// Written by the worker thread only; read by the main thread after joining it.
struct SetupFolderRecord {
  SetupFolderRecord() : claim(kNothingClaimed) {}
  FolderClaim claim;
  std::vector<std::wstring> files;
  std::vector<std::wstring> folders;
};

SetupFolderRecord& Record() {
  static SetupFolderRecord record;
  return record;
}

}  // namespace

void ResetSetupFolderRecord() {
  SetupFolderRecord& record = Record();
  record.claim = kNothingClaimed;
  record.files.clear();
  record.folders.clear();
}

bool PrepareLocalSetupFolder(const wchar_t* productCode) {
  ResetSetupFolderRecord();
  ResolveLocalSetupFolder(productCode);
  // An unresolved common files folder leaves a relative path, which would put
  // the kit (and an abort's removal) wherever the current directory is.
  if (g_setup.worker.localSetupFolder[0] == L'\0' || PathIsRelativeW(g_setup.worker.localSetupFolder)) {
    WriteLog(L"[KITFETCHER] Cannot resolve the local setup folder (%s)", g_setup.worker.localSetupFolder);
    g_setup.worker.localSetupFolder[0] = L'\0';
    return false;
  }
  Record().claim = (productCode && productCode[0]) ? kWholeFolder : kPlacedItemsOnly;
  return true;
}

void RecordPlacedFile(const wchar_t* path) {
  if (path && path[0]) Record().files.push_back(path);
}

void CreateRecordedFolder(const wchar_t* path) {
  if (CreateDirectoryW(path, NULL)) Record().folders.push_back(path);
}

void RemoveAbortedSetupFolder() {
  SetupFolderRecord& record = Record();
  if (g_setup.worker.localSetupFolder[0] == L'\0') return;
  if (record.claim == kWholeFolder) {
    RemovePathTree(g_setup.worker.localSetupFolder);
    return;
  }
  if (record.claim != kPlacedItemsOnly) return;
  WriteLog(L"[KITFETCHER] Removing the files of this run from the shared folder %s", g_setup.worker.localSetupFolder);
  for (size_t i = record.files.size(); i-- > 0;) {
    // A folder of that name is another kit's, never one of our files.
    DWORD attributes = GetFileAttributesW(record.files[i].c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY))
      RemovePathTree(record.files[i].c_str());
  }
  // Only folders this run created, and only once empty: another kit may use them.
  for (size_t i = record.folders.size(); i-- > 0;) RemoveDirectoryW(record.folders[i].c_str());
}
