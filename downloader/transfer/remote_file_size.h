#pragma once
#include <windows.h>

// Content-Length of the URL through WinINet; 0 and the error code on failure.
DWORD QueryRemoteFileSize(const wchar_t* url, DWORD* size);
