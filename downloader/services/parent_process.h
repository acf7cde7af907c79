// Who started the downloader, and from which file.
#pragma once
#include <windows.h>

// The parent's process id (0 when not found); fills parentProcessPath if empty.
DWORD FindParentProcess();
