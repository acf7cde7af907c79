#pragma once

// Applies g_setup.locations.xmlPatches to the document and saves it back.
void ApplyXmlPatches(const wchar_t* filePath);
