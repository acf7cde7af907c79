#include "downloader/transfer/worker_run.h"

#include <windows.h>

#include "downloader/services/setup_state.h"
#include "downloader/transfer/cancel_event.h"
#include "downloader/ui/progress_dialog.h"
#include "downloader/services/text_ids.h"
#include "downloader/ui/worker_prompts.h"

bool CancelRequested() { return IsCancelSignalled(g_setup.cancelEvent); }

void FinishWorkerRun(bool aborted) {
  g_setup.installAborted = aborted;
  EndProgressDialog();
}

void FailWorkerRun() {
  ShowWorkerMessage(IDS_DOWNLOAD_FAILED, MB_ICONERROR);
  FinishWorkerRun(true);
}
