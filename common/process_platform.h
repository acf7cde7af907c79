// What the running program may rely on from Windows: where libraries come from,
// and whether it runs under WOW64. The programs start elevated from folders that
// web pages can write to (Downloads), so neither the program's folder nor the
// current folder may supply a library: only the system folder (and the
// side-by-side store the manifest names). The package's own library is loaded
// by its full path, and what it needs comes from the system folder.
#pragma once
#include <windows.h>

namespace qn {

// Narrows the library search for the whole process; the first act of a run.
// Where SetDefaultDllDirectories exists (7 with KB2533623 and later) only the
// system folder is searched; elsewhere the current folder leaves the search,
// and the program's own folder stays first in it: the program then starts over
// from a fresh folder (common/fresh_folder.h). True when the narrow search is
// in force. `narrowWhereAvailable` is false in test builds alone, which behave
// as where the function is missing.
[[nodiscard]] bool RestrictDllSearch(bool narrowWhereAvailable);

// Loads the package's own library at `path` (a full path) so that the
// libraries it needs in turn come from the system folder, never from its own
// folder (the package folder, where anything may have been dropped) nor the
// current folder. With the narrow search only the system folder is searched;
// without it the standard search applies, which starts in the program's folder:
// the program then runs from a fresh folder that holds nothing but itself.
// Null with the last error on failure.
[[nodiscard]] HMODULE LoadPackageLibrary(const wchar_t* path);

// Loads `name` (a file name such as L"msi.dll") from the system folder.
[[nodiscard]] HMODULE LoadSystemLibrary(const wchar_t* name);

// Loads the system library `name` by its name alone, for a library that the
// program's manifest redirects to the side-by-side store (comctl32 6.0), which
// a full path would bypass. Only once RestrictDllSearch has run: a name the
// store does not answer is then looked up in the system folder (or, where the
// narrow search is missing, in the fresh folder the program runs from first).
[[nodiscard]] HMODULE LoadSystemLibraryByName(const wchar_t* name);

// Maps the library at `path` for its resources only: none of its code runs.
[[nodiscard]] HMODULE LoadResourcesOnly(const wchar_t* path);

}  // namespace qn

// Whether this 32-bit program runs on 64-bit Windows. IsWow64Process is looked
// up at run time: kernel32 of older systems lacks it, which means 32-bit Windows.
namespace qn {

[[nodiscard]] bool RunsUnderWow64();

}  // namespace qn
