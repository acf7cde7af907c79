// The buy link built from contacts.xml and the program's own store rows, the
// install items marked local, and the patch list applied to the install
// descriptor, on real documents through the DOM.
#include <gtest/gtest.h>

#include <string>

#include "common/fixed_string.h"
#include "downloader/config/install_descriptor.h"
#include "downloader/services/setup_state.h"
#include "tests/unit/support/captured_log.h"
#include "tests/unit/support/program_resources.h"
#include "tests/unit/support/scratch_files.h"
#include "tests/unit/support/xml_test_files.h"

namespace {

const char kRow2000[] = "https://secure.orderdesk-rn.example/softsell/nph-softsell.cgi?";

std::string Contacts(const std::string& children) {
  return "<?xml version=\"1.0\"?>\n<contacttool>\n  <contacts>\n    <def_items>" + children +
         "</def_items>\n  </contacts>\n</contacttool>\n";
}

class BuyLinkTest : public ::testing::Test {
 protected:
  static void SetUpTestCase() { resources_ = kittest::LoadProgramResources(); }
  static void TearDownTestCase() {
    if (resources_) FreeLibrary(resources_);
    resources_ = NULL;
  }
  void SetUp() override {
    ASSERT_TRUE(resources_ != NULL) << "kitfetcher.exe not found";
    ResetSetupState();
    g_setup.resourceModule = resources_;
    qn::CopyText(g_setup.programFolder, MAX_PATH, (folder_.Path() + L"\\").c_str());
  }
  void TearDown() override { ResetSetupState(); }

  // Runs BuildBuyLink for the parent path; returns the log.
  std::string Build(const std::string& contacts, const std::wstring& parent) {
    if (!contacts.empty()) {
      EXPECT_TRUE(kittest::WriteBytes(folder_.Sub(L"contacts.xml"), contacts));
    }
    qn::CopyText(g_setup.parentProcessPath, MAX_PATH, parent.c_str());
    kittest::LogCapture log(folder_.Sub(L"log.txt"));
    BuildBuyLink();
    return log.Messages();
  }
  std::string Link() const {
    std::wstring link(g_setup.buyLink);
    return std::string(link.begin(), link.end());
  }
  void ExpectNoLink() {
    EXPECT_FALSE(g_setup.hasBuyLink);
    EXPECT_STREQ(L"", g_setup.buyLink);
  }

