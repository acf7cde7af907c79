// The stand-in removal library's side of the contract the downloader relies
// on, driven through the binding as the downloader drives it.
#include <gtest/gtest.h>

#include "downloader/products/uninstall_dll_wrapper.h"
#include "tests/unit/support/needs_32bit_code.h"
#include "tests/unit/support/products_bench.h"

using kittest::MarkedName;
using kittest::ProgramFolder;
using kittest::UninstallEntry;

class WipekitLibrary : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder.PutLibrary(L"wipekit"));
    ASSERT_TRUE(UninstallDll().Load().Succeeded());
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
  UninstallEntry present(kittest::kNativeView, MarkedName(L"present"));
  std::wstring absent = MarkedName(L"absent");
  ASSERT_TRUE(folder.PutCatalogue(L"# products\nproduct=Alpha|" + present.Key() + L";" + absent +
                                  L"\nproduct=Beta|" + MarkedName(L"gone") + L"\nproduct=Gamma\n"));
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
  std::wstring key = MarkedName(L"both");
  UninstallEntry native(kittest::kNativeView, key);
  UninstallEntry wow(kittest::kWowView, key);
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
