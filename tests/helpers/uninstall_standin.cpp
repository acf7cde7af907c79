// Stand-in for a product's uninstaller: appends the command line it was started
// with, as one UTF-8 line, to "<own path>.cmdline.txt", then exits. Copied
// under the names a test needs (uninst.exe, MsiExec.exe).
#include <windows.h>

#include <string>

int wmain() {
  wchar_t self[MAX_PATH];
  DWORD length = GetModuleFileNameW(NULL, self, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return 1;
  std::wstring record = std::wstring(self, length) + L".cmdline.txt";
  std::wstring line = std::wstring(GetCommandLineW()) + L"\n";
  int bytes = WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), NULL, 0, NULL, NULL);
  if (bytes <= 0) return 1;
  std::string utf8(bytes, '\0');
  WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), &utf8[0], bytes, NULL, NULL);
  HANDLE file = CreateFileW(record.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, NULL, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, NULL);
  if (file == INVALID_HANDLE_VALUE) return 1;
  DWORD written = 0;
  WriteFile(file, utf8.data(), static_cast<DWORD>(utf8.size()), &written, NULL);
  CloseHandle(file);
  return 0;
}
