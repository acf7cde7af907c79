// Which Windows this is, whether we run as an administrator, and whether the
// machine meets the kit's minimums. The decisions (the version gate, the
// arithmetic of the requirement checks) are kept apart from the system calls,
// so that every edition and every limit can be checked without running on it.
#pragma once
#include <stddef.h>
#include <windows.h>

// The Windows versions the gate tells apart. The values are the codes the log
// shows, so they stay as they are.
enum OsVersion {
  kOsUnsupported = 0,  // unknown, a server edition, or none of the ones below
  kOsXpSp3 = 1,
  kOsVistaNoServicePack = 2,
  kOsVistaServicePack = 3,
  kOsWindows7 = 4
};

[[nodiscard]] OsVersion GetOsVersionCode();
// The gate's decision for a version record; `servicePack` may be null (empty).
[[nodiscard]] OsVersion OsVersionCodeFrom(DWORD major, DWORD minor, BYTE productType, const wchar_t* servicePack,
                                          bool isServer);

[[nodiscard]] bool IsUserAdministrator();
[[nodiscard]] double GetCpuSpeedMHz();
[[nodiscard]] float GetTotalPhysicalMemory();
// True: proceed. Asks about a slow processor or little memory and tells of a
// short disk (IDS_CPU_TOO_SLOW, IDS_NOT_ENOUGH_RAM, IDS_NOT_ENOUGH_DISK).
[[nodiscard]] bool CheckSystemRequirements();

// The processor speed value "~MHz" of a processor key; 0 when it cannot be read.
[[nodiscard]] double ReadCpuSpeedMHz(HKEY root, const wchar_t* keyPath);
// Total physical memory in bytes, exact (the float above loses the low bits).
[[nodiscard]] ULONGLONG GetTotalPhysicalMemoryBytes();
// Root of the drive that holds the system folder, e.g. "C:\"; false (and an
// empty root) when the system folder cannot be found.
[[nodiscard]] bool GetSystemDriveRoot(wchar_t* root, size_t capacity);
// The disk part of CheckSystemRequirements for a given drive root (null or
// empty: unknown). Tells IDS_NOT_ENOUGH_DISK and answers false when space is short;
// a root whose free space cannot be measured is logged and passes.
[[nodiscard]] bool DiskRequirementMet(const wchar_t* root, int minimumMBytes);

// The arithmetic of the requirement checks. A minimum of 0 (or less) always passes.
constexpr ULONGLONG kBytesPerMB = 1048576;
// True when the processor is slower than the minimum; equal speeds pass.
[[nodiscard]] bool CpuBelowMinimum(int minimumMHz, double measuredMHz);
// True when the memory is below the minimum. Compared in units of 1024 bytes
// with the fraction kept, so a single missing byte counts.
[[nodiscard]] bool MemoryBelowMinimum(int minimumMBytes, ULONGLONG totalBytes);
// True when the free bytes reach the minimum. Otherwise *shortfallMB receives
// what is missing in whole MB, rounded down (so 0.5 MB short asks for 0 MB).
[[nodiscard]] bool DiskSpaceSufficient(int minimumMBytes, ULONGLONG freeBytes, int* shortfallMB);
