// The locations document read through the real DOM: both architecture
// branches, the points where reading stops, and input the reader must survive.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "downloader/config/locations_reader.h"
#include "downloader/services/setup_state.h"
#include "tests/unit/support/scratch_files.h"
#include "tests/unit/support/text_lines.h"
#include "tests/unit/support/vendor_keys.h"

namespace {

const char kExample[] =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
    "<locations>\n"
    "  <x86>\n"
    "    <base_url>http://kits.example/x86/%s</base_url>\n"
    "    <downloadable_files>\n"
    "      <file name=\"kit.cab\" relative_path=\"\" autorun=\"false\" base_url=\"\"/>\n"
    "      <file name=\"data1.cab\" relative_path=\"data\" autorun=\"false\" base_url=\"\"/>\n"
    "      <file name=\"prereq.exe\" relative_path=\"\" autorun=\"true\" base_url=\"\"/>\n"
    "    </downloadable_files>\n"
    "  </x86>\n"
    "  <x64>\n"
    "    <base_url>http://kits.example/x64/%s</base_url>\n"
    "    <downloadable_files>\n"
    "      <file name=\"kit64.cab\" relative_path=\"\" autorun=\"false\" base_url=\"http://mirror.example/%s\"/>\n"
    "      <file name=\"prereq64.exe\" relative_path=\"bin\" autorun=\"true\" base_url=\"\"/>\n"
    "    </downloadable_files>\n"
    "  </x64>\n"
    "  <manufacturerName>Maker Inc</manufacturerName>\n"
    "  <defaultProductName>Product Suite</defaultProductName>\n"
    "  <language>EN</language>\n"
    "  <ShowNewFilesPrompt>1</ShowNewFilesPrompt>\n"
    "  <DefaultNewFilesAnswer>0</DefaultNewFilesAnswer>\n"
    "  <modifies>\n"
    "    <patch path=\"/install/Edition\" new_val=\"Standard\"/>\n"
    "  </modifies>\n"
    "  <systemRequirements cpuFreqMHz=\"1000\" hddMBytes=\"500\" ramMBytes=\"512\"/>\n"
    "</locations>\n";

class LocationsReaderTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetSetupState(); }
  void TearDown() override { ResetSetupState(); }

  // The code ReadLocations answered.
  HRESULT Read(const std::string& document, bool x64 = false) {
    std::wstring path = folder_.Sub(L"locations.xml");
    EXPECT_TRUE(kittest::WriteBytes(path, document));
    g_setup.isWow64 = x64;
    return ReadLocations(path.c_str()).Code();
  }
  const LocationsConfig& Config() const { return g_setup.locations; }

  void ExpectDefaults() {
    const LocationsConfig& c = Config();
    EXPECT_FALSE(c.baseUrl.IsPresent());
    EXPECT_STREQ(L"", c.manufacturerName);
    EXPECT_STREQ(L"", c.defaultProductName);
    EXPECT_STREQ(L"", c.language);
    EXPECT_TRUE(c.showNewFilesPrompt);
    EXPECT_TRUE(c.defaultNewFilesAnswer);
    EXPECT_TRUE(c.downloadableFiles.empty());
    EXPECT_TRUE(c.xmlPatches.empty());
    ExpectDefaultRequirements();
  }
  void ExpectDefaultRequirements() {
    EXPECT_EQ(800, Config().cpuFreqMHz);
    EXPECT_EQ(800, Config().hddMBytes);
    EXPECT_EQ(1000, Config().ramMBytes);
  }

  // The example with one piece of text replaced.
  static std::string ExampleWith(const std::string& from, const std::string& to) {
    std::string doc = kExample;
    size_t at = doc.find(from);
    EXPECT_NE(std::string::npos, at) << from;
    if (at != std::string::npos) doc.replace(at, from.size(), to);
    return doc;
  }

  kittest::ScratchFolder folder_;
};

