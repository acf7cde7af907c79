#include "downloader/transfer/bind_status_callback.h"

#include "downloader/worker_link/worker_host.h"
#include "downloader/transfer/transfer_counters.h"

namespace {

wchar_t LowerAscii(wchar_t c) { return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

// True when `line` starts with `name` (ASCII letters, any case) followed by ':';
// *value then points after the colon.
bool HeaderNameIs(const wchar_t* line, const wchar_t* name, const wchar_t** value) {
  while (*name) {
    if (LowerAscii(*line) != LowerAscii(*name)) return false;
    ++line;
    ++name;
  }
  if (*line != L':') return false;
  *value = line + 1;
  return true;
}

}  // namespace

bool ParseContentLength(const wchar_t* headers, DWORD* length) {
  if (!headers || !length) return false;
  const wchar_t* line = headers;
  while (*line) {
    const wchar_t* value = nullptr;
    if (HeaderNameIs(line, L"content-length", &value)) {
      while (*value == L' ' || *value == L'\t') ++value;
      if (*value < L'0' || *value > L'9') return false;
      unsigned long long number = 0;
      while (*value >= L'0' && *value <= L'9') {
        number = number * 10 + static_cast<unsigned>(*value - L'0');
        if (number > 0xFFFFFFFFull) return false;
        ++value;
      }
      while (*value == L' ' || *value == L'\t') ++value;
      if (*value != L'\0' && *value != L'\r' && *value != L'\n') return false;
      *length = static_cast<DWORD>(number);
      return true;
    }
    while (*line && *line != L'\n') ++line;
    if (*line == L'\n') ++line;
  }
  return false;
}

bool IsWebUrl(const wchar_t* url) {
  if (!url) return false;
  const wchar_t* schemes[2] = {L"http://", L"https://"};
  for (size_t i = 0; i < 2; ++i) {
    const wchar_t* s = schemes[i];
    const wchar_t* u = url;
    while (*s && LowerAscii(*u) == *s) {
      ++s;
      ++u;
    }
    if (!*s) return true;
  }
  return false;
}

CBindStatusCallbackImpl::CBindStatusCallbackImpl(HANDLE cancelEvent, NetworkCall* call) {
  Init(cancelEvent, true, call);
}

CBindStatusCallbackImpl::CBindStatusCallbackImpl(ObserveOnly, NetworkCall* call) { Init(nullptr, false, call); }

void CBindStatusCallbackImpl::Init(HANDLE cancelEvent, bool counts, NetworkCall* call) {
  m_cancelEvent = cancelEvent;
  // The clock starts with the attempt, so that a notification arriving before
  // the first data never divides by a tick count from an unset field.
  m_lastSampleTick = m_startTick = TransferTicks();
  m_counts = counts;
  m_call = call;
}

STDMETHODIMP CBindStatusCallbackImpl::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IBindStatusCallback)) {
    *object = static_cast<IBindStatusCallback*>(this);
  } else if (IsEqualIID(riid, IID_IHttpNegotiate)) {
    *object = static_cast<IHttpNegotiate*>(this);
  } else {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

STDMETHODIMP_(ULONG) CBindStatusCallbackImpl::AddRef() { return static_cast<ULONG>(++m_refCount); }

STDMETHODIMP_(ULONG) CBindStatusCallbackImpl::Release() { return static_cast<ULONG>(--m_refCount); }

STDMETHODIMP CBindStatusCallbackImpl::OnStartBinding(DWORD, IBinding*) { return S_OK; }

STDMETHODIMP CBindStatusCallbackImpl::GetPriority(LONG*) { return S_OK; }

STDMETHODIMP CBindStatusCallbackImpl::OnLowResource(DWORD) { return S_OK; }

void CBindStatusCallbackImpl::Count(ULONG progress, ULONG statusCode) {
  DWORD delta = static_cast<DWORD>(progress) - m_lastProgress;
  if (m_counts) AddTransferredBytes(delta);
  m_lastProgress = static_cast<DWORD>(progress);
  if (!m_counts) return;
  if (statusCode == BINDSTATUS_BEGINDOWNLOADDATA) {
    m_startTick = m_lastSampleTick = TransferTicks();
  } else if (statusCode == BINDSTATUS_DOWNLOADINGDATA) {
    DWORD now = TransferTicks();
    if (SpeedSampleDue(m_lastSampleTick, now)) {
      StoreSpeed(SpeedSampleKBps(static_cast<DWORD>(progress), m_startTick, now));
      m_lastSampleTick = now;
    }
  }
}

// A kit file may move to another web address, never to a file of the machine
// or anything else the moniker can open. Windows reports each redirect with
// its target; Wine reports none, but sends every request of a loop.
bool CBindStatusCallbackImpl::FollowsRedirects(ULONG statusCode, LPCWSTR statusText) {
  if (statusCode == BINDSTATUS_REDIRECTING) {
    if (!IsWebUrl(statusText)) {
      m_redirectRefused = 1;
      return false;
    }
    if (++m_redirects > kMaxRedirects) {
      m_redirectLoop = 1;
      return false;
    }
  } else if (statusCode == BINDSTATUS_SENDINGREQUEST) {
    if (++m_requests > kMaxRedirects + 1) {
      m_redirectLoop = 1;
      return false;
    }
  }
  return true;
}

STDMETHODIMP CBindStatusCallbackImpl::OnProgress(ULONG progress, ULONG, ULONG statusCode, LPCWSTR statusText) {
  if (m_call) {
    m_call->NoteActivity();
    // Walked away from: the run may be gone; stop without touching it.
    if (!m_call->EnterIfLive()) return E_ABORT;
  }
  Count(progress, statusCode);
  bool cancel = IsCancelSignalled(m_cancelEvent);
  if (m_call) m_call->LeaveGate();

  if (!FollowsRedirects(statusCode, statusText)) return E_ABORT;
  if (cancel) {
    m_cancelled = 1;
    return E_ABORT;
  }
  return S_OK;
}

STDMETHODIMP CBindStatusCallbackImpl::OnStopBinding(HRESULT, LPCWSTR) { return S_OK; }

STDMETHODIMP CBindStatusCallbackImpl::GetBindInfo(DWORD* bindFlags, BINDINFO*) {
  // The product code and the digests decide whether a newer kit exists: a
  // cache entry that the server's caching headers let look fresh must not
  // stand in for them. Either flag makes the moniker ask the server, with a
  // full reload or with a conditional request answered from the cached copy
  // (304); the rest of the binding stays the moniker's default.
  if (bindFlags) *bindFlags |= BINDF_GETNEWESTVERSION | BINDF_RESYNCHRONIZE;
  return S_OK;
}

STDMETHODIMP CBindStatusCallbackImpl::OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM*) { return S_OK; }

STDMETHODIMP CBindStatusCallbackImpl::OnObjectAvailable(REFIID, IUnknown*) { return S_OK; }

STDMETHODIMP CBindStatusCallbackImpl::BeginningTransaction(LPCWSTR, LPCWSTR, DWORD, LPWSTR* additionalHeaders) {
  if (additionalHeaders) *additionalHeaders = nullptr;
  return S_OK;
}

STDMETHODIMP CBindStatusCallbackImpl::OnResponse(DWORD responseCode, LPCWSTR responseHeaders, LPCWSTR,
                                                 LPWSTR* additionalRequestHeaders) {
  if (additionalRequestHeaders) *additionalRequestHeaders = nullptr;
  if (m_call) m_call->NoteActivity();
  m_httpStatus = responseCode;
  DWORD length = 0;
  if (ParseContentLength(responseHeaders, &length)) {
    m_hasContentLength = 1;
    m_contentLength = length;
  } else {
    m_hasContentLength = 0;
    m_contentLength = 0;
  }
  return S_OK;
}
