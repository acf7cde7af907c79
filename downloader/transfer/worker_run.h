// How the download worker's run ends, whichever path it took.
#pragma once

#include "downloader/handoff/worker_host.h"

// True once the user has confirmed quitting the progress dialog.
bool CancelRequested();
// Records the outcome for the main flow and ends the host's part of the run.
void FinishWorkerRun(WorkerHost& host, bool aborted);
// A run that cannot place the kit: the user is told (IDS_DOWNLOAD_FAILED), and
// the run ends aborted, so that the main flow takes back what it placed.
void FailWorkerRun(WorkerHost& host);
