// Placeholder until this part is built.
#include "downloader/transfer/url_download.h"

#include "downloader/diagnostic_log.h"
#include "downloader/setup_state.h"
#include "downloader/ui/progress_dialog.h"

bool ComposeKitUrl(const wchar_t*, const wchar_t* const*, size_t, wchar_t* url, size_t) { url[0] = 0; return false; }
bool ComposeFileUrl(const DownloadableFile&, const wchar_t*, wchar_t* url, size_t) { url[0] = 0; return false; }
DownloadOutcome DownloadKitFile(const wchar_t* url, int, wchar_t* cachePath) { WriteLog(L"[KITFETCHER] placeholder: DownloadKitFile %s", url); cachePath[0] = 0; return kDownloadFailed; }
HRESULT DownloadUncounted(const wchar_t*, wchar_t* cachePath, size_t) { cachePath[0] = 0; return E_NOTIMPL; }
