// kitfetcher's one rule from a base URL template, the language and path
// components to a server URL.
#pragma once
#include <string>
#include <vector>

namespace kitpack {

// Longest URL kitfetcher downloads, in UTF-16 units.
const size_t kUrlMaxUnits = 259;

// How many "%s" the template holds; only the first gets the language.
int CountLanguageSlots(const std::string& templ);

// What is wrong with a template's "%s" (none, or more than one), as the end
// of a sentence about it; empty when it holds exactly one.
std::string LanguageSlotProblem(const std::string& templ);

// Each "%s" replaced (the first by the language, the others by nothing), then
// each component appended after one "/".
std::string ComposeKitUrl(const std::string& templ, const std::string& language,
                          const std::vector<std::string>& components);

// The components of a file's URL: its relative path (when set), then leaf.
std::vector<std::string> EntryComponents(const std::string& relativePath, const std::string& leaf);

}  // namespace kitpack
