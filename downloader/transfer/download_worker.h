// The download worker: the thread that brings the kit into the local setup
// folder, and how its run ends, whichever path it took.
#pragma once
#include <windows.h>
#include <msi.h>

#include "downloader/worker_link/worker_host.h"

// Thread procedure, started with the WorkerHost (a WorkerHost*) that shows the
// run: brings the kit into the local setup folder, leaves its result in
// g_setup.worker and ends the host's part of the run.
DWORD WINAPI DownloadWorker(LPVOID host);

// True once the user has confirmed quitting the progress dialog.
[[nodiscard]] bool CancelRequested();
// Records the outcome for the main flow and ends the host's part of the run.
void FinishWorkerRun(WorkerHost& host, bool aborted);
// A run that cannot place the kit: the user is told (IDS_DOWNLOAD_FAILED), and
// the run ends aborted, so that the main flow takes back what it placed.
void FailWorkerRun(WorkerHost& host);

// Whether Windows Installer's answer for a product code means the product is on
// the machine, so that the user is asked before installing over it. Unknown and
// advertised products are not; neither is a code the query rejects as invalid
// (it is no product code at all, so nothing can be installed under it).
[[nodiscard]] bool InstallStateAsksReinstall(INSTALLSTATE state);
