// What the worker asks of the web server: URLs composed from templates that
// are not trusted as formats; kit file downloads through the real URL moniker
// against the kit test server (counting, speed, cancellation, and failed
// downloads: error statuses and cut bodies, which the moniker itself reports as
// successes, with their prompts); and the remote size query through WinINet.
#include <gtest/gtest.h>
#include <windows.h>
#include <wininet.h>

#include <stdlib.h>
#include <memory>
#include <string>
#include <vector>

#include "common/fixed_string.h"
#include "common/scoped_handles.h"
#include "downloader/services/setup_state.h"
#include "downloader/services/text_ids.h"
#include "downloader/transfer/network_call.h"
#include "downloader/transfer/web_fetch.h"
#include "tests/unit/support/captured_log.h"
#include "tests/unit/support/fresh_setup_state.h"
#include "tests/unit/support/http_test_support.h"
#include "tests/unit/support/kit_package.h"
#include "tests/unit/support/recording_host.h"
#include "tests/unit/support/scratch_files.h"
#include "tests/unit/support/unique_name.h"

namespace {

using kittest::RecordingHost;

// ---- URLs from the kit's templates ----

class UrlComposeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetSetupState();
    ASSERT_TRUE(qn::CopyText(g_setup.locations.language, kNameChars, L"en"));
  }
  void TearDown() override { ResetSetupState(); }

  std::wstring Compose(const wchar_t* templ, const wchar_t* a, const wchar_t* b = NULL) {
    const wchar_t* components[2] = {a, b};
    wchar_t url[kUrlChars];
    EXPECT_TRUE(qn::CopyText(url, kUrlChars, L"stale"));
    if (!ComposeKitUrl(templ, components, b ? 2 : 1, url, kUrlChars)) {
      EXPECT_EQ(L'\0', url[0]);
      return L"<failed>";
    }
    return url;
  }
};

TEST_F(UrlComposeTest, PutsTheLanguageAndJoinsComponentsWithOneSlash) {
  EXPECT_EQ(L"http://kit.example/dl/en/sub/a.exe", Compose(L"http://kit.example/dl/%s", L"sub", L"a.exe"));
  EXPECT_EQ(L"http://kit.example/en/a.exe", Compose(L"http://kit.example/%s/", L"a.exe"));
  EXPECT_EQ(L"http://kit.example/files/productcode.txt", Compose(L"http://kit.example/files", L"productcode.txt"));
  // Only a slash the URL already ends with saves one; backslashes stay.
  EXPECT_EQ(L"http://kit.example/en/sub\\dir/a.exe", Compose(L"http://kit.example/%s", L"sub\\dir", L"a.exe"));
  EXPECT_EQ(L"http://kit.example/en//a.exe", Compose(L"http://kit.example/%s/", L"/a.exe"));
}

TEST_F(UrlComposeTest, KeepsEveryOtherPercentSignAsWritten) {
  EXPECT_EQ(L"http://kit.example/my%20kit/en/a.exe", Compose(L"http://kit.example/my%20kit/%s", L"a.exe"));
  EXPECT_EQ(L"http://kit.example/%n%d%x/en/a.exe", Compose(L"http://kit.example/%n%d%x/%s", L"a.exe"));
  // A second placeholder has no argument: it stays empty, never reads one.
  EXPECT_EQ(L"http://kit.example/en/a.exe", Compose(L"http://kit.example/%s/%s", L"a.exe"));
  EXPECT_EQ(L"http://kit.example/en-/a.exe", Compose(L"http://kit.example/%s-%s", L"a.exe"));
}

TEST_F(UrlComposeTest, NoTemplateIsAFailure) {
  EXPECT_EQ(L"<failed>", Compose(NULL, L"a.exe"));
  EXPECT_EQ(L"<failed>", Compose(L"", L"a.exe"));
}

