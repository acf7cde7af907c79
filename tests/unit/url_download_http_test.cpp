// Kit file downloads through the real URL moniker against the kit test server:
// counting, speed, cancellation, and failed downloads (error statuses and cut
// bodies, which the moniker itself reports as successes) with their prompts.
#include <gtest/gtest.h>
#include <shobjidl.h>
#include <windows.h>

#include <string>
#include <vector>

#include "common/scoped_handles.h"
#include "downloader/load_text.h"
#include "downloader/setup_state.h"
#include "downloader/transfer/url_download.h"
#include "downloader/ui/resource_ids.h"
#include "tests/unit/support/captured_log.h"
#include "tests/unit/support/http_test_support.h"
#include "tests/unit/support/message_boxes.h"
#include "tests/unit/support/scratch_files.h"
#include "tests/unit/support/unique_name.h"

namespace {

using testsupport::BoxAnswerer;
using testsupport::SeenBox;

// Records the taskbar states the download asks for.
class FakeTaskbar : public ITaskbarList3 {
 public:
  FakeTaskbar() : calls(0), lastState(TBPF_NOPROGRESS), lastWindow(NULL) {}
  STDMETHODIMP QueryInterface(REFIID, void** object) {
    *object = NULL;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() { return 2; }
  STDMETHODIMP_(ULONG) Release() { return 1; }
  STDMETHODIMP HrInit() { return S_OK; }
  STDMETHODIMP AddTab(HWND) { return S_OK; }
  STDMETHODIMP DeleteTab(HWND) { return S_OK; }
  STDMETHODIMP ActivateTab(HWND) { return S_OK; }
  STDMETHODIMP SetActiveAlt(HWND) { return S_OK; }
  STDMETHODIMP MarkFullscreenWindow(HWND, BOOL) { return S_OK; }
  STDMETHODIMP SetProgressValue(HWND, ULONGLONG, ULONGLONG) { return S_OK; }
  STDMETHODIMP SetProgressState(HWND window, TBPFLAG state) {
    ++calls;
    lastWindow = window;
    lastState = state;
    return S_OK;
  }
  STDMETHODIMP RegisterTab(HWND, HWND) { return S_OK; }
  STDMETHODIMP UnregisterTab(HWND) { return S_OK; }
  STDMETHODIMP SetTabOrder(HWND, HWND) { return S_OK; }
  STDMETHODIMP SetTabActive(HWND, HWND, DWORD) { return S_OK; }
  STDMETHODIMP ThumbBarAddButtons(HWND, UINT, LPTHUMBBUTTON) { return S_OK; }
  STDMETHODIMP ThumbBarUpdateButtons(HWND, UINT, LPTHUMBBUTTON) { return S_OK; }
  STDMETHODIMP ThumbBarSetImageList(HWND, HIMAGELIST) { return S_OK; }
  STDMETHODIMP SetOverlayIcon(HWND, HICON, LPCWSTR) { return S_OK; }
  STDMETHODIMP SetThumbnailTooltip(HWND, LPCWSTR) { return S_OK; }
  STDMETHODIMP SetThumbnailClip(HWND, RECT*) { return S_OK; }

  int calls;
  TBPFLAG lastState;
  HWND lastWindow;
};

class UrlDownloadHttpTest : public ::testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_HTTP_SERVER();
    ASSERT_TRUE(setup_.HasResources()) << "kitfetcher.exe of this build holds the string table";
    dir_ = L"/" + testsupport::UniqueName(L"dl");
    retryText_ = LoadText(IDS_RETRY_DOWNLOAD).text;
    failedText_ = LoadText(IDS_DOWNLOAD_FAILED).text;
  }

  // Serves `size` bytes at dir/name and returns its URL path.
  std::wstring ServeFile(const wchar_t* name, size_t size) {
    std::wstring path = dir_ + L"/" + name;
    EXPECT_TRUE(httptest::Serve(path, httptest::Pattern(size)));
    return path;
  }

  DownloadOutcome Download(const std::wstring& urlPath, std::wstring* cached) {
    wchar_t cachePath[kCachePathChars];
    DownloadOutcome outcome = DownloadKitFile(httptest::Url(urlPath).c_str(), 1234, cachePath);
    *cached = cachePath;
    return outcome;
  }

  void ExpectBoxes(const std::vector<SeenBox>& seen, const std::vector<std::wstring>& texts) {
    ASSERT_EQ(texts.size(), seen.size());
    for (size_t i = 0; i < texts.size(); ++i) {
      EXPECT_EQ(texts[i], seen[i].text) << "box " << i;
      EXPECT_EQ(texts[i] == retryText_, seen[i].hasRetry) << "box " << i;
    }
  }

  httptest::SetupScope setup_;
  std::wstring dir_;
  std::wstring retryText_;
  std::wstring failedText_;
};

