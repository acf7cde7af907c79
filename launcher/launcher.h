// kitstarter: starts the setup program that fits the machine, or a given
// program through the shell.
#pragma once
#include <windows.h>

#include "common/guarded_string.h"
#include "common/option_map.h"

int RunKitstarter(const wchar_t* commandLine);
int StartPlatformSetup();
void StartRequestedProgram(const qn::OptionMap& options);
bool GetProgramFolder(qn::GuardedString& folder);
bool AppendPathComponent(const wchar_t* component, qn::GuardedString& path);