TEST_F(UrlComposeTest, StaysWithin259CharactersAndTheBuffer) {
  std::wstring base = L"http://kit.example/";
  std::wstring templ = base + std::wstring(259 - base.size() - 6, L'x');  // + "/a.exe" = 259
  EXPECT_EQ(259u, Compose(templ.c_str(), L"a.exe").size());
  templ += L"y";
  EXPECT_EQ(L"<failed>", Compose(templ.c_str(), L"a.exe"));

  // A smaller buffer is never written past.
  wchar_t guarded[20];
  for (size_t i = 0; i < 20; ++i) guarded[i] = L'#';
  const wchar_t* components[1] = {L"a.exe"};
  EXPECT_FALSE(ComposeKitUrl(L"http://kit.example/%s", components, 1, guarded, 16));
  EXPECT_EQ(L'\0', guarded[0]);
  for (size_t i = 16; i < 20; ++i) EXPECT_EQ(L'#', guarded[i]);
  EXPECT_FALSE(ComposeKitUrl(L"http://k/%s", components, 1, guarded, 17)) << "17 characters need 18";
  EXPECT_TRUE(ComposeKitUrl(L"http://k/%s", components, 1, guarded, 18));
  EXPECT_STREQ(L"http://k/en/a.exe", guarded);
}

TEST_F(UrlComposeTest, FileUrlsUseTheEntrysTemplateElseTheDefault) {
  g_setup.locations.baseUrl.Set(L"http://default.example/%s");
  DownloadableFile file = kittest::KitFile(L"setup.exe");
  wchar_t url[kUrlChars];
  ASSERT_TRUE(ComposeFileUrl(file, file.md5Name.Get(), url, kUrlChars));
  EXPECT_STREQ(L"http://default.example/en/setup.exe.md5", url);
  file.relativePath.Set(L"tools");
  file.baseUrl.Set(L"http://own.example/%s/kit/");
  ASSERT_TRUE(ComposeFileUrl(file, file.name.Get(), url, kUrlChars));
  EXPECT_STREQ(L"http://own.example/en/kit/tools/setup.exe", url);

  g_setup.locations.baseUrl.Reset();
  file.baseUrl.Reset();
  EXPECT_FALSE(ComposeFileUrl(file, file.name.Get(), url, kUrlChars));
  EXPECT_EQ(L'\0', url[0]);
}

// ---- Kit files and small files through the URL cache ----

class UrlDownloadHttpTest : public ::testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_HTTP_SERVER();
    ASSERT_TRUE(setup_.HasResources()) << "kitfetcher.exe of this build holds the string table";
    dir_ = L"/" + kittest::UniqueName(L"dl");
  }

  // Serves `size` bytes at dir/name and returns its URL path.
  std::wstring ServeFile(const wchar_t* name, size_t size) {
    std::wstring path = dir_ + L"/" + name;
    EXPECT_TRUE(kittest::Serve(path, kittest::Pattern(size)));
    return path;
  }

  // Downloads with a fresh host that answers the retry questions in order;
  // `announced` >= 0 is the size the server gave before (sizeKnown).
  // The worker reads only these three ends out of a download's result.
  enum Outcome { kDownloaded, kDownloadCancelled, kDownloadFailed };
  Outcome Download(const std::wstring& urlPath, std::wstring* cached,
                   const std::vector<int>& answers = std::vector<int>(), int announced = -1) {
    host_.reset(new RecordingHost(answers));
    wchar_t cachePath[kCachePathChars];
    qn::Result result = DownloadKitFile(kittest::Url(urlPath).c_str(), announced < 0 ? 1234 : announced,
                                        cachePath, *host_, announced >= 0);
    *cached = cachePath;
    return result ? kDownloaded : result.Is(qn::kCancelled) ? kDownloadCancelled : kDownloadFailed;
  }

  // Each failed attempt is reported to the host, followed by the question to
  // retry while retries are left (`questions` of them were asked); the message
  // that the download failed comes last.
  void ExpectFailedAttempts(int attempts, int questions) {
    std::vector<RecordingHost::Call> expected;
    RecordingHost::Call failing = {RecordingHost::kProgress, 0, 0, L"", kTransferFailing};
    RecordingHost::Call retry = {RecordingHost::kAsk, IDS_RETRY_DOWNLOAD, MB_ICONERROR | MB_RETRYCANCEL, L"",
                                 kTransferRunning};
    RecordingHost::Call failed = {RecordingHost::kTell, IDS_DOWNLOAD_FAILED, MB_ICONERROR, L"", kTransferRunning};
    for (int i = 0; i < attempts; ++i) {
      expected.push_back(failing);
      if (i < questions) expected.push_back(retry);
    }
    expected.push_back(failed);
    ASSERT_EQ(expected.size(), host_->calls.size());
    for (size_t i = 0; i < expected.size(); ++i) {
      EXPECT_EQ(expected[i].kind, host_->calls[i].kind) << "call " << i;
      EXPECT_EQ(expected[i].textId, host_->calls[i].textId) << "call " << i;
      EXPECT_EQ(expected[i].style, host_->calls[i].style) << "call " << i;
      EXPECT_EQ(expected[i].state, host_->calls[i].state) << "call " << i;
    }
  }

  kittest::SetupScope setup_;
  std::wstring dir_;
  std::unique_ptr<RecordingHost> host_;
};

