// A library planted beside a program: whoever loads it as a library gets a
// marker file <its own path>.ran written from DllMain, with one line per load
// naming the program that loaded it. It carries texts too
// (planted_library.rc), to stand in for a resource library.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  wchar_t path[MAX_PATH + 8];
  DWORD n = GetModuleFileNameW(module, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return TRUE;
  lstrcatW(path, L".ran");
  HANDLE marker = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, NULL);
  if (marker == INVALID_HANDLE_VALUE) return TRUE;
  wchar_t program[MAX_PATH];
  DWORD length = GetModuleFileNameW(NULL, program, MAX_PATH);
  char line[4 * MAX_PATH + 2];
  int bytes = length && length < MAX_PATH
                  ? WideCharToMultiByte(CP_UTF8, 0, program, static_cast<int>(length), line, 4 * MAX_PATH, NULL, NULL)
                  : 0;
  line[bytes++] = '\n';
  DWORD written = 0;
  WriteFile(marker, line, static_cast<DWORD>(bytes), &written, NULL);
  CloseHandle(marker);
  return TRUE;
}
