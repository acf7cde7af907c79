// The machine's own common program files folder, under which the local setup
// folder lies.
#pragma once
#include <stddef.h>

// Under WOW64 (a 32-bit program on 64-bit Windows): CommonFilesDir of the
// machine's registry read in the 64-bit view, and %CommonProgramW6432% only
// where that value does not exist. Otherwise the shell's common program files
// folder. False, with the folder empty, when there is none to be had.
bool MachineCommonFilesFolder(wchar_t* folder, size_t capacity);
