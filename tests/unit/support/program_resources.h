// Where this test program lies, kitfetcher.exe of the same build one folder
// above it (the program's string table, dialogs and icons), and child runs of
// this program on one case that reports back to its parent.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "common/process_platform.h"
#include "tests/unit/support/scratch_files.h"
#include "tests/unit/support/text_lines.h"

namespace kittest {

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

// A child case writes what it found into the file its parent named.
inline bool WriteReport(const std::wstring& report, const std::wstring& text) {
  return WriteBytes(report, BytesFromWide(text, CP_UTF8));
}

// Runs `program` (this test program or a copy of it) on the cases `filter`
// selects, waits for its end, and hands back the lines its case wrote into
// `report`: none when it could not start or wrote nothing.
inline std::vector<std::wstring> RunChildCase(const std::wstring& program, const std::wstring& filter,
                                              const std::wstring& report) {
  std::wstring line = L"\"" + program + L"\" --gtest_filter=" + filter;
  std::vector<wchar_t> command(line.begin(), line.end());
  command.push_back(L'\0');
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION child = {};
  if (!CreateProcessW(program.c_str(), &command[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &child)) return {};
  WaitForSingleObject(child.hProcess, 60000);
  CloseHandle(child.hProcess);
  CloseHandle(child.hThread);
  std::string bytes;
  if (!ReadFileInto(report, &bytes)) return {};
  return SplitLines(WideFromBytes(bytes, CP_UTF8));
}

}  // namespace kittest
