// The binding to the removal library: which library is loaded, from where,
// and what of it is bound.
#include <gtest/gtest.h>

#include "downloader/products/uninstall_dll_wrapper.h"
#include "downloader/services/kit_crypto.h"
#include "downloader/services/setup_state.h"
#include "tests/unit/support/products_bench.h"

using kittest::ProgramFolder;

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
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND), dll.Load().Code());
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
  ASSERT_TRUE(dll.Load().Succeeded());
  EXPECT_TRUE(dll.IsLoaded());
  EXPECT_TRUE(dll.Load().Succeeded());
  EXPECT_EQ(1u, CountLogLines(folder, L"wipekitpath<"));
  EXPECT_TRUE(GetModuleHandleW(folder.File(L"wipekit.dll").c_str()) != NULL);
  EXPECT_TRUE(dll.UninstallProductEntry() != NULL);
}

TEST(UninstallDllWrapper, LibraryWithoutProductListIsLetGo) {
  ProgramFolder folder;
  ASSERT_TRUE(folder.PutLibrary(L"wipekit_noinstalled"));
  CUninstallDllWrapper& dll = UninstallDll();
  EXPECT_FALSE(dll.Load().Succeeded());
  EXPECT_TRUE(folder.LogHas(L"[SETUP][CUninstallDllWrapper] pfnGetInstalledProducts is NULL"));
  EXPECT_TRUE(GetModuleHandleW(folder.File(L"wipekit.dll").c_str()) == NULL);
  EXPECT_FALSE(dll.IsLoaded());
}

TEST(UninstallDllWrapper, LibraryWithoutRemovalIsBoundForDetectionOnly) {
  ProgramFolder folder;
  ASSERT_TRUE(folder.PutLibrary(L"wipekit_nouninstall"));
  CUninstallDllWrapper& dll = UninstallDll();
  EXPECT_TRUE(dll.Load().Succeeded());
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
    ASSERT_TRUE(kittest::ReadFileInto(folder.File(L"wipekit.dll"), &bytes));
    Sha256 hash;
    ASSERT_TRUE(hash.Add(bytes.data(), static_cast<DWORD>(bytes.size())).Succeeded());
    KitTrust& trust = g_setup.locations.trust;
    ASSERT_TRUE(hash.Finish(trust.libraryHash).Succeeded());
    if (!c.rightHash) trust.libraryHash[31] ^= 1;
    trust.pinned = true;
    trust.hasLibraryHash = c.hasHash;
    EXPECT_EQ(c.loaded, UninstallDll().Load().Succeeded());
    EXPECT_TRUE(folder.LogHas(c.logged));
    EXPECT_EQ(c.loaded, GetModuleHandleW(folder.File(L"wipekit.dll").c_str()) != NULL);
  }
}

TEST(UninstallDllWrapper, LibraryPathThatDoesNotFitIsNotTried) {
  ProgramFolder folder;
  std::wstring longFolder = L"C:\\" + std::wstring(250, L'f') + L"\\";
  qn::CopyText(g_setup.programFolder, kPathChars, longFolder.c_str());
  EXPECT_FALSE(UninstallDll().Load().Succeeded());
  EXPECT_FALSE(folder.LogHas(L"wipekitpath<"));
  EXPECT_TRUE(folder.LogHas(L"[SETUP] [CUninstallDllWrapper] could not load <"));
}

// A library the package's removal library needs comes from the system folder,
// even when a file of that name lies beside it in the package folder. Wine
// prefers its own dwmapi unless told otherwise; the override makes it search
// as Windows does (Wine reads it again at every load).
TEST(UninstallDllWrapper, LibrariesItNeedsNeverComeFromThePackageFolder) {
  ProgramFolder folder;
  ASSERT_TRUE(CopyFileW((kittest::TestProgramFolder() + L"dependent_library.dll").c_str(),
                        folder.File(L"wipekit.dll").c_str(), FALSE));
  ASSERT_TRUE(CopyFileW((kittest::TestProgramFolder() + L"planted_library.dll").c_str(),
                        folder.File(L"dwmapi.dll").c_str(), FALSE));
  HKEY overrides = NULL;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Wine\\DllOverrides", 0, NULL, 0,
                                           KEY_SET_VALUE, NULL, &overrides, NULL));
  const wchar_t nativeFirst[] = L"native,builtin";
  RegSetValueExW(overrides, L"dwmapi", 0, REG_SZ, reinterpret_cast<const BYTE*>(nativeFirst), sizeof(nativeFirst));
  bool loaded = UninstallDll().Load().Succeeded();
  RegDeleteValueW(overrides, L"dwmapi");
  RegCloseKey(overrides);
  EXPECT_FALSE(loaded);  // it exports nothing of the contract; it was loaded all the same
  EXPECT_TRUE(folder.LogHas(L"[SETUP][CUninstallDllWrapper] pfnGetProducts is NULL"));
  EXPECT_FALSE(kittest::Exists(folder.File(L"dwmapi.dll.ran")));
}