TEST_F(UrlDownloadHttpTest, CountsEveryByteWithAndWithoutContentLength) {
  std::wstring path = ServeFile(L"a.bin", 300000);
  std::wstring cached;
  ASSERT_EQ(kDownloaded, Download(path, &cached));
  EXPECT_EQ(kittest::Pattern(300000), kittest::ReadBytes(cached));
  EXPECT_EQ(300000u, kittest::Transferred());

  ASSERT_EQ(kDownloaded, Download(path + L"?no_length=1", &cached));
  EXPECT_EQ(kittest::Pattern(300000), kittest::ReadBytes(cached));
  EXPECT_EQ(600000u, kittest::Transferred());
}

TEST_F(UrlDownloadHttpTest, AShortDownloadKeepsThePreviousSpeed) {
  g_setup.stats.speedKBps = 55.5;
  std::wstring cached;
  ASSERT_EQ(kDownloaded, Download(ServeFile(L"small.bin", 20000), &cached));
  EXPECT_EQ(55.5, kittest::Speed());

  // About three seconds at 200000 bytes/s: 200000 bytes / 1000 ms / 1000 * 1024.
  ASSERT_EQ(kDownloaded, Download(ServeFile(L"slow.bin", 600000) + L"?rate=200000", &cached));
  double speed = kittest::Speed();
  EXPECT_GT(speed, 150.0);
  EXPECT_LT(speed, 230.0);
}

// The moniker takes each of these for the file (Wine's does): an error page, a
// cut body, a chunked body cut or garbled short of the size the server gave
// before, the empty answer of a redirect to a file of the machine, a redirect
// loop. Each is a failed download.
TEST_F(UrlDownloadHttpTest, ErrorStatusesCutBodiesAndStrayRedirectsAreFailedDownloads) {
  const size_t kSize = 400000;
  std::wstring path = ServeFile(L"kit.exe", kSize);
  struct Case {
    const wchar_t* query;
    int announced;
  } cases[] = {{L"status=404", -1},
               {L"status=500", -1},
               {L"drop_after=1000", -1},
               {L"chunked=1&drop_after=350000", static_cast<int>(kSize)},
               {L"bad_chunk=1", static_cast<int>(kSize)},
               {L"chunked=1", static_cast<int>(kSize) + 1},
               {L"redirect=file%3A%2F%2F%2FC%3A%2Fwindows%2Fwin.ini", -1},
               {L"redirect_loop=1", -1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(c.query)));
    std::wstring cached = L"stale";
    EXPECT_EQ(kDownloadFailed, Download(path + L"?" + c.query, &cached, std::vector<int>(1, IDCANCEL), c.announced));
    EXPECT_EQ(L"", cached);
    ExpectFailedAttempts(1, 1);
  }
  // What a server may do and still deliver the file: chunk it whole, or send
  // it on to another web address.
  const std::wstring fine[] = {L"chunked=1", L"redirect=" + kittest::Url(path + L"?moved=1")};
  for (const std::wstring& query : fine) {
    std::wstring cached;
    EXPECT_EQ(kDownloaded, Download(path + L"?" + query, &cached, std::vector<int>(), static_cast<int>(kSize)))
        << testing::PrintToString(query);
    EXPECT_EQ(kittest::Pattern(kSize), kittest::ReadBytes(cached));
  }
}

