// Test-prefix stand-in for shcore.dll: Wine answers every server question of
// IsOS with TRUE, so a program that refuses servers would refuse every prefix.
// This shim answers the server selectors from the product type that
// GetVersionExW reports and hands every other question to Wine's own copy.
#include <windows.h>

namespace {

const DWORD kServerSelectors[] = {21, 22, 23, 29};

bool IsServerSelector(DWORD feature) {
  for (size_t i = 0; i < sizeof(kServerSelectors) / sizeof(kServerSelectors[0]); ++i) {
    if (kServerSelectors[i] == feature) return true;
  }
  return false;
}

}  // namespace

extern "C" BOOL WINAPI ShimIsOS(DWORD feature) {
  if (IsServerSelector(feature)) {
    OSVERSIONINFOEXW info;
    ZeroMemory(&info, sizeof(info));
    info.dwOSVersionInfoSize = sizeof(info);
    if (!GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info))) return FALSE;
    return info.wProductType != VER_NT_WORKSTATION;
  }
  typedef BOOL(WINAPI * IsOSFn)(DWORD);
  HMODULE wine = LoadLibraryW(L"shcore_wine.dll");
  IsOSFn original = wine ? reinterpret_cast<IsOSFn>(GetProcAddress(wine, "IsOS")) : NULL;
  return original ? original(feature) : FALSE;
}

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
