// Competing products reported by the removal library, completed from the
// Uninstall entries Windows keeps for them, and their removal.
#pragma once
#include <windows.h>
#include <oleauto.h>

#include "contracts/removal_library.h"
#include "downloader/services/setup_state.h"

constexpr DWORD kRemovalFailed = 1003;

// Fills g_setup.competingProducts from the removal library's installed
// products; true when the library answered.
bool DetectCompetingProducts();
// Takes ownership of `selection` (competingProductCount bytes, allocated with new[]).
[[nodiscard]] DWORD UninstallSelectedProducts(unsigned char* selection);
[[nodiscard]] bool UninstallByKey(const wchar_t* key);

// The halves of detection and removal that work on the library's answer, which
// they own from the call on (the array and its key arrays are destroyed).
// Appends entries to the table until it is full; false when the array cannot be read.
[[nodiscard]] bool FillCompetingProducts(SAFEARRAY* products);
// Hands every record that owns `key` to `uninstallProduct`; the last answer.
[[nodiscard]] bool UninstallRecordsOwningKey(SAFEARRAY* products, const wchar_t* key,
                                           UninstallProductFn uninstallProduct);

// Where Windows keeps a product's display name and uninstall command.
// view 0: the native Uninstall key, 1: the one under Wow6432Node.
bool LookUpUninstallEntry(int view, const wchar_t* key, CompetingProduct* entry);
// `buffer` holds kCompetingTextChars characters.
[[nodiscard]] bool ReadUninstallValue(const wchar_t* subkey, const wchar_t* valueName, wchar_t* buffer);
