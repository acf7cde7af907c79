// The binding to the removal library, and the stand-in library's side of the
// contract the downloader relies on.
#include <gtest/gtest.h>

#include "downloader/products/uninstall_dll_wrapper.h"
#include "downloader/services/kit_crypto.h"
#include "downloader/services/setup_state.h"
#include "tests/unit/support/needs_32bit_code.h"
#include "tests/unit/support/products_bench.h"

using productbench::ProgramFolder;
using productbench::UninstallEntry;
using productbench::UniqueName;

namespace {

size_t CountLogLines(const ProgramFolder& folder, const std::wstring& part) {
  std::vector<std::wstring> lines = folder.LogLines();
  size_t count = 0;
  for (size_t i = 0; i < lines.size(); ++i) count += lines[i].find(part) != std::wstring::npos;
  return count;
}

}  // namespace

TEST(UninstallDllWrapper, AbsentLibraryIsReportedAndNothingIsBound) {
  ProgramFolder folder;
  CUninstallDllWrapper& dll = UninstallDll();
  EXPECT_FALSE(dll.IsLoaded());
  EXPECT_FALSE(dll.Load());
  std::wstring path = folder.File(L"wipekit.dll");
  std::vector<std::wstring> lines = folder.LogLines();
  ASSERT_EQ(4u, lines.size());
  EXPECT_EQ(L"[SETUP][CUninstallDllWrapper] m_hUninstallDll is NULL", lines[0]);
  EXPECT_EQ(L"[SETUP][CUninstallDllWrapper] m_hUninstallDll is NULL", lines[1]);
  EXPECT_EQ(L"[SETUP] [CUninstallDllWrapper] wipekitpath<" + path + L">", lines[2]);
  EXPECT_EQ(L"[SETUP] [CUninstallDllWrapper] could not load <" + path + L"> | error<126>", lines[3]);
  SAFEARRAY* products = reinterpret_cast<SAFEARRAY*>(1);
  EXPECT_TRUE(FAILED(dll.GetInstalledProducts(&products)));
  EXPECT_TRUE(products == NULL);
  EXPECT_TRUE(dll.UninstallProductEntry() == NULL);
}

TEST(UninstallDllWrapper, LoadedLibraryStaysBoundWithoutReloading) {
  ProgramFolder folder;
  ASSERT_TRUE(folder.PutLibrary(L"wipekit"));
  CUninstallDllWrapper& dll = UninstallDll();
  ASSERT_TRUE(dll.Load());
  EXPECT_TRUE(dll.IsLoaded());
  EXPECT_TRUE(dll.Load());
  EXPECT_EQ(1u, CountLogLines(folder, L"wipekitpath<"));
  EXPECT_TRUE(GetModuleHandleW(folder.File(L"wipekit.dll").c_str()) != NULL);
  EXPECT_TRUE(dll.UninstallProductEntry() != NULL);
}

TEST(UninstallDllWrapper, LibraryWithoutProductListIsLetGo) {
  ProgramFolder folder;
  ASSERT_TRUE(folder.PutLibrary(L"wipekit_noinstalled"));
  CUninstallDllWrapper& dll = UninstallDll();
  EXPECT_FALSE(dll.Load());
  EXPECT_TRUE(folder.LogHas(L"[SETUP][CUninstallDllWrapper] pfnGetInstalledProducts is NULL"));
  EXPECT_TRUE(GetModuleHandleW(folder.File(L"wipekit.dll").c_str()) == NULL);
  EXPECT_FALSE(dll.IsLoaded());
}

TEST(UninstallDllWrapper, LibraryWithoutRemovalIsBoundForDetectionOnly) {
  ProgramFolder folder;
  ASSERT_TRUE(folder.PutLibrary(L"wipekit_nouninstall"));
  CUninstallDllWrapper& dll = UninstallDll();
  EXPECT_TRUE(dll.Load());
  EXPECT_TRUE(dll.UninstallProductEntry() == NULL);
}

