#include "downloader/services/os_version_code.h"

#include <wchar.h>

OsVersion OsVersionCodeFrom(DWORD major, DWORD minor, BYTE productType, const wchar_t* servicePack,
                            bool isServer) {
  if (isServer) return kOsUnsupported;
  const wchar_t* csd = servicePack ? servicePack : L"";
  if (major < 5) return kOsUnsupported;
  if (major == 5) {
    // Only XP with its last service pack; the letter case is what XP reports.
    return (minor == 1 && wcsstr(csd, L"Service Pack 3") != NULL) ? kOsXpSp3 : kOsUnsupported;
  }
  bool workstation = productType == VER_NT_WORKSTATION;
  if (minor == 0) {
    if (!workstation) return kOsUnsupported;
    return csd[0] == L'\0' ? kOsVistaNoServicePack : kOsVistaServicePack;
  }
  if (minor == 1) return workstation ? kOsWindows7 : kOsUnsupported;
  return kOsUnsupported;
}
