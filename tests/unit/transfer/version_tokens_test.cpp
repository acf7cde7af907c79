// Product codes and .md5 tokens: read from the package, fetched from the
// server and compared. Without a server a refused connection stands for an
// unreachable one; the rest runs against the kit test server.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "common/fixed_string.h"
#include "downloader/services/setup_state.h"
#include "downloader/transfer/setup_folder.h"
#include "downloader/transfer/version_tokens.h"
#include "tests/unit/support/captured_log.h"
#include "tests/unit/support/fresh_setup_state.h"
#include "tests/unit/support/http_test_support.h"
#include "tests/unit/support/kit_package.h"
#include "tests/unit/support/scratch_files.h"
#include "tests/unit/support/unique_name.h"

namespace {

using kittest::ReadBytes;
using kittest::WriteBytes;

const wchar_t kRefusedTemplate[] = L"http://127.0.0.1:1/%s";

class VersionTokensTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = scratch_.Path();
    ASSERT_TRUE(qn::CopyText(g_setup.programFolder, kPathChars, (folder_ + L"\\").c_str()));
  }

  DWORD ReadCode(const std::string& content, std::wstring* code) {
    WriteBytes(folder_ + L"\\productcode.txt", content);
    wchar_t buffer[kProductCodeChars] = {0};
    DWORD result = ReadLocalProductCode(buffer);
    *code = buffer;
    return result;
  }

  kittest::SetupScope setup_;
  kittest::ScratchFolder scratch_{L"updatecheck"};
  std::wstring folder_;
};

TEST_F(VersionTokensTest, LocalProductCodeIsTheFirstWord) {
  std::wstring code;
  EXPECT_EQ(0u, ReadCode("  \r\n\t{ABC-123} second words\r\nthird\r\n", &code));
  EXPECT_EQ(L"{ABC-123}", code);
  EXPECT_EQ(0u, ReadCode("", &code));
  EXPECT_EQ(L"", code);
  EXPECT_EQ(0u, ReadCode("\xE9t\xE9", &code));
  EXPECT_EQ(L"\u00E9t\u00E9", code) << "bytes become characters one by one";
  EXPECT_EQ(0u, ReadCode(std::string(99, 'x'), &code));
  EXPECT_EQ(99u, code.size());
  EXPECT_EQ(0u, ReadCode("{ABC-123}.", &code));
  EXPECT_EQ(L"{ABC-123}", code) << "the code is the folder's name as Windows stores it";
}

TEST_F(VersionTokensTest, MissingLocalProductCodeMeansAnOnlinePackage) {
  kittest::LogCapture log;
  wchar_t code[kProductCodeChars] = {L'x', 0};
  EXPECT_EQ(kNoLocalProductCode, ReadLocalProductCode(code));
  EXPECT_EQ(L'\0', code[0]);
  EXPECT_TRUE(log.Contains(" does not exist. This is an online package!"));
}

TEST_F(VersionTokensTest, UnusableLocalProductCodesAreFailedReads) {
  kittest::LogCapture log;
  std::wstring code;
  DWORD result = ReadCode("C:\\Windows", &code);
  EXPECT_EQ(kLocalProductCodeNotAName, result);
  EXPECT_EQ(L"", code);
  EXPECT_EQ(kLocalProductCodeNotAName, ReadCode("..\\..\\x", &code));
  EXPECT_EQ(L"", code);
  EXPECT_EQ(kLocalProductCodeTooLong, ReadCode(std::string(100, 'x'), &code));
  EXPECT_EQ(L"", code);
  EXPECT_TRUE(log.Contains("Product code C:\\Windows cannot name a folder"));
  EXPECT_NE(0u, kLocalProductCodeNotAName);
  EXPECT_NE(kNoLocalProductCode, kLocalProductCodeNotAName);
  EXPECT_NE(kNoLocalProductCode, kLocalProductCodeTooLong);
}

TEST_F(VersionTokensTest, UnreachableServerGivesNoRemoteProductCode) {
  kittest::LogCapture log;
  wchar_t code[kProductCodeChars] = {0};
  EXPECT_EQ(kRemoteProductCodeDownloadFailed, FetchRemoteProductCode(code)) << "no template at all";
  g_setup.locations.baseUrl.Set(kRefusedTemplate);
  EXPECT_EQ(kRemoteProductCodeDownloadFailed, FetchRemoteProductCode(code));
  EXPECT_EQ(L'\0', code[0]);
  EXPECT_TRUE(log.Contains("[KITFETCHER] Downloading productcode.txt from: http://127.0.0.1:1/en/productcode.txt"));
  EXPECT_TRUE(log.Contains("[KITFETCHER] Cannot download http://127.0.0.1:1/en/productcode.txt. Error -"));
}

