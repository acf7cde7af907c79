// Starting programs, deleting trees, finding who started us.
#pragma once
#include <windows.h>

// Starts the command line (modifiable, may be null) in the working folder (null:
// inherit) and waits for the program to end.
bool RunProcessAndWait(wchar_t* commandLine, const wchar_t* workingFolder);
// Deletes a file or folder tree; what cannot go now is deleted at the next restart.
bool RemovePathTree(const wchar_t* path);
// The parent's process id (0 when not found); fills parentProcessPath if empty.
DWORD FindParentProcess();
