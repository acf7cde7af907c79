// Placeholder until this part is built.
#include "downloader/machine_probes.h"

#include "downloader/diagnostic_log.h"
#include "downloader/setup_state.h"
#include "downloader/ui/progress_dialog.h"

int GetOsVersionCode() { WriteLog(L"[KITFETCHER] placeholder: GetOsVersionCode"); return 4; }
bool IsUserAdministrator() { WriteLog(L"[KITFETCHER] placeholder: IsUserAdministrator"); return true; }
double GetCpuSpeedMHz() { return 0.0; }
float GetTotalPhysicalMemory() { return 0.0f; }
bool CheckSystemRequirements() { WriteLog(L"[KITFETCHER] placeholder: CheckSystemRequirements"); return true; }
