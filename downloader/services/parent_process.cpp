#include "downloader/services/parent_process.h"

#include <psapi.h>
#include <tlhelp32.h>

#include "common/fixed_string.h"
#include "common/scoped_handles.h"
#include "downloader/services/setup_state.h"
#include "downloader/services/system_libraries.h"

namespace {

// Longer than a path buffer, so that a path that would not fit is noticed
// instead of being cut into the name of some other file.
const DWORD kModulePathProbeChars = 1024;

void ReadParentPath(DWORD parentId) {
  qn::ScopedHandle parent(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, parentId));
  if (!parent.Valid()) return;
  wchar_t path[kModulePathProbeChars];
  DWORD n = Psapi().getModuleFileNameEx(parent.Get(), NULL, path, kModulePathProbeChars);
  if (n == 0 || n >= kModulePathProbeChars - 1) return;
  path[n] = L'\0';
  qn::CopyText(g_setup.parentProcessPath, kPathChars, path);
}

// The parent id in the snapshot's entry of `child`.
DWORD ParentOf(HANDLE snapshot, DWORD child, bool* found) {
  PROCESSENTRY32W entry;
  ZeroMemory(&entry, sizeof(entry));
  entry.dwSize = sizeof(entry);
  for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
    if (entry.th32ProcessID == child) {
      *found = true;
      return entry.th32ParentProcessID;
    }
  }
  *found = false;
  return 0;
}

}  // namespace

DWORD FindParentProcess(bool startedOver) {
  qn::ScopedHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot.Valid()) return 0;
  bool found = false;
  DWORD parentId = ParentOf(snapshot.Get(), GetCurrentProcessId(), &found);
  // The first instance waits for this copy, so its entry is still there.
  if (found && startedOver) parentId = ParentOf(snapshot.Get(), parentId, &found);
  if (!found) return 0;
  if (g_setup.parentProcessPath[0] == L'\0') ReadParentPath(parentId);
  return parentId;
}
