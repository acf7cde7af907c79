// The signed manifest's format as kitfetcher reads it, and the signing
// commands end to end, with OpenSSL's own command-line tool as the
// independent reader of kitpack's key blob and signatures.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "manifest_text.h"

namespace kitpack {
namespace {

namespace fs = std::filesystem;

const char kHeader[] = "kitmanifest 1\nproduct {P}\nserial 7\n";
const char kLine[] = "file\tdata\tkit.cab\t3\tba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad\n";

TEST(ManifestText, ExactlyTheContractsBytes) {
  const struct {
    const char* what;
    std::string bytes;
    const char* problem;  // "": valid
  } cases[] = {
      {"header and a file", std::string(kHeader) + kLine, ""},
      {"no files, serial at its limit", "kitmanifest 1\nproduct {P}\nserial 4294967295\n", ""},
      {"empty relative path, size 0", std::string(kHeader) + "file\t\ta\t0\t" + std::string(64, 'e') + "\n", ""},
      {"serial over 32 bits", "kitmanifest 1\nproduct {P}\nserial 4294967296\n", "line 3"},
      {"serial with a leading zero", "kitmanifest 1\nproduct {P}\nserial 07\n", "line 3"},
      {"byte-order mark", "\xEF\xBB\xBF" + std::string(kHeader), "line 1"},
      {"last line without its line feed", std::string(kHeader) + std::string(kLine).substr(0, strlen(kLine) - 1),
       "end with a line feed"},
      {"carriage return", "kitmanifest 1\r\nproduct {P}\nserial 7\n", "carriage return"},
      {"empty line", std::string(kHeader) + "\n" + kLine, "line 4"},
      {"header lines swapped", "kitmanifest 1\nserial 7\nproduct {P}\n", "line 2"},
      {"blank in the product code", "kitmanifest 1\nproduct {P Q}\nserial 7\n", "outside 0x21..0x7E"},
      {"product code of 100 characters", "kitmanifest 1\nproduct " + std::string(100, 'p') + "\nserial 7\n", "99"},
      {"upper-case digest", std::string(kHeader) + "file\tdata\tkit.cab\t3\t" + std::string(64, 'A') + "\n",
       "lower-case"},
      {"size with a sign", std::string(kHeader) + "file\tdata\tkit.cab\t+3\t" + std::string(64, 'a') + "\n", "size"},
      {"size over 64 bits", std::string(kHeader) + "file\tdata\tkit.cab\t18446744073709551616\t" +
       std::string(64, 'a') + "\n", "size"},
      {"a sixth field", std::string(kHeader) + "file\tdata\tkit.cab\t3\t" + std::string(64, 'a') + "\tx\n",
       "five tab-separated"},
      {"separator in a name", std::string(kHeader) + "file\tdata\tsub/kit.cab\t3\t" + std::string(64, 'a') + "\n",
       "path separator"},
      {"the same file twice", std::string(kHeader) + kLine + kLine, "line 5: a second line"},
      {"over 1 MiB", std::string(kHeader) + std::string(kManifestMaxBytes, 'x') + "\n", "over 1 MiB"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Manifest manifest;
    std::string problem = ParseManifest(c.bytes, manifest);
    if (*c.problem == '\0') {
      EXPECT_EQ("", problem);
      std::string why;
      EXPECT_EQ(c.bytes, FormatManifest(manifest, why)) << why;
    } else {
      EXPECT_NE(std::string::npos, problem.find(c.problem)) << problem;
    }
  }
}

std::string Read(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void Write(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

// A shell command's exit code and what it printed.
int Shell(const std::string& command, std::string* output = nullptr) {
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return -1;
  std::string text;
  char buffer[4096];
  for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) text.append(buffer, n);
  int status = pclose(pipe);
  if (output) *output = text;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string Quote(const fs::path& path) { return "'" + path.string() + "'"; }

class SigningCommands : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "kitpack-sign-XXXXXX").string();
    ASSERT_NE(nullptr, mkdtemp(&pattern[0]));
    root_ = pattern;
  }
  void TearDown() override { fs::remove_all(root_); }

  int Kitpack(const std::string& arguments, std::string* output = nullptr) {
    return Shell("'" KITPACK_EXE "' " + arguments, output);
  }

  fs::path root_;
};

TEST_F(SigningCommands, KeygenBuildAndVerifyAsOpenSslReadsThem) {
  const fs::path key = root_ / "vendor.pem";
  std::string printed;
  ASSERT_EQ(0, Kitpack("keygen " + Quote(key), &printed)) << printed;
  struct stat info;
  ASSERT_EQ(0, stat(key.c_str(), &info));
  EXPECT_EQ(0600u, info.st_mode & 0777u);
  const std::string pem = Read(key);
  std::string again;
  EXPECT_EQ(2, Kitpack("keygen " + Quote(key), &again)) << again;
  EXPECT_EQ(pem, Read(key));
  EXPECT_EQ(3, Kitpack("keygen " + Quote(root_ / "no-such-folder" / "key.pem")));

  // The last line is the element to paste.
  ASSERT_EQ('\n', printed.back());
  std::string trust = printed.substr(printed.rfind('\n', printed.size() - 2) + 1);
  trust.pop_back();
  ASSERT_EQ(0u, trust.find("<trust key=\"")) << trust;
  ASSERT_NE(std::string::npos, trust.find("\" minSerial=\"1\"/>")) << trust;
  std::string base64 = trust.substr(12, trust.find('"', 12) - 12);
  Write(root_ / "blob.b64", base64 + "\n");
  std::string fromPem, fromBlob;
  ASSERT_EQ(0, Shell("openssl pkey -in " + Quote(key) + " -pubout | openssl rsa -pubin -text -noout", &fromPem));
  ASSERT_EQ(0, Shell("openssl base64 -d -A -in " + Quote(root_ / "blob.b64") + " -out " + Quote(root_ / "blob") +
                     " && openssl rsa -pubin -inform MSBLOB -in " + Quote(root_ / "blob") + " -text -noout",
                     &fromBlob));
  EXPECT_NE(std::string::npos, fromPem.find("Public-Key: (3072 bit)")) << fromPem;
  EXPECT_EQ(fromPem, fromBlob);

  Write(root_ / "kit" / "setup.exe", "abc");
  const std::string branch =
      "<base_url>http://kits.example/kit/%s</base_url><downloadable_files><file name=\"setup.exe\" "
      "relative_path=\"\" autorun=\"true\" base_url=\"\"/></downloadable_files>";
  Write(root_ / "locations.xml", "<locations><x86>" + branch + "</x86><x64>" + branch + "</x64>" +
                                     "<manufacturerName>M</manufacturerName><defaultProductName>P</defaultProductName>"
                                     "<language>en</language><modifies><patch path=\"/a\" new_val=\"b\"/></modifies>"
                                     "<systemRequirements/>" + trust + "</locations>\n");
  const std::string build = "build --kit " + Quote(root_ / "kit") + " --locations " + Quote(root_ / "locations.xml") +
                            " --product-code P --out " + Quote(root_ / "out");
  std::string output;
  EXPECT_EQ(2, Kitpack(build, &output)) << output;
  ASSERT_EQ(0, Kitpack(build + " --sign " + Quote(key), &output)) << output;
  const fs::path manifest = root_ / "out" / "server" / "kit" / "en" / "kitmanifest.txt";
  const fs::path signature = root_ / "out" / "server" / "kit" / "en" / "kitmanifest.sig";

  // OpenSSL signs the same bytes the same way, and verifies kitpack's
  // signature under the key the blob holds.
  ASSERT_EQ(0, Shell("openssl dgst -sha256 -sign " + Quote(key) + " -out " + Quote(root_ / "openssl.sig") + " " +
                     Quote(manifest)));
  EXPECT_EQ(Read(root_ / "openssl.sig"), Read(signature));
  EXPECT_EQ(384u, Read(signature).size());
  ASSERT_EQ(0, Shell("openssl rsa -pubin -inform MSBLOB -in " + Quote(root_ / "blob") + " -pubout -out " +
                     Quote(root_ / "blob.pem")));
  const std::string dgstVerify = "openssl dgst -sha256 -verify " + Quote(root_ / "blob.pem") + " -signature " +
                                 Quote(signature) + " ";
  EXPECT_EQ(0, Shell(dgstVerify + Quote(manifest), &output)) << output;
  std::string changed = Read(manifest);
  changed[changed.size() - 2] ^= 1;
  Write(root_ / "changed.txt", changed);
  EXPECT_EQ(1, Shell(dgstVerify + Quote(root_ / "changed.txt")));

  const std::string verify = "verify " + Quote(root_ / "out" / "server") + " --locations " +
                             Quote(root_ / "locations.xml");
  EXPECT_EQ(0, Kitpack(verify, &output)) << output;
  Write(manifest, changed);
  EXPECT_EQ(2, Kitpack(verify, &output)) << output;
  EXPECT_EQ(0, Kitpack("verify " + Quote(root_ / "out" / "server"), &output)) << output;
}

}  // namespace
}  // namespace kitpack
