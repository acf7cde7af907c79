// What a run placed in the local setup folder. An empty product code makes the
// local setup folder the "SetupInformation" folder that other products' kits
// share; an aborted run must then take back its own files and nothing else.
#pragma once

// Resolves and creates the local setup folder for the product code and starts a
// fresh record. False (folder cleared, logged) when no absolute folder results:
// nothing may be placed or removed then.
bool PrepareLocalSetupFolder(const wchar_t* productCode);

// Call before a file is written, so that a partial copy is covered too.
void RecordPlacedFile(const wchar_t* path);
// CreateDirectoryW; a folder that this call created is recorded.
void CreateRecordedFolder(const wchar_t* path);

// After an aborted run: removes what the run placed in the local setup folder,
// never a folder shared with other products' kits.
void RemoveAbortedSetupFolder();

// Forgets the record (tests; the worker runs once per process).
void ResetSetupFolderRecord();
