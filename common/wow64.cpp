#include "common/wow64.h"

#include <windows.h>

namespace qn {

bool RunsUnderWow64() {
  typedef BOOL(WINAPI * IsWow64Fn)(HANDLE, PBOOL);
  HMODULE kernel = GetModuleHandleW(L"kernel32");
  if (!kernel) return false;
  IsWow64Fn isWow64 = reinterpret_cast<IsWow64Fn>(GetProcAddress(kernel, "IsWow64Process"));
  BOOL wow64 = FALSE;
  if (!isWow64 || !isWow64(GetCurrentProcess(), &wow64)) return false;
  return wow64 != FALSE;
}

}  // namespace qn
