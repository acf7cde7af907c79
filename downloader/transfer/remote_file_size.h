#pragma once
#include <windows.h>

// Content-Length of the URL through WinINet, asked with a HEAD request so that
// the server sends no body. 0 (ERROR_SUCCESS) with the size;
// ERROR_BAD_ARGUMENTS without a URL or a place for the size; otherwise size 0
// and the failing WinINet call's error code. An HTTP error status is a failure
// too (ERROR_FILE_NOT_FOUND for 404 and 410, else ERROR_BAD_NET_RESP): the length
// of an error page is not the file's size. The query ends within the size
// query limits of network_call.h (ERROR_TIMEOUT) and a few seconds after the
// user quits (ERROR_CANCELLED), whatever the server does.
DWORD QueryRemoteFileSize(const wchar_t* url, DWORD* size);
