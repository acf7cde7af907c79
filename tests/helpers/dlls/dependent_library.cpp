// A library that needs dwmapi.dll by name, as a package library may need a
// system library that is no known DLL. Loaded as the package's own library,
// it must get dwmapi from the system folder, never a copy lying beside it.
#include <windows.h>
#include <dwmapi.h>

extern "C" __declspec(dllexport) BOOL WINAPI DependentLibraryComposes() {
  BOOL enabled = FALSE;
  return SUCCEEDED(DwmIsCompositionEnabled(&enabled)) && enabled;
}
