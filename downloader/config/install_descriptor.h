// The kit's install descriptor (install_x64.xml / install_x86.xml in the local
// setup folder) as the hand-off changes it before the installer runs: the
// store's buy link built from contacts.xml, the items marked local, and the
// patch list applied.
#pragma once
#include "downloader/services/locations_config.h"

// Builds g_setup.buyLink from contacts.xml and the store rows when the parent's
// path carries a store marker.
void BuildBuyLink();
// Marks every install item of the descriptor to be taken from the local kit.
void MarkItemsLocal(const wchar_t* descriptorPath);

// Applies the kit's patches, then the run's own, to the document and saves it
// back.
void ApplyXmlPatches(const wchar_t* filePath, const XmlPatchList& kitPatches, const XmlPatchList& runPatches);