TEST_F(UrlDownloadHttpTest, CountsEveryByteWithAndWithoutContentLength) {
  std::wstring path = ServeFile(L"a.bin", 300000);
  std::wstring cached;
  ASSERT_EQ(kDownloaded, Download(path, &cached));
  EXPECT_EQ(httptest::Pattern(300000), testsupport::ReadBytes(cached));
  EXPECT_EQ(300000u, httptest::Transferred());

  ASSERT_EQ(kDownloaded, Download(path + L"?no_length=1", &cached));
  EXPECT_EQ(httptest::Pattern(300000), testsupport::ReadBytes(cached));
  EXPECT_EQ(600000u, httptest::Transferred());
}

TEST_F(UrlDownloadHttpTest, AShortDownloadKeepsThePreviousSpeed) {
  g_setup.stats.speedKBps = 55.5;
  std::wstring cached;
  ASSERT_EQ(kDownloaded, Download(ServeFile(L"small.bin", 20000), &cached));
  EXPECT_EQ(55.5, httptest::Speed());

  // About three seconds at 200000 bytes/s: 200000 bytes / 1000 ms / 1000 * 1024.
  ASSERT_EQ(kDownloaded, Download(ServeFile(L"slow.bin", 600000) + L"?rate=200000", &cached));
  double speed = httptest::Speed();
  EXPECT_GT(speed, 150.0);
  EXPECT_LT(speed, 230.0);
}

TEST_F(UrlDownloadHttpTest, ErrorStatusesAndCutBodiesAreFailedDownloads) {
  const wchar_t* misbehaviours[] = {L"status=404", L"status=500", L"drop_after=1000"};
  std::wstring path = ServeFile(L"kit.exe", 50000);
  for (size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(misbehaviours[i])));
    std::vector<int> answers;
    answers.push_back(IDCANCEL);
    answers.push_back(IDOK);
    BoxAnswerer boxes(answers);
    std::wstring cached = L"stale";
    EXPECT_EQ(kDownloadFailed, Download(path + L"?" + misbehaviours[i], &cached));
    EXPECT_EQ(L"", cached);
    std::vector<std::wstring> expected;
    expected.push_back(retryText_);
    expected.push_back(failedText_);
    ExpectBoxes(boxes.Seen(), expected);
  }
}

TEST_F(UrlDownloadHttpTest, ThreeFailedAttemptsAskTwiceAndGiveUpOnce) {
  testsupport::LogCapture log;
  std::wstring path = ServeFile(L"three.exe", 1000);
  ASSERT_TRUE(httptest::SetRule(path, L"status=500"));
  FakeTaskbar taskbar;
  g_setup.taskbarList = &taskbar;
  g_setup.osVersionCode = 4;
  std::vector<int> answers;
  answers.push_back(IDRETRY);
  answers.push_back(IDRETRY);
  answers.push_back(IDOK);
  BoxAnswerer boxes(answers);
  std::wstring cached;
  EXPECT_EQ(kDownloadFailed, Download(path, &cached));
  g_setup.taskbarList = NULL;

  EXPECT_EQ(3, httptest::RequestCount(path));
  std::vector<std::wstring> expected;
  expected.push_back(retryText_);
  expected.push_back(retryText_);
  expected.push_back(failedText_);
  ExpectBoxes(boxes.Seen(), expected);
  // Without a dialog window there is no taskbar button to mark.
  EXPECT_EQ(0, taskbar.calls);
  std::string text = log.Text();
  std::string line = "[KITFETCHER] Downloading: http://127.0.0.1:";
  size_t count = 0;
  for (size_t at = text.find(line); at != std::string::npos; at = text.find(line, at + 1)) ++count;
  EXPECT_EQ(3u, count);
  EXPECT_NE(std::string::npos, text.find("(size 1234)"));
  EXPECT_NE(std::string::npos, text.find("/three.exe. Error :2148270088"));  // INET_E_DOWNLOAD_FAILURE
}

TEST_F(UrlDownloadHttpTest, AFailureMarksTheDialogsTaskbarButtonOnWindows7) {
  std::wstring path = ServeFile(L"bar.exe", 1000);
  HWND dialog = CreateWindowExW(0, L"STATIC", L"stand-in dialog", WS_POPUP, 0, 0, 10, 10, NULL, NULL, NULL, NULL);
  ASSERT_TRUE(dialog != NULL);
  g_setup.dialogWindow = dialog;
  FakeTaskbar taskbar;
  g_setup.taskbarList = &taskbar;
  g_setup.osVersionCode = 4;
  {
    std::vector<int> answers;
    answers.push_back(IDCANCEL);
    answers.push_back(IDOK);
    BoxAnswerer boxes(answers);
    std::wstring cached;
    EXPECT_EQ(kDownloadFailed, Download(path + L"?status=404", &cached));
  }
  EXPECT_EQ(1, taskbar.calls);
  EXPECT_EQ(TBPF_ERROR, taskbar.lastState);
  EXPECT_EQ(dialog, taskbar.lastWindow);

  g_setup.osVersionCode = 3;
  {
    std::vector<int> answers;
    answers.push_back(IDCANCEL);
    answers.push_back(IDOK);
    BoxAnswerer boxes(answers);
    std::wstring cached;
    EXPECT_EQ(kDownloadFailed, Download(path + L"?status=404&second=1", &cached));
  }
  EXPECT_EQ(1, taskbar.calls);
  g_setup.taskbarList = NULL;
  g_setup.dialogWindow = NULL;
  DestroyWindow(dialog);
}