// A package that pins the vendor's keys loads only the removal library its
// trust element names by SHA-256: a library planted where the package shipped
// none, or put in place of the shipped one, never runs.
TEST(UninstallDllWrapper, APinnedPackageLoadsOnlyThePinnedLibrary) {
  struct Case {
    const char* what;
    bool hasHash;
    bool rightHash;
    bool loaded;
    const wchar_t* logged;
  } cases[] = {{"the pinned library", true, true, true, L"wipekitpath<"},
               {"another library", true, false, false, L"not loaded: SHA-256 "},
               {"no library pinned", false, false, false, L"not pinned; not loaded"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ProgramFolder folder;
    ASSERT_TRUE(folder.PutLibrary(L"wipekit"));
    std::string bytes;
    ASSERT_TRUE(testsupport::ReadFileInto(folder.File(L"wipekit.dll"), &bytes));
    Sha256 hash;
    ASSERT_TRUE(hash.Add(bytes.data(), static_cast<DWORD>(bytes.size())));
    KitTrust& trust = g_setup.locations.trust;
    ASSERT_TRUE(hash.Finish(trust.libraryHash));
    if (!c.rightHash) trust.libraryHash[31] ^= 1;
    trust.pinned = true;
    trust.hasLibraryHash = c.hasHash;
    EXPECT_EQ(c.loaded, UninstallDll().Load());
    EXPECT_TRUE(folder.LogHas(c.logged));
    EXPECT_EQ(c.loaded, GetModuleHandleW(folder.File(L"wipekit.dll").c_str()) != NULL);
  }
}

TEST(UninstallDllWrapper, LibraryPathThatDoesNotFitIsNotTried) {
  ProgramFolder folder;
  std::wstring longFolder = L"C:\\" + std::wstring(250, L'f') + L"\\";
  qn::CopyText(g_setup.programFolder, kPathChars, longFolder.c_str());
  EXPECT_FALSE(UninstallDll().Load());
  EXPECT_FALSE(folder.LogHas(L"wipekitpath<"));
  EXPECT_TRUE(folder.LogHas(L"[SETUP] [CUninstallDllWrapper] could not load <"));
}

// A library the package's removal library needs comes from the system folder,
// even when a file of that name lies beside it in the package folder. Wine
// prefers its own dwmapi unless told otherwise; the override makes it search
// as Windows does (Wine reads it again at every load).
TEST(UninstallDllWrapper, LibrariesItNeedsNeverComeFromThePackageFolder) {
  ProgramFolder folder;
  ASSERT_TRUE(CopyFileW((testsupport::TestProgramFolder() + L"dependent_library.dll").c_str(),
                        folder.File(L"wipekit.dll").c_str(), FALSE));
  ASSERT_TRUE(CopyFileW((testsupport::TestProgramFolder() + L"planted_library.dll").c_str(),
                        folder.File(L"dwmapi.dll").c_str(), FALSE));
  HKEY overrides = NULL;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Wine\\DllOverrides", 0, NULL, 0,
                                           KEY_SET_VALUE, NULL, &overrides, NULL));
  const wchar_t nativeFirst[] = L"native,builtin";
  RegSetValueExW(overrides, L"dwmapi", 0, REG_SZ, reinterpret_cast<const BYTE*>(nativeFirst), sizeof(nativeFirst));
  bool loaded = UninstallDll().Load();
  RegDeleteValueW(overrides, L"dwmapi");
  RegCloseKey(overrides);
  EXPECT_FALSE(loaded);  // it exports nothing of the contract; it was loaded all the same
  EXPECT_TRUE(folder.LogHas(L"[SETUP][CUninstallDllWrapper] pfnGetProducts is NULL"));
  EXPECT_FALSE(testsupport::Exists(folder.File(L"dwmapi.dll.ran")));
}

// The stand-in library, driven through the binding as the downloader drives it.
class WipekitLibrary : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder.PutLibrary(L"wipekit"));
    ASSERT_TRUE(UninstallDll().Load());
  }
  SAFEARRAY* Installed() {
    SAFEARRAY* products = NULL;
    UninstallDll().GetInstalledProducts(&products);
    return products;
  }
  ProgramFolder folder;
};

