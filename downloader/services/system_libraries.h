// The system libraries that Windows does not guard as known DLLs on every
// version the program runs on. Imported, they would be looked for in the
// program's folder first, so they are loaded from the system folder on first
// use instead, and kept until the process ends: wininet and urlmon run threads
// of their own that would be left without code if they were unloaded earlier.
// Every function pointer handed out is callable: where the library or the
// function is missing, it points to a stand-in that fails the way the real
// call fails (last error ERROR_PROC_NOT_FOUND).
#pragma once

#include <windows.h>
#include <msi.h>
#include <psapi.h>
#include <urlmon.h>
#include <wininet.h>

struct MsiFunctions {
  decltype(&::MsiQueryProductStateW) queryProductState;  // stand-in: INSTALLSTATE_UNKNOWN
};

struct PsapiFunctions {
  decltype(&::GetModuleFileNameExW) getModuleFileNameEx;  // stand-in: 0
};

struct UrlmonFunctions {
  decltype(&::URLDownloadToCacheFileW) downloadToCacheFile;  // stand-in: INET_E_DOWNLOAD_FAILURE
};

struct WininetFunctions {
  decltype(&::InternetOpenW) open;  // stand-ins: NULL or FALSE
  decltype(&::InternetCrackUrlW) crackUrl;
  decltype(&::InternetConnectW) connect;
  decltype(&::HttpOpenRequestW) openRequest;
  decltype(&::HttpSendRequestW) sendRequest;
  decltype(&::HttpQueryInfoW) httpQueryInfo;
  decltype(&::InternetCloseHandle) closeHandle;
  decltype(&::DeleteUrlCacheEntryW) deleteUrlCacheEntry;
};

const MsiFunctions& Msi();
const PsapiFunctions& Psapi();
const UrlmonFunctions& Urlmon();
const WininetFunctions& Wininet();
