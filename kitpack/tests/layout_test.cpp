// kitpack build and verify on a small kit in a scratch folder: the two
// layouts, their tokens and signed manifests, reruns, refusals, and the
// damage verify finds.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>

#include "findings.h"
#include "kit_layout.h"
#include "kit_signing.h"
#include "layout_verify.h"
#include "manifest_verify.h"
#include "ui_library.h"
#include "ui_texts.h"

namespace kitpack {
namespace {

namespace fs = std::filesystem;

const char kDescription[] =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
    "<locations>\n"
    "  <x86><base_url>http://kits.example/kit/%s</base_url><downloadable_files>\n"
    "    <file name=\"setup.exe\" relative_path=\"\" autorun=\"true\" base_url=\"\"/>\n"
    "    <file name=\"data.cab\" relative_path=\"data\" autorun=\"true\" base_url=\"\"/>\n"
    "  </downloadable_files></x86>\n"
    "  <x64><base_url>http://kits.example/kit/%s</base_url><downloadable_files>\n"
    "    <file name=\"setup.exe\" relative_path=\"\" autorun=\"true\" base_url=\"\"/>\n"
    "    <file name=\"data.cab\" relative_path=\"data\" autorun=\"true\" base_url=\"\"/>\n"
    "  </downloadable_files></x64>\n"
    "  <manufacturerName>Maker</manufacturerName><defaultProductName>Product</defaultProductName>\n"
    "  <language>EN</language>\n"
    "  <modifies><patch path=\"/install/Edition\" new_val=\"Standard\"/></modifies>\n"
    "  <systemRequirements cpuFreqMHz=\"1000\" hddMBytes=\"500\" ramMBytes=\"512\"/>\n"
    "</locations>\n";

void Write(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string Read(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::set<std::string> Listing(const fs::path& root) {
  std::set<std::string> files;
  if (!fs::exists(root)) return files;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (entry.is_regular_file()) files.insert(fs::relative(entry.path(), root).generic_string());
  }
  return files;
}

// The key the description pins and a stranger's, made once for all tests
// (2048 bits: quicker to make than keygen's).
const SigningKey& PinnedKey() {
  static SigningKey key;
  if (!key.Bits()) key.Generate(2048);
  return key;
}
const SigningKey& OtherKey() {
  static SigningKey key;
  if (!key.Bits()) key.Generate(2048);
  return key;
}

// The description with the trust element, the key files beside it.
void PinKey(const fs::path& root, const std::string& attributes = "") {
  Write(root / "pinned.pem", PinnedKey().PrivatePem());
  Write(root / "other.pem", OtherKey().PrivatePem());
  std::string pinned = kDescription;
  pinned.insert(pinned.find("</locations>"),
                "  <trust key=\"" + EncodeBase64(PinnedKey().PublicBlob()) + "\"" + attributes + "/>\n");
  Write(root / "locations.xml", pinned);
}

void Sign(const fs::path& manifest, const std::string& text, const SigningKey& key) {
  std::string signature;
  ASSERT_TRUE(key.Sign(text, signature));
  Write(manifest, text);
  Write(manifest.parent_path() / "kitmanifest.sig", signature);
}

class LayoutTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "kitpack-test-XXXXXX").string();
    ASSERT_NE(nullptr, mkdtemp(&pattern[0]));
    root_ = pattern;
    Write(root_ / "kit" / "setup.exe", "abc");
    Write(root_ / "kit" / "data" / "data.cab", "");
    Write(root_ / "program" / "kitfetcher.exe", "MZ");
    Write(root_ / "locations.xml", kDescription);
    options_.kitFolder = (root_ / "kit").string();
    options_.locationsPath = (root_ / "locations.xml").string();
    options_.productCode = "{5A3C2E10-7B4D-4F21-9C8E-1D2F3A4B5C6D}";
    options_.outFolder = (root_ / "out").string();
    options_.programFiles = (root_ / "program").string();
  }
  void TearDown() override { fs::remove_all(root_); }

