// kitpack build and verify on a small kit in a scratch folder: the two
// layouts and their tokens, reruns, refusals, and the damage verify finds.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>

#include "findings.h"
#include "kit_layout.h"
#include "layout_verify.h"

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

}  // namespace
}  // namespace kitpack
