#pragma once
#include <windows.h>

// Reads locations.xml into g_setup.locations; the branch follows g_setup.isWow64.
HRESULT ReadLocations(const wchar_t* path);
