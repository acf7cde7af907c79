// What the download tests share: the kit test HTTP server that
// tests/support/with_http_server.sh starts (its port and served folder come in
// environment variables), the stats lock, a captured diagnostic log, and
// message boxes answered from a thread of their own.
#pragma once
#include <windows.h>
#include <wininet.h>

#include <stdio.h>
#include <stdlib.h>
#include <string>
#include <vector>

#include "common/wide_format.h"
#include "downloader/diagnostic_log.h"
#include "downloader/setup_state.h"

namespace httptest {

inline std::wstring Env(const wchar_t* name) {
  wchar_t value[1024];
  DWORD n = GetEnvironmentVariableW(name, value, 1024);
  if (n == 0 || n >= 1024) return std::wstring();
  return std::wstring(value, n);
}

inline int ServerPort() { return _wtoi(Env(L"KIT_TEST_HTTP_PORT").c_str()); }

// The served folder as this Windows process sees it.
inline std::wstring ServerRoot() {
  std::wstring root = Env(L"KIT_TEST_HTTP_ROOT_WIN");
  if (root.empty()) {
    root = Env(L"KIT_TEST_HTTP_ROOT");
    if (root.empty()) return root;
    for (size_t i = 0; i < root.size(); ++i) {
      if (root[i] == L'/') root[i] = L'\\';
    }
    root = L"Z:" + root;
  }
  return root;
}

#define REQUIRE_HTTP_SERVER()                                                          \
  do {                                                                                 \
    if (httptest::ServerPort() == 0) GTEST_SKIP() << "run through with_http_server.sh"; \
  } while (0)

// A path component that no earlier run or test has used, so that the URL cache
// never answers for the server.
inline std::wstring Nonce(const wchar_t* stem) {
  static LONG counter = 0;
  SYSTEMTIME now;
  GetSystemTime(&now);
  wchar_t text[128];
  qn::FormatInto(text, 128, L"%s-%lu-%02u%02u%02u%03u-%ld", stem, GetCurrentProcessId(), now.wHour, now.wMinute,
                 now.wSecond, now.wMilliseconds, InterlockedIncrement(&counter));
  return text;
}

inline std::wstring Url(const std::wstring& path) {
  wchar_t url[1024];
  qn::FormatInto(url, 1024, L"http://127.0.0.1:%d%s", ServerPort(), path.c_str());
  return url;
}

inline void MakeFolders(const std::wstring& path) {
  for (size_t i = 3; i < path.size(); ++i) {
    if (path[i] == L'\\') CreateDirectoryW(path.substr(0, i).c_str(), NULL);
  }
  CreateDirectoryW(path.c_str(), NULL);
}

inline bool WriteBytes(const std::wstring& path, const std::string& bytes) {
  size_t slash = path.find_last_of(L'\\');
  if (slash != std::wstring::npos) MakeFolders(path.substr(0, slash));
  FILE* file = _wfopen(path.c_str(), L"wb");
  if (!file) return false;
  bool ok = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return fclose(file) == 0 && ok;
}

inline std::string ReadBytes(const std::wstring& path) {
  FILE* file = _wfopen(path.c_str(), L"rb");
  if (!file) return "<missing>";
  std::string bytes;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof(buf), file)) > 0) bytes.append(buf, n);
  fclose(file);
  return bytes;
}

// Puts a file on the server: urlPath "/a/b.txt" lands at root\a\b.txt.
inline bool Serve(const std::wstring& urlPath, const std::string& bytes) {
  std::wstring local = ServerRoot() + urlPath;
  for (size_t i = 0; i < local.size(); ++i) {
    if (local[i] == L'/') local[i] = L'\\';
  }
  return WriteBytes(local, bytes);
}

inline std::string Pattern(size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>('a' + (i * 7 + i / 251) % 26);
  return bytes;
}

// A control request past the cache; the body as text.
inline std::string Control(const std::wstring& pathAndQuery) {
  std::string body;
  HINTERNET root = InternetOpenW(L"kit-test", INTERNET_OPEN_TYPE_DIRECT, NULL, NULL, 0);
  if (!root) return body;
  HINTERNET request = InternetOpenUrlW(root, Url(pathAndQuery).c_str(), NULL, 0,
                                       INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0);
  if (request) {
    char buf[256];
    DWORD n = 0;
    while (InternetReadFile(request, buf, sizeof(buf), &n) && n > 0) body.append(buf, n);
    InternetCloseHandle(request);
  }
  InternetCloseHandle(root);
  return body;
}

// How many requests the server saw for a URL path (query strings aside).
inline int RequestCount(const std::wstring& urlPath) {
  return atoi(Control(L"/__requests?path=" + urlPath).c_str());
}

// Makes the server misbehave for a URL path, e.g. SetRule(path, L"status=404").
inline bool SetRule(const std::wstring& urlPath, const std::wstring& rule) {
  return Control(L"/__rule?path=" + urlPath + L"&" + rule) == "ok";
}

