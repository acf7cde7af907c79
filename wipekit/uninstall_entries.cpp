#include "wipekit/uninstall_entries.h"

#include <windows.h>
#include <shlwapi.h>

#include "common/scoped_handles.h"

namespace wipekit {

namespace {

const wchar_t* const kUninstallParents[] = {
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall",
    L"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall",
};
const int kParentCount = 2;

bool ExistsUnder(const wchar_t* parentPath, const wchar_t* key) {
  qn::ScopedRegKey parent;
  if (parent.Open(HKEY_LOCAL_MACHINE, parentPath, KEY_ENUMERATE_SUB_KEYS | KEY_WOW64_64KEY) != ERROR_SUCCESS)
    return false;
  qn::ScopedRegKey entry;
  return entry.Open(parent.Get(), key, KEY_QUERY_VALUE | KEY_WOW64_64KEY) == ERROR_SUCCESS;
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
    qn::ScopedRegKey parent;
    if (parent.Open(HKEY_LOCAL_MACHINE, kUninstallParents[i], KEY_ALL_ACCESS | KEY_WOW64_64KEY) == ERROR_SUCCESS)
      SHDeleteKeyW(parent.Get(), key);
  }
  return !UninstallEntryExists(key);
}

}  // namespace wipekit
