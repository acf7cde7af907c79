// Competing products: what the removal library reports, completed from the
// Uninstall entries, read defensively, and removed by command and by library.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "downloader/products/competing_products.h"
#include "tests/unit/support/products_bench.h"

using kittest::ProgramFolder;
using kittest::UninstallEntry;
using kittest::MarkedName;
using kittest::kNativeView;
using kittest::kWowView;

namespace {

const CompetingProduct& Entry(size_t index) { return g_setup.competingProducts[index]; }

// ---- Arrays as a careless or hostile library might hand them over ----

SAFEARRAY* RecordArray(ULONG count, ULONG elementBytes = kProductRecordBytes, UINT dims = 1) {
  SAFEARRAY* array = NULL;
  if (FAILED(SafeArrayAllocDescriptor(dims, &array))) return NULL;
  array->cbElements = elementBytes;
  for (UINT d = 0; d < dims; ++d) {
    array->rgsabound[d].lLbound = 0;
    array->rgsabound[d].cElements = count;
  }
  SafeArrayAllocData(array);
  ULONG total = elementBytes;
  for (UINT d = 0; d < dims; ++d) total *= count;
  memset(array->pvData, 0, total);
  return array;
}

ProductRecord* Records(SAFEARRAY* array) { return static_cast<ProductRecord*>(array->pvData); }

// Null entries stay null BSTRs.
SAFEARRAY* KeyArray(const std::vector<const wchar_t*>& keys) {
  SAFEARRAY* array = SafeArrayCreateVector(VT_BSTR, 0, static_cast<ULONG>(keys.size()));
  for (size_t i = 0; i < keys.size(); ++i) {
    if (keys[i]) static_cast<BSTR*>(array->pvData)[i] = SysAllocString(keys[i]);
  }
  return array;
}

SAFEARRAY* KeyArray(const std::wstring& a) { return KeyArray(std::vector<const wchar_t*>(1, a.c_str())); }

// One record of an answer: its name and its key array.
struct Named {
  Named(const wchar_t* n, SAFEARRAY* k = NULL) : name(n), keys(k) {}
  const wchar_t* name;
  SAFEARRAY* keys;
};

// An answer of well-formed records with these names and keys.
SAFEARRAY* Products(std::initializer_list<Named> records) {
  SAFEARRAY* array = RecordArray(static_cast<ULONG>(records.size()));
  ProductRecord* record = Records(array);
  for (const Named& r : records) {
    record->productName = r.name;
    (record++)->productKeys = r.keys;
  }
  return array;
}

class UntrustedArrays : public ::testing::Test {
 protected:
  ProgramFolder folder;  // for the log; no library
};

TEST_F(UntrustedArrays, RecordsOfAnotherSizeOrShapeAreNotRead) {
  SAFEARRAY* sixteen = RecordArray(2, 16);
  Records(sixteen)[0].productName = L"Looks fine";
  EXPECT_FALSE(FillCompetingProducts(sixteen).Succeeded());
  EXPECT_FALSE(FillCompetingProducts(RecordArray(2, kProductRecordBytes, 2)).Succeeded());
  EXPECT_EQ(0u, g_setup.competingProductCount);
  EXPECT_TRUE(folder.LogHas(L"1 dimension(s) of 16-byte elements"));
  EXPECT_TRUE(folder.LogHas(L"2 dimension(s) of " + std::to_wstring(kProductRecordBytes) + L"-byte elements"));
}

TEST_F(UntrustedArrays, HugeArrayFillsTheTableAndNoMore) {
  const int kRecords = 1000000;
  SAFEARRAY* huge = RecordArray(kRecords);
  std::vector<std::wstring> many(kRecords);
  for (int i = 0; i < kRecords; ++i) {
    many[i] = L"P" + std::to_wstring(i);
    Records(huge)[i].productName = many[i].c_str();
  }
  // Key arrays of records past the full table are still destroyed, once each.
  Records(huge)[kRecords - 1].productKeys = KeyArray(std::wstring(L"{last}"));
  ASSERT_TRUE(FillCompetingProducts(huge).Succeeded());
  ASSERT_EQ(5u, g_setup.competingProductCount);
  EXPECT_STREQ(L"P4", Entry(4).productKey);
}

// Two pages: the first readable, the second not, so that an answer can be
// made to end exactly where readable memory ends.
class PageEdge {
 public:
  PageEdge() {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    page_ = info.dwPageSize;
    base_ = static_cast<char*>(VirtualAlloc(NULL, 2 * page_, MEM_RESERVE, PAGE_NOACCESS));
    if (base_) VirtualAlloc(base_, page_, MEM_COMMIT, PAGE_READWRITE);
  }
  ~PageEdge() {
    if (base_) VirtualFree(base_, 0, MEM_RELEASE);
  }
  bool Ready() const { return base_ != NULL; }
  // The first byte that cannot be read.
  char* Edge() const { return base_ + page_; }
  // Room for `bytes` ending at the edge, zeroed.
  void* Before(size_t bytes) const {
    memset(Edge() - bytes, 0, bytes);
    return Edge() - bytes;
  }

