// Where Windows keeps a product's display name and uninstall command.
#pragma once

#include "downloader/services/competing_product.h"

// view 0: the native Uninstall key, 1: the one under Wow6432Node.
bool LookUpUninstallEntry(int view, const wchar_t* key, CompetingProduct* entry);
// `buffer` holds kCompetingTextChars characters.
bool ReadUninstallValue(const wchar_t* subkey, const wchar_t* valueName, wchar_t* buffer);
