#pragma once
#include <windows.h>

// Thread procedure: brings the kit into the local setup folder, ends the dialog.
DWORD WINAPI DownloadWorker(LPVOID);

// After an aborted run: removes what the run placed in the local setup folder,
// never a folder shared with other products' kits.
void RemoveAbortedSetupFolder();
