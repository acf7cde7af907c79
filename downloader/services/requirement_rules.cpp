#include "downloader/services/requirement_rules.h"

bool CpuBelowMinimum(int minimumMHz, double measuredMHz) {
  return static_cast<double>(minimumMHz) > measuredMHz;
}

bool MemoryBelowMinimum(int minimumMBytes, ULONGLONG totalBytes) {
  // 64-bit: a minimum from the kit document times 1024 must not overflow into
  // a negative number that every machine would pass.
  long long minimumKB = static_cast<long long>(minimumMBytes) * 1024;
  double measuredKB = static_cast<double>(totalBytes) / 1024.0;
  return static_cast<double>(minimumKB) > measuredKB;
}

bool DiskSpaceSufficient(int minimumMBytes, ULONGLONG freeBytes, int* shortfallMB) {
  if (shortfallMB) *shortfallMB = 0;
  if (minimumMBytes <= 0) return true;
  ULONGLONG minimum = static_cast<ULONGLONG>(minimumMBytes) * kBytesPerMB;
  if (freeBytes >= minimum) return true;
  // At most minimumMBytes, so it fits an int.
  if (shortfallMB) *shortfallMB = static_cast<int>((minimum - freeBytes) / kBytesPerMB);
  return false;
}
