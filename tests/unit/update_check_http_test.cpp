// Remote product codes and .md5 comparisons against the kit test server. Its
// error pages start with a plain word, so a client that ignored the status
// would take them for a product code or a digest.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "downloader/services/setup_state.h"
#include "downloader/transfer/version_tokens.h"
#include "tests/unit/support/captured_log.h"
#include "tests/unit/support/http_test_support.h"
#include "tests/unit/support/scratch_files.h"
#include "tests/unit/support/unique_name.h"

namespace {

class UpdateCheckHttpTest : public ::testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_HTTP_SERVER();
    dir_ = L"/" + testsupport::UniqueName(L"upd");
    FreshServerFolder();
    package_ = packageFolder_.Path();
    file_.name.Set(L"kit.exe");
    file_.md5Name.Set(L"kit.exe.md5");
    file_.relativePath.Set(L"bin");
  }

  // Every download of a test gets a URL of its own, so that no answer can come
  // from the URL cache.
  void FreshServerFolder() {
    static int serial = 0;
    wchar_t sub[16];
    qn::FormatInto(sub, 16, L"/%d", ++serial);
    current_ = dir_ + sub;
    g_setup.locations.baseUrl.Set(httptest::Url(current_ + L"/%s").c_str());
    file_.baseUrl.Set(httptest::Url(current_ + L"/%s").c_str());
  }

  DWORD FetchCode(std::wstring* code) {
    wchar_t buffer[kProductCodeChars] = {0};
    DWORD result = FetchRemoteProductCode(buffer);
    *code = buffer;
    return result;
  }

  std::wstring RemoteDigestPath() { return current_ + L"/en/bin/kit.exe.md5"; }
  std::wstring ProductCodePath() { return current_ + L"/en/productcode.txt"; }

  // Compares against a fresh server folder unless `sameFolder`.
  int Check(const std::string& local, const std::string& remote, std::wstring* localDigest,
            std::wstring* remoteDigest, bool sameFolder = false) {
    if (!sameFolder) FreshServerFolder();
    if (!local.empty()) testsupport::WriteBytes(package_ + L"\\bin\\kit.exe.md5", local);
    if (!remote.empty()) httptest::Serve(RemoteDigestPath(), remote);
    wchar_t localBuffer[kDigestChars] = {0};
    wchar_t remoteBuffer[kDigestChars] = {0};
    int result = CheckFileUpdate(file_, package_.c_str(), localBuffer, remoteBuffer);
    *localDigest = localBuffer;
    *remoteDigest = remoteBuffer;
    return result;
  }

  httptest::SetupScope setup_;
  std::wstring dir_;
  std::wstring current_;
  testsupport::ScratchFolder packageFolder_{L"package"};
  std::wstring package_;
  DownloadableFile file_;
};

TEST_F(UpdateCheckHttpTest, RemoteProductCodeIsTheFirstWordOfTheServersFile) {
  testsupport::LogCapture log;
  ASSERT_TRUE(httptest::Serve(ProductCodePath(), "{REMOTE-CODE-7} other words\r\n"));
  std::wstring code;
  EXPECT_EQ(0u, FetchCode(&code));
  EXPECT_EQ(L"{REMOTE-CODE-7}", code);
  EXPECT_TRUE(log.Contains("[KITFETCH] Downloaded file to temporary path: "));
  EXPECT_TRUE(log.Contains("[KITFETCHER] Product code of the kit that will be downloaded: {REMOTE-CODE-7}"));
}

TEST_F(UpdateCheckHttpTest, AnEmptyRemoteProductCodeIsStillRead) {
  ASSERT_TRUE(httptest::Serve(ProductCodePath(), ""));
  std::wstring code = L"x";
  EXPECT_EQ(0u, FetchCode(&code));
  EXPECT_EQ(L"", code);
}

TEST_F(UpdateCheckHttpTest, ErrorStatusesAndCutBodiesAreFailedProductCodeDownloads) {
  const wchar_t* misbehaviours[] = {L"status=404", L"status=500", L"drop_after=12"};
  for (size_t i = 0; i < 3; ++i) {
    FreshServerFolder();
    std::wstring path = ProductCodePath();
    ASSERT_TRUE(httptest::Serve(path, "{CUT-CODE}" + std::string(5000, ' ') + "\n"));
    ASSERT_TRUE(httptest::SetRule(path, misbehaviours[i]));
    std::wstring code = L"x";
    EXPECT_EQ(kRemoteProductCodeDownloadFailed, FetchCode(&code)) << i;
    EXPECT_EQ(L"", code) << i;
    EXPECT_EQ(1, httptest::RequestCount(path));
  }
}

