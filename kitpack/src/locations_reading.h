// kitfetcher's reading rules for locations.xml, step by step: which node each
// field comes from, how its text converts, and where reading stops.
#pragma once
#include <string>

#include <pugixml.hpp>

#include "kit_view.h"
#include "xml_source.h"

namespace kitpack {

// Longest texts the reader's fixed buffers take, in UTF-16 units.
const size_t kNameMaxUnits = 99;
const size_t kRequirementMaxUnits = 19;

// A node's text as the DOM hands it out: an element's text and CDATA, trimmed
// of surrounding blanks; an attribute's value as written.
std::string ElementText(const pugi::xml_node& element);

// A requirement attribute's value converted as kitfetcher converts it:
// leading blanks and a sign, decimal digits up to the first other character,
// clamped to 32 bits; no digits reads 0.
int ReadDecimal(const std::string& text);

// The first node the selection finds, as kitfetcher's reader selects.
pugi::xml_node SelectFirst(const pugi::xml_node& from, const char* path);

// Selection paths of the sections the reader walks.
std::string BaseUrlPath(Arch arch);
std::string FileListPath(Arch arch);
extern const char kPatchListPath[];
extern const char kRequirementsPath[];

KitView ReadKitView(const XmlSource& source, Arch arch);

}  // namespace kitpack
