#include "downloader/transfer/worker_run.h"

#include <windows.h>

#include "downloader/setup_state.h"
#include "downloader/ui/progress_dialog.h"

bool CancelRequested() {
  HANDLE cancel = g_setup.cancelEvent;
  if (cancel == NULL || cancel == INVALID_HANDLE_VALUE) return false;
  DWORD state = WaitForSingleObject(cancel, 0);
  return state == WAIT_OBJECT_0 || state == WAIT_ABANDONED;
}

void FinishWorkerRun(bool aborted) {
  g_setup.installAborted = aborted;
  EndProgressDialog();
}