TEST_F(LocationsReaderTest, ExampleOn32BitWindowsReadsTheX86Branch) {
  EXPECT_EQ(S_OK, Read(kExample, false));
  const LocationsConfig& c = Config();
  EXPECT_STREQ(L"http://kits.example/x86/%s", c.baseUrl.Get());
  EXPECT_STREQ(L"Maker Inc", c.manufacturerName);
  EXPECT_STREQ(L"Product Suite", c.defaultProductName);
  EXPECT_STREQ(L"en", c.language);
  EXPECT_TRUE(c.showNewFilesPrompt);
  EXPECT_FALSE(c.defaultNewFilesAnswer);

  ASSERT_EQ(3u, c.downloadableFiles.size());
  const wchar_t* names[] = {L"kit.cab", L"data1.cab", L"prereq.exe"};
  const wchar_t* md5s[] = {L"kit.cab.md5", L"data1.cab.md5", L"prereq.exe.md5"};
  for (size_t i = 0; i < 3; ++i) {
    const DownloadableFile& f = c.downloadableFiles[i];
    EXPECT_STREQ(names[i], f.name.Get());
    EXPECT_STREQ(md5s[i], f.md5Name.Get());
    EXPECT_FALSE(f.baseUrl.IsPresent());
    EXPECT_EQ(i == 1, f.relativePath.IsPresent());
    EXPECT_EQ(i == 2, f.autorun);
  }
  EXPECT_STREQ(L"data", c.downloadableFiles[1].relativePath.Get());

  ASSERT_EQ(1u, c.xmlPatches.size());
  EXPECT_STREQ(L"/install/Edition", c.xmlPatches[0].path.Get());
  EXPECT_STREQ(L"Standard", c.xmlPatches[0].newValue.Get());
  EXPECT_FALSE(c.xmlPatches[0].createIfMissing);

  EXPECT_EQ(1000, c.cpuFreqMHz);
  EXPECT_EQ(500, c.hddMBytes);
  EXPECT_EQ(512, c.ramMBytes);
}

TEST_F(LocationsReaderTest, ExampleOn64BitWindowsReadsOnlyTheX64Branch) {
  EXPECT_EQ(S_OK, Read(kExample, true));
  const LocationsConfig& c = Config();
  EXPECT_STREQ(L"http://kits.example/x64/%s", c.baseUrl.Get());
  ASSERT_EQ(2u, c.downloadableFiles.size());
  EXPECT_STREQ(L"kit64.cab", c.downloadableFiles[0].name.Get());
  EXPECT_STREQ(L"http://mirror.example/%s", c.downloadableFiles[0].baseUrl.Get());
  EXPECT_FALSE(c.downloadableFiles[0].relativePath.IsPresent());
  EXPECT_STREQ(L"prereq64.exe", c.downloadableFiles[1].name.Get());
  EXPECT_STREQ(L"bin", c.downloadableFiles[1].relativePath.Get());
  EXPECT_TRUE(c.downloadableFiles[1].autorun);
  EXPECT_EQ(1u, c.xmlPatches.size());
  EXPECT_EQ(512, c.ramMBytes);
}

TEST_F(LocationsReaderTest, UnreadableDocumentsLeaveEveryDefault) {
  std::string truncated(kExample, sizeof(kExample) / 2);
  const std::string broken[] = {"", "not xml at all", truncated, "<locations><x86></locations>"};
  for (size_t i = 0; i < sizeof(broken) / sizeof(broken[0]); ++i) {
    SCOPED_TRACE(i);
    ResetSetupState();
    EXPECT_NE(S_OK, Read(broken[i]));
    ExpectDefaults();
  }
  ResetSetupState();
  EXPECT_EQ(S_FALSE, ReadLocations(folder_.Sub(L"missing.xml").c_str()).Code());
  ExpectDefaults();
}

TEST_F(LocationsReaderTest, WithoutABaseUrlForTheArchitectureNothingIsRead) {
  // Only the 64-bit branch has a base URL.
  Read(ExampleWith("<base_url>http://kits.example/x86/%s</base_url>", ""), false);
  ExpectDefaults();
  ResetSetupState();
  Read(ExampleWith("<base_url>http://kits.example/x86/%s</base_url>", "<base_url></base_url>"), false);
  ExpectDefaults();
}