// Plays the user who quits after a second.
DWORD WINAPI QuitAfterASecond(LPVOID) {
  Sleep(1000);
  SetEvent(g_setup.cancelEvent.Get());
  return 0;
}

// A server that holds its answer back, dripping its headers or flooding them
// (either would take minutes): the download gives up after its limit
// (shortened here), and a quit ends it within seconds, whichever comes first.
TEST_F(UrlDownloadHttpTest, AServerThatHoldsItsHeadersBackNeverHoldsTheRun) {
  NetworkLimits shortened = CurrentNetworkLimits();
  shortened.kitFile.idleMs = 2000;
  shortened.smallFile.idleMs = 2000;
  NetworkLimits previous = SetNetworkLimits(&shortened);
  std::wstring file = ServeFile(L"drip.exe", 1000);
  std::wstring path = file + L"?drip_headers=1";
  wchar_t cachePath[kCachePathChars];
  for (const std::wstring& held : {path, file + L"?header_flood=100000"}) {
    SCOPED_TRACE(testing::PrintToString(held));
    DWORD start = GetTickCount();
    std::wstring cached = L"stale";
    EXPECT_EQ(kDownloadFailed, Download(held, &cached, std::vector<int>(1, IDCANCEL)));
    EXPECT_EQ(L"", cached);
    EXPECT_EQ(qn::kTimedOut, DownloadUncounted(kittest::Url(held).c_str(), cachePath, kCachePathChars).Code());
    EXPECT_LT(GetTickCount() - start, 30000u);
  }
  SetNetworkLimits(&previous);

  std::wstring cached;
  DWORD start;
  g_setup.cancelEvent.Reset(CreateEventW(NULL, TRUE, FALSE, NULL));
  for (int uncounted = 0; uncounted < 2; ++uncounted) {
    ResetEvent(g_setup.cancelEvent.Get());
    qn::ScopedHandle quitter(CreateThread(NULL, 0, QuitAfterASecond, NULL, 0, NULL));
    start = GetTickCount();
    if (uncounted) {
      EXPECT_TRUE(DownloadUncounted(kittest::Url(path).c_str(), cachePath, kCachePathChars).Failed());
    } else {
      EXPECT_EQ(kDownloadCancelled, Download(path, &cached));
      EXPECT_TRUE(host_->calls.empty());
    }
    EXPECT_LT(GetTickCount() - start, 15000u) << "within seconds of the quit";
    WaitForSingleObject(quitter.Get(), INFINITE);
  }
}

TEST_F(UrlDownloadHttpTest, ThreeFailedAttemptsAskTwiceAndGiveUpOnce) {
  kittest::LogCapture log;
  std::wstring path = ServeFile(L"three.exe", 1000);
  ASSERT_TRUE(kittest::SetRule(path, L"status=500"));
  std::vector<int> answers(2, IDRETRY);
  std::wstring cached;
  EXPECT_EQ(kDownloadFailed, Download(path, &cached, answers));

  EXPECT_EQ(3, kittest::RequestCount(path));
  ExpectFailedAttempts(3, 2);
  std::string text = log.Text();
  std::string line = "[KITFETCHER] Downloading: http://127.0.0.1:";
  size_t count = 0;
  for (size_t at = text.find(line); at != std::string::npos; at = text.find(line, at + 1)) ++count;
  EXPECT_EQ(3u, count);
  EXPECT_NE(std::string::npos, text.find("(size 1234)"));
  EXPECT_NE(std::string::npos, text.find("/three.exe. Error :2148270088"));  // INET_E_DOWNLOAD_FAILURE
}

