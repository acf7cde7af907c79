#include "downloader/services/setup_state.h"

#include <new>
#include <string.h>

SetupState::SetupState() {
  memset(&statsLock, 0, sizeof(statsLock));
  logPath[0] = programFolder[0] = parentProcessPath[0] = L'\0';
  affiliateSource[0] = buyLink[0] = L'\0';
  hourText[0] = hoursText[0] = minuteText[0] = minutesText[0] = L'\0';
  secondText[0] = secondsText[0] = longDurationFormat[0] = shortDurationFormat[0] = L'\0';
  memset(competingProducts, 0, sizeof(competingProducts));
}

SetupState g_setup;

void ResetSetupState() {
  if (g_setup.statsLockReady) DeleteCriticalSection(&g_setup.statsLock);
  g_setup.~SetupState();
  new (&g_setup) SetupState();
}
