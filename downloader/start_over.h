// Where kitfetcher reads its kit from, and its start over from a fresh folder
// where the library search cannot be narrowed (common/fresh_folder.h).
//
// The first instance, run from the package folder, makes
// <Windows folder>\Temp\kitfetcher.{GUID}\ that only SYSTEM and the
// Administrators group can write, copies itself there and runs the copy with
// that folder as its current folder and the option /package:"<package folder>"
// ahead of its own arguments; it waits for the copy and removes the folder. It
// does nothing else: no single-instance event, no texts, no log (but for a
// failure), no window. The copy honours /package only when its own folder is
// such a folder, and reads the kit from the package folder it names: the
// documents, kitfetcher.ui, wipekit.dll, productcode.txt, the kit files, and the
// kitstarter.exe and kitfetcher.exe of the restart registration.
#pragma once

#include "common/option_map.h"

enum RunPlace {
  kRunInOwnFolder,       // the program's own folder is the package folder
  kRunForFirstInstance,  // the copy: the package folder came with /package
  kStartOver,            // the first instance: start over, then end
  kRunNowhere,           // a copy without a usable package folder: end at once
};

// Decides, before anything else of the run, and fills programFolder for the
// two kinds of run. `narrowSearch`: RestrictDllSearch's answer.
// `checkFolderRights`: false in test builds only (Wine keeps no DACL of a
// folder), where a copy knows its folder by place and name alone.
[[nodiscard]] RunPlace ChooseRunPlace(const qn::OptionMap& options, bool narrowSearch, bool checkFolderRights);

// The first instance's whole run: `arguments` are its own (without the program).
void StartOver(const wchar_t* arguments, const qn::OptionMap& options);

// The folder fresh folders are made in: the Windows folder's Temp, which users
// may add to but not take from.
[[nodiscard]] bool FreshFolderParent(wchar_t* parent, size_t capacity);