TEST_F(UrlDownloadHttpTest, CancelAtTheFirstPromptEndsAfterOneAttempt) {
  std::wstring path = ServeFile(L"once.exe", 1000);
  ASSERT_TRUE(kittest::SetRule(path, L"status=404"));
  std::wstring cached;
  EXPECT_EQ(kDownloadFailed, Download(path, &cached, std::vector<int>(1, IDCANCEL)));
  EXPECT_EQ(1, kittest::RequestCount(path));
  ExpectFailedAttempts(1, 1);
}

// Plays the user who quits once the first data has been counted, and notes how
// much had been counted then.
DWORD WINAPI CancelOnceDataArrives(LPVOID countedAtCancel) {
  // Waits for the download, not for a time; the bound only ends a hung run.
  for (int i = 0; i < 6000 && kittest::Transferred() == 0; ++i) Sleep(10);
  *static_cast<DWORD*>(countedAtCancel) = kittest::Transferred();
  SetEvent(g_setup.cancelEvent.Get());
  return 0;
}

TEST_F(UrlDownloadHttpTest, ACancelStopsAThrottledDownloadAtOnce) {
  kittest::LogCapture log;
  g_setup.cancelEvent.Reset(CreateEventW(NULL, TRUE, FALSE, NULL));
  // Twenty seconds of data at this rate: only a download that stops short ends
  // without all of it.
  std::wstring path = ServeFile(L"big.bin", 4000000) + L"?rate=200000";
  DWORD countedAtCancel = 0;
  qn::ScopedHandle canceller(CreateThread(NULL, 0, CancelOnceDataArrives, &countedAtCancel, 0, NULL));
  std::wstring cached = L"stale";
  EXPECT_EQ(kDownloadCancelled, Download(path, &cached));
  WaitForSingleObject(canceller.Get(), INFINITE);
  EXPECT_GT(countedAtCancel, 0u);
  EXPECT_GE(kittest::Transferred(), countedAtCancel);
  EXPECT_LT(kittest::Transferred(), 4000000u);
  EXPECT_EQ(L"", cached);
  EXPECT_TRUE(host_->calls.empty());
  EXPECT_TRUE(log.Contains("[KITFETCHER] Download canceled!"));

  // The event stays set: the next download stops at its first notification.
  EXPECT_EQ(kDownloadCancelled, Download(ServeFile(L"next.bin", 1000), &cached));
  EXPECT_TRUE(host_->calls.empty());
}

TEST_F(UrlDownloadHttpTest, UncountedDownloadsFailOnErrorsAndCountNothing) {
  std::wstring path = ServeFile(L"small.txt", 5000);
  g_setup.cancelEvent.Reset(CreateEventW(NULL, TRUE, TRUE, NULL));  // never looked at
  wchar_t cachePath[kCachePathChars];
  EXPECT_TRUE(DownloadUncounted(kittest::Url(path).c_str(), cachePath, kCachePathChars).Succeeded());
  EXPECT_EQ(kittest::Pattern(5000), kittest::ReadBytes(cachePath));
  EXPECT_EQ(0u, kittest::Transferred());

  const wchar_t* misbehaviours[] = {L"?status=404", L"?status=500", L"?drop_after=10"};
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_TRUE(DownloadUncounted(kittest::Url(path + misbehaviours[i]).c_str(), cachePath, kCachePathChars).Failed())
        << i;
    EXPECT_EQ(L'\0', cachePath[0]);
  }
  EXPECT_TRUE(DownloadUncounted(L"http://127.0.0.1:1/refused.txt", cachePath, kCachePathChars).Failed());
}

// ---- The remote size ----

class RemoteSizeHttpTest : public ::testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_HTTP_SERVER();
    dir_ = L"/" + kittest::UniqueName(L"size");
  }
  std::wstring dir_;
};