TEST_F(LocationsReaderTest, ReadingStopsWhereTheDocumentRunsOut) {
  // No modifies: files are read, requirements stay at their defaults even though present.
  Read(ExampleWith("<patch path=\"/install/Edition\" new_val=\"Standard\"/>", ""));
  EXPECT_EQ(3u, Config().downloadableFiles.size());
  EXPECT_TRUE(Config().xmlPatches.empty());
  ExpectDefaultRequirements();

  // A file list without children ends the reading there.
  ResetSetupState();
  std::string doc = kExample;
  size_t from = doc.find("<downloadable_files>");
  size_t to = doc.find("</downloadable_files>") + strlen("</downloadable_files>");
  doc.replace(from, to - from, "<downloadable_files/>");
  Read(doc);
  EXPECT_STREQ(L"Maker Inc", Config().manufacturerName);
  EXPECT_TRUE(Config().downloadableFiles.empty());
  EXPECT_TRUE(Config().xmlPatches.empty());
  ExpectDefaultRequirements();

  // Without a file list for the architecture, patches and requirements are still read.
  ResetSetupState();
  doc = kExample;
  from = doc.find("<downloadable_files>");
  doc.erase(from, to - from);
  Read(doc);
  EXPECT_TRUE(Config().downloadableFiles.empty());
  EXPECT_EQ(1u, Config().xmlPatches.size());
  EXPECT_EQ(1000, Config().cpuFreqMHz);

  // Missing requirements element keeps the defaults.
  ResetSetupState();
  Read(ExampleWith("<systemRequirements cpuFreqMHz=\"1000\" hddMBytes=\"500\" ramMBytes=\"512\"/>", ""));
  EXPECT_EQ(1u, Config().xmlPatches.size());
  ExpectDefaultRequirements();
}

TEST_F(LocationsReaderTest, FileEntriesNeedAllFourAttributesAndKeepDocumentOrder) {
  Read(ExampleWith(
      "<file name=\"kit.cab\" relative_path=\"\" autorun=\"false\" base_url=\"\"/>",
      "<file name=\"a\" relative_path=\"\" autorun=\"True\" base_url=\"\"/>"
      "<!-- a comment among the files -->"
      "<file name=\"no_base\" relative_path=\"\" autorun=\"true\"/>"
      "<file relative_path=\"\" autorun=\"true\" base_url=\"\"/>"
      "<other name=\"a\" relative_path=\"\" autorun=\"yes\" base_url=\"\"/>"));
  const DownloadableFileList& files = Config().downloadableFiles;
  ASSERT_EQ(4u, files.size());
  EXPECT_STREQ(L"a", files[0].name.Get());
  EXPECT_FALSE(files[0].autorun);  // "True"
  EXPECT_STREQ(L"a", files[1].name.Get());  // duplicates stay, any element name counts
  EXPECT_FALSE(files[1].autorun);  // "yes"
  EXPECT_STREQ(L"data1.cab", files[2].name.Get());
  EXPECT_STREQ(L"prereq.exe", files[3].name.Get());
}

TEST_F(LocationsReaderTest, PatchEntriesNeedPathAndValue) {
  Read(ExampleWith("<patch path=\"/install/Edition\" new_val=\"Standard\"/>",
                   "<patch path=\"/install/A\" new_val=\"\"/><patch new_val=\"x\"/><patch path=\"/install/B\"/>"
                   "<patch path=\"/install/C\" new_val=\"3\"/>"));
  const XmlPatchList& patches = Config().xmlPatches;
  ASSERT_EQ(2u, patches.size());
  EXPECT_STREQ(L"/install/A", patches[0].path.Get());
  EXPECT_STREQ(L"", patches[0].newValue.Get());  // kept; the patcher passes it over
  EXPECT_STREQ(L"/install/C", patches[1].path.Get());
}

TEST_F(LocationsReaderTest, FlagsTurnOffForAnythingButOne) {
  const char* texts[] = {"0", "true", "", " 1x"};
  for (size_t i = 0; i < 4; ++i) {
    SCOPED_TRACE(texts[i]);
    ResetSetupState();
    Read(ExampleWith("<ShowNewFilesPrompt>1<", std::string("<ShowNewFilesPrompt>") + texts[i] + "<"));
    EXPECT_FALSE(Config().showNewFilesPrompt);
  }
  ResetSetupState();
  Read(ExampleWith("<DefaultNewFilesAnswer>0<", "<DefaultNewFilesAnswer>1<"));
  EXPECT_TRUE(Config().defaultNewFilesAnswer);
}

TEST_F(LocationsReaderTest, LanguageIsLowerCased) {
  Read(ExampleWith("<language>EN</language>", "<language>EN-US</language>"));
  EXPECT_STREQ(L"en-us", Config().language);
}

