#include "downloader/teardown.h"

#include "downloader/services/diagnostic_log.h"
#include "downloader/services/setup_state.h"

void Teardown() {
  if (g_setup.cancelEvent) {
    CloseHandle(g_setup.cancelEvent);
    g_setup.cancelEvent = NULL;
  }
  g_setup.locations.baseUrl.Reset();
  if (g_setup.uiLibrary) {
    FreeLibrary(g_setup.uiLibrary);
    g_setup.uiLibrary = NULL;
    g_setup.resourceModule = g_setup.programInstance;
  }
  CloseLog();
  if (g_setup.statsLockReady) {
    DeleteCriticalSection(&g_setup.statsLock);
    g_setup.statsLockReady = false;
  }
  if (g_setup.instanceEvent) {
    CloseHandle(g_setup.instanceEvent);
    g_setup.instanceEvent = NULL;
  }
  if (g_setup.dialogReadyEvent) {
    CloseHandle(g_setup.dialogReadyEvent);
    g_setup.dialogReadyEvent = NULL;
  }
  if (g_setup.dialogBrush) {
    DeleteObject(g_setup.dialogBrush);
    g_setup.dialogBrush = NULL;
  }
}
