#pragma once
#include <windows.h>

void CopyOfflineKit(const wchar_t* productCode);
DWORD CALLBACK CopyProgressRoutine(LARGE_INTEGER totalFileSize, LARGE_INTEGER totalBytesTransferred,
                                   LARGE_INTEGER streamSize, LARGE_INTEGER streamBytesTransferred,
                                   DWORD streamNumber, DWORD callbackReason, HANDLE sourceFile,
                                   HANDLE destinationFile, LPVOID context);
