// The process-wide setup state as a test starts from it.
#pragma once
#include <windows.h>

#include "downloader/services/setup_state.h"

namespace testsupport {

// A fresh SetupState whose stats lock is ready, as the start-up sequence
// leaves it for the transfer code.
inline void FreshSetupStateWithStatsLock() {
  ResetSetupState();
  InitializeCriticalSection(&g_setup.statsLock);
  g_setup.statsLockReady = true;
}

}  // namespace testsupport
