// The remote size query through WinINet against the kit test server.
#include <gtest/gtest.h>
#include <windows.h>
#include <wininet.h>

#include <stdlib.h>
#include <string>

#include "common/scoped_handles.h"
#include "downloader/transfer/network_call.h"
#include "downloader/transfer/web_fetch.h"
#include "tests/unit/support/http_test_support.h"
#include "tests/unit/support/unique_name.h"

namespace {

class RemoteSizeHttpTest : public ::testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_HTTP_SERVER();
    dir_ = L"/" + testsupport::UniqueName(L"size");
  }
  std::wstring dir_;
};

TEST_F(RemoteSizeHttpTest, ReadsTheContentLengthWithItsOwnAgent) {
  std::wstring path = dir_ + L"/kit.exe";
  ASSERT_TRUE(httptest::Serve(path, httptest::Pattern(1234567)));
  DWORD size = 99;
  EXPECT_EQ(0u, QueryRemoteFileSize(httptest::Url(path).c_str(), &size));
  EXPECT_EQ(1234567u, size);
  EXPECT_EQ("VAVurirodi\n", httptest::Control(L"/__agents?path=" + path));
}

// Closing a cached request drains its body into the cache, so a query of a big
// file would move the whole file once more before it is downloaded.
TEST_F(RemoteSizeHttpTest, TheQueryLeavesABigBodyUnsent) {
  const size_t kBig = 64u << 20;
  std::wstring path = dir_ + L"/big.exe";
  ASSERT_TRUE(httptest::Serve(path, std::string(kBig, 'k')));
  DWORD size = 0;
  ASSERT_EQ(0u, QueryRemoteFileSize(httptest::Url(path).c_str(), &size));
  EXPECT_EQ(kBig, size);
  // The server counts a request's body bytes once its answer has ended.
  std::string sent;
  for (DWORD start = GetTickCount(); sent.empty() && GetTickCount() - start < 60000; Sleep(50)) {
    sent = httptest::Control(L"/__sent?path=" + path);
  }
  ASSERT_FALSE(sent.empty()) << "the answer to the size query never ended";
  EXPECT_LE(atoll(sent.c_str()), 1 << 20) << "body bytes sent: " << sent;
}

TEST_F(RemoteSizeHttpTest, NoLengthGivesZeroAndTheError) {
  std::wstring path = dir_ + L"/nolength.exe";
  ASSERT_TRUE(httptest::Serve(path, httptest::Pattern(5000)));
  DWORD size = 99;
  EXPECT_EQ(static_cast<DWORD>(ERROR_HTTP_HEADER_NOT_FOUND),
            QueryRemoteFileSize(httptest::Url(path + L"?no_length=1").c_str(), &size));
  EXPECT_EQ(0u, size);
}

TEST_F(RemoteSizeHttpTest, AnErrorPageIsNotTheFilesSize) {
  std::wstring path = dir_ + L"/missing.exe";
  DWORD size = 99;
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), QueryRemoteFileSize(httptest::Url(path).c_str(), &size));
  EXPECT_EQ(0u, size);
  size = 99;
  EXPECT_EQ(static_cast<DWORD>(ERROR_BAD_NET_RESP),
            QueryRemoteFileSize(httptest::Url(path + L"?status=500").c_str(), &size));
  EXPECT_EQ(0u, size);
}

DWORD WINAPI QuitAfterASecond(LPVOID) {
  Sleep(1000);
  SetEvent(g_setup.cancelEvent.Get());
  return 0;
}

// A server that drips its headers (the whole answer would take minutes): the
// query gives up at its limit (shortened here), and at once after a quit.
TEST_F(RemoteSizeHttpTest, AServerThatHoldsItsHeadersBackGivesUpInTime) {
  httptest::SetupScope setup;
  std::wstring path = dir_ + L"/held.exe";
  ASSERT_TRUE(httptest::Serve(path, httptest::Pattern(1000)));
  NetworkLimits shortened = CurrentNetworkLimits();
  shortened.sizeQuery.totalMs = 2000;
  NetworkLimits previous = SetNetworkLimits(&shortened);
  DWORD size = 99;
  DWORD start = GetTickCount();
  EXPECT_EQ(static_cast<DWORD>(ERROR_TIMEOUT),
            QueryRemoteFileSize(httptest::Url(path + L"?drip_headers=1").c_str(), &size));
  EXPECT_EQ(0u, size);
  EXPECT_LT(GetTickCount() - start, 20000u);
  SetNetworkLimits(&previous);

  g_setup.cancelEvent.Reset(CreateEventW(NULL, TRUE, FALSE, NULL));
  qn::ScopedHandle quitter(CreateThread(NULL, 0, QuitAfterASecond, NULL, 0, NULL));
  size = 99;
  start = GetTickCount();
  EXPECT_EQ(static_cast<DWORD>(ERROR_CANCELLED),
            QueryRemoteFileSize(httptest::Url(path + L"?drip_headers=1").c_str(), &size));
  EXPECT_LT(GetTickCount() - start, 15000u);
  WaitForSingleObject(quitter.Get(), INFINITE);
}

TEST(RemoteSize, UnreachableServerGivesZeroAndTheWinInetError) {
  DWORD size = 99;
  EXPECT_EQ(static_cast<DWORD>(ERROR_INTERNET_CANNOT_CONNECT),
            QueryRemoteFileSize(L"http://127.0.0.1:1/kit.exe", &size));
  EXPECT_EQ(0u, size);
}

TEST(RemoteSize, MissingArgumentsAreRefused) {
  DWORD size = 99;
  EXPECT_EQ(static_cast<DWORD>(ERROR_BAD_ARGUMENTS), QueryRemoteFileSize(NULL, &size));
  EXPECT_EQ(99u, size);
  EXPECT_EQ(static_cast<DWORD>(ERROR_BAD_ARGUMENTS), QueryRemoteFileSize(L"http://127.0.0.1:1/x", NULL));
}

}  // namespace
