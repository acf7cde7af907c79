// What the tests of the progress dialog, the download worker and the offline
// copy share: the program's resources, scratch folders, message boxes answered
// from another thread, and a thread that runs a callable.
#pragma once
#include <windows.h>

#include <stdio.h>
#include <functional>
#include <string>

#include "common/wide_format.h"
#include "downloader/load_text.h"
#include "downloader/setup_state.h"

namespace kittest {

inline std::wstring ModuleFolder() {
  wchar_t path[MAX_PATH];
  DWORD n = GetModuleFileNameW(NULL, path, MAX_PATH);
  std::wstring folder(path, n);
  return folder.substr(0, folder.find_last_of(L'\\') + 1);
}

// kitfetcher.exe of the same build, loaded for its resources only (dialog 104,
// icon 130, string table). The test programs sit one folder below it.
inline HMODULE LoadProgramResources() {
  std::wstring path = ModuleFolder() + L"..\\kitfetcher.exe";
  return LoadLibraryExW(path.c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
}

// The duration words as the start-up sequence loads them.
inline void LoadDurationWords() {
  struct {
    UINT id;
    wchar_t* field;
  } words[] = {{110, g_setup.hourText},    {111, g_setup.hoursText},  {112, g_setup.minuteText},
               {113, g_setup.minutesText}, {114, g_setup.secondText}, {115, g_setup.secondsText},
               {116, g_setup.longDurationFormat}, {117, g_setup.shortDurationFormat}};
  for (size_t i = 0; i < sizeof(words) / sizeof(words[0]); ++i) {
    LoadedText text = LoadText(words[i].id);
    lstrcpynW(words[i].field, text, static_cast<int>(kTimeWordChars));
  }
}

inline void DeleteTree(const std::wstring& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
      do {
        std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") DeleteTree(path + L"\\" + name);
      } while (FindNextFileW(find, &found));
      FindClose(find);
    }
    RemoveDirectoryW(path.c_str());
  } else {
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(path.c_str());
  }
}

inline std::wstring UniqueName(const wchar_t* stem) {
  static LONG counter = 0;
  wchar_t name[96];
  qn::FormatInto(name, 96, L"%s_%lu_%lu_%ld", stem, GetCurrentProcessId(), GetTickCount(),
                 InterlockedIncrement(&counter));
  return name;
}

// A folder of its own under the temporary folder, removed with its content.
class ScratchFolder {
 public:
  explicit ScratchFolder(const wchar_t* stem = L"kittest") {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    path_ = std::wstring(temp) + UniqueName(stem);
    CreateDirectoryW(path_.c_str(), NULL);
  }
  ~ScratchFolder() { DeleteTree(path_); }
  const std::wstring& Path() const { return path_; }
  std::wstring Sub(const std::wstring& relative) const { return path_ + L"\\" + relative; }

 private:
  ScratchFolder(const ScratchFolder&);
  ScratchFolder& operator=(const ScratchFolder&);
  std::wstring path_;
};

inline bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

inline void WriteBytes(const std::wstring& path, const std::string& bytes) {
  FILE* file = _wfopen(path.c_str(), L"wb");
  if (!file) return;
  fwrite(bytes.data(), 1, bytes.size(), file);
  fclose(file);
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

inline std::wstring WindowText(HWND window) {
  if (!window) return L"<no window>";
  wchar_t text[512];
  text[0] = L'\0';
  GetWindowTextW(window, text, 512);
  return text;
}

struct BoxSearch {
  HWND exclude;
  HWND found;
};

inline BOOL CALLBACK FindBoxProc(HWND window, LPARAM param) {
  BoxSearch* search = reinterpret_cast<BoxSearch*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (pid != GetCurrentProcessId() || window == search->exclude || !IsWindowVisible(window)) return TRUE;
  wchar_t cls[16];
  if (!GetClassNameW(window, cls, 16) || lstrcmpW(cls, L"#32770") != 0) return TRUE;
  if (!GetDlgItem(window, 0xFFFF)) return TRUE;
  search->found = window;
  return FALSE;
}

// A message box of this process (a #32770 window with a 0xFFFF text) other than
// `exclude`; NULL after the timeout.
inline HWND WaitForMessageBox(DWORD timeoutMs, HWND exclude = NULL) {
  DWORD start = GetTickCount();
  for (;;) {
    BoxSearch search = {exclude, NULL};
    EnumWindows(FindBoxProc, reinterpret_cast<LPARAM>(&search));
    if (search.found) return search.found;
    if (GetTickCount() - start > timeoutMs) return NULL;
    Sleep(50);
  }
}

inline std::wstring BoxText(HWND box) { return WindowText(GetDlgItem(box, 0xFFFF)); }

inline void AnswerBox(HWND box, int button) { PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0); }

inline bool WaitUntilGone(HWND window, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  while (IsWindow(window) && IsWindowVisible(window)) {
    if (GetTickCount() - start > timeoutMs) return false;
    Sleep(50);
  }
  return true;
}

// Runs a callable on a thread of its own; joins it on destruction.
class Thread {
 public:
  explicit Thread(const std::function<void()>& body) : body_(body) {
    handle_ = CreateThread(NULL, 0, Run, this, 0, NULL);
  }
  ~Thread() { Join(); }
  bool Join(DWORD timeoutMs = INFINITE) {
    if (!handle_) return true;
    if (WaitForSingleObject(handle_, timeoutMs) != WAIT_OBJECT_0) return false;
    CloseHandle(handle_);
    handle_ = NULL;
    return true;
  }

 private:
  Thread(const Thread&);
  Thread& operator=(const Thread&);
  static DWORD WINAPI Run(LPVOID self) {
    static_cast<Thread*>(self)->body_();
    return 0;
  }
  std::function<void()> body_;
  HANDLE handle_;
};

}  // namespace kittest
