#include "downloader/transfer/worker_run.h"

#include <windows.h>

#include "downloader/handoff/cancel_event.h"
#include "downloader/services/setup_state.h"
#include "downloader/services/text_ids.h"

bool CancelRequested() { return IsCancelSignalled(g_setup.cancelEvent.Get()); }

void FinishWorkerRun(WorkerHost& host, bool aborted) {
  g_setup.worker.aborted = aborted;
  host.End();
}

void FailWorkerRun(WorkerHost& host) {
  host.Tell(IDS_DOWNLOAD_FAILED, MB_ICONERROR);
  FinishWorkerRun(host, true);
}