// Without a local digest the server is not asked; without the server's, the
// local one is still handed out.
TEST_F(VersionTokensTest, AMissingDigestOnEitherSideMeansNoUpdate) {
  struct Row {
    const char* localDigest;
    const wchar_t* handedOut;
    const char* logged;
    const char* notLogged;
  } rows[] = {
      {NULL, L"", "[KITFETCHER] Local md5 does not exist", "Cannot download remote version file."},
      {"0123abcd\r\n", L"0123abcd", "] Cannot download remote version file.\r\n", "Local md5 does not exist"},
  };
  for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); ++i) {
    SCOPED_TRACE(i);
    kittest::LogCapture log;
    DownloadableFile file = kittest::KitFile(L"a.exe", L"sub", kRefusedTemplate);
    if (rows[i].localDigest) WriteBytes(folder_ + L"\\sub\\a.exe.md5", rows[i].localDigest);
    wchar_t local[kDigestChars] = {0};
    wchar_t remote[kDigestChars] = {0};
    EXPECT_EQ(0, CheckFileUpdate(file, g_setup.programFolder, local, remote));
    EXPECT_STREQ(rows[i].handedOut, local);
    EXPECT_EQ(L'\0', remote[0]);
    EXPECT_TRUE(log.Contains(rows[i].logged));
    EXPECT_FALSE(log.Contains(rows[i].notLogged));
    EXPECT_TRUE(log.Contains("[KITFETCHER] Remote md5 file is http://127.0.0.1:1/en/sub/a.exe.md5"));
  }
}

TEST_F(VersionTokensTest, AnOverlongLocalDigestIsNotRecordedCut) {
  DownloadableFile file = kittest::KitFile(L"a.exe", nullptr, kRefusedTemplate);
  WriteBytes(folder_ + L"\\a.exe.md5", std::string(60, 'f'));
  wchar_t local[kDigestChars + 1];
  wmemset(local, L'#', kDigestChars + 1);
  local[0] = L'\0';
  EXPECT_EQ(0, CheckFileUpdate(file, g_setup.programFolder, local, NULL));
  EXPECT_EQ(L'\0', local[0]);
  EXPECT_EQ(L'#', local[kDigestChars]);
}

TEST_F(VersionTokensTest, DestinationDigestLiesBesideTheFile) {
  DownloadableFile top = kittest::KitFile(L"a.exe");
  EXPECT_EQ(1, WriteDestinationDigest(folder_.c_str(), L"d41d8cd9", top));
  EXPECT_EQ("d41d8cd9", ReadBytes(folder_ + L"\\a.exe.md5"));
  EXPECT_EQ(1, WriteDestinationDigest(folder_.c_str(), L"", top));
  EXPECT_EQ("", ReadBytes(folder_ + L"\\a.exe.md5"));

  DownloadableFile nested = kittest::KitFile(L"a.exe", L"tools");
  CreateDirectoryW((folder_ + L"\\tools").c_str(), NULL);
  EXPECT_EQ(1, WriteDestinationDigest(folder_.c_str(), L"\u00E9E", nested));
  EXPECT_EQ("\xE9" "E", ReadBytes(folder_ + L"\\tools\\a.exe.md5"));
}

TEST_F(VersionTokensTest, DestinationDigestNeedsAFolderThatExists) {
  DownloadableFile file = kittest::KitFile(L"a.exe", L"missing");
  EXPECT_EQ(0, WriteDestinationDigest(folder_.c_str(), L"x", file));
  EXPECT_EQ(0, WriteDestinationDigest(L"", L"x", file)) << "never relative to the working folder";
}

// ---- Against the kit test server. Its error pages start with a plain word, so
// a client that ignored the status would take them for a product code or a digest.

class VersionTokensHttpTest : public ::testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_HTTP_SERVER();
    dir_ = L"/" + kittest::UniqueName(L"upd");
    FreshServerFolder();
    package_ = packageFolder_.Path();
  }

  // Every download of a test gets a URL of its own, so that no answer can come
  // from the URL cache.
  void FreshServerFolder() {
    static int serial = 0;
    wchar_t sub[16];
    qn::FormatInto(sub, 16, L"/%d", ++serial);
    current_ = dir_ + sub;
    g_setup.locations.baseUrl.Set(kittest::Url(current_ + L"/%s").c_str());
    file_.baseUrl.Set(kittest::Url(current_ + L"/%s").c_str());
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
    if (!local.empty()) kittest::WriteBytes(package_ + L"\\bin\\kit.exe.md5", local);
    if (!remote.empty()) kittest::Serve(RemoteDigestPath(), remote);
    wchar_t localBuffer[kDigestChars] = {0};
    wchar_t remoteBuffer[kDigestChars] = {0};
    int result = CheckFileUpdate(file_, package_.c_str(), localBuffer, remoteBuffer);
    *localDigest = localBuffer;
    *remoteDigest = remoteBuffer;
    return result;
  }

  kittest::SetupScope setup_;
  std::wstring dir_;
  std::wstring current_;
  kittest::ScratchFolder packageFolder_{L"package"};
  std::wstring package_;
  DownloadableFile file_ = kittest::KitFile(L"kit.exe", L"bin");
};