 private:
  char* base_;
  size_t page_;
};

// A one-dimensional array over data it does not own (FADF_STATIC: destroying
// it frees the descriptor only), claiming `count` elements from `lower` on.
SAFEARRAY* ArrayOver(void* data, ULONG count, ULONG elementBytes, USHORT features = 0, LONG lower = 0) {
  SAFEARRAY* array = NULL;
  if (FAILED(SafeArrayAllocDescriptor(1, &array))) return NULL;
  array->fFeatures = static_cast<USHORT>(FADF_STATIC | features);
  array->cbElements = elementBytes;
  array->rgsabound[0].lLbound = lower;
  array->rgsabound[0].cElements = count;
  array->pvData = data;
  return array;
}

TEST_F(UntrustedArrays, AnswersThatLieAboutTheirMemoryAreRefusedWhole) {
  PageEdge edge;
  ASSERT_TRUE(edge.Ready());
  const wchar_t* unreadable = reinterpret_cast<const wchar_t*>(edge.Edge());
  const struct {
    const char* what;
    std::function<SAFEARRAY*()> answer;
    const wchar_t* logged;
  } kCases[] = {
      {"no array at all", [&] { return static_cast<SAFEARRAY*>(NULL); }, NULL},
      {"an array in unreadable memory", [&] { return reinterpret_cast<SAFEARRAY*>(edge.Edge()); },
       L"Removal library products ignored: the array is not readable memory"},
      {"2^31-1 records over one real record",
       [&] {
         ProductRecord* one = static_cast<ProductRecord*>(edge.Before(sizeof(ProductRecord)));
         one->productName = L"Real";
         return ArrayOver(one, 0x7FFFFFFF, kProductRecordBytes);
       },
       L"products ignored: 2147483647 records from index 0 are not all in readable memory"},
      {"one record more than there is",
       [&] {
         ProductRecord* one = static_cast<ProductRecord*>(edge.Before(sizeof(ProductRecord)));
         one->productName = L"Real";
         return ArrayOver(one, 2, kProductRecordBytes);
       },
       L"products ignored: 2 records from index 0 are not all in readable memory"},
      {"an upper bound past the last index",
       [&] {
         SAFEARRAY* array = Products({{L"Real"}, {NULL}});
         array->rgsabound[0].lLbound = 0x7FFFFFFF;
         return array;
       },
       L"products ignored: 2 records from index 2147483647 are not all in readable memory"},
      {"no data for its one record", [&] { return ArrayOver(NULL, 1, kProductRecordBytes); },
       L"products ignored: 1 records from index 0"},
      {"records that own what they point at",
       [&] {
         // Destroyed as it claims to be, the name would be freed as a BSTR.
         SAFEARRAY* array = Products({{L"Real"}});
         array->fFeatures |= FADF_BSTR;
         return array;
       },
       L"products ignored: elements that own what they point at (features 0x0100)"},
      {"a name in unreadable memory", [&] { return Products({{L"Real"}, {unreadable}}); },
       L"answer refused: the name of record 1 is not readable memory"},
      {"a name that runs into unreadable memory",
       [&] {
         wchar_t* name = static_cast<wchar_t*>(edge.Before(4 * sizeof(wchar_t)));
         wmemcpy(name, L"Cut!", 4);
         return Products({{name}});
       },
       L"answer refused: the name of record 0 is not readable memory"},
      {"a key array in unreadable memory",
       [&] { return Products({{L"Real", reinterpret_cast<SAFEARRAY*>(edge.Edge())}}); },
       L"answer refused: the key array of record 0 cannot be read safely"},
      {"more keys than there are",
       [&] {
         BSTR* one = static_cast<BSTR*>(edge.Before(sizeof(BSTR)));
         one[0] = SysAllocString(L"{key}");
         return Products({{L"Real", ArrayOver(one, 1000, sizeof(BSTR), FADF_BSTR)}});
       },
       L"the key array of record 0 cannot be read safely"},
      {"a key in unreadable memory",
       [&] {
         SAFEARRAY* keys = KeyArray(std::wstring(L"{key}"));
         static_cast<BSTR*>(keys->pvData)[0] = reinterpret_cast<BSTR>(edge.Edge() + sizeof(DWORD));
         return Products({{L"Real", keys}});
       },
       L"the key array of record 0 cannot be read safely"},
      {"keys of interfaces", [&] { return Products({{L"Real", SafeArrayCreateVector(VT_UNKNOWN, 0, 1)}}); },
       L"the key array of record 0 cannot be read safely"},
      {"one key array in two records",
       [&] {
         // Destroyed once per record, it would be freed twice.
         SAFEARRAY* keys = KeyArray(std::wstring(L"{shared}"));
         return Products({{L"Real", keys}, {L"Twin", keys}});
       },
       L"the key array of record 1 cannot be read safely"},
  };
  for (size_t i = 0; i < sizeof(kCases) / sizeof(kCases[0]); ++i) {
    SCOPED_TRACE(kCases[i].what);
    EXPECT_FALSE(FillCompetingProducts(kCases[i].answer()).Succeeded());
    EXPECT_EQ(0u, g_setup.competingProductCount);
    if (kCases[i].logged) {
      EXPECT_TRUE(folder.LogHas(kCases[i].logged));
    }
  }
}

TEST_F(UntrustedArrays, NullAndOverlongNamesNeverReachTheTable) {
  std::wstring key = MarkedName(L"k");
  std::wstring longName(600, L'n');
  SAFEARRAY* array = Products({{NULL},  // nothing identifies it
                               {longName.c_str(), KeyArray(key)},
                               {NULL, KeyArray(key)},  // its key identifies it
                               {L"Fine"}});
  ASSERT_TRUE(FillCompetingProducts(array).Succeeded());
  ASSERT_EQ(2u, g_setup.competingProductCount);
  EXPECT_STREQ(L"", Entry(0).displayName);
  EXPECT_EQ(key, Entry(0).productKey);
  EXPECT_EQ(key, Entry(0).uninstallString);
  EXPECT_STREQ(L"Fine", Entry(1).displayName);
  EXPECT_TRUE(folder.LogHas(L"Skipping a product whose name has 520 characters or more"));
}

TEST_F(UntrustedArrays, KeysThatDoNotFitAreSkippedOrNotLookedUp) {
  std::wstring tooLong(600, L'x');
  std::wstring noLookUp(500, L'y');  // fits an entry, not the Uninstall subkey
  std::wstring fine = MarkedName(L"fine");
  std::vector<const wchar_t*> keys = {NULL, L"", tooLong.c_str(), noLookUp.c_str(), fine.c_str()};
  ASSERT_TRUE(FillCompetingProducts(Products({{L"Keyed", KeyArray(keys)}})).Succeeded());
  ASSERT_EQ(2u, g_setup.competingProductCount);
  EXPECT_EQ(noLookUp, Entry(0).productKey);
  EXPECT_EQ(noLookUp, Entry(0).uninstallString);
  EXPECT_STREQ(L"Keyed", Entry(0).displayName);
  EXPECT_EQ(fine, Entry(1).productKey);
  EXPECT_TRUE(folder.LogHas(L"[SETUP] Uninstall key too long to look up: " + noLookUp));
  EXPECT_TRUE(folder.LogHas(L"Skipping a key of product Keyed with 520 characters or more"));
}

TEST_F(UntrustedArrays, KeyArrayOfAnotherTypeIsSkipped) {
  SAFEARRAY* numbers = SafeArrayCreateVector(VT_I4, 0, 2);
  std::wstring key = MarkedName(L"k");
  ASSERT_TRUE(FillCompetingProducts(Products({{L"Numbers", numbers}, {L"Strings", KeyArray(key)}})).Succeeded());
  ASSERT_EQ(1u, g_setup.competingProductCount);
  EXPECT_EQ(key, Entry(0).productKey);
  EXPECT_TRUE(folder.LogHas(L"Removal library keys ignored: type 3"));
}

// ---- Handing records to the library's removal ----

std::vector<std::wstring> g_asked;
std::map<std::wstring, unsigned char> g_answers;

unsigned char __stdcall FakeUninstallProduct(ProductRecord* record, unsigned char* flag, int reserved) {
  std::wstring name = record->productName ? record->productName : L"(null)";
  g_asked.push_back(name);
  EXPECT_EQ(1u, record->selected);
  EXPECT_EQ(0, *flag);
  EXPECT_EQ(0, reserved);
  EXPECT_TRUE(record->productKeys == NULL || record->productKeys->rgsabound[0].cElements != 0)
      << "keys are still there while the library removes";
  return g_answers[name];
}

class RemovalByKey : public ::testing::Test {
 protected:
  void SetUp() override {
    g_asked.clear();
    g_answers.clear();
  }
  ProgramFolder folder;
};

TEST_F(RemovalByKey, EveryRecordOwningTheKeyIsAskedAndTheLastAnswerCounts) {
  for (int failingFirst = 0; failingFirst < 2; ++failingFirst) {
    g_asked.clear();
    g_answers[L"First"] = failingFirst ? 0 : 1;
    g_answers[L"Second"] = failingFirst ? 1 : 0;
    std::vector<const wchar_t*> firstKeys = {L"{other}", L"{shared}"};
    SAFEARRAY* array = Products({{L"First", KeyArray(firstKeys)},
                                 {L"Unrelated", KeyArray(std::wstring(L"{SHARED}"))},
                                 {L"Second", KeyArray(std::wstring(L"{shared}"))}});
    EXPECT_EQ(failingFirst == 1, UninstallRecordsOwningKey(array, L"{shared}", FakeUninstallProduct).Succeeded());
    ASSERT_EQ(2u, g_asked.size());
    EXPECT_EQ(L"First", g_asked[0]);
    EXPECT_EQ(L"Second", g_asked[1]);
  }
}

TEST_F(RemovalByKey, RecordWithoutKeysIsMatchedByItsExactName) {
  g_answers[L"Keyless"] = 1;
  SAFEARRAY* array = Products({{L"keyless"}, {NULL}, {L"Keyless"}});
  EXPECT_TRUE(UninstallRecordsOwningKey(array, L"Keyless", FakeUninstallProduct).Succeeded());
  ASSERT_EQ(1u, g_asked.size());

  g_asked.clear();
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_NOT_FOUND),
            UninstallRecordsOwningKey(Products({{L"Keyless"}}), L"Keyles", FakeUninstallProduct).Code());
  EXPECT_TRUE(g_asked.empty());
}

