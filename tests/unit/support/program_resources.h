// Where this test program lies, and kitfetcher.exe of the same build one
// folder above it: the program's string table, dialogs and icons.
#pragma once
#include <windows.h>

#include <string>

#include "common/process_platform.h"

namespace testsupport {

// The full path of this test program.
inline std::wstring OwnPath() {
  wchar_t path[MAX_PATH];
  DWORD n = GetModuleFileNameW(NULL, path, MAX_PATH);
  return std::wstring(path, n < MAX_PATH ? n : 0);
}

// The folder of this test program, with a trailing backslash.
inline std::wstring TestProgramFolder() {
  std::wstring own = OwnPath();
  return own.substr(0, own.find_last_of(L'\\') + 1);
}

// kitfetcher.exe (or the copy KITFETCHER_EXE names) mapped for its resources the
// way the program maps its resource library.
// Null when it has not been built.
inline HMODULE LoadProgramResources() {
  wchar_t named[MAX_PATH];
  DWORD n = GetEnvironmentVariableW(L"KITFETCHER_EXE", named, MAX_PATH);
  std::wstring path = n > 0 && n < MAX_PATH ? std::wstring(named, n) : TestProgramFolder() + L"..\\kitfetcher.exe";
  return qn::LoadResourcesOnly(path.c_str());
}

}  // namespace testsupport
