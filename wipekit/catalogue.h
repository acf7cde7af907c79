// The catalogue beside the library: which products it knows and the keys of
// their Uninstall entries. Format in README.md.
#pragma once
#include <string>
#include <vector>

namespace wipekit {

struct CatalogueProduct {
  std::wstring name;
  std::vector<std::wstring> keys;
  bool failRemoval = false;  // removal always answers "not removed"
  bool overcount = false;    // a reported array claims 2^31-1 records, however many it holds
};

struct Catalogue {
  std::vector<CatalogueProduct> products;
};

// Reads the catalogue file (UTF-8, an optional byte-order mark). False when it
// cannot be read; lines it does not understand are ignored.
[[nodiscard]] bool ReadCatalogue(const std::wstring& path, Catalogue* catalogue);
// The same from text already in memory.
void ParseCatalogue(const std::wstring& text, Catalogue* catalogue);

}  // namespace wipekit

// A product's Uninstall entries, in both places Windows keeps them: the native
// Uninstall key and the one under Wow6432Node, both read through the 64-bit
// registry view so that a 32-bit process sees the same as a 64-bit one.
namespace wipekit {

[[nodiscard]] bool UninstallEntryExists(const wchar_t* key);
// Deletes the entry (with any subkeys) in both places. True when neither is left.
[[nodiscard]] bool DeleteUninstallEntry(const wchar_t* key);

}  // namespace wipekit
