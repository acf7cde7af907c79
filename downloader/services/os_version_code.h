// The decision behind the version gate, kept apart from the system calls so
// every Windows edition can be checked without running on it.
#pragma once
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

// `servicePack` may be null (empty).
OsVersion OsVersionCodeFrom(DWORD major, DWORD minor, BYTE productType, const wchar_t* servicePack,
                            bool isServer);
