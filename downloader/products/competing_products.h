// Competing products reported by the removal library, completed from the
// Uninstall entries, and their removal.
#pragma once
#include <windows.h>

#include "downloader/products/competing_product.h"

const DWORD kRemovalFailed = 1003;

bool DetectCompetingProducts();
// Takes ownership of `selection` (competingProductCount bytes, allocated with new[]).
DWORD UninstallSelectedProducts(unsigned char* selection);
bool UninstallByKey(const wchar_t* key);
bool LookUpUninstallEntry(int view, const wchar_t* key, CompetingProduct* entry);
bool ReadUninstallValue(const wchar_t* subkey, const wchar_t* valueName, wchar_t* buffer);
