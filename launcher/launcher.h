// kitstarter: starts the setup program that fits the machine, or a given
// program through the shell.
#pragma once
#include <windows.h>

#include "common/guarded_string.h"
#include "common/option_map.h"

// The whole run; always 0. `narrowSearch`: whether RestrictDllSearch narrowed
// the search. Without it kitstarter starts over from a fresh folder in the
// user's temporary folder (common/fresh_folder.h) that only the user (and
// SYSTEM and the Administrators group) can write: it runs with the user's
// rights, so whoever could write there could run code as the user anyway; web
// pages, which drop files into Downloads, cannot. The copy honours
// /package:"<folder>" (the first instance's folder, for setup32.exe,
// setup64.exe and the shell's working folder) only when its own folder is such
// a folder; `checkFolderRights` is false in test builds only (Wine keeps no
// DACL of a folder), where it knows the folder by place and name alone.
int RunKitstarter(const wchar_t* commandLine, bool narrowSearch, bool checkFolderRights);
// Starts setup32.exe or setup64.exe, whichever fits the machine, from `folder`
// (ending in a backslash) and waits for it. Null: the folder is unknown, and
// nothing starts. Always 0.
int StartPlatformSetup(const wchar_t* folder);
// Starts the program of /run through the shell, with /args, in `folder` (the
// program folder, ending in a backslash; null: unknown, no working folder).
void StartRequestedProgram(const qn::OptionMap& options, const wchar_t* folder);
[[nodiscard]] bool GetProgramFolder(qn::GuardedString& folder);
bool AppendPathComponent(const wchar_t* component, qn::GuardedString& path);
