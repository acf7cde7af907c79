// The restart registration under the machine's Run key and the device backup.
#pragma once
#include <windows.h>

extern const wchar_t kRunKeyPath[];
extern const wchar_t kRestartValueName[];

LONG DeleteRestartRegistration();
LONG RunSetupAfterRestart();
LONG BackupDeviceKey();
