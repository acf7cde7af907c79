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

}  // namespace

DWORD FindParentProcess() {
  qn::ScopedHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot.Valid()) return 0;
  DWORD self = GetCurrentProcessId();
  PROCESSENTRY32W entry;
  ZeroMemory(&entry, sizeof(entry));
  entry.dwSize = sizeof(entry);
  for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more; more = Process32NextW(snapshot.Get(), &entry)) {
    if (entry.th32ProcessID != self) continue;
    DWORD parentId = entry.th32ParentProcessID;
    if (g_setup.parentProcessPath[0] == L'\0') ReadParentPath(parentId);
    return parentId;
  }
  return 0;
}
