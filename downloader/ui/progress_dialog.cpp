// Placeholder until this part is built.
#include "downloader/ui/progress_dialog.h"

#include "downloader/diagnostic_log.h"
#include "downloader/setup_state.h"
#include "downloader/ui/progress_dialog.h"

INT_PTR CALLBACK ProgressDialogProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }
void RunProgressDialog() { WriteLog(L"[KITFETCHER] placeholder: progress dialog"); if (g_setup.dialogReadyEvent) SetEvent(g_setup.dialogReadyEvent); }
void EndProgressDialog() { if (g_setup.dialogReadyEvent) WaitForSingleObject(g_setup.dialogReadyEvent, INFINITE); if (g_setup.dialogWindow) EndDialog(g_setup.dialogWindow, 1); }
HWND WaitForDialogWindow() { if (g_setup.dialogReadyEvent) WaitForSingleObject(g_setup.dialogReadyEvent, INFINITE); return g_setup.dialogWindow; }
