#pragma once
#include <windows.h>

// Thread procedure, started with the WorkerHost (a WorkerHost*) that shows the
// run: brings the kit into the local setup folder, leaves its result in
// g_setup.worker and ends the host's part of the run.
DWORD WINAPI DownloadWorker(LPVOID host);