TEST_F(LocationsReaderTest, RequirementsReadAsDecimalIntegers) {
  Read(ExampleWith("cpuFreqMHz=\"1000\" hddMBytes=\"500\" ramMBytes=\"512\"",
                   "cpuFreqMHz=\"1500MHz\" hddMBytes=\"  -42\" ramMBytes=\"lots\""));
  EXPECT_EQ(1500, Config().cpuFreqMHz);
  EXPECT_EQ(-42, Config().hddMBytes);
  EXPECT_EQ(0, Config().ramMBytes);

  ResetSetupState();
  Read(ExampleWith("cpuFreqMHz=\"1000\" hddMBytes=\"500\" ramMBytes=\"512\"",
                   "hddMBytes=\"0000000000000000123\" ramMBytes=\"00000000000000000123\""));
  EXPECT_EQ(800, Config().cpuFreqMHz);  // absent
  EXPECT_EQ(123, Config().hddMBytes);   // 19 characters
  EXPECT_EQ(1000, Config().ramMBytes);  // 20 characters: default kept
}

TEST_F(LocationsReaderTest, OverlongValuesKeepTheirDefaultsAndReadingGoesOn) {
  const std::string fits(99, 'm');
  const std::string tooLong(100, 'p');
  const std::string huge(10000, 'L');
  std::string doc = ExampleWith("<manufacturerName>Maker Inc<", "<manufacturerName>" + fits + "<");
  doc.replace(doc.find("Product Suite"), strlen("Product Suite"), tooLong);
  doc.replace(doc.find(">EN<"), 4, ">" + huge + "<");
  doc.replace(doc.find("1000\""), 4, std::string(5000, '7'));
  Read(doc);
  EXPECT_EQ(std::wstring(99, L'm'), Config().manufacturerName);
  EXPECT_STREQ(L"", Config().defaultProductName);
  EXPECT_STREQ(L"", Config().language);
  EXPECT_EQ(800, Config().cpuFreqMHz);
  EXPECT_EQ(500, Config().hddMBytes);
  EXPECT_EQ(3u, Config().downloadableFiles.size());
}

TEST_F(LocationsReaderTest, LongUrlsAndNamesAreCopiedWhole) {
  const std::string longUrl = "http://kits.example/" + std::string(5000, 'u') + "/%s";
  const std::string longName(3000, 'n');
  std::string doc = ExampleWith("http://kits.example/x86/%s", longUrl);
  doc.replace(doc.find("\"kit.cab\""), 9, "\"" + longName + "\"");
  Read(doc);
  EXPECT_EQ(longUrl.size(), wcslen(Config().baseUrl.Get()));
  ASSERT_EQ(3u, Config().downloadableFiles.size());
  EXPECT_EQ(longName.size() + 4, wcslen(Config().downloadableFiles[0].md5Name.Get()));
}

}  // namespace

namespace {

// Key A of vendor_keys.h, as text of the document.
const std::string kTrustKey = kittest::BytesFromWide(kittest::kKeyA, CP_ACP);
const char kLibraryHash[] = "2CF24DBA5FB0A30E26E83B2AC5B9E29E1B161E5C1FA7425E73043362938B9824";

// The example with `trust` put where `at` is ("<locations>" or "<x86>").
std::string WithTrust(const std::string& trust, const char* at = "<locations>\n") {
  std::string document = kExample;
  size_t where = document.find(at) + strlen(at);
  return document.insert(where, trust + "\n");
}

}  // namespace

