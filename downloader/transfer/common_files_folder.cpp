#include "downloader/transfer/common_files_folder.h"

#include <windows.h>
#include <shlobj.h>
#include <wchar.h>

#include "common/fixed_string.h"
#include "common/scoped_handles.h"
#include "downloader/services/diagnostic_log.h"
#include "downloader/services/setup_state.h"

namespace {

const wchar_t kCurrentVersionKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
const wchar_t kCommonFilesValue[] = L"CommonFilesDir";

enum MachineValue { kValueRead, kValueMissing, kValueUnusable };

// The 64-bit view's value. Only a value that does not exist lets the caller
// fall back to the variable: the user's own environment can set that, and an
// elevated install must not follow it into a folder the user can write.
MachineValue ReadMachineCommonFilesDir(wchar_t* folder, size_t capacity) {
  folder[0] = L'\0';
  qn::ScopedRegKey key;
  LONG result = key.Open(HKEY_LOCAL_MACHINE, kCurrentVersionKey, KEY_QUERY_VALUE | KEY_WOW64_64KEY);
  if (result == ERROR_SUCCESS) {
    DWORD type = 0;
    DWORD bytes = static_cast<DWORD>((capacity - 1) * sizeof(wchar_t));
    result = RegQueryValueExW(key.Get(), kCommonFilesValue, NULL, &type, reinterpret_cast<BYTE*>(folder), &bytes);
    if (result == ERROR_SUCCESS) {
      folder[bytes / sizeof(wchar_t)] = L'\0';
      // Expanded in this 32-bit process, a variable would name the x86 folders.
      if ((type == REG_SZ || type == REG_EXPAND_SZ) && folder[0] && !wcschr(folder, L'%')) return kValueRead;
      result = ERROR_INVALID_DATA;
    }
  }
  folder[0] = L'\0';
  if (result == ERROR_FILE_NOT_FOUND) return kValueMissing;
  WriteLog(L"[KITFETCHER] Cannot read %s of the 64-bit registry (error %d)", kCommonFilesValue,
           static_cast<int>(result));
  return kValueUnusable;
}

bool ExpandCommonProgramW6432(wchar_t* folder, size_t capacity) {
  DWORD n = ExpandEnvironmentStringsW(L"%CommonProgramW6432%", folder, static_cast<DWORD>(capacity));
  // Where the variable does not exist it comes back unexpanded.
  if (n == 0 || n > capacity || folder[0] == L'%') {
    folder[0] = L'\0';
    return false;
  }
  return true;
}

}  // namespace

bool MachineCommonFilesFolder(wchar_t* folder, size_t capacity) {
  if (!folder || capacity == 0) return false;
  folder[0] = L'\0';
  if (g_setup.isWow64) {
    switch (ReadMachineCommonFilesDir(folder, capacity)) {
      case kValueRead:
        return true;
      case kValueMissing:
        WriteLog(L"[KITFETCHER] No %s in the 64-bit registry; using %%CommonProgramW6432%%", kCommonFilesValue);
        return ExpandCommonProgramW6432(folder, capacity);
      default:
        return false;
    }
  }
  wchar_t shell[MAX_PATH];
  shell[0] = L'\0';
  if (!SHGetSpecialFolderPathW(NULL, shell, CSIDL_PROGRAM_FILES_COMMON, FALSE)) return false;
  return qn::CopyText(folder, capacity, shell);
}
