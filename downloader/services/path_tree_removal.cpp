#include "downloader/services/path_tree_removal.h"

#include <windows.h>

#include "common/path_join.h"
#include "common/scoped_handles.h"
#include "downloader/services/diagnostic_log.h"

namespace {

// An attribute query rather than a directory search: a search would read "*"
// or "?" in a name as a pattern and find some other entry.
bool LookUp(const wchar_t* path, DWORD* attributes) {
  *attributes = GetFileAttributesW(path);
  if (*attributes != INVALID_FILE_ATTRIBUTES) return true;
  WriteLog(L"[KITFETCHER] Error finding path %s (%d)", path, static_cast<int>(GetLastError()));
  return false;
}

bool IsDots(const wchar_t* name) {
  return (name[0] == L'.' && name[1] == L'\0') || (name[0] == L'.' && name[1] == L'.' && name[2] == L'\0');
}

void RemoveChildren(const wchar_t* folder) {
  wchar_t pattern[MAX_PATH];
  if (!qn::JoinPath(pattern, MAX_PATH, folder, L"*.*")) {
    WriteLog(L"[KITFETCHER] Cannot list %s: path too long", folder);
    return;
  }
  WIN32_FIND_DATAW found;
  qn::ScopedFindHandle listing(FindFirstFileW(pattern, &found));
  if (!listing.Valid()) return;
  do {
    if (IsDots(found.cFileName)) continue;
    wchar_t child[MAX_PATH];
    if (!qn::JoinPath(child, MAX_PATH, folder, found.cFileName)) {
      // A shortened path would name another file; leave this one alone.
      WriteLog(L"[KITFETCHER] Skipping %s in %s: path too long", found.cFileName, folder);
      continue;
    }
    RemovePathTree(child);
  } while (FindNextFileW(listing.Get(), &found));
}

}  // namespace

bool RemovePathTree(const wchar_t* path) {
  if (!path) return false;
  DWORD attributes;
  if (!LookUp(path, &attributes)) return false;

  bool folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  // A junction or folder link is removed as a link; what it points to is not ours.
  if (folder && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) RemoveChildren(path);

  if (!LookUp(path, &attributes)) {
    return MoveFileExW(path, NULL, MOVEFILE_DELAY_UNTIL_REBOOT) != FALSE;
  }
  BOOL deleted = folder ? RemoveDirectoryW(path) : DeleteFileW(path);
  if (!deleted) MoveFileExW(path, NULL, MOVEFILE_DELAY_UNTIL_REBOOT);
  return true;
}