// The trust element pins the vendor's keys; once there, anything wrong with it
// leaves the pin without a key, so that no kit is taken.
TEST_F(LocationsReaderTest, ATrustElementPinsTheVendorsKeysOrNothingAtAll) {
  std::string key = "key=\"" + kTrustKey + "\"";
  struct Case {
    const char* what;
    std::string document;
    bool pinned;
    size_t keys;
    uint32_t minSerial;
    bool libraryHash;
  } cases[] = {
      {"no trust element", kExample, false, 0, 0, false},
      {"one key", WithTrust("<trust " + key + "/>"), true, 1, 0, false},
      {"two keys, a minimum and a library",
       WithTrust("<trust " + key + " key2=\"" + kTrustKey + "\" minSerial=\"4294967295\" removalLibrary=\"" +
                 kLibraryHash + "\"/>"),
       true, 2, 4294967295u, true},
      {"no key", WithTrust("<trust minSerial=\"1\"/>"), true, 0, 0, false},
      {"a key that is no key", WithTrust("<trust key=\"AAAA\"/>"), true, 0, 0, false},
      {"a bad second key", WithTrust("<trust " + key + " key2=\"\"/>"), true, 0, 0, false},
      {"a minimum with a leading zero", WithTrust("<trust " + key + " minSerial=\"01\"/>"), true, 0, 0, false},
      {"a minimum past 32 bits", WithTrust("<trust " + key + " minSerial=\"4294967296\"/>"), true, 0, 0, false},
      {"a library that is no hash", WithTrust("<trust " + key + " removalLibrary=\"abc\"/>"), true, 0, 0, false},
      {"two trust elements", WithTrust("<trust " + key + "/>\n<trust " + key + "/>"), true, 0, 0, false},
      {"a trust element out of place", WithTrust("<trust " + key + "/>", "<x86>\n"), true, 0, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ResetSetupState();
    EXPECT_EQ(S_OK, Read(c.document));
    const KitTrust& trust = Config().trust;
    EXPECT_EQ(c.pinned, trust.pinned);
    EXPECT_EQ(c.keys, trust.keyCount);
    EXPECT_EQ(c.minSerial, trust.minSerial);
    EXPECT_EQ(c.libraryHash, trust.hasLibraryHash);
    // The rest of the description is read as ever.
    EXPECT_EQ(3u, Config().downloadableFiles.size());
  }
}

// kitfetcher's reader over the shared sample descriptions in
// tests/samples/locations: each must read as its .expect file says. kitpack's
// own reader is held to the same files, so the two keep to one set of rules.
namespace {

// The samples folder as this program sees it: the source tree reached through
// drive Z: when the tests run under Wine.
std::wstring SamplesFolder() {
  std::string folder = KIT_SOURCE_DIR "/tests/samples/locations";
  if (!folder.empty() && folder[0] == '/') folder = "Z:" + folder;
  for (char& c : folder) {
    if (c == '/') c = '\\';
  }
  return kittest::WideFromBytes(folder, CP_UTF8);
}

std::string Utf8(const wchar_t* text) { return kittest::BytesFromWide(text ? text : L"", CP_UTF8); }

// The same key=value lines as kitpack's DescribeView.
std::string Describe(const LocationsConfig& c, const char* arch) {
  std::string out;
  std::string p = std::string(arch) + ".";
  out += p + "base_url=" + Utf8(c.baseUrl.OrEmpty()) + "\n";
  out += p + "manufacturer=" + Utf8(c.manufacturerName) + "\n";
  out += p + "product=" + Utf8(c.defaultProductName) + "\n";
  out += p + "language=" + Utf8(c.language) + "\n";
  out += p + "flags=" + (c.showNewFilesPrompt ? "1" : "0") + " " + (c.defaultNewFilesAnswer ? "1" : "0") + "\n";
  for (size_t i = 0; i < c.downloadableFiles.size(); ++i) {
    const DownloadableFile& f = c.downloadableFiles[i];
    out += p + "file=" + Utf8(f.name.OrEmpty()) + "|" + Utf8(f.relativePath.OrEmpty()) + "|" + (f.autorun ? "1" : "0") +
           "|" + Utf8(f.baseUrl.OrEmpty()) + "\n";
  }
  for (size_t i = 0; i < c.xmlPatches.size(); ++i) {
    out += p + "patch=" + Utf8(c.xmlPatches[i].path.OrEmpty()) + "|" + Utf8(c.xmlPatches[i].newValue.OrEmpty()) + "\n";
  }
  out += p + "minimums=" + std::to_string(c.cpuFreqMHz) + " " + std::to_string(c.hddMBytes) + " " +
         std::to_string(c.ramMBytes) + "\n";
  return out;
}

std::string ReadAs(const std::wstring& path, bool x64) {
  ResetSetupState();
  g_setup.isWow64 = x64;
  static_cast<void>(ReadLocations(path.c_str()));
  std::string seen = Describe(g_setup.locations, x64 ? "x64" : "x86");
  ResetSetupState();
  return seen;
}

TEST(LocationsSamplesTest, EverySampleReadsAsItsExpectationSays) {
  std::wstring folder = SamplesFolder();
  std::vector<std::wstring> samples;
  WIN32_FIND_DATAW found;
  HANDLE find = FindFirstFileW((folder + L"\\*.xml").c_str(), &found);
  ASSERT_NE(INVALID_HANDLE_VALUE, find) << Utf8(folder.c_str());
  do {
    samples.push_back(found.cFileName);
  } while (FindNextFileW(find, &found));
  FindClose(find);
  EXPECT_GE(samples.size(), 5u);
  for (size_t i = 0; i < samples.size(); ++i) {
    SCOPED_TRACE(Utf8(samples[i].c_str()));
    std::wstring path = folder + L"\\" + samples[i];
    std::wstring expect = path.substr(0, path.size() - 4) + L".expect";
    EXPECT_EQ(kittest::ReadBytes(expect), ReadAs(path, false) + ReadAs(path, true));
  }
}

}  // namespace
