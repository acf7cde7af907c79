// Which Windows this is, whether we run as an administrator, and whether the
// machine meets the kit's minimums.
#pragma once

// 0 unknown or unsupported, 1 XP SP3, 2 Vista without service pack,
// 3 Vista with a service pack, 4 Windows 7.
int GetOsVersionCode();
bool IsUserAdministrator();
double GetCpuSpeedMHz();
float GetTotalPhysicalMemory();
// True: proceed. Shows its own prompts (133, 134) and message 131.
bool CheckSystemRequirements();
