// Placeholder until this part is built.
#include "downloader/config/xml_patches.h"

#include "downloader/diagnostic_log.h"
#include "downloader/setup_state.h"
#include "downloader/ui/progress_dialog.h"

void ApplyXmlPatches(const wchar_t* filePath) { WriteLog(L"[KITFETCHER] placeholder: ApplyXmlPatches %s", filePath); }
