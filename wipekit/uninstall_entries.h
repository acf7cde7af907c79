// A product's Uninstall entries, in both places Windows keeps them: the native
// Uninstall key and the one under Wow6432Node, both read through the 64-bit
// registry view so that a 32-bit process sees the same as a 64-bit one.
#pragma once

namespace wipekit {

bool UninstallEntryExists(const wchar_t* key);
// Deletes the entry (with any subkeys) in both places. True when neither is left.
bool DeleteUninstallEntry(const wchar_t* key);

}  // namespace wipekit
