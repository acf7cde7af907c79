#pragma once
#include <windows.h>

// The whole run of kitfetcher; always returns 0. `narrowSearch`: whether
// RestrictDllSearch narrowed the search; `checkFolderRights`: false in test
// builds only (downloader/start_over.h).
int RunKitfetcher(HINSTANCE instance, const wchar_t* commandLine, bool narrowSearch, bool checkFolderRights);

// Pieces of the run, exposed for tests.
// The text between the first "[" and the first "]" after it in the file name.
bool ExtractAffiliateSource(const wchar_t* parentPath, wchar_t* source, size_t capacity);
extern const wchar_t kInstanceEventName[];
