// Which Windows this is, whether we run as an administrator, and whether the
// machine meets the kit's minimums.
#pragma once
#include <windows.h>

#include "downloader/services/os_version_code.h"

OsVersion GetOsVersionCode();
bool IsUserAdministrator();
double GetCpuSpeedMHz();
float GetTotalPhysicalMemory();
// True: proceed. Asks about a slow processor or little memory and tells of a
// short disk (IDS_CPU_TOO_SLOW, IDS_NOT_ENOUGH_RAM, IDS_NOT_ENOUGH_DISK).
bool CheckSystemRequirements();

// The processor speed value "~MHz" of a processor key; 0 when it cannot be read.
double ReadCpuSpeedMHz(HKEY root, const wchar_t* keyPath);
// Total physical memory in bytes, exact (the float above loses the low bits).
ULONGLONG GetTotalPhysicalMemoryBytes();
// Root of the drive that holds the system folder, e.g. "C:\"; false (and an
// empty root) when the system folder cannot be found.
bool GetSystemDriveRoot(wchar_t* root, size_t capacity);
// The disk part of CheckSystemRequirements for a given drive root (null or
// empty: unknown). Tells IDS_NOT_ENOUGH_DISK and answers false when space is short;
// a root whose free space cannot be measured is logged and passes.
bool DiskRequirementMet(const wchar_t* root, int minimumMBytes);
