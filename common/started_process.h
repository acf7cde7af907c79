// Starting a program with its process and thread handles owned from the start.
#pragma once
#include <windows.h>

#include "common/scoped_handles.h"

namespace qn {

struct StartedProcess {
  StartedProcess() : id(0) {}
  ScopedHandle process;
  ScopedHandle thread;
  DWORD id;
};

// CreateProcessW without handle inheritance, creation flags or an environment
// of its own; false (last error set) when the program could not start.
inline bool StartProcess(const wchar_t* application, wchar_t* commandLine, const wchar_t* workingFolder,
                         StartedProcess* started) {
  STARTUPINFOW startup;
  ZeroMemory(&startup, sizeof(startup));
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process;
  ZeroMemory(&process, sizeof(process));
  BOOL ok = CreateProcessW(application, commandLine, NULL, NULL, FALSE, 0, NULL, workingFolder, &startup, &process);
  DWORD error = GetLastError();
  started->process.Reset(process.hProcess);
  started->thread.Reset(process.hThread);
  started->id = process.dwProcessId;
  SetLastError(error);
  return ok != FALSE;
}

}  // namespace qn