  static HMODULE resources_;
  kittest::ScratchFolder folder_;
};

HMODULE BuyLinkTest::resources_ = NULL;

const char kFourItems[] = "<item>12345</item><item>222</item><item>333</item><item>0</item>";

TEST_F(BuyLinkTest, FirstRowWithItemAndAffiliateCode) {
  std::string log = Build(Contacts(kFourItems), L"C:\\Downloads\\Product_rn-4711.exe");
  EXPECT_TRUE(g_setup.hasBuyLink);
  EXPECT_EQ(std::string(kRow2000) + "item=12345&affiliate=4711", Link());
  EXPECT_EQ("[SETUP] Buy Link (affiliate): " + Link() + "\n", log);
}

TEST_F(BuyLinkTest, ItemZeroPassesTheAffiliateCodeAlone) {
  Build(Contacts(kFourItems), L"C:\\Downloads\\Product_tlr-99.exe");
  EXPECT_EQ("http://www.tl-redirect.example/redirprod.html?N=99", Link());

  // A two-placeholder row gets an empty second text, never a missing argument.
  ResetSetupState();
  SetUp();
  Build(Contacts("<item>0</item>"), L"C:\\Downloads\\Product_rn-4711.exe");
  EXPECT_EQ(std::string(kRow2000) + "item=4711&affiliate=", Link());
}

TEST_F(BuyLinkTest, MarkerSearchIsCaseSensitiveAndFirstRowWins) {
  Build(Contacts(kFourItems), L"C:\\Downloads\\Product_RN-4711.exe");
  ExpectNoLink();

  Build("", L"C:\\Downloads\\Product_sh-1_rn-2.exe");
  EXPECT_EQ(std::string(kRow2000) + "item=12345&affiliate=2", Link());
}

TEST_F(BuyLinkTest, MarkerInAFolderNameTakesTheRestOfThePath) {
  Build(Contacts(kFourItems), L"C:\\dl.v2\\Shop_rn-55\\setup.exe");
  EXPECT_EQ(std::string(kRow2000) + "item=12345&affiliate=55\\setup", Link());
}

TEST_F(BuyLinkTest, ACommentTakesARowIdLikeAnElement) {
  Build(Contacts("<!-- first store --><item>555</item>"), L"C:\\Downloads\\Product_sh-77.exe");
  EXPECT_EQ("http://www.sharestore.example/product.html?productid=555&affiliateid=77", Link());
}

TEST_F(BuyLinkTest, MissingOrBrokenContactsGiveNoLink) {
  const std::wstring parent = L"C:\\Downloads\\Product_rn-4711.exe";
  EXPECT_EQ("", Build("", parent));
  ExpectNoLink();
  const std::string broken[] = {
      "<contacttool><contacts><def_items><item>1</item>",  // truncated
      "<contacttool><contacts/></contacttool>",             // no def_items
      Contacts(""),                                         // no children
  };
  for (size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ("", Build(broken[i], parent));
    ExpectNoLink();
  }
  EXPECT_EQ("", Build(Contacts(kFourItems), L""));
  ExpectNoLink();
}

TEST_F(BuyLinkTest, LinkTooLongIsDroppedAndNoLaterRowIsTried) {
  // Row 2000 matches but its link would pass 259 characters; row 2001 would fit.
  std::string log = Build(Contacts("<item>" + std::string(200, '9') + "</item><item>5</item>"),
                          L"C:\\Downloads\\Product_rn-1_sh-2.exe");
  ExpectNoLink();
  EXPECT_EQ("[SETUP] Buy link for store marker _rn- dropped: longer than 259 characters\n", log);

  Build(Contacts("<item>" + std::string(10000, '9') + "</item>"), L"C:\\Downloads\\Product_rn-1.exe");
  ExpectNoLink();

  // An affiliate code that fills the whole parent path.
  std::wstring longParent = L"C:\\_rn-" + std::wstring(248, L'7') + L".exe";
  ASSERT_EQ(259u, longParent.size());
  Build(Contacts(kFourItems), longParent);
  ExpectNoLink();
}

class MarkItemsLocalTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetSetupState();
    path_ = folder_.Sub(L"install_x86.xml");
  }
  void TearDown() override { ResetSetupState(); }

  // Writes the descriptor, ages it, runs MarkItemsLocal; true when rewritten.
  bool Mark(const std::string& descriptor) {
    EXPECT_TRUE(kittest::WriteBytes(path_, descriptor));
    kittest::AgeFile(path_);
    ULONGLONG before = kittest::LastWriteTime(path_);
    MarkItemsLocal(path_.c_str());
    return kittest::LastWriteTime(path_) != before;
  }

  kittest::ScratchFolder folder_;
  std::wstring path_;
};

TEST_F(MarkItemsLocalTest, ChangesOnlyAttributesThatExist) {
  ASSERT_TRUE(Mark(
      "<install><Edition update=\"1\">x</Edition><items>"
      "<item name=\"both\" update=\"1\" uselocal=\"0\"/>"
      "<!-- note -->"
      "<item name=\"update_only\" update=\"1\"/>"
      "<item name=\"uselocal_only\" uselocal=\"0\"/>"
      "<item name=\"plain\"/>"
      "</items></install>"));
  kittest::Document doc(path_);
  EXPECT_EQ(L"0", doc.Text(L"/install/items/item[@name='both']/@update"));
  EXPECT_EQ(L"1", doc.Text(L"/install/items/item[@name='both']/@uselocal"));
  EXPECT_EQ(L"0", doc.Text(L"/install/items/item[@name='update_only']/@update"));
  EXPECT_EQ(0, doc.Count(L"/install/items/item[@name='update_only']/@uselocal"));
  EXPECT_EQ(L"1", doc.Text(L"/install/items/item[@name='uselocal_only']/@uselocal"));
  EXPECT_EQ(0, doc.Count(L"/install/items/item[@name='uselocal_only']/@update"));
  EXPECT_EQ(1, doc.Count(L"/install/items/item[@name='plain']/@*"));
  EXPECT_EQ(L"1", doc.Text(L"/install/Edition/@update"));  // outside items
  EXPECT_EQ(1, doc.Count(L"/install/items/comment()"));
}

TEST_F(MarkItemsLocalTest, DescriptorWithoutItemsIsNotRewritten) {
  const std::string unchanged[] = {
      "<install><items/></install>",
      "<install><items></items><Edition>x</Edition></install>",
      "<install><Edition>x</Edition></install>",
      "<install><items><item update=\"1\"/></items>",  // truncated
      "",
  };
  for (size_t i = 0; i < sizeof(unchanged) / sizeof(unchanged[0]); ++i) {
    SCOPED_TRACE(i);
    EXPECT_FALSE(Mark(unchanged[i]));
    EXPECT_EQ(unchanged[i], kittest::ReadBytes(path_));
  }
  std::wstring missing = folder_.Sub(L"missing.xml");
  MarkItemsLocal(missing.c_str());
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(missing.c_str()));
}

