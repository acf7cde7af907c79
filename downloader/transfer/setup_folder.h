// Where the kit goes, and what a run placed there: the machine's common program
// files folder, then the maker, then "SetupInformation", then the product code,
// each name as Windows stores it; the record of what this run placed, so that
// an aborted run takes back its own files and nothing else.
#pragma once
#include <stddef.h>

#include "common/result.h"

// A product code names the last level of the folder.
constexpr size_t kProductCodeChars = 100;

// Builds and creates the folder in SetupState::localSetupFolder, each name as
// Windows stores it (an empty maker or code adds no level); leaves it empty,
// and creates nothing, when the folder cannot be resolved or a name cannot be a
// folder name.
void ResolveLocalSetupFolder(const wchar_t* productCode);

// What a run placed in the local setup folder. An empty product code makes the
// local setup folder the "SetupInformation" folder that other products' kits
// share; an aborted run must then take back its own files and nothing else.
// Resolves and creates the local setup folder for the product code and starts a
// fresh record. Fails (folder cleared, logged) when no absolute folder results:
// nothing may be placed or removed then.
qn::Result PrepareLocalSetupFolder(const wchar_t* productCode);

// Call before a file is written, so that a partial copy is covered too.
void RecordPlacedFile(const wchar_t* path);
// CreateDirectoryW; a folder that this call created is recorded.
void CreateRecordedFolder(const wchar_t* path);

// After an aborted run: removes what the run placed in the local setup folder,
// never a folder shared with other products' kits.
void RemoveAbortedSetupFolder();

// Forgets the record (tests; the worker runs once per process).
void ResetSetupFolderRecord();

// The machine's own common program files folder, under which the local setup
// folder lies.
// Under WOW64 (a 32-bit program on 64-bit Windows): CommonFilesDir of the
// machine's registry read in the 64-bit view, and %CommonProgramW6432% only
// where that value does not exist. Otherwise the shell's common program files
// folder. False, with the folder empty, when there is none to be had.
[[nodiscard]] bool MachineCommonFilesFolder(wchar_t* folder, size_t capacity);

// Names from the kit description (maker, product code, kit entries), each of
// which becomes one level of a path below the common files folder.
// The name as Windows stores it: without its trailing dots and blanks ("Acme
// Inc." is stored as "Acme Inc"). Every path is built from this form, so that
// what is recorded and later removed is what lies on disk. False for a text
// that could leave the folder it is joined to or name a device or a stream:
// separators, drives, colons, characters Windows forbids in a file name, a
// device name, or nothing left at all ("", ".", "..", "...").
[[nodiscard]] bool StoredFolderName(const wchar_t* text, wchar_t* out, size_t capacity);
// True for a text that StoredFolderName accepts.
[[nodiscard]] bool IsPlainFolderName(const wchar_t* text);