TEST_F(RemovalByKey, UnreadableArraysAskNobody) {
  SAFEARRAY* array = RecordArray(1, 24);
  Records(array)[0].productName = L"Keyless";
  EXPECT_FALSE(UninstallRecordsOwningKey(array, L"Keyless", FakeUninstallProduct).Succeeded());
  array = Products({{L"Numbers", SafeArrayCreateVector(VT_I4, 0, 1)}});
  EXPECT_FALSE(UninstallRecordsOwningKey(array, L"Numbers", FakeUninstallProduct).Succeeded());
  // A record past the claimed memory refuses the whole answer, the records before it too.
  array = Products({{L"Keyless"}, {NULL}});
  array->rgsabound[0].cElements = 0x7FFFFFFF;
  EXPECT_FALSE(UninstallRecordsOwningKey(array, L"Keyless", FakeUninstallProduct).Succeeded());
  EXPECT_TRUE(g_asked.empty());
}

// ---- Detection through the stand-in library and the real registry ----

class Detection : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(folder.PutLibrary(L"wipekit")); }
  ProgramFolder folder;
};

TEST(DetectionWithoutLibrary, FindsNothingAndLogsWhy) {
  ProgramFolder folder;
  EXPECT_FALSE(DetectCompetingProducts().Succeeded());
  EXPECT_EQ(0u, g_setup.competingProductCount);
  EXPECT_TRUE(folder.LogHas(L"[SETUP][CUninstallDllWrapper] m_hUninstallDll is NULL"));
  EXPECT_TRUE(folder.LogHas(L"[SETUP] [CUninstallDllWrapper] could not load <" + folder.File(L"wipekit.dll")));
}

