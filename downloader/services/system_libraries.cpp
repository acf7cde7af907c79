#include "downloader/services/system_libraries.h"

#include "common/process_platform.h"
#include "common/scoped_handles.h"
#include "downloader/services/diagnostic_log.h"

namespace {

// The worker thread and the main thread both reach for the libraries.
class LibraryLock {
 public:
  LibraryLock() { InitializeCriticalSection(&section_); }
  ~LibraryLock() { DeleteCriticalSection(&section_); }
  LibraryLock(const LibraryLock&) = delete;
  LibraryLock& operator=(const LibraryLock&) = delete;
  CRITICAL_SECTION* Get() { return &section_; }

 private:
  CRITICAL_SECTION section_;
};

LibraryLock g_lock;

struct Library {
  const wchar_t* name;
  HMODULE module;
  bool tried;
  bool byName;  // redirected to the side-by-side store by the manifest
};

Library g_comctl32 = {L"comctl32.dll", nullptr, false, true};
Library g_msi = {L"msi.dll", nullptr, false, false};
Library g_psapi = {L"psapi.dll", nullptr, false, false};
Library g_urlmon = {L"urlmon.dll", nullptr, false, false};
Library g_wininet = {L"wininet.dll", nullptr, false, false};

Comctl32Functions g_comctl32Functions;
MsiFunctions g_msiFunctions;
PsapiFunctions g_psapiFunctions;
UrlmonFunctions g_urlmonFunctions;
WininetFunctions g_wininetFunctions;

// True the first time, with the library loaded (or its failure logged).
bool LoadOnce(Library& library) {
  if (library.tried) return false;
  library.tried = true;
  library.module = library.byName ? qn::LoadSystemLibraryByName(library.name) : qn::LoadSystemLibrary(library.name);
  if (!library.module)
    WriteLog(L"[KITFETCHER] Cannot load %s from the system folder (error %d)", library.name,
             static_cast<int>(GetLastError()));
  return true;
}

template <typename Fn>
void Resolve(const Library& library, const char* name, Fn standIn, Fn* target) {
  FARPROC address = library.module ? GetProcAddress(library.module, name) : nullptr;
  *target = address ? reinterpret_cast<Fn>(address) : standIn;
}

BOOL WINAPI MissingInitCommonControlsEx(const INITCOMMONCONTROLSEX*) {
  SetLastError(ERROR_PROC_NOT_FOUND);
  return FALSE;
}

INSTALLSTATE WINAPI MissingQueryProductState(LPCWSTR) {
  SetLastError(ERROR_PROC_NOT_FOUND);
  return INSTALLSTATE_UNKNOWN;
}

DWORD WINAPI MissingGetModuleFileNameEx(HANDLE, HMODULE, LPWSTR, DWORD) {
  SetLastError(ERROR_PROC_NOT_FOUND);
  return 0;
}

HRESULT WINAPI MissingDownloadToCacheFile(LPUNKNOWN, LPCWSTR, LPWSTR, DWORD, DWORD, LPBINDSTATUSCALLBACK) {
  return INET_E_DOWNLOAD_FAILURE;
}

HINTERNET WINAPI MissingInternetOpen(LPCWSTR, DWORD, LPCWSTR, LPCWSTR, DWORD) {
  SetLastError(ERROR_PROC_NOT_FOUND);
  return nullptr;
}

BOOL WINAPI MissingCrackUrl(LPCWSTR, DWORD, DWORD, LPURL_COMPONENTSW) {
  SetLastError(ERROR_PROC_NOT_FOUND);
  return FALSE;
}

HINTERNET WINAPI MissingConnect(HINTERNET, LPCWSTR, INTERNET_PORT, LPCWSTR, LPCWSTR, DWORD, DWORD, DWORD_PTR) {
  SetLastError(ERROR_PROC_NOT_FOUND);
  return nullptr;
}

HINTERNET WINAPI MissingOpenRequest(HINTERNET, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR*, DWORD, DWORD_PTR) {
  SetLastError(ERROR_PROC_NOT_FOUND);
  return nullptr;
}

BOOL WINAPI MissingSendRequest(HINTERNET, LPCWSTR, DWORD, LPVOID, DWORD) {
  SetLastError(ERROR_PROC_NOT_FOUND);
  return FALSE;
}

BOOL WINAPI MissingHttpQueryInfo(HINTERNET, DWORD, LPVOID, LPDWORD, LPDWORD) {
  SetLastError(ERROR_PROC_NOT_FOUND);
  return FALSE;
}

BOOL WINAPI MissingHandleCall(HINTERNET) {
  SetLastError(ERROR_PROC_NOT_FOUND);
  return FALSE;
}

BOOL WINAPI MissingDeleteUrlCacheEntry(LPCWSTR) {
  SetLastError(ERROR_PROC_NOT_FOUND);
  return FALSE;
}

}  // namespace

const Comctl32Functions& Comctl32() {
  qn::ScopedCriticalSectionLock locked(g_lock.Get());
  if (LoadOnce(g_comctl32))
    Resolve(g_comctl32, "InitCommonControlsEx", &MissingInitCommonControlsEx,
            &g_comctl32Functions.initCommonControlsEx);
  return g_comctl32Functions;
}

const MsiFunctions& Msi() {
  qn::ScopedCriticalSectionLock locked(g_lock.Get());
  if (LoadOnce(g_msi)) Resolve(g_msi, "MsiQueryProductStateW", &MissingQueryProductState, &g_msiFunctions.queryProductState);
  return g_msiFunctions;
}

const PsapiFunctions& Psapi() {
  qn::ScopedCriticalSectionLock locked(g_lock.Get());
  if (LoadOnce(g_psapi))
    Resolve(g_psapi, "GetModuleFileNameExW", &MissingGetModuleFileNameEx, &g_psapiFunctions.getModuleFileNameEx);
  return g_psapiFunctions;
}

const UrlmonFunctions& Urlmon() {
  qn::ScopedCriticalSectionLock locked(g_lock.Get());
  if (LoadOnce(g_urlmon))
    Resolve(g_urlmon, "URLDownloadToCacheFileW", &MissingDownloadToCacheFile, &g_urlmonFunctions.downloadToCacheFile);
  return g_urlmonFunctions;
}

const WininetFunctions& Wininet() {
  qn::ScopedCriticalSectionLock locked(g_lock.Get());
  if (LoadOnce(g_wininet)) {
    Resolve(g_wininet, "InternetOpenW", &MissingInternetOpen, &g_wininetFunctions.open);
    Resolve(g_wininet, "InternetCrackUrlW", &MissingCrackUrl, &g_wininetFunctions.crackUrl);
    Resolve(g_wininet, "InternetConnectW", &MissingConnect, &g_wininetFunctions.connect);
    Resolve(g_wininet, "HttpOpenRequestW", &MissingOpenRequest, &g_wininetFunctions.openRequest);
    Resolve(g_wininet, "HttpSendRequestW", &MissingSendRequest, &g_wininetFunctions.sendRequest);
    Resolve(g_wininet, "HttpQueryInfoW", &MissingHttpQueryInfo, &g_wininetFunctions.httpQueryInfo);
    Resolve(g_wininet, "InternetCloseHandle", &MissingHandleCall, &g_wininetFunctions.closeHandle);
    Resolve(g_wininet, "DeleteUrlCacheEntryW", &MissingDeleteUrlCacheEntry, &g_wininetFunctions.deleteUrlCacheEntry);
  }
  return g_wininetFunctions;
}
