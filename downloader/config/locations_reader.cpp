// Placeholder until this part is built.
#include "downloader/config/locations_reader.h"

#include "downloader/diagnostic_log.h"
#include "downloader/setup_state.h"
#include "downloader/ui/progress_dialog.h"

HRESULT ReadLocations(const wchar_t* path) { WriteLog(L"[KITFETCHER] placeholder: ReadLocations %s", path); return E_NOTIMPL; }
