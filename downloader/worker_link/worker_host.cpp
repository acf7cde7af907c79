#include "downloader/worker_link/worker_host.h"

bool IsCancelSignalled(HANDLE cancelEvent) {
  if (cancelEvent == nullptr || cancelEvent == INVALID_HANDLE_VALUE) return false;
  DWORD state = WaitForSingleObject(cancelEvent, 0);
  return state == WAIT_OBJECT_0 || state == WAIT_ABANDONED;
}
