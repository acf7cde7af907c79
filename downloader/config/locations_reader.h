#pragma once
#include <windows.h>

#include "common/result.h"

// Reads locations.xml into g_setup.locations; the branch follows g_setup.isWow64.
// S_OK once the document was read, whatever it lacked; S_FALSE when there was
// no document to read (missing, unreadable, refused, or not well-formed);
// E_OUTOFMEMORY when memory ran out while reading it; otherwise the failure
// that kept the document from loading. Whatever was not read keeps its default.
qn::Result ReadLocations(const wchar_t* path);
