#include "downloader/teardown.h"

#include "downloader/services/diagnostic_log.h"
#include "downloader/services/setup_state.h"

void Teardown() {
  g_setup.cancelEvent.Reset();
  g_setup.locations.baseUrl.Reset();
  if (g_setup.uiLibrary.Valid()) {
    g_setup.uiLibrary.Reset();
    g_setup.resourceModule = g_setup.programInstance;
  }
  CloseLog();
  if (g_setup.statsLockReady) {
    DeleteCriticalSection(&g_setup.statsLock);
    g_setup.statsLockReady = false;
  }
  g_setup.instanceEvent.Reset();
}
