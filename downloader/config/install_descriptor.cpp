// Placeholder until this part is built.
#include "downloader/config/install_descriptor.h"

#include "downloader/diagnostic_log.h"
#include "downloader/setup_state.h"
#include "downloader/ui/progress_dialog.h"

void BuildBuyLink() { WriteLog(L"[KITFETCHER] placeholder: BuildBuyLink"); }
void MarkItemsLocal(const wchar_t* descriptorPath) { WriteLog(L"[KITFETCHER] placeholder: MarkItemsLocal %s", descriptorPath); }
