#include "downloader/transfer/transfer_counters.h"

#include <stdint.h>

#include "common/scoped_handles.h"
#include "downloader/services/setup_state.h"

namespace {

constexpr DWORD kSampleIntervalMs = 1000;

TickSource g_tickSource = GetTickCount;

// The counters are shared with the dialog's timer only once the lock exists;
// before that nothing else can be reading them.
CRITICAL_SECTION* StatsLock() { return g_setup.statsLockReady ? &g_setup.statsLock : nullptr; }

}  // namespace

void AddExpectedBytes(DWORD bytes) {
  qn::ScopedCriticalSectionLock lock(StatsLock());
  g_setup.stats.bytesExpected = static_cast<int32_t>(static_cast<uint32_t>(g_setup.stats.bytesExpected) + bytes);
}

void AddTransferredBytes(DWORD delta) {
  qn::ScopedCriticalSectionLock lock(StatsLock());
  g_setup.stats.bytesTransferred += delta;
}

void StoreSpeed(double speedKBps) {
  qn::ScopedCriticalSectionLock lock(StatsLock());
  g_setup.stats.speedKBps = speedKBps;
}

TickSource SetTickSource(TickSource source) {
  TickSource previous = g_tickSource;
  g_tickSource = source ? source : GetTickCount;
  return previous;
}

DWORD TransferTicks() { return g_tickSource(); }

bool SpeedSampleDue(DWORD lastSampleTick, DWORD now) {
  return static_cast<DWORD>(now - lastSampleTick) > kSampleIntervalMs;
}

double SpeedSampleKBps(DWORD progress, DWORD startTick, DWORD now) {
  DWORD elapsed = now - startTick;
  if (elapsed == 0) return 0.0;
  return static_cast<double>(progress) / static_cast<double>(elapsed) / 1000.0 * 1024.0;
}
