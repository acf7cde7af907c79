// The system libraries that Windows does not guard as known DLLs on every
// version the program runs on. Imported, they would be looked for in the
// program's folder first (and their own start-up would load further libraries
// by name before the program could narrow the search), so they are loaded on
// first use instead, and kept until the process ends: wininet and urlmon run
// threads of their own that would be left without code if they were unloaded
// earlier, and comctl32's window classes serve every dialog. Each comes from the
// system folder by full path, except comctl32: the manifest's Common-Controls
// 6.0 dependency takes it from the side-by-side store, for a load by name.
// Every function pointer handed out is callable: where the library or the
// function is missing, it points to a stand-in that fails the way the real
// call fails (last error ERROR_PROC_NOT_FOUND).
#pragma once

#include <windows.h>
#include <commctrl.h>
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
  decltype(&::InternetOpenW) open;  // stand-ins: null or FALSE
  decltype(&::InternetCrackUrlW) crackUrl;
  decltype(&::InternetConnectW) connect;
  decltype(&::HttpOpenRequestW) openRequest;
  decltype(&::HttpSendRequestW) sendRequest;
  decltype(&::HttpQueryInfoW) httpQueryInfo;
  decltype(&::InternetCloseHandle) closeHandle;
  decltype(&::DeleteUrlCacheEntryW) deleteUrlCacheEntry;
};

struct Comctl32Functions {
  decltype(&::InitCommonControlsEx) initCommonControlsEx;  // stand-in: FALSE
};

const Comctl32Functions& Comctl32();
const MsiFunctions& Msi();
const PsapiFunctions& Psapi();
const UrlmonFunctions& Urlmon();
const WininetFunctions& Wininet();