  int Build() {
    std::ostringstream out;
    err_.str("");
    return RunBuild(options_, out, err_);
  }
  int Verify(const fs::path& folder) {
    std::ostringstream out;
    err_.str("");
    return RunVerify(folder.string(), out, err_);
  }
  int VerifySigned(const fs::path& folder) {
    std::ostringstream out;
    err_.str("");
    return RunManifestVerify(folder.string(), options_.locationsPath, out, err_);
  }
  void Pin(const std::string& attributes = "") {
    PinKey(root_, attributes);
    options_.signKey = (root_ / "pinned.pem").string();
  }

  fs::path root_;
  BuildOptions options_;
  std::ostringstream err_;
};

TEST_F(LayoutTest, ServerAndOfflineFoldersWithTheirTokens) {
  ASSERT_EQ(kExitClean, Build()) << err_.str();
  const fs::path server = root_ / "out" / "server";
  const fs::path offline = root_ / "out" / "offline";
  EXPECT_EQ((std::set<std::string>{"kit/en/productcode.txt", "kit/en/setup.exe", "kit/en/setup.exe.md5",
                                   "kit/en/data/data.cab", "kit/en/data/data.cab.md5"}),
            Listing(server));
  EXPECT_EQ((std::set<std::string>{"productcode.txt", "locations.xml", "kitfetcher.exe", "setup.exe", "setup.exe.md5",
                                   "data/data.cab", "data/data.cab.md5"}),
            Listing(offline));
  EXPECT_EQ("900150983cd24fb0d6963f7d28e17f72", Read(server / "kit/en/setup.exe.md5"));
  EXPECT_EQ("d41d8cd98f00b204e9800998ecf8427e", Read(offline / "data/data.cab.md5"));
  EXPECT_EQ(options_.productCode + "\n", Read(server / "kit/en/productcode.txt"));
  EXPECT_EQ(kDescription, Read(offline / "locations.xml"));
  EXPECT_EQ(kExitClean, Verify(server)) << err_.str();
  EXPECT_EQ(kExitClean, Verify(offline)) << err_.str();
}

TEST_F(LayoutTest, RerunsChangeOnlyWhatChanged) {
  options_.languages = {"EN", "de"};
  ASSERT_EQ(kExitClean, Build()) << err_.str();
  const fs::path server = root_ / "out" / "server";
  std::set<std::string> first = Listing(server);
  EXPECT_TRUE(first.count("kit/de/setup.exe.md5"));
  fs::file_time_type stamp = fs::last_write_time(server / "kit/en/data/data.cab");
  ASSERT_EQ(kExitClean, Build()) << err_.str();
  EXPECT_EQ(first, Listing(server));
  EXPECT_EQ(stamp, fs::last_write_time(server / "kit/en/data/data.cab"));

  // One file changes, and one the description no longer lists goes away.
  Write(root_ / "kit" / "setup.exe", "abd");
  std::string shorter = kDescription;
  for (size_t at; (at = shorter.find("    <file name=\"data.cab\"")) != std::string::npos;) {
    shorter.erase(at, shorter.find('\n', at) - at + 1);
  }
  Write(root_ / "locations.xml", shorter);
  ASSERT_EQ(kExitClean, Build()) << err_.str();
  EXPECT_NE("900150983cd24fb0d6963f7d28e17f72", Read(server / "kit/en/setup.exe.md5"));
  EXPECT_FALSE(fs::exists(server / "kit/en/data"));
  EXPECT_FALSE(fs::exists(root_ / "out" / "offline" / "data"));
}

