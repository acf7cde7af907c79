// Stand-in for programs outside the system (setup32.exe, setup64.exe,
// Installer.exe, autorun files, uninstallers): records how and where it was
// started into "<own path>.started.txt" (appended, UTF-8), then exits.
// If the environment variable KIT_STANDIN_SLEEP_MS is set, it waits that long
// first, so tests can hold the caller at a wait; KIT_STANDIN_WAIT_FILE holds it
// until that file exists.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string>

namespace {

void Put(FILE* f, const wchar_t* key, const wchar_t* value) {
  int n = WideCharToMultiByte(CP_UTF8, 0, value, -1, NULL, 0, NULL, NULL);
  std::string utf8(n > 0 ? n - 1 : 0, '\0');
  if (n > 1) WideCharToMultiByte(CP_UTF8, 0, value, -1, &utf8[0], n, NULL, NULL);
  int kn = WideCharToMultiByte(CP_UTF8, 0, key, -1, NULL, 0, NULL, NULL);
  std::string keyUtf8(kn > 0 ? kn - 1 : 0, '\0');
  if (kn > 1) WideCharToMultiByte(CP_UTF8, 0, key, -1, &keyUtf8[0], kn, NULL, NULL);
  fputs(keyUtf8.c_str(), f);
  fputs("=", f);
  fputs(utf8.c_str(), f);
  fputs("\n", f);
}

}  // namespace

int wmain() {
  wchar_t self[MAX_PATH], cwd[MAX_PATH], record[MAX_PATH + 16];
  GetModuleFileNameW(NULL, self, MAX_PATH);
  GetCurrentDirectoryW(MAX_PATH, cwd);
  _snwprintf(record, MAX_PATH + 16, L"%ls.started.txt", self);
  record[MAX_PATH + 15] = 0;
  BOOL wow64 = FALSE;
  IsWow64Process(GetCurrentProcess(), &wow64);
  const wchar_t* sleep = _wgetenv(L"KIT_STANDIN_SLEEP_MS");
  if (sleep) Sleep(static_cast<DWORD>(_wtoi(sleep)));
  const wchar_t* waitFile = _wgetenv(L"KIT_STANDIN_WAIT_FILE");
  while (waitFile && GetFileAttributesW(waitFile) == INVALID_FILE_ATTRIBUTES) Sleep(50);
  FILE* f = _wfopen(record, L"ab");
  if (!f) return 1;
  Put(f, L"exe", self);
  Put(f, L"cmdline", GetCommandLineW());
  Put(f, L"cwd", cwd);
  Put(f, L"wow64", wow64 ? L"1" : L"0");
  Put(f, L"end", L"");
  fclose(f);
  return 0;
}
