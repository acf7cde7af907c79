#include "downloader/services/registry_services.h"

#include <new>

#include "common/fixed_string.h"
#include "common/scoped_handles.h"
#include "common/wide_format.h"
#include "downloader/services/diagnostic_log.h"
#include "downloader/services/setup_state.h"

const wchar_t kRunKeyPath[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const wchar_t kRestartValueName[] = L"qninstaller";

namespace {

const wchar_t kDeviceKeyPath[] = L".DEFAULT\\Software\\Vellum\\Internal";
const wchar_t kDeviceBackupKeyPath[] = L"SOFTWARE\\{AA17B746-F1EE-49bf-B5D5-D94519FF660F}";
const wchar_t kDeviceBackupValueName[] = L"backup";
constexpr size_t kRestartCommandChars = 1090;
constexpr size_t kDeviceValueNameChars = 50;

void FreeBytes(BYTE* bytes) { delete[] bytes; }

using ScopedBytes = qn::Owned<BYTE*, FreeBytes>;

RestartRegistrationPlace MachineRunValue() {
  RestartRegistrationPlace place = {HKEY_LOCAL_MACHINE, kRunKeyPath, kRestartValueName};
  return place;
}

// "DEVICE" when it exists, else "DEVICE2" (whose absence the caller reports).
void ChooseDeviceValueName(HKEY root, const wchar_t* keyPath, qn::FixedString<kDeviceValueNameChars>* name) {
  name->Assign(L"DEVICE2");
  qn::ScopedRegKey key;
  if (key.Open(root, keyPath, KEY_QUERY_VALUE) != ERROR_SUCCESS) return;
  if (RegQueryValueExW(key.Get(), L"DEVICE", nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS) {
    name->Assign(L"DEVICE");
  }
}

}  // namespace

bool BuildRestartCommand(const wchar_t* programFolder, wchar_t* out, size_t capacity) {
  if (!out || capacity == 0) return false;
  out[0] = L'\0';
  wchar_t launcher[kLongPathChars];
  wchar_t downloader[kLongPathChars];
  if (!qn::JoinPath(launcher, kLongPathChars, programFolder, L"kitstarter.exe") ||
      !qn::JoinPath(downloader, kLongPathChars, programFolder, L"kitfetcher.exe")) {
    return false;
  }
  return qn::FormatInto(out, capacity, L"\"%s\" /run:\"%s\" /args:\"/after_restart\"", launcher,
                        downloader);
}

LONG DeleteRestartRegistrationAt(const RestartRegistrationPlace& place) {
  qn::ScopedRegKey key;
  LONG result = key.Open(place.root, place.keyPath, KEY_ALL_ACCESS);
  if (result != ERROR_SUCCESS) {
    WriteLog(L"[SETUP] Cannot open registry key %s (error %d)", place.keyPath, static_cast<int>(result));
    return result;
  }
  return RegDeleteValueW(key.Get(), place.valueName);
}

LONG RunSetupAfterRestartAt(const RestartRegistrationPlace& place) {
  WriteLog(L"[SETUP] RunSetupAfterRestart >>");
  LONG result;
  {
    qn::ScopedRegKey key;
    result = key.Open(place.root, place.keyPath, KEY_ALL_ACCESS);
    if (result != ERROR_SUCCESS) {
      WriteLog(L"[SETUP] Cannot open registry key %s (error %d)", place.keyPath, static_cast<int>(result));
    } else {
      wchar_t command[kRestartCommandChars];
      if (!BuildRestartCommand(g_setup.programFolder, command, kRestartCommandChars)) {
        // Cannot happen with a 259-character folder; never register a cut path.
        result = ERROR_INSUFFICIENT_BUFFER;
      } else {
        WriteLog(L"[SETUP] RunSetupAfterRestart run<%s>", command);
        DWORD bytes = static_cast<DWORD>((wcslen(command) + 1) * sizeof(wchar_t));
        result = RegSetValueExW(key.Get(), place.valueName, 0, REG_SZ,
                                reinterpret_cast<const BYTE*>(command), bytes);
      }
      WriteLog(L"[SETUP] RunSetupAfterRestart ret<%d>", static_cast<int>(result));
    }
  }
  WriteLog(L"[SETUP] RunSetupAfterRestart <<");
  return result;
}

LONG DeleteRestartRegistration() { return DeleteRestartRegistrationAt(MachineRunValue()); }

LONG RunSetupAfterRestart() { return RunSetupAfterRestartAt(MachineRunValue()); }

LONG BackupDeviceKeyAt(const DeviceBackupPlaces& places) {
  WriteLog(L"[KITFETCHER] Backing up the DEVICE key");
  qn::FixedString<kDeviceValueNameChars> valueName;
  ChooseDeviceValueName(places.sourceRoot, places.sourceKeyPath, &valueName);

  qn::ScopedRegKey source;
  LONG result = source.Open(places.sourceRoot, places.sourceKeyPath, KEY_READ);
  if (result != ERROR_SUCCESS) {
    WriteLog(L"[KITFETCHER] BackupDeviceKey: Cannot open key %s (error %d)", places.sourceKeyPath,
             static_cast<int>(result));
    return result;
  }
  DWORD type = 0;
  DWORD size = 0;
  result = RegQueryValueExW(source.Get(), valueName.c_str(), nullptr, &type, nullptr, &size);
  if (result != ERROR_SUCCESS) {
    WriteLog(L"[KITFETCHER] BackupDeviceKey: Cannot query value %s (error %d)", valueName.c_str(),
             static_cast<int>(result));
    return result;
  }
  if (size == 0) return ERROR_SUCCESS;

  ScopedBytes data(new (std::nothrow) BYTE[size]);
  if (!data.Valid()) return ERROR_SUCCESS;
  // The second query may find the value grown meanwhile; it then fails with
  // ERROR_MORE_DATA rather than writing past the buffer.
  result = RegQueryValueExW(source.Get(), valueName.c_str(), nullptr, &type, data.Get(), &size);
  source.Reset();
  if (result != ERROR_SUCCESS) {
    WriteLog(L"[KITFETCHER] BackupDeviceKey: Cannot query value %s (error %d)", valueName.c_str(),
             static_cast<int>(result));
    return result;
  }

  qn::ScopedRegKey target;
  result = target.Create(places.targetRoot, places.targetKeyPath, KEY_ALL_ACCESS | KEY_WOW64_64KEY);
  if (result != ERROR_SUCCESS) {
    WriteLog(L"[KITFETCHER] BackupDeviceKey: Cannot create device backup key (error %d)",
             static_cast<int>(result));
    return result;
  }
  result = RegSetValueExW(target.Get(), places.targetValueName, 0, type, data.Get(), size);
  if (result != ERROR_SUCCESS) {
    WriteLog(L"[KITFETCHER] BackupDeviceKey: Cannot set value for device backup key (error %d)",
             static_cast<int>(result));
  }
  return result;
}

LONG BackupDeviceKey() {
  DeviceBackupPlaces places = {HKEY_USERS, kDeviceKeyPath, HKEY_LOCAL_MACHINE, kDeviceBackupKeyPath,
                               kDeviceBackupValueName};
  return BackupDeviceKeyAt(places);
}
