#include "common/process_platform.h"

#include <windows.h>

#include "common/fixed_string.h"

namespace qn {

namespace {

// Set once at the start of the run, before any other thread exists.
bool g_defaultDirectoriesSet = false;

}  // namespace

bool RestrictDllSearch(bool narrowWhereAvailable) {
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  using SetDllDirectoryFn = BOOL(WINAPI*)(LPCWSTR);
  HMODULE kernel = GetModuleHandleW(L"kernel32");
  if (!kernel) return false;
  auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFn>(GetProcAddress(kernel, "SetDefaultDllDirectories"));
  g_defaultDirectoriesSet = narrowWhereAvailable && setDefault && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (g_defaultDirectoriesSet) return true;
  // Older systems still search the program's folder first; an empty DLL
  // directory at least takes the current folder out.
  auto setDirectory = reinterpret_cast<SetDllDirectoryFn>(GetProcAddress(kernel, "SetDllDirectoryW"));
  if (setDirectory) setDirectory(L"");
  return false;
}

namespace {

// The altered search starts in the library's own folder, which for a system
// library is the system folder; the flags of the narrow search are unknown
// where it is not in force (Windows rejects them there).
HMODULE LoadWithOwnFolderFirst(const wchar_t* path) {
  DWORD flags = g_defaultDirectoriesSet ? LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32
                                        : LOAD_WITH_ALTERED_SEARCH_PATH;
  return LoadLibraryExW(path, nullptr, flags);
}

}  // namespace

HMODULE LoadPackageLibrary(const wchar_t* path) {
  // Neither the library's own folder (DLL_LOAD_DIR, the altered search) nor
  // anything else the caller can name takes the program's folder out where
  // the narrow search is missing; the fresh folder does.
  return LoadLibraryExW(path, nullptr, g_defaultDirectoriesSet ? LOAD_LIBRARY_SEARCH_SYSTEM32 : 0);
}

HMODULE LoadSystemLibrary(const wchar_t* name) {
  wchar_t folder[MAX_PATH];
  UINT n = GetSystemDirectoryW(folder, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return nullptr;
  wchar_t path[MAX_PATH];
  if (!JoinPath(path, MAX_PATH, folder, name)) {
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return nullptr;
  }
  return LoadWithOwnFolderFirst(path);
}

HMODULE LoadSystemLibraryByName(const wchar_t* name) {
  // No search flags: they would not change where a name is looked up once the
  // search is narrowed, and Windows without the narrow search rejects them.
  return LoadLibraryExW(name, nullptr, 0);
}

// The texts come from the package's folder, which web pages can write to.
// Windows XP rejects the image-resource flag and takes the plain data mapping.
HMODULE LoadResourcesOnly(const wchar_t* path) {
  HMODULE module = LoadLibraryExW(path, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  return module ? module : LoadLibraryExW(path, nullptr, LOAD_LIBRARY_AS_DATAFILE);
}

}  // namespace qn

namespace qn {

bool RunsUnderWow64() {
  using IsWow64Fn = BOOL(WINAPI*)(HANDLE, PBOOL);
  HMODULE kernel = GetModuleHandleW(L"kernel32");
  if (!kernel) return false;
  auto isWow64 = reinterpret_cast<IsWow64Fn>(GetProcAddress(kernel, "IsWow64Process"));
  BOOL wow64 = FALSE;
  if (!isWow64 || !isWow64(GetCurrentProcess(), &wow64)) return false;
  return wow64 != FALSE;
}

}  // namespace qn
