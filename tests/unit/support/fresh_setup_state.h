// The process-wide setup state as a test starts from it, and the transfer
// counters read and set under their lock.
#pragma once
#include <windows.h>

#include "common/scoped_handles.h"
#include "downloader/services/diagnostic_log.h"
#include "downloader/services/setup_state.h"
#include "tests/unit/support/program_resources.h"

namespace kittest {

// A fresh SetupState whose stats lock is ready, as the start-up sequence
// leaves it for the transfer code.
inline void FreshSetupStateWithStatsLock() {
  ResetSetupState();
  InitializeCriticalSection(&g_setup.statsLock);
  g_setup.statsLockReady = true;
}

// A fresh SetupState with a ready stats lock, the program's string table, and
// a maker and a language, for the life of the object.
class SetupScope {
 public:
  SetupScope() {
    FreshSetupStateWithStatsLock();
    g_setup.resourceModule = resources_.Get();
    lstrcpynW(g_setup.locations.manufacturerName, L"Kit Test Maker", static_cast<int>(kNameChars));
    lstrcpynW(g_setup.locations.language, L"en", static_cast<int>(kNameChars));
  }
  ~SetupScope() {
    CloseLog();
    ResetSetupState();
  }
  SetupScope(const SetupScope&) = delete;
  SetupScope& operator=(const SetupScope&) = delete;
  bool HasResources() const { return resources_.Valid(); }

 private:
  qn::ScopedLibrary resources_{LoadProgramResources()};
};

inline TransferStats Stats() {
  EnterCriticalSection(&g_setup.statsLock);
  TransferStats copy = g_setup.stats;
  LeaveCriticalSection(&g_setup.statsLock);
  return copy;
}
inline DWORD Transferred() { return Stats().bytesTransferred; }
inline double Speed() { return Stats().speedKBps; }

inline void SetStats(uint32_t done, int32_t expected, double speed) {
  EnterCriticalSection(&g_setup.statsLock);
  g_setup.stats.bytesTransferred = done;
  g_setup.stats.bytesExpected = expected;
  g_setup.stats.speedKBps = speed;
  LeaveCriticalSection(&g_setup.statsLock);
}

}  // namespace kittest
