#pragma once

#include "downloader/services/locations_config.h"

// Applies the kit's patches, then the run's own, to the document and saves it
// back.
void ApplyXmlPatches(const wchar_t* filePath, const XmlPatchList& kitPatches, const XmlPatchList& runPatches);