TEST(DetectionWithoutLibrary, LibraryWithoutProductListFindsNothing) {
  ProgramFolder folder;
  ASSERT_TRUE(folder.PutLibrary(L"wipekit_noinstalled"));
  ASSERT_TRUE(folder.PutCatalogue(L"product=Anything\n"));
  EXPECT_FALSE(DetectCompetingProducts().Succeeded());
  EXPECT_EQ(0u, g_setup.competingProductCount);
}

TEST_F(Detection, LibraryThatKnowsNothingInstalledFindsNothing) {
  ASSERT_TRUE(folder.PutCatalogue(L"product=Not here|" + MarkedName(L"missing") + L"\n"));
  EXPECT_FALSE(DetectCompetingProducts().Succeeded());
  EXPECT_EQ(0u, g_setup.competingProductCount);
}

TEST_F(Detection, EachKeyOfAProductIsAnEntryOfItsOwn) {
  UninstallEntry a(kNativeView, MarkedName(L"a"));
  UninstallEntry b(kNativeView, MarkedName(L"b"));
  UninstallEntry c(kNativeView, MarkedName(L"c"));
  a.Named(L"Rival A", L"C:\\Rival\\a.exe");
  b.Named(L"Rival B", L"C:\\Rival\\b.exe");
  c.Named(L"Rival C", L"C:\\Rival\\c.exe");
  ASSERT_TRUE(folder.PutCatalogue(L"product=Rival|" + a.Key() + L";" + b.Key() + L";" + c.Key() + L"\n"));
  ASSERT_TRUE(DetectCompetingProducts().Succeeded());
  ASSERT_EQ(3u, g_setup.competingProductCount);
  EXPECT_STREQ(L"Rival A", Entry(0).displayName);
  EXPECT_STREQ(L"C:\\Rival\\b.exe", Entry(1).uninstallString);
  EXPECT_EQ(c.Key(), Entry(2).productKey);
}

