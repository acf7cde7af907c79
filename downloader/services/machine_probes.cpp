#include "downloader/services/machine_probes.h"

#include <shlobj.h>
#include <shlwapi.h>
#include <wchar.h>

#include "common/fixed_string.h"
#include "common/scoped_handles.h"
#include "downloader/services/diagnostic_log.h"
#include "downloader/services/setup_state.h"
#include "downloader/services/text_ids.h"
#include "downloader/services/texts.h"

namespace {

const wchar_t kProcessorKey[] = L"HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0";
constexpr size_t kRequirementMessageChars = 150;

void ReleaseSid(PSID sid) { FreeSid(sid); }

using ScopedSid = qn::Owned<PSID, ReleaseSid>;

// The administrators' group identifier; false when it cannot be built.
bool BuildAdministratorsSid(ScopedSid* admins) {
  SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
  PSID sid = nullptr;
  if (!AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                                &sid))
    return false;
  admins->Reset(sid);
  return true;
}

// Windows XP exports IsOS from shlwapi by ordinal only; the name came with Vista.
// Without it the edition cannot be told, which the caller treats as unknown.
bool QueryServerEdition(bool* server) {
  using IsOSFn = BOOL(WINAPI*)(DWORD);
  constexpr WORD kIsOSOrdinal = 437;
  HMODULE shlwapi = GetModuleHandleW(L"shlwapi.dll");
  IsOSFn isOS = shlwapi ? reinterpret_cast<IsOSFn>(GetProcAddress(shlwapi, MAKEINTRESOURCEA(kIsOSOrdinal))) : nullptr;
  if (!isOS) return false;
  *server = isOS(OS_SERVER) != FALSE;
  return true;
}

}  // namespace

OsVersion GetOsVersionCode() {
  bool server = false;
  if (!QueryServerEdition(&server) || server) return kOsUnsupported;
  OSVERSIONINFOEXW info;
  ZeroMemory(&info, sizeof(info));
  info.dwOSVersionInfoSize = sizeof(info);
  if (!GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info))) return kOsUnsupported;
  info.szCSDVersion[sizeof(info.szCSDVersion) / sizeof(info.szCSDVersion[0]) - 1] = L'\0';
  return OsVersionCodeFrom(info.dwMajorVersion, info.dwMinorVersion, info.wProductType,
                           info.szCSDVersion, false);
}

bool IsUserAdministrator() {
  ScopedSid admins;
  if (!BuildAdministratorsSid(&admins)) return false;
  BOOL member = FALSE;
  if (!CheckTokenMembership(nullptr, admins.Get(), &member)) return false;
  return member != FALSE;
}

double ReadCpuSpeedMHz(HKEY root, const wchar_t* keyPath) {
  qn::ScopedRegKey key;
  if (key.Open(root, keyPath, KEY_READ) != ERROR_SUCCESS) return 0.0;
  DWORD mhz = 0;
  // The size says 4 bytes, so a larger value of another type is refused rather
  // than written past the number.
  DWORD size = sizeof(mhz);
  if (RegQueryValueExW(key.Get(), L"~MHz", nullptr, nullptr, reinterpret_cast<BYTE*>(&mhz), &size) !=
      ERROR_SUCCESS) {
    return 0.0;
  }
  return static_cast<double>(mhz);
}

double GetCpuSpeedMHz() { return ReadCpuSpeedMHz(HKEY_LOCAL_MACHINE, kProcessorKey); }

ULONGLONG GetTotalPhysicalMemoryBytes() {
  MEMORYSTATUSEX status;
  ZeroMemory(&status, sizeof(status));
  status.dwLength = sizeof(status);
  GlobalMemoryStatusEx(&status);
  return status.ullTotalPhys;
}

float GetTotalPhysicalMemory() { return static_cast<float>(GetTotalPhysicalMemoryBytes()); }

bool GetSystemDriveRoot(wchar_t* root, size_t capacity) {
  if (!root || capacity == 0) return false;
  root[0] = L'\0';
  wchar_t system[MAX_PATH];
  system[0] = L'\0';
  if (!SHGetSpecialFolderPathW(nullptr, system, CSIDL_SYSTEM, FALSE) || system[0] == L'\0') return false;
  if (!PathStripToRootW(system)) return false;
  return qn::CopyText(root, capacity, system);
}

bool CheckSystemRequirements() {
  const LocationsConfig& kit = g_setup.locations;
  wchar_t root[MAX_PATH];
  bool haveRoot = GetSystemDriveRoot(root, MAX_PATH);

  if (CpuBelowMinimum(kit.cpuFreqMHz, GetCpuSpeedMHz())) {
    if (ShowFormattedMessage(nullptr, IDS_CPU_TOO_SLOW, kRequirementMessageChars, MB_YESNO,
                             kit.cpuFreqMHz) != IDYES) {
      return false;
    }
  }
  if (MemoryBelowMinimum(kit.ramMBytes, GetTotalPhysicalMemoryBytes())) {
    if (ShowFormattedMessage(nullptr, IDS_NOT_ENOUGH_RAM, kRequirementMessageChars, MB_YESNO,
                             kit.ramMBytes) != IDYES) {
      return false;
    }
  }
  return DiskRequirementMet(haveRoot ? root : nullptr, kit.hddMBytes);
}

bool DiskRequirementMet(const wchar_t* root, int minimumMBytes) {
  if (minimumMBytes <= 0) return true;
  // Without a measurement we cannot say the disk is too small; refusing here
  // would block every machine on which the query happens to fail.
  if (!root || root[0] == L'\0') {
    WriteLog(L"[KITFETCHER] Cannot find the system drive; free disk space not checked");
    return true;
  }
  ULARGE_INTEGER available;
  if (!GetDiskFreeSpaceExW(root, &available, nullptr, nullptr)) {
    WriteLog(L"[KITFETCHER] Cannot query free disk space on %s (error %d); free disk space not checked",
             root, static_cast<int>(GetLastError()));
    return true;
  }
  int shortfallMB = 0;
  if (DiskSpaceSufficient(minimumMBytes, available.QuadPart, &shortfallMB)) return true;
  ShowFormattedMessage(nullptr, IDS_NOT_ENOUGH_DISK, kRequirementMessageChars, MB_OK, root, shortfallMB);
  return false;
}

OsVersion OsVersionCodeFrom(DWORD major, DWORD minor, BYTE productType, const wchar_t* servicePack,
                            bool isServer) {
  if (isServer) return kOsUnsupported;
  const wchar_t* csd = servicePack ? servicePack : L"";
  if (major < 5) return kOsUnsupported;
  if (major == 5) {
    // Only XP with its last service pack; the letter case is what XP reports.
    return (minor == 1 && wcsstr(csd, L"Service Pack 3") != nullptr) ? kOsXpSp3 : kOsUnsupported;
  }
  bool workstation = productType == VER_NT_WORKSTATION;
  if (minor == 0) {
    if (!workstation) return kOsUnsupported;
    return csd[0] == L'\0' ? kOsVistaNoServicePack : kOsVistaServicePack;
  }
  if (minor == 1) return workstation ? kOsWindows7 : kOsUnsupported;
  return kOsUnsupported;
}

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
