// The bind-status callback of one URL-cache download: counts the bytes into
// TransferStats, samples the speed once a second, stops the download when the
// cancel event is set, makes the download revalidate with the server, and
// remembers what the server answered so that an error page or a cut-off body is
// not taken for the file.
#pragma once
#include <windows.h>
#include <urlmon.h>

#include "downloader/transfer/network_call.h"
#include "downloader/transfer/transfer_counters.h"

// The Content-Length of raw response headers ("Name: value" lines separated by
// CR LF, the status line first). False when there is none or it is not a plain
// 32-bit decimal number.
[[nodiscard]] bool ParseContentLength(const wchar_t* headers, DWORD* length);

// Redirects a download follows at most; more is a loop.
constexpr DWORD kMaxRedirects = 10;

// Lives in the frame of one download attempt; Release never frees it. Answers
// IHttpNegotiate as well, only to observe the response status and length.
// When the download runs as a NetworkCall (`call` not null), every notification
// is a sign of life, and once the worker has walked away from the call the
// callback touches nothing of the run and stops the download.
class CBindStatusCallbackImpl : public IBindStatusCallback, public IHttpNegotiate {
 public:
  // A counted download: bytes and speed go into TransferStats, the cancel event
  // (null or INVALID_HANDLE_VALUE: none) stops it.
  explicit CBindStatusCallbackImpl(HANDLE cancelEvent, NetworkCall* call = nullptr);
  // An uncounted download: the callback only observes; it neither counts nor
  // cancels.
  enum ObserveOnly { kObserveOnly };
  explicit CBindStatusCallbackImpl(ObserveOnly, NetworkCall* call = nullptr);
  CBindStatusCallbackImpl(const CBindStatusCallbackImpl&) = delete;
  CBindStatusCallbackImpl& operator=(const CBindStatusCallbackImpl&) = delete;

  // IUnknown
  STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  // IBindStatusCallback
  STDMETHODIMP OnStartBinding(DWORD reserved, IBinding* binding) override;
  STDMETHODIMP GetPriority(LONG* priority) override;
  STDMETHODIMP OnLowResource(DWORD reserved) override;
  STDMETHODIMP OnProgress(ULONG progress, ULONG progressMax, ULONG statusCode, LPCWSTR statusText) override;
  STDMETHODIMP OnStopBinding(HRESULT result, LPCWSTR error) override;
  STDMETHODIMP GetBindInfo(DWORD* bindFlags, BINDINFO* bindInfo) override;
  STDMETHODIMP OnDataAvailable(DWORD flags, DWORD size, FORMATETC* format, STGMEDIUM* medium) override;
  STDMETHODIMP OnObjectAvailable(REFIID riid, IUnknown* object) override;

  // IHttpNegotiate
  STDMETHODIMP BeginningTransaction(LPCWSTR url, LPCWSTR headers, DWORD reserved, LPWSTR* additionalHeaders) override;
  STDMETHODIMP OnResponse(DWORD responseCode, LPCWSTR responseHeaders, LPCWSTR requestHeaders,
                          LPWSTR* additionalRequestHeaders) override;

  bool Cancelled() const { return m_cancelled != 0; }
  // 0 when no HTTP response was seen (for example an answer from the cache).
  DWORD HttpStatus() const { return m_httpStatus; }
  bool HasContentLength() const { return m_hasContentLength != 0; }
  DWORD ContentLength() const { return m_contentLength; }
  // Byte count of the latest progress notification.
  DWORD LastProgress() const { return m_lastProgress; }
  // The download was stopped because it was sent somewhere other than an
  // http: or https: URL, or round in circles.
  bool RedirectRefused() const { return m_redirectRefused != 0; }
  bool RedirectLoop() const { return m_redirectLoop != 0; }

 private:
  void Init(HANDLE cancelEvent, bool counts, NetworkCall* call);
  // Redirects and requests: false when the download must stop.
  bool FollowsRedirects(ULONG statusCode, LPCWSTR statusText);
  void Count(ULONG progress, ULONG statusCode);

  LONG m_refCount = 1;
  LONG m_cancelled = 0;
  HANDLE m_cancelEvent;
  DWORD m_lastSampleTick;
  DWORD m_startTick;
  DWORD m_lastProgress = 0;
  bool m_counts;
  DWORD m_httpStatus = 0;
  LONG m_hasContentLength = 0;
  DWORD m_contentLength = 0;
  NetworkCall* m_call;
  DWORD m_redirects = 0;
  DWORD m_requests = 0;
  LONG m_redirectRefused = 0;
  LONG m_redirectLoop = 0;
};

// True for a URL whose scheme is http or https (any letter case).
[[nodiscard]] bool IsWebUrl(const wchar_t* url);
