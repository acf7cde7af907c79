// The decision behind the version gate, kept apart from the system calls so
// every Windows edition can be checked without running on it.
#pragma once
#include <windows.h>

// 0 unknown or unsupported, 1 XP SP3, 2 Vista without service pack,
// 3 Vista with a service pack, 4 Windows 7. `servicePack` may be null (empty).
int OsVersionCodeFrom(DWORD major, DWORD minor, BYTE productType, const wchar_t* servicePack,
                      bool isServer);