TEST_F(UrlDownloadHttpTest, CancelAtTheFirstPromptEndsAfterOneAttempt) {
  std::wstring path = ServeFile(L"once.exe", 1000);
  ASSERT_TRUE(httptest::SetRule(path, L"status=404"));
  std::vector<int> answers;
  answers.push_back(IDCANCEL);
  answers.push_back(IDOK);
  BoxAnswerer boxes(answers);
  std::wstring cached;
  EXPECT_EQ(kDownloadFailed, Download(path, &cached));
  EXPECT_EQ(1, httptest::RequestCount(path));
  std::vector<std::wstring> expected;
  expected.push_back(retryText_);
  expected.push_back(failedText_);
  ExpectBoxes(boxes.Seen(), expected);
}

// Plays the user who quits once the first data has been counted, and notes how
// much had been counted then.
DWORD WINAPI CancelOnceDataArrives(LPVOID countedAtCancel) {
  // Waits for the download, not for a time; the bound only ends a hung run.
  for (int i = 0; i < 6000 && httptest::Transferred() == 0; ++i) Sleep(10);
  *static_cast<DWORD*>(countedAtCancel) = httptest::Transferred();
  SetEvent(g_setup.cancelEvent);
  return 0;
}

TEST_F(UrlDownloadHttpTest, ACancelStopsAThrottledDownloadAtOnce) {
  testsupport::LogCapture log;
  g_setup.cancelEvent = CreateEventW(NULL, TRUE, FALSE, NULL);
  // Twenty seconds of data at this rate: only a download that stops short ends
  // without all of it.
  std::wstring path = ServeFile(L"big.bin", 4000000) + L"?rate=200000";
  std::vector<int> noAnswers;
  BoxAnswerer boxes(noAnswers);
  DWORD countedAtCancel = 0;
  qn::ScopedHandle canceller(CreateThread(NULL, 0, CancelOnceDataArrives, &countedAtCancel, 0, NULL));
  std::wstring cached = L"stale";
  EXPECT_EQ(kDownloadCancelled, Download(path, &cached));
  WaitForSingleObject(canceller.Get(), INFINITE);
  EXPECT_GT(countedAtCancel, 0u);
  EXPECT_GE(httptest::Transferred(), countedAtCancel);
  EXPECT_LT(httptest::Transferred(), 4000000u);
  EXPECT_EQ(L"", cached);
  EXPECT_TRUE(boxes.Seen().empty());
  EXPECT_TRUE(log.Contains("[KITFETCHER] Download canceled!"));

  // The event stays set: the next download stops at its first notification.
  EXPECT_EQ(kDownloadCancelled, Download(ServeFile(L"next.bin", 1000), &cached));
  EXPECT_TRUE(boxes.Seen().empty());
}

TEST_F(UrlDownloadHttpTest, UncountedDownloadsFailOnErrorsAndCountNothing) {
  std::wstring path = ServeFile(L"small.txt", 5000);
  g_setup.cancelEvent = CreateEventW(NULL, TRUE, TRUE, NULL);  // never looked at
  wchar_t cachePath[kCachePathChars];
  EXPECT_EQ(S_OK, DownloadUncounted(httptest::Url(path).c_str(), cachePath, kCachePathChars));
  EXPECT_EQ(httptest::Pattern(5000), testsupport::ReadBytes(cachePath));
  EXPECT_EQ(0u, httptest::Transferred());

  const wchar_t* misbehaviours[] = {L"?status=404", L"?status=500", L"?drop_after=10"};
  for (size_t i = 0; i < 3; ++i) {
    HRESULT hr = DownloadUncounted(httptest::Url(path + misbehaviours[i]).c_str(), cachePath, kCachePathChars);
    EXPECT_TRUE(FAILED(hr)) << i;
    EXPECT_EQ(L'\0', cachePath[0]);
  }
  EXPECT_TRUE(FAILED(DownloadUncounted(L"http://127.0.0.1:1/refused.txt", cachePath, kCachePathChars)));
}

}  // namespace
