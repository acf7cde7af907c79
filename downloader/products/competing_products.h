// Competing products reported by the removal library, completed from the
// Uninstall entries Windows keeps for them, and their removal.
#pragma once
#include <windows.h>
#include <oleauto.h>

#include "common/result.h"
#include "contracts/removal_library.h"
#include "downloader/services/setup_state.h"

constexpr DWORD kRemovalFailed = 1003;

// Fills g_setup.competingProducts from the removal library's installed
// products; a failure when the library could not be bound, gave no answer or
// an answer that cannot be read.
qn::Result DetectCompetingProducts();
// Takes ownership of `selection` (competingProductCount bytes, allocated with new[]).
[[nodiscard]] DWORD UninstallSelectedProducts(unsigned char* selection);
// Asks the removal library to remove every product that owns `key`.
qn::Result UninstallByKey(const wchar_t* key);

// The halves of detection and removal that work on the library's answer, which
// they own from the call on (the array and its key arrays are destroyed).
// Appends entries to the table until it is full; kRefused when the array cannot be read.
qn::Result FillCompetingProducts(SAFEARRAY* products);
// Hands every record that owns `key` to `uninstallProduct`; the last answer
// (E_FAIL when the library refused), ERROR_NOT_FOUND when no record owns it.
qn::Result UninstallRecordsOwningKey(SAFEARRAY* products, const wchar_t* key, UninstallProductFn uninstallProduct);

// Where Windows keeps a product's display name and uninstall command.
// view 0: the native Uninstall key, 1: the one under Wow6432Node. Whether that
// view holds both texts of the product (the caller tries the other view if not).
bool LookUpUninstallEntry(int view, const wchar_t* key, CompetingProduct* entry);
// `buffer` holds kCompetingTextChars characters. A failure carries the registry's
// error (ERROR_MORE_DATA for a text longer than the buffer), kRefused for a
// value that is not a text (or a missing argument).
qn::Result ReadUninstallValue(const wchar_t* subkey, const wchar_t* valueName, wchar_t* buffer);