// A fresh SetupState with a ready stats lock, and the program's string table.
class SetupScope {
 public:
  SetupScope() {
    ResetSetupState();
    InitializeCriticalSection(&g_setup.statsLock);
    g_setup.statsLockReady = true;
    std::wstring program = ModuleFolder() + L"..\\kitfetcher.exe";
    resources_ = LoadLibraryExW(program.c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
    g_setup.resourceModule = resources_;
    lstrcpynW(g_setup.locations.manufacturerName, L"Kit Test Maker", static_cast<int>(kNameChars));
    lstrcpynW(g_setup.locations.language, L"en", static_cast<int>(kNameChars));
  }
  ~SetupScope() {
    CloseLog();
    if (g_setup.cancelEvent) CloseHandle(g_setup.cancelEvent);
    g_setup.cancelEvent = NULL;
    g_setup.resourceModule = NULL;
    ResetSetupState();
    if (resources_) FreeLibrary(resources_);
  }
  bool HasResources() const { return resources_ != NULL; }
  static std::wstring ModuleFolder() {
    wchar_t path[MAX_PATH];
    DWORD n = GetModuleFileNameW(NULL, path, MAX_PATH);
    std::wstring folder(path, n);
    return folder.substr(0, folder.find_last_of(L'\\') + 1);
  }

 private:
  SetupScope(const SetupScope&);
  SetupScope& operator=(const SetupScope&);
  HMODULE resources_;
};

inline DWORD Transferred() {
  EnterCriticalSection(&g_setup.statsLock);
  DWORD value = g_setup.stats.bytesTransferred;
  LeaveCriticalSection(&g_setup.statsLock);
  return value;
}

inline double Speed() {
  EnterCriticalSection(&g_setup.statsLock);
  double value = g_setup.stats.speedKBps;
  LeaveCriticalSection(&g_setup.statsLock);
  return value;
}

// The diagnostic log switched on into a file of its own.
class LogCapture {
 public:
  LogCapture() {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    path_ = std::wstring(temp) + Nonce(L"kitlog") + L".txt";
    lstrcpynW(g_setup.logPath, path_.c_str(), static_cast<int>(kPathChars));
    g_setup.logEnabled = true;
    OpenLog();
  }
  ~LogCapture() {
    CloseLog();
    g_setup.logEnabled = false;
    DeleteFileW(path_.c_str());
  }
  std::string Text() {
    if (g_setup.logFile) fflush(g_setup.logFile);
    return ReadBytes(path_);
  }
  bool Contains(const std::string& line) { return Text().find(line) != std::string::npos; }

 private:
  std::wstring path_;
};

struct SeenBox {
  std::wstring text;
  bool hasRetry;
  bool hasOk;
};

// Answers the message boxes of this process in order with the given buttons
// (IDRETRY, IDCANCEL, IDOK...) and records what each one said.
class BoxAnswerer {
 public:
  explicit BoxAnswerer(const std::vector<int>& answers) : answers_(answers), stop_(0) {
    InitializeCriticalSection(&lock_);
    thread_ = CreateThread(NULL, 0, Run, this, 0, NULL);
  }
  ~BoxAnswerer() {
    InterlockedExchange(&stop_, 1);
    if (thread_) {
      WaitForSingleObject(thread_, 10000);
      CloseHandle(thread_);
    }
    DeleteCriticalSection(&lock_);
  }
  std::vector<SeenBox> Seen() {
    EnterCriticalSection(&lock_);
    std::vector<SeenBox> copy = seen_;
    LeaveCriticalSection(&lock_);
    return copy;
  }

 private:
  BoxAnswerer(const BoxAnswerer&);
  BoxAnswerer& operator=(const BoxAnswerer&);

  static BOOL CALLBACK FindBox(HWND window, LPARAM param) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid != GetCurrentProcessId() || !IsWindowVisible(window)) return TRUE;
    wchar_t cls[16];
    if (!GetClassNameW(window, cls, 16) || lstrcmpW(cls, L"#32770") != 0) return TRUE;
    if (!GetDlgItem(window, 0xFFFF)) return TRUE;
    *reinterpret_cast<HWND*>(param) = window;
    return FALSE;
  }

  static DWORD WINAPI Run(LPVOID param) {
    BoxAnswerer* self = static_cast<BoxAnswerer*>(param);
    size_t next = 0;
    while (!self->stop_) {
      HWND box = NULL;
      EnumWindows(FindBox, reinterpret_cast<LPARAM>(&box));
      if (!box) {
        Sleep(30);
        continue;
      }
      SeenBox seen;
      wchar_t text[1024];
      text[0] = L'\0';
      GetWindowTextW(GetDlgItem(box, 0xFFFF), text, 1024);
      seen.text = text;
      seen.hasRetry = GetDlgItem(box, IDRETRY) != NULL;
      seen.hasOk = GetDlgItem(box, IDOK) != NULL;
      EnterCriticalSection(&self->lock_);
      self->seen_.push_back(seen);
      LeaveCriticalSection(&self->lock_);
      int answer = next < self->answers_.size() ? self->answers_[next] : (seen.hasOk ? IDOK : IDCANCEL);
      ++next;
      PostMessageW(box, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED), 0);
      DWORD start = GetTickCount();
      while (IsWindow(box) && IsWindowVisible(box) && GetTickCount() - start < 10000) Sleep(20);
    }
    return 0;
  }

  std::vector<int> answers_;
  volatile LONG stop_;
  CRITICAL_SECTION lock_;
  std::vector<SeenBox> seen_;
  HANDLE thread_;
};

}  // namespace httptest
