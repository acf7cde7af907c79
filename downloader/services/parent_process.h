// Who started the downloader, and from which file.
#pragma once
#include <windows.h>

// The parent's process id (0 when not found); fills parentProcessPath if empty.
// `startedOver`: this process is the copy that a first instance started from
// a fresh folder (common/fresh_folder.h); the parent that counts is the one
// that started the first instance.
DWORD FindParentProcess(bool startedOver = false);
