// Placeholder until this part is built.
#include "downloader/transfer/offline_copy.h"

#include "downloader/diagnostic_log.h"
#include "downloader/setup_state.h"
#include "downloader/ui/progress_dialog.h"

void CopyOfflineKit(const wchar_t*) {}
DWORD CALLBACK CopyProgressRoutine(LARGE_INTEGER, LARGE_INTEGER, LARGE_INTEGER, LARGE_INTEGER, DWORD, DWORD, HANDLE, HANDLE, LPVOID) { return PROGRESS_CONTINUE; }
