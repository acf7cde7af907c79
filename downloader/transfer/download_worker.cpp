// Placeholder until this part is built.
#include "downloader/transfer/download_worker.h"

#include "downloader/diagnostic_log.h"
#include "downloader/setup_state.h"
#include "downloader/ui/progress_dialog.h"

DWORD WINAPI DownloadWorker(LPVOID) { WriteLog(L"[KITFETCHER] placeholder: DownloadWorker"); g_setup.installAborted = true; EndProgressDialog(); return 0; }
void RemoveAbortedSetupFolder() { WriteLog(L"[KITFETCHER] placeholder: RemoveAbortedSetupFolder"); }
