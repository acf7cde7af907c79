#include "downloader/transfer/kit_entry_placement.h"

#include <windows.h>

#include "downloader/diagnostic_log.h"
#include "downloader/process_runner.h"
#include "downloader/transfer/setup_folder_record.h"
#include "downloader/transfer/update_check.h"

void PrepareEntryCopy(const DownloadableFile& file, const KitEntryPlaces& places, const wchar_t* digest,
                      const wchar_t* source) {
  if (file.relativePath.IsPresent()) CreateRecordedFolder(places.targetFolder);
  RecordPlacedFile(places.digestPath);
  WriteDestinationDigest(g_setup.localSetupFolder, digest, file);
  WriteLog(L"[KITFETCHER] Copying %s to %s", source, places.target);
  RecordPlacedFile(places.target);
}

void RunAutorunEntry(const DownloadableFile& file, KitEntryPlaces& places) {
  if (!file.autorun) return;
  RunProgramAndWait(places.target, places.targetFolder);
  DeleteFileW(places.target);
}