TEST_F(Detection, TableKeepsTheFirstFiveOfSevenProducts) {
  std::wstring catalogue;
  for (int i = 1; i <= 7; ++i) catalogue += L"product=Keyless " + std::to_wstring(i) + L"\n";
  ASSERT_TRUE(folder.PutCatalogue(catalogue));
  ASSERT_TRUE(DetectCompetingProducts().Succeeded());
  ASSERT_EQ(5u, g_setup.competingProductCount);
  for (size_t i = 0; i < 5; ++i) {
    std::wstring name = L"Keyless " + std::to_wstring(i + 1);
    EXPECT_EQ(name, Entry(i).displayName);
    EXPECT_EQ(name, Entry(i).productKey);
    EXPECT_STREQ(L"", Entry(i).uninstallString);
  }
}

TEST_F(Detection, NativeEntryWinsAndWow6432NodeIsNotRead) {
  std::wstring key = MarkedName(L"both");
  UninstallEntry native(kNativeView, key);
  UninstallEntry wow(kWowView, key);
  native.Named(L"Native name", L"C:\\native\\uninst.exe");
  wow.Named(L"Wow name", L"C:\\wow\\uninst.exe");
  ASSERT_TRUE(folder.PutCatalogue(L"product=Library name|" + key + L"\n"));
  ASSERT_TRUE(DetectCompetingProducts().Succeeded());
  ASSERT_EQ(1u, g_setup.competingProductCount);
  EXPECT_STREQ(L"Native name", Entry(0).displayName);
  EXPECT_STREQ(L"C:\\native\\uninst.exe", Entry(0).uninstallString);
}

