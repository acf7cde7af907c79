// kitstarter: starts the setup program that fits the machine, or a given
// program through the shell.
#pragma once
#include <windows.h>

#include "common/guarded_string.h"
#include "common/option_map.h"

int RunKitstarter(const wchar_t* commandLine);
// Starts setup32.exe or setup64.exe, whichever fits the machine, from `folder`
// (ending in a backslash) and waits for it. NULL: the folder is unknown, and
// nothing starts. Always 0.
int StartPlatformSetup(const wchar_t* folder);
void StartRequestedProgram(const qn::OptionMap& options);
bool GetProgramFolder(qn::GuardedString& folder);
bool AppendPathComponent(const wchar_t* component, qn::GuardedString& path);
