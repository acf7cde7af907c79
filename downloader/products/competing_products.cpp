// Placeholder until this part is built.
#include "downloader/products/competing_products.h"

#include "downloader/diagnostic_log.h"
#include "downloader/setup_state.h"
#include "downloader/ui/progress_dialog.h"

bool DetectCompetingProducts() { WriteLog(L"[KITFETCHER] placeholder: DetectCompetingProducts"); return false; }
DWORD UninstallSelectedProducts(unsigned char* selection) { delete[] selection; return kRemovalFailed; }
bool UninstallByKey(const wchar_t*) { return false; }
bool LookUpUninstallEntry(int, const wchar_t*, CompetingProduct*) { return false; }
bool ReadUninstallValue(const wchar_t*, const wchar_t*, wchar_t* buffer) { buffer[0] = 0; return false; }
