// The restart registration under the machine's Run key and the device backup.
#pragma once
#include <windows.h>

extern const wchar_t kRunKeyPath[];
extern const wchar_t kRestartValueName[];

LONG DeleteRestartRegistration();
LONG RunSetupAfterRestart();
LONG BackupDeviceKey();

// Where a restart registration lives; the operations above use the machine's
// Run key. Tests point these at keys of their own.
struct RestartRegistrationPlace {
  HKEY root;
  const wchar_t* keyPath;
  const wchar_t* valueName;
};
LONG DeleteRestartRegistrationAt(const RestartRegistrationPlace& place);
LONG RunSetupAfterRestartAt(const RestartRegistrationPlace& place);

// The command line that makes the launcher start the downloader after a
// restart, for a program folder that ends with a backslash. False (and an empty
// text) when it does not fit.
[[nodiscard]] bool BuildRestartCommand(const wchar_t* programFolder, wchar_t* out, size_t capacity);

// Where the device value is read from and where its backup goes (the backup is
// always written in the 64-bit view).
struct DeviceBackupPlaces {
  HKEY sourceRoot;
  const wchar_t* sourceKeyPath;
  HKEY targetRoot;
  const wchar_t* targetKeyPath;
  const wchar_t* targetValueName;
};
LONG BackupDeviceKeyAt(const DeviceBackupPlaces& places);
