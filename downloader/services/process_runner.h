// Starting programs and waiting for them.
#pragma once
#include <windows.h>

// Starts the command line (modifiable, may be null) in the working folder (null:
// inherit) and waits for the program to end. Only for command lines that come
// as such (the uninstall commands of other products): a program given with a
// path is found by Windows' own rules; one named without a path ("MsiExec.exe
// /X{...}") is taken from the system folder only, never from beside this
// program or from the current folder, and fails when the system folder lacks
// it. The program gets the command line as given.
bool RunProcessAndWait(wchar_t* commandLine, const wchar_t* workingFolder);
// Starts the program at its full path (may be null), without arguments, and
// waits for it to end. The path is the program: no prefix of it ending at a
// blank ("C:\Program.exe") can run in its place. The log shows the quoted
// command line the program gets.
bool RunProgramAndWait(const wchar_t* programPath, const wchar_t* workingFolder);
