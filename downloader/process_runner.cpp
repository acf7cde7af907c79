// Placeholder until this part is built.
#include "downloader/process_runner.h"

#include "downloader/diagnostic_log.h"
#include "downloader/setup_state.h"
#include "downloader/ui/progress_dialog.h"

bool RunProcessAndWait(wchar_t* commandLine, const wchar_t*) { WriteLog(L"[KITFETCHER] placeholder: RunProcessAndWait %s", commandLine ? commandLine : L""); return false; }
bool RemovePathTree(const wchar_t* path) { WriteLog(L"[KITFETCHER] placeholder: RemovePathTree %s", path ? path : L""); return false; }
DWORD FindParentProcess() { WriteLog(L"[KITFETCHER] placeholder: FindParentProcess"); return 0; }
