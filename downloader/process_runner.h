// Starting programs, deleting trees, finding who started us.
#pragma once
#include <windows.h>

// Starts the command line (modifiable, may be null) in the working folder (null:
// inherit) and waits for the program to end. Windows finds the program in the
// command line by its own rules: only for command lines that come as such (the
// uninstall commands of other products).
bool RunProcessAndWait(wchar_t* commandLine, const wchar_t* workingFolder);
// Starts the program at its full path (may be null), without arguments, and
// waits for it to end. The path is the program: no prefix of it ending at a
// blank ("C:\Program.exe") can run in its place. The log shows the quoted
// command line the program gets.
bool RunProgramAndWait(const wchar_t* programPath, const wchar_t* workingFolder);
// Deletes a file or folder tree; what cannot go now is deleted at the next restart.
bool RemovePathTree(const wchar_t* path);
// The parent's process id (0 when not found); fills parentProcessPath if empty.
DWORD FindParentProcess();
