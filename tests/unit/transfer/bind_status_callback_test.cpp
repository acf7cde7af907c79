// The bind-status callback on its own: byte counting by deltas, the speed
// sample, cancellation, and what it learns from the response headers.
#include <gtest/gtest.h>
#include <windows.h>
#include <urlmon.h>

#include "downloader/services/setup_state.h"
#include "downloader/transfer/bind_status_callback.h"
#include "tests/unit/support/fake_ticks.h"
#include "tests/unit/support/fresh_setup_state.h"

namespace {

class BindStatusCallbackTest : public ::testing::Test {
 protected:
  kittest::SetupScope setup_;
};

TEST(ResponseHeaders, FindContentLengthInAnyCase) {
  DWORD length = 0;
  EXPECT_TRUE(ParseContentLength(L"HTTP/1.1 200 OK\r\nServer: x\r\nContent-Length: 300000\r\n\r\n", &length));
  EXPECT_EQ(300000u, length);
  EXPECT_TRUE(ParseContentLength(L"HTTP/1.1 200 OK\r\ncontent-length:7\r\n", &length));
  EXPECT_EQ(7u, length);
  EXPECT_TRUE(ParseContentLength(L"HTTP/1.1 200 OK\r\nCONTENT-LENGTH: 4294967295 \r\n", &length));
  EXPECT_EQ(4294967295u, length);
}

TEST(ResponseHeaders, RejectAbsentOrMalformedLengths) {
  DWORD length = 5;
  EXPECT_FALSE(ParseContentLength(L"HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n", &length));
  EXPECT_FALSE(ParseContentLength(L"HTTP/1.1 200 OK\r\nX-Content-Length: 12\r\n", &length));
  EXPECT_FALSE(ParseContentLength(L"HTTP/1.1 200 OK\r\nContent-Length: 12abc\r\n", &length));
  EXPECT_FALSE(ParseContentLength(L"HTTP/1.1 200 OK\r\nContent-Length: 4294967296\r\n", &length));
  EXPECT_FALSE(ParseContentLength(L"HTTP/1.1 200 OK\r\nContent-Length: -1\r\n", &length));
  EXPECT_FALSE(ParseContentLength(NULL, &length));
  EXPECT_EQ(5u, length);
}

TEST_F(BindStatusCallbackTest, CountsBytesByDeltasAndEachAttemptFromZero) {
  g_setup.stats.bytesTransferred = 100;
  {
    CBindStatusCallbackImpl callback(NULL);
    EXPECT_EQ(S_OK, callback.OnProgress(0, 0, BINDSTATUS_CONNECTING, L"127.0.0.1"));
    EXPECT_EQ(S_OK, callback.OnProgress(8192, 0, BINDSTATUS_BEGINDOWNLOADDATA, NULL));
    EXPECT_EQ(S_OK, callback.OnProgress(16384, 0, BINDSTATUS_DOWNLOADINGDATA, NULL));
    EXPECT_EQ(S_OK, callback.OnProgress(16384, 0, BINDSTATUS_CACHEFILENAMEAVAILABLE, L"c:\\x"));
    EXPECT_EQ(S_OK, callback.OnProgress(30000, 0, BINDSTATUS_ENDDOWNLOADDATA, NULL));
    EXPECT_EQ(30100u, kittest::Transferred());
  }
  // A retried attempt counts its bytes again.
  CBindStatusCallbackImpl retry(NULL);
  retry.OnProgress(5000, 0, BINDSTATUS_BEGINDOWNLOADDATA, NULL);
  EXPECT_EQ(35100u, kittest::Transferred());
}

TEST_F(BindStatusCallbackTest, SamplesTheSpeedOnlyAfterASecondOfData) {
  kittest::FakeTicks clock(5000);
  g_setup.stats.speedKBps = 42.0;
  CBindStatusCallbackImpl callback(NULL);
  clock.Advance(3000);  // connecting and the response do not count
  callback.OnProgress(8192, 0, BINDSTATUS_BEGINDOWNLOADDATA, NULL);
  clock.Advance(1000);
  callback.OnProgress(65536, 0, BINDSTATUS_DOWNLOADINGDATA, NULL);
  EXPECT_EQ(42.0, kittest::Speed());
  clock.Advance(100);
  callback.OnProgress(1126400, 0, BINDSTATUS_DOWNLOADINGDATA, NULL);
  const double speed = 1126400.0 / 1100.0 / 1000.0 * 1024.0;
  EXPECT_DOUBLE_EQ(speed, kittest::Speed());
  // The next sample is due only a second later again.
  clock.Advance(1000);
  callback.OnProgress(2000000, 0, BINDSTATUS_DOWNLOADINGDATA, NULL);
  EXPECT_DOUBLE_EQ(speed, kittest::Speed());
  clock.Advance(1);
  callback.OnProgress(2000000, 0, BINDSTATUS_DOWNLOADINGDATA, NULL);
  EXPECT_DOUBLE_EQ(2000000.0 / 2101.0 / 1000.0 * 1024.0, kittest::Speed());
}

TEST_F(BindStatusCallbackTest, StopsOnEveryNotificationOnceTheCancelEventIsSet) {
  HANDLE event = CreateEventW(NULL, TRUE, FALSE, NULL);
  CBindStatusCallbackImpl callback(event);
  EXPECT_EQ(S_OK, callback.OnProgress(100, 0, BINDSTATUS_BEGINDOWNLOADDATA, NULL));
  EXPECT_FALSE(callback.Cancelled());
  SetEvent(event);
  EXPECT_EQ(E_ABORT, callback.OnProgress(200, 0, BINDSTATUS_SENDINGREQUEST, NULL));
  EXPECT_TRUE(callback.Cancelled());
  // The bytes of the aborting notification are counted all the same.
  EXPECT_EQ(200u, kittest::Transferred());
  CBindStatusCallbackImpl next(event);
  EXPECT_EQ(E_ABORT, next.OnProgress(0, 0, BINDSTATUS_CONNECTING, NULL));
  CloseHandle(event);
}

TEST_F(BindStatusCallbackTest, WithoutAUsableCancelEventNeverStops) {
  CBindStatusCallbackImpl none(NULL);
  CBindStatusCallbackImpl invalid(INVALID_HANDLE_VALUE);
  EXPECT_EQ(S_OK, none.OnProgress(1, 0, BINDSTATUS_DOWNLOADINGDATA, NULL));
  EXPECT_EQ(S_OK, invalid.OnProgress(1, 0, BINDSTATUS_DOWNLOADINGDATA, NULL));
  EXPECT_FALSE(invalid.Cancelled());
}

TEST_F(BindStatusCallbackTest, AnObserverNeitherCountsNorCancels) {
  g_setup.cancelEvent.Reset(CreateEventW(NULL, TRUE, TRUE, NULL));
  g_setup.stats.speedKBps = 7.0;
  kittest::FakeTicks clock(0);
  CBindStatusCallbackImpl observer(CBindStatusCallbackImpl::kObserveOnly);
  EXPECT_EQ(S_OK, observer.OnProgress(4096, 0, BINDSTATUS_BEGINDOWNLOADDATA, NULL));
  clock.Advance(1050);
  EXPECT_EQ(S_OK, observer.OnProgress(9000, 0, BINDSTATUS_DOWNLOADINGDATA, NULL));
  EXPECT_EQ(0u, kittest::Transferred());
  EXPECT_EQ(7.0, kittest::Speed());
  EXPECT_EQ(9000u, observer.LastProgress());
}

TEST_F(BindStatusCallbackTest, AnswersItsInterfacesOnly) {
  CBindStatusCallbackImpl callback(NULL);
  void* object = NULL;
  EXPECT_EQ(S_OK, callback.QueryInterface(IID_IUnknown, &object));
  EXPECT_EQ(static_cast<IBindStatusCallback*>(&callback), object);
  EXPECT_EQ(S_OK, callback.QueryInterface(IID_IBindStatusCallback, &object));
  EXPECT_EQ(static_cast<IBindStatusCallback*>(&callback), object);
  EXPECT_EQ(S_OK, callback.QueryInterface(IID_IHttpNegotiate, &object));
  EXPECT_EQ(static_cast<IHttpNegotiate*>(&callback), object);
  object = &callback;
  EXPECT_EQ(E_NOINTERFACE, callback.QueryInterface(IID_IStream, &object));
  EXPECT_EQ(NULL, object);
  // Three answered queries raised the count from 1 to 4.
  EXPECT_EQ(5u, callback.AddRef());
  EXPECT_EQ(4u, callback.Release());
}

// A cache entry that looks fresh must not stand in for the server's current
// product code or digest: every download, counted or not, asks the server.
TEST_F(BindStatusCallbackTest, AddsRevalidationToTheBindFlagsAndLeavesTheRestUntouched) {
  CBindStatusCallbackImpl counted(NULL);
  CBindStatusCallbackImpl observer(CBindStatusCallbackImpl::kObserveOnly);
  CBindStatusCallbackImpl* callbacks[] = {&counted, &observer};
  for (size_t i = 0; i < 2; ++i) {
    DWORD flags = BINDF_ASYNCHRONOUS | BINDF_NEEDFILE;
    BINDINFO info;
    memset(&info, 0xAB, sizeof(info));
    EXPECT_EQ(S_OK, callbacks[i]->GetBindInfo(&flags, &info));
    EXPECT_EQ(static_cast<DWORD>(BINDF_ASYNCHRONOUS | BINDF_NEEDFILE | BINDF_GETNEWESTVERSION | BINDF_RESYNCHRONIZE),
              flags) << "callback " << i;
    EXPECT_EQ(0xABABABABu, info.cbSize);
  }
  LONG priority = 99;
  EXPECT_EQ(S_OK, counted.GetPriority(&priority));
  EXPECT_EQ(99, priority);
}

TEST_F(BindStatusCallbackTest, RemembersTheResponseStatusAndLength) {
  CBindStatusCallbackImpl callback(NULL);
  EXPECT_EQ(0u, callback.HttpStatus());
  LPWSTR extra = reinterpret_cast<LPWSTR>(1);
  EXPECT_EQ(S_OK, callback.BeginningTransaction(L"http://x/", L"", 0, &extra));
  EXPECT_EQ(NULL, extra);
  extra = reinterpret_cast<LPWSTR>(1);
  EXPECT_EQ(S_OK, callback.OnResponse(404, L"HTTP/1.1 404 Not Found\r\nContent-Length: 36\r\n\r\n", NULL, &extra));
  EXPECT_EQ(NULL, extra);
  EXPECT_EQ(404u, callback.HttpStatus());
  EXPECT_TRUE(callback.HasContentLength());
  EXPECT_EQ(36u, callback.ContentLength());
  callback.OnResponse(200, L"HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n", NULL, &extra);
  EXPECT_EQ(200u, callback.HttpStatus());
  EXPECT_FALSE(callback.HasContentLength());
}

}  // namespace