TEST_F(Detection, Wow6432NodeEntryServesWhenThereIsNoNativeOne) {
  UninstallEntry wow(kWowView, MarkedName(L"wow"));
  wow.Named(L"Wow name", L"C:\\wow\\uninst.exe");
  ASSERT_TRUE(folder.PutCatalogue(L"product=Library name|" + wow.Key() + L"\n"));
  ASSERT_TRUE(DetectCompetingProducts().Succeeded());
  ASSERT_EQ(1u, g_setup.competingProductCount);
  EXPECT_STREQ(L"Wow name", Entry(0).displayName);
  EXPECT_STREQ(L"C:\\wow\\uninst.exe", Entry(0).uninstallString);
  EXPECT_TRUE(folder.LogHas(L"[SETUP] Cannot open regKey: " + kittest::UninstallParent(kNativeView) + L"\\" +
                            wow.Key() + L" (error 2)"));
}

TEST_F(Detection, WithoutEntriesTheLibraryNameAndTheKeyStand) {
  UninstallEntry present(kNativeView, MarkedName(L"present"));
  present.Named(L"Present", L"C:\\present.exe");
  std::wstring absent = MarkedName(L"absent");
  UninstallEntry nameOnly(kNativeView, MarkedName(L"nameonly"));
  nameOnly.Set(L"DisplayName", L"Name only");
  ASSERT_TRUE(folder.PutCatalogue(L"product=Library name|" + present.Key() + L";" + absent + L";" +
                                  nameOnly.Key() + L"\n"));
  ASSERT_TRUE(DetectCompetingProducts().Succeeded());
  ASSERT_EQ(3u, g_setup.competingProductCount);
  EXPECT_STREQ(L"Library name", Entry(1).displayName);
  EXPECT_EQ(absent, Entry(1).uninstallString);
  EXPECT_EQ(absent, Entry(1).productKey);
  EXPECT_TRUE(folder.LogHas(L"[SETUP] Cannot open regKey: " + kittest::UninstallParent(kWowView) + L"\\" +
                            absent + L" (error 2)"));
  // A display name found without an uninstall command is kept.
  EXPECT_STREQ(L"Name only", Entry(2).displayName);
  EXPECT_EQ(nameOnly.Key(), Entry(2).uninstallString);
}

// ---- Reading one Uninstall value ----

TEST(ReadUninstallValue, TakesTextsUpTo259CharactersAsStored) {
  ProgramFolder folder;
  UninstallEntry entry(kNativeView, MarkedName(L"values"));
  std::wstring path = entry.Path();
  wchar_t buffer[kCompetingTextChars];

  entry.Set(L"Expand", L"%SystemRoot%\\u.exe", REG_EXPAND_SZ);
  EXPECT_TRUE(ReadUninstallValue(path.c_str(), L"Expand", buffer).Succeeded());
  EXPECT_STREQ(L"%SystemRoot%\\u.exe", buffer);

  std::wstring longest(259, L'a');
  entry.Set(L"Longest", longest);
  EXPECT_TRUE(ReadUninstallValue(path.c_str(), L"Longest", buffer).Succeeded());
  EXPECT_EQ(longest, buffer);

  // Stored without a terminator: the text still ends where the data ends.
  std::wstring unterminated(259, L'b');
  entry.SetRaw(L"Unterminated", REG_SZ, unterminated.c_str(), 259 * sizeof(wchar_t));
  memset(buffer, 0xCC, sizeof(buffer));
  EXPECT_TRUE(ReadUninstallValue(path.c_str(), L"Unterminated", buffer).Succeeded());
  EXPECT_EQ(unterminated, buffer);
}

