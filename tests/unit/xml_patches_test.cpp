// The patch list applied to a real install descriptor through the DOM, with
// the log lines each case leaves.
#include <gtest/gtest.h>

#include <string>

#include "downloader/config/install_descriptor.h"
#include "downloader/services/setup_state.h"
#include "tests/unit/support/captured_log.h"
#include "tests/unit/support/scratch_files.h"
#include "tests/unit/support/xml_test_files.h"

namespace {

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
    ASSERT_TRUE(testsupport::WriteBytes(path_, kDescriptor));
  }
  void TearDown() override { ResetSetupState(); }

  void Add(const wchar_t* path, const wchar_t* value, bool create) {
    g_setup.locations.xmlPatches.push_back(XmlPatch(path, value, create));
  }
  std::string Apply() {
    testsupport::LogCapture log(folder_.Sub(L"log.txt"));
    ApplyXmlPatches(path_.c_str(), g_setup.locations.xmlPatches, runPatches_);
    return log.Messages();
  }
  std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }
  std::string AppliedLine() { return "[KITFETCHER] Applying xmlpatches on file " + Narrow(path_) + "\n"; }

  testsupport::ScratchFolder folder_;
  std::wstring path_;
  XmlPatchList runPatches_;
};

TEST_F(XmlPatchesTest, ExistingNodeGetsTheNewText) {
  Add(L"/install/DownloadNewFiles", L"0", true);
  EXPECT_EQ(AppliedLine() + "[KITFETCHER] Found valid patch: node </install/DownloadNewFiles> value <0>\n", Apply());
  xmltest::Document doc(path_);
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
  xmltest::Document doc(path_);
  EXPECT_EQ(1, doc.Count(L"/install/affiliate_source"));
  EXPECT_EQ(L"partner", doc.Text(L"/install/affiliate_source"));
  // Appended as the last children, in list order.
  EXPECT_EQ(1, doc.Count(L"/install/*[last()][self::UseAffiliateSource]"));
  EXPECT_EQ(1, doc.Count(L"/install/*[last()-1][self::affiliate_source]"));
}

TEST_F(XmlPatchesTest, NodeWithChildrenBecomesOneText) {
  Add(L"/install/items", L"none", false);
  Apply();
  xmltest::Document doc(path_);
  EXPECT_EQ(0, doc.Count(L"/install/items/item"));
  EXPECT_EQ(L"none", doc.Text(L"/install/items"));
}

TEST_F(XmlPatchesTest, LaterEntryForTheSamePathWinsAndSeesACreatedNode) {
  Add(L"/install/Flag", L"first", true);
  Add(L"/install/Flag", L"second", false);
  Apply();
  xmltest::Document doc(path_);
  EXPECT_EQ(1, doc.Count(L"/install/Flag"));
  EXPECT_EQ(L"second", doc.Text(L"/install/Flag"));
}

TEST_F(XmlPatchesTest, TheRunsOwnPatchesFollowTheKits) {
  runPatches_.push_back(XmlPatch(L"/install/Edition", L"run", true));
  Add(L"/install/Edition", L"kit", false);
  Apply();
  EXPECT_EQ(L"run", xmltest::Document(path_).Text(L"/install/Edition"));
}

TEST_F(XmlPatchesTest, EmptyListStillResavesTheFile) {
  xmltest::AgeFile(path_);
  ULONGLONG before = xmltest::LastWriteTime(path_);
  EXPECT_EQ(AppliedLine(), Apply());
  EXPECT_NE(before, xmltest::LastWriteTime(path_));
  EXPECT_EQ(L"Trial", xmltest::Document(path_).Text(L"/install/Edition"));
}

TEST_F(XmlPatchesTest, InvalidEntriesArePassedOverSilently) {
  g_setup.locations.xmlPatches.push_back(XmlPatch(NULL, L"x", true));
  Add(L"/install/Edition", NULL, true);
  Add(L"", L"x", true);
  Add(L"/install/Edition", L"", true);
  EXPECT_EQ(AppliedLine(), Apply());
  EXPECT_EQ(L"Trial", xmltest::Document(path_).Text(L"/install/Edition"));
}

TEST_F(XmlPatchesTest, UnloadableDocumentIsNotWritten) {
  const std::string broken = "<install><Edition>Trial</install";
  ASSERT_TRUE(testsupport::WriteBytes(path_, broken));
  Add(L"/install/Edition", L"Pro", true);
  std::string log = Apply();
  EXPECT_EQ(AppliedLine() + "[KITFETCHER] Cannot load xml " + Narrow(path_) + "\n", log);
  EXPECT_EQ(broken, testsupport::ReadBytes(path_));

  std::wstring missing = folder_.Sub(L"missing.xml");
  {
    testsupport::LogCapture capture(folder_.Sub(L"log.txt"));
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
  xmltest::Document doc(path_);
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
  EXPECT_EQ(L"Trial", xmltest::Document(path_).Text(L"/install/Edition"));
}

TEST_F(XmlPatchesTest, LongValuesOfExistingNodesAreWrittenWhole) {
  std::wstring value(10000, L'v');
  Add(L"/install/Edition", value.c_str(), false);
  Apply();
  EXPECT_EQ(value, xmltest::Document(path_).Text(L"/install/Edition"));
}

}  // namespace
