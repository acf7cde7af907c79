// The binding to the removal library wipekit.dll in the program's folder. One
// per process; once loaded, the library stays loaded.
#pragma once
#include <windows.h>

#include "common/result.h"
#include "contracts/removal_library.h"

class CUninstallDllWrapper {
 public:
  CUninstallDllWrapper() = default;
  CUninstallDllWrapper(const CUninstallDllWrapper&) = delete;
  CUninstallDllWrapper& operator=(const CUninstallDllWrapper&) = delete;

  // True when the library and the entry points detection needs are bound;
  // otherwise logs the first one missing.
  [[nodiscard]] bool IsLoaded();
  // Binds the library from programFolder unless it is bound already. A
  // failure carries the load's own error, kDoesNotFit for a path too long,
  // kRefused for a library the package does not pin, and ERROR_PROC_NOT_FOUND
  // for one without the entry points detection needs.
  qn::Result Load();
  // Forgets the library and unloads it. The program never does this; tests do,
  // to bind another library from another folder.
  void Unload();

  // Asks for the installed products; the array (or null) is the caller's.
  HRESULT GetInstalledProducts(SAFEARRAY** products);
  // The removal entry point, or null when the library does not export it.
  UninstallProductFn UninstallProductEntry() const { return pfnUninstallProduct; }

 private:
  void ClearEntries();

  HMODULE m_hUninstallDll = nullptr;
  GetProductsFn pfnGetProducts = nullptr;
  GetInstalledProductsFn pfnGetInstalledProducts = nullptr;
  UninstallProductsFn pfnUninstallProducts = nullptr;
  UninstallForceAllFn pfnUninstallForceAll = nullptr;
  UninstallAllInstalledFn pfnUninstallAllInstalled = nullptr;
  UninstallProductFn pfnUninstallProduct = nullptr;
};

// The process's one binding.
CUninstallDllWrapper& UninstallDll();

extern const wchar_t kRemovalLibraryName[];
