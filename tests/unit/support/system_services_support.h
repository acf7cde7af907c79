// What the tests of the machine probes, registry services and process runner
// share: the diagnostic log captured in a file, unique names, the program's
// string table, and message boxes answered from another thread.
#pragma once
#include <windows.h>

#include <stdio.h>
#include <string>
#include <vector>

#include "common/wide_format.h"
#include "downloader/diagnostic_log.h"
#include "downloader/setup_state.h"

namespace systest {

inline std::wstring UniqueName(const wchar_t* stem) {
  static LONG counter = 0;
  wchar_t name[128];
  qn::FormatInto(name, 128, L"%s_%lu_%lu_%ld", stem, GetCurrentProcessId(), GetTickCount(),
                 InterlockedIncrement(&counter));
  return name;
}

inline std::wstring TempFolder() {
  wchar_t temp[MAX_PATH];
  DWORD n = GetTempPathW(MAX_PATH, temp);
  std::wstring folder(temp, n);
  if (!folder.empty() && folder[folder.size() - 1] == L'\\') folder.erase(folder.size() - 1);
  return folder;
}

inline std::wstring OwnPath() {
  wchar_t path[MAX_PATH];
  DWORD n = GetModuleFileNameW(NULL, path, MAX_PATH);
  return std::wstring(path, n);
}

inline bool Exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

inline void WriteText(const std::wstring& path, const char* text) {
  FILE* file = _wfopen(path.c_str(), L"wb");
  if (!file) return;
  fputs(text, file);
  fclose(file);
}

inline std::wstring ReadNarrowFile(const std::wstring& path) {
  FILE* file = _wfopen(path.c_str(), L"rb");
  if (!file) return L"";
  std::string bytes;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof(buf), file)) > 0) bytes.append(buf, n);
  fclose(file);
  if (bytes.empty()) return L"";
  int wn = MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), NULL, 0);
  std::wstring wide(wn, L'\0');
  MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), &wide[0], wn);
  return wide;
}

// Switches the diagnostic log on into a file of its own; Lines() hands back the
// messages written so far without their time stamps.
class CapturedLog {
 public:
  CapturedLog() : path_(TempFolder() + L"\\" + UniqueName(L"systest_log") + L".txt") {
    g_setup.logEnabled = true;
    lstrcpynW(g_setup.logPath, path_.c_str(), static_cast<int>(kPathChars));
    OpenLog();
  }
  ~CapturedLog() {
    CloseLog();
    g_setup.logEnabled = false;
    DeleteFileW(path_.c_str());
  }
  std::vector<std::wstring> Lines() const {
    std::wstring text = ReadNarrowFile(path_);
    std::vector<std::wstring> lines;
    size_t start = 0;
    while (start < text.size()) {
      size_t end = text.find(L'\n', start);
      if (end == std::wstring::npos) end = text.size();
      std::wstring line = text.substr(start, end - start);
      if (!line.empty() && line[line.size() - 1] == L'\r') line.erase(line.size() - 1);
      // "[hh:mm:ss:mmm] " comes first.
      if (line.size() >= 15 && line[0] == L'[' && line[13] == L']') line.erase(0, 15);
      lines.push_back(line);
      start = end + 1;
    }
    return lines;
  }
  bool Contains(const std::wstring& line) const {
    std::vector<std::wstring> lines = Lines();
    for (size_t i = 0; i < lines.size(); ++i) {
      if (lines[i] == line) return true;
    }
    return false;
  }

 private:
  CapturedLog(const CapturedLog&);
  CapturedLog& operator=(const CapturedLog&);
  std::wstring path_;
};

// kitfetcher.exe of the same build, for its string table; the test programs
// sit one folder below it. Null when it has not been built.
inline HMODULE LoadProgramStrings() {
  std::wstring own = OwnPath();
  std::wstring path = own.substr(0, own.find_last_of(L'\\') + 1) + L"..\\kitfetcher.exe";
  return LoadLibraryExW(path.c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
}

// What a message box showed, and whether it came at all.
struct SeenBox {
  bool appeared;
  std::wstring caption;
  std::wstring text;
  bool hasYes, hasNo, hasOk;
};

struct BoxSearch {
  HWND found;
};

inline BOOL CALLBACK FindOwnBox(HWND window, LPARAM param) {
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (pid != GetCurrentProcessId() || !IsWindowVisible(window)) return TRUE;
  wchar_t cls[16];
  if (!GetClassNameW(window, cls, 16) || lstrcmpW(cls, L"#32770") != 0) return TRUE;
  if (!GetDlgItem(window, 0xFFFF)) return TRUE;
  reinterpret_cast<BoxSearch*>(param)->found = window;
  return FALSE;
}

inline std::wstring WindowText(HWND window) {
  wchar_t text[512];
  text[0] = L'\0';
  if (window) GetWindowTextW(window, text, 512);
  return text;
}

// Waits on a thread of its own for one message box of this process, records
// it and presses `button`. Join() returns what was seen.
class BoxAnswerer {
 public:
  BoxAnswerer(int button, DWORD timeoutMs) : button_(button), timeoutMs_(timeoutMs) {
    seen_.appeared = false;
    seen_.hasYes = seen_.hasNo = seen_.hasOk = false;
    thread_ = CreateThread(NULL, 0, Run, this, 0, NULL);
  }
  ~BoxAnswerer() { Join(); }
  const SeenBox& Join() {
    if (thread_) {
      WaitForSingleObject(thread_, INFINITE);
      CloseHandle(thread_);
      thread_ = NULL;
    }
    return seen_;
  }

 private:
  BoxAnswerer(const BoxAnswerer&);
  BoxAnswerer& operator=(const BoxAnswerer&);
  static DWORD WINAPI Run(LPVOID self) {
    static_cast<BoxAnswerer*>(self)->Watch();
    return 0;
  }
  void Watch() {
    DWORD start = GetTickCount();
    for (;;) {
      BoxSearch search = {NULL};
      EnumWindows(FindOwnBox, reinterpret_cast<LPARAM>(&search));
      if (search.found) {
        seen_.appeared = true;
        seen_.caption = WindowText(search.found);
        seen_.text = WindowText(GetDlgItem(search.found, 0xFFFF));
        seen_.hasYes = GetDlgItem(search.found, IDYES) != NULL;
        seen_.hasNo = GetDlgItem(search.found, IDNO) != NULL;
        seen_.hasOk = GetDlgItem(search.found, IDOK) != NULL;
        PostMessageW(search.found, WM_COMMAND, MAKEWPARAM(button_, BN_CLICKED), 0);
        return;
      }
      if (GetTickCount() - start > timeoutMs_) return;
      Sleep(30);
    }
  }
  int button_;
  DWORD timeoutMs_;
  SeenBox seen_;
  HANDLE thread_;
};

}  // namespace systest
