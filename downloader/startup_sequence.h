// kitfetcher's run from its first step to its teardown: the preparation, the
// gates, the competitor flow and the download with its hand-off, and the one
// teardown that releases what SetupState holds on every way out.
#pragma once
#include <windows.h>

// The whole run of kitfetcher; always returns 0. `narrowSearch`: whether
// RestrictDllSearch narrowed the search; `checkFolderRights`: false in test
// builds only (downloader/start_over.h).
int RunKitfetcher(HINSTANCE instance, const wchar_t* commandLine, bool narrowSearch, bool checkFolderRights);

// Pieces of the run, exposed for tests.
// The text between the first "[" and the first "]" after it in the file name.
[[nodiscard]] bool ExtractAffiliateSource(const wchar_t* parentPath, wchar_t* source, size_t capacity);
extern const wchar_t kInstanceEventName[];

// Releases what SetupState holds, in its fixed order. Called once on every exit
// from the version gate on.
void Teardown();
