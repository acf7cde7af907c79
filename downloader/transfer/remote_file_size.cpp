// Placeholder until this part is built.
#include "downloader/transfer/remote_file_size.h"

#include "downloader/diagnostic_log.h"
#include "downloader/setup_state.h"
#include "downloader/ui/progress_dialog.h"

DWORD QueryRemoteFileSize(const wchar_t* url, DWORD* size) { if (!url || !size) return ERROR_BAD_ARGUMENTS; *size = 0; return ERROR_NOT_SUPPORTED; }