TEST_F(WipekitLibrary, ReportsInstalledProductsAsTwentyByteRecordsWithAllTheirKeys) {
  SKIP_UNLESS_32BIT_CODE(KIT_RECORDS_NEED_32BIT_CODE);
  UninstallEntry present(productbench::kNativeView, UniqueName(L"present"));
  std::wstring absent = UniqueName(L"absent");
  ASSERT_TRUE(folder.PutCatalogue(L"# products\nproduct=Alpha|" + present.Key() + L";" + absent +
                                  L"\nproduct=Beta|" + UniqueName(L"gone") + L"\nproduct=Gamma\n"));
  SAFEARRAY* products = Installed();
  ASSERT_TRUE(products != NULL);
  EXPECT_EQ(1u, SafeArrayGetDim(products));
  EXPECT_EQ(20u, SafeArrayGetElemsize(products));
  LONG lower = -1, upper = -1;
  SafeArrayGetLBound(products, 1, &lower);
  SafeArrayGetUBound(products, 1, &upper);
  ASSERT_EQ(0, lower);
  ASSERT_EQ(1, upper);
  ProductRecord* records = static_cast<ProductRecord*>(products->pvData);
  EXPECT_STREQ(L"Alpha", records[0].productName);
  EXPECT_STREQ(L"Gamma", records[1].productName);
  EXPECT_TRUE(records[1].productKeys == NULL);
  SAFEARRAY* keys = records[0].productKeys;
  ASSERT_TRUE(keys != NULL);
  VARTYPE type = VT_EMPTY;
  SafeArrayGetVartype(keys, &type);
  EXPECT_EQ(VT_BSTR, type);
  ASSERT_EQ(2u, keys->rgsabound[0].cElements);
  EXPECT_EQ(present.Key(), static_cast<BSTR*>(keys->pvData)[0]);
  EXPECT_EQ(absent, static_cast<BSTR*>(keys->pvData)[1]);

  // Names handed out stay valid after the array is gone.
  const wchar_t* name = records[0].productName;
  SafeArrayDestroy(keys);
  SafeArrayDestroy(products);
  EXPECT_STREQ(L"Alpha", name);
}

TEST_F(WipekitLibrary, ReportsNothingWithoutCatalogueOrForAnotherSelector) {
  EXPECT_TRUE(Installed() == NULL);
  ASSERT_TRUE(folder.PutCatalogue(L"product=Keyless\n"));
  typedef HRESULT(__stdcall * Fn)(SAFEARRAY**, int);
  HMODULE module = GetModuleHandleW(folder.File(L"wipekit.dll").c_str());
  Fn getInstalled = reinterpret_cast<Fn>(GetProcAddress(module, "GetInstalledProducts"));
  ASSERT_TRUE(getInstalled != NULL);
  SAFEARRAY* products = NULL;
  EXPECT_EQ(E_INVALIDARG, getInstalled(&products, 1));
  EXPECT_TRUE(products == NULL);
}

TEST_F(WipekitLibrary, RemovalDeletesTheSelectedProductsEntriesInBothPlaces) {
  std::wstring key = UniqueName(L"both");
  UninstallEntry native(productbench::kNativeView, key);
  UninstallEntry wow(productbench::kWowView, key);
  ASSERT_TRUE(folder.PutCatalogue(L"product=Delta|" + key + L"\n"));
  SAFEARRAY* products = Installed();
  ASSERT_TRUE(products != NULL);
  ProductRecord* record = static_cast<ProductRecord*>(products->pvData);
  unsigned char flag = 0;
  UninstallProductFn uninstall = UninstallDll().UninstallProductEntry();

  EXPECT_EQ(0, uninstall(record, &flag, 0)) << "a record not marked selected is left alone";
  EXPECT_TRUE(native.Exists());
  record->selected = 1;
  EXPECT_NE(0, uninstall(record, &flag, 0));
  EXPECT_FALSE(native.Exists());
  EXPECT_FALSE(wow.Exists());
  SafeArrayDestroy(record->productKeys);
  SafeArrayDestroy(products);
}