TEST_F(UpdateCheckHttpTest, RemoteProductCodesThatCannotNameAFolderAreRefused) {
  testsupport::LogCapture log;
  const char* codes[] = {"C:\\Windows", "..\\..\\x"};
  for (size_t i = 0; i < 2; ++i) {
    FreshServerFolder();
    ASSERT_TRUE(httptest::Serve(ProductCodePath(), codes[i]));
    std::wstring code = L"x";
    EXPECT_EQ(kRemoteProductCodeDownloadFailed, FetchCode(&code)) << codes[i];
    EXPECT_EQ(L"", code);
  }
  EXPECT_TRUE(log.Contains("Product code ..\\..\\x cannot name a folder"));
}

// An update is a server digest that differs from the local one in any
// character, letter case included; without a local digest the server is not
// asked. (The row without one comes first: the package keeps what a row wrote.)
TEST_F(UpdateCheckHttpTest, AnUpdateIsADigestThatDiffersInAnyCharacter) {
  struct Row {
    const char* local;
    const char* remote;
    int update;
    const wchar_t* localOut;
    const wchar_t* remoteOut;
    int remoteRequests;
  } rows[] = {
      {"", "ffff", 0, L"", L"", 0},
      {"0cc175b9c0f1b6a8\n", "0cc175b9c0f1b6a8", 0, L"0cc175b9c0f1b6a8", L"", 1},
      {"0cc175b9c0f1b6a8", "0CC175B9C0F1B6A8 trailing\r\n", 1, L"0cc175b9c0f1b6a8", L"0CC175B9C0F1B6A8", 1},
  };
  for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); ++i) {
    SCOPED_TRACE(i);
    testsupport::LogCapture log;
    std::wstring local, remote;
    EXPECT_EQ(rows[i].update, Check(rows[i].local, rows[i].remote, &local, &remote));
    EXPECT_EQ(rows[i].localOut, local);
    EXPECT_EQ(rows[i].remoteOut, remote);
    EXPECT_EQ(rows[i].remoteRequests, httptest::RequestCount(RemoteDigestPath()));
    EXPECT_EQ(rows[i].update == 1, log.Contains("[KITFETCHER] Remote md5 is different; Update is available"));
  }
}

TEST_F(UpdateCheckHttpTest, FailedRemoteDigestDownloadsMeanNoUpdate) {
  const wchar_t* misbehaviours[] = {L"status=404", L"status=500", L"drop_after=2"};
  for (size_t i = 0; i < 3; ++i) {
    testsupport::LogCapture log;
    FreshServerFolder();
    httptest::Serve(RemoteDigestPath(), "ffffffff");
    ASSERT_TRUE(httptest::SetRule(RemoteDigestPath(), misbehaviours[i]));
    std::wstring local, remote;
    EXPECT_EQ(0, Check("0cc1", "", &local, &remote, true)) << i;
    EXPECT_EQ(L"0cc1", local);
    EXPECT_EQ(L"", remote);
    EXPECT_TRUE(log.Contains("] Cannot download remote version file.")) << i;
  }
}

TEST_F(UpdateCheckHttpTest, LongDigestsAreComparedInFullAndNeverHandedOutCut) {
  std::string base(59, 'a');
  std::wstring local, remote;
  EXPECT_EQ(0, Check(base + "1", base + "1", &local, &remote));
  EXPECT_EQ(L"", local) << "60 characters do not fit the buffer of 50";
  EXPECT_EQ(1, Check(base + "1", base + "2", &local, &remote)) << "differs after the 49th character";
  EXPECT_EQ(L"", remote);
  // Up to 48 characters a remote digest is handed out.
  EXPECT_EQ(1, Check(std::string(48, 'b'), std::string(48, 'c'), &local, &remote));
  EXPECT_EQ(std::wstring(48, L'c'), remote);
}

}  // namespace