TEST(ReadUninstallValue, RefusesLongMissingAndOtherTypes) {
  ProgramFolder folder;
  UninstallEntry entry(kNativeView, MarkedName(L"values"));
  std::wstring path = entry.Path();
  wchar_t buffer[kCompetingTextChars];

  entry.Set(L"TooLong", std::wstring(260, L'c'));
  EXPECT_FALSE(ReadUninstallValue(path.c_str(), L"TooLong", buffer).Succeeded());
  EXPECT_STREQ(L"", buffer);
  std::wstring full(260, L'd');
  entry.SetRaw(L"FullUnterminated", REG_SZ, full.c_str(), 260 * sizeof(wchar_t));
  EXPECT_FALSE(ReadUninstallValue(path.c_str(), L"FullUnterminated", buffer).Succeeded());
  EXPECT_STREQ(L"", buffer);
  EXPECT_TRUE(folder.LogHas(L"[SETUP] Cannot query value \"FullUnterminated\" in key: " + path + L" (error 234)"));

  DWORD number = 0x00410041;
  entry.SetRaw(L"Number", REG_DWORD, &number, sizeof(number));
  EXPECT_FALSE(ReadUninstallValue(path.c_str(), L"Number", buffer).Succeeded());
  EXPECT_STREQ(L"", buffer);
  entry.SetRaw(L"Multi", REG_MULTI_SZ, L"a\0b\0", 5 * sizeof(wchar_t));
  EXPECT_FALSE(ReadUninstallValue(path.c_str(), L"Multi", buffer).Succeeded());

  EXPECT_FALSE(ReadUninstallValue(path.c_str(), L"Missing", buffer).Succeeded());
  EXPECT_TRUE(folder.LogHas(L"[SETUP] Cannot query value \"Missing\" in key: " + path + L" (error 2)"));
}

// ---- Removal ----

class Removal : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder.PutLibrary(L"wipekit"));
    ASSERT_TRUE(folder.PutStandIn(L"uninst.exe"));
  }
  void TearDown() override { kittest::DeleteOwnRestartRegistration(folder.Path()); }

  // A detected product with one key whose native entry carries `command`.
  void DetectProduct(const UninstallEntry& entry, const std::wstring& command, const wchar_t* flags = L"") {
    entry.Named(L"Rival", command);
    ASSERT_TRUE(folder.PutCatalogue(L"product=Rival|" + entry.Key() + L"|" + flags + L"\n"));
    ASSERT_TRUE(DetectCompetingProducts().Succeeded());
    ASSERT_EQ(1u, g_setup.competingProductCount);
    ASSERT_EQ(command, Entry(0).uninstallString);
  }
  DWORD RemoveFirst() {
    unsigned char* selection = new unsigned char[g_setup.competingProductCount]();
    selection[0] = 1;
    return UninstallSelectedProducts(selection);
  }
  bool LibraryWasAsked() const { return folder.LogHas(L"[SETUP] Uninstall product call into wipekit"); }

  ProgramFolder folder;
};

TEST_F(Removal, WindowsInstallerCommandIsOnlyRun) {
  ASSERT_TRUE(folder.PutStandIn(L"MsiExec.exe"));
  UninstallEntry entry(kNativeView, MarkedName(L"msi"));
  std::wstring command = folder.File(L"MsiExec.exe") + L" /X{12345678-1234-1234-1234-123456789012}";
  DetectProduct(entry, command);
  EXPECT_EQ(0u, RemoveFirst());
  std::vector<std::wstring> record = folder.StandInRecord(L"MsiExec.exe");
  ASSERT_EQ(1u, record.size());
  EXPECT_EQ(command, record[0]);
  EXPECT_FALSE(LibraryWasAsked());
  EXPECT_TRUE(entry.Exists());
}

TEST_F(Removal, ExistingUninstallerPathIsOnlyRun) {
  UninstallEntry entry(kNativeView, MarkedName(L"path"));
  DetectProduct(entry, folder.File(L"uninst.exe"));
  EXPECT_EQ(0u, RemoveFirst());
  EXPECT_EQ(1u, folder.StandInRecord(L"uninst.exe").size());
  EXPECT_FALSE(LibraryWasAsked());
  EXPECT_TRUE(entry.Exists());
}

