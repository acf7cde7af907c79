#include "downloader/transfer/kit_entry_placement.h"

#include <windows.h>

#include "downloader/services/diagnostic_log.h"
#include "downloader/services/process_runner.h"
#include "downloader/transfer/setup_folder_record.h"
#include "downloader/transfer/update_check.h"

void PrepareEntryCopy(const DownloadableFile& file, const KitEntryPlaces& places, const wchar_t* digest,
                      const wchar_t* source) {
  if (file.relativePath.IsPresent()) CreateRecordedFolder(places.targetFolder);
  RecordPlacedFile(places.digestPath);
  WriteDestinationDigest(g_setup.worker.localSetupFolder, digest, file);
  WriteLog(L"[KITFETCHER] Copying %s to %s", source, places.target);
  RecordPlacedFile(places.target);
}

void LogFailedCopy(const wchar_t* source, const wchar_t* target, DWORD error) {
  WriteLog(L"[KITFETCHER] Cannot copy %s to %s. Error %d", source, target, static_cast<int>(error));
}

bool CopyKitFile(const wchar_t* source, const wchar_t* target) {
  if (CopyFileW(source, target, FALSE)) return true;
  LogFailedCopy(source, target, GetLastError());
  return false;
}

void RunAutorunEntry(const DownloadableFile& file, KitEntryPlaces& places) {
  if (!file.autorun) return;
  RunProgramAndWait(places.target, places.targetFolder);
  DeleteFileW(places.target);
}
