#pragma once

// Detects competing products and, when one is found, offers its removal.
// True when one was found: the run ends after this flow whatever the answer.
[[nodiscard]] bool RunCompetitorFlowIfFound();
// Whether the question is the "another version" one: the maker's name occurs in
// the product's display name, letter case aside.
[[nodiscard]] bool DisplayNameNamesManufacturer(const wchar_t* manufacturer, const wchar_t* displayName);
