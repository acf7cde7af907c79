#pragma once
#include <windows.h>

// The whole run of kitfetcher; always returns 0.
int RunKitfetcher(HINSTANCE instance, const wchar_t* commandLine);

// Pieces of the run, exposed for tests.
// The text between the first "[" and the first "]" after it in the file name.
bool ExtractAffiliateSource(const wchar_t* parentPath, wchar_t* source, size_t capacity);
extern const wchar_t kInstanceEventName[];