TEST_F(MarkItemsLocalTest, LongAttributeValuesAreReplaced) {
  ASSERT_TRUE(Mark("<install><items><item update=\"" + std::string(10000, '1') + "\"/></items></install>"));
  EXPECT_EQ(L"0", kittest::Document(path_).Text(L"/install/items/item/@update"));
}

// ---- The patch list applied to a real install descriptor, with the log lines each case leaves ----

const char kDescriptor[] =
    "<?xml version=\"1.0\"?>\n"
    "<install>\n"
    "  <Edition>Trial</Edition>\n"
    "  <DownloadNewFiles>1</DownloadNewFiles>\n"
    "  <items><item name=\"a\" update=\"1\"/><item name=\"b\" update=\"1\"/></items>\n"
    "</install>\n";

class XmlPatchesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetSetupState();
    path_ = folder_.Sub(L"install_x86.xml");
    ASSERT_TRUE(kittest::WriteBytes(path_, kDescriptor));
  }
  void TearDown() override { ResetSetupState(); }

  void Add(const wchar_t* path, const wchar_t* value, bool create) {
    EXPECT_TRUE(g_setup.locations.xmlPatches.push_back(XmlPatch(path, value, create)));
  }
  std::string Apply() {
    kittest::LogCapture log(folder_.Sub(L"log.txt"));
    ApplyXmlPatches(path_.c_str(), g_setup.locations.xmlPatches, runPatches_);
    return log.Messages();
  }
  std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }
  std::string AppliedLine() { return "[KITFETCHER] Applying xmlpatches on file " + Narrow(path_) + "\n"; }

  kittest::ScratchFolder folder_;
  std::wstring path_;
  XmlPatchList runPatches_;
};

TEST_F(XmlPatchesTest, ExistingNodeGetsTheNewText) {
  Add(L"/install/DownloadNewFiles", L"0", true);
  EXPECT_EQ(AppliedLine() + "[KITFETCHER] Found valid patch: node </install/DownloadNewFiles> value <0>\n", Apply());
  kittest::Document doc(path_);
  EXPECT_EQ(1, doc.Count(L"/install/DownloadNewFiles"));
  EXPECT_EQ(L"0", doc.Text(L"/install/DownloadNewFiles"));
  EXPECT_EQ(L"Trial", doc.Text(L"/install/Edition"));
}

TEST_F(XmlPatchesTest, MissingNodeIsCreatedOnlyWhenTheEntryMayCreateIt) {
  Add(L"/install/affiliate_source", L"partner", false);
  Add(L"/install/affiliate_source", L"partner", true);
  Add(L"/install/UseAffiliateSource", L"1", true);
  std::string log = Apply();
  EXPECT_EQ(AppliedLine() +
                "[KITFETCHER] Found valid patch: node </install/affiliate_source> value <partner>\n"
                "[KITFETCHER] Cannot access node /install/affiliate_source\n"
                "[KITFETCHER] Found valid patch: node </install/affiliate_source> value <partner>\n"
                "[KITFETCHER] Found valid patch: node </install/UseAffiliateSource> value <1>\n",
            log);
  kittest::Document doc(path_);
  EXPECT_EQ(1, doc.Count(L"/install/affiliate_source"));
  EXPECT_EQ(L"partner", doc.Text(L"/install/affiliate_source"));
  // Appended as the last children, in list order.
  EXPECT_EQ(1, doc.Count(L"/install/*[last()][self::UseAffiliateSource]"));
  EXPECT_EQ(1, doc.Count(L"/install/*[last()-1][self::affiliate_source]"));
}

TEST_F(XmlPatchesTest, NodeWithChildrenBecomesOneText) {
  Add(L"/install/items", L"none", false);
  Apply();
  kittest::Document doc(path_);
  EXPECT_EQ(0, doc.Count(L"/install/items/item"));
  EXPECT_EQ(L"none", doc.Text(L"/install/items"));
}

TEST_F(XmlPatchesTest, LaterEntryForTheSamePathWinsAndSeesACreatedNode) {
  Add(L"/install/Flag", L"first", true);
  Add(L"/install/Flag", L"second", false);
  Apply();
  kittest::Document doc(path_);
  EXPECT_EQ(1, doc.Count(L"/install/Flag"));
  EXPECT_EQ(L"second", doc.Text(L"/install/Flag"));
}