TEST_F(RemoteSizeHttpTest, ReadsTheContentLengthWithItsOwnAgent) {
  std::wstring path = dir_ + L"/kit.exe";
  ASSERT_TRUE(kittest::Serve(path, kittest::Pattern(1234567)));
  DWORD size = 99;
  EXPECT_EQ(0u, QueryRemoteFileSize(kittest::Url(path).c_str(), &size));
  EXPECT_EQ(1234567u, size);
  EXPECT_EQ("VAVurirodi\n", kittest::Control(L"/__agents?path=" + path));
}

// Closing a cached request drains its body into the cache, so a query of a big
// file would move the whole file once more before it is downloaded.
TEST_F(RemoteSizeHttpTest, TheQueryLeavesABigBodyUnsent) {
  const size_t kBig = 64u << 20;
  std::wstring path = dir_ + L"/big.exe";
  ASSERT_TRUE(kittest::Serve(path, std::string(kBig, 'k')));
  DWORD size = 0;
  ASSERT_EQ(0u, QueryRemoteFileSize(kittest::Url(path).c_str(), &size));
  EXPECT_EQ(kBig, size);
  // The server counts a request's body bytes once its answer has ended.
  std::string sent;
  for (DWORD start = GetTickCount(); sent.empty() && GetTickCount() - start < 60000; Sleep(50)) {
    sent = kittest::Control(L"/__sent?path=" + path);
  }
  ASSERT_FALSE(sent.empty()) << "the answer to the size query never ended";
  EXPECT_LE(atoll(sent.c_str()), 1 << 20) << "body bytes sent: " << sent;
}

TEST_F(RemoteSizeHttpTest, NoLengthGivesZeroAndTheError) {
  std::wstring path = dir_ + L"/nolength.exe";
  ASSERT_TRUE(kittest::Serve(path, kittest::Pattern(5000)));
  DWORD size = 99;
  EXPECT_EQ(static_cast<DWORD>(ERROR_HTTP_HEADER_NOT_FOUND),
            QueryRemoteFileSize(kittest::Url(path + L"?no_length=1").c_str(), &size));
  EXPECT_EQ(0u, size);
}

TEST_F(RemoteSizeHttpTest, AnErrorPageIsNotTheFilesSize) {
  std::wstring path = dir_ + L"/missing.exe";
  DWORD size = 99;
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), QueryRemoteFileSize(kittest::Url(path).c_str(), &size));
  EXPECT_EQ(0u, size);
  size = 99;
  EXPECT_EQ(static_cast<DWORD>(ERROR_BAD_NET_RESP),
            QueryRemoteFileSize(kittest::Url(path + L"?status=500").c_str(), &size));
  EXPECT_EQ(0u, size);
}

// A server that drips its headers (the whole answer would take minutes): the
// query gives up at its limit (shortened here), and at once after a quit.
TEST_F(RemoteSizeHttpTest, AServerThatHoldsItsHeadersBackGivesUpInTime) {
  kittest::SetupScope setup;
  std::wstring path = dir_ + L"/held.exe";
  ASSERT_TRUE(kittest::Serve(path, kittest::Pattern(1000)));
  NetworkLimits shortened = CurrentNetworkLimits();
  shortened.sizeQuery.totalMs = 2000;
  NetworkLimits previous = SetNetworkLimits(&shortened);
  DWORD size = 99;
  DWORD start = GetTickCount();
  EXPECT_EQ(static_cast<DWORD>(ERROR_TIMEOUT),
            QueryRemoteFileSize(kittest::Url(path + L"?drip_headers=1").c_str(), &size));
  EXPECT_EQ(0u, size);
  EXPECT_LT(GetTickCount() - start, 20000u);
  SetNetworkLimits(&previous);

  g_setup.cancelEvent.Reset(CreateEventW(NULL, TRUE, FALSE, NULL));
  qn::ScopedHandle quitter(CreateThread(NULL, 0, QuitAfterASecond, NULL, 0, NULL));
  size = 99;
  start = GetTickCount();
  EXPECT_EQ(static_cast<DWORD>(ERROR_CANCELLED),
            QueryRemoteFileSize(kittest::Url(path + L"?drip_headers=1").c_str(), &size));
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
