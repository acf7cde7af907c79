#include "downloader/transfer/setup_folder_record.h"

#include <shlwapi.h>

#include "common/growable_array.h"
#include "common/owned_text.h"
#include "common/string_mem_mgr.h"
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
  qn::Array<qn::OwnedText> files;
  qn::Array<qn::OwnedText> folders;
};

SetupFolderRecord& Record() {
  static SetupFolderRecord record;
  return record;
}

// A path left out of the record would stay behind after an abort: no run goes
// on without its record.
void Remember(qn::Array<qn::OwnedText>& paths, const wchar_t* path) {
  qn::OwnedText copy;
  if (!copy.Set(path) || !paths.push_back(static_cast<qn::OwnedText&&>(copy)))
    qn::FatalError(L"SetupFolderRecord: out of memory");
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
  if (path && path[0]) Remember(Record().files, path);
}

void CreateRecordedFolder(const wchar_t* path) {
  if (CreateDirectoryW(path, NULL)) Remember(Record().folders, path);
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
    DWORD attributes = GetFileAttributesW(record.files[i].Get());
    if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY))
      RemovePathTree(record.files[i].Get());
  }
  // Only folders this run created, and only once empty: another kit may use them.
  for (size_t i = record.folders.size(); i-- > 0;) RemoveDirectoryW(record.folders[i].Get());
}
