// Stand-in removal library: reports and removes the products its catalogue
// (wipekit.ini beside the library) names, judged by their Uninstall entries.
#include <windows.h>
#include <oleauto.h>

#include <string>
#include <vector>

#include "contracts/removal_library.h"
#include "wipekit/catalogue.h"

namespace {

HMODULE g_module = nullptr;

std::wstring LibraryFolder() {
  wchar_t path[MAX_PATH];
  DWORD length = GetModuleFileNameW(g_module, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return std::wstring();
  std::wstring folder(path, length);
  size_t slash = folder.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring() : folder.substr(0, slash + 1);
}

bool LoadCatalogue(wipekit::Catalogue* catalogue) {
  std::wstring folder = LibraryFolder();
  return !folder.empty() && wipekit::ReadCatalogue(folder + L"wipekit.ini", catalogue);
}

// Product names handed out stay valid while the library is loaded: each
// distinct name is kept once, for good.
const wchar_t* KeptName(const std::wstring& name) {
  static std::vector<BSTR> names;
  for (BSTR kept : names) {
    if (SysStringLen(kept) == name.size() && name.compare(0, name.size(), kept, name.size()) == 0) return kept;
  }
  BSTR kept = SysAllocStringLen(name.data(), static_cast<UINT>(name.size()));
  if (kept) names.push_back(kept);
  return kept;
}

bool IsInstalled(const wipekit::CatalogueProduct& product) {
  if (product.keys.empty()) return true;
  for (const std::wstring& key : product.keys) {
    if (wipekit::UninstallEntryExists(key.c_str())) return true;
  }
  return false;
}

SAFEARRAY* MakeKeyArray(const std::vector<std::wstring>& keys) {
  if (keys.empty()) return nullptr;
  SAFEARRAY* array = SafeArrayCreateVector(VT_BSTR, 0, static_cast<ULONG>(keys.size()));
  if (!array) return nullptr;
  for (LONG i = 0; i < static_cast<LONG>(keys.size()); ++i) {
    BSTR key = SysAllocString(keys[i].c_str());
    SafeArrayPutElement(array, &i, key);  // copies the string
    SysFreeString(key);
  }
  return array;
}

// A one-dimensional, zero-based array of ProductRecord elements. No feature
// flags are set, so destroying it frees the records' memory and nothing else.
SAFEARRAY* MakeProductArray(const std::vector<const wipekit::CatalogueProduct*>& products) {
  SAFEARRAY* array = nullptr;
  if (FAILED(SafeArrayAllocDescriptor(1, &array))) return nullptr;
  array->cbElements = sizeof(ProductRecord);
  array->rgsabound[0].lLbound = 0;
  array->rgsabound[0].cElements = static_cast<ULONG>(products.size());
  if (FAILED(SafeArrayAllocData(array))) {
    SafeArrayDestroyDescriptor(array);
    return nullptr;
  }
  void* data = nullptr;
  if (FAILED(SafeArrayAccessData(array, &data))) {
    SafeArrayDestroy(array);
    return nullptr;
  }
  auto* records = static_cast<ProductRecord*>(data);
  for (size_t i = 0; i < products.size(); ++i) {
    ProductRecord& record = records[i];
    ZeroMemory(&record, sizeof(record));
    record.productName = KeptName(products[i]->name);
    record.productKeys = MakeKeyArray(products[i]->keys);
  }
  SafeArrayUnaccessData(array);
  // A library that lies about its answer, for the tests of the caller's checks.
  for (const wipekit::CatalogueProduct* product : products) {
    if (product->overcount) array->rgsabound[0].cElements = 0x7FFFFFFF;
  }
  return array;
}

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    g_module = instance;
    DisableThreadLibraryCalls(instance);
  }
  return TRUE;
}

HRESULT __stdcall GetInstalledProducts(SAFEARRAY** products, int mode) {
  if (!products) return E_POINTER;
  *products = nullptr;
  if (mode != kInstalledProductsMode) return E_INVALIDARG;
  wipekit::Catalogue catalogue;
  if (!LoadCatalogue(&catalogue)) return S_FALSE;
  std::vector<const wipekit::CatalogueProduct*> installed;
  for (const wipekit::CatalogueProduct& product : catalogue.products) {
    if (IsInstalled(product)) installed.push_back(&product);
  }
  if (installed.empty()) return S_FALSE;
  *products = MakeProductArray(installed);
  return *products ? S_OK : E_OUTOFMEMORY;
}

unsigned char __stdcall UninstallProduct(ProductRecord* product, unsigned char* flag, int reserved) {
  if (flag) *flag = 0;  // no restart needed
  if (!product || !product->productName || product->selected != 1) return 0;
  wipekit::Catalogue catalogue;
  if (!LoadCatalogue(&catalogue)) return 0;
  unsigned char answer = 0;
  for (const wipekit::CatalogueProduct& known : catalogue.products) {
    if (known.name != product->productName) continue;
    answer = known.failRemoval ? 0 : 1;
    for (size_t k = 0; answer && k < known.keys.size(); ++k) {
      if (!wipekit::DeleteUninstallEntry(known.keys[k].c_str())) answer = 0;
    }
    break;
  }
  return answer;
}

// Exported for the binding's sake; the downloader never calls them.
HRESULT __stdcall GetProducts(SAFEARRAY** products) {
  if (products) *products = nullptr;
  return E_NOTIMPL;
}
HRESULT __stdcall UninstallProducts(SAFEARRAY*) { return E_NOTIMPL; }
HRESULT __stdcall UninstallForceAll() { return E_NOTIMPL; }
HRESULT __stdcall UninstallAllInstalled() { return E_NOTIMPL; }

}  // extern "C"
