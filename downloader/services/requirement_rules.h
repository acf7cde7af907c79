// The arithmetic of the machine requirement checks: processor speed, memory and
// free disk space against the kit's minimums. A minimum of 0 (or less) always
// passes.
#pragma once
#include <windows.h>

const ULONGLONG kBytesPerMB = 1048576;

// True when the processor is slower than the minimum; equal speeds pass.
bool CpuBelowMinimum(int minimumMHz, double measuredMHz);

// True when the memory is below the minimum. Compared in units of 1024 bytes
// with the fraction kept, so a single missing byte counts.
bool MemoryBelowMinimum(int minimumMBytes, ULONGLONG totalBytes);

// True when the free bytes reach the minimum. Otherwise *shortfallMB receives
// what is missing in whole MB, rounded down (so 0.5 MB short asks for 0 MB).
bool DiskSpaceSufficient(int minimumMBytes, ULONGLONG freeBytes, int* shortfallMB);
