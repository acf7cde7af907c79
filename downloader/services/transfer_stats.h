// Counters that the transfer callbacks feed and the progress dialog shows; every
// access holds SetupState::statsLock.
#pragma once
#include <stdint.h>

struct TransferStats {
  TransferStats() : bytesTransferred(0), bytesExpected(0), speedKBps(0.0) {}
  uint32_t bytesTransferred;
  int32_t bytesExpected;
  double speedKBps;
};