TEST_F(VersionTokensHttpTest, RemoteProductCodeIsTheFirstWordOfTheServersFile) {
  kittest::LogCapture log;
  ASSERT_TRUE(kittest::Serve(ProductCodePath(), "{REMOTE-CODE-7} other words\r\n"));
  std::wstring code;
  EXPECT_EQ(0u, FetchCode(&code));
  EXPECT_EQ(L"{REMOTE-CODE-7}", code);
  EXPECT_TRUE(log.Contains("[KITFETCH] Downloaded file to temporary path: "));
  EXPECT_TRUE(log.Contains("[KITFETCHER] Product code of the kit that will be downloaded: {REMOTE-CODE-7}"));
}

TEST_F(VersionTokensHttpTest, AnEmptyRemoteProductCodeIsStillRead) {
  ASSERT_TRUE(kittest::Serve(ProductCodePath(), ""));
  std::wstring code = L"x";
  EXPECT_EQ(0u, FetchCode(&code));
  EXPECT_EQ(L"", code);
}

TEST_F(VersionTokensHttpTest, ErrorStatusesAndCutBodiesAreFailedProductCodeDownloads) {
  const wchar_t* misbehaviours[] = {L"status=404", L"status=500", L"drop_after=12"};
  for (size_t i = 0; i < 3; ++i) {
    FreshServerFolder();
    std::wstring path = ProductCodePath();
    ASSERT_TRUE(kittest::Serve(path, "{CUT-CODE}" + std::string(5000, ' ') + "\n"));
    ASSERT_TRUE(kittest::SetRule(path, misbehaviours[i]));
    std::wstring code = L"x";
    EXPECT_EQ(kRemoteProductCodeDownloadFailed, FetchCode(&code)) << i;
    EXPECT_EQ(L"", code) << i;
    EXPECT_EQ(1, kittest::RequestCount(path));
  }
}

TEST_F(VersionTokensHttpTest, RemoteProductCodesThatCannotNameAFolderAreRefused) {
  kittest::LogCapture log;
  const char* codes[] = {"C:\\Windows", "..\\..\\x"};
  for (size_t i = 0; i < 2; ++i) {
    FreshServerFolder();
    ASSERT_TRUE(kittest::Serve(ProductCodePath(), codes[i]));
    std::wstring code = L"x";
    EXPECT_EQ(kRemoteProductCodeDownloadFailed, FetchCode(&code)) << codes[i];
    EXPECT_EQ(L"", code);
  }
  EXPECT_TRUE(log.Contains("Product code ..\\..\\x cannot name a folder"));
}

// An update is a server digest that differs from the local one in any
// character, letter case included; without a local digest the server is not
// asked. (The row without one comes first: the package keeps what a row wrote.)
TEST_F(VersionTokensHttpTest, AnUpdateIsADigestThatDiffersInAnyCharacter) {
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
    kittest::LogCapture log;
    std::wstring local, remote;
    EXPECT_EQ(rows[i].update, Check(rows[i].local, rows[i].remote, &local, &remote));
    EXPECT_EQ(rows[i].localOut, local);
    EXPECT_EQ(rows[i].remoteOut, remote);
    EXPECT_EQ(rows[i].remoteRequests, kittest::RequestCount(RemoteDigestPath()));
    EXPECT_EQ(rows[i].update == 1, log.Contains("[KITFETCHER] Remote md5 is different; Update is available"));
  }
}

TEST_F(VersionTokensHttpTest, FailedRemoteDigestDownloadsMeanNoUpdate) {
  const wchar_t* misbehaviours[] = {L"status=404", L"status=500", L"drop_after=2"};
  for (size_t i = 0; i < 3; ++i) {
    kittest::LogCapture log;
    FreshServerFolder();
    kittest::Serve(RemoteDigestPath(), "ffffffff");
    ASSERT_TRUE(kittest::SetRule(RemoteDigestPath(), misbehaviours[i]));
    std::wstring local, remote;
    EXPECT_EQ(0, Check("0cc1", "", &local, &remote, true)) << i;
    EXPECT_EQ(L"0cc1", local);
    EXPECT_EQ(L"", remote);
    EXPECT_TRUE(log.Contains("] Cannot download remote version file.")) << i;
  }
}

TEST_F(VersionTokensHttpTest, LongDigestsAreComparedInFullAndNeverHandedOutCut) {
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
