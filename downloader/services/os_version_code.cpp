#include "downloader/services/os_version_code.h"

#include <wchar.h>

int OsVersionCodeFrom(DWORD major, DWORD minor, BYTE productType, const wchar_t* servicePack,
                      bool isServer) {
  if (isServer) return 0;
  const wchar_t* csd = servicePack ? servicePack : L"";
  if (major < 5) return 0;
  if (major == 5) {
    // Only XP with its last service pack; the letter case is what XP reports.
    return (minor == 1 && wcsstr(csd, L"Service Pack 3") != NULL) ? 1 : 0;
  }
  bool workstation = productType == VER_NT_WORKSTATION;
  if (minor == 0) {
    if (!workstation) return 0;
    return csd[0] == L'\0' ? 2 : 3;
  }
  if (minor == 1) return workstation ? 4 : 0;
  return 0;
}
