// The processes and folders of a run: starting programs and waiting for them,
// finding the process that started kitfetcher, and deleting what a run placed.
#pragma once
#include <windows.h>

#include "common/result.h"

// Starts the command line (modifiable, may be null) in the working folder (null:
// inherit) and waits for the program to end. Only for command lines that come
// as such (the uninstall commands of other products): a program given with a
// path is found by Windows' own rules; one named without a path ("MsiExec.exe
// /X{...}") is taken from the system folder only, never from beside this
// program or from the current folder, and fails when the system folder lacks
// it (ERROR_FILE_NOT_FOUND). The program gets the command line as given.
// Success once the program ran to its end, whatever it answered; otherwise why
// it could not start (kRefused for no command line).
qn::Result RunProcessAndWait(wchar_t* commandLine, const wchar_t* workingFolder);
// Starts the program at its full path (may be null), without arguments, and
// waits for it to end. The path is the program: no prefix of it ending at a
// blank ("C:\Program.exe") can run in its place. The log shows the quoted
// command line the program gets. Failures as RunProcessAndWait's (kDoesNotFit
// for a path too long to quote).
qn::Result RunProgramAndWait(const wchar_t* programPath, const wchar_t* workingFolder);

// Who started the downloader, and from which file.
// The parent's process id (0 when not found); fills parentProcessPath if empty.
// `startedOver`: this process is the copy that a first instance started from
// a fresh folder (common/fresh_folder.h); the parent that counts is the one
// that started the first instance.
[[nodiscard]] DWORD FindParentProcess(bool startedOver = false);

// Deleting what a run placed: a file or a folder tree.
// Deletes a file or folder tree, depth first; what cannot go now is deleted at
// the next restart, children before their folder. Success when the path was
// deleted or handed over; the cause when it was not found (kRefused for none)
// or could not be handed over.
qn::Result RemovePathTree(const wchar_t* path);
