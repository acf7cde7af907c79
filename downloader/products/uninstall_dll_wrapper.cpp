#include "downloader/products/uninstall_dll_wrapper.h"

#include <string.h>

#include "common/process_platform.h"
#include "common/fixed_string.h"
#include "common/scoped_handles.h"
#include "downloader/services/diagnostic_log.h"
#include "downloader/services/kit_crypto.h"
#include "downloader/services/setup_state.h"

const wchar_t kRemovalLibraryName[] = L"wipekit.dll";

namespace {

// A pinned package loads only the removal library its trust element names by
// SHA-256. The file is held open, shared for reading only, from the hash to the
// load, so that nobody can swap it in between; the caller keeps `held` until
// the library is loaded.
qn::Result HoldPinnedLibrary(const wchar_t* path, qn::ScopedHandle* held) {
  const KitTrust& trust = g_setup.locations.trust;
  if (!trust.hasLibraryHash) {
    WriteLog(L"[SETUP] [CUninstallDllWrapper] <%s> not pinned; not loaded", path);
    return qn::Result(qn::kRefused);
  }
  held->Reset(
      CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!held->Valid()) {
    qn::Result failure = qn::Result::LastError();
    WriteLog(L"[SETUP] [CUninstallDllWrapper] could not load <%s> | error<%d>", path, static_cast<int>(GetLastError()));
    return failure;
  }
  Sha256 hash;
  BYTE chunk[16384];
  DWORD read = 0;
  bool hashed = hash.Ready();
  while (hashed && ReadFile(held->Get(), chunk, sizeof(chunk), &read, nullptr) && read > 0)
    hashed = hash.Add(chunk, read).Succeeded();
  BYTE digest[kSha256Bytes] = {0};
  if (!hashed || read != 0 || !hash.Finish(digest) || memcmp(digest, trust.libraryHash, kSha256Bytes) != 0) {
    wchar_t expected[kSha256HexChars];
    wchar_t found[kSha256HexChars];
    DigestToHex(trust.libraryHash, expected);
    DigestToHex(digest, found);
    WriteLog(L"[SETUP] [CUninstallDllWrapper] <%s> not loaded: SHA-256 %s, pinned %s", path,
             hashed ? found : L"-", expected);
    return qn::Result(qn::kRefused);
  }
  return qn::Result::Ok();
}

template <class Fn>
Fn Resolve(HMODULE module, const char* name) {
  return reinterpret_cast<Fn>(GetProcAddress(module, name));
}

}  // namespace

void CUninstallDllWrapper::ClearEntries() {
  pfnGetProducts = nullptr;
  pfnGetInstalledProducts = nullptr;
  pfnUninstallProducts = nullptr;
  pfnUninstallForceAll = nullptr;
  pfnUninstallAllInstalled = nullptr;
  pfnUninstallProduct = nullptr;
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

qn::Result CUninstallDllWrapper::Load() {
  if (IsLoaded()) return qn::Result::Ok();

  wchar_t path[MAX_PATH];
  if (!qn::JoinPath(path, MAX_PATH, g_setup.programFolder, kRemovalLibraryName)) {
    WriteLog(L"[SETUP] [CUninstallDllWrapper] could not load <%s%s> | error<%d>", g_setup.programFolder,
             kRemovalLibraryName, ERROR_FILENAME_EXCED_RANGE);
    return qn::Result(qn::kDoesNotFit);
  }
  WriteLog(L"[SETUP] [CUninstallDllWrapper] wipekitpath<%s>", path);
  qn::ScopedHandle pinned;
  if (g_setup.locations.trust.pinned) {
    qn::Result held = HoldPinnedLibrary(path, &pinned);
    if (!held) return held;
  }
  // The libraries it needs come from the system folder, not from beside it.
  HMODULE module = qn::LoadPackageLibrary(path);
  if (!module) {
    qn::Result failure = qn::Result::LastError();
    WriteLog(L"[SETUP] [CUninstallDllWrapper] could not load <%s> | error<%d>", path,
             static_cast<int>(GetLastError()));
    return failure;
  }
  m_hUninstallDll = module;
  pfnGetProducts = Resolve<GetProductsFn>(module, "GetProducts");
  pfnGetInstalledProducts = Resolve<GetInstalledProductsFn>(module, "GetInstalledProducts");
  pfnUninstallProducts = Resolve<UninstallProductsFn>(module, "UninstallProducts");
  pfnUninstallForceAll = Resolve<UninstallForceAllFn>(module, "UninstallForceAll");
  pfnUninstallAllInstalled = Resolve<UninstallAllInstalledFn>(module, "UninstallAllInstalled");
  pfnUninstallProduct = Resolve<UninstallProductFn>(module, "UninstallProduct");
  if (IsLoaded()) return qn::Result::Ok();
  Unload();
  return qn::Result::FromWin32(ERROR_PROC_NOT_FOUND);
}

void CUninstallDllWrapper::Unload() {
  if (m_hUninstallDll) FreeLibrary(m_hUninstallDll);
  m_hUninstallDll = nullptr;
  ClearEntries();
}

HRESULT CUninstallDllWrapper::GetInstalledProducts(SAFEARRAY** products) {
  if (!products) return E_POINTER;
  *products = nullptr;
  if (!m_hUninstallDll || !pfnGetInstalledProducts) return E_UNEXPECTED;
  return pfnGetInstalledProducts(products, kInstalledProductsMode);
}

CUninstallDllWrapper& UninstallDll() {
  static CUninstallDllWrapper wrapper;
  return wrapper;
}
