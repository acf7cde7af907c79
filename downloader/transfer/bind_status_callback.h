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
bool ParseContentLength(const wchar_t* headers, DWORD* length);

// Redirects a download follows at most; more is a loop.
const DWORD kMaxRedirects = 10;

// Lives in the frame of one download attempt; Release never frees it. Answers
// IHttpNegotiate as well, only to observe the response status and length.
// When the download runs as a NetworkCall (`call` not null), every notification
// is a sign of life, and once the worker has walked away from the call the
// callback touches nothing of the run and stops the download.
class CBindStatusCallbackImpl : public IBindStatusCallback, public IHttpNegotiate {
 public:
  // A counted download: bytes and speed go into TransferStats, the cancel event
  // (NULL or INVALID_HANDLE_VALUE: none) stops it.
  explicit CBindStatusCallbackImpl(HANDLE cancelEvent, NetworkCall* call = NULL);
  // An uncounted download: the callback only observes; it neither counts nor
  // cancels.
  enum ObserveOnly { kObserveOnly };
  explicit CBindStatusCallbackImpl(ObserveOnly, NetworkCall* call = NULL);

  // IUnknown
  STDMETHODIMP QueryInterface(REFIID riid, void** object);
  STDMETHODIMP_(ULONG) AddRef();
  STDMETHODIMP_(ULONG) Release();

  // IBindStatusCallback
  STDMETHODIMP OnStartBinding(DWORD reserved, IBinding* binding);
  STDMETHODIMP GetPriority(LONG* priority);
  STDMETHODIMP OnLowResource(DWORD reserved);
  STDMETHODIMP OnProgress(ULONG progress, ULONG progressMax, ULONG statusCode, LPCWSTR statusText);
  STDMETHODIMP OnStopBinding(HRESULT result, LPCWSTR error);
  STDMETHODIMP GetBindInfo(DWORD* bindFlags, BINDINFO* bindInfo);
  STDMETHODIMP OnDataAvailable(DWORD flags, DWORD size, FORMATETC* format, STGMEDIUM* medium);
  STDMETHODIMP OnObjectAvailable(REFIID riid, IUnknown* object);

  // IHttpNegotiate
  STDMETHODIMP BeginningTransaction(LPCWSTR url, LPCWSTR headers, DWORD reserved, LPWSTR* additionalHeaders);
  STDMETHODIMP OnResponse(DWORD responseCode, LPCWSTR responseHeaders, LPCWSTR requestHeaders,
                          LPWSTR* additionalRequestHeaders);

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
  CBindStatusCallbackImpl(const CBindStatusCallbackImpl&);
  CBindStatusCallbackImpl& operator=(const CBindStatusCallbackImpl&);
  void Init(HANDLE cancelEvent, bool counts, NetworkCall* call);
  // Redirects and requests: false when the download must stop.
  bool FollowsRedirects(ULONG statusCode, LPCWSTR statusText);
  void Count(ULONG progress, ULONG statusCode);

  LONG m_refCount;
  LONG m_cancelled;
  HANDLE m_cancelEvent;
  DWORD m_lastSampleTick;
  DWORD m_startTick;
  DWORD m_lastProgress;
  bool m_counts;
  DWORD m_httpStatus;
  LONG m_hasContentLength;
  DWORD m_contentLength;
  NetworkCall* m_call;
  DWORD m_redirects;
  DWORD m_requests;
  LONG m_redirectRefused;
  LONG m_redirectLoop;
};

// True for a URL whose scheme is http or https (any letter case).
bool IsWebUrl(const wchar_t* url);