TEST_F(LayoutTest, RefusesAndWritesNothing) {
  struct {
    const char* what;
    void (*change)(BuildOptions&, const fs::path&);
    int exitCode;
  } cases[] = {
      {"out inside kit", [](BuildOptions& o, const fs::path& r) { o.outFolder = (r / "kit" / "out").string(); }, 2},
      {"kit inside out", [](BuildOptions& o, const fs::path& r) { o.outFolder = r.string(); }, 2},
      {"errors in the description",
       [](BuildOptions&, const fs::path& r) { Write(r / "locations.xml", std::string(kDescription).replace(
                                                                              std::string(kDescription).find("/%s"), 3, "/")); },
       2},
      {"missing kit file", [](BuildOptions&, const fs::path& r) { fs::remove(r / "kit" / "setup.exe"); }, 2},
      {"product code with a blank", [](BuildOptions& o, const fs::path&) { o.productCode = "a b"; }, 2},
      {"unreadable description", [](BuildOptions& o, const fs::path& r) { o.locationsPath = (r / "none.xml").string(); },
       3},
      {"a key pinned, no --sign", [](BuildOptions&, const fs::path& r) { PinKey(r); }, 2},
      {"--sign, no key pinned", [](BuildOptions& o, const fs::path& r) {
         PinKey(r);
         Write(r / "locations.xml", kDescription);
         o.signKey = (r / "pinned.pem").string();
       }, 2},
      {"signed by a key not pinned", [](BuildOptions& o, const fs::path& r) {
         PinKey(r);
         o.signKey = (r / "other.pem").string();
       }, 2},
      {"first serial below the minimum", [](BuildOptions& o, const fs::path& r) {
         PinKey(r, " minSerial=\"2\"");
         o.signKey = (r / "pinned.pem").string();
       }, 2},
      {"removal library not the one pinned", [](BuildOptions& o, const fs::path& r) {
         PinKey(r, " removalLibrary=\"" + std::string(64, '0') + "\"");
         Write(r / "program" / "wipekit.dll", "DLL");
         o.signKey = (r / "pinned.pem").string();
       }, 2},
      {"serial not a number", [](BuildOptions& o, const fs::path& r) {
         PinKey(r);
         o.signKey = (r / "pinned.pem").string();
         o.serial = "1x";
       }, 3},
      {"key file without a key", [](BuildOptions& o, const fs::path& r) {
         PinKey(r);
         o.signKey = (r / "locations.xml").string();
       }, 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TearDown();
    SetUp();
    c.change(options_, root_);
    std::set<std::string> before = Listing(root_);
    EXPECT_EQ(c.exitCode, Build());
    EXPECT_EQ(before, Listing(root_));
  }
}

TEST_F(LayoutTest, VerifyFindsEachKindOfDamage) {
  struct {
    const char* what;
    const char* file;
    const char* bytes;  // nullptr: remove it
    const char* reported;
  } cases[] = {
      {"changed file", "setup.exe", "changed", "setup.exe.md5: the token"},
      {"token without a file", "data/data.cab", nullptr, "data/data.cab.md5: a token without its file"},
      {"file without a token", "data/data.cab.md5", nullptr, "data/data.cab: a file without a token"},
      {"stray file", "extra.bin", "x", "extra.bin: a file without a token"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TearDown();
    SetUp();
    ASSERT_EQ(kExitClean, Build()) << err_.str();
    fs::path target = root_ / "out" / "offline" / c.file;
    if (c.bytes) Write(target, c.bytes);
    else fs::remove(target);
    EXPECT_EQ(kExitErrors, Verify(root_ / "out" / "offline"));
    EXPECT_NE(std::string::npos, err_.str().find(c.reported)) << err_.str();
  }
  EXPECT_EQ(kExitUnreadable, Verify(root_ / "nowhere"));
}

TEST_F(LayoutTest, SignedManifestsListEveryKitFileAndCountTheSerialUp) {
  Pin(" minSerial=\"1\"");
  ASSERT_EQ(kExitClean, Build()) << err_.str();
  const fs::path server = root_ / "out" / "server";
  const fs::path offline = root_ / "out" / "offline";
  const std::string files =
      "file\t\tsetup.exe\t3\tba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad\n"
      "file\tdata\tdata.cab\t0\te3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855\n";
  const std::string header = "kitmanifest 1\nproduct " + options_.productCode + "\nserial ";
  EXPECT_EQ(header + "1\n" + files, Read(server / "kit/en/kitmanifest.txt"));
  EXPECT_EQ(header + "1\n" + files, Read(offline / "kitmanifest.txt"));
  EXPECT_EQ(256u, Read(offline / "kitmanifest.sig").size());
  EXPECT_EQ(kExitClean, Verify(server)) << err_.str();
  EXPECT_EQ(kExitClean, VerifySigned(server)) << err_.str();
  EXPECT_EQ(kExitClean, VerifySigned(offline)) << err_.str();

  ASSERT_EQ(kExitClean, Build()) << err_.str();
  EXPECT_EQ(header + "2\n" + files, Read(server / "kit/en/kitmanifest.txt"));
  options_.serial = "4294967295";
  ASSERT_EQ(kExitClean, Build()) << err_.str();
  EXPECT_EQ(header + "4294967295\n" + files, Read(offline / "kitmanifest.txt"));
  options_.serial.clear();
  EXPECT_EQ(kExitErrors, Build());
  EXPECT_NE(std::string::npos, err_.str().find("already carry the highest serial")) << err_.str();

  // wipekit.dll ships: kitfetcher loads it only with its digest pinned.
  options_.serial = "3";
  Write(root_ / "program" / "wipekit.dll", "abc");
  EXPECT_EQ(kExitWarnings, Build());
  EXPECT_NE(std::string::npos, err_.str().find("pins no removalLibrary")) << err_.str();
  EXPECT_EQ(kExitWarnings, VerifySigned(offline)) << err_.str();
  Pin(" removalLibrary=\"BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD\"");
  EXPECT_EQ(kExitClean, Build()) << err_.str();
  EXPECT_EQ(kExitClean, VerifySigned(offline)) << err_.str();

  // Without the key, the next build leaves no manifest behind.
  Write(root_ / "locations.xml", kDescription);
  options_.signKey.clear();
  options_.serial.clear();
  ASSERT_EQ(kExitClean, Build()) << err_.str();
  EXPECT_FALSE(fs::exists(server / "kit/en/kitmanifest.txt"));
  EXPECT_FALSE(fs::exists(offline / "kitmanifest.sig"));
  EXPECT_EQ(kExitClean, VerifySigned(server)) << err_.str();
}

TEST_F(LayoutTest, VerifyWithTheDescriptionFindsEachKindOfDamageToASignedKit) {
  struct {
    const char* what;
    void (*damage)(const fs::path& server, const fs::path& root);
    const char* reported;
  } cases[] = {
      {"one byte of a served file", [](const fs::path& s, const fs::path&) { Write(s / "kit/en/setup.exe", "abd"); },
       "kit/en/setup.exe: the manifest says 3 bytes with SHA-256 ba7816bf"},
      {"manifest changed after signing",
       [](const fs::path& s, const fs::path&) {
         std::string text = Read(s / "kit/en/kitmanifest.txt");
         Write(s / "kit/en/kitmanifest.txt", text.replace(text.find("serial 1"), 8, "serial 9"));
       },
       "kit/en/kitmanifest.sig: the signature does not verify"},
      {"signed by another key",
       [](const fs::path& s, const fs::path&) {
         Sign(s / "kit/en/kitmanifest.txt", Read(s / "kit/en/kitmanifest.txt"), OtherKey());
       },
       "the signature does not verify"},
      {"truncated signature",
       [](const fs::path& s, const fs::path&) {
         Write(s / "kit/en/kitmanifest.sig", Read(s / "kit/en/kitmanifest.sig").substr(0, 255));
       },
       "the signature does not verify"},
      {"no signature", [](const fs::path& s, const fs::path&) { fs::remove(s / "kit/en/kitmanifest.sig"); },
       "kit/en/kitmanifest.sig: missing"},
      {"no manifest", [](const fs::path& s, const fs::path&) { fs::remove(s / "kit/en/kitmanifest.txt"); },
       "kit/en/kitmanifest.txt: missing: the description pins a key"},
      {"serial below the minimum", [](const fs::path&, const fs::path& r) { PinKey(r, " minSerial=\"2\""); },
       "the serial 1 is below the minSerial 2"},
      {"a kit file left out",
       [](const fs::path& s, const fs::path&) {
         std::string text = Read(s / "kit/en/kitmanifest.txt");
         Sign(s / "kit/en/kitmanifest.txt", text.substr(0, text.find("file\tdata")), PinnedKey());
       },
       "does not list data/data.cab"},
      {"another product",
       [](const fs::path& s, const fs::path&) {
         std::string text = Read(s / "kit/en/kitmanifest.txt");
         Sign(s / "kit/en/kitmanifest.txt", text.replace(text.find("{5A3C"), 5, "{6A3C"), PinnedKey());
       },
       "is not what kit/en/productcode.txt holds"},
      {"line ends of another system",
       [](const fs::path& s, const fs::path&) {
         std::string text = Read(s / "kit/en/kitmanifest.txt");
         Sign(s / "kit/en/kitmanifest.txt", text.insert(text.find('\n'), "\r"), PinnedKey());
       },
       "not a valid manifest: it holds a carriage return"},
      {"a manifest where none belongs",
       [](const fs::path& s, const fs::path&) {
         fs::copy_file(s / "kit/en/kitmanifest.txt", s / "kit/en/data/kitmanifest.txt");
       },
       "kit/en/data/kitmanifest.txt: a manifest where the layout puts none"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TearDown();
    SetUp();
    Pin();
    ASSERT_EQ(kExitClean, Build()) << err_.str();
    c.damage(root_ / "out" / "server", root_);
    EXPECT_EQ(kExitErrors, VerifySigned(root_ / "out" / "server"));
    EXPECT_NE(std::string::npos, err_.str().find(c.reported)) << err_.str();
  }
  // An offline package goes by its own description.
  Write(root_ / "out" / "offline" / "locations.xml", kDescription);
  EXPECT_EQ(kExitErrors, VerifySigned(root_ / "out" / "offline"));
  EXPECT_NE(std::string::npos, err_.str().find("offline/locations.xml: differs from")) << err_.str();
}

TEST_F(LayoutTest, TheTranslationForTheDescriptionsLanguageGoesOffline) {
  const struct {
    const char* what;
    const char* language;  // the description's
    std::vector<std::pair<std::string, std::string>> ui;  // --ui files: name, language line
    bool programUi;        // --program-files holds a kitfetcher.ui
    int exitCode;
    const char* offline;   // whose kitfetcher.ui lies in offline/: a --ui name, "program" or none
  } cases[] = {
      {"no translation", "EN", {}, true, 0, "program"},
      {"the description's language", "DE", {{"de", "de"}, {"ja", "ja"}}, false, 0, "de"},
      {"in place of the program's", "DE", {{"de", "de"}}, true, 0, "de"},
      {"the tag's first part", "de", {{"at", "de-AT"}}, false, 0, "at"},
      {"the tag before its first part", "DE", {{"at", "de-AT"}, {"de", "de"}}, false, 0, "de"},
      {"none for the language", "EN", {{"de", "de"}}, true, 0, "program"},
      {"two fit alike", "DE", {{"de", "de-DE"}, {"at", "de-AT"}}, false, 2, nullptr},
      {"two for one language", "JA", {{"ja", "ja"}, {"jp", "ja-JP"}}, false, 2, nullptr},
      {"a translation with errors", "DE", {{"de", "de"}, {"xx", "klingon"}}, false, 2, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TearDown();
    SetUp();
    options_.uiTexts.clear();
    std::string description = kDescription;
    Write(root_ / "locations.xml", description.replace(description.find(">EN<"), 4, std::string(">") + c.language + "<"));
    if (c.programUi) Write(root_ / "program" / "kitfetcher.ui", "program's own");
    std::map<std::string, std::string> libraries = {{"program", "program's own"}};
    for (const auto& file : c.ui) {
      std::ostringstream texts;
      PrintUiTemplate(texts);
      std::string translation = texts.str();
      translation.replace(translation.find("language = en-US"), 16, "language = " + file.second);
      Write(root_ / (file.first + ".txt"), translation);
      options_.uiTexts.push_back((root_ / (file.first + ".txt")).string());
      libraries[file.first] = BuildUiLibrary(ReadUiTexts(translation));
    }
    EXPECT_EQ(c.exitCode, Build()) << err_.str();
    fs::path offline = root_ / "out" / "offline" / "kitfetcher.ui";
    if (!c.offline) EXPECT_FALSE(fs::exists(root_ / "out"));
    else EXPECT_TRUE(libraries[c.offline] == Read(offline)) << "not the library of " << c.offline;
  }
}

}  // namespace
}  // namespace kitpack
