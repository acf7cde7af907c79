#include "downloader/products/uninstall_entry.h"

#include <string.h>

#include "common/fixed_string.h"
#include "common/scoped_handles.h"
#include "downloader/services/diagnostic_log.h"

namespace {

const wchar_t kNativeUninstallKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const wchar_t kWowUninstallKey[] = L"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
// At most 259 characters and the terminator.
const DWORD kValueQueryBytes = 520;

}  // namespace

bool LookUpUninstallEntry(int view, const wchar_t* key, CompetingProduct* entry) {
  if (!key || !entry) return false;
  qn::FixedString<kCompetingTextChars> subkey;
  if (!subkey.Format(L"%s%s", view == 0 ? kNativeUninstallKey : kWowUninstallKey, key)) {
    WriteLog(L"[SETUP] Uninstall key too long to look up: %s", key);
    return false;
  }
  wchar_t value[kCompetingTextChars];
  if (!ReadUninstallValue(subkey, L"DisplayName", value)) return false;
  qn::CopyText(entry->displayName, kCompetingTextChars, value);
  if (!ReadUninstallValue(subkey, L"UninstallString", value)) return false;
  qn::CopyText(entry->uninstallString, kCompetingTextChars, value);
  return true;
}

bool ReadUninstallValue(const wchar_t* subkey, const wchar_t* valueName, wchar_t* buffer) {
  if (!buffer) return false;
  buffer[0] = L'\0';
  if (!subkey || !valueName) return false;
  qn::ScopedRegKey key;
  LONG error = key.Open(HKEY_LOCAL_MACHINE, subkey, KEY_QUERY_VALUE | KEY_WOW64_64KEY);
  if (error != ERROR_SUCCESS) {
    WriteLog(L"[SETUP] Cannot open regKey: %s (error %d)", subkey, static_cast<int>(error));
    return false;
  }
  memset(buffer, 0, kCompetingTextChars * sizeof(wchar_t));
  DWORD type = REG_NONE;
  DWORD bytes = kValueQueryBytes;
  error = RegQueryValueExW(key.Get(), valueName, NULL, &type, reinterpret_cast<BYTE*>(buffer), &bytes);
  // A value stored without its terminator can fill all 260 characters: that is
  // one character more than the text may have.
  if (error == ERROR_SUCCESS && bytes >= kValueQueryBytes && buffer[kValueQueryBytes / sizeof(wchar_t) - 1]) {
    error = ERROR_MORE_DATA;
  }
  if (error != ERROR_SUCCESS) {
    memset(buffer, 0, kCompetingTextChars * sizeof(wchar_t));
    WriteLog(L"[SETUP] Cannot query value \"%s\" in key: %s (error %d)", valueName, subkey,
             static_cast<int>(error));
    return false;
  }
  key.Reset();
  if (type != REG_SZ && type != REG_EXPAND_SZ) {
    memset(buffer, 0, kCompetingTextChars * sizeof(wchar_t));
    return false;
  }
  return true;
}