TEST_F(XmlPatchesTest, TheRunsOwnPatchesFollowTheKits) {
  ASSERT_TRUE(runPatches_.push_back(XmlPatch(L"/install/Edition", L"run", true)));
  Add(L"/install/Edition", L"kit", false);
  Apply();
  EXPECT_EQ(L"run", kittest::Document(path_).Text(L"/install/Edition"));
}

TEST_F(XmlPatchesTest, EmptyListStillResavesTheFile) {
  kittest::AgeFile(path_);
  ULONGLONG before = kittest::LastWriteTime(path_);
  EXPECT_EQ(AppliedLine(), Apply());
  EXPECT_NE(before, kittest::LastWriteTime(path_));
  EXPECT_EQ(L"Trial", kittest::Document(path_).Text(L"/install/Edition"));
}

TEST_F(XmlPatchesTest, InvalidEntriesArePassedOverSilently) {
  ASSERT_TRUE(g_setup.locations.xmlPatches.push_back(XmlPatch(NULL, L"x", true)));
  Add(L"/install/Edition", NULL, true);
  Add(L"", L"x", true);
  Add(L"/install/Edition", L"", true);
  EXPECT_EQ(AppliedLine(), Apply());
  EXPECT_EQ(L"Trial", kittest::Document(path_).Text(L"/install/Edition"));
}

TEST_F(XmlPatchesTest, UnloadableDocumentIsNotWritten) {
  const std::string broken = "<install><Edition>Trial</install";
  ASSERT_TRUE(kittest::WriteBytes(path_, broken));
  Add(L"/install/Edition", L"Pro", true);
  std::string log = Apply();
  EXPECT_EQ(AppliedLine() + "[KITFETCHER] Cannot load xml " + Narrow(path_) + "\n", log);
  EXPECT_EQ(broken, kittest::ReadBytes(path_));

  std::wstring missing = folder_.Sub(L"missing.xml");
  {
    kittest::LogCapture capture(folder_.Sub(L"log.txt"));
    ApplyXmlPatches(missing.c_str(), g_setup.locations.xmlPatches, XmlPatchList());
  }
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(missing.c_str()));
}

TEST_F(XmlPatchesTest, PathsThatCannotCreateANodeAreSkipped) {
  // No "/", only a leading "/", a missing parent, names that are no element
  // names (the document must stay loadable).
  Add(L"Orphan", L"1", true);
  Add(L"/Orphan", L"1", true);
  Add(L"/install/nowhere/leaf", L"1", true);
  Add(L"/install/bad name", L"1", true);
  Add(L"/install/1st", L"1", true);
  Add(L"/install/", L"1", true);
  // Too long to create: a 259-character parent path and a 10,000-character one.
  std::wstring parent259 = L"/install/" + std::wstring(250, L'p');
  std::wstring longPath = parent259 + L"/leaf";
  std::wstring hugePath = L"/install/" + std::wstring(10000, L'h');
  Add(longPath.c_str(), L"1", true);
  Add(hugePath.c_str(), std::wstring(10000, L'v').c_str(), true);
  Add(L"/install/Edition", L"Pro", true);
  std::string log = Apply();
  EXPECT_EQ(std::string::npos, log.find("Cannot access node"));
  EXPECT_NE(std::string::npos, log.find("[KITFETCHER] Node path too long to create: /install/ppp"));
  kittest::Document doc(path_);
  EXPECT_EQ(1, doc.Count(L"/*"));
  EXPECT_EQ(3, doc.Count(L"/install/*"));
  EXPECT_EQ(L"Pro", doc.Text(L"/install/Edition"));
}

TEST_F(XmlPatchesTest, MalformedPathsSelectNothing) {
  Add(L"/install/", L"1", false);
  Add(L"/install[@name", L"1", false);
  Add(L"/install/1st", L"1", false);
  std::string log = Apply();
  EXPECT_NE(std::string::npos, log.find("[KITFETCHER] Cannot access node /install/\n"));
  EXPECT_NE(std::string::npos, log.find("[KITFETCHER] Cannot access node /install[@name\n"));
  EXPECT_NE(std::string::npos, log.find("[KITFETCHER] Cannot access node /install/1st\n"));
  EXPECT_EQ(L"Trial", kittest::Document(path_).Text(L"/install/Edition"));
}

TEST_F(XmlPatchesTest, LongValuesOfExistingNodesAreWrittenWhole) {
  std::wstring value(10000, L'v');
  Add(L"/install/Edition", value.c_str(), false);
  Apply();
  EXPECT_EQ(value, kittest::Document(path_).Text(L"/install/Edition"));
}

}  // namespace
