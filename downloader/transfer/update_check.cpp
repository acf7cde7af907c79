// Placeholder until this part is built.
#include "downloader/transfer/update_check.h"

#include "downloader/diagnostic_log.h"
#include "downloader/setup_state.h"
#include "downloader/ui/progress_dialog.h"

DWORD ReadLocalProductCode(wchar_t* code) { code[0] = 0; return kNoLocalProductCode; }
DWORD FetchRemoteProductCode(wchar_t* code) { code[0] = 0; return kRemoteProductCodeDownloadFailed; }
int CheckFileUpdate(const DownloadableFile&, const wchar_t*, wchar_t*, wchar_t*) { return 0; }
int WriteDestinationDigest(const wchar_t*, const wchar_t*, const DownloadableFile&) { return 0; }
void ResolveLocalSetupFolder(const wchar_t*) {}
bool IsPlainFolderName(const wchar_t*) { return false; }
