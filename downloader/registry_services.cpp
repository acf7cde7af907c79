// Placeholder until this part is built.
#include "downloader/registry_services.h"

#include "downloader/diagnostic_log.h"
#include "downloader/setup_state.h"
#include "downloader/ui/progress_dialog.h"

const wchar_t kRunKeyPath[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const wchar_t kRestartValueName[] = L"qninstaller";
LONG DeleteRestartRegistration() { WriteLog(L"[KITFETCHER] placeholder: DeleteRestartRegistration"); return 0; }
LONG RunSetupAfterRestart() { WriteLog(L"[KITFETCHER] placeholder: RunSetupAfterRestart"); return 0; }
LONG BackupDeviceKey() { WriteLog(L"[KITFETCHER] placeholder: BackupDeviceKey"); return 0; }
