#include "wipekit/uninstall_entries.h"

#include <windows.h>
#include <shlwapi.h>

namespace wipekit {

namespace {

const wchar_t* const kUninstallParents[] = {
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall",
    L"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall",
};
const int kParentCount = 2;

bool ExistsUnder(const wchar_t* parentPath, const wchar_t* key) {
  HKEY parent = NULL;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, parentPath, 0, KEY_ENUMERATE_SUB_KEYS | KEY_WOW64_64KEY, &parent) !=
      ERROR_SUCCESS) {
    return false;
  }
  HKEY entry = NULL;
  LONG error = RegOpenKeyExW(parent, key, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &entry);
  if (entry) RegCloseKey(entry);
  RegCloseKey(parent);
  return error == ERROR_SUCCESS;
}

}  // namespace

bool UninstallEntryExists(const wchar_t* key) {
  if (!key || !key[0]) return false;
  for (int i = 0; i < kParentCount; ++i) {
    if (ExistsUnder(kUninstallParents[i], key)) return true;
  }
  return false;
}

bool DeleteUninstallEntry(const wchar_t* key) {
  if (!key || !key[0]) return true;
  for (int i = 0; i < kParentCount; ++i) {
    HKEY parent = NULL;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kUninstallParents[i], 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY, &parent) !=
        ERROR_SUCCESS) {
      continue;
    }
    SHDeleteKeyW(parent, key);
    RegCloseKey(parent);
  }
  return !UninstallEntryExists(key);
}

}  // namespace wipekit
