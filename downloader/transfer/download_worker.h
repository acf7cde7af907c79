#pragma once
#include <windows.h>

// Thread procedure: brings the kit into the local setup folder, ends the dialog.
DWORD WINAPI DownloadWorker(LPVOID);
