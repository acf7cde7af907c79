#include "downloader/products/uninstall_dll_wrapper.h"

#include "common/dll_search.h"
#include "common/path_join.h"
#include "downloader/services/diagnostic_log.h"
#include "downloader/services/setup_state.h"

const wchar_t kRemovalLibraryName[] = L"wipekit.dll";

namespace {

template <class Fn>
Fn Resolve(HMODULE module, const char* name) {
  return reinterpret_cast<Fn>(GetProcAddress(module, name));
}

}  // namespace

CUninstallDllWrapper::CUninstallDllWrapper() : m_hUninstallDll(NULL) { ClearEntries(); }

void CUninstallDllWrapper::ClearEntries() {
  pfnGetProducts = NULL;
  pfnGetInstalledProducts = NULL;
  pfnUninstallProducts = NULL;
  pfnUninstallForceAll = NULL;
  pfnUninstallAllInstalled = NULL;
  pfnUninstallProduct = NULL;
}

bool CUninstallDllWrapper::IsLoaded() {
  if (!m_hUninstallDll) {
    WriteLog(L"[SETUP][CUninstallDllWrapper] m_hUninstallDll is NULL");
    return false;
  }
  if (!pfnGetProducts) {
    WriteLog(L"[SETUP][CUninstallDllWrapper] pfnGetProducts is NULL");
    return false;
  }
  if (!pfnGetInstalledProducts || !pfnUninstallForceAll || !pfnUninstallAllInstalled) {
    WriteLog(L"[SETUP][CUninstallDllWrapper] pfnGetInstalledProducts is NULL");
    return false;
  }
  return true;
}

bool CUninstallDllWrapper::Load() {
  if (IsLoaded()) return true;

  wchar_t path[MAX_PATH];
  if (!qn::JoinPath(path, MAX_PATH, g_setup.programFolder, kRemovalLibraryName)) {
    WriteLog(L"[SETUP] [CUninstallDllWrapper] could not load <%s%s> | error<%d>", g_setup.programFolder,
             kRemovalLibraryName, ERROR_FILENAME_EXCED_RANGE);
    return false;
  }
  WriteLog(L"[SETUP] [CUninstallDllWrapper] wipekitpath<%s>", path);
  // The libraries it needs come from the system folder, not from beside it.
  HMODULE module = qn::LoadPackageLibrary(path);
  if (!module) {
    WriteLog(L"[SETUP] [CUninstallDllWrapper] could not load <%s> | error<%d>", path,
             static_cast<int>(GetLastError()));
    return false;
  }
  m_hUninstallDll = module;
  pfnGetProducts = Resolve<GetProductsFn>(module, "GetProducts");
  pfnGetInstalledProducts = Resolve<GetInstalledProductsFn>(module, "GetInstalledProducts");
  pfnUninstallProducts = Resolve<UninstallProductsFn>(module, "UninstallProducts");
  pfnUninstallForceAll = Resolve<UninstallForceAllFn>(module, "UninstallForceAll");
  pfnUninstallAllInstalled = Resolve<UninstallAllInstalledFn>(module, "UninstallAllInstalled");
  pfnUninstallProduct = Resolve<UninstallProductFn>(module, "UninstallProduct");
  if (IsLoaded()) return true;
  Unload();
  return false;
}

void CUninstallDllWrapper::Unload() {
  if (m_hUninstallDll) FreeLibrary(m_hUninstallDll);
  m_hUninstallDll = NULL;
  ClearEntries();
}

HRESULT CUninstallDllWrapper::GetInstalledProducts(SAFEARRAY** products) {
  if (!products) return E_POINTER;
  *products = NULL;
  if (!m_hUninstallDll || !pfnGetInstalledProducts) return E_UNEXPECTED;
  return pfnGetInstalledProducts(products, kInstalledProductsMode);
}

CUninstallDllWrapper& UninstallDll() {
  static CUninstallDllWrapper wrapper;
  return wrapper;
}