TEST_F(Removal, QuotedCommandWithArgumentsIsRunAndThenHandedToTheLibrary) {
  UninstallEntry entry(kNativeView, MarkedName(L"quoted"));
  std::wstring command = L"\"" + folder.File(L"uninst.exe") + L"\" /S";
  DetectProduct(entry, command);
  EXPECT_EQ(0u, RemoveFirst());
  std::vector<std::wstring> record = folder.StandInRecord(L"uninst.exe");
  ASSERT_EQ(1u, record.size());
  EXPECT_EQ(command, record[0]);
  EXPECT_TRUE(LibraryWasAsked());
  EXPECT_FALSE(entry.Exists()) << "the library removed the product";
}

TEST_F(Removal, CommandsThatCannotStartAreHandedToTheLibrary) {
  const wchar_t* commands[] = {L"{12345678-1234-1234-1234-123456789012}", L""};
  for (int i = 0; i < 2; ++i) {
    UninstallEntry entry(kNativeView, MarkedName(L"nostart"));
    DetectProduct(entry, commands[i]);
    EXPECT_EQ(0u, RemoveFirst()) << i;
    EXPECT_FALSE(entry.Exists()) << i;
  }
  EXPECT_TRUE(LibraryWasAsked());
}

TEST_F(Removal, FailedLibraryRemovalIsReported) {
  UninstallEntry entry(kNativeView, MarkedName(L"fails"));
  DetectProduct(entry, L"{12345678-1234-1234-1234-123456789012}", L"fail");
  EXPECT_EQ(kRemovalFailed, RemoveFirst());
  EXPECT_TRUE(entry.Exists());
}

TEST_F(Removal, ProductGoneBeforeTheLibraryIsAskedIsAFailedRemoval) {
  UninstallEntry entry(kNativeView, MarkedName(L"gone"));
  DetectProduct(entry, L"{12345678-1234-1234-1234-123456789012}");
  ASSERT_TRUE(folder.PutCatalogue(L"product=Someone else|" + entry.Key() + L"x\n"));
  EXPECT_EQ(kRemovalFailed, RemoveFirst());
  EXPECT_FALSE(UninstallByKey(entry.Key().c_str()).Succeeded());
}

TEST_F(Removal, LibraryWithoutRemovalEntryPointIsAFailedRemoval) {
  UninstallDll().Unload();
  ASSERT_TRUE(folder.PutLibrary(L"wipekit_nouninstall"));
  UninstallEntry entry(kNativeView, MarkedName(L"noexport"));
  DetectProduct(entry, L"{12345678-1234-1234-1234-123456789012}");
  EXPECT_EQ(kRemovalFailed, RemoveFirst());
  EXPECT_TRUE(folder.LogHas(L"[SETUP][CUninstallDllWrapper] pfnUninstallProduct is NULL: cannot remove " +
                            entry.Key()));
  EXPECT_TRUE(entry.Exists());
}

TEST_F(Removal, RestartIsRegisteredBeforeAnythingRuns) {
  UninstallEntry entry(kNativeView, MarkedName(L"order"));
  DetectProduct(entry, folder.File(L"uninst.exe"));
  EXPECT_EQ(0u, RemoveFirst());
  int registered = folder.LogIndexOf(L"RunSetupAfterRestart");
  int ran = folder.LogIndexOf(folder.File(L"uninst.exe"));
  ASSERT_GE(registered, 0);
  ASSERT_GE(ran, 0);
  EXPECT_LT(registered, ran);
}

TEST_F(Removal, NothingSelectedStillRegistersRestartAndRunsNothing) {
  UninstallEntry entry(kNativeView, MarkedName(L"unselected"));
  DetectProduct(entry, L"\"" + folder.File(L"uninst.exe") + L"\" /S");
  EXPECT_EQ(0u, UninstallSelectedProducts(new unsigned char[1]()));
  std::wstring data;
  EXPECT_TRUE(kittest::OwnRestartRegistration(folder.Path(), &data));
  EXPECT_NE(std::wstring::npos, data.find(L"/after_restart")) << data;
  EXPECT_TRUE(folder.StandInRecord(L"uninst.exe").empty());
  EXPECT_TRUE(entry.Exists());
}

TEST_F(Removal, NullSelectionDoesNothing) {
  EXPECT_EQ(0u, UninstallSelectedProducts(NULL));
  EXPECT_FALSE(folder.LogHas(L"RunSetupAfterRestart"));
}

}  // namespace
